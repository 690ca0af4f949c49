// SignalDisplay, engine side: the data of one tuning or scope display. The signal chain feeds it samples or
// counters; in the spectrum modes every feed updates the (averaged) level of every shown FFT bin, which the
// chain's automatic tuning reads back. Markers, time markers and scales are kept here, limited to the display's
// range, so that a window drawing the display later only shows what this object holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "dsp/oru_array.h"
#include "orurt.h"

namespace sirrel {

enum SignalDisplayMode : int32_t {
    kDisplayScope = 0,
    kDisplaySpectrum = 1,
    kDisplayWaterfall = 2,
};

enum SignalDisplayStyle : int32_t {
    kStyleLine = 1,
    kStyleBars = 2,
};

// One frequency marker as the display stores it (12 bytes).
struct FrequencyMarker {
    float position;  // hertz
    uint32_t colour; // 0x00BBGGRR
    uint8_t flags;
};

class SignalDisplay {
public:
    static constexpr uint32_t kMaxBufferSize = 1u << 30;
    static constexpr uint32_t kDefaultMarkerColour = 0x0000FFFF; // yellow
    static constexpr uint8_t kDefaultMarkerFlags = 0x07;
    static constexpr int32_t kMaxTimeMarkers = 2;

    // Called when the user drags a frequency or time marker, after the new position is stored.
    using MarkerMoved = std::function<void(SignalDisplay &display, int32_t index)>;

    SignalDisplay();
    ~SignalDisplay();
    SignalDisplay(const SignalDisplay &) = delete;
    SignalDisplay &operator=(const SignalDisplay &) = delete;

    // Holds the display's lock, for reading the sample buffer or the magnitudes while feeds may arrive.
    class Guard {
    public:
        explicit Guard(const SignalDisplay &display);
        ~Guard();
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;

    private:
        const SignalDisplay &display_;
    };

    void SetMode(int32_t mode);
    int32_t Mode() const { return mode_; }

    // Rounded up to a power of two, at most 2^30. A change clears the samples and the magnitudes.
    void SetBufferSize(uint32_t samples);
    uint32_t BufferSize() const { return bufferSize_; }
    void SetFFTWindowType(uint32_t type);
    uint32_t FFTWindowType() const { return windowType_; }

    void SetSamplingRate(float hertz); // at least 0.001
    float SamplingRate() const { return samplingRate_; }
    void SetMaximumFrequency(double hertz);
    double MinimumFrequency() const { return minFrequency_; }
    double MaximumFrequency() const { return maxFrequency_; }

    void SetLinear(bool linear) { linear_ = linear; }
    bool Linear() const { return linear_; }
    void SetLinearTop(float top); // (0, 1]
    float LinearTop() const { return linearTop_; }
    float LinearBottom() const { return linearBottom_; }
    void SetAveraging(bool on, float coefficient);
    bool Averaging() const { return averaging_; }
    float AveragingCoefficient() const { return averagingCoefficient_; }
    void SetStyle(int32_t style) { style_ = style; }
    int32_t Style() const { return style_; }

    // Frequency markers; indices outside the count are ignored (reads give 0).
    void SetMarkerCount(int32_t count);
    int32_t MarkerCount() const { return markerCount_; }
    void SetMarker(int32_t index, double hertz);
    float Marker(int32_t index) const;
    FrequencyMarker MarkerRecord(int32_t index) const;
    void SetMarkerMoved(MarkerMoved callback) { markerMoved_ = std::move(callback); }
    // The user's drag: stores the position as SetMarker does, then tells the call-back.
    void DragMarker(int32_t index, double hertz);

    // Time scope.
    void SetDivisions(int32_t divisions);
    int32_t Divisions() const { return divisions_; }
    void SetSecondsPerDivision(double seconds);
    double SecondsPerDivision() const { return secondsPerDivision_; }
    void SetTimeMarkerCount(int32_t count);
    int32_t TimeMarkerCount() const { return timeMarkerCount_; }
    // Returns the stored value, limited to 0 ... divisions x seconds per division.
    double SetTimeMarker(int32_t index, double seconds);
    double TimeMarker(int32_t index) const;
    void DragTimeMarker(int32_t index, double seconds);
    void SetFullScale(double value);
    double FullScale() const { return fullScale_; }
    void SetBottom(double value);
    double Bottom() const { return bottom_; }
    void SetLevelLine(double value); // kept between bottom and full scale
    double LevelLine() const { return levelLine_; }

    // Copies at most BufferSize values src[0], src[stride], ... (count of them) into the sample buffer and
    // requests an update; in the spectrum modes the levels are recomputed.
    void FeedSamples(const int16_t *src, uint32_t count, uint32_t stride);
    void FeedCounters(const int32_t *src, uint32_t count, uint32_t stride);

    const int32_t *Samples() const { return samples_.data(); }
    // One level per FFT bin (BufferSize / 2 of them): dB, or linear power with the linear flag.
    const float *Magnitudes() const { return magnitudes_.data(); }
    uint32_t MagnitudeCount() const { return magnitudes_.size(); }
    // Counts the repaints asked for; a window redraws when it sees the count move.
    uint32_t UpdateCount() const { return updates_.load(std::memory_order_relaxed); }
    // Counts the feeds alone: a waterfall adds one row per feed, not per marker move.
    uint32_t FeedCount() const { return feeds_.load(std::memory_order_relaxed); }

private:
    void Lock() const;
    void Unlock() const;
    float LimitToRange(double hertz) const;
    void LimitMarkers();
    void EnsureFFT();
    void UpdateSpectrum();
    void RequestUpdate() { updates_.fetch_add(1, std::memory_order_relaxed); }
    template <typename Sample> void Feed(const Sample *src, uint32_t count, uint32_t stride);

    mutable OruThreadExclusion lock_;
    int32_t mode_ = kDisplayScope;
    uint32_t bufferSize_ = 0;
    OruArray<int32_t> samples_;
    OruArray<float> magnitudes_;
    OruFFT2Float *fft_ = nullptr;
    uint32_t windowType_ = 0;

    float samplingRate_ = 11025.0f;
    double minFrequency_ = 0.0;
    double maxFrequency_ = 5512.5;
    bool linear_ = false;
    float linearTop_ = 1.0f;
    float linearBottom_ = 0.0f;
    bool averaging_ = false;
    float averagingCoefficient_ = 1.0f;
    int32_t style_ = kStyleLine;

    static constexpr int32_t kMaxMarkers = 16;
    FrequencyMarker markers_[kMaxMarkers] = {};
    int32_t markerCount_ = 0;
    MarkerMoved markerMoved_;

    int32_t divisions_ = 10;
    double secondsPerDivision_ = 0.001;
    double timeMarkers_[kMaxTimeMarkers] = {};
    int32_t timeMarkerCount_ = 0;
    double fullScale_ = 32767.0;
    double bottom_ = -32768.0;
    double levelLine_ = 0.0;

    std::atomic<uint32_t> updates_{0};
    std::atomic<uint32_t> feeds_{0};
};

} // namespace sirrel
