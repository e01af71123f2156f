// Runs cut short, and runs side by side. SIGINT, SIGTERM and SIGHUP end the program as end of
// input would, with status 128 + the signal's number, and leave no
// temporary file; the output files are whole or absent whatever moment a
// run is interrupted or killed at. Running out of memory ends it with "Out
// of memory" and status 1, its unfinished file removed. Two runs writing
// the same file at once leave one of them whole.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "igra2_text.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string sample_archive() { return source_dir() + "/data/sample-archive"; }
std::string support_files() { return source_dir() + "/data/support"; }

// Ten stations of the sample archive, January to June 1995, into out/:
// ZIR in one file per day, or NetCDF in one file.
std::string extraction(const std::string& station_list, bool netcdf) {
  const std::string head = "\n1995010100\n1995063012\n0\n0\n0\nY\n" +
                           station_list + "\n";
  return head + (netcdf ? "2\ny\n0\n0\nout\n0\nN\nN\n"
                        : "0\nY\n0\n0\n0\n1\nout\n3\nN\nN\n");
}

const char kStations[] =
    "72469\n72520\n72764\n72250\n72293\n72403\n72501\n72357\n72649\n72202\n";

RunResult run_extraction(const TempDir& dir, bool netcdf, RunOptions o = {}) {
  o.cwd = dir.path();
  return run_program(rawinq_bin(), {sample_archive(), support_files()},
                     extraction(dir / "stations.txt", netcdf), o);
}

void prepare(const TempDir& dir) {
  make_dir(dir / "out");
  write_file(dir / "stations.txt", kStations);
}

std::vector<std::string> temporaries(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& e : dir_entries(dir))
    if (e.find(".tmp") != std::string::npos) found.push_back(e);
  return found;
}

// Under limits of the address space from too small for the program to load
// to enough for the request: each run either loads not at all, ends with
// "Out of memory", or does the whole request; never a crash, never a torn
// or temporary file.
TEST(Interruption, OutOfMemoryEndsWithStatusOne) {
  if (kMemoryChecker) GTEST_SKIP() << "address space under a checker";
  TempDir ref_dir;
  prepare(ref_dir);
  const RunResult whole = run_extraction(ref_dir, false);
  int out_of_memory = 0;
  // Steps of 1 MB until the program's own code runs, then of 64 KB over the
  // next 4 MB, where its own allocations begin to fail. Below that, the
  // loader finds no room (127) or the libraries' start-up before main dies
  // of the shortage, where nothing of the program can report it.
  long started_at = 0;
  for (long kb = 40 << 10; kb <= 200 << 10; kb += started_at ? 64 : 1024) {
    if (started_at != 0 && kb > started_at + (4 << 10)) break;
    TempDir dir;
    prepare(dir);
    RunOptions o;
    o.address_space_limit = kb << 10;
    const RunResult r = run_extraction(dir, false, o);
    const std::string at = std::to_string(kb) + " KB";
    const std::string last = "Out of memory\n";
    const bool reported =
        r.status == 1 && r.err.size() >= last.size() &&
        r.err.compare(r.err.size() - last.size(), last.size(), last) == 0;
    if (started_at == 0) {
      if (!reported && r.status != whole.status) continue;
      started_at = kb;
      kb -= 1024;  // sweep the last megabyte finely too
      continue;
    }
    // Below the first start the libraries may still fail their start-up.
    if (kb < started_at && !reported && r.status != whole.status) continue;
    EXPECT_EQ(r.killed_by, 0) << at << " " << r.err;
    EXPECT_TRUE(temporaries(dir / "out").empty()) << at;
    if (reported)
      ++out_of_memory;
    else
      EXPECT_EQ(r.status, whole.status) << at << " " << r.err;
    for (const std::string& name : dir_entries(dir / "out"))
      EXPECT_EQ(read_file(dir / ("out/" + name)),
                read_file(ref_dir / ("out/" + name)))
          << at << " " << name;
  }
  EXPECT_NE(started_at, 0);
  EXPECT_GT(out_of_memory, 0);
}

