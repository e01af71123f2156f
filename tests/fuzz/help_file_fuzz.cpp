// Fuzz entry point: the help file, its lookups and the station-history
// browser. The input is up to three parts, each ending at the separator
// "\0ANSWERS\n" (the last at the end of the input):
//   1. the help file, from which a few topics' sections are shown with
//      paging every few lines (the first byte sets the page lengths);
//   2. the answers on standard input, read by the paging prompts and then
//      by the browser (entered as STAT would), whose HELP answers use the
//      help file;
//   3. both catalogue files, whose entries the browser lists and searches.
// An input without separator is a help file alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "fuzz_setup.h"
#include "rawinq/file_handle.h"
#include "rawinq/program_exit.h"

namespace {

const std::string kSeparator("\0ANSWERS\n", 9);

// The next part of text from pos on; pos moves past its separator.
std::string next_part(const std::string& text, std::size_t& pos) {
  if (pos > text.size()) return std::string();
  const std::size_t end = text.find(kSeparator, pos);
  const std::size_t stop = end == std::string::npos ? text.size() : end;
  std::string part = text.substr(pos, stop - pos);
  pos = end == std::string::npos ? text.size() + 1 : end + kSeparator.size();
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& dir = fuzz_setup::prepare();
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t pos = 0;
  const std::string help = next_part(input, pos);
  const std::string answers = next_part(input, pos);
  const std::string catalogue = next_part(input, pos);

  const std::string path = dir + "/raobhelp.txt";
  fuzz_setup::write_bytes(path, data, help.size());
  dialogue_state().helpfile = FileHandle(std::fopen(path.c_str(), "r"));
  const std::string answer_path = dir + "/answers";
  fuzz_setup::write_bytes(
      answer_path, reinterpret_cast<const std::uint8_t*>(answers.data()),
      answers.size());
  if (std::freopen(answer_path.c_str(), "r", stdin) == nullptr) std::abort();
  dialogue_state().Max_Lines = size > 0 ? data[0] % 8 : 3;

  const char* const topics[] = {"NO_FILES_OPEN", "GENERAL_INFO",
                                "STATION_FILE NUMBER", "", "END"};
  for (const char* topic : topics) {
    try {
      get_help(dialogue_state(), "HELP", topic);
    } catch (const ProgramExit&) {
    }
  }

  const auto* cat = reinterpret_cast<const std::uint8_t*>(catalogue.data());
  fuzz_setup::write_bytes(dir + "/stat2000.txt", cat, catalogue.size());
  fuzz_setup::write_bytes(dir + "/international_sites.txt", cat,
                          catalogue.size());
  // Page lengths from -1 (no paging) up, from the first byte's high bits.
  dialogue_state().Max_Lines = size > 0 ? data[0] / 8 % 32 - 1 : 20;
  try {
    load_catalogue(dialogue_state(), dir + "/");
    // The browser is left by EXIT, or ends the run when the answers end.
    station_his_help(dialogue_state());
  } catch (const ProgramExit&) {
  }
  dialogue_state().helpfile.close();
  return 0;
}
