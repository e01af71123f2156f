// Interruption by SIGINT, SIGTERM or SIGHUP. The signal is noted, and the
// program ends at the next point where nothing is half done: before the
// next sounding is read, or at the next answer it would wait for. It then
// ends as at end of input, but every output file not yet complete is
// removed, and the status is 128 + the signal's number.
#pragma once

// Installs the handlers of the three signals.
void catch_interruptions();

// The signal that interrupted the program; 0 when none did.
int interruption_signal();

// Ends the program (ProgramExit, status 128 + the signal's number) when a
// signal has interrupted it.
void stop_if_interrupted();
