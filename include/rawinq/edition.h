// The one place that knows which edition is built: the global edition
// (rawinq) or the North-American edition (rawinq_na, RAWINQ_NORTH_AMERICAN).
#pragma once

#include <string>

namespace edition {

#if defined(RAWINQ_NORTH_AMERICAN)
constexpr bool kNorthAmerican = true;
#else
constexpr bool kNorthAmerican = false;
#endif
constexpr bool kGlobal = !kNorthAmerican;

// Whether "international_sites.txt" is read after "stat2000.txt".
constexpr bool kReadsInternationalSites = kGlobal;

// Text of a year in the year-directory names: four digits in the global
// edition; in the North-American edition year - 1900 up to 1999.
inline std::string year_dir_text(int year) {
  if (kNorthAmerican && year <= 1999) return std::to_string(year - 1900);
  return std::to_string(year);
}

// Access menu: the line of choice 2 and (global edition only) choice 3.
constexpr const char* kAccessChoice2 =
    kGlobal ? "      2  -  all North/Central American Data "
            : "      2  -  all available observations";
constexpr bool kListsAccessChoice3 = kGlobal;
constexpr const char* kAccessChoice3 = "      3  -  all Global Data";
constexpr const char* kChoice2Message =
    kGlobal ? "\n\t\t North/Central American Access\n"
            : "\n\t\t All Available Data Access\n";
// Whether a line end follows the message of choice 2.
constexpr bool kChoice2MessageLineEnd = kGlobal;

// The box of access choice 2.
struct Box {
  float blat, elat, blong, elong;
};
constexpr Box kChoice2Box = kGlobal ? Box{0.0f, 90.0f, -180.0f, -50.0f}
                                    : Box{0.0f, 90.0f, -180.0f, 180.0f};
constexpr Box kWorldBox = Box{-90.0f, 90.0f, -180.0f, 180.0f};

// Whether the box questions carry the western-hemisphere note.
constexpr bool kWritesLongitudeNote = kGlobal;
// Whether the usage text lists "international_sites.txt".
constexpr bool kUsageListsInternationalSites = kGlobal;

}  // namespace edition
