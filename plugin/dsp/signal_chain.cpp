// SignalChain: frame intake, demodulation, bit timing and the tuning rules.
#include "dsp/signal_chain.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "dsp/field_limit.h"

namespace sirrel {

namespace {

constexpr int32_t kToneFilterTaps = 127;
constexpr int32_t kMaxPostTaps = 255;
constexpr int32_t kMaxCorrelatorWindow = 511;
constexpr uint32_t kClipping = 0x0000FF;
constexpr uint32_t kNoClipping = 0x000080;
constexpr int32_t kClipLevel = 30000;

// Automatic tuning: a frame below this share of the signal's power is a pause and keeps the tones; the level
// of the signal follows its frames by kSignalFollow and sinks by kPauseDecay a pause frame, so that a weaker
// station is taken after some seconds.
constexpr double kPauseLevel = 0.75;
constexpr double kSignalFollow = 0.2;
constexpr double kPauseDecay = 0.95;
// Fewer intervals than this say nothing about the bit length.
constexpr uint32_t kMinIntervals = 16;
// A new bit length must outweigh the one in use this many times over.
constexpr int32_t kBitLengthMargin = 2;
// Frames of intervals after a trial step before its peak is judged.
constexpr int32_t kTrialFrames = 2;
// A signal begins with a frame 9 dB above the quiet before it; the quiet's level rises a tenth of the way to
// each louder frame, so it reaches a steady signal within seconds; digital silence counts as a floor of 1.
constexpr double kOnsetRatio = 8.0;
constexpr double kQuietRise = 0.1;
constexpr double kQuietFloor = 1.0;
// Weak-signal demodulator: bits summed per tone with a known rate (a matched filter; the start/stop framing
// weighs whole frames of it) and while the rate is measured; the moving average after the difference as a
// share of the sum (all measured on sweeps).
constexpr double kWeakClockedBits = 1.0;
constexpr double kWeakMeasuredBits = 0.5;
constexpr double kWeakSmoothing = 0.5;

bool IsStartStopMode(int32_t mode) { return mode == kModeIta2 || mode == kModeIra || mode == kModeAscii8; }

// Bins within about 6 % of a bit length count as that length.
int32_t BandReach(int32_t bin) { return bin / 16 + 2; }

// The strongest enhanced bin within about 6 % of the current bit length, when the overall peak `best` lies
// outside that band and does not outweigh it by kBitLengthMargin; else 0 (take `best`).
int32_t HeldBitLength(const int32_t *counters, int32_t start, int32_t best, double currentBin)
{
    const int32_t centre = int32_t(currentBin);
    const int32_t reach = BandReach(centre);
    const int32_t first = std::max(centre - reach, start);
    const int32_t last = std::min(centre + reach, kEnhancedHistogramBins - 1);
    if (first > last || (best >= first && best <= last))
        return 0;
    // A bit length in use that is two or three of the new one is a lock on runs of bits, kept by the narrow
    // filters that follow it; the multiples are already counted in the new peak.
    if (std::abs(centre - 2 * best) <= reach || std::abs(centre - 3 * best) <= reach)
        return 0;
    int32_t held = first;
    for (int32_t k = first + 1; k <= last; ++k)
        if (counters[k] > counters[held])
            held = k;
    if (counters[held] == 0 || int64_t(counters[best]) > int64_t(kBitLengthMargin) * counters[held])
        return 0;
    return held;
}

} // namespace

// ---- bit timing ----

void TransitionIntervals::Feed(const int16_t *bits, uint32_t count)
{
    // Far enough back that no interval counts any more, near enough that nothing overflows.
    constexpr int64_t kOldest = -(int64_t(1) << 30);
    int64_t last = lastTransition_;
    for (uint32_t i = 0; i < count; ++i) {
        if (bits[i] == lastBit_)
            continue;
        const int64_t interval = std::min<int64_t>(int64_t(i) - last, INT32_MAX);
        if (count_ == kCapacity) {
            head_ = (head_ + 1) % kCapacity;
            --count_;
        }
        ring_[(head_ + count_) % kCapacity] = int32_t(interval);
        ++count_;
        ++fed_;
        last = i;
        lastBit_ = bits[i];
    }
    lastTransition_ = int32_t(std::max(last - int64_t(count), kOldest));
}

int32_t BuildRawHistogram(const TransitionIntervals &intervals, int32_t (&counters)[kRawHistogramBins])
{
    std::fill(std::begin(counters), std::end(counters), 0);
    int32_t largest = 0;
    for (uint32_t i = 0; i < intervals.Count(); ++i) {
        const int32_t interval = intervals.Interval(i);
        if (interval >= 0 && interval < kRawHistogramBins)
            largest = std::max(largest, ++counters[interval]);
    }
    return largest;
}

int32_t EnhanceHistogram(int32_t (&c)[kRawHistogramBins])
{
    // In rising order every product reads only counters that are still raw.
    int32_t largest = 0;
    for (int32_t k = 0; k < 400; ++k) {
        c[k] = (c[2 * k] + c[3 * k] + 1) * c[k];
        largest = std::max(largest, c[k]);
    }
    for (int32_t k = 400; k < kEnhancedHistogramBins; ++k) {
        c[k] = (c[2 * k] + 1) * c[k];
        largest = std::max(largest, c[k]);
    }
    std::fill(c + kEnhancedHistogramBins, c + kRawHistogramBins, 0);
    return largest;
}

int32_t MajorityWindowFor(uint32_t rate)
{
    const int32_t window = int32_t(((rate / 2000 + 1) & ~1u) - 1);
    return std::max(window, 1);
}

void MajorityVote(int16_t *history, int32_t window, const int16_t *bits, uint32_t count, int16_t *out)
{
    if (window < 1 || count == 0)
        return;
    const uint32_t w = uint32_t(window);
    // out[i] is the majority of the last w levels up to bits[i]: history followed by bits, slid by one each time.
    int32_t ones = 0;
    for (uint32_t j = 0; j < w; ++j)
        ones += history[j];
    out[0] = 2 * ones > window ? 1 : 0;
    const uint32_t fromHistory = std::min(count, w + 1);
    for (uint32_t i = 1; i < fromHistory; ++i) {
        ones += bits[i - 1] - history[i - 1];
        out[i] = 2 * ones > window ? 1 : 0;
    }
    for (uint32_t i = fromHistory; i < count; ++i) {
        ones += bits[i - 1] - bits[i - 1 - w];
        out[i] = 2 * ones > window ? 1 : 0;
    }
    if (count >= w) {
        std::copy(bits + (count - w), bits + count, history);
    } else {
        std::copy(history + count, history + w, history);
        std::copy(bits, bits + count, history + (w - count));
    }
}

TonePair FindTones(const float *magnitudes, uint32_t count, uint32_t rate, int32_t shift)
{
    if (!magnitudes || count == 0 || rate == 0)
        return {0, 0};
    // 100 Hz, 2900 Hz and 130 Hz as bins of a 2048-point spectrum; the scan stays inside the array.
    const uint32_t lo = std::min(204800 / rate, count - 1);
    const uint32_t hi = std::min(5939200 / rate, count);
    const int64_t apart = 266240 / rate;
    uint32_t p1 = lo;
    for (uint32_t k = lo + 1; k < hi; ++k)
        if (magnitudes[k] > magnitudes[p1])
            p1 = k;
    uint32_t p2 = lo;
    for (uint32_t k = lo + 1; k < hi; ++k)
        if (magnitudes[k] > magnitudes[p2] && std::llabs(int64_t(k) - int64_t(p1)) > apart)
            p2 = k;
    const TonePair tones = {int32_t((uint64_t(rate) * std::min(p1, p2)) >> 11),
                            int32_t((uint64_t(rate) * std::max(p1, p2)) >> 11)};
    return LockShift(tones, shift, true);
}

namespace {

// The share of the stored intervals, in percent, that must lie at one to three times a new bit length.
constexpr uint32_t kClearShare = 40;

bool NearBitLength(int32_t bin, double currentBin)
{
    const int32_t centre = int32_t(currentBin);
    return std::abs(bin - centre) <= BandReach(centre);
}

bool ClearBitLength(const TransitionIntervals &intervals, int32_t bin)
{
    const int32_t reach = BandReach(bin);
    uint32_t near = 0;
    for (uint32_t i = 0; i < intervals.Count(); ++i) {
        const int32_t interval = intervals.Interval(i);
        for (int32_t bits = 1; bits <= 3; ++bits) {
            if (std::abs(interval - bits * bin) <= reach) {
                ++near;
                break;
            }
        }
    }
    return near * 100 >= intervals.Count() * kClearShare;
}

} // namespace

// ---- the chain ----

SignalChain::SignalChain(SettingsModel &settings, DispatchTarget dispatch, uint32_t startRate)
    : settings_(settings), dispatch_(std::move(dispatch)),
      tuning_(settings, spectrum_, waterfall_, rawTiming_, enhancedTiming_)
{
    for (SignalDisplay *display : {&spectrum_, &waterfall_}) {
        display->SetMode(display == &spectrum_ ? kDisplaySpectrum : kDisplayWaterfall);
        display->SetBufferSize(kFrameSize);
        display->SetFFTWindowType(ORU_FFT_BLACKMAN);
        display->SetMaximumFrequency(kMaxTone);
        display->SetMarkerCount(2);
        display->SetAveraging(true, display->AveragingCoefficient());
        display->SetMarker(0, settings_.space);
        display->SetMarker(1, settings_.mark);
        display->SetMarkerMoved([this](SignalDisplay &d, int32_t which) { tuning_.ToneMarkerMoved(d, which); });
    }
    for (SignalDisplay *display : {&rawTiming_, &enhancedTiming_}) {
        display->SetMode(kDisplayScope);
        display->SetBufferSize(kRawHistogramBins);
        display->SetDivisions(10);
        display->SetSecondsPerDivision(0.005);
        display->SetTimeMarkerCount(2);
        display->SetFullScale(display == &rawTiming_ ? 1200.0 : 4800.0);
        display->SetBottom(0.0);
        const double period = 1.0 / FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud);
        display->SetTimeMarker(0, period);
        display->SetTimeMarker(1, 2.0 * period);
        display->SetMarkerMoved([this](SignalDisplay &d, int32_t which) { tuning_.BitTimingMarkerMoved(d, which); });
    }
    scope_.SetMode(kDisplayScope);
    scope_.SetBufferSize(kFrameSize);
    scope_.SetDivisions(10);
    scope_.SetSecondsPerDivision(0.008);

