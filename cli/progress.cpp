// File: progress.cpp
//
// The progress line. See progress.h.
#include "progress.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "failure.h"

namespace zqcli {
namespace {

constexpr std::chrono::milliseconds firstDelay(1000);     // AfterASecond
constexpr std::chrono::milliseconds redrawInterval(250);  // four times a second at most
// The seconds read before a rate means anything.
constexpr double rateDelay = 0.25;

// stderrColumns is the width of the terminal on stderr, 80 when it has none
// or does not tell.
size_t stderrColumns() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return static_cast<size_t>(columns);
    }
#else
    struct winsize size;
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col != 0) return size.ws_col;
#endif
    return 80;
}

std::string bytesText(double bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string durationText(double seconds) {
    const unsigned long long whole = static_cast<unsigned long long>(seconds + 0.5);
    char text[48];
    if (whole < 3600) {
        snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
    } else {
        snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
    }
    return text;
}

// printable is `name` with control characters shown as '?': the line must
// stay one line.
std::string printable(const std::string& name) {
    std::string shown = name;
    for (char& ch : shown) {
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
    }
    return shown;
}

}  // namespace

ProgressMode progressMode(const std::string& command, const ParsedOptions& options) {
    if (options.has("progress") && options.has("no-progress")) {
        usageFailure(command, "--progress and --no-progress exclude each other");
    }
    if (options.has("progress")) return ProgressMode::FromTheStart;
    if (options.has("no-progress")) return ProgressMode::Never;
    return isTerminal(stderr) ? ProgressMode::AfterASecond : ProgressMode::Never;
}

bool isTerminal(FILE* stream) {
#ifdef _WIN32
    // _isatty holds for any character device; only a console has a mode.
    const int descriptor = _fileno(stream);
    DWORD mode;
    return _isatty(descriptor) && GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), &mode);
#else
    return isatty(fileno(stream)) != 0;
#endif
}

ProgressLine::ProgressLine(ProgressMode mode, const std::string& name, long long total)
    : mode_(mode), name_(printable(quoteName(name))), total_(total), start_(Clock::now()), next_(start_) {
    if (mode == ProgressMode::AfterASecond) next_ += firstDelay;
}

void ProgressLine::update() {
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    next_ = now + redrawInterval;
    std::string line = text(std::chrono::duration<double>(now - start_).count());
    const size_t width = line.size();
    // A shorter line than the last one drawn blanks the rest of it.
    if (drawn_ > width) line.append(drawn_ - width, ' ');
    drawn_ = width;
    line.insert(0, 1, '\r');
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
}

std::string ProgressLine::text(double seconds) const {
    std::string figures = ": " + bytesText(static_cast<double>(done_));
    const bool sized = total_ > 0;
    if (sized) {
        const unsigned long long percent = done_ >= static_cast<unsigned long long>(total_)
                                               ? 100
                                               : done_ * 100 / static_cast<unsigned long long>(total_);
        figures += " of " + bytesText(static_cast<double>(total_)) + " (" + std::to_string(percent) + "%)";
    }
    if (seconds >= rateDelay && done_ != 0) {
        const double rate = static_cast<double>(done_) / seconds;
        figures += ", " + bytesText(rate) + "/s";
        if (sized && done_ < static_cast<unsigned long long>(total_)) {
            figures += ", " + durationText(static_cast<double>(total_ - done_) / rate) + " left";
        }
    }
    // The line stays within the terminal's width, short of its last column
    // (where some terminals wrap): a long name keeps its end.
    const size_t width = stderrColumns() - 1;
    std::string name = name_;
    if (name.size() + figures.size() > width) {
        const size_t room = width > figures.size() + 3 ? width - figures.size() - 3 : 0;
        size_t cut = name.size() - room;
        // not inside a UTF-8 sequence
        while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80) ++cut;
        name = "..." + name.substr(cut);
    }
    std::string line = name + figures;
    if (line.size() > width) line.resize(width);
    return line;
}

void ProgressLine::erase() {
    if (drawn_ == 0) return;
    std::string blank(drawn_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    fwrite(blank.data(), 1, blank.size(), stderr);
    fflush(stderr);
    drawn_ = 0;
}

}  // namespace zqcli
