// Output destinations, file names and screen paging.
#include <cstdio>
#include <cstdlib>

#include "rawinq/globals.h"
#include "rawinq/output.h"

std::string output_file_name(long, long, short, short, short) { return {}; }
void open_outfile(long, long, std::string&, short, short, short, short) {}
void close_outfile(short) {}
void close_output_at_exit() {}
void screen_control() {}
void emit_line(const std::string& text) {
  std::fprintf(outbuf, "%s\n", text.c_str());
}
void emit_uncounted_line(const std::string& text) {
  std::fprintf(outbuf, "%s\n", text.c_str());
}
int run_command(const std::string& command) {
  std::fflush(stdout);
  return std::system(command.c_str());
}
