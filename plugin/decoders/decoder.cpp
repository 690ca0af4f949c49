#include "decoders/decoder.h"

namespace sirrel {

void Decoder::Deliver(const DecodedCode &code) const
{
    if (sink_)
        sink_(code);
}

} // namespace sirrel
