#include "item_text.h"

#include <sstream>
#include <stdexcept>

namespace archive_writer {

const char* const kItemFormatHelp =
    "INPUT format, one item per line; '#' starts a comment, blank lines are\n"
    "ignored, M stands for a missing value:\n"
    "  sounding MM DD HH [key=value ...]\n"
    "      starts a sounding of YEAR; keys (stored codes): wban (default\n"
    "      STATION, or its WMO part for numbers above 900000), reltime (hhmm),\n"
    "      sondtype (0-14), source (0-6), tropind (0-14), top_hyd, troplv,\n"
    "      maxwind (1-based level numbers), nstat (entries of the optional\n"
    "      block)\n"
    "  level FLAG PR HT TP DP WD WS\n"
    "      adds a level to the current sounding: FLAG the stored type flag\n"
    "      (1 surface, 2 mandatory, 4 tropopause, 8 maximum wind, 16\n"
    "      significant temperature, 32 significant wind), PR pressure in\n"
    "      tenths of mb, HT height in metres, TP and DP in tenths of deg C,\n"
    "      WD direction in degrees, WS speed in tenths of m/s\n"
    "Example:\n"
    "  sounding 01 15 00 reltime=2315 sondtype=3 maxwind=2\n"
    "  level 1 8350 1611 -52 -81 270 40\n"
    "  level 2 7000 3011 -121 M 275 120\n";

long item_value(const std::string& text, int line) {
  if (text == "M") return kMissing;
  std::size_t used = 0;
  long v = 0;
  try {
    v = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty())
    throw std::runtime_error("line " + std::to_string(line) +
                             ": not a number: " + text);
  return v;
}

long item_value(const std::string& text, int line, long lo, long hi,
                const char* what) {
  const long v = item_value(text, line);
  if (v < lo || v > hi)
    throw std::runtime_error((line > 0 ? "line " + std::to_string(line) + ": "
                                       : std::string()) +
                             what +
                             " " + text + " cannot be stored (" +
                             std::to_string(lo) + " to " + std::to_string(hi) +
                             ")");
  return v;
}

std::vector<Sounding> read_items(std::istream& in, int year, long station,
                                 std::vector<int>* first_lines) {
  std::vector<Sounding> out;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    const std::size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream words(text);
    std::string kind;
    if (!(words >> kind)) continue;
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    if (kind == "sounding") {
      if (args.size() < 3)
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": sounding needs MM DD HH");
      Sounding s;
      s.year = year;
      s.month = static_cast<int>(item_value(args[0], line, 1, 12, "month"));
      s.day = static_cast<int>(item_value(args[1], line, 1, 31, "day"));
      s.hour = static_cast<int>(item_value(args[2], line, 0, 23, "hour"));
      s.wban = station > 900000 ? station - 900000 : station;
      for (std::size_t i = 3; i < args.size(); ++i) {
        const std::size_t eq = args[i].find('=');
        const std::string key = args[i].substr(0, eq);
        if (eq == std::string::npos)
          throw std::runtime_error("line " + std::to_string(line) +
                                   ": expected key=value: " + args[i]);
        const long v = item_value(args[i].substr(eq + 1), line);
        if (key == "wban") s.wban = v;
        else if (key == "reltime") s.reltime = v;
        else if (key == "sondtype") s.sondtype = v;
        else if (key == "source") s.source = v;
        else if (key == "tropind") s.tropind = v;
        else if (key == "top_hyd") s.top_hyd = v;
        else if (key == "troplv") s.troplv = v;
        else if (key == "maxwind") s.maxwind = v;
        else if (key == "nstat")
          s.nstat = static_cast<int>(
              item_value(args[i].substr(eq + 1), line, -1, 65535, "nstat"));
        else
          throw std::runtime_error("line " + std::to_string(line) +
                                   ": unknown key " + key);
      }
      out.push_back(s);
      if (first_lines != nullptr) first_lines->push_back(line);
    } else if (kind == "level") {
      if (out.empty())
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": level before any sounding");
      if (args.size() != 7)
        throw std::runtime_error("line " + std::to_string(line) +
                                 ": level needs 7 values");
      Level l;
      l.flag = static_cast<unsigned>(item_value(args[0], line, 0, 127, "flag"));
      l.pr = item_value(args[1], line);
      l.ht = item_value(args[2], line);
      l.tp = item_value(args[3], line);
      l.dp = item_value(args[4], line);
      l.wd = item_value(args[5], line);
      l.ws = item_value(args[6], line);
      out.back().levels.push_back(l);
    } else {
      throw std::runtime_error("line " + std::to_string(line) +
                               ": unknown item " + kind);
    }
  }
  return out;
}

}  // namespace archive_writer
