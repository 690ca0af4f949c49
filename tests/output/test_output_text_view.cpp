#include <gtest/gtest.h>

#include <string>

#include "output/output_text_view.h"

namespace sirrel {
namespace {

void Put(OutputTextView &view, const std::string &text, uint32_t colour = 0xFFFFFF)
{
    for (char c : text)
        view.Append(uint8_t(c), colour);
}

TEST(OutputTextView, WrapsAtEightyCharacters)
{
    OutputTextView view;
    Put(view, std::string(80, 'a'));
    EXPECT_EQ(view.LineCount(), 1u);
    Put(view, "b");
    ASSERT_EQ(view.LineCount(), 2u) << "the 81st character starts a new line";
    EXPECT_EQ(view.LineText(1), "b");

    OutputTextView crAfterFull;
    Put(crAfterFull, std::string(80, 'a') + "\rc");
    ASSERT_EQ(crAfterFull.LineCount(), 2u);
    EXPECT_EQ(crAfterFull.LineText(0), std::string(80, 'a'));
    EXPECT_EQ(crAfterFull.LineText(1), "c");

    OutputTextView crAfterEighty;
    Put(crAfterEighty, std::string(80, 'a') + "\r");
    Put(crAfterEighty, std::string(80, 'a') + "\r\r");
    EXPECT_EQ(crAfterEighty.LineCount(), 4u) << "every carriage return starts a line, empty or not";
    EXPECT_EQ(crAfterEighty.LineText(3), "");
}

TEST(OutputTextView, LineFeedIsIgnoredCarriageReturnBreaks)
{
    OutputTextView view;
    Put(view, "\r\nAB\r\n\nC\n");
    ASSERT_EQ(view.LineCount(), 2u) << "the first return opens the line the text then fills";
    EXPECT_EQ(view.LineText(0), "AB");
    EXPECT_EQ(view.LineText(1), "C");
}

TEST(OutputTextView, KeepsTheNewestTwoHundredLines)
{
    OutputTextView view;
    for (int i = 0; i < 250; ++i)
        Put(view, std::to_string(i) + "\r");
    EXPECT_EQ(view.LineCount(), 200u);
    EXPECT_EQ(view.LineText(0), "51") << "250 numbered lines and the empty one after the last return";
    EXPECT_EQ(view.LineText(198), "249");
    EXPECT_EQ(view.LineText(199), "");
    EXPECT_EQ(view.LineText(200), "") << "no such line";

    view.SetMaxLines(10);
    EXPECT_EQ(view.LineCount(), 10u);
    EXPECT_EQ(view.LineText(0), "241");
    view.Clear();
    EXPECT_EQ(view.LineCount(), 0u);
    Put(view, "x");
    EXPECT_EQ(view.LineText(0), "x");
}

TEST(OutputTextView, KeepsAColourPerCell)
{
    OutputTextView view;
    Put(view, "ab", 0x0000FF);
    Put(view, "c", 0x00FF00);
    const auto cells = view.LineCells(0);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].colour, 0x0000FFu);
    EXPECT_EQ(cells[1].colour, 0x0000FFu);
    EXPECT_EQ(cells[2].colour, 0x00FF00u);
    EXPECT_EQ(cells[2].character, 'c');
}

TEST(OutputTextView, WidthChangesAndUnlimitedLines)
{
    OutputTextView view;
    Put(view, "abcdefgh\r12");
    view.SetLineWidth(5);
    EXPECT_EQ(view.LineText(0), "abcde");
    EXPECT_EQ(view.LineText(1), "12");
    Put(view, "3456");
    EXPECT_EQ(view.LineText(1), "12345");
    EXPECT_EQ(view.LineText(2), "6");

    OutputTextView unlimited(0, 0);
    const std::string longLine(5000, 'z');
    Put(unlimited, longLine);
    for (int i = 0; i < 300; ++i)
        Put(unlimited, "\r");
    EXPECT_EQ(unlimited.LineCount(), 301u);
    EXPECT_EQ(unlimited.LineText(0), longLine);
}

} // namespace
} // namespace sirrel
