// AsyncDecoder: start/stop framing for ITA2 (5 data bits), IRA (7) and 8-bit text. It keeps the line as runs
// of equal level and frames characters from the run lengths alone, so it needs no bit clock and does not care
// which level is the start bit's. Text that ends in a pause (a steady line longer than a character) comes out
// when the pause begins, without waiting for the runs that the framing otherwise collects first.
#pragma once

#include <array>
#include <cstdint>

#include "decoders/decoder.h"

namespace sirrel {

class AsyncDecoder final : public Decoder {
public:
    static constexpr int32_t kMaxRuns = 256;

    struct Run {
        int32_t length; // consecutive samples
        int32_t level;
    };

    // Data bits from the mode (5, 7, 8), whole samples per bit rounded half up, mask and parity.
    void Configure(const DecoderParams &params) override;
    // Appends the levels to the runs, then frames once (also for an empty block).
    void Feed(const int16_t *levels, int32_t count) override;
    // The audio has ended: frames what is left, the newest runs and a short tail included.
    void Finish() override;
    void Reset() override
    {
        first_ = 0;
        runCount_ = 0;
        inStep_ = false;
    }

    void SetDataBits(int32_t bits) { dataBits_ = bits; }
    void SetSamplesPerBit(int32_t samples) { samplesPerBit_ = samples; }
    void SetInversionMask(int32_t mask) { inversionMask_ = mask; }
    void SetParity(int32_t parity) { parity_ = parity; } // non-zero: one parity bit follows the data

    int32_t DataBits() const { return dataBits_; }
    int32_t SamplesPerBit() const { return samplesPerBit_; }
    int32_t RunCount() const { return runCount_; }
    const Run &RunAt(int32_t index) const { return runs_[size_t(first_ + index)]; }

private:
    // length >= 1 samples of one level.
    void AppendRun(int32_t level, int32_t length);
    // What a decoding pass left: the run where the last finished character ended (0: none), the run it
    // stopped at, the bits sampled of the character in progress and the characters delivered.
    struct Decoding {
        int32_t end;
        int32_t next;
        int32_t bits;
        int32_t delivered;
        int32_t misframed;
    };
    // The run that the alignment takes as idle time, and whether a whole character fitted after it.
    struct Alignment {
        int32_t front;
        bool wholeCharacter;
    };

    void Frame(bool endOfStream = false);
    // Index of the first run that still lies within a plausible character, from the front, among the first
    // `count` runs.
    Alignment Align(int32_t count, int64_t lo, int64_t hi) const;
    // The first run from run `from` on that is longer than any character (0: none).
    int32_t FindPause(int64_t hi, int32_t from) const;
    void FrameRuns(int64_t lo, int64_t hi, bool endOfStream);
    // Frames the runs before the pause at index `pause` as a finished text when they are text, and the pause
    // becomes run 0; runs that are not text stay for the framing of the whole run list. Returns the run from
    // which to look for the next pause.
    int32_t FramePause(int32_t pause, int64_t lo, int64_t hi);
    Decoding Decode(int32_t front, int32_t last, bool beforePause, bool dryRun);
    int32_t BitsPerCharacter() const { return dataBits_ + 1 + (parity_ ? 1 : 0); }
    void DropFront(int32_t count);
    Run *Runs() { return runs_.data() + first_; }
    const Run *Runs() const { return runs_.data() + first_; }

    // The list is runs_[first_ .. first_ + runCount_); dropping from the front only moves first_, and the list
    // goes back to the start of the storage once it reaches the end, so a full list costs no move per run.
    std::array<Run, 4 * kMaxRuns> runs_{};
    int32_t first_ = 0;
    int32_t runCount_ = 0;
    int32_t dataBits_ = 5;
    int32_t inversionMask_ = 0;
    int32_t samplesPerBit_ = 10;
    int32_t parity_ = 0;
    // Run 0 ends a character that was delivered, or is a pause after one: what follows is text in step.
    bool inStep_ = false;
};

} // namespace sirrel
