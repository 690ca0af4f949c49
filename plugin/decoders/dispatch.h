// Dispatcher: the door between the signal chain and the decoders. Once per frame it configures the decoder of
// the selected mode, recovers the bit clock for the bit-synchronous modes and feeds that decoder; every
// decoder delivers through the one DecoderSink.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "decoders/arqm_decoder.h"
#include "decoders/async_decoder.h"
#include "decoders/cis_decoder.h"
#include "decoders/decoder_sink.h"
#include "decoders/fec_decoder.h"
#include "decoders/frame_gate.h"
#include "decoders/hdlc_deframer.h"
#include "decoders/raw_bits_decoder.h"
#include "decoders/soft_async_decoder.h"
#include "decoders/sync_arq_decoder.h"
#include "output/data_output_window.h"
#include "protocols/decoder_params.h"
#include "protocols/settings_model.h"

namespace sirrel {

class Dispatcher {
public:
    // Reads "Paused" from the settings; the sink also keeps the shift states and translation there.
    Dispatcher(SettingsModel &settings, DataOutputWindow &output);
    Dispatcher(const Dispatcher &) = delete;
    Dispatcher &operator=(const Dispatcher &) = delete;

    // `levels` holds `count` line levels (0 or 1), one per sample, or soft values when params.options.softTiming
    // is set (start/stop modes only); params.samplesPerBit is set by the chain. `soft`, when given, holds the
    // demodulator's signed soft value per sample, whose size at each decided bit is the confidence the clocked
    // decoders get.
    void Dispatch(const int16_t *levels, int32_t count, const DecoderParams &params, const int16_t *soft = nullptr);
    // The audio has ended (a file decoded to its end): the decoder of the current mode delivers what it still
    // holds back waiting for more signal (the start/stop decoder, and FEC with correction).
    void Finish();
    // A fresh start: every decoder and the bit clock back to their start state, every channel to "Letters",
    // the statistics cleared.
    void Reset();

    int32_t CurrentMode() const { return currentMode_; }
    double BitPhase() const { return bitPhase_; }
    int32_t LastLevel() const { return lastLevel_; }
    const DecoderSink &Sink() const { return sink_; }
    DecoderSink &Sink() { return sink_; }

    const AsyncDecoder &Async() const { return async_; }
    const SoftAsyncDecoder &SoftAsync() const { return softAsync_; }
    const SyncArqDecoder &SyncArq() const { return arq_[size_t(mainArq_)]; }
    const ArqmDecoder &Arqm() const { return arqm_; }
    const CisDecoder &Cis() const { return cis_; }

private:
    // What a mode number selects.
    struct Mode {
        Decoder *decoder = nullptr; // null: bits are decided but go nowhere
        bool clocked = true;        // fed decided bits from the shared clock, else the levels themselves
        // One bit timing for the whole transmission: with soft values the clock slows down (kSteadyEdgePull).
        bool steadyTiming = false;
        // The mode-wide values the sink reads; null leaves the sink's value as it was.
        int32_t (*repetitionSkip)(const DecoderParams &) = nullptr;
        int32_t (*charset)(const DecoderParams &) = nullptr;
    };

    const Mode &ModeOf(int32_t mode) const;
    std::array<Decoder *, 9> AllDecoders()
    {
        return {&async_, &softAsync_, &arq_[0], &arq_[1], &fec_, &hdlc_, &rawBits_, &cis_, &arqm_};
    }
    // The start/stop modes take the soft framing when the chain sends soft values; ARQ takes the shown one of
    // its two decoders.
    Decoder *DecoderFor(const Mode &mode, bool softTiming)
    {
        if (mode.decoder == &arq_[0])
            return &arq_[size_t(mainArq_)];
        return softTiming && mode.decoder == &async_ ? &softAsync_ : mode.decoder;
    }
    // Decides a bit half a bit after each expected bit start and pulls the expected start a share of the way
    // toward every transition: kEdgePull, or, when `steady` (the weak-signal demodulator's soft values and a
    // mode with steadyTiming: ARQ, FEC, CIS, ARQ-M), a share that falls from kEdgePull to kSteadyEdgePull over
    // the first transitions (kGearEdges of them halve it). Near the noise most transitions are noise's, which
    // pull either way; the slower clock wanders less between the blocks while the timing is searched for, and
    // the quick start finds the bits of a short transmission. Packet frames each start on a timing of their
    // own, and raw bits may be of any system, so both keep the quick clock. The phase stays relative to the
    // next block. With soft values, packet bits are also decided early for a second deframer, and ARQ bits
    // half a bit late for the shadow ARQ decoder.
    void RunBitClock(Decoder *decoder, const int16_t *levels, const int16_t *soft, int32_t count, double samplesPerBit,
                     bool steady);
    // The decoder that the second decisions feed this block, if any.
    Decoder *SecondDecoder(const Decoder *decoder, const int16_t *soft);
    // Until ARQ blocks are found, the other station's keying in the gap (more transitions than a block has)
    // may pull the clock half a bit off this station's bits. The shadow decoder reads the bits half a bit
    // later; when its timing is confirmed while the shown decoder knows no gaps (no confirmed timing, nor one
    // given up lately), the two change places and the clock moves to the shadow's instants. Returns whether
    // they did.
    bool TakeShadowTiming();

    // Weak packet signals lose some frames at the middle of the bit that a decision a little earlier keeps: a
    // second deframer decides each bit this many bit periods before the main one and shows the good frames
    // that only it finds. Later instants and slicer thresholds away from zero found nothing more.
    static constexpr double kEarlyShift = 0.125;
    static constexpr double kEdgePull = 0.1;
    // On SITOR-A 9 and 10 dB below the noise in 3 kHz, 0.015 and 0.02 read more of the text than 0.1, and
    // alike; a lower share is slower to find the timing.
    static constexpr double kSteadyEdgePull = 0.02;
    static constexpr double kGearEdges = 200.0;
    // The shadow also takes over from a kept timing when this many more of its codes checked over the last
    // blocks and at least seven in eight of them did: the other station's reversals read on their own clock
    // check now and then and keep a timing alive, and at times check more often than a weak signal's blocks.
    static constexpr int32_t kShadowLead = 4;

    SettingsModel &settings_;
    DataOutputWindow &output_;
    DecoderSink sink_;
    AsyncDecoder async_;
    SoftAsyncDecoder softAsync_;
    std::array<SyncArqDecoder, 2> arq_; // the shown decoder and its shadow
    int32_t mainArq_ = 0;
    std::vector<DecodedCode> shadowCodes_; // the shadow's codes of the bit just read
    FecDecoder fec_;
    HdlcDeframer hdlc_;
    HdlcDeframer earlyHdlc_;
    FrameGate packetGate_;
    RawBitsDecoder rawBits_;
    CisDecoder cis_;
    ArqmDecoder arqm_;
    std::array<Mode, 9> modes_;
    Mode unknownMode_;

    int32_t currentMode_;
    bool currentSoft_ = false;
    double bitPhase_ = 0.0;                  // start of the next bit, in samples from the start of the next block
    double secondDecision_ = 0.0;            // the second decoder's next decision, likewise
    const Decoder *secondDecoder_ = nullptr; // the decoder fed last block; another's decisions start afresh
    int32_t lastLevel_ = 0;
    double steadyEdges_ = 0.0; // transitions that moved the steady clock since the last reset
};

} // namespace sirrel
