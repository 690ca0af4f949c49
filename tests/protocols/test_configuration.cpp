#include <cstring>

#include "protocols/configuration.h"
#include "stored_files.h"

namespace sirrel {
namespace {

int32_t IntAt(const uint8_t *b, size_t at)
{
    int32_t v;
    std::memcpy(&v, b + at, 4); // little-endian host
    return v;
}

double DoubleAt(const uint8_t *b, size_t at)
{
    double v;
    std::memcpy(&v, b + at, 8);
    return v;
}

std::string TextAt(const uint8_t *b, size_t at) { return reinterpret_cast<const char *>(b + at); }

struct IntField {
    size_t offset;
    int32_t value;
};

// Every non-zero default of the built-in block, at its offset.
const IntField kIntDefaults[] = {
    {280, 1},         {300, 1},         {560, 3},         {568, 45},        {572, 3},         {580, 1},
    {592, 3},         {604, 11},        {608, 15},        {612, 20},        {616, 2},         {620, 4},
    {660, 1},         {4792, 0},        {4796, 0xFFFFFF}, {4800, 0x00FF00}, {4804, 0x0000FF}, {4808, 0x00FFFF},
    {4812, 0x00FF00}, {4816, 0xFFFF00}, {4820, 0xFFFF00}, {4824, 0xFFFFFF}, {4828, 364},      {6152, 685},
};

const std::pair<size_t, double> kDoubleDefaults[] = {
    {264, 1200.0}, {272, 2200.0}, {288, 50.0}, {640, 1.0}, {648, 1.0}, {5112, 1.0},
};

TEST(Configuration, BuiltInBlockLayout)
{
    Configuration c;
    c.windowLeft = -20;
    c.windowTop = 35;
    const auto bytes = c.ToBytes();
    ASSERT_EQ(bytes.size(), 6184u);
    EXPECT_EQ(IntAt(bytes.data(), 0), -20);
    EXPECT_EQ(IntAt(bytes.data(), 4), 35);

    Bytes expected(6184, 0);
    auto putInt = [&](size_t at, int32_t v) { std::memcpy(&expected[at], &v, 4); };
    putInt(0, -20);
    putInt(4, 35);
    for (const IntField &f : kIntDefaults) {
        EXPECT_EQ(IntAt(bytes.data(), f.offset), f.value) << "offset " << f.offset;
        putInt(f.offset, f.value);
    }
    for (const auto &[at, value] : kDoubleDefaults) {
        EXPECT_EQ(DoubleAt(bytes.data(), at), value) << "offset " << at;
        std::memcpy(&expected[at], &value, 8);
    }
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(TextAt(bytes.data(), 696 + 1024 * k), "Sirrel.log");
        std::memcpy(&expected[696 + 1024 * k], "Sirrel.log", 10);
    }
    // Nothing else is set: texts, flags, positions and reserved bytes are 0.
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), expected);
}

TEST(Configuration, EveryFieldAtItsOffset)
{
    Configuration c;
    c.protocol = "SITOR-A";
    c.demodulator = kDemodCorrelative;
    c.translationTable = "Cyrillic";
    c.arqCharset = 2;
    c.cisFrameSize = 28;
    c.logEnabled = {0, 1, 0, 1};
    c.logFile[3] = "/var/log/ch4.log";
    c.colours[kColourInfo] = 0x123456;
    c.scopeGain = 2.5;
    c.testPoint = 4;
    c.wavFile = "/tmp/in.wav";
    c.tablesTop = 77;
    c.demodulatorLeft = 88;
    c.unshiftOnSpace = 1;
    c.fecCorrection = 1;
    c.weakSignal = 1;
    c.arqCorrection = 1;
    c.outputPage = 2;
    c.wavOptionsOff = 3;
    const auto b = c.ToBytes();
    EXPECT_EQ(TextAt(b.data(), 8), "SITOR-A");
    EXPECT_EQ(b[284], 3);
    EXPECT_EQ(TextAt(b.data(), 304), "Cyrillic");
    EXPECT_EQ(IntAt(b.data(), 584), 2);
    EXPECT_EQ(IntAt(b.data(), 604), 28);
    EXPECT_EQ(IntAt(b.data(), 684), 1);
    EXPECT_EQ(IntAt(b.data(), 692), 1);
    EXPECT_EQ(TextAt(b.data(), 696 + 3 * 1024), "/var/log/ch4.log");
    EXPECT_EQ(IntAt(b.data(), 4824), 0x123456);
    EXPECT_EQ(DoubleAt(b.data(), 5112), 2.5);
    EXPECT_EQ(IntAt(b.data(), 5124), 4);
    EXPECT_EQ(TextAt(b.data(), 5128), "/tmp/in.wav");
    EXPECT_EQ(IntAt(b.data(), 4836), 77);
    EXPECT_EQ(IntAt(b.data(), 5096), 88);
    EXPECT_EQ(IntAt(b.data(), 6160), 1);
    EXPECT_EQ(IntAt(b.data(), 6164), 1);
    EXPECT_EQ(IntAt(b.data(), 6168), 1);
    EXPECT_EQ(IntAt(b.data(), 6172), 1);
    EXPECT_EQ(IntAt(b.data(), 6176), 2);
    EXPECT_EQ(IntAt(b.data(), 6180), 3);

    const Configuration back = Configuration::FromBytes(b.data());
    EXPECT_EQ(back.ToBytes(), b);
}

