// JSON values, escaped HTML, the text listing and the pages of
// rawinq-serve.
#include "text.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "rawinq/dates.h"
#include "rawinq/thermo.h"
#include "rawinq/utf8.h"

namespace rawinq::serve {

namespace {

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// A column of 7 characters of the listing, blank for a missing value.
std::string column(double v, int decimals) {
  char buf[32];
  if (!std::isfinite(v) || std::fabs(v) >= 1e6) return "       ";
  std::snprintf(buf, sizeof buf, "%7.*f", decimals, v);
  return std::string(buf).substr(0, 7);
}

std::string trimmed(const char* text, std::size_t size) {
  std::string s(text, strnlen(text, size));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};


std::string page_head(const std::string& base, const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<link rel=\"icon\" href=\"data:,\">\n"
         "<title>" + html_escape(title) + "</title>\n"
         "<link rel=\"stylesheet\" href=\"" + base + "/static/style.css\">\n</head>\n<body>\n";
}

}  // namespace

bool valid_utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_length(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  append_utf8(out, text, [](std::string& o, char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      o += '\\';
      o += ch;
    } else if (c < 0x20 || c == 0x7f || c == '<' || c == '>' || c == '&') {
      // The last three: safe inside a script or an HTML attribute as well.
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      o += buf;
    } else {
      o += ch;
    }
  });
  return out + "\"";
}

std::string json_number(double v, int decimals) {
  if (!std::isfinite(v)) return "null";
  std::string s = fixed(v, decimals);
  if (s == "-0" || s.find_first_not_of("-0.") == std::string::npos) s = fixed(0.0, decimals);
  return s;
}

std::string html_escape(const std::string& text) {
  std::string out;
  append_markup(out, text);
  return out;
}

std::string printable(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    if (out.size() >= 64) return out + "...";
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7f) {
      out += ch;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

std::string iso_time(long t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ldT%02ldZ", t / 1000000, t / 10000 % 100,
                t / 100 % 100, t % 100);
  return buf;
}

long days_between(long a, long b) {
  const auto days = [](long t) {
    return rawinq::days_from_civil(t / 1000000, t / 10000 % 100, t / 100 % 100);
  };
  return days(b) - days(a);
}

std::vector<IndexRow> index_rows(const indices::SoundingIndices& ix) {
  return {
      {"sb_cape_j_kg", "Surface-based CAPE", ix.surface_based.cape_j_kg, "J/kg"},
      {"sb_cin_j_kg", "Surface-based CIN", ix.surface_based.cin_j_kg, "J/kg"},
      {"sb_lcl_hpa", "Surface-based LCL", ix.surface_based.lcl.pressure_hpa, "hPa"},
      {"sb_lfc_hpa", "Surface-based LFC", ix.surface_based.lfc_pressure_hpa, "hPa"},
      {"sb_el_hpa", "Surface-based EL", ix.surface_based.el_pressure_hpa, "hPa"},
      {"ml_cape_j_kg", "Mixed-layer CAPE", ix.mixed_layer.cape_j_kg, "J/kg"},
      {"ml_cin_j_kg", "Mixed-layer CIN", ix.mixed_layer.cin_j_kg, "J/kg"},
      {"mu_cape_j_kg", "Most-unstable CAPE", ix.most_unstable.cape_j_kg, "J/kg"},
      {"lifted_index_k", "Lifted index", ix.lifted_index_k, "K"},
      {"showalter_k", "Showalter index", ix.showalter_k, "K"},
      {"k_index_c", "K index", ix.k_index_c, "degC"},
      {"total_totals_c", "Total totals", ix.total_totals_c, "degC"},
      {"precipitable_water_mm", "Precipitable water", ix.precipitable_water_mm, "mm"},
      {"bulk_shear_0_1km_m_s", "Bulk shear 0-1 km", ix.bulk_shear_0_1km_m_s, "m/s"},
      {"bulk_shear_0_6km_m_s", "Bulk shear 0-6 km", ix.bulk_shear_0_6km_m_s, "m/s"},
      {"srh_0_1km_m2_s2", "Storm-relative helicity 0-1 km", ix.srh_0_1km_m2_s2, "m2/s2"},
      {"srh_0_3km_m2_s2", "Storm-relative helicity 0-3 km", ix.srh_0_3km_m2_s2, "m2/s2"},
      {"stp_fixed", "Significant tornado parameter (fixed)", ix.stp_fixed, ""},
      {"scp", "Supercell composite parameter", ix.scp, ""},
  };
}

