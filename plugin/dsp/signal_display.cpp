// SignalDisplay: buffers, spectrum levels, markers and scales of one display.
#include "dsp/signal_display.h"

#include <algorithm>
#include <cmath>

#include "dsp/field_limit.h"

namespace sirrel {

namespace {

uint32_t RoundUpToPowerOfTwo(uint32_t n)
{
    if (n >= SignalDisplay::kMaxBufferSize)
        return SignalDisplay::kMaxBufferSize;
    uint32_t size = 1;
    while (size < n)
        size <<= 1;
    return size;
}

} // namespace

SignalDisplay::Guard::Guard(const SignalDisplay &display) : display_(display) { display_.Lock(); }

SignalDisplay::Guard::~Guard() { display_.Unlock(); }

SignalDisplay::SignalDisplay()
{
    OruThreadExclusion_Construct(&lock_);
    SetBufferSize(1);
}

SignalDisplay::~SignalDisplay()
{
    OruFFT_Destruct(fft_, 1);
    OruThreadExclusion_Destruct(&lock_, 0);
}

void SignalDisplay::Lock() const { OruThreadExclusion_Enter(&lock_); }

void SignalDisplay::Unlock() const { OruThreadExclusion_Leave(&lock_); }

void SignalDisplay::SetMode(int32_t mode)
{
    Guard guard(*this);
    mode_ = mode;
    EnsureFFT();
}

void SignalDisplay::SetBufferSize(uint32_t samples)
{
    Guard guard(*this);
    const uint32_t size = RoundUpToPowerOfTwo(samples);
    if (size == bufferSize_)
        return;
    OruArray<int32_t> newSamples;
    OruArray<float> newMagnitudes;
    if (!newSamples.Resize(size) || !newMagnitudes.Resize(size / 2))
        return;
    samples_.Swap(newSamples);
    magnitudes_.Swap(newMagnitudes);
    bufferSize_ = size;
    if (fft_)
        OruFFT2Float_BufferSize(fft_, size);
}

void SignalDisplay::SetFFTWindowType(uint32_t type)
{
    Guard guard(*this);
    windowType_ = type;
    if (fft_)
        OruFFT_WindowType(fft_, type);
}

void SignalDisplay::EnsureFFT()
{
    if (fft_ || (mode_ != kDisplaySpectrum && mode_ != kDisplayWaterfall))
        return;
    fft_ = OruFFT2Float_Construct(nullptr);
    if (!fft_)
        return;
    OruFFT2Float_BufferSize(fft_, bufferSize_);
    OruFFT_WindowType(fft_, windowType_);
}

void SignalDisplay::SetSamplingRate(float hertz)
{
    Guard guard(*this);
    samplingRate_ = float(FieldLimit(hertz, 0.001, 1e30));
}

void SignalDisplay::SetMaximumFrequency(double hertz)
{
    Guard guard(*this);
    const bool aboveMinimum = hertz > minFrequency_;
    maxFrequency_ = hertz > 0.0 ? hertz : 0.001;
    if (!aboveMinimum)
        minFrequency_ = 0.999 * maxFrequency_;
    LimitMarkers();
}

void SignalDisplay::SetLinearTop(float top)
{
    Guard guard(*this);
    if (top > 1.0f)
        top = 1.0f;
    else if (!(top > 0.0f))
        top = 1e-9f;
    linearTop_ = top;
    LimitMarkers();
}

void SignalDisplay::SetAveraging(bool on, float coefficient)
{
    averaging_ = on;
    averagingCoefficient_ = coefficient;
}

float SignalDisplay::LimitToRange(double hertz) const { return float(FieldLimit(hertz, minFrequency_, maxFrequency_)); }

void SignalDisplay::LimitMarkers()
{
    for (int32_t i = 0; i < markerCount_; ++i)
        SetMarker(i, markers_[i].position);
}

void SignalDisplay::SetMarkerCount(int32_t count)
{
    Guard guard(*this);
    count = std::clamp(count, 0, kMaxMarkers);
    for (int32_t i = markerCount_; i < count; ++i)
        markers_[i] = {float(minFrequency_), kDefaultMarkerColour, kDefaultMarkerFlags};
    markerCount_ = count;
}

void SignalDisplay::SetMarker(int32_t index, double hertz)
{
    Guard guard(*this);
    if (index < 0 || index >= markerCount_)
        return;
    const float position = LimitToRange(hertz);
    if (position == markers_[index].position)
        return;
    markers_[index].position = position;
    RequestUpdate();
}

float SignalDisplay::Marker(int32_t index) const
{
    Guard guard(*this);
    return index >= 0 && index < markerCount_ ? markers_[index].position : 0.0f;
}

FrequencyMarker SignalDisplay::MarkerRecord(int32_t index) const
{
    Guard guard(*this);
    return index >= 0 && index < markerCount_ ? markers_[index] : FrequencyMarker{};
}

void SignalDisplay::DragMarker(int32_t index, double hertz)
{
    if (index < 0 || index >= markerCount_)
        return;
    SetMarker(index, hertz);
    if (markerMoved_)
        markerMoved_(*this, index);
}

void SignalDisplay::SetDivisions(int32_t divisions)
{
    Guard guard(*this);
    divisions_ = std::max(divisions, 1);
    for (int32_t i = 0; i < timeMarkerCount_; ++i)
        SetTimeMarker(i, timeMarkers_[i]);
}

void SignalDisplay::SetSecondsPerDivision(double seconds)
{
    Guard guard(*this);
    secondsPerDivision_ = FieldLimit(seconds, 1e-9, 1e30);
    for (int32_t i = 0; i < timeMarkerCount_; ++i)
        SetTimeMarker(i, timeMarkers_[i]);
}

void SignalDisplay::SetTimeMarkerCount(int32_t count)
{
    Guard guard(*this);
    count = std::clamp(count, 0, kMaxTimeMarkers);
    for (int32_t i = timeMarkerCount_; i < count; ++i)
        timeMarkers_[i] = 0.0;
    timeMarkerCount_ = count;
}

double SignalDisplay::SetTimeMarker(int32_t index, double seconds)
{
    Guard guard(*this);
    if (index < 0 || index >= timeMarkerCount_)
        return 0.0;
    const double value = FieldLimit(seconds, 0.0, divisions_ * secondsPerDivision_);
    if (value != timeMarkers_[index]) {
        timeMarkers_[index] = value;
        RequestUpdate();
    }
    return value;
}

double SignalDisplay::TimeMarker(int32_t index) const
{
    Guard guard(*this);
    return index >= 0 && index < timeMarkerCount_ ? timeMarkers_[index] : 0.0;
}

void SignalDisplay::DragTimeMarker(int32_t index, double seconds)
{
    if (index < 0 || index >= timeMarkerCount_)
        return;
    SetTimeMarker(index, seconds);
    if (markerMoved_)
        markerMoved_(*this, index);
}

void SignalDisplay::SetFullScale(double value)
{
    Guard guard(*this);
    fullScale_ = value;
    SetLevelLine(levelLine_);
}

void SignalDisplay::SetBottom(double value)
{
    Guard guard(*this);
    bottom_ = value;
    SetLevelLine(levelLine_);
}

void SignalDisplay::SetLevelLine(double value)
{
    Guard guard(*this);
    levelLine_ = FieldLimit(value, std::min(bottom_, fullScale_), std::max(bottom_, fullScale_));
}

template <typename Sample> void SignalDisplay::Feed(const Sample *src, uint32_t count, uint32_t stride)
{
    if (!src)
        return;
    Guard guard(*this);
    const uint32_t taken = std::min(count, bufferSize_);
    const size_t step = stride < 1 ? 1 : stride;
    int32_t *dst = samples_.data();
    for (uint32_t i = 0; i < taken; ++i)
        dst[i] = src[i * step];
    if (mode_ == kDisplaySpectrum || mode_ == kDisplayWaterfall)
        UpdateSpectrum();
    feeds_.fetch_add(1, std::memory_order_relaxed);
    RequestUpdate();
}

void SignalDisplay::FeedSamples(const int16_t *src, uint32_t count, uint32_t stride) { Feed(src, count, stride); }

void SignalDisplay::FeedCounters(const int32_t *src, uint32_t count, uint32_t stride) { Feed(src, count, stride); }

void SignalDisplay::UpdateSpectrum()
{
    if (!fft_ || !fft_->Module)
        return;
    const uint32_t n = bufferSize_;
    const uint32_t half = n / 2;
    if (half == 0)
        return;

    // The shown range as bins: at least one, never past the last bin below the Nyquist frequency.
    const double binsPerHertz = double(n - 1) / samplingRate_;
    const uint32_t top = half - 1;
    const uint32_t last = uint32_t(FieldLimit(maxFrequency_ * binsPerHertz, 0.0, top));
    const uint32_t first = std::min(uint32_t(FieldLimit(minFrequency_ * binsPerHertz, 0.0, top)), last);

    // A narrow range is cheaper bin by bin than as a whole transform.
    if (last - first + 1 < n / 12)
        fft_->ComputeBins32(fft_, samples_.data(), n, first, last);
    else
        fft_->ComputeReal32(fft_, samples_.data(), n);

    const double scale = 4.0 / (65535.0 * double(n));
    const float normalise = float(scale * scale);
    const float a = averagingCoefficient_;
    const float *power = fft_->Module;
    float *level = magnitudes_.data();
    for (uint32_t k = first; k <= last; ++k) {
        float value = power[k] * normalise;
        if (!linear_)
            value = 10.0f * std::log10(value + 1e-30f);
        if (averaging_)
            value = (1.0f - a) * level[k] + a * value;
        level[k] = value;
    }
}

} // namespace sirrel
