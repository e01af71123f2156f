// Parsing and loading the two station catalogue files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "converse.h"
#include "dialogue.h"
#include "dialogue_fixture.h"
#include "dialogue_texts.h"
#include "rawinq/program_exit.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kDenLine[] =
    "DEN  23062 72469  39.77  104.87  1611 19900101 19951231 "
    "DENVER/STAPLETON          CO US\n";
const char kLerwickLine[] =
    "LWK  03005  60.13N   1.18W    82 19480101 20991231 "
    "LERWICK                       GB\n";

std::string field(const char* s) { return std::string(s); }

// The day after a YYYYMMDD date.
long next_day(long d) {
  const int y = static_cast<int>(d / 10000), m = static_cast<int>(d / 100 % 100);
  int day = static_cast<int>(d % 100);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int last = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  if (day < last) return d + 1;
  day = 1;
  return m == 12 ? (y + 1) * 10000L + 101 : y * 10000L + (m + 1) * 100 + day;
}

TEST(Stat2000Line, AllFieldsAndWesternLongitude) {
  STATREC e{};
  parse_stat2000_line(kDenLine, e);
  EXPECT_EQ(field(e.init), "DEN");
  EXPECT_EQ(e.wban, 23062);
  EXPECT_EQ(e.wmo, 72469);
  EXPECT_FLOAT_EQ(e.lat, 39.77f);
  EXPECT_FLOAT_EQ(e.lon, -104.87f);
  EXPECT_EQ(e.Clat, 'N');
  EXPECT_EQ(e.Clon, 'W');
  EXPECT_EQ(e.elev, 1611);
  EXPECT_EQ(e.bdate, 19900101);
  EXPECT_EQ(e.edate, 19951231);
  // Exactly 25 characters of name, trailing blanks included.
  EXPECT_EQ(field(e.name), "DENVER/STAPLETON         ");
  EXPECT_EQ(field(e.state), "CO");
  EXPECT_EQ(field(e.country), "US");
}

TEST(Stat2000Line, NameStartsAtFirstNonBlankAndKeepsInnerBlanks) {
  STATREC e{};
  parse_stat2000_line(
      "NKX 3190 72293 32.85 117.12 134 19480101 20991231      "
      "SAN DIEGO/MIRAMAR X  CA     US\n",
      e);
  // The name is fixed-width: it swallows what looks like the state.
  EXPECT_EQ(field(e.name), "SAN DIEGO/MIRAMAR X  CA  ");
  EXPECT_EQ(field(e.state), "US");
  EXPECT_EQ(field(e.country), "");
  EXPECT_EQ(e.wban, 3190);
}

TEST(Stat2000Line, OverlongWordsAreCutToTheirFields) {
  STATREC e{};
  parse_stat2000_line(
      "DENVERX 23062 72469 39.77 104.87 1611 19900101 19951231 "
      "DENVER                    CO USAX\n",
      e);
  EXPECT_EQ(field(e.init), "DENV");
  EXPECT_EQ(e.wban, 23062);
  EXPECT_EQ(field(e.country), "US");
}

TEST(Stat2000Line, FieldsAfterAMismatchKeepTheirValues) {
  STATREC e{};
  e.wmo = 11111;
  e.edate = 22222;
  std::strcpy(e.state, "ZZ");
  parse_stat2000_line("ABC 12345 notanumber 1.0 2.0\n", e);
  EXPECT_EQ(field(e.init), "ABC");
  EXPECT_EQ(e.wban, 12345);
  EXPECT_EQ(e.wmo, 11111);
  EXPECT_EQ(e.edate, 22222);
  EXPECT_EQ(field(e.state), "ZZ");
}