TEST(Configuration, TextsWithoutTheirNulStayInTheirSlot)
{
    std::array<uint8_t, Configuration::kSize> b = Configuration().ToBytes();
    std::memset(&b[8], 'p', 256);
    std::memset(&b[304], 't', 256);
    std::memset(&b[5128], 'w', 1024);
    const Configuration c = Configuration::FromBytes(b.data());
    EXPECT_EQ(c.protocol, std::string(256, 'p'));
    EXPECT_EQ(c.translationTable, std::string(256, 't'));
    EXPECT_EQ(c.wavFile, std::string(1024, 'w'));
    // Written back, each keeps its terminator and the following field is untouched.
    const auto again = c.ToBytes();
    EXPECT_EQ(again[8 + 255], 0);
    EXPECT_EQ(DoubleAt(again.data(), 264), 1200.0);
    EXPECT_EQ(again[5128 + 1023], 0);
    EXPECT_EQ(IntAt(again.data(), 6152), 685);
}

TEST(Configuration, ControlsRoundTrip)
{
    SettingsModel s;
    s.space = 1615;
    s.mark = 1785;
    s.tuneAuto = false;
    s.SetDemodulator(kDemodOptimal);
    s.baudrate = 100;
    s.baudAuto = false;
    s.polarity = 2;
    s.inversionMask = 0x81;
    s.mode = kModeCis;
    s.cisFrameSizeIndex = 2;
    s.arqmChannelsIndex = 2;
    s.arqCycleLength = 70;
    s.fecCharsetIndex = 1;
    s.translationTableName = "Greek";
    s.unshiftOnSpace = true;
    s.fecCorrection = true;
    s.arqCorrection = true;

    Configuration c;
    c.GatherFrom(s);
    EXPECT_EQ(c.cisFrameSize, 27);
    EXPECT_EQ(c.arqmChannels, 4);
    EXPECT_EQ(c.translationTable, "Greek");
    SettingsModel back;
    Configuration::FromBytes(c.ToBytes().data()).ApplyTo(back);
    EXPECT_EQ(back.space, 1615);
    EXPECT_EQ(back.mark, 1785);
    EXPECT_FALSE(back.tuneAuto);
    EXPECT_EQ(back.Demodulator(), kDemodOptimal);
    EXPECT_EQ(back.baudrate, 100);
    EXPECT_FALSE(back.baudAuto);
    EXPECT_EQ(back.polarity, 2);
    EXPECT_EQ(back.inversionMask, 0x81);
    EXPECT_EQ(back.mode, kModeCis);
    EXPECT_EQ(back.cisFrameSizeIndex, 2);
    EXPECT_EQ(back.arqmChannelsIndex, 2);
    EXPECT_EQ(back.arqCycleLength, 70);
    EXPECT_EQ(back.fecCharsetIndex, 1);
    EXPECT_TRUE(back.unshiftOnSpace);
    EXPECT_TRUE(back.fecCorrection);
    EXPECT_TRUE(back.arqCorrection);

    // The weak-signal choice has its own field; the demodulator byte keeps the radios' choice.
    s.SetDemodulator(kDemodWeakSignal);
    s.optimal = true;
    c.GatherFrom(s);
    EXPECT_EQ(c.demodulator, kDemodOptimal);
    EXPECT_EQ(c.weakSignal, 1);
    Configuration::FromBytes(c.ToBytes().data()).ApplyTo(back);
    EXPECT_EQ(back.Demodulator(), kDemodWeakSignal);
    EXPECT_EQ(back.RadioDemodulator(), kDemodOptimal);

    c.cisFrameSize = 12; // none of the list
    c.ApplyTo(back);
    EXPECT_EQ(back.cisFrameSizeIndex, -1);
}

