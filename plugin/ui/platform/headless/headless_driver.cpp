#include "ui/platform/headless/headless_driver.h"

#include <algorithm>

#include "ui/platform/png_file.h"

namespace sirrel {

namespace {

// Keeps a buffer allocation sane whatever size a window asks for; no screen shows more.
constexpr int32_t kLargestSide = 4096;

int32_t Side(int32_t value) { return std::clamp(value, 1, kLargestSide); }

} // namespace

HeadlessDriver::WindowRecord *HeadlessDriver::Find(uint32_t window)
{
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

uint32_t HeadlessDriver::CreateNativeWindow(const NativeWindowSpec &spec)
{
    std::lock_guard<std::mutex> hold(lock_);
    WindowRecord record;
    record.spec = spec;
    record.spec.width = Side(spec.width);
    record.spec.height = Side(spec.height);
    record.pixels.assign(size_t(record.spec.width) * size_t(record.spec.height), 0);
    const uint32_t handle = nextHandle_++;
    windows_.emplace(handle, std::move(record));
    return handle;
}

void HeadlessDriver::DestroyNativeWindow(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    windows_.erase(window);
    timers_.KillWindow(window);
    dirty_.Remove(window);
    std::erase_if(queue_, [&](const Entry &e) { return e.message.window == window; });
    if (focus_ == window)
        focus_ = 0;
}

void HeadlessDriver::SetNativeBounds(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                                     uint32_t sizeKind)
{
    std::lock_guard<std::mutex> hold(lock_);
    WindowRecord *record = Find(window);
    if (!record)
        return;
    width = Side(width);
    height = Side(height);
    if (x != record->spec.x || y != record->spec.y) {
        record->spec.x = x;
        record->spec.y = y;
        PostLocked(window, kMsgMove, 0, PackPoint(x, y));
    }
    if (width != record->spec.width || height != record->spec.height || sizeKind != record->sizeKind) {
        std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0);
        for (int32_t row = 0; row < std::min(height, record->spec.height); ++row)
            std::copy_n(record->pixels.begin() + size_t(row) * record->spec.width, std::min(width, record->spec.width),
                        pixels.begin() + size_t(row) * width);
        record->pixels = std::move(pixels);
        record->spec.width = width;
        record->spec.height = height;
        record->sizeKind = sizeKind;
        PostLocked(window, kMsgSize, sizeKind, PackPoint(width, height));
        dirty_.Add(window);
    }
}

void HeadlessDriver::ShowNativeWindow(uint32_t window, bool visible)
{
    std::lock_guard<std::mutex> hold(lock_);
    WindowRecord *record = Find(window);
    if (!record || record->visible == visible)
        return;
    record->visible = visible;
    if (visible)
        dirty_.Add(window);
    wake_.notify_all();
}

void HeadlessDriver::SetNativeTitle(uint32_t window, const std::string &title)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (WindowRecord *record = Find(window))
        record->title = title;
}

void HeadlessDriver::SetNativeIcon(uint32_t window, const std::vector<uint32_t> &, int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (WindowRecord *record = Find(window)) {
        record->iconWidth = width;
        record->iconHeight = height;
    }
}

void HeadlessDriver::InvalidateNativeWindow(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!Find(window) || !dirty_.Add(window))
        return;
    wake_.notify_all();
}

void HeadlessDriver::Blit(uint32_t window, const OruDynamicPixMap &map, int32_t sourceX, int32_t sourceY, int32_t width,
                          int32_t height, int32_t x, int32_t y)
{
    if (map.BitsPerPixel != 32 || !map.Pixels)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    WindowRecord *record = Find(window);
    if (!record)
        return;
    for (int32_t row = 0; row < height; ++row) {
        const int32_t from = sourceY + row;
        const int32_t to = y + row;
        if (from < 0 || from >= map.Height || to < 0 || to >= record->spec.height)
            continue;
        const auto *source = reinterpret_cast<const uint32_t *>(map.Pixels + size_t(from) * map.Stride);
        for (int32_t column = 0; column < width; ++column) {
            const int32_t fromX = sourceX + column;
            const int32_t toX = x + column;
            if (fromX >= 0 && fromX < map.Width && toX >= 0 && toX < record->spec.width)
                record->pixels[size_t(to) * record->spec.width + toX] = source[fromX] & 0xFFFFFF;
        }
    }
}

void HeadlessDriver::SetFocus(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (focus_ == window || !Find(window))
        return;
    if (focus_)
        PostLocked(focus_, kMsgKillFocus, window, 0);
    PostLocked(window, kMsgSetFocus, focus_, 0);
    focus_ = window;
}

void HeadlessDriver::SetCursor(Cursor cursor)
{
    std::lock_guard<std::mutex> hold(lock_);
    cursor_ = cursor;
}

void HeadlessDriver::PostLocked(uint32_t window, uint32_t message, uintptr_t first, intptr_t second, bool screenPoint)
{
    queue_.push_back({{window, message, first, second}, screenPoint});
    wake_.notify_all();
}

void HeadlessDriver::PostMessage(uint32_t window, uint32_t message, uintptr_t first, intptr_t second)
{
    std::lock_guard<std::mutex> hold(lock_);
    PostLocked(window, message, first, second);
}

