#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "output/log_file.h"

namespace fs = std::filesystem;

namespace sirrel {
namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/logfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        path_ = std::string(pattern) + "/Sirrel.log";
    }
    void TearDown() override { fs::remove_all(fs::path(path_).parent_path()); }

    std::string Contents() const
    {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    void Log(LogFile &log, const std::string &text)
    {
        for (char c : text)
            ASSERT_TRUE(log.WriteCharacter(static_cast<uint8_t>(c)));
    }

    std::string path_;
};

TEST_F(LogFileTest, CarriageReturnEndsALineAndLineFeedIsSkipped)
{
    LogFile log;
    ASSERT_TRUE(log.Open(path_.c_str()));
    Log(log, "RYRY\r\nCQ\n\rDE");
    // Each character is in the file as soon as it is logged.
    EXPECT_EQ(Contents(), "RYRY\nCQ\nDE");
}

TEST_F(LogFileTest, ReopeningAppendsAndAClosedLogWritesNothing)
{
    LogFile log;
    ASSERT_TRUE(log.Open(path_.c_str()));
    Log(log, "one\r");
    log.Close();
    Log(log, "lost");
    ASSERT_TRUE(log.Open(path_.c_str()));
    Log(log, "two\r");
    EXPECT_EQ(Contents(), "one\ntwo\n");
}

TEST_F(LogFileTest, DumpWritesEachLineWithALineEnd)
{
    LogFile log;
    ASSERT_TRUE(log.Open(path_.c_str()));
    Log(log, "head\r");
    const std::string lines[] = {"first line", "", std::string(300, 'x')};
    for (const std::string &line : lines)
        ASSERT_TRUE(log.WriteLine(line.data(), static_cast<uint32_t>(line.size())));
    EXPECT_EQ(Contents(), "head\nfirst line\n\n" + std::string(300, 'x') + "\n");
}

TEST_F(LogFileTest, FailedWriteSwitchesLoggingOff)
{
    LogFile log;
    ASSERT_TRUE(log.Open("/dev/full"));
    EXPECT_FALSE(log.WriteCharacter('A'));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_TRUE(log.WriteCharacter('B'));

    ASSERT_TRUE(log.Open("/dev/full"));
    EXPECT_FALSE(log.WriteLine("line", 4));
    EXPECT_FALSE(log.IsOpen());
}

TEST_F(LogFileTest, OpenFailsInAMissingFolder)
{
    LogFile log;
    EXPECT_FALSE(log.Open((path_ + ".d/missing/x.log").c_str()));
    EXPECT_FALSE(log.IsOpen());
}

} // namespace
} // namespace sirrel
