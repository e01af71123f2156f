// One import as one call.
#include "import_run.h"

#include <optional>
#include <sstream>
#include <stdexcept>

#include "staging.h"
#include "zir_text.h"

namespace archive_writer {

namespace {

// The importers' soundings go to the packer; the observer hears of each.
class Observed final : public ImportSink {
 public:
  Observed(Packer& packer, ImportObserver& observer)
      : packer_(packer), observer_(observer) {}
  void sounding(Imported& s) override {
    const Sounding& d = s.sounding;
    const long date = d.year * 1000000L + d.month * 10000L + d.day * 100L + d.hour;
    packer_.sounding(s);
    observer_.packed(s.station, date);
  }
  void skipped(const std::string& where, const std::string& reason) override {
    packer_.skipped(where, reason);
  }
  void warning(const std::string& text) override { packer_.warning(text); }
  void thinned(const std::string& where, std::size_t had, std::size_t kept,
               const std::string& limits) override {
    packer_.thinned(where, had, kept, limits);
  }

 private:
  Packer& packer_;
  ImportObserver& observer_;
};

void read_input(const ImportRequest& rq, const std::string& name,
                const WbanOfWmo& wban, ImportSink& sink,
                ImportObserver& observer) {
  const std::unique_ptr<LineSource> source = observer.open(name, rq.limits);
  LineSource& in = *source;
  observer.begin_file(name);
  in.set_check([&] {
    observer.check();
    observer.read(in.bytes());
  });
  switch (rq.format) {
    case InputFormat::zir:
      read_zir(in, sink);
      break;
    case InputFormat::igra2:
      read_igra2(in, sink, wban);
      break;
    case InputFormat::wyoming:
      read_wyoming(in, sink, wban, rq.wmo);
      break;
    case InputFormat::temp: {
      const long month = rq.month != 0 ? rq.month : coded_file_month(name);
      if (month == 0)
        throw std::runtime_error(
            name + ": no month and year for its TEMP messages: name the file "
                   "MMDDYYHH.skt or give --date YYYYMM");
      read_temp(in, sink, wban, month);
      break;
    }
    case InputFormat::bufr:
      read_bufr(in, sink, wban, rq.skip_bad);
      break;
  }
  observer.end_file();
}

}  // namespace

ImportResult import_files(const ImportRequest& request,
                          ImportObserver& observer) {
  PackOptions pack = request.pack;
  pack.check_interruption = [&observer] { observer.check(); };
  pack.keep_duplicates = request.format == InputFormat::zir;
  Packer packer(pack);
  packer.warnings = request.warnings;
  const WbanOfWmo wban =
      known_wban_numbers(request.catalogue, request.support_dir);
  Observed sink(packer, observer);
  for (const std::string& name : request.inputs)
    read_input(request, name, wban, sink, observer);
  return finish_import(packer, request, observer);
}

ImportResult finish_import(Packer& packer, const ImportRequest& request,
                           ImportObserver& observer) {
  const auto check = [&observer] { observer.check(); };
  check();
  auto waiting = [&request](const std::string& folder) {
    return [&request, folder](long holder) {
      if (request.warnings == nullptr) return;
      *request.warnings << "rawinq-pack: " << folder
                        << " is locked by another run"
                        << (holder > 0
                                ? " (process " + std::to_string(holder) + ")"
                                : std::string())
                        << "; waiting\n";
    };
  };
  // The archive and the support folder are locked for the rest of the run
  // (in that order, so that two runs never wait for each other), the
  // catalogues read and merged under the lock, and every file written to
  // a temporary file before any is put in place: after a failure, no file
  // has changed.
  const std::string& db = request.database_dir;
  FolderLock archive_lock(db, waiting(db), check);
  std::optional<FolderLock> support_lock;
  const bool catalogues = !request.station_list.empty();
  if (catalogues && !archive_lock.same_folder(request.support_dir))
    support_lock.emplace(request.support_dir, waiting(request.support_dir),
                         check);
  // Declared after the locks, so that what it leaves is removed under them.
  Staging staging;
  CatalogueUpdate update;
  if (catalogues) {
    const WbanOfWmo wban =
        known_wban_numbers(request.catalogue, request.support_dir);
    update = igra2_catalogues(request.station_list, request.support_dir,
                              packer.stations(), wban, request.help_file,
                              request.world_file);
    stage_catalogues(update, staging);
  }
  packer.stage(db, staging);
  observer.committing();
  check();
  staging.commit();
  archive_lock.keep();
  if (support_lock) support_lock->keep();
  std::ostringstream report;
  packer.report(report);
  if (catalogues) report_catalogues(update, report);
  return ImportResult{packer.stations(), report.str()};
}

}  // namespace archive_writer

namespace rawinq {

ImportResult import_files(const std::string& database_dir,
                          const ImportOptions& options) {
  archive_writer::ImportRequest rq;
  static constexpr archive_writer::InputFormat kInput[] = {
      archive_writer::InputFormat::zir, archive_writer::InputFormat::igra2,
      archive_writer::InputFormat::wyoming, archive_writer::InputFormat::temp,
      archive_writer::InputFormat::bufr};
  rq.format = kInput[static_cast<int>(options.format)];
  rq.database_dir = database_dir;
  rq.inputs = options.inputs;
  rq.pack.replace = options.replace;
  rq.pack.variant = options.name_form;
  rq.pack.north_american = options.short_year_folders;
  rq.catalogue = options.catalogue;
  rq.support_dir = options.support_dir;
  rq.station_list = options.station_list;
  rq.wmo = options.wmo;
  rq.month = options.month;
  rq.skip_bad = options.skip_bad;
  rq.limits.ratio = options.max_expansion;
  rq.limits.bytes = options.max_unpacked;
  rq.warnings = options.warnings;
  archive_writer::ImportObserver quiet;
  const archive_writer::ImportResult r = archive_writer::import_files(rq, quiet);
  return ImportResult{r.stations, r.report};
}

}  // namespace rawinq
