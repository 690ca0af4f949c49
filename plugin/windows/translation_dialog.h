// The "Character translation tables" dialog, shown on demand: the stored tables by name, the current table's
// character set and replacement font, and its two grids. The tables belong to the frame thread: every action is
// an engine edit, which hands back what the dialog then shows (the names, the current record, a message).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocols/translation_tables.h"
#include "ui/controls.h"
#include "ui/frame.h"
#include "ui/lists.h"
#include "windows/edit_mailbox.h"
#include "windows/group_frame.h"
#include "windows/translation_grids.h"
#include "windows/window_context.h"

namespace sirrel {

class TranslationDialog : public Oru_Frame {
public:
    static constexpr uint32_t kRefreshTimer = 1;
    static constexpr uint32_t kRefreshMilliseconds = 100;

    // The controls in their order on the dialog.
    struct Controls {
        Oru_Label tableLabel;
        Oru_ComboBox table; // "Current table"
        Oru_PushButton help;
        Oru_PushButton add;
        Oru_PushButton defaults; // "Default"
        Oru_PushButton remove;
        Oru_PushButton update;
        Oru_Label characterSetLabel;
        Oru_ComboBox characterSet;
        Oru_Label fontLabel;
        Oru_ComboBox font; // "Replacement font"
        GroupFrame translationGroup;
        CodeGrid translation; // "Current translation table"
        GroupFrame fontGroup;
        CodeGrid fontCodes; // "Current replacement font"
    };

    // Built hidden at the position of the configuration block.
    explicit TranslationDialog(WindowContext &context);
    ~TranslationDialog() override;

    void Show();
    void Close();
    void Gather(Configuration &c) const;
    // Takes what the edits handed back and follows a table chosen elsewhere; the refresh timer calls it.
    void Refresh();

    // The table names changed ("Add", "Remove"): the main window's list follows.
    std::function<void(const std::vector<std::string> &names)> onNamesChanged;
    // How the dialog's messages reach the user: a message box by default.
    std::function<void(const std::string &message)> showMessage;

    Controls &Parts() { return parts_; }
    // The page "Help" opens.
    std::string HelpPage() const;
    // What the dialog shows of the tables.
    const std::vector<std::string> &Names() const { return shown_.names; }
    const TranslationTableRecord &Current() const { return shown_.record; }

    intptr_t HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second) override;
    void TimerTick(uint32_t id) override;

private:
    // What an edit hands back.
    struct Outcome {
        std::vector<std::string> names;
        std::string listText;
        TranslationTableRecord record;
        int characterSet = kDefaultCharacterSetIndex;
        std::string message;
    };
    using Change = std::function<std::string(TranslationTables &tables)>;

    void Edit(Change change);
    void Take(const Outcome &outcome);
    // The fonts of the character set, with the record's own font kept when fontconfig does not list it (an alias
    // such as "Courier New" still finds its face).
    void FillFonts(int characterSet, const std::string &font);

    void TableChosen();
    void AddClicked();
    void CharacterSetChosen();
    void FontChosen();
    void FontCodeClicked();

    WindowContext &context_;
    Controls parts_;
    std::shared_ptr<EditMailbox<Outcome>> outcomes_ = std::make_shared<EditMailbox<Outcome>>();
    Outcome shown_;
    std::string followed_; // the table in force the last time the dialog looked
    uint64_t seen_ = 0;
};

} // namespace sirrel
