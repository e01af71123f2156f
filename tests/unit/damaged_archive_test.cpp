// Damaged station-year files, swept systematically: the file cut at every
// byte, every single-bit flip of its day index and of one record, and the
// offsets, record lengths and level counts that break the file layout.
// Whatever a file holds, both retrievals end normally (no signal, no hang),
// write whole soundings only, each the one the sound file gives or none,
// and warn where they skipped a file or a record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive_writer.h"
#include "case_sweep.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/output.h"
#include "rawinq/program_exit.h"
#include "rawinq/retrieval.h"
#include "retrieval_fixture.h"

namespace {

using namespace retrieval_test;
using archive_writer::Sounding;
using testing_support::file_exists;
using testing_support::run_sweep;
using testing_support::SweepResult;
using testing_support::TempDir;

// Runs a retrieval with standard input at its end and standard output in
// memory: a sweep runs thousands of them.
class Terminal {
 public:
  Terminal()
      : screen_(memfd_create("screen", 0)),
        no_input_(open("/dev/null", O_RDONLY)) {}
  ~Terminal() {
    close(screen_);
    close(no_input_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Runs f; returns what it wrote on standard output.
  template <typename F>
  std::string run(F f) {
    std::fflush(stdout);
    if (ftruncate(screen_, 0) != 0 || lseek(screen_, 0, SEEK_SET) != 0)
      throw std::runtime_error("memfd");
    const int out = dup(1), in = dup(0);
    dup2(screen_, 1);
    dup2(no_input_, 0);
    __fpurge(stdin);
    std::clearerr(stdin);
    auto restore = [&] {
      std::fflush(stdout);
      dup2(out, 1);
      dup2(in, 0);
      close(out);
      close(in);
      __fpurge(stdin);
      std::clearerr(stdin);
    };
    try {
      f();
    } catch (...) {
      restore();
      throw;
    }
    restore();
    std::string text(static_cast<size_t>(lseek(screen_, 0, SEEK_END)), '\0');
    if (pread(screen_, text.data(), text.size(), 0) !=
        static_cast<ssize_t>(text.size()))
      throw std::runtime_error("memfd read");
    return text;
  }

 private:
  int screen_;
  int no_input_;
};

// One ZIR block of an output file.
struct Block {
  std::string text;    // its lines, line ends included
  bool whole = false;  // the four header lines and as many lines as the
                       // summary line announces, the last one ended
};

// Splits a ZIR listing at its date lines (type 254).
std::vector<Block> zir_blocks(const std::string& text) {
  std::vector<Block> blocks;
  std::vector<std::vector<std::string>> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    at = end;
    int type = 0;
    if ((std::sscanf(line.c_str(), "%d", &type) == 1 && type == 254) ||
        blocks.empty()) {
      blocks.emplace_back();
      lines.emplace_back();
    }
    blocks.back().text += line;
    lines.back().push_back(line);
  }
  for (size_t b = 0; b < blocks.size(); ++b) {
    const std::vector<std::string>& l = lines[b];
    int types[4] = {0, 0, 0, 0};
    long announced = -1;
    for (size_t i = 0; i < 4 && i < l.size(); ++i)
      std::sscanf(l[i].c_str(), "%d", &types[i]);
    if (l.size() > 2)
      std::sscanf(l[2].c_str(), "%*d %*d %*d %*d %ld", &announced);
    blocks[b].whole = types[0] == 254 && types[1] == 1 && types[2] == 2 &&
                      types[3] == 3 &&
                      announced == static_cast<long>(l.size()) &&
                      blocks[b].text.back() == '\n';
  }
  return blocks;
}

enum class Driver { kSynoptic, kClimatological };
const char* name_of(Driver d) {
  return d == Driver::kSynoptic ? "synoptic" : "climatological";
}

// What one retrieval did.
struct Extraction {
  std::string file;           // the output file, when one was written
  std::vector<Block> blocks;  // of a ZIR output file, in order
  std::string screen;         // standard output
  long result = 0;
  std::string ended;  // how the program was ended, when it was
};

// Where a record of the sound file lies.
struct Span {
  unsigned long begin, end;
  int month;  // 1 to 12
};

unsigned long be(const std::string& s, unsigned long at, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i)
    v = (v << 8) | static_cast<unsigned char>(s.at(at + i));
  return v;
}

// What a byte of the day index is for.
enum class IndexByte { kCount, kUnused, kFirstHour, kFirstOffset };

class DamagedArchive : public RetrievalTest {
 protected:
  void SetUp() override {
    RetrievalTest::SetUp();
    // The files live in memory when the system has a memory file system.
    dialogue_state().Data_Loc = mem.path() + "/db/";
    testing_support::make_dir(mem / "out");
    pname = mem.path() + "/out/";
    dialogue_state().Usr_Stn_Count = 1;
    to_files(0);
    std::vector<Sounding>& s = soundings;
    s = {
        sounding(1995, 1, 1, 0, kA, 6), sounding(1995, 1, 1, 12, kA, 8),
        sounding(1995, 1, 2, 0, kA, 7), sounding(1995, 1, 2, 6, kA, 6),
        sounding(1995, 1, 2, 12, kA, 8), sounding(1995, 2, 1, 0, kA, 6),
        sounding(1995, 2, 28, 12, kA, 5)};
    s[1].nstat = 3;  // an optional block, padded
    s[2].maxwind = 3;
    s[2].troplv = 5;
    s[2].top_hyd = 7;
    s[2].reltime = 1130;
    s[2].sondtype = 3;
    s[2].source = 2;
    s[2].tropind = 4;
    s[4].nstat = 2;
    path = put(1995, kA, s);
    sound = read_file(path);
    out_path = pname + "1995010100.txt";

    // The day index and the records, read back from the file itself.
    unsigned long pos = archive_writer::kFileHeadSize;
    index_role.assign(sound.size(), IndexByte::kUnused);
    for (int m = 0; m < 12; ++m) {
      for (int d = 0; d < 31; ++d) {
        const unsigned long count = be(sound, pos, 1);
        index_role[pos] = IndexByte::kCount;
        for (unsigned long k = 0; k < count; ++k) {
          const unsigned long entry = pos + 5 + 5 * k;
          const unsigned long off = be(sound, entry + 1, 4);
          spans.push_back({off, off + be(sound, off + 4, 3), m + 1});
          if (k == 0) {
            index_role[entry] = IndexByte::kFirstHour;
            for (int i = 1; i <= 4; ++i)
              index_role[entry + i] = IndexByte::kFirstOffset;
          }
        }
        pos += 5 + 5 * count;
      }
    }
    index_end = pos;
    ASSERT_EQ(spans.size(), s.size());
    ASSERT_EQ(spans.back().end, sound.size());

    for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
      const Extraction x = extract(d, sound);
      ASSERT_EQ(x.ended, "");
      ASSERT_EQ(x.result, 7);
      ASSERT_EQ(x.blocks.size(), 7u);
      for (const Block& b : x.blocks) ASSERT_TRUE(b.whole) << b.text;
      ASSERT_EQ(count_of(x.screen, "WARNING"), 0);
      std::vector<std::string>& ref = reference[static_cast<int>(d)];
      for (const Block& b : x.blocks) ref.push_back(b.text);
    }
    ASSERT_EQ(reference[0], reference[1]);
  }

