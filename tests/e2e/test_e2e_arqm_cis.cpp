// ARQ-M (all four channels) and CIS-11 through the whole chain: generated audio in, text out, with the stock
// protocols.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::TempDir;

const std::array<std::string, 4> kChannelTexts = {"ZCZC ALPHA 1234 THE QUICK BROWN FOX\n",
                                                  "BRAVO 5678 JUMPS OVER THE LAZY DOG\n",
                                                  "CHARLIE (90) - ?:./ RYRYRYRYRY\n", "DELTA NNNN 73 DE TEST =\n"};

// The lines of --all-channels output, one text per channel.
std::array<std::string, 4> SplitChannels(const std::string &out)
{
    std::array<std::string, 4> channels;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        end = end == std::string::npos ? out.size() : end + 1;
        const std::string line = out.substr(at, end - at);
        at = end;
        if (line.size() >= 4 && line[0] == '[' && line[1] >= '1' && line[1] <= '4' && line[2] == ']')
            channels[size_t(line[1] - '1')] += line.substr(4);
    }
    return channels;
}

struct ArqmCase {
    const char *protocol;
    const char *channels;
    const char *cycle;
    const char *version;
};

const ArqmCase kArqmCases[] = {
    {"ARQ-M2-342, 2 ch., 4 chars in cycle", "2", "4", "342"}, {"ARQ-M2-342, 2 ch., 8 chars in cycle", "2", "8", "342"},
    {"ARQ-M2-342, 4 ch., 8 chars in cycle", "4", "8", "342"}, {"ARQ-M2-342, 4 ch., 4 chars in cycle", "4", "4", "342"},
    {"ARQ-M2-242, 2 ch., 4 chars in cycle", "2", "4", "242"}, {"ARQ-M2-242, 2 ch., 8 chars in cycle", "2", "8", "242"},
    {"ARQ-M2-242, 4 ch., 4 chars in cycle", "4", "4", "242"}, {"ARQ-M2-242, 4 ch., 8 chars in cycle", "4", "8", "242"},
};

std::vector<std::string> ArqmOptions(const ArqmCase &c, const std::vector<std::string> &extra)
{
    std::vector<std::string> options = {
        "--mode",          "arqm",     "--baud",       "96",    "--space",        "1000",   "--mark", "1400",
        "--arqm-channels", c.channels, "--repetition", c.cycle, "--arqm-version", c.version};
    const int channels = std::stoi(c.channels);
    for (int ch = 1; ch < channels; ++ch)
        options.insert(options.end(), {"--channel-text", kChannelTexts[size_t(ch)]});
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
}

TEST(EndToEndArqm, EveryDefaultProtocolRecoversEveryChannel)
{
    TempDir dir;
    for (const ArqmCase &c : kArqmCases) {
        SCOPED_TRACE(c.protocol);
        const std::string wav = dir.file("arqm.wav");
        const auto gen = generate(wav, kChannelTexts[0], ArqmOptions(c, {}));
        ASSERT_EQ(gen.status, 0) << gen.err;
        const auto out = decode({"--protocol", c.protocol, "--all-channels", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        const auto channels = SplitChannels(out.out);
        const int count = std::stoi(c.channels);
        for (int ch = 0; ch < 4; ++ch)
            EXPECT_EQ(channels[size_t(ch)], ch < count ? kChannelTexts[size_t(ch)] : "") << "channel " << ch + 1;

        // --channel N prints that channel alone.
        const auto second = decode({"--protocol", c.protocol, "--channel", "2", wav});
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(second.out, kChannelTexts[1]);
    }
}

TEST(EndToEndArqm, ReadableAtTenDecibels)
{
    TempDir dir;
    size_t errors = 0;
    size_t sent = 0;
    for (const ArqmCase &c : {kArqmCases[0], kArqmCases[2], kArqmCases[7]}) {
        for (const char *seed : {"1", "2"}) {
            const std::string wav = dir.file("noisy.wav");
            const auto gen =
                generate(wav, kChannelTexts[0], ArqmOptions(c, {"--snr", "10", "--seed", seed, "--amplitude", "0.3"}));
            ASSERT_EQ(gen.status, 0) << gen.err;
            const auto out = decode({"--protocol", c.protocol, "--all-channels", wav});
            ASSERT_EQ(out.status, 0) << out.err;
            const auto channels = SplitChannels(out.out);
            for (int ch = 0; ch < std::stoi(c.channels); ++ch) {
                errors += e2e::editDistance(kChannelTexts[size_t(ch)], channels[size_t(ch)]);
                sent += kChannelTexts[size_t(ch)].size();
            }
        }
    }
    EXPECT_LT(double(errors) / double(sent), 0.05) << errors << " of " << sent << " characters wrong";
}

const std::string kCisText = "ZCZC CIS 11 THE QUICK BROWN FOX 1234567890\nJUMPS OVER THE LAZY DOG - ?:() ./\n";

TEST(EndToEndCis, DefaultProtocolRecoversTheText)
{
    TempDir dir;
    for (const bool reverse : {false, true}) {
        SCOPED_TRACE(reverse ? "reversed tones" : "normal tones");
        const std::string wav = dir.file("cis.wav");
        std::vector<std::string> options = {"--mode", "cis", "--baud", "100", "--space", "1000", "--mark", "1400"};
        if (reverse)
            options.insert(options.end(), {"--polarity", "reversed"});
        const auto gen = generate(wav, kCisText, options);
        ASSERT_EQ(gen.status, 0) << gen.err;
        const auto out = decode({"--protocol", "CIS-11", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, kCisText);
    }
}

TEST(EndToEndCis, ReadableAtTenDecibels)
{
    TempDir dir;
    size_t errors = 0;
    size_t sent = 0;
    for (const char *seed : {"1", "2", "3"}) {
        const std::string wav = dir.file("noisy.wav");
        const auto gen = generate(wav, kCisText,
                                  {"--mode", "cis", "--baud", "100", "--space", "1000", "--mark", "1400", "--snr", "10",
                                   "--seed", seed, "--amplitude", "0.3"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        const auto out = decode({"--protocol", "CIS-11", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        errors += e2e::editDistance(kCisText, out.out);
        sent += kCisText.size();
    }
    EXPECT_LT(double(errors) / double(sent), 0.05) << errors << " of " << sent << " characters wrong";
}

TEST(EndToEndArqm, GeneratorRejectsBadArqmOptions)
{
    struct Case {
        std::vector<std::string> options;
        const char *reason;
    };
    const Case cases[] = {
        {{"--mode", "arqm", "--arqm-channels", "3"}, "--arqm-channels"},
        {{"--mode", "arqm", "--repetition", "0"}, "--repetition"},
        {{"--mode", "arqm", "--repetition", "256"}, "--repetition"},
        {{"--mode", "arqm", "--arqm-version", "343"}, "--arqm-version"},
        {{"--mode", "arqm", "--arqm-channels", "2", "--channel-text", "B", "--channel-text", "C"}, "--channel-text"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        const auto gen = generate(dir.file("bad.wav"), "TEXT", c.options);
        const std::string what = e2e::args(c.options);
        EXPECT_EQ(gen.status, 2) << what;
        EXPECT_NE(gen.err.find(c.reason), std::string::npos) << what << ": " << gen.err;
        EXPECT_EQ(std::count(gen.err.begin(), gen.err.end(), '\n'), 1) << what << ": " << gen.err;
    }
}

} // namespace
