// WeakSignalDemodulator: two-tone FSK for weak and fading signals. Each tone is mixed down to 0 Hz and summed
// over about one bit (the matched filter of a keyed tone). The difference of the two envelopes is taken half
// as it is and half with each envelope scaled between its own tracked "on" level and noise floor, so that a
// tone that fades on its own, or a receiver filter that favours one tone, moves the decision less, while the
// plain difference, best in steady noise, keeps the other half. A short moving average then smooths the
// difference, so that noise does not split the edges that the bit clocks follow. The decision is its sign,
// one per sample.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace sirrel {

class WeakSignalDemodulator {
public:
    // Soft value of a full-scale decision.
    static constexpr int32_t kSoftScale = 8000;

    // Rate in hertz of the samples given to Process. A change retunes the oscillators.
    void SetRate(uint32_t rate);
    // Either order; the lower tone decides a 1, as with the tone filters.
    void SetTones(double space, double mark);
    // Samples summed per tone (about one bit) and samples of the moving average after the difference; each
    // at least 1. A change empties the filters.
    void SetLengths(int32_t integration, int32_t smoothing);
    // Writes count soft values and decisions (the buffers grow to the longest block).
    void Process(const int16_t *samples, uint32_t count);

    uint32_t Rate() const { return rate_; }
    int32_t Integration() const { return length_; }
    int32_t Smoothing() const { return smoothLength_; }
    double LowTone() const { return tones_[0].frequency; }
    double HighTone() const { return tones_[1].frequency; }
    // Samples by which an edge of the decisions lags the edge of the signal.
    int32_t Delay() const { return length_ / 2 + smoothLength_ / 2; }
    // The smoothed difference of the last block: about +kSoftScale for the low tone, -kSoftScale for the high.
    const int16_t *Soft() const { return soft_.data(); }
    // 1 where the low tone wins, else 0; a sample with no difference at all keeps the previous decision.
    const int16_t *DecidedBits() const { return bits_.data(); }
    // The tracked on level and floor of the low (0) and high (1) tone's envelope, in input units.
    double Level(int which) const { return tones_[which].level; }
    double Floor(int which) const { return tones_[which].floor; }

private:
    struct Tone {
        double frequency = 0.0;
        std::complex<double> phasor{1.0, 0.0};
        std::complex<double> step{1.0, 0.0};
        std::complex<double> sum{0.0, 0.0};
        // The mixed samples of the last integration length, real and imaginary parts apart for vector code.
        std::vector<float> ringRe;
        std::vector<float> ringIm;
        double level = 0.0;
        double floor = 0.0;
    };

    void Restart();
    void Refresh();
    void ProcessStretch(const int16_t *samples, uint32_t count, int16_t *soft, int16_t *bits);
    static void Tune(Tone &tone, double frequency, uint32_t rate);

    uint32_t rate_ = 0;
    int32_t length_ = 1;
    int32_t smoothLength_ = 1;
    Tone tones_[2];
    int32_t head_ = 0;
    std::vector<double> smoothRing_;
    double smoothSum_ = 0.0;
    int32_t smoothHead_ = 0;
    // The sums are recomputed from their rings every so many samples, so that rounding cannot build up.
    int32_t sinceRefresh_ = 0;
    int16_t lastBit_ = 0;
    std::vector<int16_t> soft_;
    std::vector<int16_t> bits_;
};

} // namespace sirrel