    demodulator_.SetBlockSize(int32_t(kFrameSize));
    demodulator_.SetToneFilterTaps(kToneFilterTaps);

    correlator_ = OruFSKCorrDemod16_Construct(nullptr);
    OruFSKCorrDemod_BufferSize(correlator_, kFrameSize);
    correlatorFilter_ = OruFIR1616_Construct(nullptr);
    OruFIR_BufferSize(correlatorFilter_, int32_t(kFrameSize));
    OruFIR_FIRType(correlatorFilter_, ORU_FIR_LOWPASS);
    OruFIR_TapsNum(correlatorFilter_, kToneFilterTaps);

    SetProcessingRate(startRate, true);
}

SignalChain::~SignalChain()
{
    OruFSKCorrDemod_Destruct(correlator_, 1);
    OruFIR_Destruct(correlatorFilter_, 1);
}

void SignalChain::SetProcessingRate(uint32_t rate, bool force)
{
    // Every bin, tap count and bit length is a division by the rate.
    if (rate == 0 || (rate == rate_ && !force))
        return;
    rate_ = rate;
    for (SignalDisplay *display : {&spectrum_, &waterfall_, &rawTiming_, &enhancedTiming_})
        display->SetSamplingRate(float(rate));
    demodulator_.SetTableLength(rate > INT32_MAX ? INT32_MAX : int32_t(rate));
    OruFSKCorrDemod_SamplingRate(correlator_, float(rate));
    OruFIR_SamplingRate(correlatorFilter_, float(rate));
    const int32_t window = MajorityWindowFor(rate);
    if (window != majorityWindow_ && majorityHistory_.Resize(uint32_t(window)))
        majorityWindow_ = window;
}

