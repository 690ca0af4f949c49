// Saves pixel maps as PNG files so that drawing and window tests can keep what they drew.
#pragma once

#include <cstdint>
#include <string>

#include "orurt.h"

namespace sirrel::test {

// Colour of pixel (x, y) as 0x00RRGGBB, as the PNG receives it. 24 and 32 bits are 0x00RRGGBB values,
// 15 bits x555, 16 bits 565; 1, 4 and 8 bits are looked up in the map's palette, and an index without a
// palette entry is shown as a grey level (0 black, highest index white). Coordinates must lie inside.
uint32_t PixMapRgb(const OruDynamicPixMap &map, int32_t x, int32_t y);

// Writes the map as an 8-bit RGB PNG; with keepAlpha, as RGBA taking the alpha from byte 3 of 32-bit
// pixels (other depths are opaque). Returns false with errno set on failure: EINVAL for a map without
// pixels, with an empty or inconsistent format or an unknown depth; the system's errno when the file cannot
// be created or written; EIO when the encoder fails. A failed write may leave a partial file.
bool WritePixMapPng(const OruDynamicPixMap *map, const std::string &path, bool keepAlpha = false);

} // namespace sirrel::test