std::string listing_text(const StationSounding& s, const std::string& id) {
  const Station& e = s.station;
  const HEADER_TYPE& h = s.sounding.header;
  const std::string init = trimmed(e.init, sizeof e.init);
  const std::string name = trimmed(e.name, sizeof e.name);
  char title[160];
  std::snprintf(title, sizeof title, "%s %s Observations at %02dZ %02d %s %04d", id.c_str(),
                init.c_str(), h.hour, h.day, h.month >= 1 && h.month <= 12 ? kMonths[h.month - 1] : "?",
                h.year);
  std::string out = "<HTML>\n<TITLE>" + html_escape(title) + "</TITLE>\n<BODY>\n<H2>" +
                    html_escape(std::string(title) + " (" + name + ")") + "</H2>\n<PRE>\n";
  const std::string rule(77, '-');
  out += rule + "\n";
  out += "   PRES   HGHT   TEMP   DWPT   RELH   MIXR   DRCT   SKNT   THTA   THTE   THTV\n";
  out += "    hPa     m      C      C      %    g/kg    deg   knot     K      K      K \n";
  out += rule + "\n";
  const PhysicalLevels p = physical_levels(s.sounding);
  for (std::size_t k = 0; k < p.pressure_hpa.size(); ++k) {
    const double pr = p.pressure_hpa[k];
    if (!std::isfinite(pr) || pr <= 0) continue;  // the listing's rows are by pressure
    const double t = p.temperature_c[k], td = p.dewpoint_c[k];
    const double tk = t + thermo::kZeroCelsius, tdk = td + thermo::kZeroCelsius;
    const bool moist = std::isfinite(t) && std::isfinite(td);
    const double r = moist ? thermo::mixing_ratio_from_dewpoint(pr, tdk) : NAN;
    const long ws = s.sounding.levels[k].ws;
    const double knots = is_missing(ws) ? NAN : static_cast<double>(speed_in_exact_knots(ws));
    out += column(pr, 1) + column(p.height_m[k], 0) + column(t, 1) + column(td, 1) +
           column(moist ? thermo::relative_humidity(tk, tdk) : NAN, 0) +
           column(r * 1000.0, 2) + column(p.wind_direction_deg[k], 0) + column(knots, 0) +
           column(std::isfinite(t) ? thermo::potential_temperature(pr, tk) : NAN, 1) +
           column(moist ? thermo::equivalent_potential_temperature(pr, tk, tdk) : NAN, 1) +
           column(moist ? thermo::virtual_potential_temperature(pr, tk, r) : NAN, 1) + "\n";
  }
  char info[512];
  std::snprintf(info, sizeof info,
                "</PRE><H3>Station information and sounding indices</H3><PRE>\n"
                "                         Station identifier: %s\n"
                "                             Station number: %s\n"
                "                           Observation time: %02d%02d%02d/%02d00\n"
                "                           Station latitude: %.2f\n"
                "                          Station longitude: %.2f\n"
                "                          Station elevation: %d.0\n",
                html_escape(init).c_str(), id.c_str(), h.year % 100, h.month, h.day, h.hour,
                e.lat, e.lon, e.elev);
  out += info;
  const indices::SoundingIndices ix = sounding_indices(s.sounding, s.station);
  for (const IndexRow& row : index_rows(ix)) {
    if (!std::isfinite(row.value)) continue;
    char line[160];
    std::snprintf(line, sizeof line, "%43s: %.2f\n", row.label, row.value);
    out += line;
  }
  return out + "</PRE>\n</BODY>\n</HTML>\n";
}

