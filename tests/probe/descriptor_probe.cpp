// Runs one synoptic request over stations 10001 .. 10000 + n of a database
// directory, so that a test can run it under a lowered descriptor limit.
//   descriptor_probe DB_DIR OUT_DIR N TRACE
// Writes the first free descriptor on standard error, then the request's
// standard output, then "result R" with what time_series returned.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/program_exit.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const int first_free = dup(0);
  close(first_free);
  std::fprintf(stderr, "free fd %d\n", first_free);

  dialogue_state().Data_Loc = std::string(argv[1]) + "/";
  std::string pname = std::string(argv[2]) + "/";
  const int n = std::atoi(argv[3]);
  dialogue_state().Max_Lines = std::atoi(argv[4]) != 0 ? -1 : 100000;
  dialogue_state().Stn_Type = 0;
  dialogue_state().Sort_Type = 0;
  for (int i = 0; i < n && i < kMaxStations; ++i) {
    STATREC& e = dialogue_state().Stn_His[i];
    e = STATREC{};
    std::snprintf(e.init, sizeof e.init, "P%d", i % 1000);
    e.wban = 10001 + i;
    e.wmo = 70001 + i;
    e.bdate = 19000101;
    e.edate = 20991231;
    e.Clat = 'N';
    e.Clon = 'W';
    dialogue_state().Stn_Index[i] = static_cast<short>(i);
    dialogue_state().User_Stations[i][0] = e.wmo;
    dialogue_state().User_Stations[i][1] = e.wban;
  }
  dialogue_state().Stn_His_Num = dialogue_state().Stn_Count =
      dialogue_state().Usr_Stn_Count = static_cast<short>(n);
  try {
    const long r = time_series(dialogue_state(), "1995010100", "1995010223", 0,
                               0, 1, 0, 0, 1, pname);
    std::printf("result %ld\n", r);
  } catch (const ProgramExit& e) {
    std::printf("ended %d\n", e.status);
  }
  return 0;
}