  // Runs a retrieval of January and February 1995 over the file holding
  // `bytes`, all levels, into one output file: ZIR text (oformat 0), FAA604
  // (1) or NetCDF (2).
  Extraction extract(Driver d, const std::string& bytes, short oformat = 0) {
    write_file(path, bytes);
    for (const std::string& f : testing_support::dir_entries(mem / "out"))
      std::remove((mem / ("out/" + f)).c_str());
    Extraction x;
    x.screen = terminal.run([&] {
      try {
        x.result =
            d == Driver::kSynoptic
                ? time_series(dialogue_state(), "1995010100", "1995022823", 0,
                              0, 1, oformat, 0, 1, pname)
                : station_series(dialogue_state(), "1995010100", "1995022823",
                                 0, 0, 1, oformat, 0, 1, pname);
      } catch (const ProgramExit& e) {
        x.ended = "ended with status " + std::to_string(e.status);
        close_output_at_exit();
      }
    });
    const std::vector<std::string> files =
        testing_support::dir_entries(mem / "out");
    if (files.size() > 1) x.ended += " and wrote more than one file";
    if (files.size() == 1) {
      x.file = read_file(mem / ("out/" + files[0]));
      if (oformat == 0) x.blocks = zir_blocks(x.file);
    }
    return x;
  }

