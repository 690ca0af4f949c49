// SignalChain: turns every frame of audio into one bit decision per sample and hands them to the decoders.
// It feeds the tuning displays, takes the tones from the settings or from the spectrum, demodulates with the
// tone filters or the correlative demodulator, cleans the bits with a majority vote, measures the bit length
// from the spacing of transitions, and calls its dispatch target with the bits and the decoder parameters.
// Settings are read from the SettingsModel every frame, where a window would read its controls; the chain runs
// on the frame thread, which owns them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "dsp/adaptive_slicer.h"
#include "dsp/oru_array.h"
#include "dsp/signal_display.h"
#include "dsp/tone_filter_demodulator.h"
#include "dsp/tone_search.h"
#include "dsp/tuning_rules.h"
#include "dsp/weak_signal_demodulator.h"
#include "orurt.h"
#include "protocols/decoder_params.h"
#include "protocols/settings_model.h"

namespace sirrel {

// Where the decided bits go: one level (0 or 1) per sample and the filled parameter block.
// The decided line levels of a frame, and the weak-signal demodulator's soft values beside them (else null).
using DispatchTarget =
    std::function<void(const int16_t *levels, int32_t count, const DecoderParams &params, const int16_t *soft)>;

// Spacing of the bit transitions: the last 1024 intervals in samples, oldest first.
class TransitionIntervals {
public:
    static constexpr uint32_t kCapacity = 1024;

    void Feed(const int16_t *bits, uint32_t count);
    // Forgets the stored intervals; the last bit and transition stay.
    void Clear() { head_ = count_ = 0; }
    // Intervals stored since the start, dropped ones included.
    uint64_t Fed() const { return fed_; }
    uint32_t Count() const { return count_; }
    int32_t Interval(uint32_t index) const { return ring_[(head_ + index) % kCapacity]; }
    int16_t LastBit() const { return lastBit_; }
    // Relative to the start of the next block.
    int32_t LastTransition() const { return lastTransition_; }

private:
    int32_t ring_[kCapacity] = {};
    uint32_t head_ = 0; // oldest entry
    uint32_t count_ = 0;
    uint64_t fed_ = 0;
    int16_t lastBit_ = 0;
    int32_t lastTransition_ = 0;
};

constexpr int32_t kRawHistogramBins = 1200;
constexpr int32_t kEnhancedHistogramBins = 600;

// Counts the stored intervals below 1200 samples; returns the largest count.
int32_t BuildRawHistogram(const TransitionIntervals &intervals, int32_t (&counters)[kRawHistogramBins]);
// Sharpens the raw counts with their multiples (two and three bit lengths) into counters 0 ... 599 and clears
// the rest; returns the largest result.
int32_t EnhanceHistogram(int32_t (&counters)[kRawHistogramBins]);

// Length of the majority window for a processing rate: odd, 5 at 11025 Hz, at least 1.
int32_t MajorityWindowFor(uint32_t rate);
// Majority of each run of `window` values of (history, bits). out must not be bits; history (window values)
// becomes the last `window` values.
void MajorityVote(int16_t *history, int32_t window, const int16_t *bits, uint32_t count, int16_t *out);

// The two strongest spectrum peaks between 100 and 2900 Hz, at least 130 Hz apart, as (lower, upper) tones in
// hertz; with a shift other than 0 the upper tone is the lower plus the shift, kept at or below 3000 Hz.
TonePair FindTones(const float *magnitudes, uint32_t count, uint32_t rate, int32_t shift);

// The signals the Demodulator dialog's scope can show: the input, the tone filters' inputs and outputs, the
// magnitudes (with high speed, the discriminator), the post filter, the threshold and the decision.
enum ScopeTestPoint : int32_t {
    kScopeInput = 0,
    kScopeLowIIn,
    kScopeLowQIn,
    kScopeHighIIn,
    kScopeHighQIn,
    kScopeLowIOut,
    kScopeLowQOut,
    kScopeHighIOut,
    kScopeHighQOut,
    kScopeLowMagnitude,
    kScopeHighMagnitude,
    kScopePostIn,
    kScopePostOut,
    kScopeThreshold,
    kScopeDecision,
};

class SignalChain {
public:
    static constexpr uint32_t kFrameSize = 2048;

    SignalChain(SettingsModel &settings, DispatchTarget dispatch, uint32_t startRate);
    ~SignalChain();
    SignalChain(const SignalChain &) = delete;
    SignalChain &operator=(const SignalChain &) = delete;

    void SetProcessingRate(uint32_t rate, bool force);
    uint32_t ProcessingRate() const { return rate_; }
    // byteCount / 2 samples; frames longer than kFrameSize are taken kFrameSize samples at a time.
    void ProcessFrame(const int16_t *samples, uint32_t byteCount);

