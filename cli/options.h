// File: options.h
//
// Command lines in the coreutils manner: long options ("--bits 2048",
// "--bits=2048"), one-letter options ("-o FILE", "-oFILE", "-cq"), "--" to
// end the options, and "-" as an operand (standard input or output).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zqcli {

// OptionSpec: one option a subcommand accepts. `shortName` is 0 when the
// option has only its long name.
struct OptionSpec {
    const char* longName;
    char shortName;
    bool takesValue;
};

// ParsedOptions: the options given, by long name (a flag maps to ""; an
// option given twice keeps its last value), and the operands in order.
struct ParsedOptions {
    std::map<std::string, std::string> values;
    std::vector<std::string> operands;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    // value is the option's value, or `otherwise` when it was not given.
    std::string value(const std::string& name, const std::string& otherwise = "") const;
};

// parseOptions reads `argc` arguments from `argv` (the subcommand's name
// excluded) for the subcommand `command`. An unknown option, a missing value
// or a value given to a flag throws a usage Failure naming `command`.
ParsedOptions parseOptions(const std::string& command, int argc, char** argv,
                           const std::vector<OptionSpec>& specs);

// usageFailure throws a usage Failure about `command` whose reason ends with
// a pointer to the subcommand's help.
[[noreturn]] void usageFailure(const std::string& command, const std::string& reason);

}  // namespace zqcli
