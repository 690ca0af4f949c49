#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "options.h"

namespace sirrel {
namespace {

struct Parsed {
    bool ok = false;
    std::string error;
    SettingsModel settings;
    DecodeOptions options;
};

// Stored protocols come from a folder that does not exist, so only the stock ones are found.
Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), {"--data-dir", "/nonexistent/sirrel-test"});
    Parsed p;
    p.ok = ParseDecodeOptions(args, p.settings, p.options, p.error);
    return p;
}

TEST(DecodeOptions, EveryListedOptionIsHandled)
{
    std::set<std::string> names;
    for (const cli::Option &option : DecodeOptionTable()) {
        if (option.name.empty())
            continue;
        EXPECT_TRUE(names.insert(option.name).second) << option.name << " listed twice";
        ASSERT_TRUE(option.handle) << option.name;
        std::vector<std::string> args = {option.name};
        if (!option.value.empty())
            args.push_back(option.sample);
        // The sound card is the one input of --device.
        if (option.name != "--device")
            args.push_back("in.wav");
        const Parsed p = Parse(args);
        EXPECT_TRUE(p.ok) << option.name << ": " << p.error;
    }
}

TEST(DecodeOptions, RefusedCommandLines)
{
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--foo", "in.wav"}, "unknown option '--foo'"},
        {{"in.wav", "--baud"}, "option '--baud' needs a value"},
        {{"--baud", "0", "in.wav"}, "bad value '0' for option '--baud': expected a number from 1 to 2000"},
        {{"--baud", "nan", "in.wav"}, "bad value 'nan' for option '--baud'"},
        {{"--mask", "256", "in.wav"}, "bad value '256' for option '--mask': expected a whole number from 0 to 255"},
        {{"--mode", "morse", "in.wav"}, "expected ita2|ira|ascii8|arq|arqm|fec|packet|cis|raw"},
        {{"--arqm-version", "343", "in.wav"}, "bad value '343' for option '--arqm-version': expected 242|342"},
        {{"--arqm-channels", "3", "in.wav"}, "option '--arqm-channels'"},
        {{"--stats=yes", "in.wav"}, "option '--stats' takes no value"},
        {{"--version", "242", "-"}, "stdin (-) can only be the one input, not with '242'"}, // 242 is no value
        {{"a.wav", "-"}, "stdin (-) can only be the one input, not with 'a.wav'"},
        {{"-", "a.wav", "b.wav"}, "stdin (-) can only be the one input, not with 'a.wav'"},
        {{"--jobs", "0", "a.wav", "b.wav"},
         "bad value '0' for option '--jobs': expected a whole number from 1 to 1024"},
        {{"-j", "-1", "a.wav"}, "bad value '-1' for option '-j'"},
        {{"--jobs", "two", "a.wav"}, "bad value 'two' for option '--jobs'"},
        {{"--jobs", "1025", "a.wav"}, "bad value '1025' for option '--jobs'"},
        {{"--stats"}, "no input"},
        {{"--protocol", "NoSuch", "in.wav"}, "unknown protocol 'NoSuch'"},
        {{"--device", "default", "in.wav"}, "--device decodes the sound card alone, not with 'in.wav'"},
    };
    for (const Case &c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_FALSE(p.ok) << c.args.front();
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.args.front() << ": " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
}

TEST(DecodeOptions, InformationNeedsNoInput)
{
    for (const char *option : {"--help", "-h", "--version", "--man", "--list-protocols"}) {
        const Parsed p = Parse({option});
        EXPECT_TRUE(p.ok) << option << ": " << p.error;
    }
    EXPECT_TRUE(Parse({"--version"}).options.version);
    EXPECT_TRUE(Parse({"--man"}).options.man);
    EXPECT_TRUE(Parse({"-q", "in.wav"}).options.quiet);
}

