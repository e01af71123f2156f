// The dialogue's state between its questions, under the names its
// questions give them: the answers so far, the catalogue it browses, the
// help file and the paging of its screen. rawinq_main makes one value per
// run and hands it to every question; the library takes what it needs of
// it as values (a request, a selection, a catalogue).
#pragma once

#include <cstdio>
#include <string>

#include "rawinq/file_handle.h"
#include "rawinq/output_session.h"
#include "rawinq/records.h"

struct DialogueState;

// The pager of listings written to the screen: counts their lines and at
// the end of a page asks whether to go on (Screen_Lines, Screen_Scroll and
// Max_Lines of its state).
class ScreenPager final : public Pager {
 public:
  explicit ScreenPager(DialogueState& st) : st_(st) {}
  bool active() const override;
  void count_line() override;

 private:
  DialogueState& st_;
};

struct DialogueState {
  DialogueState() = default;
  DialogueState(const DialogueState&) = delete;
  DialogueState& operator=(const DialogueState&) = delete;

  // Database directory, ending in "/" when not empty.
  std::string Data_Loc;
  // Lines per screen page; -1 also traces database file opens.
  long Max_Lines = 20;

  // Station catalogue and the stations of the current request.
  STATREC Stn_His[kMaxStations]{};
  short Stn_His_Num = 0;
  short Stn_Index[kMaxStations]{};
  short Stn_Count = 0;
  long User_Stations[kMaxStations][2]{};  // column 0 WMO, column 1 WBAN
  short Usr_Stn_Count = 1;

  short Stn_Type = 0;             // 0 WMO numbers, 1 WBAN numbers
  short Sort_Type = 1;            // 0 synoptic, 1 climatological
  short Original_ZIR_Format = 0;  // 1: whole mb, cut at 100 mb, 32767
  short Years[kYearsSize]{};      // 1 when the year has data

  // Last accepted beginning date YYYYMMDDHH ("00000000" before the year
  // scan).
  std::string Begin_Date = "00000000";
  // The help file, open from start-up to the normal end.
  FileHandle helpfile;

  // Screen paging.
  long Screen_Lines = 0;
  short Screen_Scroll = 0;
  ScreenPager pager{*this};
};
