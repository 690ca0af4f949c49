#include "decoders/soft_async_decoder.h"

#include <algorithm>
#include <cmath>

namespace sirrel {

namespace {

// A bit is read over its middle three tenths: the demodulator's own sum already spreads each bit over its
// neighbours.
constexpr double kCentre = 0.35;
// Fits within this much (in levels) of the best are as good as the best.
constexpr double kFitTie = 0.01;
// While searching, a start bit must lean this far (in levels) to the start level before its frame is fitted.
constexpr double kStartLevel = 0.3;
// A frame is fitted over this many bits after the first sign of a start bit.
constexpr double kAcquireWindow = 0.5;
// With a known period the next start is looked for this many bits either side of the prediction.
constexpr double kLockWindow = 0.4;
// The flywheel moves a bit of the way toward each fitted start, and the period less still, so that one noisy
// character cannot pull the timing of the next ones.
constexpr double kPull = 0.5;
constexpr double kPeriodFollow = 0.1;
// A stop bit this far (in levels) toward the start level is no stop bit: the frame is wrong.
constexpr double kStopReject = 0.5;
// Start to start of steady text: one stop bit at least, two and a half bits at most.
constexpr double kMinGap = -0.4;
constexpr double kMaxGap = 1.1;
constexpr double kLevelFollow = 0.05;
constexpr double kQualityFollow = 0.1;
// The other polarity must fit this much better before it delivers: no flapping on a few noisy frames.
constexpr double kSwitchMargin = 0.15;
// Samples no framer needs any more are dropped in chunks of at least this many.
constexpr int64_t kDropChunk = 4096;
// Codes held back while the polarity is open; a line that stays open this long is no text.
constexpr size_t kMaxHeld = 64;

// Half away from zero as std::lround, without its library call: the frame search rounds millions of times.
int64_t Round(double x) { return int64_t(x < 0.0 ? x - 0.5 : x + 0.5); }

int32_t DataBitsOf(int32_t mode) { return mode == kModeIta2 ? 5 : mode == kModeIra ? 7 : 8; }

} // namespace

void SoftAsyncDecoder::Configure(const DecoderParams &params)
{
    SetGeometry(DataBitsOf(params.mode), params.samplesPerBit, params.Async().parity);
    SetInversionMask(params.inversionMask);
}

void SoftAsyncDecoder::SetGeometry(int32_t dataBits, double samplesPerBit, int32_t parity)
{
    const int32_t p = parity ? 1 : 0;
    if (dataBits != dataBits_ || p != parity_) {
        dataBits_ = dataBits;
        parity_ = p;
        samplesPerBit_ = samplesPerBit;
        Reset();
    } else if (samplesPerBit != samplesPerBit_) {
        // A measured bit rate that moves keeps the samples and the polarity; only the period is new.
        samplesPerBit_ = samplesPerBit;
        for (Framer &f : framers_) {
            f.locked = false;
            f.period = 0.0;
        }
    }
}

void SoftAsyncDecoder::Reset()
{
    prefix_.assign(1, 0);
    base_ = 0;
    level_ = 0.0;
    framers_[0] = Framer(1);
    framers_[1] = Framer(-1);
    selected_ = -1;
}

double SoftAsyncDecoder::Mean(double from, double to) const
{
    const int64_t a = Round(from) - base_;
    const int64_t b = Round(to) - base_;
    // What is not held (before the line began, or not yet come) says nothing.
    if (a < 0 || b >= int64_t(prefix_.size()) || b <= a)
        return 0.0;
    return double(prefix_[size_t(b)] - prefix_[size_t(a)]) / double(b - a);
}

double SoftAsyncDecoder::BitMean(double t, int32_t k) const
{
    return Mean(t + (k + kCentre) * samplesPerBit_, t + (k + 1 - kCentre) * samplesPerBit_);
}

double SoftAsyncDecoder::Score(const Framer &f, double t) const
{
    const int32_t stop = dataBits_ + parity_ + 1;
    double score = f.sign * (BitMean(t, stop) - BitMean(t, 0));
    for (int32_t k = 1; k < stop; ++k)
        score += std::abs(BitMean(t, k));
    return score;
}

double SoftAsyncDecoder::BestStart(const Framer &f, double from, double to) const
{
    // Read at the bit centres, a clean frame fits equally well over a few tenths of a bit: the middle of the
    // starts that fit about best is the start, not the first of them.
    double bestScore = Score(f, from);
    double first = from;
    double last = from;
    for (double t = from + 1.0; t <= to; t += 1.0) {
        const double score = Score(f, t);
        if (score > bestScore + kFitTie * level_) {
            bestScore = score;
            first = t;
            last = t;
        } else if (score >= bestScore - kFitTie * level_) {
            bestScore = std::max(bestScore, score);
            last = t;
        }
    }
    return std::round(0.5 * (first + last));
}

void SoftAsyncDecoder::Feed(const int16_t *soft, int32_t count)
{
    const double s = samplesPerBit_;
    if (dataBits_ < 1 || dataBits_ > 8 || !(s >= 1.0))
        return;
    if (soft) {
        for (int32_t i = 0; i < count; ++i)
            prefix_.push_back(prefix_.back() + soft[i]);
    }
    const int32_t frameBits = dataBits_ + parity_ + 2;
    // The first frame's worth of signal sets the scale, and no character starts in it: the demodulator is
    // still settling there. The frames taken then keep the scale. Silence before it is not kept.
    if (level_ <= 0.0) {
        const auto window = int64_t(frameBits * s);
        const int64_t held = int64_t(prefix_.size()) - 1;
        if (held < window)
            return;
        double sum = 0.0;
        for (size_t j = 1; j <= size_t(window); ++j)
            sum += std::abs(double(prefix_[j] - prefix_[j - 1]));
        level_ = sum / double(window);
        if (level_ <= 0.0) {
            prefix_.erase(prefix_.begin(), prefix_.begin() + (held - window));
            base_ += held - window;
            return;
        }
        for (Framer &f : framers_)
            f.earliest = double(base_ + window);
    }
    for (int32_t i = 0; i < 2; ++i) {
        while (Step(framers_[i], i)) {}
    }
    for (int32_t i = 0; i < 2; ++i) {
        const double other = framers_[1 - i].quality;
        if (selected_ != i && framers_[i].quality > other + kSwitchMargin)
            Select(i);
    }
    DropOld();
}

void SoftAsyncDecoder::Finish()
{
    if (!(samplesPerBit_ >= 1.0))
        return;
    // Silence decides nothing: it ends the last character's search without making one up.
    const std::vector<int16_t> quiet(size_t((dataBits_ + parity_ + 4) * samplesPerBit_), 0);
    Feed(quiet.data(), int32_t(quiet.size()));
    if (selected_ < 0)
        Select(framers_[1].quality > framers_[0].quality ? 1 : 0);
}

void SoftAsyncDecoder::Select(int32_t index)
{
    selected_ = index;
    for (uint8_t code : framers_[index].held)
        Deliver({0, code});
    framers_[0].held.clear();
    framers_[1].held.clear();
}

bool SoftAsyncDecoder::Step(Framer &f, int32_t index)
{
    const double s = samplesPerBit_;
    const int32_t stop = dataBits_ + parity_ + 1;
    const double frame = (stop + 1) * s;
    const double end = BufferEnd();

    if (f.locked) {
        const double predicted = f.lastStart + f.period;
        const double lo = predicted - kLockWindow * s;
        const double hi = predicted + kLockWindow * s;
        if (hi + frame > end)
            return false;
        const double best = BestStart(f, lo, hi);
        // No start bit where one was due: the text paused. Search afresh from there. A start bit that noise
        // only weakened still stands below its stop bit.
        const double startMean = f.sign * BitMean(best, 0);
        if (startMean > kStartLevel * level_ || startMean >= f.sign * BitMean(best, stop)) {
            f.locked = false;
            f.earliest = lo;
            return true;
        }
        if (f.sign * BitMean(best, stop) < -kStopReject * level_ && startMean > -kStartLevel * level_) {
            f.locked = false;
            f.earliest = best + s;
            f.quality -= kQualityFollow * (1.0 + f.quality);
            return true;
        }
        // A fit at the window's edge is a start that moved (a short pause), not noise on a steady one.
        const bool moved = best <= lo + 1.0 || best >= hi - 1.0;
        Accept(f, index, best, moved ? best : predicted + kPull * (best - predicted));
        return true;
    }

    for (double t = std::max(f.earliest, double(base_)); t + (kAcquireWindow * s) + frame <= end; t += 1.0) {
        if (f.sign * BitMean(t, 0) >= -kStartLevel * level_ || f.sign * BitMean(t, -1) <= -kStartLevel * level_)
            continue;
        const double best = BestStart(f, t, t + kAcquireWindow * s);
        // A start bit follows a stop bit or idle, and a stop bit is no start level.
        if (f.sign * BitMean(best, -1) <= 0.0 || f.sign * BitMean(best, stop) < -kStopReject * level_ ||
            f.sign * BitMean(best, 0) >= 0.0) {
            t = best;
            continue;
        }
        Accept(f, index, best, best);
        return true;
    }
    f.earliest = std::max(end - (kAcquireWindow * s) - frame, f.earliest);
    return false;
}

void SoftAsyncDecoder::Accept(Framer &f, int32_t index, double found, double used)
{
    const double s = samplesPerBit_;
    const int32_t stop = dataBits_ + parity_ + 1;
    const double minPeriod = (stop + 1 + kMinGap) * s;
    const double maxPeriod = (stop + 1 + kMaxGap) * s;

    // Start to start of two frames in a row gives the period; the flywheel then only follows it slowly.
    const double interval = found - f.lastStart;
    if (f.locked) {
        f.period = std::clamp(f.period + kPeriodFollow * (found - (f.lastStart + f.period)), minPeriod, maxPeriod);
    } else if (f.lastStart >= 0.0 && interval >= minPeriod && interval <= maxPeriod) {
        f.period = interval;
        f.locked = true;
    }
    f.lastStart = used;
    f.earliest = used + minPeriod;

    uint32_t code = 0;
    double confidence = 0.0;
    for (int32_t k = 0; k < dataBits_; ++k) {
        const double v = f.sign * BitMean(used, 1 + k);
        confidence += std::abs(v);
        if (v > 0.0)
            code |= 1u << k;
    }
    level_ += kLevelFollow * (confidence / dataBits_ - level_);
    const double fit = std::min(-f.sign * BitMean(found, 0), f.sign * BitMean(found, stop)) / level_;
    f.quality += kQualityFollow * (std::clamp(fit, -1.0, 1.0) - f.quality);

    const auto value = uint8_t((code ^ uint32_t(inversionMask_)) & ((1u << dataBits_) - 1));
    if (index == selected_)
        Deliver({0, value});
    else if (selected_ < 0 && f.held.size() < kMaxHeld)
        f.held.push_back(value);
}

void SoftAsyncDecoder::DropOld()
{
    const double s = samplesPerBit_;
    double keep = BufferEnd();
    for (const Framer &f : framers_)
        keep = std::min(keep, f.locked ? f.lastStart + f.period - kLockWindow * s : f.earliest);
    const int64_t drop = int64_t(std::floor(keep)) - 1 - base_;
    if (drop < kDropChunk)
        return;
    prefix_.erase(prefix_.begin(), prefix_.begin() + drop);
    base_ += drop;
}

} // namespace sirrel
