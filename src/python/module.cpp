// The Python module's C++ half (rawinq._rawinq): archives, requests and
// soundings of the library handed to Python as numpy arrays. Thin by
// design: every selection, decoding and formula is the library's; the GIL
// is released while the library reads and decodes. The Python half
// (python/rawinq/__init__.py) turns the arrays into pandas objects.
#include <netcdf.h>
#include <netcdf_mem.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <cstdlib>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rawinq/analysis_levels.h"
#include "rawinq/cdf.h"
#include "rawinq/cf_grid.h"
#include "rawinq/cf_writer.h"
#include "rawinq/csv_writer.h"
#include "rawinq/derived_fields.h"
#include "rawinq/level_types.h"
#include "rawinq/rawinq.h"

namespace py = pybind11;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An archive with the catalogue of its support folder, shared by the
// soundings and streams made from it.
struct Opened {
  rawinq::Archive archive;
  rawinq::Catalogue catalogue;
};

// What a Python call asks for, as the library's request.
struct Ask {
  std::string start, end;                // as people write dates
  std::vector<std::string> stations;     // identifiers
  std::vector<std::string> names;        // parts of names
  std::vector<int> hours;                // empty: all
  std::string levels = "all";
  std::optional<std::vector<float>> box;  // LATMIN, LATMAX, LONMIN, LONMAX
  std::string order = "synoptic";
};

rawinq::Request make_request(const Ask& a) {
  rawinq::Request r;
  const rawinq::TimeSpan first = rawinq::parse_time_span(a.start);
  const rawinq::TimeSpan last = rawinq::parse_time_span(a.end.empty() ? a.start : a.end);
  r.from = first.first;
  r.to = last.last;
  if (r.to < r.from) throw py::value_error("the end " + a.end + " is before the start " + a.start);
  if (!a.hours.empty()) {
    r.hours.reset();
    for (const int h : a.hours) {
      if (h < 0 || h > 23) throw py::value_error("hour " + std::to_string(h) + " is not 0 to 23");
      r.hours.set(static_cast<std::size_t>(h));
    }
  }
  const int selections = !a.stations.empty() + !a.names.empty() + a.box.has_value();
  if (selections != 1)
    throw py::value_error("give one selection: station=, name= or box= (region=)");
  if (!a.stations.empty()) r.station_ids = a.stations;
  if (!a.names.empty()) {
    r.station_ids = a.names;
    r.station_names = true;
  }
  if (a.box) {
    if (a.box->size() != 4) throw py::value_error("box= takes (LATMIN, LATMAX, LONMIN, LONMAX)");
    r.stations.by_numbers = false;
    r.stations.blat = (*a.box)[0];
    r.stations.elat = (*a.box)[1];
    r.stations.blong = (*a.box)[2];
    r.stations.elong = (*a.box)[3];
  }
  if (a.levels == "all")
    r.write.levels = 0;
  else if (a.levels == "mandatory")
    r.write.levels = 1;
  else if (a.levels == "mandatory+significant")
    r.write.levels = 2;
  else
    throw py::value_error("levels= is one of all, mandatory, mandatory+significant");
  if (a.order == "synoptic")
    r.order = rawinq::Order::synoptic;
  else if (a.order == "station")
    r.order = rawinq::Order::station;
  else
    throw py::value_error("order= is synoptic or station");
  return r;
}

// The catalogue position the outputs give, rounded as the CSV writes it.
double four_decimals(float v) { return std::round(static_cast<double>(v) * 1e4) / 1e4; }

// Seconds since 1970 of the release time, NaN when missing.
double release_seconds(const HEADER_TYPE& h) {
  long minutes = 0;
  return release_minutes(h, minutes) ? epoch_seconds(h) + minutes * 60.0 : kNaN;
}

// One sounding as Python sees it.
struct PySounding {
  Sounding sounding;
  STATREC station;
  std::string id;
  short selection = 0;

  std::vector<AnalysisLevel> levels() const {
    std::vector<AnalysisLevel> out;
    analysis_levels(sounding, selection, rawinq::heights::station_elevation(station.elev), out);
    return out;
  }
  py::array_t<double> column(long DATA_TYPE::*member, double divisor) const {
    const std::vector<AnalysisLevel> ls = levels();
    py::array_t<double> a(static_cast<py::ssize_t>(ls.size()));
    auto v = a.mutable_unchecked<1>();
    for (std::size_t k = 0; k < ls.size(); ++k) {
      const long x = ls[k].level->*member;
      v(static_cast<py::ssize_t>(k)) = is_missing(x) ? kNaN : static_cast<double>(x) / divisor;
    }
    return a;
  }
};

