// File: system_path.h
//
// File names as the system takes them. The tool holds every name in UTF-8,
// as it came on a Linux command line and as it writes it in its output.
// Windows gives a program its arguments in UTF-16 and opens files by UTF-16
// names; its narrow (ANSI) calls would turn any character outside the code
// page into '?'. So on Windows the arguments are taken in UTF-16 and turned
// into UTF-8, and every file is opened through the wide calls with its name
// turned back. Elsewhere these are the plain C and POSIX calls.
#pragma once

#include <stdio.h>
#include <sys/stat.h>

#include <string>

namespace zqcli {

#ifdef _WIN32
using FileStatus = struct _stati64;
// widePath is `utf8` in UTF-16; empty when it is not valid UTF-8.
std::wstring widePath(const std::string& utf8);
#else
using FileStatus = struct stat;
#endif

// utf8Arguments replaces `argc` and `argv` by the program's arguments in
// UTF-8 on Windows (kept for the program's life); an argument that is not
// valid UTF-16 (a lone surrogate) throws a Failure. Elsewhere they stay.
void utf8Arguments(int& argc, char**& argv);

// The C library's calls on a name in UTF-8.
FILE* openFile(const std::string& name, const char* mode);
int fileStatus(const std::string& name, FileStatus& status);
int removeFile(const std::string& name);

}  // namespace zqcli
