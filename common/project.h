// What both programs share about themselves: the project name and version,
// the configuration file name and search directories, the locale set-up, the
// version text and the start-up check of the working directory.
#pragma once

#include <string>

extern const char* szProject;         // "zelvan"
extern const char* szVersion;         // the project version, e.g. "1.2.0.9"
extern const char* szConfFileName;    // "zelvan.conf"
extern const char* szLookPaths[];     // search directories, null-terminated
extern const char* szDefaultConfDir;  // "/etc/opt/zelvan"
extern const char* szDefaultDbFile;   // "/var/opt/zelvan/db/zelvan.db3", the journal

// Default port of the server and of the client.
const unsigned short kDefaultPort = 54121;

// All categories "C", then character type and messages "ru_RU.UTF-8". When
// that locale is missing the two categories fall back to "C.UTF-8", so the
// Russian texts still print correctly.
void setupLocale();

// The part of argv[0] after its last "/".
const char* baseName(const char* argv0);

// Prints the version text: project, " : Версия - ", version, a line end and
// one empty line.
void version();

// Reads the working directory; on failure prints the error line and ends
// the process with the error number as its status.
void checkWorkingDir(const char* progname);

// Configuration discovery: the file named by -c when it can be opened (and
// nothing else when it cannot); without -c the default path, then every
// search directory in order. Returns "" when no file is used.
std::string findConfFile(const char* optConfig);