// The archive's warnings (a station-year file that cannot be read) become
// Python warnings of the class rawinq.FormatWarning.
void warn_all(const std::vector<std::string>& messages) {
  if (messages.empty()) return;
  const py::object category = py::module_::import("rawinq").attr("FormatWarning");
  for (std::string text : messages) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.erase(0, 1);
    if (PyErr_WarnEx(category.ptr(), text.c_str(), 2) != 0) throw py::error_already_set();
  }
}

// A request's soundings, read by a thread of their own a few ahead of the
// Python loop that takes them: memory stays that of the queue whatever the
// archive. Dropping the stream stops the reading.
class SoundingStream {
 public:
  SoundingStream(std::shared_ptr<const Opened> opened, rawinq::Request request)
      : opened_(std::move(opened)), request_(std::move(request)) {
    // The request is checked (and its stations resolved) before the thread
    // starts, so that its faults come from the call that made it.
    (void)rawinq::engine_request(opened_->archive, opened_->catalogue, request_);
    reader_ = std::thread([this] { read(); });
  }
  ~SoundingStream() { stop(); }
  SoundingStream(const SoundingStream&) = delete;
  SoundingStream& operator=(const SoundingStream&) = delete;

  PySounding next() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!messages_.empty()) {
        const std::vector<std::string> m = std::exchange(messages_, {});
        lock.unlock();
        warn_all(m);
        lock.lock();
        continue;
      }
      if (!queue_.empty()) {
        PySounding s = std::move(queue_.front());
        queue_.pop_front();
        room_.notify_one();
        return s;
      }
      if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
      if (done_) throw py::stop_iteration();
      // Wait without the GIL, looking at Ctrl-C ten times a second.
      {
        lock.unlock();
        {
          py::gil_scoped_release release;
          std::unique_lock<std::mutex> wait(mutex_);
          ready_.wait_for(wait, std::chrono::milliseconds(100),
                          [this] { return !queue_.empty() || done_ || failure_; });
        }
        if (PyErr_CheckSignals() != 0) {
          stop();
          throw py::error_already_set();
        }
        lock.lock();
      }
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      cancelled_ = true;
    }
    room_.notify_all();
    if (reader_.joinable()) {
      py::gil_scoped_release release;
      reader_.join();
    }
  }

 private:
  struct Cancelled {};
  static constexpr std::size_t kAhead = 64;

  // Takes the archive's warnings for the Python side.
  struct Messages : Progress {
    explicit Messages(SoundingStream& s) : stream(s) {}
    void message(const std::string& text) override {
      std::lock_guard<std::mutex> hold(stream.mutex_);
      stream.messages_.push_back(text);
    }
    SoundingStream& stream;
  };

  void read() {
    try {
      Messages messages(*this);
      const std::shared_ptr<const StationIdTable> ids = opened_->catalogue.station_ids();
      rawinq::for_each_sounding(
          opened_->archive, opened_->catalogue, request_,
          [&](const Sounding& s, const rawinq::Station& st) {
            std::unique_lock<std::mutex> lock(mutex_);
            room_.wait(lock, [this] { return queue_.size() < kAhead || cancelled_; });
            if (cancelled_) throw Cancelled{};
            queue_.push_back(PySounding{s, st, ids->id_of(st), request_.write.levels});
            ready_.notify_one();
          },
          &messages);
    } catch (const Cancelled&) {
    } catch (...) {
      std::lock_guard<std::mutex> hold(mutex_);
      failure_ = std::current_exception();
    }
    std::lock_guard<std::mutex> hold(mutex_);
    done_ = true;
    ready_.notify_all();
  }

  std::shared_ptr<const Opened> opened_;
  rawinq::Request request_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<PySounding> queue_;
  std::exception_ptr failure_;
  std::vector<std::string> messages_;
  bool done_ = false, cancelled_ = false;
  std::thread reader_;
};

