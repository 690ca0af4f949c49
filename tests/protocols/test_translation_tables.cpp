#include <cstring>

#include "decoders/decoder_sink.h"
#include "output/data_output_window.h"
#include "protocols/translation_tables.h"
#include "stored_files.h"

namespace sirrel {
namespace {

constexpr size_t kRecord = TranslationTableRecord::kSize;

TranslationTableRecord Table(const std::string &name, uint8_t characterSet, uint8_t shift)
{
    TranslationTableRecord r = TranslationTableRecord::BuiltIn();
    r.name = name;
    r.font = "Arial";
    r.characterSet = characterSet;
    for (int c = 0; c < 256; ++c)
        r.codes[c] = uint8_t(c + shift);
    return r;
}

Bytes Tables(std::initializer_list<TranslationTableRecord> tables)
{
    Bytes out;
    for (const TranslationTableRecord &t : tables) {
        const auto b = t.ToBytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST(TranslationTableRecord, LayoutOfTheBuiltInTable)
{
    const auto b = TranslationTableRecord::BuiltIn().ToBytes();
    ASSERT_EQ(b.size(), 545u);
    Bytes expected(545, 0);
    std::memcpy(&expected[0], "Default", 7);
    std::memcpy(&expected[256], "Courier New", 11);
    expected[288] = 1;
    for (int c = 0; c < 256; ++c)
        expected[289 + c] = uint8_t(c);
    EXPECT_EQ(Bytes(b.begin(), b.end()), expected);

    // Texts without their terminator stay inside their slots.
    Bytes raw = expected;
    std::memset(&raw[0], 'n', 256);
    std::memset(&raw[256], 'f', 32);
    const TranslationTableRecord r = TranslationTableRecord::FromBytes(raw.data());
    EXPECT_EQ(r.name, std::string(256, 'n'));
    EXPECT_EQ(r.font, std::string(32, 'f'));
    EXPECT_EQ(r.characterSet, 1);
}

TEST(CharacterSetList, NamesAndCodes)
{
    const auto &sets = CharacterSets();
    ASSERT_EQ(sets.size(), 19u);
    EXPECT_STREQ(sets[0].name, "ANSI");
    EXPECT_STREQ(sets[kDefaultCharacterSetIndex].name, "Default");
    EXPECT_EQ(sets[13].code, 204);
    EXPECT_STREQ(sets[18].name, "Vietnamese");
    EXPECT_EQ(CharacterSetIndex(77), 11);
    EXPECT_EQ(CharacterSetIndex(99), -1);
}

class TablesTest : public ScratchFolder {
protected:
    std::string file = path("kel/SirrelTables.dat");
    SettingsModel settings;
    TranslationTables tables{file, settings};

    void store(const Bytes &bytes)
    {
        std::filesystem::create_directories(folder + "kel");
        save(file, bytes);
    }
};

TEST_F(TablesTest, MissingFileGetsTheDefaultTable)
{
    EXPECT_EQ(tables.Construct(""), "");
    EXPECT_EQ(load(file), Tables({TranslationTableRecord::BuiltIn()}));
    EXPECT_EQ(tables.Names(), (std::vector<std::string>{"Default"}));
    EXPECT_EQ(settings.translation, SettingsModel::IdentityTranslation());
    EXPECT_EQ(settings.translationTableName, "Default");
}

TEST_F(TablesTest, ListShowsTheTableInForceWhenTheConfigurationNamesNoStoredTable)
{
    for (const std::string configured : {"", "Removed"}) {
        SettingsModel s;
        TranslationTables fresh(file, s);
        EXPECT_EQ(fresh.Construct(configured), "");
        EXPECT_EQ(fresh.ListText(), "Default") << configured;
        EXPECT_EQ(s.translationTableName, "Default") << configured;
    }
}

TEST_F(TablesTest, ConfiguredTableIsPutInForce)
{
    store(Tables({Table("A", 1, 0), Table("Cyrillic", 204, 1)}));
    EXPECT_EQ(tables.Construct("Cyrillic"), "");
    EXPECT_EQ(settings.translationTableName, "Cyrillic");
    EXPECT_EQ(settings.translation['A'], 'B');
    EXPECT_EQ(tables.SelectedCharacterSet(), 13);
    EXPECT_EQ(tables.Current().font, "Arial");
    // The views draw in the table's font and set.
    EXPECT_EQ(settings.translationFont, "Arial");
    EXPECT_EQ(settings.translationCharacterSet, 204);
}

TEST_F(TablesTest, DefaultMapsEveryByteToItself)
{
    store(Tables({Table("Shifted", 1, 3)}));
    tables.Construct("Shifted");
    ASSERT_EQ(settings.translation[0], 3);
    tables.SetDefaultCodes();
    EXPECT_EQ(settings.translation, SettingsModel::IdentityTranslation());
    EXPECT_EQ(tables.Current().name, "Shifted");
    EXPECT_EQ(tables.Current().font, "Arial");
    // Not stored until "Update".
    EXPECT_EQ(load(file), Tables({Table("Shifted", 1, 3)}));
    tables.Update();
    TranslationTableRecord expected = Table("Shifted", 1, 0);
    EXPECT_EQ(load(file), Tables({expected}));
}

TEST_F(TablesTest, UnknownCharacterSetCodeTakesTheSelectedEntry)
{
    store(Tables({Table("Russian", 204, 0), Table("Odd", 99, 0)}));
    tables.Construct("Russian");
    tables.SelectByName("Odd");
    EXPECT_EQ(tables.SelectedCharacterSet(), 13);
    EXPECT_EQ(tables.Current().characterSet, 204);

    SettingsModel s;
    TranslationTables fresh(path("SirrelTables.dat"), s);
    save(path("SirrelTables.dat"), Tables({Table("Odd", 99, 0)}));
    fresh.Construct("Odd");
    EXPECT_EQ(fresh.Current().characterSet, 1); // "Default" stays selected
}

TEST_F(TablesTest, RemovingTheSelectedTableAppliesTheFirst)
{
    store(Tables({Table("A", 1, 1), Table("B", 1, 2), Table("C", 1, 3)}));
    tables.Construct("B");
    ASSERT_EQ(settings.translation[0], 2);
    EXPECT_EQ(tables.Remove(), "");
    EXPECT_EQ(load(file), Tables({Table("A", 1, 1), Table("C", 1, 3)}));
    EXPECT_EQ(tables.Names(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(tables.ListText(), "A");
    EXPECT_EQ(settings.translationTableName, "A");
    EXPECT_EQ(settings.translation[0], 1);
}

TEST_F(TablesTest, TheLastTableStays)
{
    tables.Construct("");
    EXPECT_EQ(tables.Remove(), "There must be at least one translation table!");
    EXPECT_EQ(load(file).size(), kRecord);
}

TEST_F(TablesTest, AddAndUpdate)
{
    tables.Construct("");
    EXPECT_EQ(tables.Add(""), "Invalid translation table name!");
    EXPECT_EQ(tables.Add("Default"), "A table with the same name already exists.");
    tables.SetCode('A', 0xC4);
    tables.SetCharacterSet(6);
    tables.SetFont("DejaVu Sans Mono");
    EXPECT_EQ(tables.Add("German"), "");
    EXPECT_EQ(settings.translationTableName, "German");
    EXPECT_EQ(settings.translation['A'], 0xC4);
    const Bytes bytes = load(file);
    ASSERT_EQ(bytes.size(), 2 * kRecord);
    const auto german = TranslationTableRecord::FromBytes(bytes.data() + kRecord);
    EXPECT_EQ(german.name, "German");
    EXPECT_EQ(german.font, "DejaVu Sans Mono");
    EXPECT_EQ(german.characterSet, 238);
    EXPECT_EQ(german.codes['A'], 0xC4);
    // "Default" on disk is untouched by the edits.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + kRecord), Tables({TranslationTableRecord::BuiltIn()}));

    tables.SetCode('B', 0xD6);
    EXPECT_EQ(tables.Update(), "");
    EXPECT_EQ(TranslationTableRecord::FromBytes(load(file).data() + kRecord).codes['B'], 0xD6);
}

class TornTablesFile : public TablesTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(TornTablesFile, KeepsWholeRecordsAndACopy)
{
    const size_t size = GetParam();
    Bytes bytes = Tables({Table("A", 1, 1), Table("B", 1, 2)});
    bytes.resize(size, 0x33);
    store(bytes);
    EXPECT_EQ(tables.LoadList(), "");
    const size_t whole = size / kRecord;
    if (whole == 0) {
        EXPECT_EQ(load(file), Tables({TranslationTableRecord::BuiltIn()}));
    } else {
        EXPECT_EQ(load(file), Bytes(bytes.begin(), bytes.begin() + whole * kRecord));
        EXPECT_EQ(tables.Names().size(), whole);
    }
    EXPECT_EQ(exists(file + ".damaged"), size % kRecord != 0);
    if (size % kRecord) {
        EXPECT_EQ(load(file + ".damaged"), bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TornTablesFile,
                         ::testing::Values(1, kRecord - 1, kRecord, kRecord + 1, 2 * kRecord - 1, 2 * kRecord,
                                           2 * kRecord + 7));

TEST_F(TablesTest, UnreachableFile)
{
    save(path("plain"), {1});
    SettingsModel s;
    TranslationTables blocked(path("plain/SirrelTables.dat"), s);
    EXPECT_EQ(blocked.Construct("Default"), "Cannot access the language file!");
    EXPECT_EQ(s.translation, SettingsModel::IdentityTranslation()); // the built-in table stays in force
    EXPECT_EQ(blocked.Add("X"), "Cannot access the translation tables file!");
}

TEST_F(TablesTest, LoadByNameForPrograms)
{
    EXPECT_TRUE(LoadTranslationTable(file, "Default", settings));
    EXPECT_FALSE(exists(file));
    EXPECT_FALSE(LoadTranslationTable(file, "Greek", settings));

    store(Tables({Table("Greek", 161, 5)}));
    EXPECT_TRUE(LoadTranslationTable(file, "Greek", settings));
    EXPECT_EQ(settings.translationTableName, "Greek");
    EXPECT_EQ(settings.translation[10], 15);
    EXPECT_EQ(settings.translationCharacterSet, 161);
    EXPECT_FALSE(LoadTranslationTable(file, "greek", settings));
    EXPECT_EQ(settings.translationTableName, "Greek");
    // "Default" missing from the file is the built-in table, font and set included.
    EXPECT_TRUE(LoadTranslationTable(file, "Default", settings));
    EXPECT_EQ(settings.translationFont, "Courier New");
    EXPECT_EQ(settings.translationCharacterSet, 1);
}

// The table in force is what the sink shows.
TEST_F(TablesTest, SinkShowsTheTableInForce)
{
    SettingsModel model;
    DataOutputWindow window;
    DecoderSink sink(model, window);
    std::string text;
    sink.BeginBlock(kModeIra);
    window.SetCharacterListener([&text](int32_t, uint8_t c, uint32_t) { text.push_back(char(c)); });
    TranslationTables inForce(file, model);
    inForce.Construct("");
    inForce.SetCode('A', 'Z');
    for (char c : std::string("ABA"))
        sink.Take({0, uint8_t(c)});
    inForce.SetDefaultCodes();
    sink.Take({0, uint8_t('A')});
    EXPECT_EQ(text, "ZBZA");
}

} // namespace
} // namespace sirrel
