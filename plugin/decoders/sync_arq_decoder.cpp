#include "decoders/sync_arq_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "decoders/character_sets.h"

namespace sirrel {

namespace {

constexpr int32_t kAllCodeBits = 0x7F;

// Noise's codes seldom check; a signal read through noise has at least half of them right.
bool MostlySignal(int64_t checked, int64_t codes) { return 2 * checked >= codes; }
// Blocks read with confidence between two whole ones of the same timing are signal unless they check no more
// often than noise's (about 27 %).
bool SignalBetweenWhole(int64_t checked, int64_t codes) { return 3 * checked >= codes; }

int64_t ClampToInt32(int64_t value)
{
    return std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

// The synchronous decoders know three character sets and three polarity modes; anything else is the last.
int32_t SyncCharset(int32_t index) { return index == 0 || index == 1 ? index : SyncArqDecoder::kIta2P; }
int32_t SyncPolarity(int32_t polarity)
{
    return polarity == 0 || polarity == 1 ? polarity : SyncArqDecoder::kPolarityReversed;
}

} // namespace

void SyncArqDecoder::ConfigureCommon(int32_t charset, const DecoderParams &params, int32_t invertingRate)
{
    SetCharset(SyncCharset(charset));
    SetInversionMask(params.inversionMask);
    SetInvertingRate(invertingRate);
    SetPolarityMode(SyncPolarity(params.polarity));
}

bool SyncArqDecoder::Checks(int32_t charset, int32_t code)
{
    if (charset != kIta2P)
        return std::popcount(uint32_t(code & kAllCodeBits)) == 3;
    if ((std::popcount(uint32_t(code & 0xFF)) & 1) == 0)
        return false;
    return Ita2PKnownCode(code);
}

void SyncArqDecoder::Configure(const DecoderParams &params)
{
    const ArqParams arq = params.Arq();
    ConfigureCommon(arq.charset, params, arq.invertingRate);
    SetCharsInCycle(arq.charsInCycle);
    SetCycleLength(arq.cycleLength);
    SetKeepTiming(params.options.arqCorrection);
}

void SyncArqDecoder::Reset()
{
    gapCount_ = 0;
    bitCount_ = 0;
    bitsSeen_ = 0;
    shownThrough_ = 0;
    pastBits_.clear();
    pastConfidence_.clear();
    pastStart_ = 0;
    invertCounter_ = 0;
    skipBits_ = 0;
    flywheelCycles_ = 0;
    GiveUpTiming();
}

void SyncArqDecoder::SetKeepTiming(bool on)
{
    if (on == keepTiming_)
        return;
    keepTiming_ = on;
    if (!on && kept_) {
        ShowHeld();
        GiveUpTiming();
    }
}

int32_t SyncArqDecoder::SetCharsInCycle(int32_t n)
{
    const int64_t block = int64_t(n) * kCodeBits;
    // The held codes are counted in blocks of the old size.
    if (n != charsInCycle_ && kept_) {
        ShowHeld();
        GiveUpTiming();
    }
    charsInCycle_ = n;
    if (cycleLength_ < block)
        cycleLength_ = BlockLength();
    return n;
}

void SyncArqDecoder::SetCycleLength(int32_t length)
{
    cycleLength_ = int32_t(ClampToInt32(std::max(BlockBits(), int64_t(length))));
}

int32_t SyncArqDecoder::BlockLength() const { return int32_t(ClampToInt32(BlockBits())); }

void SyncArqDecoder::OnCode(int32_t code) { Deliver({0, uint8_t(code)}); }

inline void SyncArqDecoder::Remember(int8_t bit, int16_t confidence)
{
    ++bitsSeen_;
    if (pastBits_.size() == 2 * size_t(kHistoryBits)) {
        pastBits_.erase(pastBits_.begin(), pastBits_.begin() + kHistoryBits);
        pastConfidence_.erase(pastConfidence_.begin(), pastConfidence_.begin() + kHistoryBits);
        pastStart_ += kHistoryBits;
    }
    pastBits_.push_back(bit);
    pastConfidence_.push_back(confidence);
}

inline void SyncArqDecoder::PutBit(int8_t bit, int16_t confidence)
{
    if (flywheelCycles_ > 0 && !kept_ && ++cyclePosition_ >= cycleLength_) {
        cyclePosition_ = 0;
        --flywheelCycles_;
    }
    if (skipBits_ > 0) {
        Remember(bit, confidence);
        gapCount_ = --skipBits_;
        return;
    }
    if (bitCount_ == kBufferBits) {
        Search();
        if (bitCount_ == kBufferBits) {
            Drop(1);
        }
    }
    Remember(bit, confidence);
    confidence_[size_t(bitCount_)] = confidence;
    bits_[bitCount_++] = bit;
    if (kept_) {
        while (kept_ && bitCount_ >= BlockBits() + 2 + 2 * margin_)
            ReadKeptBlock();
        return;
    }
    if (bitCount_ == BlockBits())
        Search();
}

void SyncArqDecoder::Feed(const int16_t *bits, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        PutBit(int8_t(bits[i]), 0);
}

void SyncArqDecoder::FeedSoft(const int16_t *bits, const int16_t *confidence, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        PutBit(int8_t(bits[i]), confidence[i]);
}

int32_t SyncArqDecoder::Assemble(const int8_t *bits, int32_t flip)
{
    int32_t code = 0;
    for (int32_t k = 0; k < kCodeBits; ++k)
        code |= int32_t(bits[k] != flip) << k;
    return code;
}

bool SyncArqDecoder::Trial(int32_t at, int32_t &flip) const
{
    flip = 0;
    int32_t counter = invertCounter_;
    for (int32_t m = 0; m < charsInCycle_; ++m) {
        int32_t x = Assemble(bits_.data() + at + kCodeBits * m, flip);
        x ^= inversionMask_ & 0xFF;
        // The trial counts from the delivered state without the reset codes.
        if (invertingRate_ != 0 && ++counter >= invertingRate_) {
            counter = 0;
            x ^= kAllCodeBits;
        }
        if (charset_ != kIta2P) {
            // Constant-ratio codes: three one-bits of seven, so four means the line is inverted.
            int32_t weight = std::popcount(uint32_t(x & kAllCodeBits));
            if (m == 0 && (polarityMode_ == kPolarityReversed || (polarityMode_ == kPolarityAuto && weight == 4))) {
                flip = 1;
                weight = kCodeBits - weight;
            }
            if (weight != 3)
                return false;
            continue;
        }
        // ITA2-P: odd parity over the eight low bits, so that the mask's bit 7 takes part.
        const bool odd = std::popcount(uint32_t(x & 0xFF)) & 1;
        bool parityPassed = odd;
        if (m == 0 && ((!odd && polarityMode_ != kPolarityNormal) || (odd && polarityMode_ == kPolarityReversed))) {
            flip = 1;
            x ^= kAllCodeBits;
            parityPassed = true;
        }
        if (!parityPassed)
            return false;
        if (!Ita2PKnownCode(x))
            return false;
    }
    return true;
}

int32_t SyncArqDecoder::Decode(const int8_t *bits, int32_t flip, int32_t &counter) const
{
    int32_t x = Assemble(bits, flip);
    // The reset codes are seen as received, after polarity and before mask and inversion.
    if ((charset_ == kIta2P && x == 0x31) || (charset_ == kCcir476 && (x == 0x19 || x == 0x70)))
        counter = 0;
    // "Reaching" the rate includes passing it: a rate lowered below the count inverts at once.
    if (invertingRate_ != 0 && ++counter >= invertingRate_) {
        counter = 0;
        x ^= kAllCodeBits;
    }
    return x ^ inversionMask_;
}

void SyncArqDecoder::Emit(int32_t at, int32_t flip)
{
    for (int32_t m = 0; m < charsInCycle_; ++m) {
        skipBits_ = gapCount_ = int32_t(cycleLength_ - BlockBits());
        OnCode(Decode(bits_.data() + at + kCodeBits * m, flip, invertCounter_));
    }
    shownThrough_ = Absolute(at) + BlockBits();
}

void SyncArqDecoder::Search()
{
    const int64_t block = BlockBits();
    int32_t p = 0;
    // A block of no characters would never advance the search.
    if (block > 0) {
        while (bitCount_ - p >= block) {
            int32_t flip = 0;
            if (!Trial(p, flip)) {
                ++p;
                continue;
            }
            if (KeepingTiming()) {
                sure_ = Confident(p);
                margin_ = HasRoomForMargins() && sure_ ? kCodeBits : 0;
                kept_ = true;
                flywheelCycles_ = 0;
                confirmed_ = false;
                keptFlip_ = flip;
                Keep(p);
                return;
            }
            Emit(p, flip);
            p += int32_t(block);
        }
    }
    Drop(p);
}

int32_t SyncArqDecoder::ReadBlock(Span block, int32_t &counter, std::vector<int32_t> *codes) const
{
    int32_t valid = 0;
    for (int32_t m = 0; m < charsInCycle_; ++m) {
        const int32_t code = Decode(block.bits + kCodeBits * m, keptFlip_, counter);
        const bool checks = Checks(charset_, code);
        valid += checks;
        if (codes)
            codes->push_back(checks ? code : Corrected(block.confidence + kCodeBits * m, code));
    }
    return valid;
}

int32_t SyncArqDecoder::Corrected(const int16_t *confidence, int32_t code) const
{
    // Only the constant-ratio sets can be corrected, and only from the demodulator's confidence in each bit.
    if (charset_ == kIta2P || std::all_of(confidence, confidence + kCodeBits, [](int16_t c) { return c == 0; }))
        return ErrorMark(charset_);
    std::array<int32_t, kCodeBits> towardOne{};
    for (int32_t k = 0; k < kCodeBits; ++k)
        towardOne[size_t(k)] = (code >> k & 1) ? confidence[k] : -confidence[k];
    return (code & ~kAllCodeBits) | LikeliestConstantRatio(towardOne);
}

int32_t SyncArqDecoder::ValidCodes(Span block) const
{
    int32_t counter = invertCounter_;
    return ReadBlock(block, counter, nullptr);
}

bool SyncArqDecoder::Weigh(int32_t &score, int32_t valid) const
{
    const int32_t n = charsInCycle_;
    score = std::min(score + valid * kCheckScore - (n - valid) * kFailScore, kScoreBlocks * n * kCheckScore);
    return score >= 0;
}

void SyncArqDecoder::Keep(int32_t at)
{
    heldStart_.push_back(Absolute(at));
    heldValid_.push_back(ReadBlock(Buffered(at), invertCounter_, &held_));
    // The next block is read with a bit and the margin either side of where it is due.
    const int32_t next = at + cycleLength_ - 1 - margin_;
    if (next >= bitCount_) {
        skipBits_ = gapCount_ = next - bitCount_;
        bitCount_ = 0;
    } else {
        Drop(next);
    }
}

void SyncArqDecoder::Drop(int32_t count)
{
    bitCount_ -= count;
    std::memmove(bits_.data(), bits_.data() + count, size_t(bitCount_));
    std::memmove(confidence_.data(), confidence_.data() + count, size_t(bitCount_) * sizeof(int16_t));
}

void SyncArqDecoder::ReadKeptBlock()
{
    const int32_t n = charsInCycle_;
    const int32_t margin = margin_;
    int32_t at = margin + 1;
    // A slipped bit leaves few codes checking where the block was due and the moved block whole; with one code
    // failing the block stays, since a block read a bit off often checks whole.
    if (MaySlip(ValidCodes(at))) {
        for (int32_t moved : {margin, margin + 2}) {
            if (ValidCodes(moved) == n) {
                at = moved;
                break;
            }
        }
    }
    if (at != margin + 1)
        nearChecks_.Clear();
    else if (sure_ && confirmed_)
        at = FollowSlip(at);
    if (margin != 0 && confirmed_)
        at = WeighNeighbours(at);
    const int32_t valid = ValidCodes(at);
    const bool whole = valid == n;
    if (!confirmed_ && !whole) {
        GiveUpTiming();
        Search();
        return;
    }
    const bool confirming = !confirmed_;
    if (confirming && sure_)
        ReadBack();
    confirmed_ = true;
    recentChecks_[size_t(checkedBlocks_++ % kCompareBlocks)] = valid;
    if (!Weigh(score_, valid)) {
        ShowHeldSignal(false);
        const int32_t sinceBlock = bitCount_ - at;
        GiveUpTiming();
        // The other station's keying in the gap would pull the clock off this station's bits while the timing
        // is searched for again; the gaps stay where they were for a while.
        if (margin != 0) {
            flywheelCycles_ = kFlywheelCycles;
            cyclePosition_ = sinceBlock % cycleLength_;
        }
        Search();
        return;
    }
    Keep(at);
    // Noise confirms a timing now and then: read with confidence, the two blocks and those read back wait for
    // what follows them.
    if (confirming && sure_) {
        unbacked_ = heldValid_.size();
        return;
    }
    if (whole) {
        ShowHeldSignal(true);
        return;
    }
    if (int32_t(heldValid_.size()) > kMaxHeldBlocks) {
        for (int32_t m = 0; m < n; ++m)
            OnCode(held_[size_t(m)]);
        shownThrough_ = heldStart_.front() + BlockBits();
        held_.erase(held_.begin(), held_.begin() + n);
        heldValid_.erase(heldValid_.begin());
        heldStart_.erase(heldStart_.begin());
        unbacked_ -= unbacked_ > 0 ? 1 : 0;
    }
}

void SyncArqDecoder::ReadBack()
{
    // The periodic inversion is counted forwards only.
    if (invertingRate_ != 0 || heldStart_.empty())
        return;
    const int32_t n = charsInCycle_;
    int64_t floor = std::max(shownThrough_, pastStart_);
    if (readBackLimit_ >= 0)
        floor = std::max(floor, bitsSeen_ - readBackLimit_);
    auto past = [this](int64_t from) {
        const size_t i = size_t(from - pastStart_);
        return Span{pastBits_.data() + i, pastConfidence_.data() + i};
    };
    std::vector<int64_t> starts;
    std::vector<int32_t> valid;
    int32_t score = kScoreBlocks * n * kCheckScore;
    for (int64_t at = heldStart_.front() - cycleLength_; at >= floor; at -= cycleLength_) {
        // A slipped bit is followed as when reading on.
        int32_t checks = ValidCodes(past(at));
        if (MaySlip(checks)) {
            for (int64_t moved : {at - 1, at + 1}) {
                if (moved >= floor && ValidCodes(past(moved)) == n) {
                    at = moved;
                    checks = n;
                    break;
                }
            }
        }
        if (!Weigh(score, checks))
            break;
        starts.push_back(at);
        valid.push_back(checks);
    }
    // The oldest blocks that mostly fail are the noise before the transmission.
    while (!valid.empty() && MostlyFails(valid.back())) {
        valid.pop_back();
        starts.pop_back();
    }
    int64_t checked = 0;
    for (int32_t v : valid)
        checked += v;
    if (valid.empty() || !MostlySignal(checked, int64_t(valid.size()) * n))
        return;
    std::vector<int32_t> codes;
    for (size_t b = starts.size(); b-- > 0;) {
        int32_t counter = 0;
        ReadBlock(past(starts[b]), counter, &codes);
    }
    held_.insert(held_.begin(), codes.begin(), codes.end());
    heldValid_.insert(heldValid_.begin(), valid.rbegin(), valid.rend());
    heldStart_.insert(heldStart_.begin(), starts.rbegin(), starts.rend());
}

int32_t SyncArqDecoder::FollowSlip(int32_t at)
{
    if (!nearChecks_.Add([this, at](int32_t r) { return ValidCodes(at + r - 1); }))
        return at;
    for (int32_t r : {0, 2}) {
        if (nearChecks_.Total(r) >= nearChecks_.Total(1) + kSlipLead) {
            nearChecks_.Clear();
            return at + r - 1;
        }
    }
    return at;
}

bool SyncArqDecoder::Confident(int32_t at) const
{
    const int16_t *c = confidence_.data() + at;
    return std::any_of(c, c + BlockBits(), [](int16_t value) { return value != 0; });
}

int32_t SyncArqDecoder::WeighNeighbours(int32_t at)
{
    // Read on this station's clock, the other station's keying is doubtful; a reading that takes it for a code
    // is less sure than the one a code over.
    auto sureness = [this](int32_t from) {
        int64_t sum = 0;
        for (int32_t k = 0; k < BlockBits(); ++k)
            sum += confidence_[size_t(from + k)];
        return sum;
    };
    if (!recentSureness_.Add([&sureness, at](int32_t r) { return sureness(at + (r - 1) * kCodeBits); }))
        return at;
    const int64_t kept = recentSureness_.Total(1);
    for (int32_t r : {0, 2}) {
        if (recentSureness_.Total(r) * kSwitchShare > kept * (kSwitchShare + 1)) {
            recentSureness_.Clear();
            nearChecks_.Clear();
            return at + (r - 1) * kCodeBits;
        }
    }
    return at;
}

int32_t SyncArqDecoder::RecentChecks() const
{
    if (!TimingConfirmed() || checkedBlocks_ < kCompareBlocks)
        return -1;
    int32_t sum = 0;
    for (int32_t checks : recentChecks_)
        sum += checks;
    return sum;
}

void SyncArqDecoder::GiveUpTiming()
{
    recentSureness_.Clear();
    nearChecks_.Clear();
    checkedBlocks_ = 0;
    kept_ = false;
    confirmed_ = false;
    unbacked_ = 0;
    score_ = 0;
    held_.clear();
    heldValid_.clear();
    heldStart_.clear();
}

void SyncArqDecoder::ShowHeld()
{
    for (int32_t code : held_)
        OnCode(code);
    if (!heldStart_.empty())
        shownThrough_ = heldStart_.back() + BlockBits();
    held_.clear();
    heldValid_.clear();
    heldStart_.clear();
}

void SyncArqDecoder::ShowHeldSignal(bool wholeLast)
{
    const size_t n = size_t(charsInCycle_);
    // The blocks before a whole last one; at the end of a signal, all but the blocks that mostly fail (the
    // noise after a transmission).
    size_t judged = heldValid_.size() - (wholeLast ? 1 : 0);
    if (!wholeLast) {
        while (judged > 0 && MostlyFails(heldValid_[judged - 1]))
            --judged;
    }
    // The unbacked blocks show with a whole last block, or with the blocks after them when those are signal.
    const size_t from = std::min(unbacked_, judged);
    int64_t valid = 0;
    for (size_t b = from; b < judged; ++b)
        valid += heldValid_[b];
    const int64_t codes = int64_t((judged - from) * n);
    bool between = wholeLast && sure_ ? SignalBetweenWhole(valid, codes) : MostlySignal(valid, codes);
    // Noise after a false start checks now and then: the blocks after the unbacked ones must be two at least.
    if (from > 0 && !wholeLast && judged < from + 2)
        between = false;
    if (wholeLast || between) {
        for (size_t i = 0; i < from * n; ++i)
            OnCode(held_[i]);
        if (from > 0)
            shownThrough_ = heldStart_[from - 1] + BlockBits();
    }
    if (between) {
        for (size_t i = from * n; i < judged * n; ++i)
            OnCode(held_[i]);
        if (judged > from)
            shownThrough_ = heldStart_[judged - 1] + BlockBits();
    }
    if (wholeLast) {
        for (size_t i = judged * n; i < held_.size(); ++i)
            OnCode(held_[i]);
        shownThrough_ = heldStart_.back() + BlockBits();
    }
    held_.clear();
    heldValid_.clear();
    heldStart_.clear();
    unbacked_ = 0;
}

void SyncArqDecoder::Finish()
{
    // A last block still waiting for the bits after it.
    if (kept_ && margin_ != 0 && bitCount_ >= margin_ + 1 + BlockBits()) {
        heldStart_.push_back(Absolute(margin_ + 1));
        heldValid_.push_back(ReadBlock(Buffered(margin_ + 1), invertCounter_, &held_));
    }
    // The input ended inside a run of doubtful blocks: what mostly checks is signal, the rest is noise.
    const size_t n = size_t(charsInCycle_);
    for (size_t b = 0; b < heldValid_.size(); ++b) {
        if (MostlyFails(heldValid_[b]))
            continue;
        for (size_t m = 0; m < n; ++m)
            OnCode(held_[b * n + m]);
        shownThrough_ = heldStart_[b] + BlockBits();
    }
    held_.clear();
    heldValid_.clear();
    heldStart_.clear();
}

} // namespace sirrel
