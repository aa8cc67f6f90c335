// File: options.cpp
//
// The option parser. See options.h.
#include "options.h"

#include "failure.h"

namespace zqcli {

std::string ParsedOptions::value(const std::string& name, const std::string& otherwise) const {
    const auto found = values.find(name);
    return found == values.end() ? otherwise : found->second;
}

void usageFailure(const std::string& command, const std::string& reason) {
    fail(command, reason + " (try 'zqcrypt " + command + " --help')");
}

namespace {

const OptionSpec* findLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& spec : specs) {
        if (name == spec.longName) return &spec;
    }
    return nullptr;
}

const OptionSpec* findShort(const std::vector<OptionSpec>& specs, char name) {
    for (const OptionSpec& spec : specs) {
        if (spec.shortName != 0 && spec.shortName == name) return &spec;
    }
    return nullptr;
}

}  // namespace

ParsedOptions parseOptions(const std::string& command, int argc, char** argv,
                           const std::vector<OptionSpec>& specs) {
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            parsed.operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument.compare(0, 2, "--") == 0) {
            // --name, --name=value or --name value
            const size_t equals = argument.find('=');
            const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
            const OptionSpec* spec = findLong(specs, name);
            if (spec == nullptr) usageFailure(command, "unknown option '--" + name + "'");
            if (!spec->takesValue && equals != std::string::npos) {
                usageFailure(command, "option '--" + name + "' takes no value");
            }
            if (!spec->takesValue) {
                parsed.values[name] = "";
            } else if (equals != std::string::npos) {
                parsed.values[name] = argument.substr(equals + 1);
            } else if (i + 1 < argc) {
                parsed.values[name] = argv[++i];
            } else {
                usageFailure(command, "option '--" + name + "' needs a value");
            }
        } else {
            // -abc: flags in a row; a letter that takes a value takes the rest
            // of the argument, or the next argument.
            for (size_t k = 1; k < argument.size(); ++k) {
                const OptionSpec* spec = findShort(specs, argument[k]);
                if (spec == nullptr) usageFailure(command, "unknown option '-" + argument.substr(k, 1) + "'");
                if (!spec->takesValue) {
                    parsed.values[spec->longName] = "";
                    continue;
                }
                if (k + 1 < argument.size()) {
                    parsed.values[spec->longName] = argument.substr(k + 1);
                } else if (i + 1 < argc) {
                    parsed.values[spec->longName] = argv[++i];
                } else {
                    usageFailure(command, "option '-" + argument.substr(k, 1) + "' needs a value");
                }
                break;
            }
        }
    }
    return parsed;
}

}  // namespace zqcli
