// Micro-benchmarks: field reading, record decoding and each writer, per
// sounding, over the synthetic soundings of the benchmark archive.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "bench_sounding.h"
#include "dialogue_fixture.h"
#include "rawinq/archive.h"
#include "rawinq/bit_reader.h"
#include "rawinq/cdf.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/decoder.h"
#include "rawinq/indices.h"
#include "rawinq/output_session.h"

namespace {

struct Setup {
  std::vector<std::vector<std::uint8_t>> records;
  Setup() {
    STATREC& e = dialogue_state().Stn_His[0];
    e = STATREC{};
    std::strcpy(e.init, "BNCH");
    e.wban = 30001;
    e.wmo = 71001;
    e.lat = 40.5f;
    e.lon = -105.25f;
    e.Clat = 'N';
    e.Clon = 'W';
    e.elev = 1611;
    e.bdate = 19480101;
    e.edate = 20991231;
    dialogue_state().Stn_His_Num = 1;
    bench::Random r(7);
    for (int k = 0; k < 64; ++k)
      records.push_back(archive_writer::pack_record(
          bench::sounding_at(30001, 1995, 1 + k % 12, 1 + k % 28, k % 2 * 12, r)));
  }
};

const Setup& setup() {
  static const Setup s;
  return s;
}

// Decodes record k (of the 64) into out.
bool decode(std::size_t k, Sounding& out, bool cut = false) {
  const std::vector<std::uint8_t>& rec = setup().records[k % 64];
  DecodeOptions options;
  options.cut_at_100mb = cut;
  return decode_sounding(rec.data(), rec.size(), options, out) ==
         SoundingCheck::decoded;
}

// A directory whose output file of the benchmarks' date is the null device.
struct NullDirectory {
  std::string dir = "/tmp/rawinq_micro_bench_" +
                    std::to_string(static_cast<long>(getpid())) + "/";
  explicit NullDirectory(const char* name) {
    mkdir(dir.c_str(), 0700);
    link = dir + name;
    if (symlink("/dev/null", link.c_str()) != 0) link.clear();
  }
  ~NullDirectory() {
    std::remove(link.c_str());
    rmdir(dir.c_str());
  }
  std::string link;
};

void BM_UnpackField(benchmark::State& state) {
  setup();
  const int width = static_cast<int>(state.range(0));
  std::vector<unsigned char> buf(4096, 0xA5);
  for (auto _ : state) {
    BitReader in(buf.data(), buf.size());
    unsigned long sum = 0;
    // 83-bit level blocks: as many fields as fit the buffer.
    for (int i = 0; i < 256; ++i) sum += in.raw(width);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_UnpackField)->Arg(7)->Arg(12)->Arg(17);

void BM_DecodeRecord(benchmark::State& state) {
  setup();
  Sounding s;
  std::size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(decode(k++, s));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeRecord);

// An output unit on the null device with the session's stream buffer
// size (an output file itself must be a regular file).
class NullUnit final : public OutputUnit {
 public:
  NullUnit() : f_(std::fopen("/dev/null", "w")), buffer_(256 * 1024) {
    if (f_) std::setvbuf(f_.get(), buffer_.data(), _IOFBF, buffer_.size());
  }
  void put_lines(const std::string& text, int) override {
    std::fwrite(text.data(), 1, text.size(), f_.get());
  }
  void put_line(const std::string& text, bool) override {
    std::fwrite(text.data(), 1, text.size(), f_.get());
    std::fputc('\n', f_.get());
  }
  bool paging() const override { return false; }
  int ncid() const override { return -1; }
  void check(int) override {}
  const std::string& path() const override { return path_; }

 private:
  FileHandle f_;
  std::vector<char> buffer_;
  std::string path_;
};

// A text writer into the null device, decoding included.
void text_writer(benchmark::State& state, short choice, const char*) {
  setup();
  const OutputFormat* format = format_by_choice(choice);
  NullUnit out;
  std::unique_ptr<SoundingWriter> writer = format->make_writer();
  writer->begin(out);
  Sounding s;
  const WriteOptions options;
  std::size_t k = 0;
  for (auto _ : state)
    if (decode(k++, s, format->cut_at_100mb))
      writer->write(out, s, dialogue_state().Stn_His[0], options);
  writer->end(out);
  state.SetItemsProcessed(state.iterations());
}

void BM_WriteZIR(benchmark::State& state) {
  text_writer(state, 0, "1995010100.txt");
}
BENCHMARK(BM_WriteZIR);

void BM_WriteFAA604(benchmark::State& state) {
  text_writer(state, 1, "JA019500.skt");
}
BENCHMARK(BM_WriteFAA604);

void BM_WriteNetCDF(benchmark::State& state) {
  setup();
  NullDirectory dir("unused");
  SessionConfig config;
  config.format = format_by_choice(2);
  config.to_files = true;
  config.dir = dir.dir;
  std::optional<OutputSession> out;
  Sounding s;
  const WriteOptions options;
  // The file is made afresh every 1000 soundings, so it stays small.
  long n = 0;
  std::size_t k = 0;
  for (auto _ : state) {
    if (n++ % 1000 == 0) {
      out.reset();
      out.emplace(config);
      out->open_unit(1995010100, 1995010100, &dialogue_state().Stn_His[0],
                     true);
    }
    if (decode(k++, s)) out->write(s, dialogue_state().Stn_His[0], options);
  }
  out.reset();
  std::remove((dir.dir + "1995010100.cdf").c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteNetCDF);

// The 64 synthetic soundings as decoded soundings, for the analysis
// outputs (flag bits to level type codes as the decoder maps them).
const std::vector<Sounding>& decoded() {
  static const std::vector<Sounding> all = [] {
    struct FlagType {
      unsigned flag;
      long fr;
    };
    constexpr FlagType kTypes[] = {{bench::kSurface, kLevelSurface}, {bench::kMand, kLevelMandatory},
                                   {bench::kTrop, kLevelTropopause}, {bench::kMaxWind, kLevelMaxWind},
                                   {bench::kSigT, kLevelSigTemperature}, {bench::kSigW, kLevelSigWind}};
    std::vector<Sounding> out;
    bench::Random r(7);
    for (int k = 0; k < 64; ++k) {
      const archive_writer::Sounding a =
          bench::sounding_at(30001, 1995, 1 + k % 12, 1 + k % 28, k % 2 * 12, r);
      Sounding s;
      s.header.year = static_cast<short>(a.year);
      s.header.month = static_cast<short>(a.month);
      s.header.day = static_cast<short>(a.day);
      s.header.hour = static_cast<short>(a.hour);
      for (const archive_writer::Level& l : a.levels) {
        long fr = 0;
        for (const FlagType& t : kTypes)
          if (t.flag == l.flag) fr = t.fr;
        s.levels.push_back({fr, l.pr, l.ht, l.tp, l.dp, l.wd, l.ws});
      }
      s.header.levels = static_cast<long>(s.levels.size());
      out.push_back(std::move(s));
    }
    return out;
  }();
  return all;
}

void BM_SoundingIndices(benchmark::State& state) {
  setup();
  std::size_t k = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(rawinq::indices::compute_indices(decoded()[k++ % 64], std::nan("")));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SoundingIndices);

// The CSV writer into /dev/null; Arg(1) with the derived quantities.
void BM_WriteCSV(benchmark::State& state) {
  setup();
  const bool derived = state.range(0) != 0;
  const CsvWriter w({0, false, derived, nullptr});
  std::string levels, indices;
  std::size_t k = 0;
  for (auto _ : state) {
    levels.clear();
    indices.clear();
    benchmark::DoNotOptimize(w.write(decoded()[k++ % 64],
                                     dialogue_state().Stn_His[0], levels,
                                     derived ? &indices : nullptr));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteCSV)->Arg(0)->Arg(1);

// The CF writer into a temporary file; Arg(1) with the derived quantities.
void BM_WriteCF(benchmark::State& state) {
  setup();
  const std::string path = "/tmp/rawinq_micro_bench_" +
                           std::to_string(static_cast<long>(getpid())) + ".nc";
  {
    CfWriter w(path, {0, state.range(0) != 0, "micro_bench", nullptr});
    std::size_t k = 0;
    for (auto _ : state)
      benchmark::DoNotOptimize(
          w.write(decoded()[k++ % 64], dialogue_state().Stn_His[0]));
    w.finish();
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteCF)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
