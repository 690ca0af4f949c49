#include "engine/decoder_engine.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <vector>

namespace sirrel {

namespace {

// a·cos(wn) + b·sin(wn), fitted to samples by least squares.
struct ToneFit {
    double w = 0.0;
    double a = 0.0;
    double b = 0.0;
    double residual = std::numeric_limits<double>::infinity();

    int16_t At(uint32_t n) const
    {
        const double v = a * std::cos(w * n) + b * std::sin(w * n);
        return int16_t(std::clamp(v, -32768.0, 32767.0));
    }
};

// c and s hold room for count values: the cosines and sines of the fit serve its residual too. They turn by a
// rotation, as the search fits thousands of tones; over a frame that leaves them within 1e-12 of the true values.
ToneFit FitTone(const int16_t *x, uint32_t count, double hertz, uint32_t rate, double *c, double *s)
{
    ToneFit fit;
    if (rate == 0 || !(hertz > 0.0))
        return fit;
    fit.w = 2.0 * std::numbers::pi * hertz / rate;
    const double turnC = std::cos(fit.w);
    const double turnS = std::sin(fit.w);
    double cn = 1.0, sn = 0.0;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (uint32_t n = 0; n < count; ++n) {
        c[n] = cn;
        s[n] = sn;
        cc += cn * cn;
        ss += sn * sn;
        cs += cn * sn;
        xc += x[n] * cn;
        xs += x[n] * sn;
        const double next = cn * turnC - sn * turnS;
        sn = sn * turnC + cn * turnS;
        cn = next;
    }
    const double det = cc * ss - cs * cs;
    if (!(std::abs(det) > 1e-9))
        return fit;
    fit.a = (xc * ss - xs * cs) / det;
    fit.b = (xs * cc - xc * cs) / det;
    fit.residual = 0.0;
    for (uint32_t n = 0; n < count; ++n) {
        const double e = x[n] - fit.a * c[n] - fit.b * s[n];
        fit.residual += e * e;
    }
    return fit;
}

} // namespace

DecoderEngine::DecoderEngine(AudioSource &source, const SettingsModel &settings, const DecoderColors &colors)
    : source_(source), settings_(settings), output_(colors), dispatcher_(settings_, output_),
      chain_(
          settings_,
          [this](const int16_t *levels, int32_t count, const DecoderParams &params, const int16_t *soft) {
              dispatcher_.Dispatch(levels, count, params, soft);
          },
          source.ProcessingRateFor(source.StartRate())),
      published_(settings)
{
    chain_.SetLevelMeter(source_.HasLevelMeter());
    rate_.store(chain_.ProcessingRate(), std::memory_order_relaxed);
}

DecoderEngine::~DecoderEngine() = default;

DecoderEngine::FrameHold::FrameHold(DecoderEngine &engine) : engine_(engine), lock_(engine.frameLock_)
{
    engine_.frameThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

DecoderEngine::FrameHold::FrameHold(DecoderEngine &engine, std::try_to_lock_t)
    : engine_(engine), lock_(engine.frameLock_, std::try_to_lock)
{
    if (lock_.owns_lock())
        engine_.frameThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

DecoderEngine::FrameHold::~FrameHold()
{
    if (lock_.owns_lock())
        engine_.frameThread_.store(std::thread::id(), std::memory_order_relaxed);
}

void DecoderEngine::SetDeliveredRate(uint32_t rate, bool force)
{
    chain_.SetProcessingRate(source_.ProcessingRateFor(rate), force);
    rate_.store(chain_.ProcessingRate(), std::memory_order_relaxed);
}

void DecoderEngine::Deliver(const int16_t *samples, uint32_t count, uint32_t step)
{
    if (!samples)
        return;
    if (step <= 1) {
        while (count > 0) {
            const uint32_t take = std::min(count, kFrameSize - fill_);
            std::copy(samples, samples + take, frame_ + fill_);
            fill_ += take;
            samples += take;
            count -= take;
            if (fill_ == kFrameSize)
                ProcessFrame(kFrameSize);
        }
        return;
    }
    for (uint64_t i = 0; i < count; i += step) {
        frame_[fill_++] = samples[i];
        if (fill_ == kFrameSize)
            ProcessFrame(kFrameSize);
    }
}

void DecoderEngine::FlushFrame()
{
    if (fill_ > 0)
        ProcessFrame(fill_);
}

void DecoderEngine::Finish()
{
    FrameHold frame(*this);
    RunEdits();
    dispatcher_.Finish();
    Publish();
}

void DecoderEngine::EndOfInput()
{
    // A measured bit rate drifts over a long idle tail; that tail already carries the last bits out.
    uint32_t left = settings_.baudAuto ? 0 : chain_.Latency();
    if (left > 0) {
        // The frame buffer holds the latest kFrameSize samples, the oldest at fill_.
        const uint32_t rate = chain_.ProcessingRate();
        const double baud = std::max(settings_.baudrate, 1.0);
        const uint32_t window = std::clamp(uint32_t(rate / baud / 2), 8u, kFrameSize);
        int16_t recent[kFrameSize];
        for (uint32_t i = 0; i < window; ++i)
            recent[i] = frame_[(fill_ + kFrameSize - window + i) % kFrameSize];
        // A line that ends is idle, so its last tone goes on (the tuned tones may have wandered during a long
        // idle): the filters empty without a jump that would show as a bit of its own.
        ToneFit best;
        std::vector<double> cosines(window);
        std::vector<double> sines(window);
        for (double tone = kMinTone; tone <= kMaxTone; tone += 1.0) {
            const ToneFit fit = FitTone(recent, window, tone, rate, cosines.data(), sines.data());
            if (fit.residual < best.residual)
                best = fit;
        }
        int16_t tail[256];
        for (uint32_t n = window; left > 0;) {
            const uint32_t take = std::min<uint32_t>(left, std::size(tail));
            for (uint32_t i = 0; i < take; ++i, ++n)
                tail[i] = best.At(n);
            Deliver(tail, take);
            left -= take;
        }
    }
    FlushFrame();
    Finish();
}

void DecoderEngine::Pump(const std::function<void(uint64_t samples)> &afterFrame)
{
    uint64_t total = 0;
    int16_t block[kFrameSize];
    for (;;) {
        const uint32_t got = source_.Read(block, kFrameSize - fill_);
        if (got == 0)
            break;
        Deliver(block, got);
        total += got;
        if (fill_ == 0 && afterFrame)
            afterFrame(total);
    }
    EndOfInput();
    if (afterFrame)
        afterFrame(total);
}

void DecoderEngine::ProcessFrame(uint32_t count)
{
    FrameHold frame(*this);
    RunEdits();
    chain_.ProcessFrame(frame_, count * 2);
    ++framesProcessed_;
    fill_ = 0;
    Publish();
}

void DecoderEngine::Post(SettingsEdit edit)
{
    if (!edit)
        return;
    {
        std::lock_guard<std::mutex> hold(editLock_);
        edits_.push_back(std::move(edit));
        editsWaiting_.store(true, std::memory_order_release);
    }
    // An edit posted from inside a frame or an edit waits for the next frame.
    if (frameThread_.load(std::memory_order_relaxed) == std::this_thread::get_id())
        return;
    // Nobody processes a frame: the engine may be idle for long, so the edit runs now.
    FrameHold frame(*this, std::try_to_lock);
    if (frame.Held()) {
        RunEdits();
        Publish();
    }
}

void DecoderEngine::ApplyPendingEdits()
{
    FrameHold frame(*this);
    RunEdits();
    Publish();
}

void DecoderEngine::RunEdits()
{
    if (!editsWaiting_.load(std::memory_order_acquire))
        return;
    std::vector<SettingsEdit> edits;
    {
        std::lock_guard<std::mutex> hold(editLock_);
        edits.swap(edits_);
        editsWaiting_.store(false, std::memory_order_relaxed);
    }
    EngineEdit context{settings_, chain_.Tuning(), chain_};
    for (SettingsEdit &edit : edits)
        edit(context);
}

void DecoderEngine::Publish()
{
    // Packet text asks for no view redraw of its own, but every written character is counted.
    const uint64_t views = output_.Redraws().views;
    const uint64_t statistics = output_.Redraws().statistics;
    if (views != seenViews_ || statistics != seenStatistics_)
        changes_.text.fetch_add(1, std::memory_order_release);
    if (statistics != seenStatistics_)
        changes_.statistics.fetch_add(1, std::memory_order_release);
    seenViews_ = views;
    seenStatistics_ = statistics;
    // A reader is copying: the next frame publishes instead, the frame thread does not wait for it.
    std::unique_lock<std::mutex> hold(publishLock_, std::try_to_lock);
    if (!hold.owns_lock() || settings_ == published_)
        return;
    if (settings_.space != published_.space || settings_.mark != published_.mark)
        changes_.tones.fetch_add(1, std::memory_order_release);
    if (settings_.baudrate != published_.baudrate)
        changes_.baudrate.fetch_add(1, std::memory_order_release);
    if (settings_.numbers != published_.numbers)
        changes_.shiftState.fetch_add(1, std::memory_order_release);
    published_ = settings_;
    changes_.settings.fetch_add(1, std::memory_order_release);
}

SettingsModel DecoderEngine::Published() const
{
    std::lock_guard<std::mutex> hold(publishLock_);
    return published_;
}

} // namespace sirrel
