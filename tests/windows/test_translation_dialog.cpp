// The "Character translation tables" dialog over the tables of a scratch data folder: pairs selected in the
// translation grid, codes given from the font grid, the buttons with the file they write, their messages, and the
// main window's list following the names.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "panels_fixture.h"
#include "windows/charset_fonts.h"
#include "windows/decoder_window.h"
#include "windows/translation_dialog.h"

namespace sirrel::test {
namespace {

class TranslationDialogTest : public PanelsTest {
protected:
    TranslationDialogTest() { Use(*owned); }

    // The dialog the test drives: its own, or a decoder window's.
    void Use(TranslationDialog &shown)
    {
        dialog = &shown;
        dialog->showMessage = [this](const std::string &message) { messages.push_back(message); };
        dialog->Show();
        PumpMessages();
    }

    TranslationDialog::Controls &Parts() { return dialog->Parts(); }
    void ClickCell(CodeGrid &grid, int32_t cell)
    {
        const Rect area = grid.CellArea(cell);
        Click(grid, (area.left + area.right) / 2, (area.top + area.bottom) / 2);
    }
    // Adds a table with the name typed into the name dialog.
    void Add(const std::string &name)
    {
        Answer(name.empty() ? std::vector<std::string>{"\r"} : std::vector<std::string>{name, "\r"});
        Click(Parts().add);
        display->SetIdleHandler(nullptr);
    }
    std::vector<TranslationTableRecord> Stored()
    {
        std::ifstream in(folder + "SirrelTables.dat", std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        std::vector<TranslationTableRecord> records;
        for (size_t at = 0; at + TranslationTableRecord::kSize <= bytes.size(); at += TranslationTableRecord::kSize)
            records.push_back(TranslationTableRecord::FromBytes(bytes.data() + at));
        return records;
    }
    std::vector<std::string> ListItems(Oru_ComboBox &combo)
    {
        std::vector<std::string> items;
        for (int32_t i = 0; i < combo.List().Count(); ++i)
            items.push_back(combo.List().Item(i));
        return items;
    }

    std::unique_ptr<TranslationDialog> owned = std::make_unique<TranslationDialog>(context);
    TranslationDialog *dialog = nullptr;
    std::vector<std::string> messages;
};

TEST(CodeCellText, NamesLineEndsAndShowsOtherCodesAsTheyAre)
{
    struct Case {
        uint8_t code;
        std::string text;
    };
    for (const Case &c : {Case{0x0A, "0x0A - LF"}, Case{0x0D, "0x0D - CR"}, Case{0x41, "0x41 - A"},
                          Case{0x00, "0x00 - "}, Case{0xE9, "0xE9 - \xE9"}})
        EXPECT_EQ(CodeCellText(c.code), c.text);
}

TEST_F(TranslationDialogTest, AClickSelectsTheWholePairOfItsByte)
{
    struct Case {
        int32_t cell;
        int32_t selected;
        uint8_t code;
    };
    // Cell 8·row + column; the pair of byte p is cells 2p and 2p + 1, also far down the scrolled grid.
    for (const Case &c : {Case{0, 0, 0}, Case{1, 0, 0}, Case{7, 6, 3}, Case{131, 130, 0x41}, Case{511, 510, 0xFF}}) {
        ClickCell(Parts().translation, c.cell);
        EXPECT_EQ(Parts().translation.SelectedCell(), c.selected) << c.cell;
        EXPECT_EQ(Parts().translation.SelectedCode(), c.code) << c.cell;
    }
}

TEST_F(TranslationDialogTest, AFontCellGivesItsCodeToTheSelectedPairUntilDefault)
{
    ClickCell(Parts().translation, 131);
    ClickCell(Parts().fontCodes, 0xC4);
    EXPECT_EQ(engine.Settings().translation[0x41], 0xC4) << "in force at once";
    EXPECT_EQ(dialog->Current().codes[0x41], 0xC4);
    EXPECT_EQ(Parts().translation.SelectedCell(), 130) << "the pair stays selected";
    // The file is not written before "Update".
    EXPECT_EQ(Stored().at(0).codes[0x41], 0x41);

    Click(Parts().defaults);
    EXPECT_EQ(engine.Settings().translation, SettingsModel::IdentityTranslation());
    EXPECT_EQ(dialog->Current().name, "Default");

    ClickCell(Parts().translation, 0x0A * 2);
    ClickCell(Parts().fontCodes, 0x20);
    Click(Parts().update);
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].codes[0x0A], 0x20);
    EXPECT_EQ(Stored()[0].codes[0x41], 0x41);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TranslationDialogTest, FirstStartListsTheBuiltInTableInForce)
{
    const std::string fresh = ScratchDataFolder();
    {
        Configuration firstStart;
        TranslationTables firstTables{fresh + "SirrelTables.dat", engine.Settings()};
        ASSERT_EQ(firstTables.Construct(firstStart.translationTable), "");
        WindowContext firstContext{engine, protocols, firstTables, firstStart, services, fresh};
        TranslationDialog first(firstContext);
        Use(first);
        EXPECT_EQ(Parts().table.SelectedText(), "Default");
        EXPECT_EQ(dialog->Current().name, "Default");
    }
    std::filesystem::remove_all(fresh);
}

TEST_F(TranslationDialogTest, AddAndRemoveGoToTheFileAndTheMainWindowsList)
{
    DecoderWindow window(context);
    ASSERT_TRUE(window.CreateWindow("Decoder"));
    window.BuildControls();
    owned.reset();
    Use(*window.Translation());

    ClickCell(Parts().translation, 2 * 'e');
    ClickCell(Parts().fontCodes, 0xE9);
    Add("Accents");
    EXPECT_EQ(dialog->Names(), (std::vector<std::string>{"Default", "Accents"}));
    EXPECT_EQ(ListItems(window.Parts().table), dialog->Names());
    window.Refresh();
    EXPECT_EQ(window.Parts().table.SelectedText(), "Accents");
    ASSERT_EQ(Stored().size(), 2u);
    EXPECT_EQ(Stored()[1].name, "Accents");
    EXPECT_EQ(Stored()[1].codes['e'], 0xE9);
    EXPECT_EQ(Parts().table.SelectedText(), "Accents");

    Add("Plain");
    // Choosing a table in the main window's list brings it into the dialog.
    Pick(window.Parts().table, 1);
    window.Refresh();
    dialog->Refresh();
    EXPECT_EQ(dialog->Current().name, "Accents");
    EXPECT_EQ(Parts().table.SelectedText(), "Accents");
    EXPECT_EQ(dialog->Current().codes['e'], 0xE9);

    // Removing the selected table applies the first one left.
    Click(Parts().remove);
    EXPECT_EQ(dialog->Names(), (std::vector<std::string>{"Default", "Plain"}));
    EXPECT_EQ(dialog->Current().name, "Default");
    EXPECT_EQ(engine.Settings().translation['e'], 'e');
    EXPECT_EQ(ListItems(window.Parts().table), dialog->Names());
    window.Refresh();
    EXPECT_EQ(window.Parts().table.SelectedText(), "Default");
    ASSERT_EQ(Stored().size(), 2u);
    EXPECT_EQ(Stored()[1].name, "Plain");
    EXPECT_TRUE(messages.empty());
}

TEST_F(TranslationDialogTest, RefusalsAreTheStoredSettingsMessages)
{
    struct Case {
        std::function<void()> act;
        std::string message;
    };
    const std::string file = folder + "SirrelTables.dat";
    const Case cases[] = {
        {[&] { Add(""); }, "Invalid translation table name!"},
        {[&] { Add("Default"); }, "A table with the same name already exists."},
        {[&] { Click(Parts().remove); }, "There must be at least one translation table!"},
        {[&] {
             Add("Second");
             std::filesystem::remove(file);
             std::filesystem::create_directory(file);
             Click(Parts().remove);
         },
         "Cannot access the language file!"},
        {[&] { Add("Third"); }, "Cannot access the translation tables file!"},
    };
    for (const Case &c : cases) {
        messages.clear();
        c.act();
        EXPECT_EQ(messages, std::vector<std::string>{c.message});
    }
    EXPECT_EQ(dialog->Names(), (std::vector<std::string>{"Default", "Second"})) << "nothing removed or added";
    // Cancelling the name dialog adds nothing and says nothing.
    messages.clear();
    Answer({"\x1b"});
    Click(Parts().add);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TranslationDialogTest, TheCharacterSetRestrictsTheFontsAndGoesIntoTheRecord)
{
    const int russian = CharacterSetIndex(204);
    const std::vector<std::string> covering = FontsForCharacterSet(russian);
    Pick(Parts().characterSet, russian);
    EXPECT_EQ(dialog->Current().characterSet, 204);
    const std::vector<std::string> fonts = ListItems(Parts().font);
    if (covering.empty())
        GTEST_SKIP() << "no font for Russian installed";
    EXPECT_EQ(fonts, covering) << "the table's font went for one that covers the set";
    EXPECT_TRUE(std::find(fonts.begin(), fonts.end(), dialog->Current().font) != fonts.end());
    EXPECT_EQ(Parts().font.SelectedText(), dialog->Current().font);

    Pick(Parts().font, int32_t(fonts.size()) - 1);
    EXPECT_EQ(dialog->Current().font, fonts.back());
    Click(Parts().update);
    EXPECT_EQ(Stored().at(0).font, fonts.back());
    EXPECT_EQ(Stored().at(0).characterSet, 204);
}

TEST_F(TranslationDialogTest, AFontThatFontconfigDoesNotListStaysTheTables)
{
    // "Courier New" resolves to a metric-compatible face without being listed under its own name.
    EXPECT_EQ(dialog->Current().font, "Courier New");
    EXPECT_EQ(Parts().font.SelectedText(), "Courier New");
    EXPECT_EQ(Parts().characterSet.SelectedText(), "Default");
}

TEST_F(TranslationDialogTest, HelpIsTheInstalledTranslationPage)
{
    EXPECT_EQ(dialog->HelpPage(), InstalledDataFolder() + "help/Translation.html");
    EXPECT_TRUE(std::filesystem::exists(dialog->HelpPage()));
}

TEST_F(TranslationDialogTest, LooksRight)
{
    ClickCell(Parts().translation, 2 * 'e');
    ClickCell(Parts().fontCodes, 0xE9);
    dialog->Paint();
    EXPECT_TRUE(display->SavePng(dialog->NativeHandle(),
                                 (std::filesystem::current_path() / "translation_dialog.png").string()));
}

TEST(CharacterSetFonts, EverySetsFontsAreAmongTheInstalledOnes)
{
    const std::vector<std::string> all = FontsForCharacterSet(kDefaultCharacterSetIndex);
    EXPECT_FALSE(all.empty());
    for (int set = 0; set < int(CharacterSets().size()); ++set) {
        const CharacterSetCoverage coverage = CoverageOf(set);
        EXPECT_EQ(coverage.languages.empty() && coverage.codePoints.empty(), set == kDefaultCharacterSetIndex)
            << CharacterSets()[size_t(set)].name;
        for (const std::string &font : FontsForCharacterSet(set))
            EXPECT_TRUE(std::binary_search(all.begin(), all.end(), font)) << font;
    }
}

} // namespace
} // namespace sirrel::test
