// The progress line of a long decode: position, duration and speed on stderr, rewritten in place.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "options.h"

namespace sirrel {

// When the line shows and what it says, from times and positions given to it: no clock or terminal of its own.
class ProgressMeter {
public:
    static constexpr double kMinDuration = 60; // shorter inputs are done before a line would help
    static constexpr double kInterval = 0.25;  // seconds between updates: readable, and cheap on a slow terminal

    // Whether a run shows the line at all. Decoded text on the same terminal would be broken up by it, so the
    // line is for runs whose text goes to a file or a pipe.
    static bool Wanted(bool quiet, bool stderrTerminal, bool stdoutTerminal, double durationSeconds);

    explicit ProgressMeter(double durationSeconds) : duration_(durationSeconds) {}

    // What to write after position seconds of audio took elapsed seconds, or nothing when no update is due.
    // The text starts with a carriage return and covers the whole previous line.
    std::optional<std::string> Update(double elapsed, double position);
    // What clears the line at the end; empty when none was shown.
    std::string Finish();

    // "0:05", "12:34", "1:02:03".
    static std::string Clock(double seconds);

private:
    double duration_;
    double lastShown_ = 0;
    size_t shownWidth_ = 0;
};

// The line on stderr for one decode of input; the read loop only reports the samples it has passed on.
class ProgressLine {
public:
    ProgressLine(const DecodeOptions &options, const std::string &input);
    ~ProgressLine() { Finish(); }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // samples: how many more samples at the processing rate went through the decoder.
    void Advance(uint32_t samples);
    void Finish();

private:
    std::optional<ProgressMeter> meter_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    uint32_t rate_;
    uint64_t samples_ = 0;
};

// Seconds of audio in a WAV file, every section counted; 0 when it cannot be read.
double WavSeconds(const std::string &path);

} // namespace sirrel