// Looks at Ctrl-C between soundings while the library reads without the
// GIL: a signal's Python error ends the reading (run() then raises it).
class SignalCheck : public Progress {
 public:
  struct Interrupted {};
  void checkpoint() override {
    if (++calls_ % 64 != 0) return;
    py::gil_scoped_acquire hold;
    if (PyErr_CheckSignals() != 0) throw Interrupted{};
  }
  void message(const std::string& text) override { messages_.push_back(text); }
  // Runs f without the GIL; a signal's error is raised when it ends, the
  // archive's warnings are given when it is done.
  template <typename F>
  void run(F&& f) {
    bool interrupted = false;
    {
      py::gil_scoped_release release;
      try {
        f();
      } catch (const Interrupted&) {
        interrupted = true;
      }
    }
    if (interrupted) throw py::error_already_set();
    warn_all(messages_);
  }

 private:
  unsigned long calls_ = 0;
  std::vector<std::string> messages_;
};

// A text column as pandas categorical codes and their categories.
struct Coded {
  std::vector<std::int32_t> codes;
  std::vector<std::string> categories;
  std::map<std::string, std::int32_t> index;
  std::int32_t code_of(const std::string& text) {
    const auto [it, fresh] = index.emplace(text, static_cast<std::int32_t>(categories.size()));
    if (fresh) categories.push_back(text);
    return it->second;
  }
};

template <typename T>
py::array_t<T> to_array(std::vector<T>&& v) {
  auto* owned = new std::vector<T>(std::move(v));
  py::capsule free_when_done(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), free_when_done);
}

// Every level row of a request in the CSV's columns: numbers as float64
// (NaN for missing), times as seconds since 1970, texts coded.
py::dict level_table(const Opened& o, const rawinq::Request& request, bool knots, bool derived) {
  std::vector<double> wmo, wban, lat, lon, elev, time, release, pr, ht, tp, dp, wd, ws;
  std::vector<std::vector<double>> extra(derived ? std::size(kLevelFields) : 0);
  std::vector<std::vector<double>> index_columns(derived ? std::size(kIndexFields) : 0);
  std::vector<double> index_key;  // the row of each sounding's first level
  Coded id, name, type;
  SignalCheck signals;
  signals.run([&] {
    const std::shared_ptr<const StationIdTable> ids = o.catalogue.station_ids();
    std::vector<AnalysisLevel> ls;
    rawinq::for_each_sounding(
        o.archive, o.catalogue, request, [&](const Sounding& s, const rawinq::Station& st) {
          const double elevation = rawinq::heights::station_elevation(st.elev);
          analysis_levels(s, request.write.levels, elevation, ls);
          if (ls.empty()) return;
          const std::int32_t id_code = id.code_of(ids->id_of(st));
          const std::int32_t name_code = name.code_of(station_name(st));
          const double t = epoch_seconds(s.header), r = release_seconds(s.header);
          for (const AnalysisLevel& a : ls) {
            const DATA_TYPE& l = *a.level;
            const auto scaled = [](long v, double d) {
              return is_missing(v) ? kNaN : static_cast<double>(v) / d;
            };
            wmo.push_back(is_missing(st.wmo) ? kNaN : static_cast<double>(st.wmo));
            wban.push_back(st.wban > 900000 ? kNaN : static_cast<double>(st.wban));
            id.codes.push_back(id_code);
            name.codes.push_back(name_code);
            lat.push_back(four_decimals(st.lat));
            lon.push_back(four_decimals(st.lon));
            elev.push_back(elevation);
            time.push_back(t);
            release.push_back(r);
            type.codes.push_back(type.code_of(level_type_word(a.type)));
            pr.push_back(scaled(l.pr, 10));
            ht.push_back(scaled(l.ht, 1));
            tp.push_back(scaled(l.tp, 10));
            dp.push_back(scaled(l.dp, 10));
            wd.push_back(scaled(l.wd, 1));
            ws.push_back(knots ? scaled(speed_in_exact_knots(l.ws), 1) : scaled(l.ws, 10));
            if (derived) {
              const auto q = rawinq::indices::level_quantities(l);
              for (std::size_t k = 0; k < extra.size(); ++k)
                extra[k].push_back(kLevelFields[k].value(q));
            }
          }
          if (derived) {
            const auto ix = rawinq::indices::compute_indices(s, elevation);
            index_key.push_back(static_cast<double>(time.size() - ls.size()));
            for (std::size_t k = 0; k < index_columns.size(); ++k)
              index_columns[k].push_back(kIndexFields[k].value(ix));
          }
        }, &signals);
  });
  py::dict d;
  const auto coded = [](Coded& c) {
    return py::make_tuple(to_array(std::move(c.codes)), c.categories);
  };
  d["station_wmo"] = to_array(std::move(wmo));
  d["station_wban"] = to_array(std::move(wban));
  d["station_id"] = coded(id);
  d["station_name"] = coded(name);
  d["latitude_deg"] = to_array(std::move(lat));
  d["longitude_deg"] = to_array(std::move(lon));
  d["elevation_m"] = to_array(std::move(elev));
  d["time"] = to_array(std::move(time));
  d["release_time"] = to_array(std::move(release));
  d["level_type"] = coded(type);
  d["pressure_hPa"] = to_array(std::move(pr));
  d["height_m"] = to_array(std::move(ht));
  d["temperature_C"] = to_array(std::move(tp));
  d["dewpoint_C"] = to_array(std::move(dp));
  d["wind_direction_deg"] = to_array(std::move(wd));
  d[knots ? "wind_speed_kt" : "wind_speed_m_s"] = to_array(std::move(ws));
  for (std::size_t k = 0; k < extra.size(); ++k)
    d[kLevelFields[k].csv_name] = to_array(std::move(extra[k]));
  if (derived) {
    py::dict ix;
    ix["first_row"] = to_array(std::move(index_key));
    for (std::size_t k = 0; k < index_columns.size(); ++k)
      ix[kIndexFields[k].csv_name] = to_array(std::move(index_columns[k]));
    d["indices"] = ix;
  }
  return d;
}

