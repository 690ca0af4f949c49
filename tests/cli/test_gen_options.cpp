#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "gen_options.h"

namespace sirrel::siggen {
namespace {

std::string Refusal(const std::vector<std::string> &args)
{
    try {
        ParseGenOptions(args);
    } catch (const cli::OptionError &error) {
        return error.message;
    }
    return "";
}

TEST(GenOptions, EveryListedOptionIsHandled)
{
    GenOptions scratch;
    std::set<std::string> names;
    for (const cli::Option &option : GenOptionTable(scratch)) {
        if (option.name.empty())
            continue;
        EXPECT_TRUE(names.insert(option.name).second) << option.name << " listed twice";
        ASSERT_TRUE(option.handle) << option.name;
        std::vector<std::string> args = {option.name};
        if (!option.value.empty())
            args.push_back(option.sample);
        EXPECT_EQ(Refusal(args), "") << option.name;
    }
}

// Each option reaches its own field: a handler wired to another field is caught here.
TEST(GenOptions, EachOptionSetsItsSetting)
{
    const GenOptions o = ParseGenOptions({"-o",
                                          "x.wav",
                                          "--mode",
                                          "arqm",
                                          "--parity",
                                          "odd",
                                          "--stop",
                                          "2",
                                          "--baud",
                                          "96",
                                          "--space",
                                          "1200",
                                          "--mark",
                                          "1400",
                                          "--polarity",
                                          "reversed",
                                          "--offset",
                                          "10",
                                          "--rate",
                                          "8000",
                                          "--amplitude",
                                          "0.3",
                                          "--lead",
                                          "0.2",
                                          "--trail",
                                          "0.1",
                                          "--snr",
                                          "15",
                                          "--seed",
                                          "7",
                                          "--charset",
                                          "ita3",
                                          "--chars-in-cycle",
                                          "6",
                                          "--cycle-length",
                                          "70",
                                          "--gap",
                                          "quiet",
                                          "--inverting-rate",
                                          "2",
                                          "--phasing",
                                          "3",
                                          "--repeat-every",
                                          "9",
                                          "--repetition",
                                          "5",
                                          "--arqm-channels",
                                          "4",
                                          "--arqm-version",
                                          "242",
                                          "--channel-text",
                                          "B",
                                          "text"});
    EXPECT_EQ(o.output, "x.wav");
    EXPECT_EQ(o.mode, "arqm");
    EXPECT_EQ(o.parity, Parity::kOdd);
    EXPECT_EQ(o.stopBits, 2.0);
    EXPECT_EQ(o.settings.baud, 96);
    EXPECT_EQ(o.settings.space, 1200);
    EXPECT_EQ(o.settings.mark, 1400);
    EXPECT_TRUE(o.settings.reverse);
    EXPECT_EQ(o.settings.offset, 10);
    EXPECT_EQ(o.settings.sampleRate, 8000u);
    EXPECT_EQ(o.settings.amplitude, 0.3);
    EXPECT_EQ(o.settings.leadSeconds, 0.2);
    EXPECT_EQ(o.settings.trailSeconds, 0.1);
    EXPECT_EQ(o.settings.snrDb, 15);
    EXPECT_EQ(o.settings.seed, 7u);
    EXPECT_EQ(o.sevenBitSet, SevenBitSet::kIta3);
    EXPECT_EQ(o.charsInCycle, 6);
    EXPECT_EQ(o.cycleLength, 70);
    EXPECT_EQ(o.arqGap, ArqGap::kQuiet);
    EXPECT_EQ(o.invertingRate, 2);
    EXPECT_EQ(o.phasing, 3);
    EXPECT_EQ(o.repeatEvery, 9);
    EXPECT_EQ(o.repetitionCycle, 5);
    EXPECT_EQ(o.arqmChannels, 4);
    EXPECT_EQ(o.arqmVersion, ArqmSource::Version::kV242);
    EXPECT_EQ(o.channelTexts, std::vector<std::string>{"B"});
    EXPECT_EQ(o.text, "text");
    EXPECT_FALSE(ParseGenOptions({"--polarity", "normal"}).settings.reverse);
}

// The names of the settings both programs have are the same in both.
TEST(GenOptions, SharedSettingsHaveTheDecodersNames)
{
    GenOptions scratch;
    const cli::OptionTable table = GenOptionTable(scratch);
    for (const char *name : {"--mode", "--space", "--mark", "--baud", "--polarity", "--parity", "--charset",
                             "--chars-in-cycle", "--cycle-length", "--inverting-rate", "--repetition",
                             "--arqm-channels", "--arqm-version", "--rate", "--help", "--version"})
        EXPECT_NE(cli::FindOption(table, name), nullptr) << name;
    for (const char *old : {"--cycle", "--reverse", "--channels"})
        EXPECT_EQ(cli::FindOption(table, old), nullptr) << old;
}

} // namespace
} // namespace sirrel::siggen
