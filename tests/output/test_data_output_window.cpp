#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "output/data_output_window.h"

namespace sirrel {
namespace {

struct Written {
    int32_t channel;
    uint8_t character;
    uint32_t colour;
};

struct Window {
    SettingsModel settings;
    DataOutputWindow window{settings};
    std::vector<Written> written;

    explicit Window(int32_t mode)
    {
        window.currentMode = mode;
        window.statistics().setMode(mode);
        window.setCharacterListener([](void *context, int32_t channel, uint8_t c, uint32_t colour) {
            static_cast<Window *>(context)->written.push_back({channel, c, colour});
        }, this);
    }

    void put(const std::string &text)
    {
        for (char c : text)
            DecoderSink(&window, nullptr, int8_t(c));
    }
};

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(DataOutputWindow, LogGetsLineEndsForCarriageReturnsAndNoLineFeeds)
{
    char folder[] = "/tmp/sirrel-output-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/channel1.log";
    {
        std::ofstream(path) << "earlier\n";
    }
    Window w(kModeAscii8);
    ASSERT_TRUE(w.window.log(0).Open(path.c_str()));
    w.put("AB\r\nC\n\rD");
    w.window.log(0).Close();
    EXPECT_EQ(ReadFile(path), "earlier\nAB\nC\nD") << "appended, one line end per carriage return";
    EXPECT_EQ(w.window.view(0).lineText(0), "AB");
    EXPECT_EQ(w.window.view(0).lineText(2), "D");
    EXPECT_TRUE(w.window.outputProduced);
    std::remove(path.c_str());
    rmdir(folder);
}

TEST(DataOutputWindow, FailedLogWriteTurnsLoggingOffAndDecodingGoesOn)
{
    Window w(kModeAscii8);
    ASSERT_TRUE(w.window.log(0).Open("/dev/full"));
    w.put("AB");
    EXPECT_FALSE(w.window.log(0).IsOpen());
    EXPECT_EQ(w.window.view(0).lineText(0), "AB");
    EXPECT_EQ(w.written.size(), 2u);
}

TEST(DataOutputWindow, ListenerSeesEveryCharacterWithItsColour)
{
    Window w(kModeIra);
    w.window.colors.text = 0x123456;
    w.put("a\r\n");
    ASSERT_EQ(w.written.size(), 3u);
    EXPECT_EQ(w.written[0].channel, 0);
    EXPECT_EQ(w.written[0].character, 'a');
    EXPECT_EQ(w.written[0].colour, 0x123456u);
    EXPECT_EQ(w.written[2].character, '\n') << "line feeds reach the listener; view and log drop them";
}

TEST(DataOutputWindow, PacketPiecesTakeTheirFieldColour)
{
    Window w(kModePacket);
    HdlcDeframer &fields = w.window.hdlcDeframer();
    const DecoderColors defaults;
    const struct {
        uint32_t fieldClass;
        int32_t crcGood;
        uint32_t colour;
    } pieces[] = {
        {1, 0, defaults.l2CrcFailed}, {3, 0, defaults.text},      {1, 1, defaults.l2CrcOk},
        {2, 1, defaults.l2FrameType}, {4, 1, defaults.l2FramePid}, {5, 1, defaults.l3Header},
        {6, 1, defaults.l4Header},   {7, 1, defaults.info},       {0, 1, defaults.text},
    };
    for (const auto &piece : pieces) {
        fields.fieldClass = piece.fieldClass;
        fields.crcGood = piece.crcGood;
        w.written.clear();
        PacketTextSink(&w.window, &fields, "K1ABC\r");
        ASSERT_EQ(w.written.size(), 6u);
        for (const Written &c : w.written)
            EXPECT_EQ(c.colour, piece.colour) << "class " << piece.fieldClass << " crc " << piece.crcGood;
    }
    EXPECT_EQ(w.window.view(0).lineCount(), 10u) << "each piece's carriage return starts a line";
    EXPECT_EQ(DecoderColors{}.l2CrcFailed, 0x0000FFu);

    w.written.clear();
    DecoderSink(&w.window, nullptr, 'x');
    EXPECT_EQ(w.written.at(0).colour, defaults.text) << "another source always takes the text colour";
}

TEST(DataOutputWindow, ResetSelectsLettersAndClearsStatistics)
{
    Window w(kModeIta2);
    w.put(std::string(1, char(27)) + char(1));
    ASSERT_TRUE(w.settings.numbers[0]);
    w.settings.numbers[3] = true;
    ASSERT_EQ(w.window.statistics().counter(33), 1.0);
    w.window.reset();
    for (bool numbers : w.settings.numbers)
        EXPECT_FALSE(numbers);
    EXPECT_EQ(w.window.statistics().counter(33), 0.0);
    EXPECT_EQ(w.window.view(0).lineText(0), "3") << "reset leaves the text";
}

} // namespace
} // namespace sirrel
