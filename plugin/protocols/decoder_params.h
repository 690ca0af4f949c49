// The decoder parameter block: filled from the decoder controls once per frame, stored verbatim inside every
// protocol record, so its 40-byte little-endian layout is fixed. The five words after the common fields mean
// different things in different modes; a mode's fill leaves the words it does not use as they were, so they
// are kept as stored and read through the named views of each mode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocols/settings_model.h"

namespace sirrel {

// Modes 0, 1, 8.
struct AsyncParams {
    int32_t parity = 0; // 0 none, 1 even, 2 odd
};

// Mode 2.
struct ArqParams {
    int32_t cycleLength = 0; // bits
    int32_t charsInCycle = 0;
    int32_t invertingRate = 0;
    int32_t repetitionCycle = 0;
    int32_t charset = 0; // CCIR476-5, ITA3, ITA2-P
};

// Mode 3.
struct PacketParams {
    int32_t crcIgnore = 0;
};

// Mode 5.
struct FecParams {
    int32_t charsInCycle = 0;
    int32_t invertingRate = 0;
    int32_t charset = 0;
};

// Mode 6.
struct CisParams {
    int32_t frameSize = 0; // bits
    int32_t minSyncFrames = 0;
    int32_t maxErrors = 0;
};

// Mode 7.
struct ArqmParams {
    int32_t channels = 0;
    int32_t repetitionCycle = 0;
    int32_t version = 0; // "242", "342"
};

using ParamWords = std::array<int32_t, 5>;

// The receiver's added choices: filled from the controls with the block, never stored in a record.
struct DecoderOptions {
    bool unshiftOnSpace = false;
    bool fecCorrection = false;
    bool arqCorrection = false;
    // Start/stop modes: the chain passes the weak-signal demodulator's soft values instead of line levels.
    bool softTiming = false;
};

struct DecoderParams {
    int32_t mode = 0;
    double samplesPerBit = 0.0;
    int32_t polarity = 0;
    int32_t inversionMask = 0;
    DecoderOptions options;

    AsyncParams Async() const { return {words_[0]}; }
    ArqParams Arq() const { return {words_[0], words_[1], words_[2], words_[3], words_[4]}; }
    PacketParams Packet() const { return {words_[0]}; }
    FecParams Fec() const { return {words_[0], words_[1], words_[2]}; }
    CisParams Cis() const { return {words_[0], words_[1], words_[2]}; }
    ArqmParams Arqm() const { return {words_[0], words_[1], words_[2]}; }

    // Each writes only the words its mode uses.
    void SetAsync(const AsyncParams &p) { words_[0] = p.parity; }
    void SetArq(const ArqParams &p)
    {
        words_ = {p.cycleLength, p.charsInCycle, p.invertingRate, p.repetitionCycle, p.charset};
    }
    void SetPacket(const PacketParams &p) { words_[0] = p.crcIgnore; }
    void SetFec(const FecParams &p) { SetFirstThree(p.charsInCycle, p.invertingRate, p.charset); }
    void SetCis(const CisParams &p) { SetFirstThree(p.frameSize, p.minSyncFrames, p.maxErrors); }
    void SetArqm(const ArqmParams &p) { SetFirstThree(p.channels, p.repetitionCycle, p.version); }

    // The five stored words as they are, whatever the mode.
    const ParamWords &Words() const { return words_; }
    void SetWords(const ParamWords &words) { words_ = words; }

    static constexpr size_t kSize = 40;
    void Store(uint8_t *out) const;               // exactly kSize bytes
    static DecoderParams Load(const uint8_t *in); // exactly kSize bytes

private:
    void SetFirstThree(int32_t w1, int32_t w2, int32_t w3)
    {
        words_[0] = w1;
        words_[1] = w2;
        words_[2] = w3;
    }

    ParamWords words_{};
};

// Writes mode, polarity, inversion mask, the options and the current mode's words from the controls; never
// samplesPerBit.
void FillDecoderParams(const SettingsModel &settings, DecoderParams &params);

// The inverse: selects the mode, polarity, inversion boxes and the mode's controls; other modes' controls stay.
void ApplyDecoderParams(SettingsModel &settings, const DecoderParams &params);

} // namespace sirrel
