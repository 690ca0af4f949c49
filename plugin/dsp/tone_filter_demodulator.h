// ToneFilterDemodulator: FSK demodulation with two quadrature tone filters. Each tone is mixed down to 0 Hz
// with a table oscillator (one table step per hertz), low-pass filtered as I and Q, and its magnitude taken; the
// difference of the two magnitudes, smoothed by the post-detection filter, is sliced against a threshold that
// tracks the signal's upper and lower envelopes. In high-speed mode a single filter pair mixes at the centre
// frequency and a phase discriminator gives the frequency deviation instead.
#pragma once

#include <cstdint>

#include "dsp/oru_array.h"
#include "orurt.h"

namespace sirrel {

class ToneFilterDemodulator {
public:
    ToneFilterDemodulator();
    virtual ~ToneFilterDemodulator();
    ToneFilterDemodulator(const ToneFilterDemodulator &) = delete;
    ToneFilterDemodulator &operator=(const ToneFilterDemodulator &) = delete;

    // Length of every internal buffer; longer inputs are processed in blocks of this size. At least 1.
    void SetBlockSize(int32_t samples);
    // Oscillator table length (the processing rate, so that one step is one hertz). At least 1; a change
    // rebuilds the tables and reduces both phases modulo the new length.
    void SetTableLength(int32_t length);
    void SetHighSpeed(bool on);
    void SetOptimal(bool on);
    // Taps of the four tone filters (I-low decides the count, the others copy it).
    void SetToneFilterTaps(int32_t taps);
    void SetPostFilterTaps(int32_t taps);
    void SetPostFilterCutOff(float hertz);
    // Truncated to whole hertz; equal tones become f and f + 1, the order does not matter.
    void SetTones(double space, double mark);
    void Process(const int16_t *samples, uint32_t count);

    int32_t BlockSize() const { return blockSize_; }
    int32_t TableLength() const { return tableLength_; }
    bool HighSpeed() const { return highSpeed_; }
    bool Optimal() const { return optimal_; }
    int32_t LowFrequency() const { return lowFrequency_; }
    int32_t HighFrequency() const { return highFrequency_; }
    int32_t LowPhase() const { return lowPhase_; }
    int32_t HighPhase() const { return highPhase_; }
    // The cut-off asked of the tone filters (the filters raise values below their minimum).
    int32_t ToneCutOff() const { return toneCutOff_; }
    const int16_t *SineTable() const { return sine_.data(); }     // A[i] = -32767 sin(2 pi i / N)
    const int16_t *CosineTable() const { return cosine_.data(); } // B[i] = 32767 cos(2 pi i / N)

    enum Filter { kILow, kQLow, kIHigh, kQHigh, kPost, kFilterCount };
    const OruFIR *FilterObject(Filter which) const { return filters_[which]; }

    // Signals of the last block (its length is LastBlockLength()).
    uint32_t LastBlockLength() const { return lastBlock_; }
    const int16_t *FilterInput(Filter which) const;  // tone filters and the post-detection filter
    const int16_t *FilterOutput(Filter which) const; // the post output is the plain input with optimal on
    // In high-speed mode the magnitude of the one filter pair.
    const int16_t *LowMagnitude() const { return Buffer(kLowMagnitude); }
    const int16_t *HighMagnitude() const { return Buffer(kHighMagnitude); }
    const int16_t *Threshold() const { return Buffer(kThreshold); }
    const int16_t *DecidedBits() const { return Buffer(kBits); }

private:
    enum BufferIndex {
        kMixILow,
        kMixQLow,
        kMixIHigh,
        kMixQHigh,
        kPostInput,
        kLowMagnitude,
        kHighMagnitude,
        kThreshold,
        kBits,
        kBufferCount
    };
    int16_t *Buffer(BufferIndex which) { return buffers_.data() + size_t(which) * uint32_t(blockSize_); }
    const int16_t *Buffer(BufferIndex which) const { return buffers_.data() + size_t(which) * uint32_t(blockSize_); }
    void BuildTables(int32_t length);
    void UpdateToneCutOff();
    void Track(int16_t value, int16_t *threshold);
    void ProcessNormal(const int16_t *x, uint32_t n);
    void ProcessHighSpeed(const int16_t *x, uint32_t n);

    OruArray<int16_t> sine_;
    OruArray<int16_t> cosine_;
    int32_t tableLength_ = 0;
    int32_t lowPhase_ = 0;
    int32_t highPhase_ = 0;
    int32_t lowFrequency_ = 1;
    int32_t highFrequency_ = 2;
    int32_t toneCutOff_ = 0;
    bool highSpeed_ = false;
    bool optimal_ = false;
    int32_t blockSize_ = 0;
    uint32_t lastBlock_ = 0;
    OruFIR *filters_[kFilterCount] = {};
    double upper_ = 0.0;
    double lower_ = 0.0;
    int32_t previousI_ = 0;
    int32_t previousQ_ = 0;
    // Running level of the high-speed pair's magnitude and the magnitude of the sample before.
    double magnitudeLevel_ = 0.0;
    int16_t previousMagnitude_ = 0;
    OruArray<int16_t> buffers_;
};

} // namespace sirrel