void SignalChain::ProcessFrame(const int16_t *samples, uint32_t byteCount)
{
    if (!samples)
        return;
    uint32_t n = byteCount / 2;
    while (n > 0) {
        const uint32_t block = std::min(n, kFrameSize);
        ProcessBlock(samples, block);
        samples += block;
        n -= block;
    }
}

void SignalChain::ProcessBlock(const int16_t *x, uint32_t n)
{
    const OruCPUInfo *cpu = _CPU();
    const uint64_t start = OruCPUInfo_GetTimer(cpu);

    if (levelMeter_) {
        const bool clipped = std::any_of(x, x + n, [](int16_t v) { return v > kClipLevel || v < -kClipLevel; });
        clippingColour_.store(clipped ? kClipping : kNoClipping, std::memory_order_relaxed);
    }

    if (displaysShown_ || settings_.tuneAuto)
        spectrum_.FeedSamples(x, n, 1);
    if (displaysShown_)
        waterfall_.FeedSamples(x, n, 1);

    double space = 0.0;
    double mark = 0.0;
    double power = 0.0;
    for (uint32_t i = 0; i < n; ++i)
        power += double(x[i]) * x[i];
    power /= std::max(n, 1u);
    // Without a rate (or the memory of the vote) the frame is only shown.
    if (rate_ != 0 && majorityHistory_.data() && TakeTones(x, n, power, space, mark)) {
        const DemodulatorChoice choice = settings_.Demodulator();
        const int16_t *bits = choice == kDemodCorrelative  ? DemodulateCorrelative(x, n, space, mark)
                              : choice == kDemodWeakSignal ? DemodulateWeakSignal(x, n, space, mark)
                                                           : DemodulateToneFilters(x, n, space, mark);
        MajorityVote(majorityHistory_.data(), majorityWindow_, bits, n, cleaned_);
        // The intervals measured on the noise before a signal outnumber its own for many seconds, and the filters
        // set for the rate the noise gave keep feeding them: the measurement starts afresh with the signal.
        if (SignalBegins(power) && settings_.baudAuto) {
            intervals_.Clear();
            trialBin_ = 0;
            trialFailed_ = false;
        }
        const int32_t baud = MeasureBitRate(cleaned_, n);
        if (dispatch_) {
            DecoderParams params;
            FillDecoderParams(settings_, params);
            params.samplesPerBit = double(rate_) / baud;
            // The weak-signal demodulator's soft values let the start/stop framing weigh whole frames.
            params.options.softTiming = choice == kDemodWeakSignal && IsStartStopMode(settings_.mode);
            const int16_t *soft = choice == kDemodWeakSignal ? weakSignal_.Soft() : nullptr;
            dispatch_(params.options.softTiming ? soft : cleaned_, int32_t(n), params, soft);
        }
    }

    const uint64_t ticksPerSecond = uint64_t(cpu->ClockRate) | (uint64_t(cpu->ClockRateHigh) << 32);
    if (ticksPerSecond != 0) {
        const double spent = double(OruCPUInfo_GetTimer(cpu) - start);
        const double usage = spent * 100.0 / double(ticksPerSecond) * (double(rate_) / kFrameSize);
        const double k = settings_.cpuSmoothing;
        cpuUsage_.store((1.0 - k) * usage + k * cpuUsage_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
}

// The tones of this frame; false when they are not both within 200 ... 3000 Hz.
bool SignalChain::TakeTones(const int16_t *x, uint32_t n, double power, double &space, double &mark)
{
    // A frame well below the level of the signal (the pause between ARQ blocks) has no tones to find: its
    // spectrum would give the lowest bin or a sidelobe. It keeps the tones of the signal, and it is still
    // demodulated so that the bit clock keeps counting through the pause.
    if (settings_.tuneAuto && heldTones_ && power < signalPower_ * kPauseLevel) {
        signalPower_ *= kPauseDecay;
        space = heldSpace_;
        mark = heldMark_;
        return true;
    }
    if (settings_.tuneAuto) {
        const int32_t shift = tuning_.SelectedShift();
        if (toneSearch_.Rate() != rate_)
            toneSearch_.SetRate(rate_);
        toneSearch_.Feed(x, n);
        TonePair tones;
        {
            SignalDisplay::Guard guard(spectrum_);
            tones = FindTones(spectrum_.Magnitudes(), spectrum_.MagnitudeCount(), rate_, shift);
        }
        tones = toneSearch_.Mend(tones, shift);
        tuning_.SetToneMarkers(tones.low, tones.high);
        space = spectrum_.Marker(0);
        mark = spectrum_.Marker(1);
        settings_.space = FieldLimit(space, 1.0, kMaxTone);
        settings_.mark = FieldLimit(mark, 1.0, kMaxTone);
    } else {
        space = settings_.space;
        mark = settings_.mark;
    }
    // Typed tones may stand in either order: both must lie in the band.
    const double low = std::min(space, mark);
    const double high = std::max(space, mark);
    const bool inBand = low >= kMinTone && high <= kMaxTone;
    if (settings_.tuneAuto && inBand) {
        signalPower_ = heldTones_ ? signalPower_ + (power - signalPower_) * kSignalFollow : power;
        heldTones_ = true;
        heldSpace_ = space;
        heldMark_ = mark;
    } else if (!settings_.tuneAuto) {
        heldTones_ = false;
    }
    return inBand;
}

const int16_t *SignalChain::DemodulateToneFilters(const int16_t *x, uint32_t n, double space, double mark)
{
    const DemodulatorChoice choice = settings_.Demodulator();
    demodulator_.SetHighSpeed(choice == kDemodHighSpeed);
    int32_t b = int32_t(FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud));
    if (settings_.baudAuto)
        b *= 2;
    demodulator_.SetPostFilterCutOff(float(b));
    const int32_t taps = std::min(int32_t(double(rate_) / b), kMaxPostTaps);
    demodulator_.SetOptimal(choice == kDemodOptimal);
    // Leaving "Optimal" puts the tone filters back to their normal length.
    demodulator_.SetToneFilterTaps(choice == kDemodOptimal ? taps : kToneFilterTaps);
    demodulator_.SetPostFilterTaps(taps);
    demodulator_.SetTones(space, mark);
    demodulator_.Process(x, n);
    if (displaysShown_)
        scope_.FeedSamples(TestPointSignal(x), n, 1);
    return demodulator_.DecidedBits();
}

const int16_t *SignalChain::DemodulateCorrelative(const int16_t *x, uint32_t n, double space, double mark)
{
    correlator_->Tone1Frequency = float(space);
    correlator_->Tone2Frequency = float(mark);
    const double baud = FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud);
    float bitRate;
    if (settings_.baudAuto) {
        bitRate = float(baud <= 1000.0 ? 2.0 * baud : 2000.0);
    } else {
        const int32_t window = std::clamp(int32_t(rate_ * (1.0 / baud)), 1, kMaxCorrelatorWindow);
        bitRate = float(double(rate_) / window);
    }
    OruFSKCorrDemod_BitRate(correlator_, bitRate);
    OruFSKCorrDemod16_Process_16_16(correlator_, x, nullptr, int32_t(n), 1);

    OruFIR_CutOffHigh(correlatorFilter_, float(baud));
    OruFIR1616_Process_16_16(correlatorFilter_, correlatorOutput_, correlator_->WorkBuffer, int32_t(n), 1, 1);

    slicer_.Process(correlatorOutput_, n);

    if (displaysShown_)
        scope_.FeedSamples(TestPointSignal(x), n, 1);
    for (uint32_t i = 0; i < n; ++i)
        decisions_[i] = correlatorOutput_[i] > 0 ? 1 : 0;
    return decisions_;
}

