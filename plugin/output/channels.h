// The "Data Output" window shows four channels; only ARQ-M uses more than the first.
#pragma once

namespace sirrel {

constexpr int kChannelCount = 4;

} // namespace sirrel