  int warnings(const Extraction& x) const {
    return count_of(x.screen, unreadable(path));
  }

  // The retrieval ended by itself, wrote whole blocks only and reported as
  // many soundings as it wrote.
  std::string sane(Driver d, const Extraction& x) const {
    const std::string who = std::string(name_of(d)) + ": ";
    if (!x.ended.empty()) return who + x.ended;
    for (const Block& b : x.blocks)
      if (!b.whole) return who + "a block that is not whole:\n" + b.text;
    if (x.result != static_cast<long>(x.blocks.size()))
      return who + "reported " + std::to_string(x.result) + " soundings, wrote " +
             std::to_string(x.blocks.size());
    return "";
  }

  // Exactly the sound file's soundings `wanted` (indices into the
  // reference), in order.
  std::string exactly(Driver d, const Extraction& x,
                      const std::vector<size_t>& wanted) const {
    const std::vector<std::string>& ref = reference[static_cast<int>(d)];
    std::string got, want;
    for (const Block& b : x.blocks) got += b.text;
    for (size_t i : wanted) want += ref[i];
    if (got == want) return "";
    return std::string(name_of(d)) + ": wrote\n" + got + "instead of\n" + want;
  }

  // Every block one of the sound file's soundings.
  std::string only_known(Driver d, const Extraction& x) const {
    const std::vector<std::string>& ref = reference[static_cast<int>(d)];
    for (const Block& b : x.blocks) {
      bool known = false;
      for (const std::string& r : ref) known = known || r == b.text;
      if (!known)
        return std::string(name_of(d)) + ": a sounding of no record:\n" +
               b.text;
    }
    return "";
  }

  std::vector<Sounding> soundings;  // of the sound file
  TempDir mem{"/dev/shm"};
  Terminal terminal;
  std::string path, out_path, sound;
  std::vector<Span> spans;
  std::vector<IndexByte> index_role;
  unsigned long index_end = 0;
  std::vector<std::string> reference[2];
};

std::string flip(std::string bytes, unsigned long bit) {
  bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (0x80 >> (bit % 8)));
  return bytes;
}

void expect_clean(const SweepResult& r) {
  EXPECT_TRUE(r.completed) << r.how_it_ended;
  EXPECT_EQ(r.problem_count, 0) << r.problems;
}

TEST_F(DamagedArchive, EveryTruncationWritesTheWholeRecordsAndWarns) {
  const SweepResult r =
      run_sweep(static_cast<int>(sound.size()), [&](int size) -> std::string {
        const auto s = static_cast<unsigned long>(size);
        std::vector<size_t> kept;
        std::vector<bool> month_cut(13, false);
        for (size_t i = 0; i < spans.size(); ++i) {
          if (s >= index_end && spans[i].end <= s)
            kept.push_back(i);
          else
            month_cut[static_cast<size_t>(spans[i].month)] = true;
        }
        int cut_months = 0;
        for (bool c : month_cut) cut_months += c ? 1 : 0;
        for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
          const Extraction x = extract(d, sound.substr(0, s));
          std::string p = sane(d, x);
          if (p.empty()) p = exactly(d, x, kept);
          // A file whose index is cut is skipped whole: the synoptic
          // retrieval warns at each month it reads, the climatological one
          // once. A cut record is skipped with its day: one warning for
          // each month that lost a record.
          const int want = s < index_end
                               ? (d == Driver::kSynoptic ? 2 : 1)
                               : cut_months;
          if (p.empty() && warnings(x) != want)
            p = std::string(name_of(d)) + ": " + std::to_string(warnings(x)) +
                " warnings, not " + std::to_string(want) + "\n" + x.screen;
          if (!p.empty()) return p;
        }
        return "";
      });
  expect_clean(r);
}

