#include "arqm_source.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "decoders/character_sets.h"
#include "ita2.h"

namespace sirrel::siggen {

namespace {

// Fill before and after the text: the two ITA3 idle signals and the two shifts, none of them shown. A single
// repeated character would also fit the polarity pattern a bit or two early (a rotated character keeps its
// weight); in this order, shifted by one per channel, the bits carried across character boundaries differ, so
// a receiver sliding in from the start meets the true alignment first (checked for 1, 2, 4 channels, cycles
// of 4 and 8, both versions, either line polarity).
constexpr uint8_t kIta3Fill[] = {0x1A, 0x4A, 0x38, 0x32};

uint8_t Fill(size_t position, int channel) { return kIta3Fill[(position + static_cast<size_t>(channel)) % 4]; }

} // namespace

ArqmSource::ArqmSource(int channels, int cycle, Version version, std::vector<std::string> otherChannels)
    : channels_(channels), cycle_(cycle), version_(version), otherChannels_(std::move(otherChannels))
{
}

bool ArqmSource::SentInverted(int channel, int group) const
{
    if (version_ == Version::kV242)
        return channel != 0;
    switch (channel) {
    case 0:
        return group == 0;
    case 1:
        return group != 1;
    case 2:
        return group != 0;
    default:
        return group == 0;
    }
}

size_t ArqmSource::Encode(std::string_view text, Keying &keying) const
{
    const int k = channels_;
    const auto r = static_cast<size_t>(cycle_);
    size_t dropped = 0;
    std::vector<std::vector<uint8_t>> codes(static_cast<size_t>(k));
    size_t longest = 0;
    for (int c = 0; c < k; ++c) {
        std::string_view channelText = text;
        if (c > 0)
            channelText = static_cast<size_t>(c) <= otherChannels_.size() ? otherChannels_[static_cast<size_t>(c) - 1]
                                                                          : std::string_view();
        Ita2Codes ita2 = EncodeIta2(channelText);
        dropped += ita2.dropped;
        auto &channel = codes[static_cast<size_t>(c)];
        for (size_t i = 0; i < kPhasingCycles * r; ++i)
            channel.push_back(Fill(i, c));
        for (const uint8_t code : ita2.codes)
            channel.push_back(kIta3Table[code & 31]);
        longest = std::max(longest, channel.size());
    }
    // Whole cycles, then one idle cycle after the text.
    const size_t cycles = (longest + r - 1) / r + 1;

    const int groupBits = 7 * k;
    const int half = groupBits / 2;
    const int step = k == 4 ? 2 : 1;
    const int offsets[4] = {0, half, 1, half + 1};
    // The receiver's clock settles on the edges of this pattern; no character it forms at any offset has three
    // or four one-bits, so nothing locks before the cycles begin.
    for (int i = 0; i < kSettlingPatterns; ++i) {
        keying.Append(1, 6.0);
        keying.Append(0, 1.0);
    }
    std::vector<int> group(static_cast<size_t>(groupBits));
    for (size_t i = 0; i < cycles * r; ++i) {
        for (int c = 0; c < k; ++c) {
            const auto &channel = codes[static_cast<size_t>(c)];
            unsigned code = i < channel.size() ? channel[i] : Fill(i, c);
            if (SentInverted(c, static_cast<int>(i % r)))
                code ^= 0x7F;
            for (int b = 0; b < 7; ++b)
                group[static_cast<size_t>(offsets[c] + b * step)] = (code >> b) & 1;
        }
        for (const int bit : group)
            keying.Append(bit, 1.0);
    }
    return dropped;
}

} // namespace sirrel::siggen
