// The eye pattern of the Demodulator dialog: every feed of the scope display folded onto two bit periods and
// added to what was there, so that the traces pile up until "Reset". Brighter pixels were crossed more often.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/signal_display.h"
#include "ui/views.h"

namespace sirrel {

class EyePatternView : public Oru_PixmapView {
public:
    // The scope must outlive the view.
    bool CreateEyeView(Oru_Window *parent, const Rect &area, SignalDisplay &scope);

    // Folds what the scope was fed since the last look, at `samplesPerBit` audio samples per bit, and redraws.
    // The phase runs on across feeds, feeds not seen included, so that successive frames line up.
    void Accumulate(double samplesPerBit);
    // Forgets every trace; the next feed starts a new pattern.
    void Reset();

    // Feeds folded since the last reset.
    uint32_t Traces() const { return traces_; }
    // How often a trace crossed the pixel (x, y) of the view.
    uint32_t Hits(int32_t x, int32_t y) const;

private:
    void Render();

    SignalDisplay *scope_ = nullptr;
    int32_t columns_ = 0;
    int32_t rows_ = 0;
    std::vector<uint32_t> hits_; // rows_ x columns_
    uint32_t mostHits_ = 0;
    uint32_t traces_ = 0;
    uint32_t seenFeeds_ = 0;
    double phase_ = 0.0; // samples into the two-bit window at the start of the next feed
};

} // namespace sirrel
