// File: output_target.h
//
// What the name given with -o stands for, found out before any work is
// done, so that a target the tool cannot write fails at once: standard
// output ("-"); a file written directly (a FIFO, a device, anything that is
// not a regular file); or a regular file, new or replaced, that the tool
// writes as a temporary file beside it and renames into place when
// complete. A symbolic link is followed: its target is written and the link
// stays a link. A name of the tool's own standard output (/dev/stdout, or the
// file it was sent to) is standard output, and a file reached through
// another open descriptor's link is written directly.
#pragma once

#include <string>

namespace zqcli {

struct OutputTarget {
    enum Kind { StandardOutput, Direct, Renamed } kind = StandardOutput;
    // The file to write or to rename onto, links followed.
    std::string path;
    // A regular file that exists: its replacement gets its permissions and,
    // when the tool runs as root, its owner and group.
    bool replaces = false;
    unsigned mode = 0;
    unsigned owner = 0, group = 0;
};

// findOutputTarget looks at `name`. An empty name, a directory, a name under
// something that is not a directory, and an existing file the user may not
// write throw a Failure naming it. A folder the temporary file cannot be
// made in fails when Output makes it, still before any work.
OutputTarget findOutputTarget(const std::string& name);

}  // namespace zqcli
