// Teleprinter and ASCII text through the whole chain: generated audio in, text out.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::TempDir;

const std::string kBaudotBody = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890 - ?:() ./";
const std::string kAsciiBody = "The quick brown fox jumps over the lazy dog. 0123456789 +-*/=<>@#";

struct ExplicitCase {
    const char *baud;
    int space;
    int shift;
    const char *demod;
};

// Fixed tones and bit rate: every common teleprinter speed and shift gives the exact text back. When the audio
// starts right in the tone, the filters filling up can make one character before it.
TEST(EndToEndAsync, ExplicitSettingsRecoverTheExactText)
{
    const ExplicitCase cases[] = {
        {"45.45", 1275, 170, "plain"}, {"50", 1000, 425, "plain"},        {"50", 1500, 850, "optimal"},
        {"75", 1275, 170, "plain"},    {"100", 1000, 425, "correlative"}, {"100", 1200, 850, "plain"},
        {"300", 1000, 850, "plain"},   {"50", 1275, 170, "correlative"},
    };
    TempDir dir;
    for (const ExplicitCase &c : cases) {
        std::string wav = dir.file("signal.wav");
        std::string mark = std::to_string(c.space + c.shift);
        std::string text = kBaudotBody + "\n";
        auto gen = generate(wav, text,
                            {"--mode", "ita2", "--baud", c.baud, "--space", std::to_string(c.space), "--mark", mark});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"--mode", "ita2", "--tune", "manual", "--space", std::to_string(c.space), "--mark", mark,
                           "--baud", c.baud, "--baud-mode", "manual", "--demod", c.demod, wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_TRUE(out.out.ends_with(text) && out.out.size() <= text.size() + 1)
            << c.baud << " baud, " << c.shift << " Hz shift, " << c.demod << " gave:\n"
            << out.out;
    }
}

struct EndCase {
    const char *mode;
    const char *baud;
    const char *stop;
    const char *trail;
};

