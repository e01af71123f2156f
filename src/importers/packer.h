// Gathers imported soundings into station-year files. Each sounding is
// packed into its record as it is read and the record kept in a temporary
// spool file, so that memory holds only a small index entry per sounding;
// the files are written when every input has been read, each through a
// temporary file put in place with the others, and nothing is written
// after a fault.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "import.h"
#include "staging.h"

namespace archive_writer {

struct PackOptions {
  int variant = 2;
  bool north_american = false;
  bool replace = false;
  // Soundings of one station, date and hour after the first: kept (the
  // program's own text, where an archive may hold them) or left out.
  bool keep_duplicates = true;
  // Called before each sounding and each file: throws to end the run
  // (an interruption).
  std::function<void()> check_interruption;
};

class Packer : public ImportSink {
 public:
  explicit Packer(PackOptions options);
  ~Packer() override;
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;

  // Packs the sounding's record now; throws InputError naming its place
  // when a value cannot be stored or the record is too long.
  void sounding(Imported& s) override;
  void skipped(const std::string& where, const std::string& reason) override;
  // Written to `warnings` at once; after 100 only counted.
  void warning(const std::string& text) override;
  // Counted for the summary, the first ones listed in it.
  void thinned(const std::string& where, std::size_t had, std::size_t kept,
               const std::string& limits) override;

  // Writes every station-year file under db to its temporary file in
  // `staging`, which puts them in place; throws, having written nothing,
  // when one exists already (without --replace) or cannot be made.
  void stage(const std::string& db, Staging& staging);
  // Lists the files staged on `out` and ends with the summary.
  void report(std::ostream& out) const;

  // The file stations of the soundings packed.
  std::set<long> stations() const;

  std::ostream* warnings = nullptr;

 private:
  struct Entry {
    std::uint8_t month, day, hour;
    std::uint32_t size;
    std::uint64_t offset;  // in the spool
  };
  struct Target {
    long station;
    int year;
    std::vector<Entry> entries;
    unsigned last_key = 0;  // month, day and hour of the latest entry
  };
  class Spool;
  // Temperatures and dew points no sounding can hold, stored as missing
  // with a warning; whether any was.
  bool implausible_values(Imported& in);

  PackOptions options_;
  std::unique_ptr<Spool> spool_;
  std::vector<Target> targets_;
  std::vector<std::string> paths_;  // of the files staged
  std::unordered_map<long long, std::size_t> where_;
  unsigned long read_ = 0;
  unsigned long packed_ = 0;
  std::map<std::string, unsigned long> skipped_;
  unsigned long warnings_ = 0;
  unsigned long thinned_ = 0;
  std::vector<std::string> thinned_lines_;
};

}  // namespace archive_writer
