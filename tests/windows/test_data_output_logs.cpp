// The log controls of the "Data Output" window: a log switched on takes the next characters (and the display
// contents when the user wants them), switched off it takes nothing, a log that cannot be opened or written is
// switched off, "Clear screen" leaves the logs alone, and "..." chooses the name.
#include <filesystem>

#include "data_output_fixture.h"

namespace sirrel::test {
namespace {

class DataOutputLogTest : public DataOutputTest {
protected:
    // Types the name and checks "Log file", answering the questions with `steps`.
    void SwitchOn(int32_t channel, const std::string &name, std::vector<std::string> steps)
    {
        Channel(channel).logName.SetText(name);
        Answer(std::move(steps));
        ClickIn(Channel(channel).log, 6, 10);
        view->Refresh();
    }
    bool LogOpen(int32_t channel) { return engine.Output().Log(channel).IsOpen(); }
};

TEST_F(DataOutputLogTest, LogTakesTheNextCharactersAndTheDisplayWhenWanted)
{
    struct Case {
        const char *name;
        std::vector<std::string> answers; // to "Do you want to write the display contents to log ?"
        const char *logged;
    };
    const Case cases[] = {
        {"yes.log", {"\r"}, "before\nafter\n"},
        {"no.log", {"\t", "\r"}, "after\n"},
    };
    Build();
    for (const Case &c : cases) {
        engine.Output().View(0).Clear();
        Write("before");
        SwitchOn(0, c.name, c.answers);
        ASSERT_TRUE(LogOpen(0)) << c.name;
        // The name of an open log cannot change.
        EXPECT_FALSE(Channel(0).logName.Enabled());
        EXPECT_FALSE(Channel(0).browse.Enabled());
        Write("\nafter\r");

        ClickIn(Channel(0).log, 6, 10);
        EXPECT_FALSE(LogOpen(0));
        EXPECT_TRUE(Channel(0).logName.Enabled());
        EXPECT_TRUE(Channel(0).browse.Enabled());
        Write("not logged\r");
        EXPECT_EQ(FileText(folder + c.name), c.logged) << c.name;
    }
    // Checked again, the same file goes on.
    SwitchOn(0, "no.log", {"\t", "\r"});
    Write("again\r");
    EXPECT_EQ(FileText(folder + "no.log"), "after\nagain\n");
}

TEST_F(DataOutputLogTest, ClearScreenKeepsTheLogAndTheOtherChannels)
{
    Build();
    SwitchOn(0, "clear.log", {"\t", "\r"});
    Write("abc", 0);
    Write("xyz", 1);
    ClickIn(Channel(0).clear, 10, 10);
    view->Refresh();
    EXPECT_EQ(engine.Output().View(0).LineCount(), 0u);
    EXPECT_EQ(Channel(0).text.FirstLine(), 0);
    EXPECT_EQ(engine.Output().View(1).LineText(0), "xyz");
    Write("d\r", 0);
    EXPECT_TRUE(LogOpen(0));
    EXPECT_EQ(FileText(folder + "clear.log"), "abcd\n");
}

TEST_F(DataOutputLogTest, ALogThatCannotBeOpenedOrWrittenIsSwitchedOff)
{
    Build();
    SwitchOn(1, folder + "no-such-folder/x.log", {"\r"});
    EXPECT_EQ(captions, std::vector<std::string>{"Korvanda Quillon FSK Decoder"});
    EXPECT_FALSE(Channel(1).log.Checked());
    EXPECT_FALSE(LogOpen(1));
    EXPECT_TRUE(Channel(1).browse.Enabled());

    // The device takes the open but refuses every write: the first character switches the log off.
    captions.clear();
    SwitchOn(2, "/dev/full", {"\t", "\r"});
    ASSERT_TRUE(Channel(2).log.Checked());
    Write("x", 2);
    EXPECT_FALSE(LogOpen(2));
    EXPECT_FALSE(Channel(2).log.Checked());
    EXPECT_TRUE(Channel(2).logName.Enabled());
    EXPECT_EQ(captions.size(), 1u); // the question only: a failed write is silent
}

TEST_F(DataOutputLogTest, BrowseChoosesTheNameAndCancelKeepsIt)
{
    Build();
    Answer({"\x01" + folder + "chosen", "\r"}); // control-A: the typed path replaces the proposed name
    ClickIn(Channel(3).browse, 6, 6);
    EXPECT_EQ(captions.front(), "Select the Log File Name");
    EXPECT_EQ(Channel(3).logName.Text(), folder + "chosen.txt");

    Answer({"\x1b"});
    ClickIn(Channel(3).browse, 6, 6);
    EXPECT_EQ(Channel(3).logName.Text(), folder + "chosen.txt");
    EXPECT_FALSE(Channel(3).log.Checked());
}

TEST_F(DataOutputLogTest, ChoicesGoBackIntoTheConfigurationBlock)
{
    configuration.outputLeft = 120;
    configuration.outputTop = 80;
    configuration.outputWidth = 700;
    configuration.outputHeight = 400;
    configuration.logEnabled = {1, 0, 0, 0};
    configuration.logFile[0] = "kept.log";
    // The instance opens the logs the block has on before the window is built.
    engine.Output().Log(0).Open((folder + "kept.log").c_str());
    Build();
    EXPECT_EQ(view->X(), 120);
    EXPECT_EQ(view->Width(), 700);
    EXPECT_EQ(view->Height(), 400);
    EXPECT_TRUE(Channel(0).log.Checked());
    EXPECT_FALSE(Channel(0).logName.Enabled());

    SwitchOn(3, "three.log", {"\t", "\r"});
    Configuration gathered;
    view->Gather(gathered);
    EXPECT_EQ(gathered.outputLeft, 120);
    EXPECT_EQ(gathered.outputTop, 80);
    EXPECT_EQ(gathered.outputWidth, 700);
    EXPECT_EQ(gathered.outputHeight, 400);
    EXPECT_EQ(gathered.logEnabled, (std::array<int32_t, kChannelCount>{1, 0, 0, 1}));
    EXPECT_EQ(gathered.logFile[0], "kept.log");
    EXPECT_EQ(gathered.logFile[3], "three.log");
}

} // namespace
} // namespace sirrel::test
