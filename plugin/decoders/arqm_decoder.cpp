#include "decoders/arqm_decoder.h"

#include <bit>
#include <cstring>

#include "orurt.h"

namespace sirrel {

namespace {

constexpr uint32_t kInverted = 0x7F;

// How a character's weight must relate to w0, the weight of channel 0's first character.
enum class Relation { kReference, kEqual, kDiffer, kComplement };

struct Rule {
    Relation relation;
    uint32_t inversion; // undoes the polarity that the pattern gives this character
};

// The polarity pattern of channel c at group g. Channel 1's cycle starts one group later than the window, so
// its marked character is group 1 and group 0 holds the last character of its previous cycle; taking the
// channel's r characters from groups 0..r-1 keeps its text in order without reading beyond the window.
Rule RuleOf(bool v342, int32_t channel, int32_t group)
{
    switch (channel) {
    case 0:
        if (group == 0)
            return {Relation::kReference, v342 ? kInverted : 0};
        return {v342 ? Relation::kComplement : Relation::kEqual, 0};
    case 1:
        if (v342 && group == 1)
            return {Relation::kDiffer, 0};
        return {v342 ? Relation::kEqual : Relation::kDiffer, kInverted};
    case 2:
        if (v342 && group == 0)
            return {Relation::kDiffer, 0};
        return {v342 ? Relation::kEqual : Relation::kDiffer, kInverted};
    default:
        if (!v342)
            return {Relation::kDiffer, kInverted};
        if (group == 0)
            return {Relation::kEqual, kInverted};
        return {Relation::kDiffer, 0};
    }
}

} // namespace

ArqmDecoder::ArqmDecoder() { Resize(channels_, repetitionCycle_); }

ArqmDecoder::~ArqmDecoder() { MemoryFree(cells_); }

bool ArqmDecoder::Resize(int32_t channels, int32_t cycle)
{
    const int32_t bits = cycle * channels * 7;
    auto *cells = static_cast<uint8_t *>(MemoryAlloc(uint32_t(bits) * 2));
    if (!cells)
        return false;
    std::memset(cells, 0, size_t(bits) * 2);
    MemoryFree(cells_);
    cells_ = cells;
    head_ = 0;
    channels_ = channels;
    repetitionCycle_ = cycle;
    windowBits_ = bits;
    bitCount_ = 0;
    return true;
}

void ArqmDecoder::Configure(const DecoderParams &params)
{
    const ArqmParams arqm = params.Arqm();
    SetVersion(arqm.version);
    SetChannels(arqm.channels);
    SetRepetitionCycle(arqm.repetitionCycle);
}

void ArqmDecoder::Reset()
{
    if (cells_)
        std::memset(cells_, 0, size_t(windowBits_) * 2);
    head_ = 0;
    bitCount_ = 0;
}

void ArqmDecoder::SetChannels(int32_t channels)
{
    if (channels == channels_ || (channels != 1 && channels != 2 && channels != 4))
        return;
    Resize(channels, repetitionCycle_);
}

void ArqmDecoder::SetRepetitionCycle(int32_t cycle)
{
    if (cycle == repetitionCycle_ || cycle < 1 || cycle > kMaxRepetitionCycle)
        return;
    Resize(channels_, cycle);
}

inline void ArqmDecoder::PutBit(int32_t level)
{
    if (!cells_)
        return;
    const uint8_t bit = level != 0;
    cells_[head_] = bit;
    cells_[head_ + windowBits_] = bit;
    if (++head_ == windowBits_)
        head_ = 0;

    if (bitCount_ + 1 < windowBits_) {
        ++bitCount_;
        return;
    }
    if (!WindowFits())
        return;
    DeliverWindow();
    bitCount_ = 0;
}

void ArqmDecoder::Feed(const int16_t *bits, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        PutBit(bits[i]);
}

// Groups of L = 7·K bits; channels 0 and 1 start at 0 and L/2, channels 2 and 3 one bit later, and with four
// channels each character takes every second bit.
uint32_t ArqmDecoder::Character(int32_t group, int32_t channel) const
{
    const int32_t groupBits = 7 * channels_;
    const int32_t half = groupBits / 2;
    const int32_t step = channels_ == 4 ? 2 : 1;
    static constexpr int32_t kHalves[4] = {0, 1, 0, 1};
    static constexpr int32_t kExtra[4] = {0, 0, 1, 1};
    const uint8_t *bits = cells_ + head_ + group * groupBits + kHalves[channel] * half + kExtra[channel];
    uint32_t code = 0;
    for (int32_t k = 0; k < 7; ++k)
        code |= uint32_t(bits[k * step]) << k;
    return code;
}

bool ArqmDecoder::WindowFits() const
{
    const bool v342 = version_ != kVersion242;
    const int w0 = std::popcount(Character(0, 0));
    if (w0 != 3 && w0 != 4)
        return false;
    for (int32_t channel = 0; channel < channels_; ++channel) {
        for (int32_t group = 0; group < repetitionCycle_; ++group) {
            const Rule rule = RuleOf(v342, channel, group);
            if (rule.relation == Relation::kReference)
                continue;
            const int w = std::popcount(Character(group, channel));
            const bool fits = rule.relation == Relation::kEqual    ? w == w0
                              : rule.relation == Relation::kDiffer ? w != w0
                                                                   : w + w0 == 7;
            if (!fits)
                return false;
        }
    }
    return true;
}

void ArqmDecoder::DeliverWindow()
{
    const bool v342 = version_ != kVersion242;
    const bool heavy = std::popcount(Character(0, 0)) == 4;
    // Under "342" an upright channel 0 starts with a weight-4 character; "242" starts with weight 3.
    const uint32_t base = (heavy == v342) ? 0 : kInverted;
    for (int32_t channel = 0; channel < channels_; ++channel) {
        for (int32_t group = 0; group < repetitionCycle_; ++group) {
            const uint32_t code = (Character(group, channel) ^ RuleOf(v342, channel, group).inversion ^ base) & 0xFF;
            Deliver({channel, uint8_t(code)});
        }
    }
}

} // namespace sirrel
