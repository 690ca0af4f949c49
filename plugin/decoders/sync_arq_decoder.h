// SyncArqDecoder: synchronous systems that send 7-bit characters in blocks of n characters, each block
// followed by a gap that fills a cycle of L bits (SITOR-A, ARQ-E, ARQ-N, POL-ARQ, SI-ARQ, ARQ6, ...). It takes
// one decided bit at a time, finds block synchronisation by trying every bit position for n valid codes,
// corrects line polarity, undoes the periodic inversion of some systems and skips the gap. The FEC decoder
// derives from it.
//
// With correction chosen it keeps the block timing once found: each block is read one cycle after the last
// (following a slip of one bit; given the demodulator's confidence, a slip that the blocks a bit over have shown
// for a while), a code that fails the check shows as the error mark, and blocks that do not
// check whole are held back until a whole one follows. Given the demodulator's confidence in each bit, a failed
// code of a constant-ratio set shows as its likeliest character instead. A first block is taken only when the next one
// checks too. From then on a score weighs every code that checks against every one that fails, as most codes of a
// weak signal check and most of noise's fail: when it runs out the timing is given up. Held blocks are shown when a
// whole block follows or the timing ends, unless fewer than half of their codes checked (a third between whole
// blocks, given confidence); at the end, the blocks that mostly fail (the noise after a transmission) are dropped.
// Given confidence, a timing once confirmed also reads back the blocks that came before it, kept in a history,
// as far as the same score allows; these and the two confirming blocks are held until a whole block follows, or
// dropped with the timing unless the blocks after them mostly checked (noise confirms a timing now and then).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "decoders/decoder.h"

namespace sirrel {

class SyncArqDecoder : public Decoder {
public:
    static constexpr int32_t kBufferBits = 512;
    static constexpr int32_t kCodeBits = 7;

    // The validity test and the reset codes follow the character set.
    enum Charset : int32_t { kCcir476 = 0, kIta3 = 1, kIta2P = 2 };
    enum Polarity : int32_t { kPolarityAuto = 0, kPolarityNormal = 1, kPolarityReversed = 2 };

    // An ITA2-P code of the right parity carries its character with bit 0 clear; only the three signals
    // 0x07, 0x49 and 0x31 have it set.
    static bool Ita2PKnownCode(int32_t code) { return (code & 1) == 0 || code == 0x07 || code == 0x49 || code == 0x31; }
    // Whether a delivered code passes the check of the character set.
    static bool Checks(int32_t charset, int32_t code);
    // A code of the character set that fails the check and that the sink shows as a space.
    static int32_t ErrorMark(int32_t charset) { return charset == kIta2P ? 0x48 : 0x04; }
    // The kept timing's score: a code that checks adds kCheckScore, one that fails takes kFailScore. It starts
    // at 0 with the second block, stays within kScoreBlocks whole blocks, and the timing is given up below 0.
    // About 27 % of noise's codes check, 60 % or more of those of a signal that is still worth reading.
    static constexpr int32_t kCheckScore = 4;
    static constexpr int32_t kFailScore = 3;
    static constexpr int32_t kScoreBlocks = 2;
    // Given the demodulator's confidence and a gap longer than a code, the kept timing also reads a code before
    // and after each block; a reading a 1/kSwitchShare surer than the kept one over kCompareBlocks blocks takes
    // its place (the other station's keying in the gap may check as a code as well).
    static constexpr int32_t kCompareBlocks = 8;
    static constexpr int32_t kSwitchShare = 10;
    // Given confidence, a confirmed timing moves a bit over when the blocks there have checked kSlipLead codes
    // more than the kept ones over the last kSlipBlocks blocks. Noise makes a block a bit over check whole now
    // and then, which moved the timing off the signal's bits when a single such block was followed.
    static constexpr int32_t kSlipBlocks = 8;
    static constexpr int32_t kSlipLead = 4;
    // Cycles after a kept timing given up in which the clock still ignores its gaps.
    static constexpr int32_t kFlywheelCycles = 20;
    // Held blocks beyond this many are shown, oldest first (a bound on memory, reached only by a signal that
    // stays weak for minutes).
    static constexpr int32_t kMaxHeldBlocks = 64;
    // Bits kept for reading back: at least this many, at most twice as many.
    static constexpr int32_t kHistoryBits = 2048;

    // Character set, mask, block and cycle, inverting rate and polarity of mode 2.
    void Configure(const DecoderParams &params) override;
    // Decided bits, 0 or 1.
    void Feed(const int16_t *bits, int32_t count) override;
    // With the kept timing, a code that fails is corrected from the confidence in its bits instead of marked.
    void FeedSoft(const int16_t *bits, const int16_t *confidence, int32_t count) override;
    // Shows the held blocks whose codes mostly check.
    void Finish() override;
    void Reset() override;
    // The gap between blocks is the other station's: its transitions must not pull the clock, nor those of the
    // margin read either side of a kept block, nor, for kFlywheelCycles after such a timing was given up, those
    // where its gaps were.
    bool HoldsClock() const override
    {
        return gapCount_ != 0 ||
               (kept_ && margin_ != 0 && (bitCount_ < margin_ || bitCount_ > margin_ + 2 + BlockLength())) ||
               (!kept_ && flywheelCycles_ > 0 && cyclePosition_ > BlockLength() && cyclePosition_ < cycleLength_ - 1);
    }

