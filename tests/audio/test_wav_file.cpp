#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "audio/wav_file.h"
#include "output/async_file.h"
#include "wav_bytes.h"

namespace {

using namespace sirrel;

using sirrel::AsyncFile;

using WavFileTest = TempFolderTest;

Section Pcm16Mono(Bytes data)
{
    Section s;
    s.data = std::move(data);
    return s;
}

TEST_F(WavFileTest, WrittenSectionsHaveTheExactLayoutAndReadBack)
{
    struct Case {
        const char *name;
        uint32_t kind;
        uint32_t bits;
        uint32_t channels;
        uint16_t tag;
        uint32_t averageBytes;
        uint16_t alignment;
    } cases[] = {
        {"pcm8 mono", WavFile::kPcm, 8, 1, 1, 11025, 1},
        {"pcm16 stereo", WavFile::kPcm, 16, 2, 1, 44100, 4},
        {"alaw stereo", WavFile::kALaw, 8, 2, 6, 22050, 2},
        {"mulaw mono", WavFile::kMuLaw, 8, 1, 7, 11025, 1},
    };
    for (uint32_t bufferSize : {0u, 4096u}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + " buffer " + std::to_string(bufferSize));
            const std::string path = Path("written.wav");
            std::filesystem::remove(path);
            const Bytes data = Ramp(c.alignment * 300);
            {
                WavFile file;
                ASSERT_TRUE(file.OpenWrite(path.c_str(), bufferSize));
                bool header = c.kind == WavFile::kPcm    ? file.WriteHeaderPcm(11025, c.bits, c.channels)
                              : c.kind == WavFile::kALaw ? file.WriteHeaderALaw(11025, c.channels)
                                                         : file.WriteHeaderMuLaw(11025, c.channels);
                ASSERT_TRUE(header);
                EXPECT_EQ(file.Kind(), c.kind);
                ASSERT_TRUE(file.WriteData(data.data(), 100 * c.alignment));
                ASSERT_TRUE(file.WriteData(data.data() + 100 * c.alignment, 200 * c.alignment));
                EXPECT_EQ(file.DataLength(), data.size());
            }
            Bytes expected;
            AppendTag(expected, "RIFF");
            Append32(expected, static_cast<uint32_t>(4 + 8 + 18 + 8 + data.size()));
            AppendTag(expected, "WAVE");
            AppendTag(expected, "fmt ");
            Append32(expected, 18);
            Append16(expected, c.tag);
            Append16(expected, c.channels);
            Append32(expected, 11025);
            Append32(expected, c.averageBytes);
            Append16(expected, c.alignment);
            Append16(expected, c.bits);
            Append16(expected, 0);
            AppendTag(expected, "data");
            Append32(expected, static_cast<uint32_t>(data.size()));
            expected.insert(expected.end(), data.begin(), data.end());
            EXPECT_EQ(Load(path), expected);

            WavFile file;
            ASSERT_TRUE(file.OpenRead(path.c_str(), bufferSize));
            EXPECT_EQ(file.Kind(), c.kind);
            EXPECT_EQ(file.Bits(), c.bits);
            EXPECT_EQ(file.Channels(), c.channels);
            EXPECT_EQ(file.Rate(), 11025u);
            EXPECT_EQ(file.FrameBytes(), c.alignment);
            Bytes back(data.size() + 10);
            EXPECT_EQ(file.ReadData(back.data(), static_cast<uint32_t>(back.size())), data.size());
            back.resize(data.size());
            EXPECT_EQ(back, data);
            EXPECT_FALSE(file.Dirty());
        }
    }
}