TEST(DecodeOptions, SeveralInputsKeepTheirOrder)
{
    const Parsed p = Parse({"b.wav", "--jobs", "3", "a.wav", "b.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.inputs, (std::vector<std::string>{"b.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(p.options.jobs, 3u);
    EXPECT_EQ(Parse({"in.wav"}).options.jobs, 0u) << "the default is one job per processor";
}

// Settings apply after the protocol wherever they stand, and the mode-dependent ones follow the final mode.
TEST(DecodeOptions, SettingsOverrideTheProtocolAndFollowTheMode)
{
    Parsed p = Parse({"--baud", "75", "--protocol", "SITOR-B", "--chars-in-cycle", "5", "--charset", "ita3", "in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.settings.mode, kModeFec);
    EXPECT_EQ(p.settings.baudrate, 75);
    EXPECT_EQ(p.settings.fecCharsInCycle, 5);
    EXPECT_EQ(p.settings.fecCharsetIndex, 1);

    p = Parse({"--repetition", "300", "--mode", "arqm", "--arqm-channels", "4", "--arqm-version", "242", "in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.settings.arqmRepetitionCycle, 255); // ARQ-M counts its cycle in a byte
    EXPECT_EQ(p.settings.arqmChannelsIndex, 2);
    EXPECT_EQ(p.settings.arqmVersionIndex, 0);

    p = Parse({"--repetition", "300", "--mode", "arq", "--polarity", "reversed", "in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.settings.arqRepetitionCycle, 300);
    EXPECT_EQ(p.settings.polarity, 2);
}

TEST(DecodeOptions, AddedCorrectionsAreOnUnlessAskedOff)
{
    Parsed p = Parse({"--protocol", "NAVTEX", "in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.settings.unshiftOnSpace);
    EXPECT_TRUE(p.settings.fecCorrection);

    p = Parse({"--unshift-on-space", "off", "--fec-correction", "off", "--protocol", "NAVTEX", "in.wav"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.settings.unshiftOnSpace);
    EXPECT_FALSE(p.settings.fecCorrection);

    EXPECT_FALSE(Parse({"--fec-correction", "maybe", "in.wav"}).ok);
}

TEST(DecodeOptions, HelpListsEveryShownOptionOnce)
{
    const std::string help = DecodeUsage();
    for (const cli::Option &option : DecodeOptionTable()) {
        if (option.name.empty())
            continue;
        const std::string label = "  " + cli::OptionLabel(option);
        const size_t at = help.find("\n" + label);
        if (option.hidden) {
            EXPECT_EQ(at, std::string::npos) << option.name;
            continue;
        }
        EXPECT_NE(at, std::string::npos) << option.name;
        EXPECT_EQ(help.find("\n" + label, at + 1), std::string::npos) << option.name;
    }
}

// Without --demod, the weak-signal demodulator replaces the protocol's where it was measured better: start/stop
// teleprinter, FEC, ARQ with a gap between its blocks and 1200-baud packet with a known bit rate. An automatic
// rate, other modes, ARQ whose blocks fill the cycle or a given --demod keep what the protocol or the option says.
TEST(DecodeOptions, WeakSignalIsTheDefaultWhereItDecodesMore)
{
    struct Case {
        std::vector<std::string> args;
        DemodulatorChoice expected;
    };
    const Case cases[] = {
        {{"--protocol", "NAVTEX"}, kDemodWeakSignal},
        {{"--protocol", "SITOR-B"}, kDemodWeakSignal},
        {{"--protocol", "Packet Radio - 1200bps"}, kDemodWeakSignal},
        {{"--protocol", "Packet Radio - 300bps"}, kDemodPlain},
        {{"--protocol", "Baudot"}, kDemodCorrelative},
        {{"--protocol", "Baudot", "--baud-mode", "manual"}, kDemodWeakSignal},
        {{"--protocol", "SITOR-A"}, kDemodWeakSignal},
        {{"--protocol", "SI-ARQ - Block length=6"}, kDemodWeakSignal},
        {{"--protocol", "POL-ARQ"}, kDemodWeakSignal},
        {{"--protocol", "ARQ-E - Repetition cycle length=8"}, kDemodWeakSignal},
        {{"--protocol", "SITOR-A", "--baud-mode", "auto"}, kDemodPlain},
        {{"--protocol", "CIS-11"}, kDemodWeakSignal},
        {{"--protocol", "ASCII"}, kDemodCorrelative},
        {{"--protocol", "NAVTEX", "--demod", "correlative"}, kDemodCorrelative},
        {{"--demod", "plain", "--protocol", "NAVTEX"}, kDemodPlain},
        {{"--protocol", "SITOR-A", "--demod", "plain"}, kDemodPlain},
        {{"--mode", "ita2", "--baud-mode", "manual"}, kDemodWeakSignal},
        {{"--mode", "arqm", "--baud-mode", "manual"}, kDemodWeakSignal},
        {{"--mode", "ira", "--baud-mode", "manual"}, kDemodPlain},
        {{"--mode", "raw", "--baud-mode", "manual"}, kDemodPlain},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("in.wav");
        const Parsed p = Parse(args);
        ASSERT_TRUE(p.ok) << p.error;
        std::string line;
        for (const std::string &a : c.args)
            line += a + " ";
        EXPECT_EQ(p.settings.Demodulator(), c.expected) << line;
    }
}

// 1200-baud packet with the weak-signal demodulator is processed at 22050 Hz unless a rate is given; raw
// audio on stdin is still read at 11025 Hz.
TEST(DecodeOptions, WeakSignalPacketRunsAtTwiceTheRate)
{
    struct Case {
        std::vector<std::string> args;
        uint32_t processing, input;
    };
    const Case cases[] = {
        {{"--protocol", "Packet Radio - 1200bps", "in.wav"}, 22050, 11025},
        {{"--protocol", "Packet Radio - 1200bps", "-"}, 22050, 11025},
        {{"--protocol", "Packet Radio - 1200bps", "--input-rate", "48000", "-"}, 22050, 48000},
        {{"--protocol", "Packet Radio - 1200bps", "--rate", "11025", "in.wav"}, 11025, 11025},
        {{"--protocol", "Packet Radio - 1200bps", "--demod", "weak", "in.wav"}, 22050, 11025},
        {{"--mode", "packet", "--baud", "1200", "--demod", "weak", "in.wav"}, 22050, 11025},
        {{"--protocol", "Packet Radio - 1200bps", "--demod", "highspeed", "in.wav"}, 11025, 11025},
        {{"--protocol", "Packet Radio - 300bps", "--tune", "manual", "in.wav"}, 11025, 11025},
        {{"--protocol", "NAVTEX", "in.wav"}, 11025, 11025},
    };
    for (const Case &c : cases) {
        const Parsed p = Parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.options.processingRate, c.processing) << c.args[1] << " " << c.args[2];
        EXPECT_EQ(p.options.inputRate, c.input) << c.args[1] << " " << c.args[2];
    }
}

} // namespace
} // namespace sirrel
