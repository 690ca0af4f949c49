// Writes 32-bit 0x00RRGGBB pixels as an RGB PNG file, how windows are kept for looking at and comparing; reads
// a PNG file (an icon) as 0xAARRGGBB pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sirrel {

// Returns false when the file cannot be written or the size is empty.
bool WritePng(const std::string &path, const std::vector<uint32_t> &pixels, int32_t width, int32_t height);
// Returns false, leaving the arguments alone, when the file is missing or not a PNG picture.
bool ReadPng(const std::string &path, std::vector<uint32_t> &pixels, int32_t &width, int32_t &height);

} // namespace sirrel