TEST_F(WavFileTest, OldAndShortFormatChunksAreNormalised)
{
    struct Case {
        uint32_t formatLength;
        uint16_t tag;
        uint16_t channels;
        uint16_t alignment;
        uint16_t bitsField;
        uint32_t kind;
        uint32_t bits;
    } cases[] = {
        {14, 1, 2, 4, 0, WavFile::kPcm, 16}, // bits from the block alignment
        {14, 1, 1, 1, 0, WavFile::kPcm, 8},  {14, 6, 1, 1, 0, WavFile::kALaw, 8}, {14, 7, 2, 2, 0, WavFile::kMuLaw, 8},
        {16, 1, 2, 2, 8, WavFile::kPcm, 8},  {17, 6, 1, 1, 8, WavFile::kALaw, 8}, {18, 1, 1, 2, 16, WavFile::kPcm, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.formatLength * 100 + c.tag);
        Section s;
        s.formatLength = c.formatLength;
        s.tag = c.tag;
        s.channels = c.channels;
        s.blockAlignment = c.alignment;
        s.bits = c.bitsField;
        s.data = Ramp(c.alignment * 10);
        const Bytes image = Riff({s});
        const std::string path = Store("format.wav", image);
        WavFile file;
        ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
        EXPECT_EQ(file.Kind(), c.kind);
        EXPECT_EQ(file.Bits(), c.bits);
        EXPECT_EQ(file.FormatChunk().bitsPerSample, c.bits);
        EXPECT_EQ(file.FormatChunk().extraBytes, 0);
        EXPECT_EQ(file.FormatLength(), c.formatLength);
        EXPECT_EQ(file.DataLength(), c.alignment * 10u);
        file.Close();
        EXPECT_EQ(Load(path), image);
    }
}

TEST_F(WavFileTest, ChunksBeforeTheDataAreSkipped)
{
    Section s = Pcm16Mono(Ramp(40));
    AppendTag(s.chunksBeforeData, "LIST");
    Append32(s.chunksBeforeData, 6);
    s.chunksBeforeData.insert(s.chunksBeforeData.end(), {'I', 'N', 'F', 'O', 'a', 'b'});
    AppendTag(s.chunksBeforeData, "odd ");
    Append32(s.chunksBeforeData, 3);
    s.chunksBeforeData.insert(s.chunksBeforeData.end(), {'x', 'y', 'z', 0}); // with its pad byte
    AppendTag(s.chunksBeforeData, "odd2");
    Append32(s.chunksBeforeData, 1);
    s.chunksBeforeData.push_back('q'); // a writer that does not pad
    const std::string path = Store("chunks.wav", Riff({s}));
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
    EXPECT_EQ(file.Kind(), WavFile::kPcm);
    EXPECT_EQ(file.DataTagOffset(), static_cast<int64_t>(s.chunksBeforeData.size()));
    Bytes back(40);
    ASSERT_EQ(file.ReadData(back.data(), 40), 40u);
    EXPECT_EQ(back, Ramp(40));
}

TEST_F(WavFileTest, CutRecordingIsRepairedOnDisk)
{
    struct Case {
        const char *name;
        uint32_t lengthField;
    } cases[] = {{"zero length", 0}, {"too long", 5000}, {"streaming length", 0xFFFFFFFF}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Section s = Pcm16Mono(Ramp(1000));
        s.dataLengthField = c.lengthField;
        const std::string path = Store("cut.wav", Riff({s}, 0));
        {
            WavFile file;
            ASSERT_TRUE(file.OpenRead(path.c_str(), 4096));
            EXPECT_EQ(file.Kind(), WavFile::kPcm);
            EXPECT_EQ(file.DataLength(), 1000u);
            EXPECT_FALSE(file.Dirty());
        }
        const Bytes after = Load(path);
        ASSERT_EQ(after.size(), 8u + 36u + 1000u);
        EXPECT_EQ(Word32(after, 4), after.size() - 8);
        EXPECT_EQ(Word32(after, 40), 1000u);
    }
}

