#include "decoders/fec_grid.h"

#include <algorithm>
#include <bit>

#include "decoders/sync_arq_decoder.h"

namespace sirrel {

namespace {

constexpr int32_t kCodeBits = 7;
// Codes in a row that must pass before a grid is taken: a grid shifted by one bit passes about half its codes
// in text, and noise about a quarter, so eight rarely pass by chance.
constexpr int32_t kAcquireCodes = 8;
// Codes in a row that another position must pass before the kept grid, failing at least twice in as many
// codes, moves there; a character and its repetition among them must agree as well. A grid one bit off passes
// about half its codes, so it rarely wins eight in a row; the combiner holds characters back long enough for
// the new grid to read them again.
constexpr int32_t kSwitchCodes = 8;
// Bad codes in a row after which the grid is given up.
constexpr int32_t kLossRun = 6;

constexpr uint32_t LastCodes(int32_t n) { return (uint32_t(1) << n) - 1; }

} // namespace

void FecGrid::Configure(int32_t charset, int32_t inversionMask, int32_t polarityMode)
{
    charset_ = charset;
    mask_ = inversionMask & 0xFF;
    polarityMode_ = polarityMode;
}

void FecGrid::SetPhasing(int32_t dxPhasing, int32_t rxPhasing)
{
    dxPhasing_ = dxPhasing;
    rxPhasing_ = rxPhasing;
}

void FecGrid::Reset()
{
    bitCount_ = 0;
    history_.fill(0);
    dxSeen_.fill(0);
    rxSeen_.fill(0);
    locked_ = false;
    invalidRun_ = 0;
    lastEnd_ = -1;
}

int32_t FecGrid::CodeAt(int64_t end, int32_t flip) const
{
    int32_t code = 0;
    for (int32_t k = 0; k < kCodeBits; ++k)
        code |= int32_t(ring_[size_t((end - (kCodeBits - 1) + k) % kRingBits)] != flip) << k;
    return code ^ mask_;
}

bool FecGrid::Allowed(int32_t flip) const
{
    return polarityMode_ == SyncArqDecoder::kPolarityAuto ||
           (flip == 1) == (polarityMode_ == SyncArqDecoder::kPolarityReversed);
}

FecCombiner::Soft FecGrid::SoftAt(int64_t end, int32_t flip) const
{
    const int32_t code = CodeAt(end, flip);
    FecCombiner::Soft soft{};
    for (int32_t k = 0; k < kCodeBits; ++k) {
        const int16_t sure = confidence_[size_t((end - (kCodeBits - 1) + k) % kRingBits)];
        soft[size_t(k)] = int16_t((code >> k & 1) ? sure : -sure);
    }
    return soft;
}

void FecGrid::PutBit(int8_t bit, int16_t confidence, FecCombiner &slots)
{
    ring_[size_t(bitCount_ % kRingBits)] = bit;
    confidence_[size_t(bitCount_ % kRingBits)] = confidence;
    const int64_t end = bitCount_++;
    if (bitCount_ < kCodeBits)
        return;
    const int32_t phase = int32_t(end % kCodeBits);
    for (int32_t flip = 0; flip < 2; ++flip) {
        const int32_t code = CodeAt(end, flip);
        const bool valid = Allowed(flip) && SyncArqDecoder::Checks(charset_, code);
        uint32_t &history = History(phase, flip);
        history = (history << 1) | uint32_t(valid);
        uint32_t &dx = dxSeen_[size_t(phase * 2 + flip)];
        uint32_t &rx = rxSeen_[size_t(phase * 2 + flip)];
        dx = (dx << 1) | uint32_t(valid && code == dxPhasing_);
        rx = (rx << 1) | uint32_t(valid && code == rxPhasing_);
    }

    if (locked_) {
        if (phase != lockPhase_) {
            TrySwitch(end, phase, slots);
            return;
        }
        Deliver(end, slots);
        // Noise passes about a quarter of its codes, so a thin grid is lost even without a long bad run.
        // What waits is shown at once, as the next stream may be far off; a new grid starts a new stream.
        if (invalidRun_ >= kLossRun || std::popcount(History(lockPhase_, lockFlip_) & 0xFF) <= 2) {
            locked_ = false;
            slots.Flush();
            lastEnd_ = -1;
        }
        return;
    }
    TryLock(end, phase, slots);
}

void FecGrid::TryLock(int64_t end, int32_t phase, FecCombiner &slots)
{
    for (int32_t flip = 0; flip < 2; ++flip) {
        if ((History(phase, flip) & LastCodes(kAcquireCodes)) != LastCodes(kAcquireCodes))
            continue;
        locked_ = true;
        lockPhase_ = phase;
        lockFlip_ = flip;
        invalidRun_ = 0;
        for (int32_t i = kAcquireCodes - 1; i >= 0; --i)
            Deliver(end - int64_t(kCodeBits) * i, slots);
        return;
    }
}

void FecGrid::TrySwitch(int64_t end, int32_t phase, FecCombiner &slots)
{
    const uint32_t bad = ~History(lockPhase_, lockFlip_) & LastCodes(kSwitchCodes);
    const size_t kept = size_t(lockPhase_ * 2 + lockFlip_);
    const bool keptPhasing = ((dxSeen_[kept] | rxSeen_[kept]) & LastCodes(kSwitchCodes)) != 0;
    for (int32_t flip = 0; flip < 2; ++flip) {
        if ((History(phase, flip) & LastCodes(kSwitchCodes)) != LastCodes(kSwitchCodes))
            continue;
        // During phasing the grids one bit early and late check as well as the true one, but only the true
        // one reads both phasing signals in turn (a repeated letter can read as one of them on a shifted grid).
        const size_t c = size_t(phase * 2 + flip);
        const bool phasingShowsIt = !keptPhasing && std::popcount(dxSeen_[c] & LastCodes(kSwitchCodes)) >= 3 &&
                                    std::popcount(rxSeen_[c] & LastCodes(kSwitchCodes)) >= 3;
        if (!phasingShowsIt && (std::popcount(bad) < 2 || !CopiesAgree(end, flip)))
            continue;
        lockPhase_ = phase;
        lockFlip_ = flip;
        invalidRun_ = 0;
        // A slipped grid went wrong at or before its oldest recent bad code, and the new grid's run of good
        // codes began at or before the slip: the new grid reads the slots again from halfway between. A grid
        // that never failed but read no phasing signals was wrong all along.
        const int32_t oldestBad = std::bit_width(bad) - 1;
        const int32_t run = std::countr_one(History(phase, flip));
        const int32_t wrongSince =
            phasingShowsIt ? FecCombiner::kShowDelay : std::max(oldestBad, (run + oldestBad) / 2);
        for (int32_t i = kSwitchCodes - 1; i >= 0; --i)
            Deliver(end - int64_t(kCodeBits) * i, slots, wrongSince);
        return;
    }
}

bool FecGrid::CopiesAgree(int64_t end, int32_t flip) const
{
    for (int32_t i = kSwitchCodes - 1; i >= FecCombiner::kDelay; --i) {
        const int32_t code = CodeAt(end - int64_t(kCodeBits) * i, flip);
        if (code != dxPhasing_ && code != rxPhasing_ &&
            code == CodeAt(end - int64_t(kCodeBits) * (i - FecCombiner::kDelay), flip))
            return true;
    }
    return false;
}

void FecGrid::Deliver(int64_t end, FecCombiner &slots, int32_t maxBack)
{
    const int32_t code = CodeAt(end, lockFlip_);
    const bool valid = SyncArqDecoder::Checks(charset_, code);
    const int64_t gap = end - lastEnd_;
    // A code that mostly overlaps one already delivered is a new reading of that slot, where it is not shown
    // yet.
    if (lastEnd_ >= 0 && gap < 4) {
        const int32_t back = int32_t((3 - gap) / kCodeBits);
        if (back <= maxBack)
            slots.Replace(back, code, valid, SoftAt(end, lockFlip_));
        return;
    }
    slots.Push(code, valid, SoftAt(end, lockFlip_));
    lastEnd_ = end;
    invalidRun_ = valid ? 0 : invalidRun_ + 1;
}

} // namespace sirrel
