#include "decoders/async_decoder.h"

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
        for (int32_t i = 0; i < count; ++i)
            AppendLevel(levels[i]);
    }
    Frame();
}

void AsyncDecoder::AppendLevel(int32_t level)
{
    Run *runs = Runs();
    if (runCount_ > 0 && runs[runCount_ - 1].level == level) {
        // An endless steady line saturates instead of wrapping into a short run.
        if (runs[runCount_ - 1].length < std::numeric_limits<int32_t>::max())
            ++runs[runCount_ - 1].length;
        return;
    }
    if (runCount_ == kMaxRuns)
        DropFront(1);
    if (first_ + runCount_ == int32_t(runs_.size())) {
        std::memmove(runs_.data(), Runs(), sizeof(Run) * size_t(runCount_));
        first_ = 0;
    }
    Runs()[runCount_++] = {1, level};
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
// starts again. Run 0 is idle time and never counts.
int32_t AsyncDecoder::Align(int64_t lo, int64_t hi) const
{
    for (int32_t front = 0;; ++front) {
        const Run *runs = Runs() + front;
        const int32_t n = runCount_ - front;
        bool fits = true;
        int32_t j = 1;
        while (fits && j < n - 2) {
            int64_t sum = 0;
            do {
                sum += int64_t(runs[j].length) + runs[j + 1].length;
                j += 2;
            } while (sum < lo && j < n - 2);
            fits = sum <= hi;
        }
        if (fits)
            return front;
    }
}

void AsyncDecoder::Finish() { Frame(true); }

void AsyncDecoder::Frame(bool endOfStream)
{
    const int32_t d = dataBits_;
    const int32_t s = samplesPerBit_;
    if (d < 1 || d > 8 || s < 1 || (!endOfStream && runCount_ < 4 * d + 20))
        return;

    int64_t lo = int64_t((d + 1.9) * s);
    int64_t hi = int64_t((d + 3.1) * s);
    if (parity_) {
        lo += s;
        hi += s;
    }
    const int32_t front = Align(lo, hi);
    const Run *runs = Runs() + front;
    const int32_t n = runCount_ - front;

    // Run 1 is a start bit. Runs alternate, so the flag v says "start level" (0) or "stop level" (1) whatever
    // the line's polarity; each bit is sampled half a bit after its nominal edge.
    const int32_t bitsPerCharacter = d + 1 + (parity_ ? 1 : 0);
    const int32_t half = s / 2;
    const uint32_t mask = (1u << d) - 1;
    int32_t k = 0;
    int64_t t = 0;
    uint32_t r = 0;
    uint32_t v = 0;
    int32_t end = 0;
    int32_t j = 1;
    // The newest run may still grow, and the one before it is not certain, unless the line has ended.
    const int32_t last = endOfStream ? n : n - 2;
    for (; j < last; ++j) {
        t += runs[j].length;
        while (int64_t(k) * s + half <= t) {
            ++k;
            r = (r >> 1) | (v << d);
            if (k == bitsPerCharacter) {
                if (!parity_)
                    r >>= 1; // drop the start bit; with parity it already fell out, the parity bit is masked
                r = (r ^ uint32_t(inversionMask_)) & mask;
                Deliver({0, uint8_t(r)});
            }
        }
        if (k >= bitsPerCharacter + 1) {
            k = 0;
            t = 0;
            end = j;
        }
        v ^= 1;
    }
    // The newest character is complete but its stop instant lies in the runs not examined yet.
    if (k == bitsPerCharacter)
        end = j;
    DropFront(front + end);
}

} // namespace sirrel
