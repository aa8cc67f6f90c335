// File: output.cpp
//
// Outputs renamed into place. See output.h.
#include "output.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "failure.h"
#include "output_target.h"
#include "owner_only_file.h"
#include "standard_output.h"
#include "system_path.h"

namespace zqcli {
namespace {

// The temporary file being written, removed by a signal that ends the
// program (interrupt, termination, hangup, a closed pipe) before the program
// stops with that signal. A plain array: the handler may read nothing that
// could be half changed. Windows removes it by its UTF-16 name.
#ifdef _WIN32
using PathCharacter = wchar_t;
#else
using PathCharacter = char;
#endif
PathCharacter pendingTemporary[4096];

void removePendingAndStop(int signalNumber) {
    removePendingOutput();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void setPending(const std::string& temporary) {
#ifdef _WIN32
    const std::wstring name = widePath(temporary);
#else
    const std::string& name = temporary;
#endif
    const size_t length = name.size() < std::size(pendingTemporary) ? name.size() : 0;
    std::copy(name.begin(), name.begin() + static_cast<ptrdiff_t>(length), pendingTemporary);
    pendingTemporary[length] = 0;
#ifdef _WIN32
    const int signals[] = {SIGINT, SIGTERM};
#else
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
#endif
    for (int signalNumber : signals) signal(signalNumber, length != 0 ? removePendingAndStop : SIG_DFL);
}

// SignalsHeld holds back, for its lifetime, the signals that remove the
// pending file: one that came between the making of a temporary file and
// its naming as pending would leave the file behind. Held back, it is
// delivered when the file is named.
struct SignalsHeld {
#ifndef _WIN32
    sigset_t before;
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&held, signalNumber);
        sigprocmask(SIG_BLOCK, &held, &before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
#endif
};

// The longest file name a folder takes, in bytes (NAME_MAX on Linux; 255
// UTF-16 units on Windows, at least as many as bytes of UTF-8 here).
constexpr size_t NameMax = 255;

// temporaryStem is `path` with its file name cut so that `suffixBytes` more
// still make a name that fits NameMax; the cut falls between characters
// of UTF-8. The suffix keeps the name unique.
std::string temporaryStem(const std::string& path, size_t suffixBytes) {
    const size_t slash = path.find_last_of("/\\");
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t length = path.size() - start;
    if (length + suffixBytes <= NameMax) return path;
    length = NameMax - suffixBytes;
    while (length > 0 && (static_cast<unsigned char>(path[start + length]) & 0xC0) == 0x80) --length;
    return path.substr(0, start + length);
}

// createTemporary opens a new file with a name not yet taken beside
// `target.path` and stores the name in `temporary`; null with errno set on
// failure.
FILE* createTemporary(const OutputTarget& target, bool ownerOnly, std::string& temporary) {
#ifdef _WIN32
    // A private key's file is its owner's alone; a replaced file's
    // permissions (its DACL) are kept; a new file gets what the folder hands
    // on.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string suffix = ".tmp" + std::to_string(_getpid()) + "-" + std::to_string(attempt);
        temporary = temporaryStem(target.path, suffix.size()) + suffix;
        if (ownerOnly || target.replaces) {
            FILE* file = ownerOnly ? createOwnerOnlyFile(temporary) : createFileLike(temporary, target.path);
            if (file != nullptr || errno != EEXIST) return file;
            continue;
        }
        const int fd =
            _wopen(widePath(temporary).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) return _fdopen(fd, "wb");
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
#else
    temporary = temporaryStem(target.path, 7) + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return nullptr;
    // mkstemp makes the file for its owner only. A replaced file's
    // permissions are kept, and its owner and group when root can give them
    // (first: a change of owner clears set-id bits); a new file gets what
    // any new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    mode_t mode = target.replaces ? target.mode : 0666 & ~mask;
    if (ownerOnly) mode &= 0700;
    const bool kept = (!target.replaces || geteuid() != 0 || fchown(fd, target.owner, target.group) == 0) &&
                      fchmod(fd, mode) == 0;
    FILE* file = kept ? fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
#endif
}

bool renameOnto(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
    errno = EACCES;  // MoveFileEx sets the thread's last error, not errno
    return false;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

void removePendingOutput() {
    if (pendingTemporary[0] != 0) {
#ifdef _WIN32
        _wunlink(pendingTemporary);
#else
        unlink(pendingTemporary);
#endif
    }
}

Output::Output(const std::string& target, bool ownerOnly) : target_(target), file_(stdout) {
    const OutputTarget found = findOutputTarget(target);
    if (found.kind == OutputTarget::StandardOutput) return;
    [[maybe_unused]] const SignalsHeld held;
    path_ = found.path;
    file_ = found.kind == OutputTarget::Direct ? openFile(path_, "wb")
                                               : createTemporary(found, ownerOnly, temporary_);
    if (file_ == nullptr) {
        const int error = errno;
        if (!temporary_.empty()) removeFile(temporary_);
        failSystem(quoteName(target), error);
    }
    if (!temporary_.empty()) setPending(temporary_);
}

Output::~Output() {
    if (file_ == stdout || file_ == nullptr) return;
    fclose(file_);
    if (!temporary_.empty()) {
        removeFile(temporary_);
        setPending("");
    }
}

void Output::failWriting(int error) { failSystem(quoteName(target_), error); }

void Output::write(const void* bytes, size_t count) {
    if (file_ == stdout) {
        if (!writeStandardOutput(bytes, count)) failStandardOutput();
        return;
    }
    // A failed flush inside fwrite shows as a short count, or only as the
    // error flag when the bytes all went into the buffer.
    if (count != 0 && (fwrite(bytes, 1, count, file_) != count || ferror(file_))) failWriting(errno);
}

void Output::commit() {
    if (file_ == stdout) {
        if (!flushStandardOutput()) failStandardOutput();
        return;
    }
    FILE* file = file_;
    file_ = nullptr;
    int error = fflush(file) != 0 ? errno : 0;
    if (fclose(file) != 0 && error == 0) error = errno;
    if (!temporary_.empty()) {
        if (error == 0 && !renameOnto(temporary_, path_)) error = errno;
        if (error != 0) removeFile(temporary_);
        setPending("");
    }
    if (error != 0) failWriting(error);
}

}  // namespace zqcli
