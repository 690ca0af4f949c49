#include "host/instance_list.h"

#include <mutex>

#include "host/decoder_instance.h"
#include "orurt.h"

namespace sirrel::instance_list {

namespace {

std::mutex g_lock;
DecoderInstance **g_items = nullptr;
int32_t g_count = 0;

} // namespace

bool Append(DecoderInstance *instance)
{
    std::lock_guard<std::mutex> hold(g_lock);
    const uint32_t bytes = uint32_t(g_count + 1) * uint32_t(sizeof(DecoderInstance *));
    void *grown = g_items ? MemoryReAlloc(g_items, bytes) : MemoryAlloc(bytes);
    if (!grown)
        return false;
    g_items = static_cast<DecoderInstance **>(grown);
    g_items[g_count++] = instance;
    return true;
}

void Remove(DecoderInstance *instance)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (int32_t i = 0; i < g_count; ++i) {
        if (g_items[i] != instance)
            continue;
        for (int32_t j = i + 1; j < g_count; ++j)
            g_items[j - 1] = g_items[j];
        if (--g_count == 0) {
            MemoryFree(g_items);
            g_items = nullptr;
        }
        return;
    }
}

int32_t Count()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_count;
}

bool Contains(const DecoderInstance *instance)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (int32_t i = 0; i < g_count; ++i) {
        if (g_items[i] == instance)
            return true;
    }
    return false;
}

DecoderInstance *Acquire(uint32_t hostId)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (int32_t i = 0; i < g_count; ++i) {
        if (g_items[i]->HostId() == hostId) {
            g_items[i]->Enter();
            return g_items[i];
        }
    }
    return nullptr;
}

void Release(DecoderInstance *instance) { instance->Leave(); }

std::vector<DecoderInstance *> Snapshot()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return std::vector<DecoderInstance *>(g_items, g_items + g_count);
}

} // namespace sirrel::instance_list
