// Runs a piece of the dialogue in this process with scripted standard input
// and captured standard output, noting whether it ended the program.
#pragma once

#include <functional>
#include <string>

#include "rawinq/program_exit.h"
#include "stdio_redirect.h"

namespace testing_support {

struct Conversation {
  std::string out;             // what was written on standard output
  bool ended = false;          // the program was ended
  int status = -1;             // with this status
  bool input_ran_out = false;  // by the end of standard input
};

inline Conversation converse(const std::string& input,
                             const std::function<void()>& f) {
  Conversation c;
  FeedStdin in(input);
  CaptureStdout cap;
  try {
    f();
  } catch (const ProgramExit& e) {
    c.ended = true;
    c.status = e.status;
    c.input_ran_out = e.end_of_input;
  }
  c.out = cap.text();
  return c;
}

}  // namespace testing_support
