// Character statistics: one counter per code the current mode can deliver. The number of counters follows
// the mode; a resize keeps the counters that remain and new ones start at zero.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sirrel {

class CharacterStatistics {
public:
    static constexpr uint32_t kMaxEntries = 256;

    // The number of counters; 0 (no mode) keeps the size.
    void SetSize(uint32_t size);
    uint32_t Size() const { return size_; }

    // Entries at or beyond the size are not counted.
    void Count(int32_t entry);
    void Reset() { counters_.fill(0.0); }
    double Counter(uint32_t entry) const { return entry < size_ ? counters_[entry] : 0.0; }

    // "<display text> - 0x<entry> - <count>".
    std::string Label(uint32_t entry, const std::string &displayText) const;

private:
    std::array<double, kMaxEntries> counters_{};
    uint32_t size_ = 0;
};

} // namespace sirrel
