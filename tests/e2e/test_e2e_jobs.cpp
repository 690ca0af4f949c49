// Several files on one command line: decoded at once, yet each file's text comes out whole and in the order
// given, the same as decoding them one by one; a bad file is reported by name without stopping the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::TempDir;

const std::vector<std::string> kTones = {"--space", "1000", "--mark", "1170", "--baud", "50"};
const std::vector<std::string> kSettings = {"--mode", "ita2", "--tune", "manual", "--space",     "1000",
                                            "--mark", "1170", "--baud", "50",     "--baud-mode", "manual"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string> &more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Files of different lengths, the longest first, so that with several jobs the later ones finish first.
class EndToEndJobs : public testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<std::pair<std::string, std::string>> signals = {
            {"long.wav", "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890\nSECOND LINE OF THE LONG ONE\n"},
            {"short.wav", "CQ CQ DE TEST\n"},
            {"middle.wav", "RYRYRYRY NOW IS THE TIME\n"},
        };
        for (const auto &[name, text] : signals) {
            files_.push_back(dir_.file(name));
            auto gen = generate(files_.back(), text, kTones);
            ASSERT_EQ(gen.status, 0) << gen.err;
        }
        for (const std::string &file : files_) {
            auto one = decode(With(kSettings, {file}));
            ASSERT_EQ(one.status, 0) << one.err;
            ASSERT_FALSE(one.out.empty()) << file;
            texts_.push_back(one.out);
        }
    }

    TempDir dir_;
    std::vector<std::string> files_;
    std::vector<std::string> texts_; // each file decoded on its own
};

TEST_F(EndToEndJobs, TextInTheOrderGivenWhateverTheJobs)
{
    const std::vector<std::string> order = {files_[0], files_[1], files_[2], files_[1]};
    const std::string want = texts_[0] + texts_[1] + texts_[2] + texts_[1];
    for (const char *jobs : {"1", "2", "4"}) {
        auto out = decode(With(kSettings, With({"--jobs", jobs}, order)));
        EXPECT_EQ(out.status, 0) << jobs << ": " << out.err;
        EXPECT_EQ(out.out, want) << "--jobs " << jobs;
        EXPECT_EQ(out.err, "") << jobs;
    }
    auto defaultJobs = decode(With(kSettings, order));
    EXPECT_EQ(defaultJobs.out, want);

    // The statistics belong to their file's text.
    auto stats = decode(With(kSettings, {"--stats", "-j", "2", files_[0], files_[1]}));
    auto first = decode(With(kSettings, {"--stats", files_[0]}));
    auto second = decode(With(kSettings, {"--stats", files_[1]}));
    EXPECT_EQ(stats.out, first.out + second.out);
}

TEST_F(EndToEndJobs, BadFilesAreNamedAndTheOthersStillDecode)
{
    const std::string missing = dir_.file("missing.wav");
    const std::string notWav = dir_.file("text.wav");
    std::ofstream(notWav) << "hello";
    for (const char *jobs : {"1", "4"}) {
        auto out = decode(With(kSettings, {"--jobs", jobs, files_[0], missing, files_[1], notWav, files_[2]}));
        EXPECT_EQ(out.status, 2) << jobs;
        EXPECT_EQ(out.out, texts_[0] + texts_[1] + texts_[2]) << jobs;
        EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 2) << out.err;
        const size_t missingAt = out.err.find("'" + missing + "': No such file");
        const size_t notWavAt = out.err.find("'" + notWav + "' is not a WAV file");
        EXPECT_NE(missingAt, std::string::npos) << out.err;
        EXPECT_NE(notWavAt, std::string::npos) << out.err;
        EXPECT_LT(missingAt, notWavAt) << "errors come in the order of the files";
    }
}

TEST_F(EndToEndJobs, EachFileLogsInAFolderOfItsOwn)
{
    const std::string logs = dir_.file("logs");
    auto out = decode(With(kSettings, {"--log-dir", logs, "--jobs", "3", files_[0], files_[1], files_[2]}));
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, texts_[0] + texts_[1] + texts_[2]);
    EXPECT_EQ(e2e::readFile(logs + "/long/Sirrel1.log"), texts_[0]);
    EXPECT_EQ(e2e::readFile(logs + "/short/Sirrel1.log"), texts_[1]);
    EXPECT_EQ(e2e::readFile(logs + "/middle/Sirrel1.log"), texts_[2]);
    EXPECT_EQ(e2e::readFile(logs + "/middle/Sirrel2.log"), "");

    // Files of one name would write the same logs: refused before anything is decoded.
    std::filesystem::create_directory(dir_.file("other"));
    const std::string namesake = dir_.file("other/short.wav");
    std::filesystem::copy_file(files_[1], namesake);
    const std::string refusedLogs = dir_.file("refused");
    for (const std::vector<std::string> &inputs :
         {std::vector<std::string>{files_[1], namesake}, std::vector<std::string>{files_[0], files_[0]}}) {
        auto refused = decode(With(kSettings, With({"--log-dir", refusedLogs}, inputs)));
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find("would share the log folder"), std::string::npos) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(refusedLogs));
    }
}

TEST_F(EndToEndJobs, RefusedCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--jobs", "0", files_[0], files_[1]},
        {"--jobs", "many", files_[0], files_[1]},
        {"-j", "", files_[0]},
        {files_[0], "-"},
        {"-", files_[0]},
    };
    for (const auto &args : cases) {
        auto out = decode(With(kSettings, args));
        EXPECT_EQ(out.status, 2) << e2e::args(args);
        EXPECT_EQ(out.out, "") << e2e::args(args);
        EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
    }
}

} // namespace
