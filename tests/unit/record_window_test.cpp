// Reading records through the window buffer judges every record as the
// 20000-byte read from its start does: the same records are plausible, with
// the same length and the same bytes available, whatever the window holds
// and in whatever order the records are asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "retrieval_fixture.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;

// A file of good records, records whose length is below 52, above 19976 or
// beyond the end of the file, one of the longest length allowed, and
// padding that is no record at all.
std::string damaged_file(std::vector<unsigned long>& starts) {
  std::string bytes(34, 'h');
  auto add = [&](std::vector<std::uint8_t> rec) {
    starts.push_back(bytes.size());
    bytes.append(rec.begin(), rec.end());
  };
  const auto good =
      archive_writer::pack_record(retrieval_test::sounding(1995, 1, 1, 0, 11111, 6));
  for (int i = 0; i < 40; ++i) add(good);
  auto too_short = good;
  archive_writer::set_record_length(too_short, 51);
  add(too_short);
  auto too_long = good;
  archive_writer::set_record_length(too_long, 19977);
  add(too_long);
  std::vector<std::uint8_t> longest(19976, 0x5A);
  std::copy(good.begin(), good.begin() + 52, longest.begin());
  archive_writer::set_record_length(longest, 19976);
  add(longest);
  for (int i = 0; i < 3; ++i) add(good);
  bytes.append(3000, '\xff');
  auto past_end = good;
  archive_writer::set_record_length(past_end, good.size() + 100);
  add(past_end);
  add(good);  // the last record: fewer than 24 bytes follow it
  return bytes;
}

TEST(RecordWindow, JudgesRecordsAsTheWholeReadDoes) {
  TempDir dir;
  std::vector<unsigned long> starts;
  const std::string bytes = damaged_file(starts);
  testing_support::write_file(dir / "f.buf", bytes);
  FileHandle f(std::fopen((dir / "f.buf").c_str(), "rb"));
  ASSERT_TRUE(f);
  const int fd = fileno(f.get());
  const unsigned long size = bytes.size();

  std::vector<unsigned long> offsets = starts;
  for (unsigned long off = 0; off < size; off += 97) offsets.push_back(off);
  for (unsigned long off = size - 40; off <= size + 2; ++off)
    offsets.push_back(off);
  // In file order (the window reads ahead) and backwards (it never holds
  // the record asked for).
  std::vector<unsigned long> backwards(offsets.rbegin(), offsets.rend());

  std::vector<unsigned char> buf(kBufferSize);
  for (unsigned long chunk : {64ul, 4096ul, 256ul * 1024}) {
    for (const auto* order : {&offsets, &backwards}) {
      RecordWindow window(chunk);
      for (unsigned long off : *order) {
        SCOPED_TRACE("chunk " + std::to_string(chunk) + " offset " +
                     std::to_string(off));
        const DatabaseRecord want = read_database_record(f.get(), off, buf.data());
        const DatabaseRecord got = window.read(1, fd, size, off);
        ASSERT_EQ(got.ok, want.ok);
        if (!want.ok) continue;
        EXPECT_EQ(got.length, want.length);
        EXPECT_EQ(got.avail, want.avail);
        // The record and the next record's first 24 bytes, as far as the
        // 20000-byte read holds them.
        const unsigned long n = std::min(want.length + 24, want.avail);
        ASSERT_GE(got.held, n);
        EXPECT_EQ(std::memcmp(got.data, buf.data(), n), 0);
      }
    }
  }
}

// Keys that keep their own chunk, their reads taking turns with another
// key's, as the slots of the synoptic order do; and a key beyond those
// that keep a chunk. A record the window holds is read without the file.
TEST(RecordWindow, KeysTakingTurnsJudgeRecordsAsTheWholeReadDoes) {
  TempDir dir;
  std::vector<unsigned long> starts;
  const std::string bytes = damaged_file(starts);
  testing_support::write_file(dir / "f.buf", bytes);
  FileHandle f(std::fopen((dir / "f.buf").c_str(), "rb"));
  ASSERT_TRUE(f);
  const int fd = fileno(f.get());
  std::vector<unsigned char> buf(kBufferSize);
  for (unsigned long chunk : {64ul, 1024ul}) {
    RecordWindow window(chunk, 2);
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
      // Key 0 walks the records forwards, key 1 backwards, key 5 (no chunk
      // of its own) reads every third one.
      const unsigned long offs[3] = {starts[i], starts[starts.size() - 1 - i],
                                     starts[(3 * i) % starts.size()]};
      const int keys[3] = {0, 1, 5};
      for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("chunk " + std::to_string(chunk) + " key " +
                     std::to_string(keys[k]) + " offset " +
                     std::to_string(offs[k]));
        const DatabaseRecord want =
            read_database_record(f.get(), offs[k], buf.data());
        // What the window says it holds it judges without the file.
        const bool held = window.holds(keys[k], bytes.size(), offs[k]);
        const DatabaseRecord got =
            window.read(keys[k], held ? -1 : fd, bytes.size(), offs[k]);
        ASSERT_EQ(got.ok, want.ok);
        if (!want.ok) continue;
        EXPECT_EQ(got.length, want.length);
        EXPECT_EQ(got.avail, want.avail);
        const unsigned long n = std::min(want.length + 24, want.avail);
        ASSERT_GE(got.held, n);
        EXPECT_EQ(std::memcmp(got.data, buf.data(), n), 0);
      }
    }
  }
}

TEST(RecordWindow, AnotherFileUnderTheSameKeyIsReadAfresh) {
  TempDir dir;
  const auto rec =
      archive_writer::pack_record(retrieval_test::sounding(1995, 1, 1, 0, 11111, 6));
  std::string a(34, 'a'), b(34, 'b');
  a.append(rec.begin(), rec.end());
  b.append(rec.begin(), rec.end());
  b[34 + 23] = 12;  // the hour byte differs
  testing_support::write_file(dir / "a", a);
  testing_support::write_file(dir / "b", b);
  FileHandle fa(std::fopen((dir / "a").c_str(), "rb"));
  FileHandle fb(std::fopen((dir / "b").c_str(), "rb"));
  RecordWindow window(4096, 2);
  DatabaseRecord r = window.read(0, fileno(fa.get()), a.size(), 34);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.data[23], 0);
  r = window.read(1, fileno(fb.get()), b.size(), 34);  // another key
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.data[23], 12);
  window.forget();  // the same key, another file
  r = window.read(1, fileno(fa.get()), a.size(), 34);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.data[23], 0);
  // What is held needs no descriptor; after forget nothing is held, and
  // without a descriptor nothing is read. An offset at the end is no record.
  EXPECT_TRUE(window.holds(1, a.size(), 34));
  EXPECT_TRUE(window.read(1, -1, a.size(), 34).ok);
  window.forget();
  EXPECT_FALSE(window.holds(1, a.size(), 34));
  EXPECT_FALSE(window.read(1, -1, a.size(), 34).ok);
  EXPECT_FALSE(window.read(1, fileno(fa.get()), a.size(), a.size()).ok);
}

}  // namespace
