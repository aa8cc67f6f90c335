// File: progress.h
//
// The progress line: while a long input is read, one line on stderr, drawn
// over itself after a carriage return, tells how much of it is done (of how
// much, when its size is known), at what rate and, with a known size, how
// long is left. By default it appears only when stderr is a terminal (a
// console on Windows) and the input has been read for a second; --progress
// shows it from the start wherever stderr goes, --no-progress never. It is
// redrawn at most four times a second and erased when the input is closed,
// read to its end or not, so that whatever is written next starts on a
// clean line.
#pragma once

#include <stdio.h>

#include <chrono>
#include <string>

#include "options.h"

namespace zqcli {

enum class ProgressMode {
    Never,
    AfterASecond,  // stderr is a terminal: shown once an input has taken a second
    FromTheStart,  // --progress
};

// progressMode is the mode that --progress or --no-progress chooses for
// `command` (both at once is a usage failure), else AfterASecond when stderr
// is a terminal and Never when it is not.
ProgressMode progressMode(const std::string& command, const ParsedOptions& options);

// isTerminal tells whether the standard stream `stream` is a terminal; on
// Windows, a console (a character device such as NUL is not).
bool isTerminal(FILE* stream);

// ProgressLine: the line of one input, from its opening to its end.
class ProgressLine {
public:
    // `total` is the input's size in bytes, or -1 when it is not known.
    ProgressLine(ProgressMode mode, const std::string& name, long long total);
    ~ProgressLine() { erase(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // advance counts `count` more bytes read. It is called once a piece (tens
    // of kilobytes and more), so that the clock is read once a piece too.
    void advance(size_t count) {
        if (mode_ == ProgressMode::Never) return;
        done_ += count;
        update();
    }

    // erase blanks the line drawn, if any, and leaves the cursor at its
    // start.
    void erase();

private:
    using Clock = std::chrono::steady_clock;

    void update();
    std::string text(double seconds) const;

    ProgressMode mode_;
    std::string name_;
    long long total_;
    unsigned long long done_ = 0;
    Clock::time_point start_;
    Clock::time_point next_;  // the line is not drawn before this
    size_t drawn_ = 0;        // the width of the line on stderr; 0 when none is
};

}  // namespace zqcli
