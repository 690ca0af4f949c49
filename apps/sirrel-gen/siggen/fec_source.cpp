#include "fec_source.h"

#include <algorithm>

namespace sirrel::siggen {

namespace {

constexpr long kRepetitionDelay = 2; // DX positions between a first sending and its repetition
constexpr long kEndSignals = 3;

} // namespace

FecSource::FecSource(const FecSettings &settings) : settings_(settings) {}

size_t FecSource::Encode(std::string_view text, Keying &keying) const
{
    const SevenBitService service = ServiceCodes(settings_.set);
    const SevenBitCodes message = EncodeSevenBit(text, settings_.set);
    const long count = long(message.codes.size());
    // Phasing signal 2 is alpha, also the end-of-emission signal; under periodic inversion letters shifts stand
    // in for a signal that would restart the count.
    const bool keepOut = settings_.invertingRate != 0 && RestartsInversion(settings_.set, service.phasing2);
    const uint8_t phasing2 = keepOut ? LettersShiftCode(settings_.set) : service.phasing2;

    AppendRunIn(keying);
    PeriodicInversion inversion(settings_.set, settings_.invertingRate);
    const long first = -long(std::max(settings_.phasingPairs, 0));
    for (long k = first; k < count + std::max(kEndSignals, kRepetitionDelay); ++k) {
        const uint8_t dx = k < 0 ? service.phasing1 : k < count ? message.codes[size_t(k)] : phasing2;
        const long repeated = k - kRepetitionDelay;
        const uint8_t rx = repeated >= 0 && repeated < count ? message.codes[size_t(repeated)] : phasing2;
        keying.AppendBitsLsbFirst(inversion.Next(dx), 7);
        keying.AppendBitsLsbFirst(inversion.Next(rx), 7);
    }
    return message.dropped;
}

} // namespace sirrel::siggen
