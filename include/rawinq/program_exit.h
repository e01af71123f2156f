// Ending the program from anywhere: the entry point catches ProgramExit,
// closes any open output and returns the status.
#pragma once

struct ProgramExit {
  int status;
  bool end_of_input;  // standard input ended: one line end is written
};

// Ends the program with the given status (as exit() would, but through main).
[[noreturn]] inline void end_program(int status) {
  throw ProgramExit{status, false};
}
// Ends the program because standard input has ended.
[[noreturn]] inline void end_of_input() { throw ProgramExit{0, true}; }
