// The framework's message box: a caption, a text and up to eight buttons given as 4-bit codes in one word,
// lowest nibble first. A modal loop runs until a button is pressed; the box returns its code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sirrel {

class Oru_Window;

enum : uint32_t {
    kBoxOk = 1,
    kBoxYes = 2,
    kBoxNo = 3,
    kBoxCancel = 4,
    kBoxAbort = 5,
    kBoxRetry = 6,
    kBoxIgnore = 7,
};

// The buttons of a code word in order: a nibble of 0 (or a code without a button) adds none, and a word that
// adds none gives one "OK".
std::vector<uint32_t> MessageBoxButtons(uint32_t codes);
const char *MessageBoxLabel(uint32_t code);

// Shows the box over `owner` (or alone) and returns the code pressed. When the display has nothing more to give
// (a headless run without a script), the box answers with its first button.
uint32_t ShowMessageBox(Oru_Window *owner, const std::string &caption, const std::string &text, uint32_t codes);

} // namespace sirrel
