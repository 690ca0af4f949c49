// The protocol list of the decoder window with its "Add", "Update", "Remove" and "Create default" buttons.
//
// The protocol library belongs to the frame thread, so every operation on it runs as an engine edit. An edit
// never shows anything: it leaves its messages and the list as it found it in a mailbox, and the panel takes them
// on the user-interface thread (at once when the edit ran at once, else from its timer), refills the list and
// shows the messages in boxes there. Questions ("New protocol name", the "Create default" confirmation) are
// asked before the edit is posted.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocols/protocol_library.h"
#include "ui/controls.h"
#include "ui/lists.h"
#include "windows/edit_mailbox.h"
#include "windows/window_context.h"

namespace sirrel {

struct EngineEdit;

class ProtocolListPanel : public Oru_Window {
public:
    static constexpr uint32_t kResultTimer = 1;
    static constexpr uint32_t kResultMilliseconds = 50;

    ProtocolListPanel(Oru_Window &parent, Rect area, WindowContext &context);
    ~ProtocolListPanel() override;

    void Gather(Configuration &c) const;

    Oru_ComboBox &List() { return list_; }
    Oru_PushButton &AddButton() { return add_; }
    Oru_PushButton &UpdateButton() { return update_; }
    Oru_PushButton &RemoveButton() { return remove_; }
    Oru_PushButton &CreateDefaultButton() { return createDefault_; }

    // Refills the list and shows the messages of the edits that have run since the last look.
    void TakeResults();
    void TimerTick(uint32_t id) override;

private:
    using Messages = std::vector<std::string>;
    // Runs on the frame thread, inside an edit.
    using Operation = std::function<Messages(EngineEdit &edit, ProtocolLibrary &library, TranslationTables &tables)>;

    struct Outcome {
        Messages messages;
        ProtocolList list;
        uint64_t edit = 0; // which of the panel's edits answers
    };

    static void Picked(Oru_Window *, void *panel);
    static void AddClicked(Oru_Window *, void *panel);
    static void UpdateClicked(Oru_Window *, void *panel);
    static void RemoveClicked(Oru_Window *, void *panel);
    static void CreateDefaultClicked(Oru_Window *, void *panel);

    void Run(Operation operation);
    void ShowList(const ProtocolList &list);

    WindowContext &context_;
    std::shared_ptr<EditMailbox<Outcome>> mailbox_ = std::make_shared<EditMailbox<Outcome>>();
    std::string text_;    // the list's text as the library last reported it
    uint64_t posted_ = 0; // the panel's edits so far; only the latest one's answer shows the list
    Oru_ComboBox list_;
    Oru_PushButton add_;
    Oru_PushButton update_;
    Oru_PushButton remove_;
    Oru_PushButton createDefault_;
};

} // namespace sirrel
