// Rectangles in pixels, right and bottom exclusive.
#pragma once

#include <algorithm>
#include <cstdint>

namespace sirrel {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    Rect Offset(int32_t dx, int32_t dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect Inset(int32_t d) const { return {left + d, top + d, right - d, bottom - d}; }
    Rect Intersect(const Rect &o) const
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    }
    Rect Union(const Rect &o) const
    {
        if (Empty())
            return o;
        if (o.Empty())
            return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
    bool operator==(const Rect &) const = default;
};

} // namespace sirrel