int32_t SignalChain::WeakSignalIntegration() const
{
    const double baud = FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud);
    double bits = kWeakClockedBits;
    // A measured rate may still be too slow: half a bit still resolves a signal of twice the rate, as the
    // correlator runs at twice the rate.
    if (settings_.baudAuto)
        bits = kWeakMeasuredBits;
    return std::max(int32_t(double(rate_) / baud * bits), 1);
}

const int16_t *SignalChain::DemodulateWeakSignal(const int16_t *x, uint32_t n, double space, double mark)
{
    weakSignal_.SetRate(rate_);
    const int32_t integration = WeakSignalIntegration();
    weakSignal_.SetLengths(integration, int32_t(integration * kWeakSmoothing));
    weakSignal_.SetTones(space, mark);
    weakSignal_.Process(x, n);
    if (displaysShown_)
        scope_.FeedSamples(TestPointSignal(x), n, 1);
    return weakSignal_.DecidedBits();
}

const int16_t *SignalChain::TestPointSignal(const int16_t *input) const
{
    using F = ToneFilterDemodulator;
    const F &d = demodulator_;
    switch (ScopeTestPoint()) {
    case kScopeLowIIn:
        return d.FilterInput(F::kILow);
    case kScopeLowQIn:
        return d.FilterInput(F::kQLow);
    case kScopeHighIIn:
        return d.FilterInput(F::kIHigh);
    case kScopeHighQIn:
        return d.FilterInput(F::kQHigh);
    case kScopeLowIOut:
        return d.FilterOutput(F::kILow);
    case kScopeLowQOut:
        return d.FilterOutput(F::kQLow);
    case kScopeHighIOut:
        return d.FilterOutput(F::kIHigh);
    case kScopeHighQOut:
        return d.FilterOutput(F::kQHigh);
    case kScopeLowMagnitude:
        return d.HighSpeed() ? d.FilterInput(F::kPost) : d.LowMagnitude();
    case kScopeHighMagnitude:
        return d.HighMagnitude();
    case kScopePostIn:
        return d.FilterInput(F::kPost);
    case kScopePostOut:
        return d.FilterOutput(F::kPost);
    case kScopeThreshold:
        return d.Threshold();
    case kScopeDecision:
        if (settings_.Demodulator() == kDemodWeakSignal)
            return weakSignal_.Soft();
        return settings_.Demodulator() == kDemodCorrelative ? correlatorOutput_ : d.DecidedBits();
    default:
        return input;
    }
}