TEST(Interruption, SignalAtAQuestionEndsWithItsStatus) {
  // The thread checker holds back a signal until the program next enters a
  // call it watches; the read of standard input inside getchar is none, so
  // a signal that comes while the program waits there is never handled.
  if (kThreadChecker) GTEST_SKIP() << "signals held back by the thread checker";
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    prepare(dir);
    RunOptions o;
    o.signal_number = sig;
    o.signal_after_output = "Your choice:  ";
    o.keep_input_open = true;
    o.timeout_seconds = 20;
    o.cwd = dir.path();
    const RunResult r =
        run_program(rawinq_bin(), {sample_archive(), support_files()}, "", o);
    EXPECT_EQ(r.killed_by, 0) << sig;
    EXPECT_EQ(r.status, 128 + sig);
    EXPECT_EQ(r.err, "") << sig;
    // As at end of input, the dialogue ends with one line end.
    EXPECT_EQ(r.out.substr(r.out.size() - 15), "Your choice:  \n") << sig;
  }
}

// Fault injection: extractions killed outright at random moments, and
// interrupted with SIGINT at as many more. Every output file under its own
// name is absent, the earlier run's whole file or equal to the file of an
// uninterrupted run; an interrupted run leaves no temporary file.
TEST(Interruption, KilledOrInterruptedExtractionLeavesOnlyWholeFiles) {
  const auto test_start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         test_start)
        .count();
  };
  // The uninterrupted runs.
  struct Reference {
    std::map<std::string, std::string> files;
    double seconds = 0;
    int status = 0;
  } reference[2];
  for (const bool netcdf : {false, true}) {
    TempDir dir;
    prepare(dir);
    const RunResult r = run_extraction(dir, netcdf);
    ASSERT_EQ(r.err, "");
    Reference& ref = reference[netcdf];
    ref.seconds = r.seconds;
    ref.status = r.status;
    for (const std::string& name : dir_entries(dir / "out"))
      ref.files[name] = read_file(dir / ("out/" + name));
    ASSERT_EQ(ref.files.size(), netcdf ? 1u : 181u);
  }

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  const std::string earlier = "an earlier run's file\n";
  int runs[2] = {}, ended_by_signal[2] = {};
  int complete = 0, kept_earlier = 0, absent = 0, temporaries_after_kill = 0;
  for (int trial = 0; trial < 100 && elapsed() < 50; ++trial) {
    const bool kill_outright = trial % 2 == 0;
    const bool netcdf = trial % 4 >= 2;
    const Reference& ref = reference[netcdf];
    TempDir dir;
    prepare(dir);
    // Some names hold an earlier run's file.
    int k = 0;
    for (const auto& file : ref.files)
      if (k++ % 3 == trial % 3) write_file(dir / ("out/" + file.first), earlier);

    RunOptions o;
    o.signal_number = kill_outright ? SIGKILL : SIGINT;
    o.signal_after_seconds = std::uniform_real_distribution<double>(
        0, ref.seconds * 1.25)(random);
    const RunResult r = run_extraction(dir, netcdf, o);
    const std::string at = "seed " + std::to_string(seed) + " trial " +
                           std::to_string(trial) + " after " +
                           std::to_string(o.signal_after_seconds) + " s";
    ++runs[kill_outright];
    if (r.status != ref.status || r.killed_by != 0) {
      ++ended_by_signal[kill_outright];
      // SIGINT ends the program by its own hand, unless it came before the
      // program could catch it.
      if (!kill_outright && r.killed_by == 0) {
        EXPECT_EQ(r.status, 130) << at;
      }
    }
    for (const std::string& name : dir_entries(dir / "out")) {
      const auto expected = ref.files.find(name);
      if (expected == ref.files.end()) {
        EXPECT_TRUE(kill_outright && name.find(".tmp") != std::string::npos)
            << at << ": " << name;
        ++temporaries_after_kill;
        continue;
      }
      const std::string text = read_file(dir / ("out/" + name));
      if (text == expected->second) {
        ++complete;
      } else {
        EXPECT_EQ(text, earlier) << at << ": " << name << " is torn";
        ++kept_earlier;
      }
    }
    for (const auto& file : ref.files)
      if (!file_exists(dir / ("out/" + file.first))) ++absent;
    if (!kill_outright) {
      EXPECT_TRUE(temporaries(dir / "out").empty()) << at;
    }
  }
  EXPECT_GE(runs[0] + runs[1], 40) << "too few runs in the time allowed";
  std::printf(
      "seed %u: killed %d (%d before the end), interrupted %d (%d before the "
      "end); files whole %d, earlier kept %d, absent %d; temporary files "
      "left by killed runs %d\n",
      seed, runs[1], ended_by_signal[1], runs[0], ended_by_signal[0], complete,
      kept_earlier, absent, temporaries_after_kill);
}

