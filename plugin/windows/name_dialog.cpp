#include "windows/name_dialog.h"

#include "ui/platform/messages.h"

namespace sirrel {

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 110;

} // namespace

std::optional<std::string> NameDialog::Ask(Oru_Window *owner, const std::string &title, size_t maxLength)
{
    NameDialog dialog;
    if (!dialog.Build(owner, title, maxLength))
        return std::nullopt;
    if (dialog.RunModal(kCancelled) != kAccepted)
        return std::nullopt;
    return dialog.field_.Text();
}

bool NameDialog::Build(Oru_Window *owner, const std::string &title, size_t maxLength)
{
    // A question, like a message box: closing it must not end the thread's loop.
    SetEndsLoop(false);
    if (!CreateFrame(owner, 0, 0, kWidth, kHeight, title, false))
        return false;
    const Rect content = ContentRect();
    field_.dialog = this;
    field_.CreateEdit(this, content.left + 10, content.top + 12, content.Width() - 20, 22, "");
    field_.SetMaxLength(maxLength);
    const int32_t buttonsTop = content.bottom - 34;
    ok_.CreateButton(this, content.right - 2 * 86, buttonsTop, 76, 24, "OK");
    ok_.SetClickCallback([](Oru_Window *, void *self) { static_cast<NameDialog *>(self)->EndDialog(kAccepted); }, this);
    cancel_.CreateButton(this, content.right - 86, buttonsTop, 76, 24, "Cancel");
    cancel_.SetClickCallback([](Oru_Window *, void *self) { static_cast<NameDialog *>(self)->EndDialog(kCancelled); },
                             this);
    field_.SetFocus();
    return true;
}

int32_t NameDialog::KeyEvent(int32_t kind, uint32_t key)
{
    if (kind != kKeyPressed || key != kKeyEscape)
        return 0;
    EndDialog(kCancelled);
    return 1;
}

} // namespace sirrel
