// The live instances, in the order they were started. Changed only on the host's thread (start and
// destruction); read by the notification routing.
#pragma once

#include <cstdint>

namespace sirrel {

class DecoderInstance;

namespace instance_list {

// False when the list cannot grow.
bool Append(DecoderInstance *instance);
// Absent instances are ignored.
void Remove(DecoderInstance *instance);
int32_t Count();
DecoderInstance *At(int32_t index);

} // namespace instance_list
} // namespace sirrel
