#include "output/character_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sirrel {

void CharacterStatistics::SetSize(uint32_t size)
{
    size = std::min(size, kMaxEntries);
    if (size == 0 || size == size_)
        return;
    // Counters beyond a smaller size are zeroed now, so a later growth starts them at zero.
    for (uint32_t i = size; i < size_; ++i)
        counters_[i] = 0.0;
    size_ = size;
}

void CharacterStatistics::Count(int32_t entry)
{
    if (entry >= 0 && uint32_t(entry) < size_)
        counters_[size_t(entry)] += 1.0;
}

std::string CharacterStatistics::Label(uint32_t entry, const std::string &displayText) const
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s - 0x%02X - %lld", displayText.c_str(), entry,
                  std::llround(Counter(entry)));
    return buffer;
}

} // namespace sirrel