TEST_F(WavFileTest, EmptySectionBeforeAnotherKeepsItsZeroLength)
{
    Section empty = Pcm16Mono({});
    Section second = Pcm16Mono(Ramp(20));
    second.rate = 16000;
    const Bytes image = Riff({empty, second});
    const std::string path = Store("empty.wav", image);
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
    EXPECT_EQ(file.DataLength(), 0u);
    ASSERT_TRUE(file.NextSection());
    EXPECT_EQ(file.Rate(), 16000u);
    EXPECT_EQ(file.DataLength(), 20u);
    file.Close();
    EXPECT_EQ(Load(path), image);
}

// A file that cannot be opened for writing still plays; the repair stays in memory.
TEST_F(WavFileTest, FileThatCannotBeWrittenIsRepairedInMemoryOnly)
{
    Section s = Pcm16Mono(Ramp(600));
    s.dataLengthField = 0;
    const Bytes image = Riff({s}, 0);
    const std::string path = Store("locked.wav", image);

    // Another writer holds the file.
    AsyncFile writer;
    ASSERT_TRUE(writer.Open(path.c_str(), false, 0));
    {
        WavFile file;
        ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
        EXPECT_FALSE(file.Writable());
        EXPECT_EQ(file.DataLength(), 600u);
        Bytes back(600);
        EXPECT_EQ(file.ReadData(back.data(), 600), 600u);
        EXPECT_EQ(back, Ramp(600));
        EXPECT_FALSE(file.WriteData(back.data(), 2));
        EXPECT_FALSE(file.WriteHeaderPcm(8000, 16, 1));
    }
    writer.Close();
    EXPECT_EQ(Load(path), image);

    // A read-only file (root may write to it anyway).
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    if (geteuid() != 0) {
        WavFile file;
        ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
        EXPECT_FALSE(file.Writable());
        EXPECT_EQ(file.DataLength(), 600u);
        file.Close();
        EXPECT_EQ(Load(path), image);
    }
}

TEST_F(WavFileTest, PartialFrameWriteFailsAndChangesNothing)
{
    const std::string path = Path("partial.wav");
    WavFile file;
    ASSERT_TRUE(file.OpenWrite(path.c_str(), 0));
    ASSERT_TRUE(file.WriteHeaderPcm(8000, 16, 1));
    ASSERT_TRUE(file.Flush());
    const Bytes before = Load(path);
    const uint8_t three[3] = {1, 2, 3};
    EXPECT_FALSE(file.WriteData(three, 3));
    EXPECT_EQ(file.DataLength(), 0u);
    EXPECT_FALSE(file.Dirty());
    file.Close();
    EXPECT_EQ(Load(path), before);
}

TEST_F(WavFileTest, TwoSectionsAreWrittenAndWalked)
{
    const std::string path = Path("two.wav");
    {
        WavFile file;
        ASSERT_TRUE(file.OpenWrite(path.c_str(), 4096));
        ASSERT_TRUE(file.WriteHeaderPcm(8000, 8, 1));
        const Bytes odd = Ramp(33);
        ASSERT_TRUE(file.WriteData(odd.data(), 33));
        ASSERT_TRUE(file.WriteHeaderALaw(11025, 2));
        EXPECT_EQ(file.SectionStart(), 8 + 38 + 33);
        const Bytes second = Ramp(50, 100);
        ASSERT_TRUE(file.WriteData(second.data(), 50));
    }
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
    EXPECT_EQ(file.Kind(), WavFile::kPcm);
    EXPECT_EQ(file.DataLength(), 33u);
    ASSERT_TRUE(file.NextSection());
    EXPECT_EQ(file.Kind(), WavFile::kALaw);
    EXPECT_EQ(file.Channels(), 2u);
    EXPECT_EQ(file.Rate(), 11025u);
    Bytes back(50);
    ASSERT_EQ(file.ReadData(back.data(), 50), 50u);
    EXPECT_EQ(back, Ramp(50, 100));
    EXPECT_FALSE(file.NextSection());
    EXPECT_EQ(file.Kind(), WavFile::kNone);
    EXPECT_EQ(file.ReadData(back.data(), 50), 0u);
}

