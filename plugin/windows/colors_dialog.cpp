#include "windows/colors_dialog.h"

#include "engine/decoder_engine.h"
#include "ui/color_picker.h"
#include "ui/platform/messages.h"

namespace sirrel {

namespace {

constexpr int32_t kWidth = 260;
constexpr int32_t kRow = 26;
constexpr int32_t kLabelWidth = 120;
constexpr int32_t kSwatchWidth = 80;

constexpr const char *kNames[kColourCount] = {
    "Background",   "Text",      "L2 CRC OK", "L2 CRC Failed", "L2 Frame Type",
    "L2 Frame PID", "L3 Header", "L4 Header", "Info",
};

} // namespace

DecoderColors DecoderColorsOf(const ColourSet &c)
{
    DecoderColors colors;
    colors.background = c[kColourBackground];
    colors.text = c[kColourText];
    colors.l2CrcOk = c[kColourCrcOk];
    colors.l2CrcFailed = c[kColourCrcFailed];
    colors.l2FrameType = c[kColourFrameType];
    colors.l2FramePid = c[kColourFramePid];
    colors.l3Header = c[kColourL3Header];
    colors.l4Header = c[kColourL4Header];
    colors.info = c[kColourInfo];
    return colors;
}

ColorsDialog::ColorsDialog(WindowContext &context) : context_(context)
{
    // The decoder window's loop ends with the decoder window, not with this dialog.
    SetEndsLoop(false);
    const int32_t packetRows = kColourCount - kColourCrcOk;
    const int32_t top = kCaptionHeight + 8;
    const int32_t packetTop = top + 2 * kRow + 4;
    const int32_t packetBottom = packetTop + GroupFrame::kTitleHeight + 8 + packetRows * kRow;
    const int32_t height = packetBottom + 44;
    CreateFrame(nullptr, 40, 40, kWidth, height, "Decoder Colors", false);
    packet_.CreateGroup(this, {8, packetTop, kWidth - 8, packetBottom}, "Packet radio");

    for (int32_t k = 0; k < kColourCount; ++k) {
        // The packet colours sit in their group, the first two above it.
        const bool packet = k >= kColourCrcOk;
        Oru_Window *parent = packet ? static_cast<Oru_Window *>(&packet_) : this;
        const int32_t left = packet ? packet_.Inner().left : 16;
        const int32_t y = packet ? packet_.Inner().top + (k - kColourCrcOk) * kRow : top + k * kRow;
        names_[size_t(k)].CreateLabel(parent, left, y, kLabelWidth, kRow - 4, kNames[k]);
        swatches_[size_t(k)].CreateSwatch(parent, left + kLabelWidth, y + 1, kSwatchWidth, kRow - 6,
                                          context_.configuration.colours[size_t(k)]);
        swatches_[size_t(k)].SetClickCallback(&ColorsDialog::SwatchClicked, this);
    }
    close_.CreateButton(this, kWidth - 96, height - 34, 84, 24, "Close");
    close_.SetClickCallback([](Oru_Window *, void *dialog) { static_cast<ColorsDialog *>(dialog)->Close(); }, this);
}

void ColorsDialog::Toggle() { ShowCommand(Visible() ? kShowHide : kShowShow); }

void ColorsDialog::Close() { ShowCommand(kShowHide); }

void ColorsDialog::SwatchClicked(Oru_Window *swatch, void *dialog)
{
    auto *self = static_cast<ColorsDialog *>(dialog);
    for (int32_t k = 0; k < kColourCount; ++k) {
        if (&self->swatches_[size_t(k)] != swatch)
            continue;
        uint32_t colour = self->Colour(k);
        if (Oru_ColorPicker::Pick(self, colour))
            self->SetColour(k, colour);
        return;
    }
}

void ColorsDialog::SetColour(int32_t index, uint32_t colour)
{
    if (index < 0 || index >= kColourCount)
        return;
    ColourSet &colours = context_.configuration.colours;
    colours[size_t(index)] = colour & 0xFFFFFF;
    swatches_[size_t(index)].SetColor(colours[size_t(index)]);
    const DecoderColors decoderColors = DecoderColorsOf(colours);
    DecoderEngine &engine = context_.engine;
    // The colours belong to the frame thread, which writes characters with them.
    engine.Post([&engine, decoderColors](EngineEdit &) { engine.Output().SetColors(decoderColors); });
    if (onChanged)
        onChanged(colours);
}

intptr_t ColorsDialog::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The caption's close button hides the dialog; it lives as long as the data output window.
    if (message == kMsgClose) {
        Close();
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

} // namespace sirrel
