// The server program's entry points shared between its source files.
#pragma once

// Prints the help text to standard output.
void usage(const char* progname);