class StoredConfiguration : public ScratchFolder {
protected:
    std::string file = path("Sirrel_Config.dat");
};

TEST_F(StoredConfiguration, NewReceiverStartsFromTheBuiltInBlock)
{
    Configuration c;
    c.mode = kModeArq;
    c.windowLeft = 500;
    ASSERT_EQ(SaveConfiguration(file, 0x10745678, c), ChunkStatus::kFound);

    Configuration fresh;
    const ChunkRead r = LoadConfiguration(file, 0xFE400000, 10, 20, fresh);
    EXPECT_EQ(r.status, ChunkStatus::kKeyAbsent);
    Configuration expected;
    expected.windowLeft = 10;
    expected.windowTop = 20;
    EXPECT_EQ(fresh.ToBytes(), expected.ToBytes());
    EXPECT_EQ(LoadConfiguration(path("none.dat"), 1, 10, 20, fresh).status, ChunkStatus::kNoFile);
    EXPECT_EQ(fresh.ToBytes(), expected.ToBytes());
}

TEST_F(StoredConfiguration, TwoReceiversShareTheFile)
{
    Configuration a, b;
    a.baudrate = 75;
    b.baudrate = 300;
    ASSERT_EQ(SaveConfiguration(file, 1, a), ChunkStatus::kFound);
    ASSERT_EQ(SaveConfiguration(file, 2, b), ChunkStatus::kFound);
    a.protocol = "changed";
    ASSERT_EQ(SaveConfiguration(file, 1, a), ChunkStatus::kFound);
    EXPECT_EQ(load(file).size(), 2u * (8 + 6184));

    Configuration readA, readB;
    LoadConfiguration(file, 1, 0, 0, readA);
    LoadConfiguration(file, 2, 0, 0, readB);
    EXPECT_EQ(readA.baudrate, 75);
    EXPECT_EQ(readA.protocol, "changed");
    EXPECT_EQ(readB.baudrate, 300);
    // The key is stored little-endian.
    EXPECT_EQ(IntAt(load(file).data(), 0), 1);
}

TEST_F(StoredConfiguration, ShortChunkReplacesOnlyLeadingFields)
{
    // 280 bytes: position, protocol, Mark and Space; the rest stays built in.
    Bytes chunk = {0x78, 0x56, 0x74, 0x10, 24, 1, 0, 0};
    Bytes data(280, 0);
    int32_t left = -5, top = 6;
    double mark = 1500, space = 1700;
    std::memcpy(&data[0], &left, 4);
    std::memcpy(&data[4], &top, 4);
    std::memcpy(&data[8], "Mine", 4);
    std::memcpy(&data[264], &mark, 8);
    std::memcpy(&data[272], &space, 8);
    chunk.insert(chunk.end(), data.begin(), data.end());
    save(file, chunk);

    Configuration c;
    EXPECT_EQ(LoadConfiguration(file, 0x10745678, 1, 2, c).copied, 280u);
    EXPECT_EQ(c.windowLeft, -5);
    EXPECT_EQ(c.windowTop, 6);
    EXPECT_EQ(c.protocol, "Mine");
    EXPECT_EQ(c.mark, 1500);
    EXPECT_EQ(c.space, 1700);
    EXPECT_EQ(c.tuneAuto, 1);
    EXPECT_EQ(c.baudrate, 50);
    EXPECT_EQ(c.mode, kModePacket);
    EXPECT_EQ(c.logFile[2], "Sirrel.log");
    EXPECT_EQ(c.outputWidth, 685);
}