TEST_F(WavFileTest, RecordingIntoAnExistingFileAddsASection)
{
    // The existing file is a recording cut short: it is repaired before the new section goes after it.
    Section cut = Pcm16Mono(Ramp(100));
    cut.dataLengthField = 0;
    const std::string path = Store("existing.wav", Riff({cut}, 0));
    {
        WavFile file;
        ASSERT_TRUE(file.OpenWrite(path.c_str(), 0));
        ASSERT_TRUE(file.WriteHeaderPcm(22050, 16, 1));
        const Bytes more = Ramp(10, 7);
        ASSERT_TRUE(file.WriteData(more.data(), 10));
    }
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
    EXPECT_EQ(file.DataLength(), 100u);
    ASSERT_TRUE(file.NextSection());
    EXPECT_EQ(file.Rate(), 22050u);
    EXPECT_EQ(file.DataLength(), 10u);
    file.Close();
    const Bytes after = Load(path);
    EXPECT_EQ(Word32(after, 4), after.size() - 8);

    // Something that is not a WAV file is left alone.
    const Bytes text = {'h', 'e', 'l', 'l', 'o', '\n'};
    const std::string other = Store("notes.txt", text);
    WavFile writer;
    EXPECT_FALSE(writer.OpenWrite(other.c_str(), 0));
    EXPECT_EQ(Load(other), text);
}

TEST_F(WavFileTest, DataStopsAtFourBillionBytes)
{
    // A sparse file whose section already holds 3,999,999,998 bytes.
    Section s = Pcm16Mono({});
    s.dataLengthField = WavFile::kMaxDataLength - 2;
    const std::string path = Store("huge.wav", Riff({s}));
    ASSERT_EQ(truncate(path.c_str(), 8 + 36 + static_cast<off_t>(WavFile::kMaxDataLength) - 2), 0);
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
    ASSERT_EQ(file.DataLength(), WavFile::kMaxDataLength - 2);
    EXPECT_EQ(file.SeekData(INT64_MAX), WavFile::kMaxDataLength - 2);
    const uint8_t frame[4] = {1, 2, 3, 4};
    EXPECT_FALSE(file.WriteData(frame, 4));
    EXPECT_TRUE(file.WriteData(frame, 2));
    EXPECT_EQ(file.DataLength(), WavFile::kMaxDataLength);
    EXPECT_FALSE(file.WriteData(frame, 2));
}

TEST_F(WavFileTest, SeekMovesByWholeFramesWithinTheData)
{
    Section s;
    s.channels = 2;
    s.blockAlignment = 4;
    s.data = Ramp(400);
    const std::string path = Store("seek.wav", Riff({s}));
    WavFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str(), 64));
    EXPECT_EQ(file.SeekData(7), 4u);
    EXPECT_EQ(file.SeekData(-3), 4u);
    EXPECT_EQ(file.SeekData(-9), 0u);
    EXPECT_EQ(file.SeekData(-100), 0u);
    EXPECT_EQ(file.SeekData(1000), 400u);
    EXPECT_EQ(file.SeekData(-398), 4u);
    uint8_t frame[6];
    EXPECT_EQ(file.ReadData(frame, 6), 4u);
    EXPECT_EQ(frame[0], 4);
    EXPECT_EQ(file.DataPosition(), 8u);
}

