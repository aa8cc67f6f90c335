// File: output_target.cpp
//
// The kind of an output target. See output_target.h.
#include "output_target.h"

#include <errno.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#endif

#include "failure.h"
#include "system_path.h"

namespace zqcli {
namespace {

#ifndef _WIN32
// inProcesses: `path` is a link in a folder under /proc, as the links of a
// process's open descriptors are (/dev/stdout, /dev/fd/N lead there).
bool inProcesses(const std::string& path) {
    const size_t slash = path.rfind('/');
    char* folder = realpath(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash).c_str(), nullptr);
    const bool found = folder != nullptr && strncmp(folder, "/proc/", 6) == 0;
    free(folder);
    return found;
}

// followLinks is `name` with the symbolic links at its end followed, a
// relative link read from the link's own folder. A link to nothing yet
// gives the path where the file is to be made. `throughDescriptor` tells
// whether one of the links was an open descriptor's.
std::string followLinks(const std::string& name, bool& throughDescriptor) {
    std::string path = name;
    throughDescriptor = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        throughDescriptor = throughDescriptor || inProcesses(path);
        std::string link(4096, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0) failSystem(quoteName(name), errno);
        link.resize(static_cast<size_t>(length));
        const size_t slash = path.rfind('/');
        path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
    }
    failSystem(quoteName(name), ELOOP);
}
#endif

// mayWrite: the user the tool runs as may write `path`; errno set when not.
bool mayWrite(const std::string& path) {
#ifdef _WIN32
    return _waccess(widePath(path).c_str(), W_OK) == 0;
#else
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
#endif
}

}  // namespace

OutputTarget findOutputTarget(const std::string& name) {
    OutputTarget target;
    if (name == "-") return target;
    const std::string quoted = quoteName(name);
    // An empty name names no file; it is refused as the shell refuses "> ''".
    if (name.empty()) failSystem(quoted, ENOENT);
    target.kind = OutputTarget::Renamed;
    target.path = name;
    FileStatus status;
    if (fileStatus(name, status) != 0) {
        // A new file, where the links lead; a missing folder fails when the
        // temporary file is made in it.
        if (errno != ENOENT) failSystem(quoted, errno);
#ifndef _WIN32
        bool throughDescriptor = false;
        target.path = followLinks(name, throughDescriptor);
#endif
        return target;
    }
    if (S_ISDIR(status.st_mode)) failSystem(quoted, EISDIR);
    if (!mayWrite(name)) failSystem(quoted, errno);
    if (!S_ISREG(status.st_mode)) {
        target.kind = OutputTarget::Direct;
        return target;
    }
#ifndef _WIN32
    // The tool's own standard output under another name (/dev/stdout, or the
    // file the shell sent it to) is written as standard output, through the
    // descriptor the shell opened: what the shell writes there next comes
    // after it, and a file opened for appending keeps what it held.
    struct stat standardOutput;
    if (fstat(STDOUT_FILENO, &standardOutput) == 0 && standardOutput.st_dev == status.st_dev &&
        standardOutput.st_ino == status.st_ino) {
        target.kind = OutputTarget::StandardOutput;
        return target;
    }
    // A file reached through another open descriptor's link (/dev/stderr,
    // /proc/PID/fd/N) is written directly: renaming a new file onto its name
    // would leave the descriptor's owner writing to the old one. So is a
    // link to a file that has no name to rename onto (a deleted file).
    bool throughDescriptor = false;
    target.path = followLinks(name, throughDescriptor);
    struct stat found;
    if (throughDescriptor || lstat(target.path.c_str(), &found) != 0 || found.st_dev != status.st_dev ||
        found.st_ino != status.st_ino) {
        target.kind = OutputTarget::Direct;
        target.path = name;
        return target;
    }
#endif
    target.replaces = true;
    target.mode = status.st_mode & 0777;  // set-id bits are not handed on to new contents
    target.owner = status.st_uid;
    target.group = status.st_gid;
    return target;
}

}  // namespace zqcli
