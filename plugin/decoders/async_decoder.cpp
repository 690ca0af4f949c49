#include "decoders/async_decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace sirrel {

namespace {

// Whole samples per bit, rounded half up; nonsense gives 0, which decodes nothing.
int32_t RoundedSamplesPerBit(double samplesPerBit)
{
    const double rounded = samplesPerBit + 0.5;
    if (!(rounded >= 1.0))
        return 0;
    if (rounded >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return int32_t(rounded);
}

int32_t DataBitsOf(int32_t mode) { return mode == kModeIta2 ? 5 : mode == kModeIra ? 7 : 8; }

} // namespace

void AsyncDecoder::Configure(const DecoderParams &params)
{
    SetDataBits(DataBitsOf(params.mode));
    SetSamplesPerBit(RoundedSamplesPerBit(params.samplesPerBit));
    SetInversionMask(params.inversionMask);
    SetParity(params.Async().parity);
}

void AsyncDecoder::Feed(const int16_t *levels, int32_t count)
{
    if (levels) {
        for (int32_t i = 0; i < count;) {
            int32_t end = i + 1;
            while (end < count && levels[end] == levels[i])
                ++end;
            AppendRun(levels[i], end - i);
            i = end;
        }
    }
    Frame();
}

void AsyncDecoder::AppendRun(int32_t level, int32_t length)
{
    Run *runs = Runs();
    if (runCount_ > 0 && runs[runCount_ - 1].level == level) {
        // An endless steady line saturates instead of wrapping into a short run.
        int32_t &last = runs[runCount_ - 1].length;
        last = int32_t(std::min<int64_t>(int64_t(last) + length, std::numeric_limits<int32_t>::max()));
        return;
    }
    if (runCount_ == kMaxRuns)
        DropFront(1);
    if (first_ + runCount_ == int32_t(runs_.size())) {
        std::memmove(runs_.data(), Runs(), sizeof(Run) * size_t(runCount_));
        first_ = 0;
    }
    Runs()[runCount_++] = {length, level};
}

void AsyncDecoder::DropFront(int32_t count)
{
    if (count <= 0)
        return;
    first_ += count;
    runCount_ -= count;
    if (runCount_ == 0)
        first_ = 0;
}

// Groups of run pairs from run 1 on must each span one plausible character (lo..hi samples from start edge to
// start edge); a group that is too long means run 1 is no start bit, so the front run goes and the walk
// starts again. Run 0 is idle time and never counts. Only the first `count` runs are walked.
AsyncDecoder::Alignment AsyncDecoder::Align(int32_t count, int64_t lo, int64_t hi) const
{
    for (int32_t front = 0;; ++front) {
        const Run *runs = Runs() + front;
        const int32_t n = count - front;
        bool fits = true;
        bool whole = false;
        int32_t j = 1;
        while (fits && j < n - 2) {
            int64_t sum = 0;
            do {
                sum += int64_t(runs[j].length) + runs[j + 1].length;
                j += 2;
            } while (sum < lo && j < n - 2);
            fits = sum <= hi;
            whole = whole || sum >= lo;
        }
        if (fits)
            return {front, whole};
    }
}

void AsyncDecoder::Finish() { Frame(true); }

void AsyncDecoder::Frame(bool endOfStream)
{
    const int32_t d = dataBits_;
    const int32_t s = samplesPerBit_;
    if (d < 1 || d > 8 || s < 1)
        return;
    int64_t lo = int64_t((d + 1.9) * s);
    int64_t hi = int64_t((d + 3.1) * s);
    if (parity_) {
        lo += s;
        hi += s;
    }
    // A steady line longer than any character is a pause: the text before it is complete. Without this the
    // characters still waiting for more runs would be aligned away as soon as the next transmission arrives.
    for (int32_t pause = FindPause(hi, 1); pause > 0;)
        pause = FindPause(hi, FramePause(pause, lo, hi));
    if (!endOfStream && runCount_ < 4 * d + 20)
        return;
    FrameRuns(lo, hi, endOfStream);
}

int32_t AsyncDecoder::FindPause(int64_t hi, int32_t from) const
{
    for (int32_t j = from; j < runCount_; ++j) {
        if (Runs()[j].length > hi)
            return j;
    }
    return 0;
}

void AsyncDecoder::FrameRuns(int64_t lo, int64_t hi, bool endOfStream)
{
    const int32_t front = Align(runCount_, lo, hi).front;
    // The newest run may still grow, and the one before it is not certain, unless the line has ended.
    const int32_t n = runCount_ - front;
    const Decoding decoding = Decode(front, endOfStream ? n : n - 2, false, false);
    int32_t end = decoding.end;
    // The newest character is complete but its stop instant lies in the runs not examined yet.
    if (decoding.bits == BitsPerCharacter())
        end = decoding.next;
    if (decoding.delivered > 0)
        inStep_ = true;
    else if (front > 0)
        inStep_ = false;
    DropFront(front + end);
}

int32_t AsyncDecoder::FramePause(int32_t pause, int64_t lo, int64_t hi)
{
    // Only text is released: runs that follow delivered characters, or that hold a whole character of this
    // bit length themselves and read every start and stop bit at its level. Anything else stays: noise is
    // dropped by the alignment once the pause is among the runs it walks, and a "pause" that was only a long
    // run read with a bit length still settling on a new signal is framed with the bit length found by then.
    const Alignment alignment = Align(pause + 1, lo, hi);
    const int32_t front = alignment.front;
    const int32_t last = pause - front + 1;
    if (!inStep_ && (!alignment.wholeCharacter || Decode(front, last, true, true).misframed > 0))
        return pause + 1;
    // The last character's stop bit runs into the pause, but no character starts in it.
    inStep_ = Decode(front, last, true, false).delivered > 0;
    DropFront(pause);
    return 1;
}

// The decoding pass over runs 1 .. last - 1 from `front` on. Run 1 is a start bit. Runs alternate, so the flag
// v says "start level" (0) or "stop level" (1) whatever the line's polarity; each bit is sampled half a bit
// after its nominal edge. Before a pause no character starts in the last run, and a character counts only when
// its start and stop bits read at their levels (the others are misframed); a dry run delivers nothing.
AsyncDecoder::Decoding AsyncDecoder::Decode(int32_t front, int32_t last, bool beforePause, bool dryRun)
{
    const Run *runs = Runs() + front;
    const int32_t d = dataBits_;
    const int32_t s = samplesPerBit_;
    const int32_t bitsPerCharacter = BitsPerCharacter();
    const int32_t half = s / 2;
    const uint32_t mask = (1u << d) - 1;
    int32_t k = 0;
    int64_t t = 0;
    uint32_t r = 0;
    uint32_t v = 0;
    uint32_t start = 0;
    uint8_t character = 0;
    int32_t end = 0;
    int32_t delivered = 0;
    int32_t misframed = 0;
    int32_t j = 1;
    for (; j < last; ++j) {
        if (beforePause && j == last - 1 && k == 0)
            break;
        t += runs[j].length;
        while (int64_t(k) * s + half <= t) {
            ++k;
            if (k == 1)
                start = v;
            r = (r >> 1) | (v << d);
            if (k == bitsPerCharacter) {
                if (!parity_)
                    r >>= 1; // drop the start bit; with parity it already fell out, the parity bit is masked
                r = (r ^ uint32_t(inversionMask_)) & mask;
                character = uint8_t(r);
                if (!beforePause) {
                    Deliver({0, character});
                    ++delivered;
                }
            } else if (beforePause && k == bitsPerCharacter + 1) {
                if (start != 0 || v != 1) {
                    ++misframed;
                } else {
                    if (!dryRun)
                        Deliver({0, character});
                    ++delivered;
                }
            }
        }
        if (k >= bitsPerCharacter + 1) {
            k = 0;
            t = 0;
            end = j;
        }
        v ^= 1;
    }
    return {end, j, k, delivered, misframed};
}

} // namespace sirrel
