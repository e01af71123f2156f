// Every read of standard input goes through here.
#pragma once

#include "rawinq/leading_number.h"

#include <string>

// Reads one answer: an 80-byte line read with its last character removed
// (so at most 78 characters of an over-long line). The rest of an over-long
// line is read and thrown away. End of input ends the program (status 0);
// a failed read ends it with "Read error" and the reason, status 1.
std::string read_answer();

// Y/N answer: the default unless the answer is not empty, in which case its
// first character counts; only 'Y' and 'y' mean yes.
bool answer_is_yes(const std::string& answer, char default_char);


// The first blank-delimited word of an answer ("" when none).
std::string first_word(const std::string& answer);
