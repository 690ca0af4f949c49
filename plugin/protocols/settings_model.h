// The values of every control that the signal chain, the dispatcher and the sink read. The engine reads them
// where it needs them, every frame, so a change (from a window, a protocol or the command line) takes effect at
// the next read. Defaults are those of a receiver without stored configuration.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "output/channels.h"

namespace sirrel {

// Decoder mode numbers (the switch of the decoder subsystem).
enum DecoderMode : int32_t {
    kModeIta2 = 0,
    kModeIra = 1,
    kModeArq = 2,
    kModePacket = 3,
    kModeRawBits = 4,
    kModeFec = 5,
    kModeCis = 6,
    kModeArqm = 7,
    kModeAscii8 = 8,
};

// Last demodulator selection, as stored in records and configuration.
enum DemodulatorChoice : uint8_t {
    kDemodPlain = 0,
    kDemodHighSpeed = 1,
    kDemodOptimal = 2,
    kDemodCorrelative = 3,
    // Added choice, kept outside the records (see weakSignal): they store the three radios only.
    kDemodWeakSignal = 4,
};

// CIS frame sizes in bits, in the order of the "Frame size" list.
inline constexpr std::array<int32_t, 4> kCisFrameSizes = {11, 14, 27, 28};

struct SettingsModel {
    // "Frequencies" group. Typed values may stand in either order; automatic tuning writes the lower tone
    // into space and the upper into mark.
    double space = 2200.0;
    double mark = 1200.0;
    bool tuneAuto = true;   // "Auto" / "Manual"
    int32_t shiftIndex = 0; // "Any", "170Hz", "425Hz", "850Hz"

    // "Baudrate" (1..2000) and its "Automatic" / "Manual" mode.
    double baudrate = 50.0;
    bool baudAuto = true;

    // Demodulator radios: at most one on; none on is the plain tone-filter demodulator.
    bool highSpeed = false;
    bool optimal = false;
    bool correlative = false;
    // Added weak-signal demodulator: when on it runs instead of the one the radios select, and records keep
    // the radios' choice.
    bool weakSignal = false;

    // "CPU usage" read-out: smoothing factor k of (1 - k) x usage + k x previous value.
    double cpuSmoothing = 0.0;

    // Decoder controls.
    int32_t mode = kModePacket;
    int32_t polarity = 1; // "Auto", "Normal", "Reversed"
    int32_t inversionMask = 0;
    int32_t parityIndex = 0; // modes 0, 1, 8: "None", "Even", "Odd"
    double arqCycleLength = 45;
    double arqCharsInCycle = 3;
    double arqInvertingRate = 0;
    double arqRepetitionCycle = 1;
    int32_t arqCharsetIndex = 0; // "CCIR476-5", "ITA3", "ITA2-P"
    bool packetCrcIgnore = false;
    double fecCharsInCycle = 3;
    double fecInvertingRate = 0;
    int32_t fecCharsetIndex = 0;
    int32_t cisFrameSizeIndex = 0; // 11, 14, 27, 28
    double cisMinSyncFrames = 15;
    double cisMaxErrors = 20;
    int32_t arqmChannelsIndex = 1; // "1", "2", "4"
    double arqmRepetitionCycle = 4;
    int32_t arqmVersionIndex = 0; // "242", "342"

    // Added decoding choices of the receiver, outside the protocol records.
    bool unshiftOnSpace = false; // a space returns ITA2 text to Letters
    bool fecCorrection = false;  // SITOR-B, NAVTEX, SI-FEC take each character from whichever copy checks
    bool arqCorrection = false;  // ARQ keeps the block timing once found and marks the codes that fail

    // "Data Output" window.
    bool paused = false;
    std::array<bool, kChannelCount> numbers{}; // shift state per channel: false "Letters", true "Numbers"

    // Character translation: the table in force, indexed by the byte value.
    std::string translationTableName = "Default";
    std::array<uint8_t, 256> translation = IdentityTranslation();
    // Its replacement font and character set code, in which the channel views show the translated bytes.
    std::string translationFont = "Courier New";
    uint8_t translationCharacterSet = 1;

    bool operator==(const SettingsModel &) const = default;

    DemodulatorChoice Demodulator() const
    {
        if (weakSignal)
            return kDemodWeakSignal;
        return RadioDemodulator();
    }

    // The choice of the three radios, as records and the configuration store it.
    DemodulatorChoice RadioDemodulator() const
    {
        if (highSpeed)
            return kDemodHighSpeed;
        if (optimal)
            return kDemodOptimal;
        if (correlative)
            return kDemodCorrelative;
        return kDemodPlain;
    }

    void SetDemodulator(DemodulatorChoice choice)
    {
        weakSignal = choice == kDemodWeakSignal;
        SetRadioDemodulator(choice);
    }

    // Sets the three radios (none for a choice that is not theirs) and leaves the weak-signal choice alone: a
    // protocol or stored configuration brings only the radios.
    void SetRadioDemodulator(DemodulatorChoice choice)
    {
        highSpeed = choice == kDemodHighSpeed;
        optimal = choice == kDemodOptimal;
        correlative = choice == kDemodCorrelative;
    }

    static std::array<uint8_t, 256> IdentityTranslation()
    {
        std::array<uint8_t, 256> table{};
        for (int i = 0; i < 256; ++i)
            table[i] = uint8_t(i);
        return table;
    }
};

} // namespace sirrel