TEST_F(DamagedArchive, EveryTruncationInTheCodedAndNetcdfFormats) {
  // A cut file gives the records that lie whole before the cut: always the
  // first k of the file. Its output must be exactly that of a sound file
  // holding those k soundings alone, in every format.
  std::vector<Sounding> all = soundings;
  // (k, format) -> the output file and the count of soundings written (the
  // coded format drops the five-level sounding: its cut leaves four).
  std::map<std::pair<int, int>, std::string> want;
  std::map<std::pair<int, int>, long> want_count;
  for (size_t k = 0; k <= all.size(); ++k) {
    const auto packed = archive_writer::pack_station_year(
        std::vector<Sounding>(all.begin(), all.begin() + static_cast<long>(k)));
    const std::string bytes(packed.begin(), packed.end());
    for (short format : {1, 2}) {
      const Extraction s = extract(Driver::kSynoptic, bytes, format);
      const Extraction c = extract(Driver::kClimatological, bytes, format);
      ASSERT_EQ(s.ended + c.ended, "");
      ASSERT_EQ(s.result, c.result);
      ASSERT_EQ(s.file.empty(), k == 0) << k << " " << format;
      ASSERT_TRUE(s.file == c.file) << k << " " << format;
      want[{static_cast<int>(k), format}] = s.file;
      want_count[{static_cast<int>(k), format}] = s.result;
    }
  }
  const SweepResult r =
      run_sweep(static_cast<int>(sound.size()), [&](int size) -> std::string {
        const auto s = static_cast<unsigned long>(size);
        int k = 0;
        for (const Span& span : spans)
          if (s >= index_end && span.end <= s) ++k;
        for (short format : {1, 2}) {
          for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
            const Extraction x = extract(d, sound.substr(0, s), format);
            const std::string who = std::string(name_of(d)) + " format " +
                                    std::to_string(format) + ": ";
            if (!x.ended.empty()) return who + x.ended;
            if (x.result != want_count[{k, format}])
              return who + std::to_string(x.result) + " soundings, not " +
                     std::to_string(want_count[{k, format}]);
            if (!(x.file == want[{k, format}]))
              return who + "not the output of the whole records";
          }
        }
        return "";
      });
  expect_clean(r);
}

TEST_F(DamagedArchive, EveryBitFlipOfTheDayIndex) {
  const unsigned long first = archive_writer::kFileHeadSize * 8;
  const SweepResult r = run_sweep(
      static_cast<int>(index_end * 8 - first), [&](int n) -> std::string {
        const unsigned long bit = first + static_cast<unsigned long>(n);
        const std::string bytes = flip(sound, bit);
        const IndexByte role = index_role[bit / 8];
        for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
          const Extraction x = extract(d, bytes);
          std::string p = sane(d, x);
          if (p.empty() && role == IndexByte::kUnused) {
            // Bytes the retrievals do not read change nothing.
            p = exactly(d, x, {0, 1, 2, 3, 4, 5, 6});
            if (p.empty() && warnings(x) != 0) p = "a warning:\n" + x.screen;
          }
          // A count, hour or offset that is wrong but plausible can lead to
          // another record of the file, never to a sounding of no record.
          if (p.empty()) p = only_known(d, x);
          if (p.empty() && role == IndexByte::kFirstOffset) {
            const unsigned long at = bit / 8;
            unsigned long entry = at - 1;
            while (index_role[entry] != IndexByte::kFirstHour) --entry;
            if (be(bytes, entry + 1, 4) >= sound.size() && warnings(x) == 0)
              p = "an offset past the end without a warning";
          }
          // The synoptic retrieval goes by the index's hours: a day whose
          // first hour is none of 0 to 23 is skipped with a warning.
          if (p.empty() && role == IndexByte::kFirstHour &&
              d == Driver::kSynoptic &&
              static_cast<unsigned char>(bytes[bit / 8]) > 23 &&
              warnings(x) == 0)
            p = "an impossible hour without a warning";
          if (!p.empty()) return p;
        }
        return "";
      });
  expect_clean(r);
}

