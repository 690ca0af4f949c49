// How a top-level window hands input on: mouse messages to the windowless child under the pointer (or the one
// holding it), keys to the focused child, and the custom frame's caption drags and border sizing.
#include <algorithm>
#include <vector>

#include "ui/oru_window.h"

namespace sirrel {

namespace {

int32_t MouseCode(uint32_t message)
{
    switch (message) {
    case kMsgLeftDown:
        return kMouseLeftDown;
    case kMsgLeftUp:
        return kMouseLeftUp;
    case kMsgLeftDoubleClick:
        return kMouseLeftDoubleClick;
    case kMsgMiddleDown:
        return kMouseMiddleDown;
    case kMsgMiddleUp:
        return kMouseMiddleUp;
    case kMsgMiddleDoubleClick:
        return kMouseMiddleDoubleClick;
    case kMsgRightDown:
        return kMouseRightDown;
    case kMsgRightUp:
        return kMouseRightUp;
    case kMsgRightDoubleClick:
        return kMouseRightDoubleClick;
    case kMsgMouseWheel:
        return kMouseWheel;
    default:
        return kMouseMove;
    }
}

uint32_t SizingEdge(int32_t hit)
{
    switch (hit) {
    case kHitLeft:
        return kSizingLeft;
    case kHitRight:
        return kSizingRight;
    case kHitTop:
        return kSizingTop;
    case kHitTopLeft:
        return kSizingTopLeft;
    case kHitTopRight:
        return kSizingTopRight;
    case kHitBottom:
        return kSizingBottom;
    case kHitBottomLeft:
        return kSizingBottomLeft;
    case kHitBottomRight:
        return kSizingBottomRight;
    default:
        return 0;
    }
}

Cursor HitCursor(int32_t hit)
{
    switch (hit) {
    case kHitLeft:
    case kHitRight:
        return Cursor::SizeHorizontal;
    case kHitTop:
    case kHitBottom:
        return Cursor::SizeVertical;
    case kHitTopLeft:
    case kHitBottomRight:
        return Cursor::SizeDiagonalDown;
    case kHitTopRight:
    case kHitBottomLeft:
        return Cursor::SizeDiagonalUp;
    default:
        return Cursor::Arrow;
    }
}

} // namespace

void Oru_Window::SetFocus()
{
    if (!created_)
        return;
    if (ownsNative_) {
        Platform().SetFocus(native_);
        return;
    }
    Oru_Window *top = topLevel_;
    Oru_Window *old = top->focused_;
    if (old == this)
        return;
    top->focused_ = this;
    if (old) {
        old->ClearStateBits(kStateFocused);
        old->FocusChanged(0);
    }
    SetStateBits(kStateFocused);
    FocusChanged(1);
}

Oru_Window *Oru_Window::ChildAt(int32_t x, int32_t y, int32_t &localX, int32_t &localY)
{
    Oru_Window *found = nullptr;
    {
        // Later children lie on top of earlier ones.
        LockHold hold(childLock_);
        for (Oru_Window *child = firstChild_; child; child = child->nextSibling_) {
            const uint32_t state = child->State();
            if (child->ownsNative_ || !(state & kStateVisible) || (state & kStateHitTransparent))
                continue;
            if (Rect{child->x_, child->y_, child->x_ + child->width_, child->y_ + child->height_}.Contains(x, y))
                found = child;
        }
    }
    if (!found) {
        localX = x;
        localY = y;
        return this;
    }
    return found->ChildAt(x - found->x_, y - found->y_, localX, localY);
}

void Oru_Window::RouteMouse(uint32_t message, uint32_t keys, int32_t x, int32_t y)
{
    const int32_t code = MouseCode(message);
    if (dragCode_) {
        if (code == kMouseMove)
            ContinueFrameDrag(x_ + x, y_ + y);
        else if (code == kMouseLeftUp)
            dragCode_ = 0;
        return;
    }
    int32_t localX = x;
    int32_t localY = y;
    Oru_Window *target = captured_;
    if (target) {
        localX = x - target->OffsetX();
        localY = y - target->OffsetY();
    } else {
        target = ChildAt(x, y, localX, localY);
    }
    if (target == this && !parent_) {
        const int32_t hit = HitTest(x_ + x, y_ + y);
        if (code == kMouseMove)
            Platform().SetCursor(HitCursor(hit));
        if (code == kMouseLeftDoubleClick && (State() & kStateMaximized)) {
            ShowCommand(kShowRestore);
            return;
        }
        if (code == kMouseLeftDown && hit != kHitClient && hit != kHitDefault) {
            BeginFrameDrag(hit, x_ + x, y_ + y);
            return;
        }
    }
    if (!target->Enabled())
        return;
    const bool down =
        code == kMouseLeftDown || code == kMouseMiddleDown || code == kMouseRightDown || code == kMouseLeftDoubleClick;
    const bool up = code == kMouseLeftUp || code == kMouseMiddleUp || code == kMouseRightUp;
    if (down && target != this) {
        captured_ = target;
        if (target->AcceptsFocus())
            target->SetFocus();
    }
    if (up)
        captured_ = nullptr;
    target->MouseEvent(code, keys, localX, localY);
}

void Oru_Window::RouteKey(int32_t kind, uint32_t key)
{
    Oru_Window *target = focused_ ? focused_ : this;
    int32_t handled = target->Enabled() ? target->KeyEvent(kind, key) : 0;
    if (!handled && target != this)
        handled = KeyEvent(kind, key);
    if (key == kKeyShift && kind != kKeyCharacter)
        shiftDown_ = kind == kKeyPressed;
    if (!handled && kind == kKeyPressed && key == kKeyTab)
        MoveFocus(shiftDown_);
}

void Oru_Window::MoveFocus(bool backward)
{
    std::vector<Oru_Window *> order;
    std::vector<Oru_Window *> pending{this};
    while (!pending.empty()) {
        Oru_Window *w = pending.back();
        pending.pop_back();
        std::vector<Oru_Window *> children;
        {
            LockHold hold(w->childLock_);
            for (Oru_Window *child = w->firstChild_; child; child = child->nextSibling_) {
                if (!child->ownsNative_ && child->Visible())
                    children.push_back(child);
            }
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back(*it);
        if (w != this && w->AcceptsFocus())
            order.push_back(w);
    }
    if (order.empty())
        return;
    if (backward)
        std::reverse(order.begin(), order.end());
    auto current = std::find(order.begin(), order.end(), focused_);
    Oru_Window *next = (current == order.end() || current + 1 == order.end()) ? order.front() : *(current + 1);
    next->SetFocus();
}

int32_t Oru_Window::HitTest(int32_t screenX, int32_t screenY)
{
    const int32_t x = screenX - x_;
    const int32_t y = screenY - y_;
    if (!Rect{0, 0, width_, height_}.Contains(x, y))
        return kHitDefault;
    const bool maximized = (State() & kStateMaximized) != 0;
    if ((style_ & kStyleResizeBorders) && !maximized) {
        const bool fixedWidth = minWidth_ >= 0 && minWidth_ == maxWidth_;
        const bool fixedHeight = minHeight_ >= 0 && minHeight_ == maxHeight_;
        const bool left = !fixedWidth && x < borderWidth_;
        const bool right = !fixedWidth && x >= width_ - borderWidth_;
        const bool top = !fixedHeight && y < borderWidth_;
        const bool bottom = !fixedHeight && y >= height_ - borderWidth_;
        if (top && left)
            return kHitTopLeft;
        if (top && right)
            return kHitTopRight;
        if (bottom && left)
            return kHitBottomLeft;
        if (bottom && right)
            return kHitBottomRight;
        if (left)
            return kHitLeft;
        if (right)
            return kHitRight;
        if (top)
            return kHitTop;
        if (bottom)
            return kHitBottom;
    }
    {
        LockHold hold(childLock_);
        for (Oru_Window *child = firstChild_; child; child = child->nextSibling_) {
            if (child->Visible() && (child->style_ & kStyleHitTestable) &&
                Rect{child->x_, child->y_, child->x_ + child->width_, child->y_ + child->height_}.Contains(x, y))
                return kHitClient;
        }
    }
    if ((style_ & kStyleCaptionDrags) && y < captionHeight_) {
        Platform().SetCursor(Cursor::Arrow);
        return kHitCaption;
    }
    return kHitClient;
}

intptr_t Oru_Window::ClampSizing(uint32_t edge, Rect &bounds) const
{
    const bool leftEdge = edge == kSizingLeft || edge == kSizingTopLeft || edge == kSizingBottomLeft;
    const bool topEdge = edge == kSizingTop || edge == kSizingTopLeft || edge == kSizingTopRight;
    auto limit = [](int32_t size, int32_t minimum, int32_t maximum) {
        if (maximum >= 0 && size > maximum)
            size = maximum;
        if (minimum >= 0 && size < minimum)
            size = minimum;
        return std::max(size, 0);
    };
    const int32_t width = limit(bounds.Width(), minWidth_, maxWidth_);
    const int32_t height = limit(bounds.Height(), minHeight_, maxHeight_);
    if (leftEdge)
        bounds.left = bounds.right - width;
    else
        bounds.right = bounds.left + width;
    if (topEdge)
        bounds.top = bounds.bottom - height;
    else
        bounds.bottom = bounds.top + height;
    return 1;
}

void Oru_Window::BeginFrameDrag(int32_t code, int32_t screenX, int32_t screenY)
{
    dragCode_ = code;
    dragStartX_ = screenX;
    dragStartY_ = screenY;
    dragStartBounds_ = {x_, y_, x_ + width_, y_ + height_};
}

void Oru_Window::ContinueFrameDrag(int32_t screenX, int32_t screenY)
{
    const int32_t dx = screenX - dragStartX_;
    const int32_t dy = screenY - dragStartY_;
    Rect bounds = dragStartBounds_;
    if (dragCode_ == kHitCaption) {
        SetBounds(bounds.left + dx, bounds.top + dy, bounds.Width(), bounds.Height());
        return;
    }
    const uint32_t edge = SizingEdge(dragCode_);
    if (edge == kSizingLeft || edge == kSizingTopLeft || edge == kSizingBottomLeft)
        bounds.left += dx;
    if (edge == kSizingRight || edge == kSizingTopRight || edge == kSizingBottomRight)
        bounds.right += dx;
    if (edge == kSizingTop || edge == kSizingTopLeft || edge == kSizingTopRight)
        bounds.top += dy;
    if (edge == kSizingBottom || edge == kSizingBottomLeft || edge == kSizingBottomRight)
        bounds.bottom += dy;
    HandleNativeMessage(kMsgSizing, edge, reinterpret_cast<intptr_t>(&bounds));
    SetBounds(bounds.left, bounds.top, bounds.Width(), bounds.Height());
}

} // namespace sirrel
