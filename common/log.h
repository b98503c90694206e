// The server's log line format and destinations, and console text output.
#pragma once

#include <string>

// Destinations of a log line (whereLog): the log stream (standard output, the
// ".log" file of the daemon) and the error stream (standard error, ".err").
enum { LOG_STREAM = 0, ERR_STREAM = 1 };

// Writes "(YYYY-MM-DD hh:mm:ss): " + msg and a line end, in local time, to
// the destination. A null message or another destination writes nothing.
// `console` picks the console form (foreground) or the byte form (daemon);
// both carry the same UTF-8 bytes: console text is never re-encoded through
// wide streams, so narrow and wide writes can never clash on one stream.
void log(const char* msg, int whereLog, bool console);
inline void log(const std::string& msg, int whereLog, bool console) {
    log(msg.c_str(), whereLog, console);
}

// The console flag of the program's own log lines: the server sets it once at
// start (the negation of "run as a daemon"); code that is not the server's
// entry (the runner, the background worker) logs with logConsole().
void setLogConsole(bool console);
bool logConsole();

// The session prefix of a log line: "[" + thread id + "] : ".
std::string threadPrefix();

// Writes text as is, then a line end, to standard output (0) or standard
// error (1), and flushes. One call writes its whole line at once.
void consoleLine(int where, const std::string& text);
// Writes text as is, without a line end, and flushes.
void consoleWrite(int where, const std::string& text);