// Each bad file gets its defined outcome; a file that is not a usable WAV file is never written to.
TEST_F(WavFileTest, BadFilesGetTheirDefinedOutcome)
{
    auto with = [](auto change) {
        Section s = Pcm16Mono(Ramp(64));
        change(s);
        return Riff({s});
    };
    Bytes notRiff = Riff({Pcm16Mono(Ramp(8))});
    notRiff[3] = 'X';
    Bytes notWave = Riff({Pcm16Mono(Ramp(8))}, 3);
    std::copy_n("AVI ", 4, notWave.begin() + 8);
    Bytes pastEnd = with([](Section &s) {
        AppendTag(s.chunksBeforeData, "LIST");
        Append32(s.chunksBeforeData, 100000);
    });
    Bytes noData = Riff({Pcm16Mono({})});
    noData.resize(8 + 4 + 8 + 16);
    Bytes cutInFormat = noData;
    cutInFormat.resize(30);
    Bytes cutInLength = Riff({Pcm16Mono({})});
    cutInLength.resize(cutInLength.size() - 2);

    struct Case {
        const char *name;
        Bytes image;
        uint32_t kind;
        uint32_t dataLength;
        bool unchanged;
    } cases[] = {
        {"empty file", {}, WavFile::kNone, 0, true},
        {"three bytes", {'R', 'I', 'F'}, WavFile::kNone, 0, true},
        {"not RIFF", notRiff, WavFile::kNone, 0, true},
        {"not WAVE", notWave, WavFile::kNone, 0, true},
        {"format chunk of 40 bytes", with([](Section &s) { s.formatLength = 40; }), WavFile::kNone, 0, true},
        {"format chunk of 19 bytes", with([](Section &s) { s.formatLength = 19; }), WavFile::kNone, 0, true},
        {"format chunk of 12 bytes", with([](Section &s) { s.formatLength = 12; }), WavFile::kNone, 0, true},
        {"unknown tag", with([](Section &s) { s.tag = 2; }), WavFile::kNone, 0, true},
        {"extensible tag", with([](Section &s) { s.tag = 0xFFFE; }), WavFile::kNone, 0, true},
        {"zero channels", with([](Section &s) { s.channels = 0; }), WavFile::kNone, 0, true},
        {"zero rate", with([](Section &s) { s.rate = 0; }), WavFile::kNone, 0, true},
        {"zero block alignment", with([](Section &s) { s.blockAlignment = 0; }), WavFile::kNone, 0, true},
        {"12 bits", with([](Section &s) { s.bits = 12; }), WavFile::kNone, 0, true},
        {"24 bits", with([](Section &s) { s.bits = 24; }), WavFile::kNone, 0, true},
        {"old chunk giving 24 bits", with([](Section &s) {
             s.formatLength = 14;
             s.blockAlignment = 3;
         }),
         WavFile::kNone, 0, true},
        {"chunk running past the end", pastEnd, WavFile::kNone, 0, true},
        {"no data chunk", noData, WavFile::kNone, 0, true},
        {"cut inside the format chunk", cutInFormat, WavFile::kNone, 0, true},
        {"data length 0xFFFFFFFF", with([](Section &s) { s.dataLengthField = 0xFFFFFFFF; }), WavFile::kPcm, 64, false},
        {"cut inside the data length", cutInLength, WavFile::kPcm, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Store("bad.wav", c.image);
        WavFile file;
        ASSERT_TRUE(file.OpenRead(path.c_str(), 256));
        EXPECT_EQ(file.Kind(), c.kind);
        EXPECT_EQ(file.DataLength(), c.dataLength);
        uint8_t buffer[16] = {};
        EXPECT_EQ(file.ReadData(buffer, sizeof buffer), c.kind ? std::min(16u, c.dataLength) : 0u);
        EXPECT_EQ(file.WriteData(buffer, 2), c.kind != WavFile::kNone);
        EXPECT_FALSE(file.NextSection());
        file.Close();
        if (c.unchanged) {
            EXPECT_EQ(Load(path), c.image);
        }
    }
}

TEST_F(WavFileTest, RepairedLengthFieldIsCompletedOnDisk)
{
    Bytes image = Riff({Pcm16Mono({})});
    image.resize(image.size() - 2);
    const std::string path = Store("short.wav", image);
    {
        WavFile file;
        ASSERT_TRUE(file.OpenRead(path.c_str(), 0));
        EXPECT_EQ(file.DataLength(), 0u);
    }
    const Bytes after = Load(path);
    EXPECT_EQ(after, Riff({Pcm16Mono({})}));
}

} // namespace
