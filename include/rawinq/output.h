// Text output: destinations, file naming, paging, the ZIR and FAA604
// writers and the skew-T plot hand-off.
#pragma once

#include <cstddef>
#include <string>

// Name of the output file (without directory) for a new file.
std::string output_file_name(long date, long bdate, short indx, short oformat,
                             short sortype);
void open_outfile(long date, long bdate, std::string& pname, short indx,
                  short oformat, short sortype, short first);
// Closes the current output at the end of a request (ncclose for oformat 2,
// else outbuf when it is a file) and puts the finished file in place under
// its name. Safe to call when nothing is open; this is the way to close the
// output, so that nothing is closed twice. A failed close ends the program
// ("Write error", status 1).
void close_outfile(short oformat);
// Closes whatever output is still open when the program ends early. With
// `keep` the files are put in place as complete; returns 1 when that failed
// ("Write error" has been written to standard error), else 0. Without it
// (a failed or interrupted run) they are removed, and each name keeps what
// it held before.
int close_output_at_exit(bool keep = true);
// Flushes standard output, noting the reason of its first failure.
void flush_standard_output();
// At the end of the program: whether any output to standard output was
// lost. "Write error" with the reason is then written to standard error,
// unless a write error was reported already.
bool standard_output_failed();
void screen_control();

// Writes one line (text given without its newline) to outbuf, checks the
// stream for a write error ("Write error", status 1) and counts it for
// paging.
void emit_line(const std::string& text);
// The same without counting the line for paging.
void emit_uncounted_line(const std::string& text);
// Writes `lines` whole lines (each ended by its line end) as emit_line
// would one by one; without paging they go to the stream in one write.
void emit_lines(const std::string& text, int lines);

void ksc_format(short wformat, short ltype, short ind);
void faa_format(short ltype, short ind);
void plot_skewt_data();

// Runs an outside program through the shell (standard output flushed first).
int run_command(const std::string& command);

// The FAA604 group formatters. Each searches Snd_Data, from the level at the
// cursor to the last one, for the first level of type `frame`, sets the
// cursor to it and puts its group and a blank into cgrp; 1 when a group was
// formed, 0 when none could be (no such level, or a mandatory level whose
// pressure is not the one its indicator `seq` stands for). They read the
// pressures in whole mb, as faa_format holds them while it writes. fpress
// with frame 0, 1 or 2 forms the 31313 groups from Snd_Hdr instead.
using FaaFormatter = short (*)(short seq, long& indx, long frame,
                               std::string& cgrp);
short fpress(short seq, long& pindx, long frame, std::string& cgrp);
short fhgt(short seq, long& hindx, long frame, std::string& cgrp);
short ftemp(short seq, long& tindx, long frame, std::string& cgrp);
short fwind(short seq, long& windx, long frame, std::string& cgrp);
// Left-pads text with '0' to slen characters; longer text stays as it is.
void zero_pad(std::size_t slen, std::string& text);