// The selection's stations: identifiers, name, position, elevation of the
// latest catalogue entry in the period, and the years the archive holds.
py::dict station_table(const Opened& o, const rawinq::Request& request) {
  const RetrievalRequest rq = rawinq::engine_request(o.archive, o.catalogue, request);
  const StationIdTable& ids = *o.catalogue.station_ids();
  std::vector<std::string> id, igra2, icao, codes, name, years;
  std::vector<double> wmo, wban, lat, lon, elev;
  for (rawinq::StationListing& l : rawinq::list_stations(o.archive, ids, rq)) {
    const STATREC& e = *l.entry;
    id.push_back(ids.id_of(e));
    wmo.push_back(is_missing(e.wmo) ? kNaN : static_cast<double>(e.wmo));
    wban.push_back(e.wban > 900000 ? kNaN : static_cast<double>(e.wban));
    igra2.push_back(l.world ? l.world->igra2 : "");
    icao.push_back(std::move(l.icao));
    codes.push_back(std::move(l.codes));
    name.push_back(station_name(e));
    lat.push_back(four_decimals(e.lat));
    lon.push_back(four_decimals(e.lon));
    elev.push_back(rawinq::heights::station_elevation(e.elev));
    years.push_back(std::move(l.years));
  }
  py::dict d;
  d["station_id"] = id;
  d["station_wmo"] = to_array(std::move(wmo));
  d["station_wban"] = to_array(std::move(wban));
  d["igra2_id"] = igra2;
  d["icao"] = icao;
  d["codes"] = codes;
  d["station_name"] = name;
  d["latitude_deg"] = to_array(std::move(lat));
  d["longitude_deg"] = to_array(std::move(lon));
  d["elevation_m"] = to_array(std::move(elev));
  d["years"] = years;
  return d;
}

// A request's CF file made in memory by the CF writers (ragged profiles, or
// a cube with a grid), its bytes handed over: the Dataset has the file's
// variables and attributes, and no file is written.
py::bytes cf_bytes(const Opened& o, rawinq::Request request, const std::string& grid,
                   bool derived) {
  std::string bytes;
  SignalCheck signals;
  signals.run([&] {
    if (!grid.empty()) request.write.grid = parse_grid(grid);
    const RetrievalRequest rq = rawinq::engine_request(o.archive, o.catalogue, request);
    const StationIdTable* ids = rq.write.station_ids.get();
    int ncid = -1;
    {
      const NetcdfLock hold(netcdf_mutex());
      const int status =
          nc_create_mem("in-memory.nc", NC_NETCDF4 | NC_CLASSIC_MODEL, 1 << 20, &ncid);
      if (status != NC_NOERR)
        throw std::runtime_error(std::string("in-memory NetCDF file: ") + nc_strerror(status));
    }
    NcFile owned(ncid);
    const std::string history = "rawinq Python module";
    if (grid.empty()) {
      CfWriter w(ncid, CfOptions{request.write.levels, derived, history, ids});
      rawinq::for_each_sounding(o.archive, o.catalogue, request,
                                [&w](const Sounding& s, const rawinq::Station& st) {
                                  w.write(s, st);
                                }, &signals);
      w.finish();
    } else {
      CfGridWriter w(ncid, rq.write.grid, history, ids);
      rawinq::for_each_sounding(o.archive, o.catalogue, request,
                                [&w](const Sounding& s, const rawinq::Station& st) {
                                  w.write(s, st);
                                }, &signals);
      w.finish();
    }
    const NetcdfLock hold(netcdf_mutex());
    NC_memio memory{};
    const int status = nc_close_memio(owned.release(), &memory);
    if (status != NC_NOERR)
      throw std::runtime_error(std::string("in-memory NetCDF file: ") + nc_strerror(status));
    bytes.assign(static_cast<const char*>(memory.memory), memory.size);
    std::free(memory.memory);
  });
  return py::bytes(bytes);
}

