// File: md5_check.cpp
//
// zqcrypt md5 --check: the lines of md5sum lists, each file they name hashed
// and compared, with md5sum -c's output, warnings and options. Lines are
// "DIGEST  NAME" ("DIGEST *NAME" for a binary-mode entry), the reversed
// "DIGEST NAME" form, or the tagged "MD5 (NAME) = DIGEST" form, with a
// leading backslash when the name is escaped. Lines starting with "#" and
// empty lines are skipped.
#include <errno.h>

#include <algorithm>
#include <string>
#include <vector>

#include "failure.h"
#include "file_digest.h"
#include "progress.h"
#include "standard_output.h"
#include "subcommand.h"
#include "text.h"

namespace zqcli {
namespace {

// LineReader: the lines of a list, read in pieces, without their LF and a
// CR before it.
class LineReader {
public:
    explicit LineReader(const std::string& name) : input_(name) {}

    bool next(std::string& line) {
        line.clear();
        for (;;) {
            if (position_ == buffer_.size()) {
                buffer_.resize(1 << 16);
                buffer_.resize(input_.read(reinterpret_cast<uint8_t*>(buffer_.data()), buffer_.size()));
                position_ = 0;
                if (buffer_.empty()) return !line.empty() && trim(line);
            }
            const size_t end = buffer_.find('\n', position_);
            line.append(buffer_, position_, end == std::string::npos ? end : end - position_);
            position_ = end == std::string::npos ? buffer_.size() : end + 1;
            if (end != std::string::npos) return trim(line);
        }
    }

private:
    static bool trim(std::string& line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

    InputFile input_;
    std::string buffer_;
    size_t position_ = 0;
};

// ListEntry: what one line names.
struct ListEntry {
    std::string name;
    Md5Digest digest;
};

bool isBlank(char ch) { return ch == ' ' || ch == '\t'; }

// parseTagged reads "(NAME) = DIGEST" from `at` on: the name ends at the
// last ")".
bool parseTagged(const std::string& line, size_t at, std::string& name, std::string& digest) {
    if (at >= line.size() || line[at] != '(') return false;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close <= at) return false;
    name = line.substr(at + 1, close - at - 1);
    size_t i = close + 1;
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size() || line[i] != '=') return false;
    ++i;
    while (i < line.size() && isBlank(line[i])) ++i;
    digest = line.substr(i);
    return true;
}

// ListParser: reads the lines of one list. A list whose first entry is in
// the reversed form ("DIGEST NAME") keeps to it: a later "DIGEST  NAME" line
// then names " NAME", as in md5sum.
class ListParser {
public:
    bool parse(const std::string& line, ListEntry& entry) {
        size_t i = 0;
        while (i < line.size() && isBlank(line[i])) ++i;
        const bool escaped = i < line.size() && line[i] == '\\';
        if (escaped) ++i;
        std::string name, digest;
        if (line.compare(i, 3, "MD5") == 0) {
            size_t at = i + 3;
            if (at < line.size() && line[at] == ' ') ++at;
            if (!parseTagged(line, at, name, digest)) return false;
        } else {
            digest = line.substr(i, 32);
            i += 32;
            if (i >= line.size() || !isBlank(line[i])) return false;
            ++i;
            if (line.size() - i == 1 || (line[i] != ' ' && line[i] != '*')) {
                if (reversed_ == 0) return false;
                reversed_ = 1;
            } else if (reversed_ != 1) {
                reversed_ = 0;
                ++i;
            }
            name = line.substr(i);
        }
        if (name.empty() || !parseHex(digest, entry.digest.data(), entry.digest.size())) return false;
        if (!escaped) {
            entry.name = name;
            return true;
        }
        return unescapeFileName(name, entry.name);
    }

private:
    int reversed_ = -1;  // not yet known, 0 standard form, 1 reversed form
};

// Counts of one list, and the md5sum warnings they give.
struct ListCounts {
    unsigned formatted = 0, improper = 0, unreadable = 0, mismatched = 0, matched = 0;
};

std::string plural(unsigned count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// shownName is a file name as md5sum -c shows it: escaped, behind a
// backslash, only when it holds a newline.
std::string shownName(const std::string& name) {
    if (name.find('\n') == std::string::npos) return name;
    std::string escaped;
    escapeFileName(name, escaped);
    return "\\" + escaped;
}

struct CheckMode {
    bool quiet, status, strict, ignoreMissing;
};

// checkList checks every entry of the list `listName` and returns its exit
// code.
int checkList(const std::string& listName, const CheckMode& mode, ProgressMode progress) {
    LineReader reader(listName);
    ListParser parser;
    ListCounts counts;
    std::string line;
    while (reader.next(line)) {
        if (line.empty() || line[0] == '#') continue;
        ListEntry entry;
        if (!parser.parse(line, entry)) {
            ++counts.improper;
            continue;
        }
        ++counts.formatted;
        Md5Digest digest;
        try {
            digest = md5OfFile(entry.name, progress);
        } catch (const Failure& failure) {
            if (mode.ignoreMissing && failure.systemError == ENOENT) continue;
            report(failure.name, failure.reason);
            if (!mode.status) writeStandardOutput(shownName(entry.name) + ": FAILED open or read\n");
            ++counts.unreadable;
            continue;
        }
        const bool good = digest == entry.digest;
        ++(good ? counts.matched : counts.mismatched);
        if (!mode.status && !(good && mode.quiet)) {
            writeStandardOutput(shownName(entry.name) + (good ? ": OK\n" : ": FAILED\n"));
        }
    }

    if (counts.formatted == 0) {
        report(quoteName(listName), "no properly formatted checksum lines found");
        return ExitError;
    }
    if (!mode.status) {
        if (counts.improper != 0) {
            report("WARNING", plural(counts.improper, "line is", "lines are") + " improperly formatted");
        }
        if (counts.unreadable != 0) {
            report("WARNING", plural(counts.unreadable, "listed file", "listed files") + " could not be read");
        }
        if (counts.mismatched != 0) {
            report("WARNING",
                   plural(counts.mismatched, "computed checksum", "computed checksums") + " did NOT match");
        }
        if (mode.ignoreMissing && counts.matched == 0) report(quoteName(listName), "no file was verified");
    }
    if (counts.unreadable != 0 || (mode.strict && counts.improper != 0)) return ExitError;
    if (counts.mismatched != 0) return ExitMismatch;
    return counts.matched == 0 ? ExitError : ExitSuccess;
}

}  // namespace

int checkMd5Lists(const ParsedOptions& options) {
    const CheckMode mode{options.has("quiet"), options.has("status"), options.has("strict"),
                         options.has("ignore-missing")};
    const ProgressMode progress = progressMode("md5", options);
    std::vector<std::string> lists = options.operands;
    if (lists.empty()) lists.push_back("-");
    int code = ExitSuccess;
    for (const std::string& list : lists) {
        int listCode;
        try {
            listCode = checkList(list, mode, progress);
        } catch (const Failure& failure) {
            // the list itself could not be read
            report(failure.name, failure.reason);
            listCode = ExitError;
        }
        code = std::max(code, listCode);
    }
    return code;
}

}  // namespace zqcli
