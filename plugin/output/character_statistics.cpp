#include "output/character_statistics.h"

#include <cmath>
#include <cstdio>

namespace sirrel {

CharacterStatistics::CharacterStatistics(int32_t mode) { setMode(mode); }

void CharacterStatistics::setMode(int32_t mode)
{
    mode_ = mode;
    const uint32_t size = StatisticsSize(mode);
    if (size == 0 || size == size_)
        return;
    // Counters beyond a smaller size are zeroed now, so a later growth starts them at zero.
    for (uint32_t i = size; i < size_; ++i)
        counters_[i] = 0.0;
    size_ = size;
}

void CharacterStatistics::count(int32_t entry)
{
    if (entry >= 0 && uint32_t(entry) < size_)
        counters_[entry] += 1.0;
}

void CharacterStatistics::reset() { counters_.fill(0.0); }

std::string CharacterStatistics::label(uint32_t entry, const TranslationTable &translation) const
{
    const std::string text = DisplayText(mode_, entry, translation);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s - 0x%02X - %lld", text.c_str(), entry, std::llround(counter(entry)));
    return buffer;
}

} // namespace sirrel