// rawinq-extract writing to a pipe no one reads: its write blocks, and
// SIGINT, SIGTERM or SIGHUP still end the run with 128 + the signal.
TEST(Interruption, SignalWhileAWriteToAStalledPipeBlocks) {
  if (kThreadChecker) GTEST_SKIP() << "signals held back by the thread checker";
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  const int reader = open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);  // never read
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    RunOptions o;
    o.stdout_path = dir / "pipe";
    o.signal_number = sig;
    o.signal_after_seconds = 1.5;  // the pipe is full long before
    o.timeout_seconds = 10;
    const RunResult r = run_program(binary_dir() + "/rawinq-extract",
        {"--from", "1995010100", "--to", "1995123123", "--region", "global", "--hours",
         "all", sample_archive(), support_files()}, "", o);
    EXPECT_EQ(r.killed_by, 0) << sig;
    EXPECT_EQ(r.status, 128 + sig) << r.err;
  }
  close(reader);
}

// Two requests writing the same file (all of their data in one file named
// after the begin date) at the same time: the file is always one run's
// whole file, never a mix (the last one finished wins).
TEST(Interruption, TwoRunsWritingOneFileLeaveOneWholeFile) {
  const std::string answers[2] = {
      "\n1995010100\n1995063012\n0\n0\n0\nY\nfirst.txt\n"
      "0\nY\n0\n0\n0\n1\nout\n0\nN\nN\n",
      "\n1995010100\n1995063012\n0\n0\n0\nY\nsecond.txt\n"
      "0\nY\n0\n0\n0\n1\nout\n0\nN\nN\n"};
  const auto run = [&](const TempDir& dir, int k) {
    RunOptions o;
    o.cwd = dir.path();
    return run_program(rawinq_bin(), {sample_archive(), support_files()},
                       answers[k], o);
  };
  const auto prepare_both = [](const TempDir& dir) {
    make_dir(dir / "out");
    write_file(dir / "first.txt", "72469\n72520\n72764\n72250\n72293\n");
    write_file(dir / "second.txt", "72403\n72501\n72357\n72649\n72202\n");
  };
  std::string alone[2];
  for (int k = 0; k < 2; ++k) {
    TempDir dir;
    prepare_both(dir);
    ASSERT_EQ(run(dir, k).err, "");
    alone[k] = read_file(dir / "out/1995010100.txt");
  }
  ASSERT_NE(alone[0], alone[1]);
  for (int round = 0; round < 5; ++round) {
    TempDir dir;
    prepare_both(dir);
    std::thread other([&] { run(dir, 1); });
    run(dir, 0);
    other.join();
    const std::string text = read_file(dir / "out/1995010100.txt");
    EXPECT_TRUE(text == alone[0] || text == alone[1])
        << "round " << round << ": " << text.size() << " bytes";
    EXPECT_EQ(dir_entries(dir / "out"),
              std::vector<std::string>{"1995010100.txt"});
  }
}

