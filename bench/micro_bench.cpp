// Micro-benchmarks: field unpacking, record decoding and each writer, per
// sounding, over the synthetic soundings of the benchmark archive.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "bench_sounding.h"
#include "rawinq/archive.h"
#include "rawinq/cdf.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/indices.h"
#include "rawinq/globals.h"
#include "rawinq/output.h"
#include "rawinq/upack.h"

namespace {

// Output format code that decodes a record without handing it to a writer.
constexpr short kDecodeOnly = 99;

struct Setup {
  std::vector<std::vector<std::uint8_t>> records;
  Setup() {
    BuildUnpackTable();
    for (unsigned long w = 0; w <= 32; ++w) Missing[w] = expon(2, w) - 1;
    STATREC& e = Stn_His[0];
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
    Stn_His_Num = 1;
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

// Decodes record k (of the 64) and, with a writer's format code, writes it.
short handle(std::size_t k, short oformat, long nsound = 1) {
  const std::vector<std::uint8_t>& rec = setup().records[k % 64];
  return io_sounding(rec.data(), rec.size(), 0, 0, oformat, 0, nsound);
}

void BM_UnpackField(benchmark::State& state) {
  setup();
  const int width = static_cast<int>(state.range(0));
  std::vector<unsigned char> buf(4096, 0xA5);
  for (auto _ : state) {
    set_unpack_buffer(buf.data(), buf.size());
    short bit = 7;
    unsigned long sum = 0;
    // 83-bit level blocks: as many fields as fit the buffer.
    for (int i = 0; i < 256; ++i) {
      unsigned long v = 0;
      bit = UnpackData(&v, 1, static_cast<short>(width), bit);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_UnpackField)->Arg(7)->Arg(12)->Arg(17);

void BM_DecodeRecord(benchmark::State& state) {
  setup();
  std::size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(handle(k++, kDecodeOnly));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeRecord);

// A text writer into /dev/null, decoding included.
void text_writer(benchmark::State& state, short oformat) {
  setup();
  std::FILE* f = std::fopen("/dev/null", "w");
  outbuf = f;
  Screen_Scroll = 0;
  std::size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(handle(k++, oformat));
  outbuf = nullptr;
  std::fclose(f);
  state.SetItemsProcessed(state.iterations());
}

void BM_WriteZIR(benchmark::State& state) { text_writer(state, 0); }
BENCHMARK(BM_WriteZIR);

void BM_WriteFAA604(benchmark::State& state) { text_writer(state, 1); }
BENCHMARK(BM_WriteFAA604);

void BM_WriteNetCDF(benchmark::State& state) {
  setup();
  const std::string path = "/tmp/rawinq_micro_bench_" +
                           std::to_string(static_cast<long>(getpid())) + ".cdf";
  cdfid = nccreate(path.c_str(), NC_CLOBBER);
  // Records 0 .. 999 are written over and over, so the file stays small.
  long nsound = 0;
  std::size_t k = 0;
  handle(k++, 2, nsound++);  // defines the schema
  for (auto _ : state) {
    benchmark::DoNotOptimize(handle(k++, 2, nsound));
    nsound = nsound + 1 == 1000 ? 1 : nsound + 1;
  }
  ncclose(cdfid);
  cdfid = -1;
  std::remove(path.c_str());
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
    benchmark::DoNotOptimize(rawinq::indices::compute_indices(decoded()[k++ % 64]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SoundingIndices);

// The CSV writer into /dev/null; Arg(1) with the derived quantities.
void BM_WriteCSV(benchmark::State& state) {
  setup();
  const bool derived = state.range(0) != 0;
  const CsvWriter w({0, false, derived});
  std::string levels, indices;
  std::size_t k = 0;
  for (auto _ : state) {
    levels.clear();
    indices.clear();
    benchmark::DoNotOptimize(
        w.write(decoded()[k++ % 64], Stn_His[0], levels, derived ? &indices : nullptr));
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
    CfWriter w(path, {0, state.range(0) != 0, "micro_bench"});
    std::size_t k = 0;
    for (auto _ : state) benchmark::DoNotOptimize(w.write(decoded()[k++ % 64], Stn_His[0]));
    w.finish();
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteCF)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