TEST(InternationalLine, HemispheresFromColumns18And26) {
  ASSERT_EQ(kLerwickLine[17], 'N');
  ASSERT_EQ(kLerwickLine[25], 'W');
  STATREC e{};
  parse_international_line(kLerwickLine, e);
  EXPECT_EQ(field(e.init), "LWK");
  EXPECT_EQ(e.wmo, 3005);
  EXPECT_EQ(e.wban, 903005);
  EXPECT_FLOAT_EQ(e.lat, 60.13f);
  EXPECT_FLOAT_EQ(e.lon, -1.18f);
  EXPECT_EQ(e.Clat, 'N');
  EXPECT_EQ(e.Clon, 'W');
  EXPECT_EQ(e.elev, 82);
  EXPECT_EQ(e.bdate, 19480101);
  EXPECT_EQ(e.edate, 20991231);
  EXPECT_EQ(field(e.name), "LERWICK                      ");
  EXPECT_EQ(std::strlen(e.name), 29u);
  EXPECT_EQ(field(e.state), "99");
  EXPECT_EQ(field(e.country), "GB");
}

TEST(InternationalLine, SouthernLatitudeNegatedOnlyByColumn18) {
  const char south[] =
      "CPT  68816  33.97S  18.60E    46 19480101 20991231 "
      "CAPE TOWN                     ZA\n";
  ASSERT_EQ(south[17], 'S');
  STATREC e{};
  parse_international_line(south, e);
  EXPECT_FLOAT_EQ(e.lat, -33.97f);
  EXPECT_FLOAT_EQ(e.lon, 18.60f);
  EXPECT_EQ(e.Clat, 'S');
  EXPECT_EQ(e.Clon, 'E');

  // One blank less: the letters are no longer in the hemisphere columns,
  // so they have no effect on the signs.
  const char shifted[] =
      "CPT 68816  33.97S  18.60W    46 19480101 20991231 "
      "CAPE TOWN                     ZA\n";
  ASSERT_EQ(shifted[16], 'S');
  STATREC f{};
  parse_international_line(shifted, f);
  EXPECT_FLOAT_EQ(f.lat, 33.97f);
  EXPECT_FLOAT_EQ(f.lon, 18.60f);
  EXPECT_EQ(f.Clat, ' ');
}

TEST(InternationalLine, WmoNumberTooLargeForTheOffsetKeepsTheLargestFileNumber) {
  STATREC e{};
  parse_international_line(
      "HUGE 99999999999999999999  1.00N  1.00E     1 19480101 20991231 "
      "NOWHERE                       XX\n",
      e);
  EXPECT_EQ(e.wmo, LONG_MAX);
  EXPECT_EQ(e.wban, LONG_MAX);
  STATREC f{};
  parse_international_line(
      "NEAR 9223372036853875807  1.00N  1.00E     1 19480101 20991231 "
      "NOWHERE                       XX\n",
      f);
  EXPECT_EQ(f.wban, LONG_MAX);  // the last WMO number that still fits
}

TEST(InternationalLine, NumbersComeFromTheFirstSixCharactersOfTheTokens) {
  const char line[] =
      "ABCD 1234 12.3456N  12.6EW   100 19480101 20991231 "
      "SOMEWHERE                     XX\n";
  ASSERT_EQ(line[17], 'N');
  ASSERT_EQ(line[25], 'W');
  STATREC e{};
  parse_international_line(line, e);
  EXPECT_EQ(field(e.init), "ABCD");
  EXPECT_FLOAT_EQ(e.lat, 12.345f);
  EXPECT_FLOAT_EQ(e.lon, -12.6f);  // the 'E' inside the token does not count
  EXPECT_EQ(e.wban, 901234);
}

TEST(InternationalLine, IdentifierOfFiveLettersSpoilsTheNumber) {
  STATREC e{};
  e.wmo = 777;
  parse_international_line(
      "ABCDE 12345  60.13N   1.18W    82 19480101 20991231 X\n", e);
  EXPECT_EQ(field(e.init), "ABCD");
  EXPECT_EQ(e.wmo, 777);
}

