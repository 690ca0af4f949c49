#include "windows/translation_dialog.h"

#include <algorithm>

#include "engine/decoder_engine.h"
#include "protocols/configuration.h"
#include "protocols/data_folder.h"
#include "protocols/product_name.h"
#include "ui/message_box.h"
#include "ui/platform/messages.h"
#include "windows/charset_fonts.h"
#include "windows/help_page.h"
#include "windows/name_dialog.h"

namespace sirrel {

namespace {

constexpr int32_t kGap = 10;
constexpr int32_t kRow = 22;
constexpr int32_t kLabelWidth = 100;
constexpr int32_t kButtonWidth = 80;
constexpr int32_t kVisibleRows = 20;
constexpr int32_t kGroupWidth = CodeGrid::kGridWidth + 12;
constexpr int32_t kGroupHeight = GroupFrame::kTitleHeight + 2 + kVisibleRows * CodeGrid::kCellHeight + 1 + 6;
constexpr int32_t kGroupsTop = Oru_Frame::kCaptionHeight + 2 * (kRow + kGap) + 4;
constexpr int32_t kWidth = 2 * Oru_Frame::kBorder + 3 * kGap + 2 * kGroupWidth;
constexpr int32_t kHeight = kGroupsTop + kGroupHeight + kGap + Oru_Frame::kBorder;
constexpr size_t kLongestName = TranslationTableRecord::kNameSize - 1;

template <void (TranslationDialog::*Handler)()> void Call(Oru_Window *, void *self)
{
    (static_cast<TranslationDialog *>(self)->*Handler)();
}

void SetItems(Oru_ComboBox &combo, const std::vector<std::string> &items)
{
    OruStringList list;
    OruStringList_Construct(&list);
    for (const std::string &item : items)
        OruStringList_Add_String(&list, item.c_str());
    combo.List().SetItems(list);
    OruStringList_Destruct(&list, 0);
}

int32_t IndexOf(const std::vector<std::string> &items, const std::string &item)
{
    const auto found = std::find(items.begin(), items.end(), item);
    return found == items.end() ? -1 : int32_t(found - items.begin());
}

} // namespace

TranslationDialog::TranslationDialog(WindowContext &context) : context_(context)
{
    // The decoder window's loop ends with the decoder window, not with this dialog.
    SetEndsLoop(false);
    const Configuration &c = context_.configuration;
    CreateFrame(nullptr, c.tablesLeft, c.tablesTop, kWidth, kHeight, "Character translation tables", false);
    showMessage = [this](const std::string &message) { ShowMessageBox(this, kProductCaption, message, kBoxOk); };

    Controls &p = parts_;
    const int32_t left = kBorder + kGap;
    int32_t y = kCaptionHeight + kGap;
    p.tableLabel.CreateLabel(this, left, y, kLabelWidth, kRow, "Current table");
    p.table.CreateCombo(this, left + kLabelWidth, y, 220, kRow, true, kLongestName);
    p.table.SetClickCallback(Call<&TranslationDialog::TableChosen>, this);
    int32_t x = left + kLabelWidth + 220 + 2 * kGap;
    const auto button = [&](Oru_PushButton &b, const char *caption, void (*handler)(Oru_Window *, void *)) {
        b.CreateButton(this, x, y - 1, kButtonWidth, kRow + 2, caption);
        b.SetClickCallback(handler, this);
        x += kButtonWidth + kGap;
    };
    button(p.help, "Help", [](Oru_Window *, void *self) {
        auto *dialog = static_cast<TranslationDialog *>(self);
        OpenHelpPage(dialog, dialog->HelpPage());
    });
    button(p.add, "Add", Call<&TranslationDialog::AddClicked>);
    button(p.defaults, "Default", [](Oru_Window *, void *self) {
        static_cast<TranslationDialog *>(self)->Edit([](TranslationTables &tables) {
            tables.SetDefaultCodes();
            return std::string();
        });
    });
    button(p.remove, "Remove", [](Oru_Window *, void *self) {
        static_cast<TranslationDialog *>(self)->Edit([](TranslationTables &tables) { return tables.Remove(); });
    });
    button(p.update, "Update", [](Oru_Window *, void *self) {
        static_cast<TranslationDialog *>(self)->Edit([](TranslationTables &tables) { return tables.Update(); });
    });

    y += kRow + kGap;
    p.characterSetLabel.CreateLabel(this, left, y, kLabelWidth, kRow, "Character set");
    p.characterSet.CreateCombo(this, left + kLabelWidth, y, 220, kRow, false);
    for (const CharacterSet &set : CharacterSets())
        p.characterSet.AddItem(set.name);
    p.characterSet.Select(kDefaultCharacterSetIndex);
    p.characterSet.SetClickCallback(Call<&TranslationDialog::CharacterSetChosen>, this);
    x = left + kLabelWidth + 220 + 2 * kGap;
    p.fontLabel.CreateLabel(this, x, y, kLabelWidth + 20, kRow, "Replacement font");
    p.font.CreateCombo(this, x + kLabelWidth + 20, y, 260, kRow, false);
    p.font.SetClickCallback(Call<&TranslationDialog::FontChosen>, this);

    p.translationGroup.CreateGroup(this, {left, kGroupsTop, left + kGroupWidth, kGroupsTop + kGroupHeight},
                                   "Current translation table");
    const Rect inner = p.translationGroup.Inner();
    p.translation.CreateCodeGrid(&p.translationGroup, inner.left, inner.top, kVisibleRows,
                                 CodeGrid::Kind::kTranslation);
    const int32_t right = left + kGroupWidth + kGap;
    p.fontGroup.CreateGroup(this, {right, kGroupsTop, right + kGroupWidth, kGroupsTop + kGroupHeight},
                            "Current replacement font");
    p.fontCodes.CreateCodeGrid(&p.fontGroup, inner.left, inner.top, kVisibleRows, CodeGrid::Kind::kFont);
    p.fontCodes.SetClickCallback(Call<&TranslationDialog::FontCodeClicked>, this);

    SetTimer(kRefreshTimer, kRefreshMilliseconds);
    // What the tables hold now.
    Edit([](TranslationTables &) { return std::string(); });
}

TranslationDialog::~TranslationDialog() { Destroy(); }

std::string TranslationDialog::HelpPage() const
{
    return sirrel::HelpPage(DataPathsIn(context_.dataFolder), "Translation.html");
}

void TranslationDialog::Show()
{
    Refresh();
    ShowCommand(kShowShow);
    SetFocus();
}

void TranslationDialog::Close() { ShowCommand(kShowHide); }

void TranslationDialog::Gather(Configuration &c) const
{
    c.tablesLeft = X();
    c.tablesTop = Y();
}

void TranslationDialog::Edit(Change change)
{
    TranslationTables &tables = context_.tables;
    context_.engine.Post([&tables, change = std::move(change), outcomes = outcomes_](EngineEdit &) {
        Outcome outcome;
        outcome.message = change(tables);
        outcome.names = tables.Names();
        outcome.listText = tables.ListText();
        outcome.record = tables.Current();
        outcome.characterSet = tables.SelectedCharacterSet();
        outcomes->Put(std::move(outcome));
    });
    // With no frame at work the edit ran at once: show its outcome now.
    Refresh();
}

void TranslationDialog::Refresh()
{
    for (const Outcome &outcome : outcomes_->Take())
        Take(outcome);
    // A table chosen in the main window's list or by a protocol.
    const uint64_t settings = context_.engine.Changes().settings.load();
    if (settings == seen_)
        return;
    seen_ = settings;
    const std::string inForce = context_.engine.Published().translationTableName;
    if (inForce != followed_) {
        followed_ = inForce;
        if (inForce != shown_.record.name)
            Edit([](TranslationTables &) { return std::string(); });
    }
}

void TranslationDialog::Take(const Outcome &outcome)
{
    Controls &p = parts_;
    const bool namesChanged = outcome.names != shown_.names;
    const bool listTextChanged = outcome.listText != shown_.listText;
    shown_ = outcome;
    if (namesChanged)
        SetItems(p.table, shown_.names);
    // Text being typed into the list stays until it names a table.
    if (namesChanged || listTextChanged)
        p.table.Select(IndexOf(shown_.names, shown_.listText));
    p.characterSet.Select(shown_.characterSet);
    FillFonts(shown_.characterSet, shown_.record.font);
    p.translation.Show(shown_.record.codes, shown_.record.font, shown_.record.characterSet);
    p.fontCodes.Show(shown_.record.codes, shown_.record.font, shown_.record.characterSet);
    if (namesChanged && onNamesChanged)
        onNamesChanged(shown_.names);
    if (!outcome.message.empty() && showMessage)
        showMessage(outcome.message);
}

void TranslationDialog::FillFonts(int characterSet, const std::string &font)
{
    std::vector<std::string> fonts = FontsForCharacterSet(characterSet);
    if (!font.empty() && IndexOf(fonts, font) < 0)
        fonts.insert(fonts.begin(), font);
    SetItems(parts_.font, fonts);
    parts_.font.Select(IndexOf(fonts, font));
}

void TranslationDialog::TableChosen()
{
    const std::string name = parts_.table.SelectedText();
    // Typing passes through names that are no table's; the list's text then stays the table in force.
    if (name == shown_.listText || IndexOf(shown_.names, name) < 0)
        return;
    Edit([name](TranslationTables &tables) { return tables.SelectByName(name); });
}

void TranslationDialog::AddClicked()
{
    const std::optional<std::string> name = NameDialog::Ask(this, "New translation table name", kLongestName);
    if (!name)
        return;
    Edit([name = *name](TranslationTables &tables) { return tables.Add(name); });
}

void TranslationDialog::CharacterSetChosen()
{
    const int index = parts_.characterSet.Selected();
    // The font stays when it covers the new set; otherwise the set's first font is taken.
    const std::vector<std::string> fonts = FontsForCharacterSet(index);
    std::string font = shown_.record.font;
    if (index != kDefaultCharacterSetIndex && !fonts.empty() && IndexOf(fonts, font) < 0)
        font = fonts.front();
    Edit([index, font](TranslationTables &tables) {
        tables.SetCharacterSet(index);
        tables.SetFont(font);
        return std::string();
    });
}

void TranslationDialog::FontChosen()
{
    const std::string font = parts_.font.SelectedText();
    Edit([font](TranslationTables &tables) {
        tables.SetFont(font);
        return std::string();
    });
}

void TranslationDialog::FontCodeClicked()
{
    const uint8_t source = parts_.translation.SelectedCode();
    const uint8_t shown = parts_.fontCodes.SelectedCode();
    Edit([source, shown](TranslationTables &tables) {
        tables.SetCode(source, shown);
        return std::string();
    });
}

intptr_t TranslationDialog::HandleNativeMessage(uint32_t message, uintptr_t first, intptr_t second)
{
    // The instance keeps the dialog: closing only hides it.
    if (message == kMsgClose) {
        Close();
        return 0;
    }
    return Oru_Frame::HandleNativeMessage(message, first, second);
}

void TranslationDialog::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
    else
        Oru_Frame::TimerTick(id);
}

} // namespace sirrel
