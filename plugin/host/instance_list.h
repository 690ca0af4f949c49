// The live instances, in the order they were started. Changed only on the plug-in's user-interface thread
// (start and destruction) but looked up by notifications on whatever threads the host uses, so every access
// holds the list's lock and a looked-up instance stays in use until it is released.
#pragma once

#include <cstdint>
#include <vector>

namespace sirrel {

class DecoderInstance;

namespace instance_list {

// False when the list cannot grow.
bool Append(DecoderInstance *instance);
// Absent instances are ignored.
void Remove(DecoderInstance *instance);
int32_t Count();
bool Contains(const DecoderInstance *instance);
// The first instance that accepts the host identifier, in list order, marked in use; null when none does.
DecoderInstance *Acquire(uint32_t hostId);
void Release(DecoderInstance *instance);
std::vector<DecoderInstance *> Snapshot();

} // namespace instance_list
} // namespace sirrel
