// The thinning of high-resolution ascents to the levels one archive record
// holds: over a synthetic flight of 5000 levels, the kept profile,
// interpolated in ln p back to every level of the flight, stays within the
// limits the thinning reports; the levels it must keep are kept; the
// sounding's CAPE and precipitable water barely change; and the BUFR
// importer thins such an ascent and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bufr_messages.h"
#include "import.h"
#include "line_source.h"
#include "rawinq/indices.h"
#include "thinning.h"

namespace {

using archive_writer::ThinLevel;
using archive_writer::ThinLimits;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kStandard[] = {1000, 925, 850, 700, 500, 400, 300, 250,
                                200,  150, 100, 70,  50,  30,  20,  10};

// A warm, moist, unstable ascent from 1000 to 10 hPa with small-scale
// wiggles and noise, a tropopause near 200 hPa, a jet near 250 hPa and a
// wind turning through north; tenths of the archive's units throughout,
// as the importer gives them.
std::vector<ThinLevel> flight(std::size_t n, std::vector<double>& height) {
  std::mt19937 random(20160218);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<ThinLevel> out;
  height.clear();
  double z = 100;
  for (std::size_t i = 0; i < n; ++i) {
    const double p = 1000.0 * std::exp(-std::log(100.0) * i / (n - 1));
    const double t_env =
        p > 200 ? 30.0 - 7.0 * z / 1000 : 30.0 - 7.0 * 11.9 + 0.001 * (z - 11900);
    const double t = std::round((t_env + 0.5 * std::sin(i / 9.0) +
                                 0.15 * noise(random)) * 10) / 10;
    const double depression =
        p > 850 ? 2.0 : p > 500 ? 6.0 + 8 * std::sin(i / 40.0) : 20.0;
    const double td = p < 100 ? kNaN
                              : std::round((t - std::fabs(depression) - 1 -
                                            0.2 * noise(random)) * 10) / 10;
    const double speed = std::round((5 + 40 * std::exp(-std::pow((p - 250) / 80, 2)) +
                                     0.5 * std::fabs(noise(random))) * 10) / 10;
    const double dir = std::round(std::fmod(200 + 0.05 * i + 20 * std::sin(i / 50.0), 360.0));
    out.push_back({std::round(p * 10) / 10, t, td, dir, speed, i == 0});
    height.push_back(std::round(z));
    // The hypsometric step to the next level.
    const double p_next = 1000.0 * std::exp(-std::log(100.0) * (i + 1) / (n - 1));
    z += 287.05 * (t + 273.15) / 9.80665 * std::log(p / p_next);
  }
  // The levels that must stay: the surface, the standard pressures, the
  // tropopause and the maximum wind.
  const auto nearest = [&](double p) {
    std::size_t best = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (std::fabs(out[i].p_hpa - p) < std::fabs(out[best].p_hpa - p)) best = i;
    return best;
  };
  for (double p : kStandard) out[nearest(p)].keep = true;
  out[nearest(200)].keep = true;
  std::size_t jet = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (out[i].speed_ms > out[jet].speed_ms) jet = i;
  out[jet].keep = true;
  return out;
}

double turn(double from, double to) {
  double d = std::fmod(to - from, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

// The largest departure, in units of the limits, of any level of the
// flight from the kept profile interpolated in ln p to its pressure.
double worst_departure(const std::vector<ThinLevel>& all,
                       const std::vector<std::size_t>& kept,
                       const ThinLimits& limits) {
  double worst = 0;
  const auto quantity = [](const ThinLevel& l, int q) {
    switch (q) {
      case 0: return l.t_c;
      case 1: return archive_writer::relative_humidity(l.t_c, l.td_c);
      case 2: return std::isnan(l.speed_ms) ? kNaN : l.dir_deg;
      default: return l.speed_ms;
    }
  };
  for (int q = 0; q < 4; ++q) {
    std::vector<std::size_t> with;
    for (std::size_t k : kept)
      if (!std::isnan(quantity(all[k], q))) with.push_back(k);
    for (std::size_t i = 0; i < all.size(); ++i) {
      const double x = quantity(all[i], q);
      if (std::isnan(x)) continue;
      // The kept levels with the quantity around level i.
      std::size_t b = 0;
      while (b < with.size() && with[b] < i) ++b;
      double off;
      if (b < with.size() && with[b] == i) {
        off = 0;
      } else if (b == 0 || b == with.size()) {
        off = std::numeric_limits<double>::infinity();  // beyond the kept
      } else {
        const ThinLevel& la = all[with[b - 1]];
        const ThinLevel& lb = all[with[b]];
        const double w = std::log(all[i].p_hpa / la.p_hpa) /
                         std::log(lb.p_hpa / la.p_hpa);
        const double va = quantity(la, q), vb = quantity(lb, q);
        off = q == 2 ? std::fabs(turn(va + w * turn(va, vb), x))
                     : std::fabs(x - (va + w * (vb - va)));
      }
      const double limit =
          limits.factor * (q == 0   ? (all[i].p_hpa <= 300 ? limits.t_high
                                                           : limits.t_low)
                           : q == 1 ? limits.rh
                           : q == 2 ? limits.dir
                                    : limits.speed);
      worst = std::max(worst, off / limit);
    }
  }
  return worst;
}

// The levels as a decoded sounding, for the indices.
Sounding as_sounding(const std::vector<ThinLevel>& all,
                     const std::vector<double>& height,
                     const std::vector<std::size_t>& kept) {
  Sounding s;
  const auto tenths = [](double v) {
    return std::isnan(v) ? kMissingValue : std::lround(v * 10);
  };
  for (std::size_t k : kept) {
    const ThinLevel& l = all[k];
    s.levels.push_back({k == 0 ? kLevelSurface : kLevelSigTemperature,
                        tenths(l.p_hpa), std::lround(height[k]), tenths(l.t_c),
                        tenths(l.td_c), std::lround(l.dir_deg),
                        tenths(l.speed_ms)});
  }
  s.header.levels = static_cast<long>(s.levels.size());
  return s;
}

TEST(LevelThinning, AFlightOf5000LevelsKeepsWithinItsLimits) {
  std::vector<double> height;
  const std::vector<ThinLevel> all = flight(5000, height);
  const std::size_t most = archive_writer::record_level_limit();
  ASSERT_GT(most, 1000u);
  ASSERT_LT(most, 5000u);
  // The record's limit, and far fewer levels, which widen the limits; with
  // the levels flagged, and with only the surface flagged (the top of the
  // flight then kept by the thinning alone).
  std::vector<ThinLevel> surface_only = all;
  for (std::size_t i = 1; i < surface_only.size(); ++i) surface_only[i].keep = false;
  for (const std::size_t limit : {most, std::size_t{50}})
  for (const std::vector<ThinLevel>* flights :
       {&all, static_cast<const std::vector<ThinLevel>*>(&surface_only)}) {
    const std::vector<ThinLevel>& all = *flights;
    SCOPED_TRACE("at most " + std::to_string(limit) + " levels, " +
                 (flights == &surface_only ? "surface only" : "flagged"));
    const archive_writer::ThinResult r = archive_writer::thin_levels(all, limit);
    ASSERT_LE(r.kept.size(), limit);
    EXPECT_GT(r.kept.size(), 20u);
    EXPECT_TRUE(std::is_sorted(r.kept.begin(), r.kept.end()));
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (all[i].keep) {
        EXPECT_TRUE(std::binary_search(r.kept.begin(), r.kept.end(), i)) << i;
      }
    }
    EXPECT_LE(worst_departure(all, r.kept, r.limits), 1.0 + 1e-9)
        << r.limits.text();
    if (limit == most) {
      // The record holds the flight within the published limits, and
      // narrower ones while it has room.
      EXPECT_LT(r.limits.factor, 1.0);
      EXPECT_GT(r.kept.size(), most / 2);
      std::vector<std::size_t> every(all.size());
      for (std::size_t i = 0; i < every.size(); ++i) every[i] = i;
      namespace ix = rawinq::indices;
      const ix::SoundingIndices full =
          ix::compute_indices(as_sounding(all, height, every), std::nan(""));
      const ix::SoundingIndices thin =
          ix::compute_indices(as_sounding(all, height, r.kept), std::nan(""));
      ASSERT_GT(full.surface_based.cape_j_kg, 500.0);
      for (const auto& [a, b] :
           {std::pair{full.surface_based.cape_j_kg, thin.surface_based.cape_j_kg},
            std::pair{full.most_unstable.cape_j_kg, thin.most_unstable.cape_j_kg}})
        EXPECT_LE(std::fabs(a - b), std::max(25.0, 0.05 * a)) << a << " " << b;
      EXPECT_LE(std::fabs(full.precipitable_water_mm - thin.precipitable_water_mm),
                0.01 * full.precipitable_water_mm)
          << full.precipitable_water_mm << " " << thin.precipitable_water_mm;
    } else {
      EXPECT_GT(r.limits.factor, 1.0);
    }
  }
  // More levels that must stay than the record holds is refused.
  std::vector<ThinLevel> fixed = all;
  for (ThinLevel& l : fixed) l.keep = true;
  EXPECT_THROW(archive_writer::thin_levels(fixed, most), std::length_error);
}

// The importer thins a BUFR ascent too long for one record and tells the
// sink how many levels it had and kept.
TEST(LevelThinning, TheBufrImporterThinsAndSaysSo) {
  std::vector<double> height;
  const std::vector<ThinLevel> all = flight(5000, height);
  bufr_messages::Message m;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const ThinLevel& l = all[i];
    m.levels.push_back({l.keep ? bufr_messages::flag18(i == 0 ? 1 : 2) : 0,
                        l.p_hpa * 100, height[i], l.t_c + 273.15,
                        l.td_c + 273.15, l.dir_deg, l.speed_ms});
  }
  const std::string message = bufr_messages::encode(m);
  archive_writer::LineSource in(message, "flight.bufr");
  struct Sink : archive_writer::ImportSink {
    std::vector<archive_writer::Imported> got;
    std::string told;
    void sounding(archive_writer::Imported& s) override { got.push_back(s); }
    void skipped(const std::string&, const std::string&) override {}
    void warning(const std::string&) override {}
    void thinned(const std::string& where, std::size_t had, std::size_t kept,
                 const std::string&) override {
      told = where + " " + std::to_string(had) + " " + std::to_string(kept);
    }
  } sink;
  archive_writer::read_bufr(in, sink, {});
  ASSERT_EQ(sink.got.size(), 1u);
  const std::size_t kept = sink.got[0].sounding.levels.size();
  EXPECT_LE(kept, archive_writer::record_level_limit());
  EXPECT_GT(kept, 20u);
  EXPECT_EQ(sink.told, "flight.bufr: message 1 5000 " + std::to_string(kept));
  // What it keeps packs into one record.
  EXPECT_LE(archive_writer::pack_record(sink.got[0].sounding).size(),
            archive_writer::kMaxRecordSize);
}

}  // namespace