// The request's station-year files as --inventory lists them.
py::dict inventory_table(const Opened& o, const rawinq::Request& request) {
  const RetrievalRequest rq = rawinq::engine_request(o.archive, o.catalogue, request);
  std::vector<InventoryRow> rows;
  {
    py::gil_scoped_release release;
    rows = inventory(rq, [](const std::string&) {});
  }
  const StationIdTable& ids = *o.catalogue.station_ids();
  std::vector<double> wmo, wban, year, soundings, first, last, lat, lon, elev;
  std::vector<std::string> init, id, name;
  for (const InventoryRow& r : rows) {
    wmo.push_back(static_cast<double>(r.wmo));
    wban.push_back(static_cast<double>(r.wban));
    year.push_back(r.year);
    soundings.push_back(static_cast<double>(r.soundings));
    first.push_back(r.soundings > 0 ? static_cast<double>(r.first) : kNaN);
    last.push_back(r.soundings > 0 ? static_cast<double>(r.last) : kNaN);
    const STATREC* e = r.entry;
    init.push_back(e ? std::string(e->init, strnlen(e->init, sizeof e->init)) : "");
    id.push_back(e ? ids.id_of(*e) : "");
    name.push_back(e ? station_name(*e) : "");
    lat.push_back(e ? four_decimals(e->lat) : kNaN);
    lon.push_back(e ? four_decimals(e->lon) : kNaN);
    elev.push_back(e ? rawinq::heights::station_elevation(e->elev) : kNaN);
  }
  py::dict d;
  d["wmo"] = to_array(std::move(wmo));
  d["wban"] = to_array(std::move(wban));
  d["initials"] = init;
  d["year"] = to_array(std::move(year));
  d["soundings"] = to_array(std::move(soundings));
  d["first"] = to_array(std::move(first));
  d["last"] = to_array(std::move(last));
  d["station_id"] = id;
  d["station_name"] = name;
  d["latitude_deg"] = to_array(std::move(lat));
  d["longitude_deg"] = to_array(std::move(lon));
  d["elevation_m"] = to_array(std::move(elev));
  return d;
}

Ask ask_of(const std::string& start, const std::string& end,
           const std::vector<std::string>& stations, const std::vector<std::string>& names,
           const std::vector<int>& hours, const std::string& levels,
           std::optional<std::vector<float>> box, const std::string& order) {
  return Ask{start, end, stations, names, hours, levels, std::move(box), order};
}

}  // namespace