// rawinq-pack runs side by side into one archive and support folder, some
// interrupted at random moments (fixed seed): a run that ends with 0 has
// its whole station file and its catalogue entry, one ended by a signal
// changed nothing, one station-year is never made twice, no temporary file.
TEST(Interruption, PacksSideBySideOrInterruptedLoseNothing) {
  const char* const ids[2] = {"USM00072469", "USM00072520"};
  const char* const files[2] = {"db/Raob1996/23062_96.buf",
                                "db/Raob1996/94823_96.buf"};
  TempDir inputs;
  std::string list;
  for (int k = 0; k < 2; ++k) {
    std::string text;
    for (int n = 0; n < 12 * 28 * 2; ++n) {
      text += igra_header(ids[k], 1996, n / 56 + 1, n / 2 % 28 + 1, n % 2 * 12,
                          1115, 2);
      for (long pa : {85000L, 50000L})
        text += igra_level("10", pa, 1500 + k, -100, -9999, 30, 250, 100 + n % 99);
    }
    write_file(inputs / ("in" + std::to_string(k)), text);
    char line[120];
    std::snprintf(line, sizeof line, "%-11s %8.4f %9.4f %6.1f    %-30s %4d %4d\n",
                  ids[k], 40.0, -100.0, 1000.0, "SOMEWHERE", 1946, 2024);
    list += line;
  }
  write_file(inputs / "list", list);
  const auto run = [&](const TempDir& dir, int k, int sig, double after) {
    RunOptions o;
    o.signal_number = sig;
    o.signal_after_seconds = after;
    return run_program(
        binary_dir() + "/rawinq-pack",
        {"--from", "igra2", "--catalogue", support_files() + "/stat2000.txt",
         "--stations", inputs / "list", "--support", dir / "sup", dir / "db",
         inputs / ("in" + std::to_string(k))}, "", o);
  };
  std::string whole[2];  // each run alone
  double seconds = 0;
  for (int k = 0; k < 2; ++k) {
    TempDir dir;
    const RunResult r = run(dir, k, 0, 0);
    ASSERT_EQ(r.status, 0) << r.err;
    whole[k] = read_file(dir / files[k]);
    seconds = std::max(seconds, r.seconds);
  }
  std::mt19937 random(20261208);
  int outcomes[3] = {};  // succeeded, refused, interrupted
  for (int trial = 0; trial < 40; ++trial) {
    TempDir dir;
    const int input[2] = {0, trial % 4 == 3 ? 0 : 1};  // or one station-year
    int sig[2] = {};
    double after[2] = {};
    for (int k = 0; k < 2; ++k)
      if (random() % 2 == 0) {
        sig[k] = std::vector<int>{SIGINT, SIGTERM, SIGHUP}[random() % 3];
        after[k] = std::uniform_real_distribution<double>(0, seconds * 1.5)(random);
      }
    RunResult r[2];
    std::thread other([&] { r[1] = run(dir, input[1], sig[1], after[1]); });
    r[0] = run(dir, input[0], sig[0], after[0]);
    other.join();
    const std::string at = "trial " + std::to_string(trial) + ": ";
    const std::string catalogue = file_exists(dir / "sup/stat2000.txt")
                                      ? read_file(dir / "sup/stat2000.txt") : "0\n";
    int placed[2] = {};
    for (int k = 0; k < 2; ++k) {
      const int status = r[k].status;
      ++outcomes[status == 0 ? 0 : status == 1 ? 1 : 2];
      placed[input[k]] += status == 0;
      if (status == 1) {
        EXPECT_TRUE(input[0] == input[1] && r[k].err.find("exists") != std::string::npos)
            << at << r[k].err;
      } else if (status != 0) {
        EXPECT_EQ(status, 128 + sig[k]) << at << r[k].err;
      }
    }
    for (int k = 0; k < 2; ++k) {
      EXPECT_LE(placed[k], 1) << at << "two runs made one file";
      EXPECT_EQ(catalogue.find(k ? "94823 72520" : "23062 72469") != std::string::npos,
                placed[k] > 0) << at << catalogue;
      EXPECT_EQ(placed[k] ? whole[k] : "",
                file_exists(dir / files[k]) ? read_file(dir / files[k]) : "") << at;
    }
    EXPECT_EQ(std::to_string(count_of(catalogue, "\n") - 1) + "\n",
              catalogue.substr(0, catalogue.find('\n') + 1)) << at;
    for (const char* d : {"sup", "db", "db/Raob1996"})
      EXPECT_TRUE(!file_exists(dir / d) || temporaries(dir / d).empty()) << at << d;
  }
  EXPECT_GT(outcomes[0], 0);
  EXPECT_GT(outcomes[2], 0);
  std::printf("packs: %d succeeded, %d refused, %d interrupted\n",
              outcomes[0], outcomes[1], outcomes[2]);
}
}  // namespace