bool HeadlessDriver::NextMessage(PlatformMessage &message, bool wait)
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        if (!queue_.empty()) {
            Entry entry = queue_.front();
            queue_.pop_front();
            message = entry.message;
            if (entry.screenPoint) {
                const WindowRecord *record = Find(message.window);
                if (!record)
                    continue;
                message.second =
                    PackPoint(PointX(message.second) - record->spec.x, PointY(message.second) - record->spec.y);
            }
            return true;
        }
        if (auto idle = NextIdleMessage(timers_, dirty_)) {
            message = *idle;
            return true;
        }
        if (!wait)
            return false;
        if (auto next = timers_.NextDue())
            wake_.wait_until(hold, *next);
        else
            wake_.wait(hold);
    }
}

bool HeadlessDriver::Idle()
{
    std::shared_ptr<std::function<void()>> handler;
    {
        std::lock_guard<std::mutex> hold(lock_);
        handler = idleHandler_;
        if (!handler && (!queue_.empty() || !dirty_.Empty()))
            return true;
    }
    if (!handler)
        return false;
    (*handler)();
    return true;
}

void HeadlessDriver::SetIdleHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> hold(lock_);
    idleHandler_ = handler ? std::make_shared<std::function<void()>>(std::move(handler)) : nullptr;
}

void HeadlessDriver::SetTimer(uint32_t window, uint32_t id, uint32_t milliseconds)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!Find(window))
        return;
    timers_.Set(window, id, milliseconds);
    wake_.notify_all();
}

void HeadlessDriver::KillTimer(uint32_t window, uint32_t id)
{
    std::lock_guard<std::mutex> hold(lock_);
    timers_.Kill(window, id);
}

void HeadlessDriver::SetClipboardText(const std::string &text)
{
    std::lock_guard<std::mutex> hold(lock_);
    clipboard_ = text;
}

std::string HeadlessDriver::ClipboardText()
{
    std::lock_guard<std::mutex> hold(lock_);
    return clipboard_;
}

void HeadlessDriver::PostMouse(uint32_t window, uint32_t message, uint32_t keys, int32_t x, int32_t y)
{
    const WindowRecord *record = Find(window);
    if (record)
        PostLocked(window, message, keys, PackPoint(x + record->spec.x, y + record->spec.y), true);
}

void HeadlessDriver::Click(uint32_t window, int32_t x, int32_t y)
{
    std::lock_guard<std::mutex> hold(lock_);
    PostMouse(window, kMsgMouseMove, 0, x, y);
    PostMouse(window, kMsgLeftDown, kKeyStateLeft, x, y);
    PostMouse(window, kMsgLeftUp, 0, x, y);
}

void HeadlessDriver::DoubleClick(uint32_t window, int32_t x, int32_t y)
{
    std::lock_guard<std::mutex> hold(lock_);
    PostMouse(window, kMsgLeftDown, kKeyStateLeft, x, y);
    PostMouse(window, kMsgLeftUp, 0, x, y);
    PostMouse(window, kMsgLeftDoubleClick, kKeyStateLeft, x, y);
    PostMouse(window, kMsgLeftUp, 0, x, y);
}

void HeadlessDriver::Drag(uint32_t window, int32_t fromX, int32_t fromY, int32_t toX, int32_t toY)
{
    std::lock_guard<std::mutex> hold(lock_);
    PostMouse(window, kMsgMouseMove, 0, fromX, fromY);
    PostMouse(window, kMsgLeftDown, kKeyStateLeft, fromX, fromY);
    PostMouse(window, kMsgMouseMove, kKeyStateLeft, (fromX + toX) / 2, (fromY + toY) / 2);
    PostMouse(window, kMsgMouseMove, kKeyStateLeft, toX, toY);
    PostMouse(window, kMsgLeftUp, 0, toX, toY);
}

void HeadlessDriver::PressKey(uint32_t window, uint32_t key)
{
    std::lock_guard<std::mutex> hold(lock_);
    PostLocked(window, kMsgKeyDown, key, 0);
    PostLocked(window, kMsgKeyUp, key, 0);
}

void HeadlessDriver::TypeText(uint32_t window, const std::string &text)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (unsigned char c : text)
        PostLocked(window, kMsgChar, c, 0);
}

bool HeadlessDriver::Exists(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    return Find(window) != nullptr;
}

HeadlessDriver::WindowRecord HeadlessDriver::Record(uint32_t window)
{
    std::lock_guard<std::mutex> hold(lock_);
    const WindowRecord *record = Find(window);
    return record ? *record : WindowRecord{};
}

std::vector<uint32_t> HeadlessDriver::Windows()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<uint32_t> handles;
    for (const auto &[handle, record] : windows_)
        handles.push_back(handle);
    return handles;
}

uint32_t HeadlessDriver::FocusWindow()
{
    std::lock_guard<std::mutex> hold(lock_);
    return focus_;
}

Cursor HeadlessDriver::LastCursor()
{
    std::lock_guard<std::mutex> hold(lock_);
    return cursor_;
}

bool HeadlessDriver::SavePng(uint32_t window, const std::string &path)
{
    const WindowRecord record = Record(window);
    return WritePng(path, record.pixels, record.spec.width, record.spec.height);
}

} // namespace sirrel
