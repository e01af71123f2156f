#include "packer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace archive_writer {
namespace fs = std::filesystem;

namespace {

constexpr unsigned long kShownWarnings = 100;

std::string station_text(long station) {
  return station > 900000 ? "WMO " + std::to_string(station - 900000)
                          : "WBAN " + std::to_string(station);
}

std::string system_reason() { return std::strerror(errno); }

int days_in_month(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The temperatures a sounding can hold (tenths of deg C), and how far a
// dew point may lie above the temperature by rounding alone.
constexpr long kLowestTemperature = -1200;
constexpr long kHighestTemperature = 700;
constexpr long kDewPointRounding = 1;

}  // namespace

// The packed records, appended to an unnamed temporary file.
class Packer::Spool {
 public:
  Spool() {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") +
                       "/rawinq-pack.XXXXXX";
    fd_ = mkstemp(name.data());
    if (fd_ < 0)
      throw std::runtime_error("cannot make a temporary file in " +
                               fs::path(name).parent_path().string() + ": " +
                               system_reason());
    ::unlink(name.c_str());
    buffer_.reserve(kBuffer);
  }
  ~Spool() { ::close(fd_); }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  std::uint64_t append(const std::vector<std::uint8_t>& bytes) {
    if (buffer_.size() + bytes.size() > kBuffer) flush();
    const std::uint64_t at = size_;
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    size_ += bytes.size();
    return at;
  }
  void read(std::uint64_t offset, std::size_t n, std::uint8_t* to) {
    flush();
    while (n > 0) {
      const ssize_t got = ::pread(fd_, to, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0)
        throw std::runtime_error("cannot read the temporary file: " +
                                 system_reason());
      to += got;
      offset += static_cast<std::uint64_t>(got);
      n -= static_cast<std::size_t>(got);
    }
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  void flush() {
    const std::uint8_t* p = buffer_.data();
    std::size_t n = buffer_.size();
    while (n > 0) {
      const ssize_t put = ::write(fd_, p, n);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0)
        throw std::runtime_error("cannot write the temporary file: " +
                                 system_reason());
      p += put;
      n -= static_cast<std::size_t>(put);
    }
    buffer_.clear();
  }
  int fd_ = -1;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t size_ = 0;
};

Packer::Packer(PackOptions options)
    : options_(options), spool_(std::make_unique<Spool>()) {}
Packer::~Packer() = default;

void Packer::sounding(Imported& in) {
  if (options_.check_interruption) options_.check_interruption();
  ++read_;
  const Sounding& s = in.sounding;
  auto fault = [&](const std::string& what) {
    throw InputError(in.where + ": " + what);
  };
  if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31 || s.hour < 0 ||
      s.hour > 23)
    fault("no date and hour of the archive: " + std::to_string(s.month) + "/" +
          std::to_string(s.day) + " " + std::to_string(s.hour) + "h");
  if (s.day > days_in_month(s.year, s.month)) {
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", s.year, s.month, s.day);
    fault(std::string("no such date: ") + date);
  }
  if (in.station < 1 || in.station > 999999)
    fault("no station file for station number " + std::to_string(in.station));
  std::vector<std::uint8_t> record;
  try {
    record = pack_record(s);
    // Values that can be stored but cannot be true go as missing.
    if (implausible_values(in)) record = pack_record(s);
  } catch (const std::out_of_range& e) {
    fault(e.what());
  }
  if (record.size() > kMaxRecordSize)
    fault("a sounding of " + std::to_string(s.levels.size()) +
          " levels is too long for one record (" +
          std::to_string(record.size()) + " bytes, at most " +
          std::to_string(kMaxRecordSize) + ")");
  for (std::size_t i = 0; i < s.levels.size(); ++i) {
    const long ht = s.levels[i].ht;
    if (ht == kMissing) continue;
    const long back = decoded_height(height_code(ht));
    if (back != ht)
      warning(in.where + ": level " + std::to_string(i + 1) + ": the height " +
              std::to_string(ht) + " m is stored as " + std::to_string(back) +
              " m");
  }

  const long long key = static_cast<long long>(in.station) * 10000 + s.year;
  auto it = where_.find(key);
  if (it == where_.end()) {
    it = where_.emplace(key, targets_.size()).first;
    targets_.push_back({in.station, s.year, {}, 0});
  }
  Target& t = targets_[it->second];
  const unsigned day_hour =
      static_cast<unsigned>((s.month * 32 + s.day) * 24 + s.hour);
  if (!options_.keep_duplicates && !t.entries.empty() &&
      day_hour <= t.last_key) {
    // Inputs are mostly in time order: only an earlier time is looked for.
    for (const Entry& e : t.entries)
      if (e.month == s.month && e.day == s.day && e.hour == s.hour) {
        --read_;  // counted again as skipped
        skipped(in.where, "a second sounding of the same station, date and "
                          "hour (the first is kept)");
        return;
      }
  }
  t.last_key = std::max(t.last_key, day_hour);
  const std::uint64_t offset = spool_->append(record);
  t.entries.push_back({static_cast<std::uint8_t>(s.month),
                       static_cast<std::uint8_t>(s.day),
                       static_cast<std::uint8_t>(s.hour),
                       static_cast<std::uint32_t>(record.size()), offset});
  ++packed_;
}

