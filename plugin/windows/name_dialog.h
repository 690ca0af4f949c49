// The dialog that asks for a new name ("New protocol name"): one edit field, "OK" and "Cancel". Return takes
// the name, escape or closing the dialog cancels.
#pragma once

#include <optional>
#include <string>

#include "ui/controls.h"
#include "ui/edit_field.h"
#include "ui/frame.h"

namespace sirrel {

class NameDialog : public Oru_Dialog {
public:
    // The name typed, or nothing when the dialog was cancelled.
    static std::optional<std::string> Ask(Oru_Window *owner, const std::string &title, size_t maxLength);

    int32_t KeyEvent(int32_t kind, uint32_t key) override;

private:
    // Return in the field takes the name as the "OK" button does.
    class Field : public Oru_EditField {
    public:
        NameDialog *dialog = nullptr;

    protected:
        void Committed() override { dialog->EndDialog(kAccepted); }
    };

    static constexpr int32_t kAccepted = 1;
    static constexpr int32_t kCancelled = 2;

    bool Build(Oru_Window *owner, const std::string &title, size_t maxLength);

    Field field_;
    Oru_PushButton ok_;
    Oru_PushButton cancel_;
};

} // namespace sirrel