TEST_F(StoredConfiguration, OlderBlockReadsWithTheAddedChoicesOff)
{
    Configuration older;
    older.baudrate = 75;
    older.unshiftOnSpace = 1;
    older.fecCorrection = 1;
    older.weakSignal = 1;
    older.arqCorrection = 1;
    const auto full = older.ToBytes();
    Bytes chunk = {1, 0, 0, 0, 0x10, 0x18, 0, 0}; // key 1, 6160 bytes
    chunk.insert(chunk.end(), full.begin(), full.begin() + 6160);
    save(file, chunk);

    Configuration c;
    c.unshiftOnSpace = 1;
    EXPECT_EQ(LoadConfiguration(file, 1, 0, 0, c).copied, 6160u);
    EXPECT_EQ(c.baudrate, 75);
    EXPECT_EQ(c.unshiftOnSpace, 0);
    EXPECT_EQ(c.fecCorrection, 0);
    EXPECT_EQ(c.weakSignal, 0);

    // A block of the version before the weak-signal choice keeps its two choices.
    Bytes previous = {1, 0, 0, 0, 0x18, 0x18, 0, 0}; // key 1, 6168 bytes
    previous.insert(previous.end(), full.begin(), full.begin() + 6168);
    save(file, previous);
    c.weakSignal = 1;
    EXPECT_EQ(LoadConfiguration(file, 1, 0, 0, c).copied, 6168u);
    EXPECT_EQ(c.fecCorrection, 1);
    EXPECT_EQ(c.weakSignal, 0);

    // One of the version before the ARQ correction keeps the weak-signal choice.
    Bytes weak = {1, 0, 0, 0, 0x1C, 0x18, 0, 0}; // key 1, 6172 bytes
    weak.insert(weak.end(), full.begin(), full.begin() + 6172);
    save(file, weak);
    c.arqCorrection = 1;
    EXPECT_EQ(LoadConfiguration(file, 1, 0, 0, c).copied, 6172u);
    EXPECT_EQ(c.weakSignal, 1);
    EXPECT_EQ(c.arqCorrection, 0);

    // Saved again, the block grows to hold them.
    c.fecCorrection = 1;
    ASSERT_EQ(SaveConfiguration(file, 1, c), ChunkStatus::kFound);
    Configuration again;
    EXPECT_EQ(LoadConfiguration(file, 1, 0, 0, again).copied, 6184u);
    EXPECT_EQ(again.fecCorrection, 1);
    EXPECT_EQ(again.baudrate, 75);
}

TEST_F(StoredConfiguration, SoundCardNamesAndTheFourthNameRule)
{
    const std::string cards = path("SoundCard_Config.dat");
    SoundCardConfiguration s;
    s.waveIn = "hw:1,0";
    s.waveOut = "default";
    s.mixerLine = std::string(70, 'm'); // longer than its slot
    ASSERT_EQ(SaveSoundCard(cards, 9, s), ChunkStatus::kFound);
    const Bytes file = load(cards);
    ASSERT_EQ(file.size(), 8u + 160u);
    EXPECT_EQ(TextAt(file.data(), 8), "hw:1,0");
    EXPECT_EQ(TextAt(file.data(), 8 + 32), "default");
    EXPECT_EQ(TextAt(file.data(), 8 + 64), std::string(63, 'm'));
    EXPECT_EQ(file[8 + 128], 0);

    SoundCardConfiguration back;
    EXPECT_EQ(LoadSoundCard(cards, 9, back).status, ChunkStatus::kFound);
    EXPECT_EQ(back.waveOut, "default");
    EXPECT_EQ(back.fourth, "hw:1,0");

    s.fourth = "other";
    SaveSoundCard(cards, 9, s);
    LoadSoundCard(cards, 9, back);
    EXPECT_EQ(back.fourth, "other");

    EXPECT_EQ(LoadSoundCard(cards, 10, back).status, ChunkStatus::kKeyAbsent);
    EXPECT_TRUE(back.waveIn.empty() && back.fourth.empty());
}

} // namespace
} // namespace sirrel