uint32_t SignalChain::Latency() const
{
    if (rate_ == 0)
        return 0;
    const double baud = FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud);
    int64_t delay = (int64_t(majorityWindow_) + 1) / 2;
    // The last bit's sum peaks at the bit's end, and the moving average follows it.
    if (settings_.Demodulator() == kDemodWeakSignal) {
        const int32_t integration = WeakSignalIntegration();
        return uint32_t(delay + integration + int32_t(integration * kWeakSmoothing));
    }
    if (settings_.Demodulator() == kDemodCorrelative) {
        // The correlation window slides over about one bit, the smoothing filter follows.
        const double bitRate = settings_.baudAuto ? std::min(2.0 * baud, 2000.0) : baud;
        delay += std::clamp(int64_t(rate_ / bitRate), int64_t(1), int64_t(kMaxCorrelatorWindow)) / 2;
        delay += (kToneFilterTaps - 1) / 2;
        return uint32_t(delay);
    }
    const int32_t b = int32_t(baud) * (settings_.baudAuto ? 2 : 1);
    const int32_t postTaps = std::min(int32_t(double(rate_) / b), kMaxPostTaps);
    const bool optimal = settings_.Demodulator() == kDemodOptimal;
    delay += ((optimal ? postTaps : kToneFilterTaps) - 1) / 2;
    if (!optimal)
        delay += (postTaps - 1) / 2;
    return uint32_t(delay);
}

