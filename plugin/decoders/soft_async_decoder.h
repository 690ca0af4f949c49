// SoftAsyncDecoder: start/stop framing from soft line values (signed, one per sample, the sign being the level),
// for the weak-signal demodulator. Each character's timing is the one that best fits a whole frame (start bit,
// data bits, stop bit) rather than one start edge, and on steady machine-sent text a flywheel predicts the
// next start from the character period, so that noise on single edges no longer shifts or loses characters.
// Each bit is decided by the sum of the soft values over its centre. The line's polarity is not known: two
// framers run, one per polarity, and the one whose frames fit better delivers.
#pragma once

#include <cstdint>
#include <vector>

#include "decoders/decoder.h"

namespace sirrel {

class SoftAsyncDecoder final : public Decoder {
public:
    // Data bits from the mode (5, 7, 8), samples per bit, mask and parity; other data bits or parity start
    // afresh, another bit length only drops the character period.
    void Configure(const DecoderParams &params) override;
    // Appends the soft values, then frames every character whose frame and search window are in.
    void Feed(const int16_t *soft, int32_t count) override;
    // The audio has ended: frames what is left as if the line went quiet.
    void Finish() override;
    void Reset() override;

    void SetGeometry(int32_t dataBits, double samplesPerBit, int32_t parity);
    void SetInversionMask(int32_t mask) { inversionMask_ = mask; }

    int32_t DataBits() const { return dataBits_; }
    double SamplesPerBit() const { return samplesPerBit_; }
    // The polarity that delivers: +1 when positive values are the stop level, -1 when negative ones are, 0
    // while not known.
    int32_t MarkSign() const { return selected_ < 0 ? 0 : framers_[selected_].sign; }

private:
    struct Framer {
        explicit Framer(int32_t markSign) : sign(markSign) {}

        int32_t sign;              // the sign of the stop level in the soft values
        double earliest = 0.0;     // first sample at which the next start bit may begin
        double lastStart = -1.0;   // start of the last character, below 0 before the first
        double period = 0.0;       // start to start of steady text, 0 while not known
        bool locked = false;       // the last characters came at the period: predict the next
        double quality = 0.0;      // how well the recent frames fit, about -1 ... 1
        std::vector<uint8_t> held; // codes framed before the polarity is known
    };

    // Mean soft value over samples from .. to (absolute), 0 unless all of them are held.
    double Mean(double from, double to) const;
    // Mean soft value over the centre of bit k of a frame starting at t.
    double BitMean(double t, int32_t k) const;
    // How well a frame at t fits: stop minus start in this polarity, plus the confidence of every data bit.
    double Score(const Framer &f, double t) const;
    // The start within from .. to whose frame fits best.
    double BestStart(const Framer &f, double from, double to) const;
    // Frames as many characters as the held samples allow; true when one was framed.
    bool Step(Framer &f, int32_t index);
    void Accept(Framer &f, int32_t index, double found, double used);
    double BufferEnd() const { return double(base_ + int64_t(prefix_.size()) - 1); }
    void DropOld();
    // Lets the framer that fits clearly better deliver, with what it held back.
    void Select(int32_t index);

    int32_t dataBits_ = 5;
    int32_t parity_ = 0;
    double samplesPerBit_ = 0.0;
    int32_t inversionMask_ = 0;
    // Sums of the soft values held: prefix_[j] sums the samples base_ .. base_ + j - 1.
    std::vector<int64_t> prefix_{0};
    int64_t base_ = 0;
    // Typical size of a data bit's mean, from the frames taken; 0 until the first samples set it.
    double level_ = 0.0;
    Framer framers_[2]{Framer(1), Framer(-1)};
    int32_t selected_ = -1;
};

} // namespace sirrel
