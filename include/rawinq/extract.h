// The command line for scripts.
#pragma once

// rawinq-extract [OPTIONS] DATABASE_DIR SUPPORT_DIR; returns the exit
// status (0 soundings written, 1 nothing matched, 2 error).
int rawinq_extract_main(int argc, char** argv);
