// The caption of the decoder's message boxes.
#pragma once

namespace sirrel {

inline constexpr char kProductCaption[] = "Korvanda Quillon FSK Decoder";

} // namespace sirrel