    void SetCharset(int32_t charset) { charset_ = charset; }
    void SetInversionMask(int32_t mask) { inversionMask_ = mask; }
    void SetInvertingRate(int32_t rate) { invertingRate_ = rate; } // 0: no periodic inversion
    void SetPolarityMode(int32_t mode) { polarityMode_ = mode; }
    void SetKeepTiming(bool on);
    // n characters per block; the cycle grows to at least 7·n bits. Returns the characters per block.
    virtual int32_t SetCharsInCycle(int32_t n);
    // The cycle becomes the larger of 7·n and `length`.
    void SetCycleLength(int32_t length);

    int32_t Charset() const { return charset_; }
    int32_t InversionMask() const { return inversionMask_; }
    int32_t InvertingRate() const { return invertingRate_; }
    int32_t PolarityMode() const { return polarityMode_; }
    int32_t CharsInCycle() const { return charsInCycle_; }
    int32_t CycleLength() const { return cycleLength_; }
    // Gap bits still to be discarded.
    int32_t GapCount() const { return gapCount_; }
    int32_t BitCount() const { return bitCount_; }
    bool KeepsTiming() const { return kept_; }
    // A kept timing whose second block checked whole as well.
    bool TimingConfirmed() const { return kept_ && confirmed_; }
    // The codes of the kept timing that checked in its last kCompareBlocks blocks; -1 until there are so many.
    int32_t RecentChecks() const;
    // A confirmed timing, or the gaps of one given up a short while ago.
    bool KnowsGaps() const { return TimingConfirmed() || (!kept_ && flywheelCycles_ > 0); }
    // Bits taken since the last reset, those of the gaps included.
    int64_t BitsSeen() const { return bitsSeen_; }
    // The bit after the last block shown, counted as BitsSeen counts.
    int64_t ShownThrough() const { return shownThrough_; }
    // Reading back stays within this many bits before the newest, so that a second reader of the same signal
    // does not repeat what the first one showed; negative for no bound.
    void SetReadBackLimit(int64_t bits) { readBackLimit_ = bits; }
    // The gap has room for a code either side of a kept block.
    bool HasRoomForMargins() const
    {
        return cycleLength_ - BlockBits() > kCodeBits + 2 && BlockBits() + 2 * kCodeBits + 2 <= kBufferBits;
    }

protected:
    // Character set, mask, inverting rate and polarity; the block is the caller's.
    void ConfigureCommon(int32_t charset, const DecoderParams &params, int32_t invertingRate);
    // 7·n, the bits of one block, limited to the 32-bit range.
    int32_t BlockLength() const;
    // Every delivered code; by default straight to the sink.
    virtual void OnCode(int32_t code);

private:
    // Bits of a block and the confidence in each, in the buffer or the history.
    struct Span {
        const int8_t *bits;
        const int16_t *confidence;
    };
    // A value per block of three readings (a step earlier, where due, a step later) over the last kBlocks
    // blocks since the last Clear.
    template <class T, int32_t kBlocks> struct ThreeReadings {
        std::array<std::array<T, kBlocks>, 3> values{};
        int32_t count = 0;

        // Keeps value(r) for r = 0, 1, 2; true once kBlocks blocks are kept.
        template <class Value> bool Add(Value value)
        {
            const size_t slot = size_t(count++ % kBlocks);
            for (int32_t r = 0; r < 3; ++r)
                values[size_t(r)][slot] = value(r);
            return count >= kBlocks;
        }
        T Total(int32_t r) const
        {
            T sum{};
            for (T value : values[size_t(r)])
                sum += value;
            return sum;
        }
        void Clear() { count = 0; }
    };

    void PutBit(int8_t bit, int16_t confidence);
    void Remember(int8_t bit, int16_t confidence);
    int64_t BlockBits() const { return int64_t(charsInCycle_) * 7; }
    Span Buffered(int32_t at) const { return {bits_.data() + at, confidence_.data() + at}; }
    // Where the buffer's bit `at` lies in the count of BitsSeen.
    int64_t Absolute(int32_t at) const { return bitsSeen_ - bitCount_ + at; }
    // The 7 bits from `bits` as a code, first bit as bit 0; a bit counts as 1 when it differs from `flip`.
    static int32_t Assemble(const int8_t *bits, int32_t flip);
    // Whether the whole block at `at` holds n valid codes; sets the polarity it was read with.
    bool Trial(int32_t at, int32_t &flip) const;
    // The delivered form of the code in `bits`: mask and periodic inversion undone, the inversion counted on
    // `counter`.
    int32_t Decode(const int8_t *bits, int32_t flip, int32_t &counter) const;
    void Emit(int32_t at, int32_t flip);
    void Search();