std::string sounding_page(const SoundingPage& page) {
  const Station& e = page.sounding.station;
  const std::string name = trimmed(e.name, sizeof e.name);
  const std::string station_url = page.base + "/station/" + page.id + "/";
  const std::string api_url = page.base + "/api/v1/soundings/" + page.id + "/" + iso_time(page.time);
  std::string out = page_head(page.base, name + " " + iso_time(page.time));
  out += "<header><a href=\"" + page.base + "/\">Stations</a></header>\n";
  out += "<h1>" + html_escape(name) + " (" + html_escape(page.id) + ") " +
         iso_time(page.time) + "</h1>\n";
  out += "<p class=\"station\">WMO " + html_escape(page.id) + ", ICAO " +
         html_escape(page.listing->icao) + ", " + json_number(e.lat, 2) + "&deg;, " +
         json_number(e.lon, 2) + "&deg;, " + std::to_string(e.elev) + " m</p>\n";
  out += "<nav>";
  if (page.prev != 0)
    out += "<a id=\"prev\" rel=\"prev\" href=\"" + station_url + iso_time(page.prev) +
           "\">&larr; " + iso_time(page.prev) + "</a> ";
  if (page.next != 0)
    out += "<a id=\"next\" rel=\"next\" href=\"" + station_url + iso_time(page.next) +
           "\">" + iso_time(page.next) + " &rarr;</a>";
  out += "</nav>\n<section class=\"downloads\">Download:";
  for (const std::string& f : page.formats)
    out += " <a class=\"download\" id=\"download-" + f + "\" href=\"" + api_url +
           "?format=" + f + "\">" + f + "</a>";
  out += " <a id=\"download-json\" href=\"" + api_url + "?format=json\">json</a>";
  out += " <a id=\"listing\" href=\"" + station_url + iso_time(page.time) +
         "/listing\">text listing</a>";
  char month[32];
  std::snprintf(month, sizeof month, "%04ld-%02ld", page.time / 1000000, page.time / 10000 % 100);
  out += " <a id=\"period\" href=\"" + page.base + "/period/" + page.id + "?from=" + month +
         "&amp;hours=0,12\">the month as a time-height section</a></section>\n";
  out += "<div class=\"skewt\">";
  std::string svg = page.svg;
  const std::size_t svg_at = svg.find("<svg");
  if (svg_at != std::string::npos) out += svg.substr(svg_at);
  else out += "<p>No skew-T could be drawn.</p>";
  out += "</div>\n<h2>Indices</h2>\n<table class=\"indices\">\n";
  const indices::SoundingIndices ix = sounding_indices(page.sounding.sounding, e);
  for (const IndexRow& row : index_rows(ix))
    out += "<tr><th>" + std::string(row.label) + "</th><td>" +
           (std::isfinite(row.value) ? fixed(row.value, 1) : std::string("&ndash;")) +
           "</td><td>" + row.unit + "</td></tr>\n";
  out += "</table>\n<h2>Levels</h2>\n<table class=\"levels\">\n<tr><th>type</th><th>hPa</th>"
         "<th>m</th><th>&deg;C</th><th>dew point &deg;C</th><th>deg</th><th>m/s</th></tr>\n";
  const PhysicalLevels p = physical_levels(page.sounding.sounding);
  const auto cell = [](double v, int decimals) {
    return "<td>" + (std::isfinite(v) ? fixed(v, decimals) : std::string()) + "</td>";
  };
  for (std::size_t k = 0; k < p.pressure_hpa.size(); ++k)
    out += "<tr><td>" + std::to_string(p.level_type[k]) + "</td>" + cell(p.pressure_hpa[k], 1) +
           cell(p.height_m[k], 0) + cell(p.temperature_c[k], 1) + cell(p.dewpoint_c[k], 1) +
           cell(p.wind_direction_deg[k], 0) + cell(p.wind_speed_ms[k], 1) + "</tr>\n";
  return out + "</table>\n</body></html>\n";
}

