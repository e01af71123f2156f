// The formatting thread: text comes back in the order the soundings went
// in, whatever the batch size and wherever the caller finishes; failures
// of the writer and of the write reach the caller.
#include "rawinq/format_ahead.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Writes "<number>@<path>" a line for each sounding (the number is held in
// the header's day); throws at the sounding numbered fail_at.
class NumberWriter final : public SoundingWriter {
 public:
  explicit NumberWriter(long fail_at = -1) : fail_at_(fail_at) {}
  void write(OutputUnit& out, const Sounding& s, const STATREC&,
             const WriteOptions&) override {
    if (s.header.day == fail_at_) throw std::runtime_error("writer failed");
    out.put_lines(std::to_string(s.header.day) + "@" + out.path() + "\n", 1);
  }

 private:
  long fail_at_;
};

std::string numbers(long from, long to, const std::string& path) {
  std::string t;
  for (long n = from; n < to; ++n) t += std::to_string(n) + "@" + path + "\n";
  return t;
}

}  // namespace

TEST(FormatAhead, TextComesBackInOrderWhateverTheBatchAndFinishPoints) {
  struct Case {
    std::size_t batch, levels;  // sounding n has n % 5 levels
    long soundings;
    long finish_every;  // the caller finishes after so many (0: at the end)
  };
  const Case cases[] = {
      {1, 99, 10, 0},        {2, 99, 7, 0},     {128, 9999, 1000, 0},
      {128, 9999, 127, 0},   {3, 99, 50, 7},    {64, 9999, 640, 64},
      {5, 99, 0, 0},         {4, 99, 40, 1},    {1000, 7, 300, 0},
      {1000, 1, 20, 3}};
  const std::string path = "unit.txt";
  STATREC station{};
  WriteOptions options;
  for (const Case& c : cases) {
    FormatAhead ahead(c.batch, c.levels);
    NumberWriter writer;
    std::string text;
    const FormatAhead::Emit emit = [&text](const std::string& t) { text += t; };
    Sounding s;
    for (long n = 0; n < c.soundings; ++n) {
      s.header.day = n;
      s.levels.assign(static_cast<std::size_t>(n % 5), DATA_TYPE{});
      ahead.add(s, station, options);
      if (ahead.full()) ahead.hand_over(writer, path, emit);
      if (c.finish_every > 0 && (n + 1) % c.finish_every == 0) {
        ahead.finish(writer, path, emit);
        EXPECT_FALSE(ahead.pending());
        EXPECT_EQ(text, numbers(0, n + 1, path)) << c.batch << " at " << n;
      }
    }
    ahead.finish(writer, path, emit);
    EXPECT_EQ(text, numbers(0, c.soundings, path)) << "batch " << c.batch;
  }
}

TEST(FormatAhead, BatchIsFullAtItsSoundingsOrItsLevels) {
  STATREC station{};
  WriteOptions options;
  Sounding s;
  s.levels.assign(4, DATA_TYPE{});
  FormatAhead by_levels(100, 10), by_soundings(2, 1000);
  for (int n = 1; n <= 3; ++n) {
    by_levels.add(s, station, options);
    by_soundings.add(s, station, options);
    EXPECT_EQ(by_levels.full(), n == 3) << n;     // 12 levels of 10
    EXPECT_EQ(by_soundings.full(), n >= 2) << n;  // 2 soundings of 2
  }
}

TEST(FormatAhead, FailuresOfTheWriterAndOfTheWriteReachTheCaller) {
  STATREC station{};
  WriteOptions options;
  Sounding s;
  // The unit's path is given as a temporary: the thread keeps its own copy
  // (the address and thread checkers see any use of the temporary).
  // The writer fails at sounding 5 of batches of 2: the batch 4-5 fails on
  // the thread; the caller learns it at its next hand-over, after the text
  // of 0-3 and never with any text of 4 or later.
  {
    FormatAhead ahead(2, 1000);
    NumberWriter writer(5);
    std::string text;
    const FormatAhead::Emit emit = [&text](const std::string& t) { text += t; };
    bool thrown = false;
    try {
      for (long n = 0; n < 20; ++n) {
        s.header.day = n;
        ahead.add(s, station, options);
        if (ahead.full()) ahead.hand_over(writer, "", emit);
      }
      ahead.finish(writer, "", emit);
    } catch (const std::runtime_error& e) {
      thrown = true;
      EXPECT_STREQ(e.what(), "writer failed");
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(text, numbers(0, 4, ""));
    ahead.discard();
    EXPECT_FALSE(ahead.pending());
  }
  // The write of the second batch's text fails: the failure is the
  // caller's; discard then waits for the thread and forgets the rest.
  {
    FormatAhead ahead(3, 1000);
    NumberWriter writer;
    int calls = 0;
    const FormatAhead::Emit emit = [&calls](const std::string&) {
      if (++calls == 2) throw std::runtime_error("write failed");
    };
    EXPECT_THROW(
        {
          for (long n = 0; n < 30; ++n) {
            s.header.day = n;
            ahead.add(s, station, options);
            if (ahead.full()) ahead.hand_over(writer, "", emit);
          }
        },
        std::runtime_error);
    EXPECT_EQ(calls, 2);
    ahead.discard();
    EXPECT_FALSE(ahead.pending());
  }
}
