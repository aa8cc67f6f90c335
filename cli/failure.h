// File: failure.h
//
// How the tool gives up and what it tells the user. Every subcommand ends
// with one of three exit codes; a reason is one line on stderr of the form
// "zqcrypt: NAME: reason", where NAME is what is at fault: a file, an option
// or the subcommand itself.
#pragma once

#include <string>

namespace zqcli {

// The exit codes of every subcommand.
enum ExitCode : int {
    ExitSuccess = 0,   // done; the signature or every checksum matched
    ExitMismatch = 1,  // a signature or a checksum that does not match
    ExitError = 2,     // anything else: usage, unreadable input, malformed key
};

// Failure: thrown by a subcommand that cannot go on; main reports it and
// exits with `code`.
struct Failure {
    std::string name;
    std::string reason;
    int code = ExitError;
    int systemError = 0;  // the errno behind the reason, if any
};

// fail throws a Failure about `name`.
[[noreturn]] void fail(const std::string& name, const std::string& reason);

// failSystem throws a Failure about `name` whose reason is the C library's
// text for the error number `error`.
[[noreturn]] void failSystem(const std::string& name, int error);

// report writes "zqcrypt: NAME: reason" to stderr. The form with C strings
// allocates nothing, for an exhausted heap.
void report(const std::string& name, const std::string& reason);
void report(const char* name, const char* reason);

// quoteName is `name` as coreutils quotes a file name in a message: as it
// stands when it holds only characters that need no quoting, else in single
// quotes. Standard input is named 'standard input'.
std::string quoteName(const std::string& name);

// systemReason is the C library's text for the error number `error`.
std::string systemReason(int error);

}  // namespace zqcli