PYBIND11_MODULE(_rawinq, m) {
  m.doc() = "The C++ half of the rawinq module; use the rawinq package.";
  py::register_exception<rawinq::ArchiveError>(m, "ArchiveError", PyExc_FileNotFoundError);
  py::register_exception<CatalogueError>(m, "CatalogueError", PyExc_ValueError);
  py::register_exception<rawinq::DateError>(m, "DateError", PyExc_ValueError);

  py::register_exception<rawinq::ImportError>(m, "ImportError", PyExc_ValueError);
  py::register_exception<PlotError>(m, "PlotError", PyExc_OSError);
  m.def(
      "pack",
      [](const std::vector<std::string>& inputs, const std::string& database_dir,
         const std::string& source, bool replace, const std::string& catalogue,
         const std::string& support_dir, const std::string& station_list, long wmo,
         long month) {
        const std::map<std::string, rawinq::ImportFormat> formats = {
            {"zir", rawinq::ImportFormat::zir},
            {"igra2", rawinq::ImportFormat::igra2},
            {"wyoming", rawinq::ImportFormat::wyoming},
            {"temp", rawinq::ImportFormat::temp},
            {"bufr", rawinq::ImportFormat::bufr}};
        const auto f = formats.find(source);
        if (f == formats.end())
          throw py::value_error("source= is one of igra2, wyoming, temp, bufr, zir");
        rawinq::ImportOptions o;
        o.format = f->second;
        o.inputs = inputs;
        o.replace = replace;
        o.catalogue = catalogue;
        o.support_dir = support_dir;
        o.station_list = station_list;
        o.wmo = wmo;
        o.month = month;
        std::ostringstream warnings;
        o.warnings = &warnings;
        rawinq::ImportResult r;
        {
          py::gil_scoped_release release;
          r = rawinq::import_files(database_dir, o);
        }
        return py::make_tuple(r.report, warnings.str());
      },
      py::arg("inputs"), py::arg("database_dir"), py::arg("source"), py::arg("replace"),
      py::arg("catalogue"), py::arg("support_dir"), py::arg("station_list"), py::arg("wmo"),
      py::arg("month"));

  m.def("time_span", [](const std::string& text) {
    const rawinq::TimeSpan t = rawinq::parse_time_span(text);
    return py::make_tuple(t.first, t.last);
  }, "The first and last hour (YYYYMMDDHH) a date as people write it covers.");

  py::class_<PySounding>(m, "Sounding")
      .def_property_readonly("station_wmo", [](const PySounding& s) -> py::object {
        if (is_missing(s.station.wmo)) return py::none();
        return py::int_(s.station.wmo);
      }, "WMO station number, or None.")
      .def_property_readonly("station_wban", [](const PySounding& s) -> py::object {
        if (s.station.wban > 900000) return py::none();
        return py::int_(s.station.wban);
      }, "WBAN station number, or None (international sites).")
      .def_property_readonly("station_id", [](const PySounding& s) { return s.id; }, "The identifier people know the station by: ICAO, else 3-letter code, else its number.")
      .def_property_readonly("station_name", [](const PySounding& s) { return station_name(s.station); }, "The catalogue's station name.")
      .def_property_readonly("latitude_deg", [](const PySounding& s) { return four_decimals(s.station.lat); }, "Station latitude, degrees north.")
      .def_property_readonly("longitude_deg", [](const PySounding& s) { return four_decimals(s.station.lon); }, "Station longitude, degrees east.")
      .def_property_readonly("elevation_m", [](const PySounding& s) {
        return rawinq::heights::station_elevation(s.station.elev);
      }, "Station elevation, m (NaN when unknown).")
      .def_property_readonly("_time_s", [](const PySounding& s) { return epoch_seconds(s.sounding.header); }, "Nominal time, seconds since 1970 (see time).")
      .def_property_readonly("_release_s", [](const PySounding& s) { return release_seconds(s.sounding.header); }, "Release time, seconds since 1970 or NaN (see release_time).")
      .def_property_readonly("level_type", [](const PySounding& s) {
        std::vector<std::string> words;
        for (const AnalysisLevel& a : s.levels()) words.push_back(level_type_word(a.type));
        return words;
      }, "Each level's type (surface, mandatory, below_ground, ...), levels in decreasing pressure.")
      .def_property_readonly("pressure_hPa", [](const PySounding& s) { return s.column(&DATA_TYPE::pr, 10); }, "Pressure of each level, hPa (NaN where missing).")
      .def_property_readonly("height_m", [](const PySounding& s) { return s.column(&DATA_TYPE::ht, 1); }, "Geopotential height of each level as reported, m (NaN where missing).")
      .def_property_readonly("temperature_C", [](const PySounding& s) { return s.column(&DATA_TYPE::tp, 10); }, "Temperature of each level, degC (NaN where missing).")
      .def_property_readonly("dewpoint_C", [](const PySounding& s) { return s.column(&DATA_TYPE::dp, 10); }, "Dew point of each level, degC (NaN where missing).")
      .def_property_readonly("wind_direction_deg", [](const PySounding& s) { return s.column(&DATA_TYPE::wd, 1); }, "Direction the wind blows from at each level, degrees (NaN where missing).")
      .def_property_readonly("wind_speed_m_s", [](const PySounding& s) { return s.column(&DATA_TYPE::ws, 10); }, "Wind speed at each level, m/s (NaN where missing).")
      .def("indices", [](const PySounding& s) {
        const auto ix = rawinq::sounding_indices(s.sounding, s.station);
        py::dict d;
        for (const IndexField& f : kIndexFields) d[f.csv_name] = f.value(ix);
        return d;
      }, "The indices CSV's columns of this sounding (NaN where it does not reach them).")
      .def("_plot", [](const PySounding& s, const std::string& path, const std::string& kind,
                       double tmin, double tmax, const std::string& parcel) {
        const std::map<std::string, PlotKind> kinds = {
            {"png", PlotKind::png}, {"svg", PlotKind::svg}, {"pdf", PlotKind::pdf}};
        const std::map<std::string, rawinq::indices::ParcelKind> parcels = {
            {"surface", rawinq::indices::ParcelKind::kSurfaceBased},
            {"mixed-layer", rawinq::indices::ParcelKind::kMixedLayer},
            {"most-unstable", rawinq::indices::ParcelKind::kMostUnstable}};
        const auto k = kinds.find(kind);
        const auto p = parcels.find(parcel);
        if (k == kinds.end()) throw py::value_error("format= is png, svg or pdf");
        if (p == parcels.end())
          throw py::value_error("parcel= is surface, mixed-layer or most-unstable");
        PlotOptions options;
        options.tmin_c = tmin;
        options.tmax_c = tmax;
        options.parcel = p->second;
        py::gil_scoped_release release;
        render_skewt(s.sounding, s.station, k->second, path, options);
      });

  py::class_<SoundingStream>(m, "SoundingStream")
      .def("__iter__", [](SoundingStream& s) -> SoundingStream& { return s; })
      .def("__next__", &SoundingStream::next)
      .def("close", &SoundingStream::stop, "Stops reading; the stream ends.");

  py::class_<Opened, std::shared_ptr<Opened>>(m, "Archive")
      .def(py::init([](const std::string& database_dir, const std::string& support_dir) {
             std::string support = support_dir;
             if (!support.empty() && support.back() != '/') support += '/';
             CatalogueOptions options;
             options.strict = true;
             return std::make_shared<Opened>(Opened{rawinq::Archive::open(database_dir),
                                                    rawinq::Catalogue::load(support, options)});
           }),
           py::arg("database_dir"), py::arg("support_dir"))
      .def("soundings",
           [](std::shared_ptr<Opened> o, const std::string& start, const std::string& end,
              const std::vector<std::string>& stations, const std::vector<std::string>& names,
              const std::vector<int>& hours, const std::string& levels,
              std::optional<std::vector<float>> box, const std::string& order) {
             const rawinq::Request r =
                 make_request(ask_of(start, end, stations, names, hours, levels, box, order));
             return std::make_unique<SoundingStream>(std::move(o), r);
           })
      .def("level_table",
           [](const Opened& o, const std::string& start, const std::string& end,
              const std::vector<std::string>& stations, const std::vector<std::string>& names,
              const std::vector<int>& hours, const std::string& levels,
              std::optional<std::vector<float>> box, const std::string& order, bool knots,
              bool derived) {
             return level_table(
                 o, make_request(ask_of(start, end, stations, names, hours, levels, box, order)),
                 knots, derived);
           })
      .def("cf_bytes",
           [](const Opened& o, const std::string& start, const std::string& end,
              const std::vector<std::string>& stations, const std::vector<std::string>& names,
              const std::vector<int>& hours, const std::string& levels,
              std::optional<std::vector<float>> box, const std::string& grid, bool derived) {
             return cf_bytes(
                 o,
                 make_request(ask_of(start, end, stations, names, hours, levels, box,
                                     grid.empty() ? "synoptic" : "station")),
                 grid, derived);
           })
      .def("inventory_table",
           [](const Opened& o, const std::string& start, const std::string& end,
              const std::vector<std::string>& stations, const std::vector<std::string>& names,
              const std::vector<int>& hours, std::optional<std::vector<float>> box) {
             return inventory_table(
                 o, make_request(ask_of(start, end, stations, names, hours, "all", box, "station")));
           })
      .def("station_table",
           [](const Opened& o, const std::string& start, const std::string& end,
              const std::vector<std::string>& stations, const std::vector<std::string>& names,
              std::optional<std::vector<float>> box) {
             return station_table(
                 o, make_request(ask_of(start, end, stations, names, {}, "all", box, "station")));
           });
}