// A transmission that stops right after its last character, and one with an idle trail: every character that
// was sent is printed, the last ones included, and nothing after them.
TEST(EndToEndAsync, TheLastCharactersOfTheFileArePrinted)
{
    const EndCase cases[] = {
        {"ita2", "45.45", "1.5", "0"}, {"ita2", "45.45", "1.5", "0.5"}, {"ita2", "45.45", "1", "0"},
        {"ascii8", "300", "1", "0"},   {"ascii8", "300", "1", "0.5"},
    };
    const std::string text = "CQ CQ DE TEST 1234";
    TempDir dir;
    for (const EndCase &c : cases) {
        std::string wav = dir.file("signal.wav");
        auto gen = generate(wav, text,
                            {"--mode", c.mode, "--baud", c.baud, "--stop", c.stop, "--trail", c.trail, "--space",
                             "1000", "--mark", "1850"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"--mode", c.mode, "--tune", "manual", "--space", "1000", "--mark", "1850", "--baud", c.baud,
                           "--baud-mode", "manual", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, text) << c.mode << " " << c.baud << " Bd, " << c.stop << " stop bits, " << c.trail
                                 << " s trail";
    }
}

struct ProtocolCase {
    const char *protocol;
    const char *genMode;
    const char *baud;
    const std::string *body;
};

// The stock protocols tune and measure the bit rate by themselves; like an operator's transmission, the
// signal starts with a line of RY and ends with one, during which the decoder settles. With 1.5 stop bits a
// character sits in the middle of the decoder's length window: the measured bit rate rounds the bit length up,
// and with one stop bit an 8-bit character is left a few samples above the window's lower end. (8-bit text
// also frames on the edge into its stop bit, since bit 7 of ASCII is 0 and the stop bit is not checked.)
TEST(EndToEndAsync, DefaultProtocolsRecoverTheText)
{
    const ProtocolCase cases[] = {
        {"Baudot", "ita2", "50", &kBaudotBody},
        {"ASCII", "ira", "75", &kAsciiBody},
        {"ASCII 8bit", "ascii8", "100", &kAsciiBody},
    };
    TempDir dir;
    for (const ProtocolCase &c : cases) {
        std::string wav = dir.file("signal.wav");
        std::string text = "RYRYRYRYRYRYRYRYRYRY\n" + *c.body + "\nRYRYRYRYRYRYRYRYRYRY\n";
        auto gen = generate(
            wav, text, {"--mode", c.genMode, "--baud", c.baud, "--stop", "1.5", "--space", "1275", "--mark", "1445"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"--protocol", c.protocol, wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_NE(out.out.find("\n" + *c.body + "\n"), std::string::npos) << c.protocol << " gave:\n" << out.out;
    }
}

// At 10 dB signal-to-noise ratio in 3 kHz the text stays readable: under 2 % of the characters are wrong.
// A line of RY comes first, as on the air: noise in the idle before it makes characters of its own, and a
// figures shift among them holds until the next letters shift, which the figures ending the line force.
TEST(EndToEndAsync, NoisySignalStaysReadable)
{
    TempDir dir;
    std::string body;
    for (int i = 0; i < 4; ++i)
        body += kBaudotBody + "\n";
    const std::string preamble = "RYRYRYRYRYRYRYRYRYRY 73\n";
    int errors = 0;
    size_t sent = 0;
    for (const char *seed : {"1", "2", "3"}) {
        std::string wav = dir.file("noisy.wav");
        auto gen = generate(
            wav, preamble + body,
            {"--baud", "50", "--space", "1000", "--mark", "1425", "--snr", "10", "--seed", seed, "--amplitude", "0.3"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"--mode", "ita2", "--tune", "manual", "--space", "1000", "--mark", "1425", "--baud", "50",
                           "--baud-mode", "manual", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        std::string decoded = out.out.substr(std::min(out.out.find('\n') + 1, out.out.size()));
        errors += int(e2e::editDistance(body, decoded));
        sent += body.size();
    }
    EXPECT_LT(double(errors) / double(sent), 0.02) << errors << " of " << sent << " characters wrong";
}

// The stock protocol measures the bit rate itself: the idle tone before the text and the noise must not drive
// it off the signal's 45.45 bit/s.
TEST(EndToEndAsync, NoisySignalWithTheAutomaticBitRateStaysReadable)
{
    TempDir dir;
    const std::string text = kBaudotBody + "\nCQ CQ DE SIRREL TEST MESSAGE PSE K\n";
    int errors = 0;
    size_t sent = 0;
    for (const char *seed : {"1", "2", "3"}) {
        std::string wav = dir.file("noisy.wav");
        auto gen = generate(wav, text,
                            {"--baud", "45.45", "--space", "1275", "--mark", "1445", "--snr", "10", "--seed", seed});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"--protocol", "Baudot", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        errors += int(e2e::editDistance(text, out.out));
        sent += text.size();
    }
    EXPECT_LT(double(errors) / double(sent), 0.2) << errors << " of " << sent << " characters wrong";
}

// Another transmitter's convention: after "0123456789 " it sends letters without a letters shift, counting on
// the receiver to return to letters at the space.
TEST(EndToEndAsync, LettersAfterASpaceWithoutALettersShift)
{
    TempDir dir;
    const std::string wav = dir.file("other.wav");
    const std::string text = "0123456789 RYRYRY THE QUICK BROWN FOX";
    auto gen = e2e::run("printf '%s\\n' " + e2e::quote(text) + " | minimodem --tx rtty -R 11025 -f " + e2e::quote(wav));
    ASSERT_EQ(gen.status, 0) << "minimodem: " << gen.err;
    auto out = decode({"--protocol", "Baudot", wav});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_NE(out.out.find(text), std::string::npos) << out.out;
    out = decode({"--protocol", "Baudot", "--unshift-on-space", "off", wav});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_NE(out.out.find("0123456789 464646"), std::string::npos) << "figures hold without the choice:\n" << out.out;
}

// Letters only, deep in the noise: a false figures shift must not turn the rest of the line into figures.
TEST(EndToEndAsync, FalseFiguresShiftEndsAtTheNextSpace)
{
    TempDir dir;
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG AND RUNS AWAY INTO THE WOODS WHERE NOBODY "
                             "CAN FIND HIM AGAIN";
    auto figures = [](const std::string &s) {
        return std::count_if(s.begin(), s.end(), [](char c) {
            return std::string("0123456789-?:().,'/!&#$+=;\"").find(c) != std::string::npos;
        });
    };
    long shownOn = 0, shownOff = 0, figuresOn = 0, figuresOff = 0;
    for (const char *seed : {"1", "2", "3"}) {
        const std::string wav = dir.file("noisy.wav");
        auto gen = generate(wav, text + " " + text,
                            {"--baud", "45.45", "--space", "1275", "--mark", "1445", "--snr", "-6", "--seed", seed,
                             "--amplitude", "0.2"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        for (bool on : {true, false}) {
            // The plain tone filters, which make the false shifts this is about at -6 dB.
            auto out =
                decode({"--mode", "ita2", "--tune", "manual", "--space", "1275", "--mark", "1445", "--baud", "45.45",
                        "--baud-mode", "manual", "--demod", "plain", "--unshift-on-space", on ? "on" : "off", wav});
            ASSERT_EQ(out.status, 0) << out.err;
            (on ? shownOn : shownOff) += long(out.out.size());
            (on ? figuresOn : figuresOff) += figures(out.out);
        }
    }
    EXPECT_LT(double(figuresOn) / double(shownOn), 0.05) << figuresOn << " figures in " << shownOn;
    EXPECT_LT(figuresOn * 2, figuresOff) << "on " << figuresOn << ", off " << figuresOff;
}

TEST(EndToEndAsync, RawAudioOnStdinAtAnotherRate)
{
    TempDir dir;
    std::string wav = dir.file("signal.wav");
    std::string text = kBaudotBody + "\n";
    auto gen = generate(wav, text, {"--baud", "50", "--space", "1000", "--mark", "1170", "--rate", "8000"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    // The generator's header is 46 bytes (an 18-byte format chunk): what follows is raw 16-bit mono.
    auto out = e2e::run("tail -c +47 " + e2e::quote(wav) + " | " + SIRREL_DECODE_PROGRAM +
                        " --mode ita2 --tune manual --space 1000 --mark 1170 --baud 50 --baud-mode manual"
                        " --input-rate 8000 -");
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, text);
}

TEST(EndToEndAsync, AllChannelsLogsAndStatistics)
{
    TempDir dir;
    std::string wav = dir.file("signal.wav");
    auto gen = generate(wav, "CQ CQ DE TEST\n", {"--baud", "50", "--space", "1000", "--mark", "1170"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    std::vector<std::string> settings = {"--mode", "ita2", "--tune", "manual", "--space",     "1000",
                                         "--mark", "1170", "--baud", "50",     "--baud-mode", "manual"};
    auto all = settings;
    all.insert(all.end(), {"--all-channels", "--stats", "--log-dir", dir.file("logs/sub"), wav});
    auto out = decode(all);
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.rfind("[1] CQ CQ DE TEST\n", 0), 0u) << out.out;
    EXPECT_NE(out.out.find("Q - 0x17 - 2"), std::string::npos) << out.out;
    EXPECT_EQ(e2e::readFile(dir.file("logs/sub/Sirrel1.log")), "CQ CQ DE TEST\n");
    EXPECT_EQ(e2e::readFile(dir.file("logs/sub/Sirrel2.log")), "");

    auto second = settings;
    second.insert(second.end(), {"--channel", "2", wav});
    auto quiet = decode(second);
    ASSERT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "") << "only ARQ-M writes to channel 2";
}

struct ErrorCase {
    std::vector<std::string> args;
    const char *reason;
};

// Every error: status 2, one line on stderr saying what and why, nothing on stdout.
TEST(EndToEndAsync, CommandLineErrors)
{
    TempDir dir;
    std::string notWav = dir.file("text.wav");
    {
        std::ofstream(notWav) << "hello";
    }
    std::string empty = dir.file("empty.wav");
    {
        std::ofstream(empty) << "";
    }
    const ErrorCase cases[] = {
        {{"--stats"}, "no input"},
        {{dir.file("missing.wav")}, "No such file"},
        {{notWav}, "not a WAV file"},
        {{empty}, "not a WAV file"},
        {{dir.file("")}, "folder"},
        {{"--protocol", "NoSuch", notWav}, "unknown protocol 'NoSuch'"},
        {{"--bogus", notWav}, "unknown option '--bogus'"},
        {{"--baud", "0", notWav}, "--baud"},
        {{"--baud", "fast", notWav}, "--baud"},
        {{"--space", "3001", notWav}, "--space"},
        {{"--mode", "morse", notWav}, "--mode"},
        {{"--rate", "0", notWav}, "--rate"},
        {{"--channel", "5", notWav}, "--channel"},
        {{"--mask", "256", notWav}, "--mask"},
        {{"--color", "pink", notWav}, "--color"},
        {{"--mark"}, "needs a value"},
        {{notWav, "-"}, "stdin (-) can only be the one input"},
        {{"--log-dir", "/proc/version/x", notWav}, "not a WAV file"},
    };
    for (const ErrorCase &c : cases) {
        auto out = decode(c.args);
        std::string what = e2e::args(c.args);
        EXPECT_EQ(out.status, 2) << what;
        EXPECT_EQ(out.out, "") << what;
        EXPECT_NE(out.err.find(c.reason), std::string::npos) << what << ": " << out.err;
        EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << what << ": " << out.err;
    }
}

TEST(EndToEndAsync, ListsEveryDefaultProtocol)
{
    auto out = decode({"--list-protocols"});
    ASSERT_EQ(out.status, 0);
    EXPECT_EQ(std::count(out.out.begin(), out.out.end(), '\n'), 35);
    EXPECT_NE(out.out.find("SITOR-B\n"), std::string::npos);
}

} // namespace
