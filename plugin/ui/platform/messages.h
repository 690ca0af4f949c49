// Message, hit-test and show codes of the platform seam. They keep the values the framework's window procedure
// was written against, so both backends speak one vocabulary.
#pragma once

#include <cstdint>

namespace sirrel {

enum : uint32_t {
    kMsgDestroy = 0x0002,
    kMsgMove = 0x0003,
    kMsgSize = 0x0005,
    kMsgSetFocus = 0x0007,
    kMsgKillFocus = 0x0008,
    kMsgPaint = 0x000F,
    kMsgClose = 0x0010,
    kMsgQuit = 0x0012,
    kMsgEraseBackground = 0x0014,
    kMsgShowWindow = 0x0018,
    kMsgNonClientHitTest = 0x0084,
    kMsgKeyDown = 0x0100,
    kMsgKeyUp = 0x0101,
    kMsgChar = 0x0102,
    kMsgSystemCommand = 0x0112,
    kMsgTimer = 0x0113,
    kMsgMouseMove = 0x0200,
    kMsgLeftDown = 0x0201,
    kMsgLeftUp = 0x0202,
    kMsgLeftDoubleClick = 0x0203,
    kMsgRightDown = 0x0204,
    kMsgRightUp = 0x0205,
    kMsgRightDoubleClick = 0x0206,
    kMsgMiddleDown = 0x0207,
    kMsgMiddleUp = 0x0208,
    kMsgMiddleDoubleClick = 0x0209,
    // The wheel turned: the first parameter carries the key state in its low 16 bits and the turn in its high 16
    // bits (signed, 120 a notch, positive away from the user).
    kMsgMouseWheel = 0x020A,
    kMsgSizing = 0x0214,
    // A thread message that wakes the window thread for work queued outside the display (the plug-in's tasks).
    kMsgWake = 0x8001,
};

// Answers to kMsgNonClientHitTest.
enum : int32_t {
    kHitDefault = 0,
    kHitClient = 1,
    kHitCaption = 2,
    kHitLeft = 10,
    kHitRight = 11,
    kHitTop = 12,
    kHitTopLeft = 13,
    kHitTopRight = 14,
    kHitBottom = 15,
    kHitBottomLeft = 16,
    kHitBottomRight = 17,
};

// First parameter of kMsgSizing: the edge being dragged.
enum : uint32_t {
    kSizingLeft = 1,
    kSizingRight = 2,
    kSizingTop = 3,
    kSizingTopLeft = 4,
    kSizingTopRight = 5,
    kSizingBottom = 6,
    kSizingBottomLeft = 7,
    kSizingBottomRight = 8,
};

enum : uint32_t {
    kSysCommandMinimize = 0xF020,
    kSysCommandMaximize = 0xF030,
    kSysCommandRestore = 0xF120,
};

// Show commands.
enum : int32_t {
    kShowHide = 0,
    kShowNormal = 1,
    kShowMaximize = 3,
    kShowNoActivate = 4,
    kShowShow = 5,
    kShowMinimize = 6,
    kShowRestore = 9,
};

// First parameter of kMsgPaint: the display lost the window's pixels (uncovered), so all of it must be shown again,
// not only what changed.
enum : uint32_t {
    kPaintChanged = 0,
    kPaintExposed = 1,
};

// Second parameter of kMsgSize.
enum : uint32_t {
    kSizeRestored = 0,
    kSizeMinimized = 1,
    kSizeMaximized = 2,
};

// Key-state word of mouse messages.
enum : uint32_t {
    kKeyStateLeft = 0x01,
    kKeyStateRight = 0x02,
    kKeyStateShift = 0x04,
    kKeyStateControl = 0x08,
    kKeyStateMiddle = 0x10,
};

// Key codes of kMsgKeyDown and kMsgKeyUp; letters and digits are their upper-case ASCII codes.
enum : uint32_t {
    kKeyBack = 0x08,
    kKeyTab = 0x09,
    kKeyReturn = 0x0D,
    kKeyShift = 0x10,
    kKeyControl = 0x11,
    kKeyEscape = 0x1B,
    kKeySpace = 0x20,
    kKeyEnd = 0x23,
    kKeyHome = 0x24,
    kKeyLeft = 0x25,
    kKeyUp = 0x26,
    kKeyRight = 0x27,
    kKeyDown = 0x28,
    kKeyDelete = 0x2E,
};

enum class Cursor { Arrow, IBeam, SizeHorizontal, SizeVertical, SizeDiagonalDown, SizeDiagonalUp };

// Second parameter of mouse messages: client x in the low 16 bits, y in the high 16 bits, both signed.
inline intptr_t PackPoint(int32_t x, int32_t y)
{
    return intptr_t(uint32_t(uint16_t(int16_t(x))) | uint32_t(uint16_t(int16_t(y))) << 16);
}
inline int32_t PointX(intptr_t packed) { return int16_t(uint16_t(uintptr_t(packed) & 0xFFFF)); }
inline int32_t PointY(intptr_t packed) { return int16_t(uint16_t((uintptr_t(packed) >> 16) & 0xFFFF)); }

// The first parameter of kMsgMouseWheel, and the turn it carries.
constexpr int32_t kWheelNotch = 120;
inline uintptr_t PackWheel(uint32_t keys, int32_t turn)
{
    return (keys & 0xFFFF) | uintptr_t(uint16_t(int16_t(turn))) << 16;
}
inline int32_t WheelTurn(uintptr_t first) { return int16_t(uint16_t((first >> 16) & 0xFFFF)); }

} // namespace sirrel
