#include "ui/platform/png_file.h"

#include <png.h>

namespace sirrel {

bool WritePng(const std::string &path, const std::vector<uint32_t> &pixels, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height))
        return false;
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        rgb[3 * i] = uint8_t(pixels[i] >> 16);
        rgb[3 * i + 1] = uint8_t(pixels[i] >> 8);
        rgb[3 * i + 2] = uint8_t(pixels[i]);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr) != 0;
    png_image_free(&image);
    return written;
}

bool ReadPng(const std::string &path, std::vector<uint32_t> &pixels, int32_t &width, int32_t &height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    // Icons are small; anything huge is not one.
    if (image.width == 0 || image.height == 0 || image.width > 1024 || image.height > 1024) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_ARGB;
    std::vector<uint8_t> argb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = int32_t(image.width);
    height = int32_t(image.height);
    pixels.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t(argb[4 * i]) << 24 | uint32_t(argb[4 * i + 1]) << 16 | uint32_t(argb[4 * i + 2]) << 8 |
                    argb[4 * i + 3];
    return true;
}

} // namespace sirrel