// Records the transitions, shows both histograms and returns the bit rate for the decoders.
int32_t SignalChain::MeasureBitRate(const int16_t *bits, uint32_t n)
{
    intervals_.Feed(bits, n);
    int32_t counters[kRawHistogramBins];
    const int32_t rawTop = BuildRawHistogram(intervals_, counters);
    if (displaysShown_) {
        rawTiming_.SetFullScale(rawTop);
        rawTiming_.FeedCounters(counters, kRawHistogramBins, 1);
    }
    const int32_t enhancedTop = EnhanceHistogram(counters);
    if (displaysShown_) {
        enhancedTiming_.SetFullScale(enhancedTop);
        enhancedTiming_.FeedCounters(counters, kEnhancedHistogramBins, 1);
    }

    const double current = FieldLimit(settings_.baudrate, kMinBaud, kMaxBaud);
    if (!settings_.baudAuto)
        return int32_t(current);
    trialAge_ = std::min(trialAge_ + 1, kTrialFrames);
    // The search starts at 2000 bit/s; a bin 0 would be no bit length at all.
    const int32_t start = std::clamp(int32_t(rate_ / 2000), 1, kEnhancedHistogramBins - 1);
    int32_t best = start;
    for (int32_t k = start + 1; k < kEnhancedHistogramBins; ++k)
        if (counters[k] > counters[best])
            best = k;
    // An idle tone gives no transitions, or only the few of the demodulator settling: nothing to measure. The
    // first bin would be taken for 2000 bit/s, the correlator would follow and its noise would hold it there.
    if (counters[best] == 0 || intervals_.Count() < kMinIntervals)
        return int32_t(current);
    // Noise adds short intervals to a weak signal. Leave the current bit length only for a peak that clearly
    // outweighs the counts around it; until then follow the peak around the current bit length.
    const int32_t held = HeldBitLength(counters, start, best, rate_ * (1.0 / current));
    if (held > 0)
        best = held;
    // Noise alone spreads its intervals widely and its enhanced peak means nothing; a new bit length needs a
    // good share of the intervals at one to three bit lengths. A faster signal is smeared by the filters set
    // for the current rate: the rate goes at most twice as fast a frame towards its peak until it shows clearly,
    // each step a trial that the peak must pass.
    else if (!NearBitLength(best, rate_ * (1.0 / current)) && !ClearBitLength(intervals_, best)) {
        const int32_t bin = int32_t(rate_ * (1.0 / current));
        const int32_t half = bin / 2;
        if (best > half || half <= start)
            return int32_t(current);
        const int32_t step = TrialStep(best, bin);
        if (step == 0)
            return int32_t(current);
        best = step;
    } else {
        // The bit length in use or a clear one: the trial, if any, is over.
        trialBin_ = 0;
        trialFailed_ = false;
    }
    rawTiming_.SetTimeMarker(0, double(best) / rate_);
    tuning_.BitTimingMarkerMoved(rawTiming_, 0);
    const double measured = std::max(double(int32_t(rate_ * (1.0 / best))), kMinBaud);
    if (measured != settings_.baudrate)
        settings_.baudrate = FieldLimit(measured, kMinBaud, kMaxBaud);
    return int32_t(measured);
}

