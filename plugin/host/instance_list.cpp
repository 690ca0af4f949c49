#include "host/instance_list.h"

#include "orurt.h"

namespace sirrel::instance_list {

namespace {

DecoderInstance **g_items = nullptr;
int32_t g_count = 0;

} // namespace

bool Append(DecoderInstance *instance)
{
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

int32_t Count() { return g_count; }

DecoderInstance *At(int32_t index) { return index >= 0 && index < g_count ? g_items[index] : nullptr; }

} // namespace sirrel::instance_list
