#include "windows/protocol_list_panel.h"

#include "engine/decoder_engine.h"
#include "protocols/configuration.h"
#include "protocols/product_name.h"
#include "protocols/translation_tables.h"
#include "ui/message_box.h"
#include "windows/name_dialog.h"

namespace sirrel {

namespace {

constexpr int32_t kRowHeight = 22;
constexpr int32_t kGap = 4;

// The record names the table; the table in force is the one it names when the tables hold it, and the settings
// keep the name of the table really in force.
std::string ApplyTable(EngineEdit &edit, TranslationTables &tables)
{
    const std::string message = tables.SelectByName(edit.settings.translationTableName);
    edit.settings.translationTableName = tables.Current().name;
    return message;
}

} // namespace

ProtocolListPanel::ProtocolListPanel(Oru_Window &parent, Rect area, WindowContext &context) : context_(context)
{
    Create(&parent, area.left, area.top, area.Width(), area.Height(), false, kStyleWindowless, 0);
    SetColors(parent.BackgroundColor(), parent.TextColor());
    const int32_t width = area.Width();
    list_.CreateCombo(this, 0, 0, width, kRowHeight, false);
    list_.SetClickCallback(&ProtocolListPanel::Picked, this);

    // Two rows of two, so that "Create default" reads whole in a narrow strip.
    const int32_t top = kRowHeight + kGap;
    const int32_t second = top + kRowHeight + kGap;
    const int32_t half = (width - kGap) / 2;
    add_.CreateButton(this, 0, top, half, kRowHeight, "Add");
    add_.SetClickCallback(&ProtocolListPanel::AddClicked, this);
    update_.CreateButton(this, half + kGap, top, width - half - kGap, kRowHeight, "Update");
    update_.SetClickCallback(&ProtocolListPanel::UpdateClicked, this);
    remove_.CreateButton(this, 0, second, half, kRowHeight, "Remove");
    remove_.SetClickCallback(&ProtocolListPanel::RemoveClicked, this);
    createDefault_.CreateButton(this, half + kGap, second, width - half - kGap, kRowHeight, "Create default");
    createDefault_.SetClickCallback(&ProtocolListPanel::CreateDefaultClicked, this);

    // The instance reported a file it could not read when it loaded the list at start-up; here the list only
    // takes the saved text, which selects the entry of that name.
    const std::string saved = context_.configuration.protocol;
    Run([saved](EngineEdit &, ProtocolLibrary &library, TranslationTables &) {
        library.List().text = saved;
        library.LoadList();
        return Messages{};
    });
    SetTimer(kResultTimer, kResultMilliseconds);
}

ProtocolListPanel::~ProtocolListPanel() { KillTimer(kResultTimer); }

void ProtocolListPanel::Gather(Configuration &c) const { c.protocol = text_; }

void ProtocolListPanel::TimerTick(uint32_t id)
{
    if (id == kResultTimer)
        TakeResults();
}

void ProtocolListPanel::Run(Operation operation)
{
    ProtocolLibrary &library = context_.protocols;
    TranslationTables &tables = context_.tables;
    const uint64_t number = ++posted_;
    context_.engine.Post(
        [mailbox = mailbox_, operation = std::move(operation), &library, &tables, number](EngineEdit &edit) {
            mailbox->Put(Outcome{operation(edit, library, tables), library.List(), number});
        });
    // Without a frame running the edit has run already: its messages show now, not a tick later.
    TakeResults();
}

void ProtocolListPanel::TakeResults()
{
    for (const Outcome &outcome : mailbox_->Take()) {
        // An older answer would put back the entry the arrow keys have since left; the latest answer shows all.
        if (outcome.edit == posted_)
            ShowList(outcome.list);
        for (const std::string &message : outcome.messages) {
            if (!message.empty())
                ShowMessageBox(TopLevel(), kProductCaption, message, kBoxOk);
        }
    }
}

void ProtocolListPanel::ShowList(const ProtocolList &list)
{
    OruStringList names;
    OruStringList_Construct(&names);
    for (const std::string &name : list.names)
        OruStringList_Add_String(&names, name.c_str());
    list_.List().SetItems(names);
    OruStringList_Destruct(&names, 0);
    list_.Select(list.selected);
    text_ = list.text;
}

void ProtocolListPanel::Picked(Oru_Window *, void *panel)
{
    auto *self = static_cast<ProtocolListPanel *>(panel);
    const std::string name = self->list_.SelectedText();
    const int32_t index = self->list_.Selected();
    self->Run([name, index](EngineEdit &edit, ProtocolLibrary &library, TranslationTables &tables) {
        // The list shown after the edit keeps the choice, so it reads whole and the arrow keys step on from it.
        library.List().text = name;
        library.List().selected = index;
        std::string message = library.ApplySelected();
        if (!message.empty())
            return Messages{message};
        edit.tuning.SetToneMarkers(int32_t(edit.settings.space), int32_t(edit.settings.mark));
        return Messages{ApplyTable(edit, tables)};
    });
}

void ProtocolListPanel::AddClicked(Oru_Window *, void *panel)
{
    auto *self = static_cast<ProtocolListPanel *>(panel);
    const std::optional<std::string> name =
        NameDialog::Ask(self->TopLevel(), "New protocol name", ProtocolRecord::kNameSize - 1);
    if (!name)
        return;
    self->Run([name = *name](EngineEdit &, ProtocolLibrary &library, TranslationTables &) {
        return Messages{library.Add(name)};
    });
}

void ProtocolListPanel::UpdateClicked(Oru_Window *, void *panel)
{
    static_cast<ProtocolListPanel *>(panel)->Run(
        [](EngineEdit &, ProtocolLibrary &library, TranslationTables &) { return Messages{library.Update()}; });
}

void ProtocolListPanel::RemoveClicked(Oru_Window *, void *panel)
{
    static_cast<ProtocolListPanel *>(panel)->Run(
        [](EngineEdit &, ProtocolLibrary &library, TranslationTables &) { return Messages{library.Remove()}; });
}

void ProtocolListPanel::CreateDefaultClicked(Oru_Window *, void *panel)
{
    auto *self = static_cast<ProtocolListPanel *>(panel);
    if (ShowMessageBox(self->TopLevel(), kProductCaption, ProtocolLibrary::kCreateDefaultQuestion,
                       kBoxYes | kBoxNo << 4) != kBoxYes)
        return;
    self->Run([](EngineEdit &edit, ProtocolLibrary &library, TranslationTables &tables) {
        // Asked already, on this side.
        std::string message = library.CreateDefault([](const std::string &) { return true; });
        if (!message.empty())
            return Messages{message};
        edit.tuning.SetToneMarkers(int32_t(edit.settings.space), int32_t(edit.settings.mark));
        return Messages{ApplyTable(edit, tables)};
    });
}

} // namespace sirrel
