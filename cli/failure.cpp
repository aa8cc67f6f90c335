// File: failure.cpp
//
// Messages on stderr. See failure.h.
#include "failure.h"

#include <stdio.h>
#include <string.h>

#include "standard_output.h"

namespace zqcli {

void fail(const std::string& name, const std::string& reason) { throw Failure{name, reason}; }

void failSystem(const std::string& name, int error) {
    throw Failure{name, systemReason(error), ExitError, error};
}

void report(const std::string& name, const std::string& reason) { report(name.c_str(), reason.c_str()); }

void report(const char* name, const char* reason) {
    // What came before on stdout goes out first; a failure of it is kept
    // and reported when stdout is closed.
    flushStandardOutput();
    fprintf(stderr, "zqcrypt: %s: %s\n", name, reason);
}

std::string quoteName(const std::string& name) {
    if (name == "-") return "'standard input'";
    bool plain = !name.empty();
    for (unsigned char ch : name) {
        const bool safe = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                          (ch >= '0' && ch <= '9') || strchr("._-+/,:@%=", ch) != nullptr;
        plain = plain && safe;
    }
    if (plain) return name;
    std::string quoted = "'";
    for (char ch : name) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return quoted + "'";
}

std::string systemReason(int error) { return strerror(error); }

}  // namespace zqcli