TEST_F(DamagedArchive, EveryBitFlipOfOneRecord) {
  // The first record of 2 January, which two more records of the day
  // follow; its level blocks start at byte 52.
  const Span target = spans[2];
  const unsigned long levels_end = 52 + (64 + 7 * 83 + 7) / 8 - 8;
  ASSERT_EQ(target.end - target.begin, levels_end);
  const SweepResult r = run_sweep(
      static_cast<int>((target.end - target.begin) * 8),
      [&](int n) -> std::string {
        const unsigned long bit = target.begin * 8 + static_cast<unsigned long>(n);
        const unsigned long at = bit / 8 - target.begin;
        const bool unread =
            at <= 3 || (at >= 7 && at <= 14) || (at >= 16 && at <= 19) ||
            (at >= 24 && at <= 34) || (at >= 37 && at <= 43) ||
            bit - target.begin * 8 >= 52 * 8 + 7 * 83;
        const std::string bytes = flip(sound, bit);
        for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
          const Extraction x = extract(d, bytes);
          std::string p = sane(d, x);
          if (p.empty() && unread) {
            p = exactly(d, x, {0, 1, 2, 3, 4, 5, 6});
            if (p.empty() && warnings(x) != 0) p = "a warning:\n" + x.screen;
          }
          if (!p.empty()) return p;
          // The other days are untouched; the flipped sounding is whole or
          // absent; the day's later records are there, or skipped with a
          // warning when the flip broke the chain to them.
          const std::vector<std::string>& ref =
              reference[static_cast<int>(d)];
          std::vector<std::string> got;
          for (const Block& b : x.blocks) got.push_back(b.text);
          const std::string who = std::string(name_of(d)) + ": ";
          if (got.size() < 4 || got[0] != ref[0] || got[1] != ref[1] ||
              got[got.size() - 2] != ref[5] || got.back() != ref[6])
            return who + "other days changed";
          std::vector<std::string> day(got.begin() + 2, got.end() - 2);
          size_t k = 0;
          if (k < day.size() && day[k] != ref[3] && day[k] != ref[4]) ++k;
          bool lost = false;
          for (size_t i : {3, 4}) {
            if (k < day.size() && day[k] == ref[i])
              ++k;
            else
              lost = true;
          }
          if (k != day.size()) return who + "unexpected soundings on 2 January";
          if (lost && warnings(x) == 0)
            return who + "a later record of the day lost without a warning";
        }
        return "";
      });
  expect_clean(r);
}

// Writes value as n big-endian bytes at `at`.
void put_be(std::string& bytes, unsigned long at, int n, unsigned long value) {
  for (int i = n - 1; i >= 0; --i, value >>= 8)
    bytes.at(at + static_cast<unsigned long>(i)) = static_cast<char>(value & 0xFF);
}

TEST_F(DamagedArchive, EveryBitFlipOfARecordWithTheOptionalBlock) {
  // The last record of 1 January carries the optional block with three
  // station entries (6 bytes, the count, 15 bytes, a padding byte) before
  // the 11 bytes, the level count, 7 bytes, the header and 8 levels.
  const Span target = spans[1];
  const unsigned long header = 24 + 6 + 2 + 15 + 1 + 11 + 2 + 7;
  ASSERT_EQ(header, archive_writer::header_block_offset(soundings[1]));
  ASSERT_EQ(target.end - target.begin, header + (64 + 8 * 83 + 7) / 8);
  const SweepResult r = run_sweep(
      static_cast<int>((target.end - target.begin) * 8),
      [&](int n) -> std::string {
        const unsigned long bit =
            target.begin * 8 + static_cast<unsigned long>(n);
        const unsigned long at = bit / 8 - target.begin;
        const bool unread =
            at <= 3 || (at >= 7 && at <= 14) || (at >= 16 && at <= 19) ||
            (at >= 24 && at <= 29) || (at >= 32 && at <= 58) ||
            (at >= 61 && at <= 67) ||
            static_cast<unsigned long>(n) >= header * 8 + 64 + 8 * 83;
        const std::string bytes = flip(sound, bit);
        for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
          const Extraction x = extract(d, bytes);
          std::string p = sane(d, x);
          if (p.empty() && unread) {
            p = exactly(d, x, {0, 1, 2, 3, 4, 5, 6});
            if (p.empty() && warnings(x) != 0) p = "a warning:\n" + x.screen;
          }
          if (!p.empty()) return p;
          // The last record of its day: whatever the flip did to it, every
          // other sounding is there as it was; it is whole or absent.
          const std::vector<std::string>& ref =
              reference[static_cast<int>(d)];
          std::vector<std::string> got;
          for (const Block& b : x.blocks) got.push_back(b.text);
          if (got.size() == 7) got.erase(got.begin() + 1);
          const std::vector<std::string> others = {ref[0], ref[2], ref[3],
                                                   ref[4], ref[5], ref[6]};
          if (got != others)
            return std::string(name_of(d)) + ": other soundings changed";
        }
        return "";
      });
  expect_clean(r);
}

