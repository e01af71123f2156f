// The request questions.
#include "rawinq/dialogue.h"
#include "rawinq/globals.h"

void ask_request_questions(RequestSettings& s) {
  if (s.first) s.bdat = Begin_Date;
  s.edat = s.bdat;
}
void ask_output_questions(RequestSettings&) {}