bool Packer::implausible_values(Imported& in) {
  auto impossible = [](long t) {
    return t != kMissing &&
           (t < kLowestTemperature || t > kHighestTemperature);
  };
  auto degrees = [](long tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(tenths) / 10);
    return std::string(text);
  };
  bool changed = false;
  std::vector<Level>& levels = in.sounding.levels;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    Level& l = levels[i];
    const std::string where =
        in.where + ": level " + std::to_string(i + 1) + ": ";
    if (impossible(l.tp)) {
      warning(where + "a temperature of " + degrees(l.tp) +
              " deg C is stored as missing");
      l.tp = kMissing;
      changed = true;
    }
    if (impossible(l.dp)) {
      warning(where + "a dew point of " + degrees(l.dp) +
              " deg C is stored as missing");
      l.dp = kMissing;
      changed = true;
    }
    if (l.tp != kMissing && l.dp != kMissing &&
        l.dp > l.tp + kDewPointRounding) {
      warning(where + "a dew point of " + degrees(l.dp) +
              " deg C above the temperature of " + degrees(l.tp) +
              " deg C is stored as missing");
      l.dp = kMissing;
      changed = true;
    }
  }
  return changed;
}

std::set<long> Packer::stations() const {
  std::set<long> out;
  for (const Target& t : targets_) out.insert(t.station);
  return out;
}

void Packer::skipped(const std::string& where, const std::string& reason) {
  (void)where;
  ++read_;
  ++skipped_[reason];
}

void Packer::warning(const std::string& text) {
  if (++warnings_ <= kShownWarnings && warnings != nullptr)
    *warnings << "rawinq-pack: warning: " << text << "\n";
}

void Packer::thinned(const std::string& where, std::size_t had,
                     std::size_t kept, const std::string& limits) {
  if (++thinned_ <= kShownWarnings)
    thinned_lines_.push_back("  " + where + ": " + std::to_string(had) +
                             " levels, " + std::to_string(kept) + " kept (" +
                             limits + ")");
}

void Packer::stage(const std::string& db, Staging& staging) {
  if (targets_.empty()) throw std::runtime_error("no sounding in the input");
  const fs::path root = db;
  struct Planned {
    fs::path path;
    std::vector<RecordPlace> places;
  };
  auto plan = [&](Target& t) {
    std::stable_sort(t.entries.begin(), t.entries.end(),
                     [](const Entry& a, const Entry& b) {
                       return std::tie(a.month, a.day, a.hour) <
                              std::tie(b.month, b.day, b.hour);
                     });
    Planned p;
    p.path = root /
             year_directory(options_.variant, t.year, options_.north_american) /
             station_file_name(options_.variant, t.year, t.station);
    for (const Entry& e : t.entries)
      p.places.push_back({e.month, e.day, e.hour, e.size});
    return p;
  };
  auto head_of = [&](const Target& t, const Planned& p) {
    try {
      return file_head(p.places);
    } catch (const std::out_of_range& e) {
      throw std::runtime_error("station " + station_text(t.station) +
                               ", year " + std::to_string(t.year) + ": " +
                               e.what());
    }
  };
  // Every file is checked before any is written.
  for (Target& t : targets_) {
    const Planned p = plan(t);
    head_of(t, p);
    if (!options_.replace && fs::exists(p.path))
      throw std::runtime_error(p.path.string() +
                               " exists (--replace replaces it)");
  }

  // Each file goes to a temporary name beside its own; the staging puts
  // them in place together, and removes them and the directories made
  // here after a failure.
  paths_.clear();
  std::vector<std::uint8_t> record;
  for (Target& t : targets_) {
    if (options_.check_interruption) options_.check_interruption();
    const Planned p = plan(t);
    const std::vector<std::uint8_t> head = head_of(t, p);
    // Directories made here, outermost first.
    std::vector<fs::path> missing;
    for (fs::path d = p.path.parent_path(); !d.empty() && !fs::exists(d);
         d = d.parent_path()) {
      missing.push_back(d);
      if (d == d.parent_path()) break;
    }
    for (auto d = missing.rbegin(); d != missing.rend(); ++d) {
      std::error_code ec;
      if (!fs::create_directory(*d, ec) && ec)
        throw std::runtime_error("cannot make the directory " + d->string() +
                                 ": " + ec.message());
      staging.made_directory(d->string());
    }
    const std::size_t k = staging.add(
        p.path.string(),
        options_.replace ? Staging::Place::kReplace : Staging::Place::kOnlyNew,
        0644, true);
    paths_.push_back(p.path.string());
    staging.write(k, head.data(), head.size());
    for (const Entry& e : t.entries) {
      record.resize(e.size);
      spool_->read(e.offset, e.size, record.data());
      staging.write(k, record.data(), record.size());
    }
    staging.close(k);
  }
}

void Packer::report(std::ostream& out) const {
  for (std::size_t k = 0; k < targets_.size(); ++k) {
    const std::size_t n = targets_[k].entries.size();
    out << paths_[k] << ": " << n
        << " sounding" << (n == 1 ? "" : "s") << "\n";
  }
  out << read_ << " sounding" << (read_ == 1 ? "" : "s") << " read, "
      << packed_ << " packed, " << read_ - packed_ << " skipped\n";
  for (const auto& [reason, n] : skipped_)
    out << "  " << n << " skipped: " << reason << "\n";
  if (thinned_ > 0) {
    out << thinned_ << " sounding" << (thinned_ == 1 ? "" : "s")
        << " thinned to the levels one record holds:\n";
    for (const std::string& line : thinned_lines_) out << line << "\n";
    if (thinned_ > thinned_lines_.size())
      out << "  and " << thinned_ - thinned_lines_.size() << " more\n";
  }
  if (warnings_ > kShownWarnings && warnings != nullptr)
    *warnings << "rawinq-pack: " << warnings_ - kShownWarnings
              << " more warnings not shown\n";
}

}  // namespace archive_writer
