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
    DataOutputWindow window;
    std::vector<Written> written;

    Window()
    {
        window.SetCharacterListener([this](int32_t channel, uint8_t c, uint32_t colour) {
            written.push_back({channel, c, colour});
        });
    }

    void put(const std::string &text, int32_t channel = 0, uint32_t colour = 0xFFFFFF)
    {
        for (char c : text)
            window.Write(channel, uint8_t(c), colour);
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
    Window w;
    ASSERT_TRUE(w.window.Log(0).Open(path.c_str()));
    w.put("AB\r\nC\n\rD");
    w.window.Log(0).Close();
    EXPECT_EQ(ReadFile(path), "earlier\nAB\nC\nD") << "appended, one line end per carriage return";
    EXPECT_EQ(w.window.View(0).LineText(0), "AB");
    EXPECT_EQ(w.window.View(0).LineText(2), "D");
    std::remove(path.c_str());
    rmdir(folder);
}

TEST(DataOutputWindow, FailedLogWriteTurnsLoggingOffAndDecodingGoesOn)
{
    Window w;
    ASSERT_TRUE(w.window.Log(0).Open("/dev/full"));
    w.put("AB");
    EXPECT_FALSE(w.window.Log(0).IsOpen());
    EXPECT_EQ(w.window.View(0).LineText(0), "AB");
    EXPECT_EQ(w.written.size(), 2u);
}

TEST(DataOutputWindow, ListenerSeesEveryCharacterWithItsChannelAndColour)
{
    Window w;
    w.put("a\r\n", 2, 0x123456);
    ASSERT_EQ(w.written.size(), 3u);
    EXPECT_EQ(w.written[0].channel, 2);
    EXPECT_EQ(w.written[0].character, 'a');
    EXPECT_EQ(w.written[0].colour, 0x123456u);
    EXPECT_EQ(w.written[2].character, '\n') << "line feeds reach the listener; view and log drop them";
    EXPECT_EQ(w.window.View(2).LineText(0), "a");
    EXPECT_EQ(w.window.View(0).LineCount(), 0u) << "other channels stay empty";
}

TEST(DataOutputWindow, ViewsKeepEachCharactersColour)
{
    Window w;
    w.put("K1", 0, 0x00FF00);
    w.put("ABC\r", 0, 0x0000FF);
    const std::vector<TextCell> cells = w.window.View(0).LineCells(0);
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_EQ(cells[1].colour, 0x00FF00u);
    EXPECT_EQ(cells[2].colour, 0x0000FFu);
    EXPECT_EQ(w.window.View(0).LineCount(), 2u) << "the carriage return starts a line";
}

} // namespace
} // namespace sirrel
