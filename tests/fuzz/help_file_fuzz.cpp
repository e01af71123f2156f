// Fuzz entry point: the input is the help file, from which a few topics'
// sections are shown, with paging every few lines (standard input is at
// its end, so a page prompt ends the run as it would at the terminal).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_setup.h"
#include "rawinq/dialogue.h"
#include "rawinq/file_handle.h"
#include "rawinq/globals.h"
#include "rawinq/program_exit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  const std::string path = dir + "/raobhelp.txt";
  fuzz_setup::write_bytes(path, data, size);
  helpfile = FileHandle(std::fopen(path.c_str(), "r"));
  Max_Lines = size > 0 ? data[0] % 8 : 3;
  const char* const topics[] = {"NO_FILES_OPEN", "GENERAL_INFO",
                                "STATION_FILE NUMBER", "", "END"};
  for (const char* topic : topics) {
    try {
      get_help("HELP", topic);
    } catch (const ProgramExit&) {
    }
  }
  helpfile.close();
  return 0;
}