std::string period_page(const PeriodPage& page) {
  const Station& e = *page.listing->entry;
  const std::string name = trimmed(e.name, sizeof e.name);
  const std::string api = page.base + "/api/v1/period/" + page.id;
  const std::string query = html_escape(page.query);
  std::string out = page_head(page.base, name + " " + iso_time(page.from) + " to " +
                                             iso_time(page.to));
  out += "<header><a href=\"" + page.base + "/\">Stations</a></header>\n";
  out += "<h1>" + html_escape(name) + " (" + html_escape(page.id) + ") " + iso_time(page.from) +
         " to " + iso_time(page.to) + "</h1>\n";
  out += "<section class=\"downloads\">The period's " + std::to_string(page.times.size()) +
         " soundings as one file:";
  for (const std::string& f : page.formats)
    out += " <a class=\"download\" id=\"download-" + f + "\" href=\"" + api + "?" +
           query + "&amp;format=" + f + "\">" + f + "</a>";
  out += "; the section as <a id=\"section-png\" href=\"" + api + "/section?" + query +
         "&amp;format=png\">png</a>, <a id=\"section-pdf\" href=\"" + api + "/section?" +
         query + "&amp;format=pdf\">pdf</a>, <a id=\"section-svg\" href=\"" + api +
         "/section?" + query + "&amp;format=svg\">svg</a></section>\n";
  out += "<div class=\"section\">";
  const std::size_t svg_at = page.svg.find("<svg");
  if (svg_at != std::string::npos) out += page.svg.substr(svg_at);
  out += "</div>\n<h2>Soundings</h2>\n<p class=\"times\">";
  for (const long t : page.times)
    out += "<a href=\"" + page.base + "/station/" + page.id + "/" + iso_time(t) + "\">" +
           iso_time(t) + "</a> ";
  return out + "</p>\n</body></html>\n";
}

std::string index_page(const std::string& base,
                       const std::vector<std::pair<std::string, const StationListing*>>& stations) {
  std::string out = page_head(base, "rawinq soundings");
  out.replace(out.find("<body>"), 6, "<body data-base=\"" + html_escape(base) + "\">");
  out += "<h1>Soundings of the archive</h1>\n"
         "<form id=\"search\"><label for=\"q\">Station</label> <input id=\"q\" name=\"q\" "
         "placeholder=\"72469, KDNR, DNR, W23062 or a name\" maxlength=\"64\"> "
         "<button id=\"find\" type=\"submit\">Find</button></form>\n<div id=\"found\"></div>\n"
         "<form id=\"pick\"><span id=\"chosen\">No station chosen.</span> "
         "<label for=\"date\">Date</label> <input type=\"date\" id=\"date\" disabled> "
         "<label for=\"hour\">Hour</label> <select id=\"hour\"></select> "
         "<button id=\"show\" type=\"submit\" disabled>Show</button> <span id=\"note\"></span>"
         "</form>\n"
         "<svg id=\"map\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"-180 -90 360 180\">"
         "<g id=\"land\"></g><g id=\"stations\">\n";
  for (const auto& [id, l] : stations) {
    const Station& e = *l->entry;
    const std::string label = trimmed(e.name, sizeof e.name) + " (" + id +
                              (l->icao.empty() ? "" : ", " + l->icao) + ")";
    out += "<circle class=\"station\" id=\"station-" + html_escape(id) + "\" data-id=\"" +
           html_escape(id) + "\" data-label=\"" + html_escape(label) + "\" cx=\"" +
           json_number(e.lon, 2) + "\" cy=\"" + json_number(-e.lat, 2) +
           "\" r=\"1.6\"><title>" + html_escape(label) + "</title></circle>\n";
  }
  out += "</g></svg>\n<h2>Stations</h2>\n<table class=\"stations\">\n"
         "<tr><th>station</th><th>ICAO</th><th>name</th><th>latitude</th><th>longitude</th>"
         "<th>years</th></tr>\n";
  for (const auto& [id, l] : stations) {
    const Station& e = *l->entry;
    out += "<tr><td><a href=\"" + base + "/station/" + id + "\">" + html_escape(id) +
           "</a></td><td>" + html_escape(l->icao) + "</td><td>" +
           html_escape(trimmed(e.name, sizeof e.name)) + "</td><td>" + json_number(e.lat, 2) +
           "</td><td>" + json_number(e.lon, 2) + "</td><td>" + html_escape(l->years) +
           "</td></tr>\n";
  }
  return out + "</table>\n<script src=\"" + base + "/static/topojson-client.min.js\"></script>\n"
         "<script src=\"" + base + "/static/app.js\"></script>\n</body></html>\n";
}

}  // namespace rawinq::serve
