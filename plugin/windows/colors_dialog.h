// The "Decoder Colors" dialog: "Background", "Text" and, under "Packet radio", the seven colours of the packet
// fields, each a swatch that opens the colour picker. A chosen colour goes into the configuration block at once
// and to the engine as an edit, so the next character written takes it; text already shown keeps its colour.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "output/data_output_window.h"
#include "protocols/configuration.h"
#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/range_controls.h"
#include "windows/group_frame.h"
#include "windows/window_context.h"

namespace sirrel {

using ColourSet = std::array<uint32_t, kColourCount>;

// The colours of the configuration block's order as the engine takes them.
DecoderColors DecoderColorsOf(const ColourSet &colours);

class ColorsDialog : public Oru_Frame {
public:
    explicit ColorsDialog(WindowContext &context);

    void Toggle();
    void Close();

    // What a choice in the picker does: the swatch, the configuration block, the engine, onChanged.
    void SetColour(int32_t index, uint32_t colour);
    uint32_t Colour(int32_t index) const { return context_.configuration.colours[size_t(index)]; }
    Oru_ColorSwatch &Swatch(int32_t index) { return swatches_[size_t(index)]; }
    Oru_PushButton &CloseButton() { return close_; }

    // After a colour changed, with the whole set.
    std::function<void(const ColourSet &colours)> onChanged;

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;

private:
    static void SwatchClicked(Oru_Window *swatch, void *dialog);

    WindowContext &context_;
    GroupFrame packet_;
    std::array<Oru_Label, kColourCount> names_;
    std::array<Oru_ColorSwatch, kColourCount> swatches_;
    Oru_PushButton close_;
};

} // namespace sirrel
