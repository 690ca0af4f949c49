// The one call-back through which every decoder delivers its codes: (context, delivering decoder, code).
#pragma once

#include <cstdint>

namespace sirrel {

using CodeSink = void (*)(void *context, const void *source, int8_t code);

// The form of the decoders that deliver an int32 code (ARQ-M, CIS); an adapter narrows it to CodeSink.
using WideCodeSink = void (*)(void *context, const void *source, int32_t code);

} // namespace sirrel
