// The dialogue's side of the output: write errors, the directory recovery,
// the screen pager, the skew-T plot hand-off and standard output.
#pragma once

#include <string>

struct DialogueState;

// Writes "Write error" with the system's reason on standard error (once
// reported, later failures of standard output are not reported again).
void report_write_error(int err);
// Reports a failed write or close of the output and ends the program
// (status 1).
[[noreturn]] void write_error(int err);
// The directory recovery dialogue after a failed open of path: ends the
// program or gives pname (and returns) a new directory.
std::string directory_recovery(DialogueState& st, const std::string& path,
                               std::string& pname);
// An output file could not be closed completely as the run ended early:
// "Write error" is written and close_output_at_exit then returns 1.
void note_close_failure_at_exit(int err);
// 1 when closing an output file failed as the program ended early.
int close_output_at_exit();
// Flushes standard output, noting the reason of its first failure.
void flush_standard_output();
// At the end of the program: whether any output to standard output was
// lost. "Write error" with the reason is then written to standard error,
// unless a write error was reported already.
bool standard_output_failed();

// The plot hand-off: the plot data file just closed is drawn by the
// plotter, shown, and saved on request.
void plot_skewt_data(DialogueState& st);

// Runs an outside program through the shell (standard output flushed first).
int run_command(const std::string& command);