    // The reading that keeps the block timing.
    bool KeepingTiming() const { return keepTiming_ && BlockBits() + 2 <= kBufferBits; }
    // The codes of the block on the kept polarity as they are shown (the error mark for a code that fails),
    // appended to `codes` when given; returns how many check.
    int32_t ReadBlock(Span block, int32_t &counter, std::vector<int32_t> *codes) const;
    int32_t ValidCodes(Span block) const;
    int32_t ValidCodes(int32_t at) const { return ValidCodes(Buffered(at)); }
    // What is shown for the failed code `code` read with `confidence`: the likeliest character, or the error mark.
    int32_t Corrected(const int16_t *confidence, int32_t code) const;
    // A block with at most half of its codes checking: at the edges of a run, the noise around a transmission.
    bool MostlyFails(int32_t valid) const { return 2 * valid <= charsInCycle_; }
    // Adds a block's valid codes to a timing's score; false when the score runs out.
    bool Weigh(int32_t &score, int32_t valid) const;
    // Takes the block at `at` into the held codes and waits for the next one, a bit early.
    void Keep(int32_t at);
    // The buffer holds the next block with a bit either side of where it is due.
    void ReadKeptBlock();
    // Whether a block due where `valid` of its codes check may have slipped a bit: given confidence, none
    // checks; else fewer than half.
    bool MaySlip(int32_t valid) const { return sure_ ? valid == 0 : 2 * valid < charsInCycle_; }
    // Keeps the codes that check at the due block and a bit either side of it; returns `at` moved a bit over
    // when that has checked clearly more often over the last kSlipBlocks blocks.
    int32_t FollowSlip(int32_t at);
    // Whether the demodulator gave a confidence for the bits of the block at `at`.
    bool Confident(int32_t at) const;
    // Holds the blocks before the first kept one, read back on its timing from the history while the score
    // holds, when they mostly check.
    void ReadBack();
    // Sums the confidence of the kept reading and of those a code earlier and later over the last
    // kCompareBlocks blocks; returns `at` moved by a code when one of the others has been clearly surer.
    int32_t WeighNeighbours(int32_t at);
    void Drop(int32_t count);
    void GiveUpTiming();
    void ShowHeld();
    // Shows the held blocks that are signal, and the last one when it checks whole.
    void ShowHeldSignal(bool wholeLast);

    int32_t charset_ = kCcir476;
    int32_t inversionMask_ = 0;
    int32_t charsInCycle_ = 3;
    int32_t cycleLength_ = 45;
    int32_t gapCount_ = 0;
    std::array<int8_t, kBufferBits> bits_{};
    std::array<int16_t, kBufferBits> confidence_{}; // per bit, 0 when the demodulator gives none
    int32_t bitCount_ = 0;
    int64_t bitsSeen_ = 0;
    int64_t shownThrough_ = 0;
    int64_t readBackLimit_ = -1;
    std::vector<int8_t> pastBits_; // the last bits taken, the gaps' included; pastBits_[0] is bit pastStart_
    std::vector<int16_t> pastConfidence_;
    int64_t pastStart_ = 0;
    int32_t invertingRate_ = 0;
    int32_t invertCounter_ = 0;
    int32_t polarityMode_ = kPolarityAuto;
    int32_t skipBits_ = 0;

    bool keepTiming_ = false;
    bool kept_ = false;
    bool confirmed_ = false; // a whole block followed the first
    bool sure_ = false;      // the demodulator gave confidence for the kept timing's first block
    // Held blocks at the front, read back or confirming a timing read with confidence, that show only with a
    // whole block after them or, when the timing ends, with blocks after them that are signal.
    size_t unbacked_ = 0;
    int32_t keptFlip_ = 0;
    int32_t score_ = 0;
    int32_t margin_ = 0; // bits read either side of a kept block: a code, or none
    // Summed confidence per block of the readings a code earlier, kept and a code later.
    ThreeReadings<int64_t, kCompareBlocks> recentSureness_;
    std::array<int32_t, kCompareBlocks> recentChecks_{}; // codes that checked per block, since the first
    int32_t checkedBlocks_ = 0;
    // Codes that checked per block a bit earlier, where due and a bit later, since the last move.
    ThreeReadings<int32_t, kSlipBlocks> nearChecks_;
    int32_t flywheelCycles_ = 0;     // cycles left in which the clock ignores the gaps of the given-up timing
    int32_t cyclePosition_ = 0;      // bit of the cycle of the given-up timing, 0 where a block began
    std::vector<int32_t> held_;      // codes of the blocks not yet shown
    std::vector<int32_t> heldValid_; // per held block, the codes that checked
    std::vector<int64_t> heldStart_; // per held block, its first bit as BitsSeen counts
};

} // namespace sirrel
