// ToneSearch: mends automatic tuning where the two strongest spectrum peaks are not the FSK pair. Steady
// carriers near the tones outshine them, and a fast signal with a narrow shift has no peaks at its tones at all.
// The two tones of an FSK signal alternate in time while a carrier stays: the search follows the energy of short
// blocks of every frame across the band and looks for the two frequencies whose energies move against each
// other most. A steady carrier adds a constant to its bins' energies and does not move the covariances.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/tuning_rules.h"
#include "orurt.h"

namespace sirrel {

class ToneSearch {
public:
    ToneSearch();
    ~ToneSearch();
    ToneSearch(const ToneSearch &) = delete;
    ToneSearch &operator=(const ToneSearch &) = delete;

    // Forgets what the earlier frames showed.
    void SetRate(uint32_t rate);
    uint32_t Rate() const { return rate_; }

    // One frame of audio.
    void Feed(const int16_t *x, uint32_t n);

    // The pair whose energies alternate most, `shift` apart unless it is 0; {0, 0} while none alternates.
    TonePair Alternating(int32_t shift) const;
    // The spectrum's pair where it is the FSK pair (within a few hertz of the alternating pair), otherwise the
    // alternating pair, shift-locked as the spectrum's pair is; while none alternates, the spectrum's pair.
    TonePair Mend(TonePair peaks, int32_t shift) const;

private:
    double Covariance(int32_t a, int32_t b) const;
    double Alternation(int32_t a, int32_t b) const;
    double GridHertz(double index) const;

    uint32_t rate_ = 0;
    uint32_t block_ = 0; // samples of one energy block; hop half of it
    uint32_t first_ = 0; // first FFT bin of the searched band
    uint32_t bins_ = 0;  // bins of the searched band
    OruFFT2Float *fft_ = nullptr;
    std::vector<float> window_;
    std::vector<int32_t> windowed_;
    std::vector<float> energies_; // one frame: energy per block and band bin (the bins of a block in a row)
    // Moments of the block energies over the recent frames: mean, mean square and the products of every pair of
    // bins a plausible shift apart (row a, column b - a).
    std::vector<double> mean_;
    std::vector<double> square_;
    std::vector<double> product_;
    std::vector<double> frameMean_;
    std::vector<double> frameSquare_;
    std::vector<float> frameProduct_; // one frame's products, summed in single precision for speed
    uint32_t minApart_ = 0;
    uint32_t maxApart_ = 0;
    bool started_ = false;
};

} // namespace sirrel