TEST_F(DamagedArchive, RecordOffsetsPastTheEndSkipTheDayWithAWarning) {
  // The index entry of 2 January: its first offset.
  unsigned long entry = 0;
  for (unsigned long at = 0; at < index_end && entry == 0; ++at)
    if (index_role[at] == IndexByte::kFirstOffset &&
        be(sound, at, 4) == spans[2].begin)
      entry = at;
  ASSERT_NE(entry, 0u);
  for (unsigned long offset : {static_cast<unsigned long>(sound.size()),
                               static_cast<unsigned long>(sound.size()) + 1000,
                               0x7FFFFFFFul, 0xFFFFFFFFul}) {
    std::string bytes = sound;
    put_be(bytes, entry, 4, offset);
    for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
      const Extraction x = extract(d, bytes);
      EXPECT_EQ(sane(d, x), "") << offset;
      EXPECT_EQ(exactly(d, x, {0, 1, 5, 6}), "") << offset;
      EXPECT_EQ(warnings(x), 1) << offset << " " << name_of(d);
    }
  }
}

TEST_F(DamagedArchive, RecordLengthsOutsideTheLimitsSkipTheDayWithAWarning) {
  // The first record of 2 January: 125 bytes, two more records follow it
  // that day. Lengths below 52 or above 19976 are refused; 52 and 124 are
  // too short for its seven levels, 19976 runs past the end of the file:
  // the record is not written, and the day's next record, looked for at
  // the wrong place, is not found.
  for (unsigned long length : {0ul, 1ul, 51ul, 52ul, 124ul, 19976ul, 19977ul,
                               (1ul << 24) - 1}) {
    std::string bytes = sound;
    put_be(bytes, spans[2].begin + 4, 3, length);
    for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
      const Extraction x = extract(d, bytes);
      EXPECT_EQ(sane(d, x), "") << length;
      EXPECT_EQ(exactly(d, x, {0, 1, 5, 6}), "") << length;
      EXPECT_EQ(warnings(x), 1) << length << " " << name_of(d);
    }
  }
}

TEST_F(DamagedArchive, LevelCountsPastTheRecordDropOnlyThatSounding) {
  // Levels at bytes 35-36 of a record without the optional block. The
  // first record of 2 January holds 7 levels in 125 bytes; the last record
  // of the file 5 levels at its very end.
  const unsigned long last = spans[6].begin;
  for (unsigned long levels : {8ul, 9ul, 350ul, 351ul, 65535ul}) {
    std::string bytes = sound;
    put_be(bytes, spans[2].begin + 35, 2, levels);
    put_be(bytes, last + 35, 2, levels - 2);
    for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
      const Extraction x = extract(d, bytes);
      EXPECT_EQ(sane(d, x), "") << levels;
      EXPECT_EQ(exactly(d, x, {0, 1, 3, 4, 5}), "") << levels;
      // The records themselves are whole: the chain goes on.
      EXPECT_EQ(warnings(x), 0) << levels << " " << name_of(d);
    }
  }
}

