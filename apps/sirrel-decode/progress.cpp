#include "progress.h"

#include <unistd.h>

#include <algorithm>

#include "audio/wav_file.h"

namespace sirrel {

bool ProgressMeter::Wanted(bool quiet, bool stderrTerminal, bool stdoutTerminal, double durationSeconds)
{
    return !quiet && stderrTerminal && !stdoutTerminal && durationSeconds > kMinDuration;
}

std::string ProgressMeter::Clock(double seconds)
{
    const long whole = seconds > 0 ? long(seconds) : 0;
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::optional<std::string> ProgressMeter::Update(double elapsed, double position)
{
    if (elapsed - lastShown_ < kInterval)
        return std::nullopt;
    lastShown_ = elapsed;
    position = std::min(position, duration_);
    char text[128];
    std::snprintf(text, sizeof text, "%s / %s  %3d%%  %.1fx real time", Clock(position).c_str(),
                  Clock(duration_).c_str(), int(100 * position / duration_), position / elapsed);
    std::string line = text;
    const size_t width = line.size();
    if (width < shownWidth_)
        line += std::string(shownWidth_ - width, ' ');
    shownWidth_ = width;
    return "\r" + line;
}

std::string ProgressMeter::Finish()
{
    if (shownWidth_ == 0)
        return "";
    std::string blank = "\r" + std::string(shownWidth_, ' ') + "\r";
    shownWidth_ = 0;
    return blank;
}

double WavSeconds(const std::string &path)
{
    WavFile file;
    if (!file.OpenRead(path.c_str(), 0, true) || file.Kind() == WavFile::kNone)
        return 0;
    double seconds = 0;
    do {
        if (file.FrameBytes() > 0 && file.Rate() > 0)
            seconds += double(file.DataLength() / file.FrameBytes()) / file.Rate();
    } while (file.NextSection());
    return seconds;
}

ProgressLine::ProgressLine(const DecodeOptions &options, const std::string &input) : rate_(options.processingRate)
{
    if (input == "-" || options.quiet || !isatty(STDERR_FILENO))
        return;
    const double duration = WavSeconds(input);
    if (ProgressMeter::Wanted(options.quiet, true, isatty(STDOUT_FILENO), duration))
        meter_.emplace(duration);
}

void ProgressLine::Advance(uint32_t samples)
{
    if (!meter_)
        return;
    samples_ += samples;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (std::optional<std::string> line = meter_->Update(elapsed, double(samples_) / rate_)) {
        std::fputs(line->c_str(), stderr);
        std::fflush(stderr);
    }
}

void ProgressLine::Finish()
{
    if (!meter_)
        return;
    std::fputs(meter_->Finish().c_str(), stderr);
    std::fflush(stderr);
    meter_.reset();
}

} // namespace sirrel
