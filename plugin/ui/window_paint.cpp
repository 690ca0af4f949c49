// Painting through the top-level window's off-screen map: everything, or only the children marked dirty.
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "ui/message_box.h"
#include "ui/oru_window.h"

namespace sirrel {

namespace {

// The off-screen map covers at most this much of a window; more than any screen shows.
constexpr int32_t kLargestBitmapSide = 4096;

} // namespace

void Oru_Window::PaintTree(Canvas &canvas)
{
    canvas_ = &canvas;
    PaintBackground(canvas);
    PaintContent(canvas);
    ++contentPaints_;
    canvas_ = nullptr;
    ClearStateBits(kStateDirty);
    LockHold hold(childLock_);
    for (Oru_Window *child = firstChild_; child; child = child->nextSibling_) {
        if (child->ownsNative_ || !child->Visible())
            continue;
        Canvas inner = canvas.Child(child->x_, child->y_, child->width_, child->height_);
        child->PaintTree(inner);
    }
}

void Oru_Window::PaintDirty(Canvas &canvas, Rect &painted)
{
    LockHold hold(childLock_);
    for (Oru_Window *child = firstChild_; child; child = child->nextSibling_) {
        if (child->ownsNative_ || !child->Visible())
            continue;
        Canvas inner = canvas.Child(child->x_, child->y_, child->width_, child->height_);
        if (child->State() & kStateDirty) {
            child->PaintTree(inner);
            const int32_t x = child->OffsetX();
            const int32_t y = child->OffsetY();
            painted = painted.Union(Rect{x, y, x + child->width_, y + child->height_});
        } else {
            child->PaintDirty(inner, painted);
        }
    }
}

std::string PaintFailureText(int32_t width, int32_t height, const std::string &name, uint32_t error)
{
    char code[16];
    std::snprintf(code, sizeof code, "%08X", error);
    return "Can't create compatible bitmap for painting!\nImage size: " + std::to_string(width) + "x" +
           std::to_string(height) + "\nControl name: " + name + "\nError code: 0x" + code;
}

void Oru_Window::ReportPaintFailure(int32_t width, int32_t height)
{
    // A box that cannot paint itself must not report again.
    static thread_local bool reporting = false;
    if (reporting)
        return;
    reporting = true;
    ShowMessageBox(this, "Oru_Window Fatal Error", PaintFailureText(width, height, name_, uint32_t(errno)), kBoxOk);
    reporting = false;
}

Rect Oru_Window::Paint()
{
    if (!created_ || !ownsNative_)
        return {};
    LockHold hold(paintLock_);
    const int32_t width = std::min(width_, kLargestBitmapSide);
    const int32_t height = std::min(height_, kLargestBitmapSide);
    if (width <= 0 || height <= 0)
        return {};
    bool fresh = false;
    if (!offscreen_ || offscreen_->Width != width || offscreen_->Height != height) {
        if (!offscreen_)
            offscreen_ = OruDynamicPixMap_Construct(nullptr);
        if (offscreen_)
            OruDynamicPixMap_FormatUpdate(offscreen_, width, height, 32);
        if (!offscreen_ || offscreen_->Width != width || offscreen_->Height != height || !offscreen_->Pixels) {
            if (offscreen_)
                OruDynamicPixMap_Destruct(offscreen_, 1);
            offscreen_ = nullptr;
            ReportPaintFailure(width, height);
            return {};
        }
        fresh = true;
    }
    SetStateBits(kStatePaintLock);
    const bool full = fullRepaint_.exchange(0) != 0 || fresh;
    Canvas canvas(*offscreen_, 0, 0, {0, 0, width, height});
    canvas.SetEdges(Scheme().light, Scheme().shadow);
    Rect painted;
    if (full) {
        PaintTree(canvas);
        painted = {0, 0, width, height};
    } else {
        PaintDirty(canvas, painted);
    }
    ClearStateBits(kStatePaintLock | kStateDirty);
    painted = painted.Intersect({0, 0, width, height});
    if (!painted.Empty())
        Platform().Blit(native_, *offscreen_, painted.left, painted.top, painted.Width(), painted.Height(),
                        painted.left, painted.top);
    if (!(style_ & kStyleKeepBitmap)) {
        OruDynamicPixMap_Destruct(offscreen_, 1);
        offscreen_ = nullptr;
    }
    return painted;
}

} // namespace sirrel
