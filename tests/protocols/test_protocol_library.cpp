#include <cstring>

#include "protocols/protocol_library.h"
#include "stored_files.h"

namespace sirrel {
namespace {

constexpr size_t kRecord = ProtocolRecord::kSize;

Bytes RecordBytesOf(const ProtocolRecord &r)
{
    const auto b = r.ToBytes();
    return Bytes(b.begin(), b.end());
}

ProtocolRecord UserRecord(const std::string &name, double baud)
{
    ProtocolRecord r = DefaultProtocols()[7];
    r.name = name;
    r.baudrate = baud;
    return r;
}

Bytes Records(std::initializer_list<ProtocolRecord> records)
{
    Bytes out;
    for (const ProtocolRecord &r : records) {
        const Bytes b = RecordBytesOf(r);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

class ProtocolLibraryTest : public ScratchFolder {
protected:
    std::string file = path("data/SirrelSettings.dat");
    SettingsModel settings;
    ProtocolLibrary library{file, settings};
    std::vector<std::string> asked;
    ProtocolLibrary::Confirm yes = [this](const std::string &q) {
        asked.push_back(q);
        return true;
    };

    void store(const Bytes &bytes)
    {
        std::filesystem::create_directories(folder + "data");
        save(file, bytes);
    }
};

TEST_F(ProtocolLibraryTest, EmptyFileThenCreateDefaultGivesTheDefaultsInOrder)
{
    EXPECT_EQ(library.LoadList(), "");
    EXPECT_TRUE(library.List().names.empty());
    EXPECT_TRUE(exists(file));
    EXPECT_EQ(load(file).size(), 0u);

    EXPECT_EQ(library.CreateDefault(yes), "");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "All changes to the default protocols will be lost! Do you wish to continue ?");
    const Bytes bytes = load(file);
    const auto &defaults = DefaultProtocols();
    ASSERT_EQ(defaults.size(), 35u);
    ASSERT_EQ(bytes.size(), 35 * kRecord);
    for (size_t i = 0; i < defaults.size(); ++i)
        EXPECT_EQ(Bytes(bytes.begin() + i * kRecord, bytes.begin() + (i + 1) * kRecord), RecordBytesOf(defaults[i]))
            << i;
    ASSERT_EQ(library.List().names.size(), 35u);
    EXPECT_EQ(library.List().names.front(), defaults.front().name);
}

TEST_F(ProtocolLibraryTest, CreateDefaultAnsweredNoWritesNothing)
{
    store(Records({UserRecord("Mine", 75)}));
    EXPECT_EQ(library.CreateDefault([](const std::string &) { return false; }), "");
    EXPECT_EQ(load(file), Records({UserRecord("Mine", 75)}));
}

TEST_F(ProtocolLibraryTest, CreateDefaultRewritesDefaultsInPlaceAndKeepsTheUsersOwn)
{
    const auto &defaults = DefaultProtocols();
    ProtocolRecord changed3 = defaults[3];
    changed3.baudrate = 1;
    ProtocolRecord changed0 = defaults[0];
    changed0.space = 5;
    store(Records({changed3, UserRecord("Mine", 75), changed0, UserRecord("Yours", 45)}));

    library.List().text = "Mine";
    settings.baudrate = 999;
    ASSERT_EQ(library.CreateDefault(yes), "");

    const Bytes bytes = load(file);
    ASSERT_EQ(bytes.size(), (4 + 33) * kRecord);
    auto record = [&](size_t i) { return Bytes(bytes.begin() + i * kRecord, bytes.begin() + (i + 1) * kRecord); };
    EXPECT_EQ(record(0), RecordBytesOf(defaults[3]));
    EXPECT_EQ(record(1), RecordBytesOf(UserRecord("Mine", 75)));
    EXPECT_EQ(record(2), RecordBytesOf(defaults[0]));
    EXPECT_EQ(record(3), RecordBytesOf(UserRecord("Yours", 45)));
    size_t next = 4;
    for (size_t d = 0; d < defaults.size(); ++d) {
        if (d != 0 && d != 3) {
            EXPECT_EQ(record(next++), RecordBytesOf(defaults[d])) << d;
        }
    }
    // The selected protocol is applied again.
    EXPECT_EQ(settings.baudrate, 75);
    EXPECT_EQ(library.List().selected, 1);
}

TEST_F(ProtocolLibraryTest, AddChecksTheNameAndAppends)
{
    store(Records({UserRecord("Mine", 75)}));
    const Bytes before = load(file);
    EXPECT_EQ(library.Add(""), "Invalid protocol name!");
    EXPECT_EQ(library.Add("Mine"), "A protocol with the same name already exists.");
    EXPECT_EQ(load(file), before);

    settings.baudrate = 123;
    EXPECT_EQ(library.Add("New one"), "");
    EXPECT_EQ(load(file), Records({UserRecord("Mine", 75), ProtocolRecord::FromSettings("New one", settings)}));
    EXPECT_EQ(library.List().names, (std::vector<std::string>{"Mine", "New one"}));
    EXPECT_EQ(library.List().text, "New one");
    EXPECT_EQ(library.List().selected, 1);
}

TEST_F(ProtocolLibraryTest, NameThatFillsItsSlot)
{
    const std::string longName(300, 'x');
    ASSERT_EQ(library.Add(longName), "");
    EXPECT_EQ(load(file).size(), kRecord);
    // Stored cut to the slot, and the same long name is then recognised as present.
    EXPECT_EQ(library.Add(longName), "A protocol with the same name already exists.");
    EXPECT_EQ(library.List().names, (std::vector<std::string>{std::string(255, 'x')}));

    // A record whose name has no terminator at all reads as the whole slot.
    Bytes raw = Records({UserRecord("y", 1)});
    std::memset(raw.data(), 'z', 256);
    store(raw);
    library.LoadList();
    EXPECT_EQ(library.List().names, (std::vector<std::string>{std::string(256, 'z')}));
}

TEST_F(ProtocolLibraryTest, UpdateOverwritesTheNamedRecordInPlace)
{
    store(Records({UserRecord("A", 1), UserRecord("B", 2), UserRecord("C", 3)}));
    library.List().text = "B";
    settings.baudrate = 600;
    EXPECT_EQ(library.Update(), "");
    EXPECT_EQ(load(file),
              Records({UserRecord("A", 1), ProtocolRecord::FromSettings("B", settings), UserRecord("C", 3)}));
    library.List().text = "none";
    EXPECT_EQ(library.Update(), "");
    EXPECT_EQ(load(file).size(), 3 * kRecord);
}

TEST_F(ProtocolLibraryTest, RemoveKeepsTheOthersInOrder)
{
    store(Records({UserRecord("A", 1), UserRecord("B", 2), UserRecord("C", 3)}));
    library.LoadList();
    library.List().text = "B";
    EXPECT_EQ(library.Remove(), "");
    EXPECT_EQ(load(file), Records({UserRecord("A", 1), UserRecord("C", 3)}));
    EXPECT_EQ(library.List().names, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(library.List().text, "");
}

TEST_F(ProtocolLibraryTest, RemovingTheOnlyProtocolLeavesAnEmptyFile)
{
    store(Records({UserRecord("A", 1)}));
    library.LoadList();
    library.List().text = "A";
    EXPECT_EQ(library.Remove(), "");
    EXPECT_TRUE(exists(file));
    EXPECT_EQ(load(file).size(), 0u);
    EXPECT_TRUE(library.List().names.empty());
}

TEST_F(ProtocolLibraryTest, ApplySelectedPutsTheRecordIntoTheControls)
{
    store(Records({UserRecord("A", 75), DefaultProtocols()[13]}));
    library.LoadList();
    library.List().text = DefaultProtocols()[13].name; // Packet Radio - 1200bps
    EXPECT_EQ(library.ApplySelected(), "");
    EXPECT_EQ(settings.baudrate, 1200);
    EXPECT_EQ(settings.mode, kModePacket);
    EXPECT_TRUE(settings.highSpeed);

    library.List().text = "no such";
    EXPECT_EQ(library.ApplySelected(), "");
    EXPECT_EQ(settings.baudrate, 1200);
}

// Sizes around the record boundaries: every whole record is kept, only a torn tail is cut, and the file as it
// was survives beside it.
class TornProtocolFile : public ProtocolLibraryTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(TornProtocolFile, KeepsWholeRecordsAndACopy)
{
    const size_t size = GetParam();
    Bytes bytes = Records({UserRecord("A", 1), UserRecord("B", 2), UserRecord("C", 3)});
    bytes.resize(size, 0x5A);
    store(bytes);
    EXPECT_EQ(library.LoadList(), "");
    const size_t whole = size / kRecord;
    EXPECT_EQ(library.List().names.size(), whole);
    EXPECT_EQ(load(file), Bytes(bytes.begin(), bytes.begin() + whole * kRecord));
    if (size % kRecord) {
        EXPECT_EQ(load(file + ".damaged"), bytes);
    } else {
        EXPECT_FALSE(exists(file + ".damaged"));
    }
    // Appends land on a record boundary.
    EXPECT_EQ(library.Add("New"), "");
    EXPECT_EQ(load(file).size(), (whole + 1) * kRecord);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TornProtocolFile,
                         ::testing::Values(0, 1, kRecord - 1, kRecord, kRecord + 1, 2 * kRecord - 1, 2 * kRecord,
                                           3 * kRecord - 1, 3 * kRecord, 3 * kRecord + 1, 4 * kRecord - 1));

TEST_F(ProtocolLibraryTest, UnreachableFileGivesTheMessagesAndChangesNothing)
{
    save(path("plain"), {1});
    SettingsModel s;
    ProtocolLibrary blocked(path("plain/SirrelSettings.dat"), s);
    blocked.List().names = {"kept"};
    blocked.List().text = "kept";
    EXPECT_EQ(blocked.LoadList(), "Cannot access the settings file!");
    EXPECT_EQ(blocked.Add("x"), "Cannot access the settings file!");
    EXPECT_EQ(blocked.ApplySelected(), "Cannot access the settings file!");
    EXPECT_EQ(blocked.CreateDefault(yes), "Cannot access the settings file!");
    EXPECT_EQ(blocked.Update(), "");
}

TEST_F(ProtocolLibraryTest, FileHeldByAnotherWriter)
{
    store(Records({UserRecord("A", 1)}));
    ForeignLock lock(file);
    EXPECT_EQ(library.LoadList(), "Cannot access the settings file!");
    library.List().text = "A";
    library.List().names = {"A"};
    EXPECT_EQ(library.Remove(), "Cannot access the settings file!");
    EXPECT_EQ(load(file), Records({UserRecord("A", 1)}));
}

TEST_F(ProtocolLibraryTest, LookUpsForProgramsPreferTheUsersFile)
{
    const std::string sitor = DefaultProtocols()[7].name;
    EXPECT_TRUE(StoredProtocolNames(file).empty());
    EXPECT_EQ(FindProtocol(file, sitor)->baudrate, DefaultProtocols()[7].baudrate);
    EXPECT_FALSE(exists(file)); // look-ups never create the file

    store(Records({UserRecord("Mine", 75), UserRecord(sitor, 200)}));
    EXPECT_EQ(StoredProtocolNames(file), (std::vector<std::string>{"Mine", sitor}));
    EXPECT_EQ(FindProtocol(file, "Mine")->baudrate, 75);
    EXPECT_EQ(FindProtocol(file, sitor)->baudrate, 200);
    EXPECT_EQ(FindProtocol(file, "NAVTEX")->name, "NAVTEX");
    EXPECT_FALSE(FindProtocol(file, "navtex").has_value());
}

} // namespace
} // namespace sirrel