    // The tone and bit-timing marker rules, for the tuning edits.
    TuningRules &Tuning() { return tuning_; }
    // The "Clipping" indicator follows the audio of a route with a level meter (the sound card).
    void SetLevelMeter(bool on) { levelMeter_ = on; }
    // Whether anything shows the displays (on at first). Without a view the chain feeds only what the decoding
    // reads: the spectrum while automatic tuning takes its tones from it, and the bit-timing counts.
    void SetDisplaysShown(bool shown) { displaysShown_ = shown; }
    bool DisplaysShown() const { return displaysShown_; }

    SignalDisplay &Spectrum() { return spectrum_; }
    SignalDisplay &Waterfall() { return waterfall_; }
    SignalDisplay &BitTiming(int which) { return which == 0 ? rawTiming_ : enhancedTiming_; }
    // The Demodulator dialog's scope, fed with the signal of the selected test point.
    SignalDisplay &Scope() { return scope_; }
    void SetScopeTestPoint(int32_t point) { testPoint_.store(point, std::memory_order_relaxed); }
    int32_t ScopeTestPoint() const { return testPoint_.load(std::memory_order_relaxed); }

    // "Clipping" indicator colour (0x00BBGGRR) of a route with a level meter.
    uint32_t ClippingColour() const { return clippingColour_.load(std::memory_order_relaxed); }
    // Percentage of one frame's duration spent on the last frame, smoothed by the CPU-usage control's factor.
    double CpuUsage() const { return cpuUsage_.load(std::memory_order_relaxed); }

    const TransitionIntervals &Intervals() const { return intervals_; }
    const ToneFilterDemodulator &Demodulator() const { return demodulator_; }
    const WeakSignalDemodulator &WeakSignal() const { return weakSignal_; }
    int32_t MajorityWindow() const { return majorityWindow_; }
    // Samples by which the decided levels lag the audio (the filters' group delays and the majority vote): audio
    // that ends leaves that much of its end inside the chain.
    uint32_t Latency() const;

private:
    void ProcessBlock(const int16_t *x, uint32_t n);
    // power: the frame's mean square.
    bool TakeTones(const int16_t *x, uint32_t n, double power, double &space, double &mark);
    const int16_t *DemodulateToneFilters(const int16_t *x, uint32_t n, double space, double mark);
    const int16_t *DemodulateCorrelative(const int16_t *x, uint32_t n, double space, double mark);
    const int16_t *DemodulateWeakSignal(const int16_t *x, uint32_t n, double space, double mark);
    // Samples the weak-signal demodulator sums per decision: one bit, half of one while the rate is measured.
    int32_t WeakSignalIntegration() const;
    const int16_t *TestPointSignal(const int16_t *input) const;
    int32_t MeasureBitRate(const int16_t *bits, uint32_t n);
    int32_t TrialStep(int32_t best, int32_t bin);
    // True for the first frame of a signal that stands well above what came before (noise, silence).
    bool SignalBegins(double power);

    SettingsModel &settings_;
    DispatchTarget dispatch_;
    uint32_t rate_ = 0;
    bool levelMeter_ = false;
    bool displaysShown_ = true;

    SignalDisplay spectrum_;
    SignalDisplay waterfall_;
    SignalDisplay rawTiming_;
    SignalDisplay enhancedTiming_;
    SignalDisplay scope_;
    std::atomic<int32_t> testPoint_{0};
    TuningRules tuning_;
    // Automatic tuning: the mean power of the frames the tones came from, and the last tones taken.
    double signalPower_ = 0.0;
    bool heldTones_ = false;
    double heldSpace_ = 0.0;
    double heldMark_ = 0.0;
    // Mends the spectrum's pair where steady carriers or a narrow shift mislead it.
    ToneSearch toneSearch_;

    ToneFilterDemodulator demodulator_;
    OruFSKCorrDemod16 *correlator_ = nullptr;
    OruFIR *correlatorFilter_ = nullptr;
    AdaptiveSlicer slicer_;
    int16_t correlatorOutput_[kFrameSize] = {};
    WeakSignalDemodulator weakSignal_;
    int16_t decisions_[kFrameSize] = {};

    int32_t majorityWindow_ = 0;
    OruArray<int16_t> majorityHistory_;
    int16_t cleaned_[kFrameSize] = {};
    TransitionIntervals intervals_;
    // A step towards a faster rate taken on an unclear peak is a trial: the peak that made it (0: no trial), the
    // bit length before its first step, the frames since the step, and whether a trial failed since the last
    // clear bit length, with the intervals fed by then.
    int32_t trialBin_ = 0;
    int32_t trialFrom_ = 0;
    int32_t trialAge_ = 0;
    bool trialFailed_ = false;
    uint64_t trialFailedAt_ = 0;
    // The level of the quiet between signals: frame power, following falls at once and rises slowly.
    double quietPower_ = 0.0;

    std::atomic<uint32_t> clippingColour_{0x000080};
    std::atomic<double> cpuUsage_{0.0};
};

} // namespace sirrel