bool SignalChain::SignalBegins(double power)
{
    power = std::max(power, kQuietFloor);
    const bool begins = quietPower_ > 0.0 && power > quietPower_ * kOnsetRatio;
    quietPower_ = quietPower_ == 0.0 || power < quietPower_ ? power : quietPower_ + (power - quietPower_) * kQuietRise;
    return begins;
}

// A step from `bin` to half of it towards the unclear peak `best`; 0 keeps the bit length. The filters' own
// noise has its peak at a fixed share of the bit length in use and follows every step, where a signal's peak
// stays: a peak that fell well below the one that made the step ends the trial at the bit length before it.
int32_t SignalChain::TrialStep(int32_t best, int32_t bin)
{
    if (trialBin_ == 0) {
        // After a failed trial, until the ring has been filled anew.
        if (trialFailed_ && intervals_.Fed() - trialFailedAt_ < TransitionIntervals::kCapacity)
            return 0;
        trialFrom_ = bin;
    } else if (trialAge_ < kTrialFrames) {
        return 0;
    } else if (3 * best < 2 * trialBin_) {
        // What the faster filters let through is noise: it would outweigh the signal for long.
        intervals_.Clear();
        trialBin_ = 0;
        trialFailed_ = true;
        trialFailedAt_ = intervals_.Fed();
        return trialFrom_;
    }
    trialBin_ = best;
    trialAge_ = 0;
    return bin / 2;
}

} // namespace sirrel