class CatalogueLoad : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = support.path() + "/"; }
  void TearDown() override {
    dialogue_state().Stn_His_Num = 0;
    for (STATREC& e : dialogue_state().Stn_His) e = STATREC{};
  }
  // A stat2000 entry line of station number n.
  static std::string na_line(int n) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "S%02d  %05d %05d  40.00  100.00   100 19900101 20991231 "
                  "%-25s CO US\n",
                  n % 100, n, 70000 + n, ("STATION " + std::to_string(n)).c_str());
    return buf;
  }
  static std::string intl_line(int n) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "I%02d  %05d  10.00S  20.00W   100 19900101 20991231 "
                  "%-29s GB\n",
                  n % 100, 10000 + n, ("SITE " + std::to_string(n)).c_str());
    return buf;
  }
  static std::string file_of(int count, std::string (*line)(int), int lines) {
    std::string s = std::to_string(count) + "\n";
    for (int i = 0; i < lines; ++i) s += line(i);
    return s;
  }

  // Loads na_entries catalogue entries and five international ones: the
  // catalogue is full, says so once, and its last entry has last_wmo.
  void expect_full_catalogue(int na_entries, long last_wmo) {
    write_file(support / "stat2000.txt",
               file_of(na_entries, na_line, na_entries));
    write_file(support / "international_sites.txt", file_of(5, intl_line, 5));
    EXPECT_EQ(load(),
              " WARNING:  station catalogue full - entries after 2000 were "
              "not loaded\n");
    ASSERT_EQ(dialogue_state().Stn_His_Num, 2000);
    EXPECT_EQ(dialogue_state().Stn_His[1999].wmo, last_wmo);
  }
  std::string load() {
    CaptureStdout cap;
    load_catalogue(dialogue_state(), dir_);
    return cap.text();
  }

  TempDir support;
  std::string dir_;
};

TEST_F(CatalogueLoad, BothFilesInOrder) {
  write_file(support / "stat2000.txt", file_of(2, na_line, 2));
  write_file(support / "international_sites.txt", file_of(3, intl_line, 3));
  EXPECT_EQ(load(), "");
  ASSERT_EQ(dialogue_state().Stn_His_Num, 5);
  EXPECT_EQ(dialogue_state().Stn_His[0].wmo, 70000);
  EXPECT_EQ(dialogue_state().Stn_His[1].wmo, 70001);
  EXPECT_EQ(dialogue_state().Stn_His[2].wmo, 10000);
  EXPECT_EQ(dialogue_state().Stn_His[4].wban, 910002);
  EXPECT_FLOAT_EQ(dialogue_state().Stn_His[4].lat, -10.0f);
  EXPECT_FLOAT_EQ(dialogue_state().Stn_His[4].lon, -20.0f);
}

TEST_F(CatalogueLoad, CountBeyondTheLinesPresentLoadsOnlyThoseLines) {
  write_file(support / "stat2000.txt", file_of(10, na_line, 2));
  write_file(support / "international_sites.txt", file_of(0, intl_line, 4));
  load();
  EXPECT_EQ(dialogue_state().Stn_His_Num, 2);
}

TEST_F(CatalogueLoad, CountThatCannotBeReadIsNamedWithItsFileAndLine) {
  write_file(support / "stat2000.txt",
             "99999999999999999999\n" + na_line(1) + na_line(2));
  write_file(support / "international_sites.txt", file_of(3, intl_line, 3));
  EXPECT_EQ(load(),
            " WARNING:  stat2000.txt line 1: the count of entries "
            "'99999999999999999999' cannot be read - no entry of the file was "
            "loaded\n");
  EXPECT_EQ(dialogue_state().Stn_His_Num,
            3);  // those of international_sites.txt
}

TEST_F(CatalogueLoad, RestOfAnOverlongLineNeverBecomesAnEntry) {
  std::string first = na_line(1);
  first.pop_back();
  first.resize(119, ' ');
  // What follows the 119th character would parse as an entry of its own.
  const std::string line1 = first + na_line(7);
  ASSERT_GT(line1.size(), 119u);
  write_file(support / "stat2000.txt", "2\n" + line1 + na_line(2));
  write_file(support / "international_sites.txt", "0\n");
  load();
  ASSERT_EQ(dialogue_state().Stn_His_Num, 2);
  EXPECT_EQ(dialogue_state().Stn_His[0].wmo, 70001);
  EXPECT_EQ(dialogue_state().Stn_His[1].wmo, 70002);
}

