// File: subcommand.h
//
// The subcommands of zqcrypt. Each one is defined in the file of its name
// with its help text, its options and the function that runs it; main picks
// one by the first argument.
#pragma once

#include <initializer_list>

#include "options.h"

namespace zqcli {

struct Subcommand {
    const char* name;
    const char* summary;  // one line for "zqcrypt --help"
    const char* help;     // the whole of "zqcrypt NAME --help"
    // The options: a list fixed at compile time, so that no subcommand
    // allocates before main, where running out of memory could not be
    // reported.
    std::initializer_list<OptionSpec> options;
    // run does the work and returns the exit code; it may throw a Failure.
    int (*run)(const ParsedOptions& options);
};

extern const Subcommand md5Command;
extern const Subcommand base64Command;
extern const Subcommand keygenCommand;
extern const Subcommand pubkeyCommand;
extern const Subcommand signCommand;
extern const Subcommand verifyCommand;

// checkMd5Lists runs "zqcrypt md5 --check": reads the lists named by the
// operands and checks every file they name, as md5sum -c does.
int checkMd5Lists(const ParsedOptions& options);

// lacksLibcrypto fails `command` in a build without OpenSSL's libcrypto.
[[noreturn]] void lacksLibcrypto(const char* command, const char* what);

}  // namespace zqcli
