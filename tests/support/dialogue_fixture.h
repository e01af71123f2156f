// The dialogue state the tests of one program share, as the dialogue
// program has one for its run: what a test sets in it (a catalogue, a
// selection, the database folder) is what the dialogue's functions and the
// fixtures built on it read.
#pragma once

#include "dialogue_state.h"

inline DialogueState& dialogue_state() {
  static DialogueState state;
  return state;
}
