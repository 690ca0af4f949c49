#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace sirrel::test {

namespace {

uint32_t expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t expand6(uint32_t v) { return (v << 2) | (v >> 4); }

uint32_t grey(uint32_t level) { return level * 0x010101u; }

uint32_t indexed(const OruDynamicPixMap &map, uint32_t index, uint32_t greyScale)
{
    if (map.Palette && index < map.PaletteSize)
        return map.Palette[index] & 0xFFFFFFu;
    return grey(index * greyScale);
}

bool usable(const OruDynamicPixMap *map)
{
    if (!map || !map->Pixels || map->Width <= 0 || map->Height <= 0)
        return false;
    switch (map->BitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 15:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    const uint64_t stride = (uint64_t(map->Width) * map->BitsPerPixel + 31) / 32 * 4;
    return map->Stride >= stride && uint64_t(map->ImageSize) >= uint64_t(map->Stride) * uint64_t(map->Height);
}

} // namespace

uint32_t PixMapRgb(const OruDynamicPixMap &map, int32_t x, int32_t y)
{
    const uint8_t *row = map.Pixels + size_t(y) * map.Stride;
    switch (map.BitsPerPixel) {
    case 1:
        return indexed(map, (row[x >> 3] >> (x & 7)) & 1, 255);
    case 4:
        return indexed(map, (row[x >> 1] >> ((x & 1) * 4)) & 0x0F, 17);
    case 8:
        return indexed(map, row[x], 1);
    case 15:
    case 16: {
        const uint32_t w = row[2 * x] | uint32_t(row[2 * x + 1]) << 8;
        if (map.BitsPerPixel == 15)
            return expand5((w >> 10) & 31) << 16 | expand5((w >> 5) & 31) << 8 | expand5(w & 31);
        return expand5(w >> 11) << 16 | expand6((w >> 5) & 63) << 8 | expand5(w & 31);
    }
    case 24:
        return row[3 * x] | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
    default:
        return (row[4 * x] | uint32_t(row[4 * x + 1]) << 8 | uint32_t(row[4 * x + 2]) << 16);
    }
}

bool WritePixMapPng(const OruDynamicPixMap *map, const std::string &path, bool keepAlpha)
{
    if (!usable(map)) {
        errno = EINVAL;
        return false;
    }
    const bool alpha = keepAlpha && map->BitsPerPixel == 32;
    const size_t channels = alpha ? 4 : 3;
    std::vector<uint8_t> rgb(size_t(map->Width) * size_t(map->Height) * channels);
    uint8_t *out = rgb.data();
    for (int32_t y = 0; y < map->Height; ++y) {
        for (int32_t x = 0; x < map->Width; ++x) {
            const uint32_t c = PixMapRgb(*map, x, y);
            *out++ = uint8_t(c >> 16);
            *out++ = uint8_t(c >> 8);
            *out++ = uint8_t(c);
            if (alpha)
                *out++ = map->Pixels[size_t(y) * map->Stride + 4 * size_t(x) + 3];
        }
    }

    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(map->Width);
    image.height = png_uint_32(map->Height);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    // A failed write inside the encoder leaves the system's reason in errno.
    errno = 0;
    const bool encoded = png_image_write_to_stdio(&image, file, 0, rgb.data(), 0, nullptr) != 0;
    int error = encoded ? 0 : (errno ? errno : EIO);
    png_image_free(&image);
    errno = 0;
    if (!error && (std::fflush(file) != 0 || std::ferror(file)))
        error = errno ? errno : EIO;
    if (std::fclose(file) != 0 && !error)
        error = errno ? errno : EIO;
    if (error)
        errno = error;
    return error == 0;
}

} // namespace sirrel::test
