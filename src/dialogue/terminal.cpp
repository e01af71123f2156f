// Reading answers from standard input.
#include "rawinq/terminal.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rawinq/interruption.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"

std::string read_answer() {
  stop_if_interrupted();
  flush_standard_output();
  // One line of at most 79 bytes, newline included; counted byte by byte so
  // that a NUL byte in the line cannot hide how much was read.
  constexpr size_t kRead = 79;
  std::string line;
  int c = EOF;
  while (line.size() < kRead && (c = std::getchar()) != EOF) {
    line += static_cast<char>(c);
    if (c == '\n') break;
  }
  // A signal during the read leaves standard input empty.
  stop_if_interrupted();
  if (line.empty()) {
    // Input that cannot be read is no end of input: the run failed.
    if (std::ferror(stdin)) {
      std::perror("Read error");
      end_program(1);
    }
    end_of_input();
  }
  if (line.size() == kRead && line.back() != '\n') {
    // An over-long line: throw the rest of it away.
    while ((c = std::getchar()) != EOF && c != '\n') {
    }
  }
  // The last character read (normally the newline) is removed; the answer
  // is text, so it ends at a NUL byte.
  line.pop_back();
  return line.substr(0, line.find('\0'));
}

bool answer_is_yes(const std::string& answer, char default_char) {
  const char c = answer.empty() ? default_char : answer[0];
  return c == 'Y' || c == 'y';
}

std::string first_word(const std::string& answer) {
  size_t b = 0;
  while (b < answer.size() && std::isspace(static_cast<unsigned char>(answer[b]))) ++b;
  size_t e = b;
  while (e < answer.size() && !std::isspace(static_cast<unsigned char>(answer[e]))) ++e;
  return answer.substr(b, e - b);
}