TEST_F(CatalogueLoad, EntriesBeyond2000AreDroppedWithOneWarning) {
  expect_full_catalogue(1999, 10000);  // the first international entry
}

TEST_F(CatalogueLoad, FullFirstFileSkipsTheSecondWithOneWarning) {
  expect_full_catalogue(2003, 71999);
}

// The library's loading as the programs other than the dialogue use it:
// every entry or a limit, faults as warnings or (strict) as errors that
// name the file, the international file read only after stat2000.txt when
// asked.
TEST_F(CatalogueLoad, LibraryLoadingByOptions) {
  struct Case {
    std::string stat2000, international;  // "" absent, "/" a directory
    CatalogueOptions options;
    std::size_t entries, from_stat2000, warnings;
    const char* error;  // the start of the message of CatalogueError
  };
  const std::string full = file_of(2003, na_line, 2003);
  const std::string five = file_of(5, intl_line, 5);
  const Case cases[] = {
      {full, five, {}, 2008, 2003, 0, nullptr},
      {full, five, {true, 2000, false, false}, 2000, 2000, 1, nullptr},
      {"x\n", five, {}, 5, 0, 1, nullptr},
      {"x\n", five, {true, 0, true, false}, 0, 0, 0,
       "stat2000.txt line 1: the count of entries 'x' cannot be read"},
      {"", "", {true, 0, true, false}, 0, 0, 0, "stat2000.txt: "},
      {"/", five, {true, 0, true, false}, 0, 0, 0, "stat2000.txt: "},
      {"", five, {true, 0, false, true}, 0, 0, 0, nullptr},
      {"", five, {true, 0, true, false}, 5, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stat2000.substr(0, 8) + " / " + c.international.substr(0, 8));
    TempDir d;
    for (const auto& [name, text] :
         {std::pair{"stat2000.txt", c.stat2000},
          std::pair{"international_sites.txt", c.international}}) {
      if (text == "/") make_dir(d / name);
      else if (!text.empty()) write_file(d / name, text);
    }
    if (c.error != nullptr) {
      try {
        Catalogue::load(d.path() + "/", c.options);
        ADD_FAILURE() << "no error";
      } catch (const CatalogueError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(d.path() + "/" + c.error, 0), 0u)
            << e.what();
      }
      continue;
    }
    const Catalogue cat = Catalogue::load(d.path() + "/", c.options);
    EXPECT_EQ(cat.size(), c.entries);
    EXPECT_EQ(cat.from_stat2000(), c.from_stat2000);
    EXPECT_EQ(cat.warnings().size(), c.warnings);
  }
}

TEST_F(CatalogueLoad, MissingInternationalFileIsReportedWithoutBell) {
  write_file(support / "stat2000.txt", file_of(1, na_line, 1));
  EXPECT_EQ(load(), " ERROR: the file international_sites.txt was not found "
                    "in: " + dir_ + " \n ");
  EXPECT_EQ(dialogue_state().Stn_His_Num, 1);
}

TEST_F(CatalogueLoad, MissingStat2000GoesOnEmptyAfterAnEmptyAnswer) {
  write_file(support / "international_sites.txt", file_of(1, intl_line, 1));
  FeedStdin in("\n");
  EXPECT_EQ(load(), dialogue_texts::missing_stat2000_message(dir_));
  EXPECT_EQ(dialogue_state().Stn_His_Num,
            0);  // the international file is not read either
}

TEST_F(CatalogueLoad, MissingStat2000WithHelpShowsUsageAndEnds) {
  const Conversation c =
      converse("HELP\n", [&] { load_catalogue(dialogue_state(), dir_); });
  EXPECT_TRUE(c.ended);
  EXPECT_EQ(c.status, 0);
  EXPECT_FALSE(c.input_ran_out);
  const std::string& out = c.out;
  EXPECT_NE(out.find("   Type HELP for more information \n" +
                     std::string(80, '-') + "\n"),
            std::string::npos);
  EXPECT_NE(out.find("\t                  -- international_sites.txt\n"),
            std::string::npos);
}

