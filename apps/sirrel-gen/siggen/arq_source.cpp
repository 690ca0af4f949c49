#include "arq_source.h"

#include <algorithm>

namespace sirrel::siggen {

namespace {

// The other station answers in the gap with its own keying on the same tones, heard here as reversals half a
// bit off this station's bit grid. It keeps both tones in the spectrum, as a real link does.
void AppendGap(int bits, ArqGap gap, Keying &keying)
{
    if (gap == ArqGap::kQuiet) {
        keying.Append(kSilent, bits);
        return;
    }
    if (bits < 2) {
        keying.Append(0, bits);
        return;
    }
    keying.Append(1, 0.5);
    for (int i = 0; i < bits - 1; ++i)
        keying.Append(i % 2, 1.0);
    keying.Append(bits % 2, 0.5);
}

} // namespace

ArqSource::ArqSource(const ArqSettings &settings) : settings_(settings) {}

size_t ArqSource::Encode(std::string_view text, Keying &keying) const
{
    const size_t n = size_t(std::max(settings_.charsInBlock, 1));
    const SevenBitService service = ServiceCodes(settings_.set);
    const uint8_t letters = LettersShiftCode(settings_.set);

    // Phasing alternates an idle signal with letters shifts. A block of one repeated code would be valid one bit
    // off as well; with CCIR476-5 alpha (not beta) also keeps every shifted window of the usual geometries
    // invalid.
    uint8_t idle = settings_.set == SevenBitSet::kCcir476 ? service.phasing2 : service.phasing1;
    if (settings_.invertingRate != 0 && RestartsInversion(settings_.set, idle))
        idle = service.phasing1;
    std::vector<uint8_t> codes;
    for (size_t i = 0; i < size_t(std::max(settings_.phasingBlocks, 0)) * n; ++i)
        codes.push_back(i % 2 == 0 ? idle : letters);
    const SevenBitCodes message = EncodeSevenBit(text, settings_.set);
    const size_t repeated = size_t(std::max(settings_.repetitionCycle - 1, 0));
    for (size_t i = 0; i < message.codes.size(); ++i) {
        codes.push_back(message.codes[i]);
        const size_t sent = i + 1;
        if (settings_.repeatEvery > 0 && sent % size_t(settings_.repeatEvery) == 0 && sent >= repeated &&
            sent < message.codes.size()) {
            codes.push_back(service.repetition);
            const auto end = message.codes.begin() + long(sent);
            codes.insert(codes.end(), end - long(repeated), end);
        }
    }
    while (codes.size() % n != 0)
        codes.push_back(idle);

    AppendRunIn(keying);
    const int gapBits = std::max(settings_.cycleBits - int(7 * n), 0);
    PeriodicInversion inversion(settings_.set, settings_.invertingRate);
    for (size_t i = 0; i < codes.size(); ++i) {
        keying.AppendBitsLsbFirst(inversion.Next(codes[i]), 7);
        if ((i + 1) % n == 0)
            AppendGap(gapBits, settings_.gap, keying);
    }
    return message.dropped;
}

} // namespace sirrel::siggen
