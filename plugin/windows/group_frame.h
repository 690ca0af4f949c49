// A titled, etched frame around a group of controls ("Decoder", the Demodulator dialog's scope). It is a plain
// windowless container: the controls of the group are its children.
#pragma once

#include <string>

#include "ui/oru_window.h"

namespace sirrel {

class GroupFrame : public Oru_Window {
public:
    // Height of the title strip; children start below it.
    static constexpr int32_t kTitleHeight = 16;

    bool CreateGroup(Oru_Window *parent, const Rect &area, const std::string &title);
    // The part inside the frame line, in the group's coordinates.
    Rect Inner() const;

    void PaintContent(Canvas &canvas) override;
};

} // namespace sirrel