TEST_F(CatalogueLoad, EmptySupportDirectoryIsNamedCurrentDirectory) {
  std::string out;
  {
    WorkingDirectory in_support(support.path());
    FeedStdin in("\n");
    CaptureStdout cap;
    load_catalogue(dialogue_state(), "");
    out = cap.text();
  }
  EXPECT_EQ(out,
            dialogue_texts::missing_stat2000_message("<current directory>"));
}

// The catalogues shipped with the program: the stations the sample archive
// relies on, with the signs of their positions right.
TEST_F(CatalogueLoad, ShippedCataloguesHoldTheKnownStations) {
  load_catalogue(dialogue_state(), source_dir() + "/data/support/");
  const std::string na = read_file(source_dir() + "/data/support/stat2000.txt");
  const std::string intl =
      read_file(source_dir() + "/data/support/international_sites.txt");
  const int n = std::atoi(na.c_str()), m = std::atoi(intl.c_str());
  EXPECT_GE(n, 60);
  EXPECT_GE(m, 20);
  ASSERT_EQ(dialogue_state().Stn_His_Num, n + m);

  struct Known {
    long wmo, wban;
    const char* init;
    float lat, lon;
    short elev;
  };
  const Known known[] = {
      {72469, 23062, "DEN", 39.77f, -104.87f, 1611},
      {72520, 94823, "PIT", 40.53f, -80.23f, 360},
      {72764, 24011, "BIS", 46.77f, -100.75f, 503},
      {72250, 12919, "BRO", 25.92f, -97.42f, 7},
      {72293, 3190, "NKX", 32.85f, -117.12f, 134},
      {72403, 93734, "IAD", 38.98f, -77.48f, 88},
      {72501, 94703, "OKX", 40.87f, -72.86f, 20},
      {72357, 3948, "OUN", 35.18f, -97.44f, 357},
      {72649, 94983, "MPX", 44.85f, -93.57f, 287},
      {72202, 92803, "MFL", 25.75f, -80.38f, 4},
      {3005, 903005, "LWK", 60.13f, -1.18f, 82},
      {10868, 910868, "MUC", 48.25f, 11.55f, 484},
  };
  for (const Known& k : known) {
    // Entries of the station, in file order, must cover 1990-2099 without
    // a gap.
    long covered_to = 19891231;
    int entries = 0;
    for (int i = 0; i < dialogue_state().Stn_His_Num; ++i) {
      const STATREC& e = dialogue_state().Stn_His[i];
      if (e.wmo != k.wmo) continue;
      ++entries;
      EXPECT_EQ(e.wban, k.wban) << k.init;
      EXPECT_EQ(field(e.init), k.init);
      EXPECT_FLOAT_EQ(e.lat, k.lat) << k.init;
      EXPECT_FLOAT_EQ(e.lon, k.lon) << k.init;
      EXPECT_EQ(e.elev, k.elev) << k.init;
      if (e.bdate <= next_day(covered_to))
        covered_to = std::max(covered_to, e.edate);
    }
    EXPECT_GE(entries, 1) << k.init;
    EXPECT_GE(covered_to, 20991231) << k.init;
  }
  int den_entries = 0;
  for (int i = 0; i < dialogue_state().Stn_His_Num; ++i) {
    const STATREC& e = dialogue_state().Stn_His[i];
    if (e.wmo == 72469) ++den_entries;
    // Letters and signs agree everywhere.
    EXPECT_TRUE(e.Clat == 'N' || e.Clat == 'S') << i;
    EXPECT_TRUE(e.Clon == 'E' || e.Clon == 'W') << i;
    EXPECT_EQ(e.Clat == 'S', e.lat < 0.0f) << i;
    EXPECT_EQ(e.Clon == 'W', e.lon < 0.0f) << i;
    EXPECT_LE(e.bdate, e.edate) << i;
    EXPECT_EQ(std::strlen(e.state), 2u) << i;
    EXPECT_EQ(std::strlen(e.country), 2u) << i;
  }
  EXPECT_GE(den_entries, 2);
}

}  // namespace
