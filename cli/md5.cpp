// File: md5.cpp
//
// zqcrypt md5: MD5 digests of files in md5sum's format, and the check of
// md5sum lists (md5_check.cpp).
#include <string>

#include "failure.h"
#include "file_digest.h"
#include "output.h"
#include "progress.h"
#include "subcommand.h"
#include "text.h"

namespace zqcli {
namespace {

const char help[] =
    "Usage: zqcrypt md5 [-o FILE] [--[no-]progress] [FILE]...\n"
    "  or:  zqcrypt md5 -c [--quiet|--status] [--strict] [--ignore-missing]\n"
    "                      [--[no-]progress] [LIST]...\n"
    "Print the MD5 digest of each FILE (standard input when none, or '-') in md5sum's\n"
    "format, or check the digests that md5sum-style LISTs name.\n\n"
    "  -o, --output FILE   write the digests to FILE, which appears only when every\n"
    "                      file was read ('-' means standard output)\n"
    "  -c, --check         read digests from the LISTs and check them\n"
    "      --quiet         when checking, do not print OK for each good file\n"
    "      --status        when checking, print nothing; the exit status tells\n"
    "      --strict        when checking, fail on improperly formatted lines\n"
    "      --ignore-missing  when checking, skip files that do not exist\n"
    "      --progress      show a progress line on stderr from the start, even when\n"
    "                      stderr is not a terminal\n"
    "      --no-progress   show none; by default a terminal on stderr shows one for\n"
    "                      an input read for more than a second\n\n"
    "A line is 'DIGEST  NAME'; a name holding a backslash, newline or carriage return\n"
    "is escaped and its line starts with a backslash, as md5sum does. Files of any\n"
    "size are read in pieces through the library's MD5 engine.\n"
    "Exit status: 0 all read (all matched), 1 a digest did not match, 2 an error.\n";

int run(const ParsedOptions& options) {
    if (options.has("check")) {
        if (options.has("output")) usageFailure("md5", "--output does not apply when checking");
        return checkMd5Lists(options);
    }
    for (const char* checkOnly : {"quiet", "status", "strict", "ignore-missing"}) {
        if (options.has(checkOnly)) {
            usageFailure("md5", std::string("--") + checkOnly + " applies only when checking (-c)");
        }
    }
    const ProgressMode progress = progressMode("md5", options);
    std::vector<std::string> names = options.operands;
    if (names.empty()) names.push_back("-");

    Output output(options.value("output", "-"));
    int code = ExitSuccess;
    for (const std::string& name : names) {
        Md5Digest digest;
        try {
            digest = md5OfFile(name, progress);
        } catch (const Failure& failure) {
            // A file that cannot be read is reported and the others still
            // hashed, as md5sum does; a file output is then not written.
            report(failure.name, failure.reason);
            code = ExitError;
            continue;
        }
        std::string escaped;
        const bool prefixed = escapeFileName(name, escaped);
        std::string line = prefixed ? "\\" : "";
        line += toHex(digest.data(), digest.size());
        line += "  ";
        line += escaped;
        line += '\n';
        output.write(line);
    }
    if (code == ExitSuccess || options.value("output", "-") == "-") output.commit();
    return code;
}

}  // namespace

const Subcommand md5Command = {
    "md5",
    "MD5 digests of files in md5sum's format, or check md5sum lists (-c)",
    help,
    {{"output", 'o', true},
     {"check", 'c', false},
     {"quiet", 0, false},
     {"status", 0, false},
     {"strict", 0, false},
     {"ignore-missing", 0, false},
     {"progress", 0, false},
     {"no-progress", 0, false}},
    run,
};

}  // namespace zqcli