TEST_F(DamagedArchive, ImpossibleOrBackwardHoursAreReportedNotSilentlyLost) {
  // The synoptic retrieval finds a day's records by hour: a record chain or
  // an index entry that leads to an hour above 23 would never be read, and
  // the day's records would be lost without a word. The climatological
  // retrieval reads every record of the day and drops only the record that
  // carries the impossible hour.
  std::string chain = sound;
  chain.at(spans[3].begin + 23) = 40;  // the hour of 2 January's second record
  Extraction x = extract(Driver::kSynoptic, chain);
  EXPECT_EQ(exactly(Driver::kSynoptic, x, {0, 1, 2, 5, 6}), "");
  EXPECT_EQ(warnings(x), 1);
  x = extract(Driver::kClimatological, chain);
  EXPECT_EQ(exactly(Driver::kClimatological, x, {0, 1, 2, 4, 5, 6}), "");
  EXPECT_EQ(warnings(x), 0);

  // A record whose hour lies before the hour of the record it follows: the
  // synoptic walk has passed that hour when it reaches the record.
  std::string backwards = sound;
  backwards.at(spans[4].begin + 23) = 4;  // 2 January 12 UTC, after 06 UTC
  x = extract(Driver::kSynoptic, backwards);
  EXPECT_EQ(exactly(Driver::kSynoptic, x, {0, 1, 2, 3, 5, 6}), "");
  EXPECT_EQ(warnings(x), 1);
  x = extract(Driver::kClimatological, backwards);
  EXPECT_EQ(sane(Driver::kClimatological, x), "");
  EXPECT_EQ(x.blocks.size(), 7u);
  EXPECT_EQ(warnings(x), 0);

  unsigned long hour_at = 0;
  for (unsigned long at = 0; at < index_end && hour_at == 0; ++at)
    if (index_role[at] == IndexByte::kFirstHour &&
        be(sound, at + 1, 4) == spans[2].begin)
      hour_at = at;
  ASSERT_NE(hour_at, 0u);
  std::string index = sound;
  index.at(hour_at) = 24;
  x = extract(Driver::kSynoptic, index);
  EXPECT_EQ(exactly(Driver::kSynoptic, x, {0, 1, 5, 6}), "");
  EXPECT_EQ(warnings(x), 1);
  x = extract(Driver::kClimatological, index);
  EXPECT_EQ(exactly(Driver::kClimatological, x, {0, 1, 2, 3, 4, 5, 6}), "");
  EXPECT_EQ(warnings(x), 0);
}

TEST_F(DamagedArchive, StationFilesThatAreNoFilesAreSkippedNotWaitedFor) {
  // Where the station's file should be: a FIFO (opening it would wait for
  // a writer for ever) or a directory. Station B's sound file is read all
  // the same. A hang ends the case by its time limit.
  put(1995, kB, {sounding(1995, 1, 3, 0, kB)});
  dialogue_state().Usr_Stn_Count = 2;
  const SweepResult r = run_sweep(2, [&](int n) -> std::string {
    std::remove(path.c_str());
    const int made = n == 0 ? mkfifo(path.c_str(), 0600) : mkdir(path.c_str(), 0700);
    if (made != 0) return "could not make the file";
    std::string problems;
    for (Driver d : {Driver::kSynoptic, Driver::kClimatological}) {
      Extraction x;
      x.screen = terminal.run([&] {
        std::remove(out_path.c_str());
        x.result = d == Driver::kSynoptic
                       ? time_series(dialogue_state(), "1995010100",
                                     "1995022823", 0, 0, 1, 0, 0, 1, pname)
                       : station_series(dialogue_state(), "1995010100",
                                        "1995022823", 0, 0, 1, 0, 0, 1, pname);
      });
      x.blocks = zir_blocks(read_file(out_path));
      if (x.result != 1 || x.blocks.size() != 1 ||
          x.blocks[0].text.find(" 22222 ") == std::string::npos)
        problems += std::string(name_of(d)) + ": not B's sounding alone\n";
      if (count_of(x.screen, " WARNING:  unable to open database file: " +
                                 path + "\n") != 1)
        problems += std::string(name_of(d)) + ": " + x.screen;
    }
    rmdir(path.c_str());
    std::remove(path.c_str());
    return problems;
  });
  expect_clean(r);
}

}  // namespace
