// The one call-back through which every decoder delivers its codes: (context, delivering decoder, code).
#pragma once

#include <cstdint>

namespace sirrel {

using CodeSink = void (*)(void *context, const void *source, int8_t code);

} // namespace sirrel
