// Character statistics: one counter per code the current mode can deliver. The number of counters follows
// the mode; a resize keeps the counters that remain and new ones start at zero.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decoders/character_sets.h"

namespace sirrel {

class CharacterStatistics {
public:
    static constexpr uint32_t kMaxEntries = 256;

    explicit CharacterStatistics(int32_t mode);

    // Sizes the counters for a mode; a number that is no mode keeps the size but still labels by it.
    void setMode(int32_t mode);
    int32_t mode() const { return mode_; }
    uint32_t size() const { return size_; }

    // Entries at or beyond the size are not counted.
    void count(int32_t entry);
    void reset();
    double counter(uint32_t entry) const { return entry < size_ ? counters_[entry] : 0.0; }

    // "<display text> - 0x<entry> - <count>", the display text as the sink would show the entry.
    std::string label(uint32_t entry, const TranslationTable &translation) const;

private:
    std::array<double, kMaxEntries> counters_{};
    uint32_t size_ = 0;
    int32_t mode_ = 0;
};

} // namespace sirrel
