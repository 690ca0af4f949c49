// Writes 32-bit 0x00RRGGBB pixels as an RGB PNG file; how windows are kept for looking at and comparing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sirrel {

// Returns false when the file cannot be written or the size is empty.
bool WritePng(const std::string &path, const std::vector<uint32_t> &pixels, int32_t width, int32_t height);

} // namespace sirrel
