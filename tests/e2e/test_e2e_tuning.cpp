// Automatic tuning end to end: NAVTEX with steady carriers beside its tones, and the stock 300 bit/s packet
// protocol, which tunes itself, on packet audio and on Bell-103-like tones from another transmitter.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::quote;
using e2e::run;
using e2e::TempDir;

bool Available(const std::string &program) { return run("command -v " + quote(program)).status == 0; }

// Mixes steady sine carriers (hertz, amplitude of full scale) into `wav` for its whole length.
void AddCarriers(const TempDir &dir, const std::string &wav, const std::string &mixed,
                 const std::vector<std::pair<int, double>> &carriers)
{
    std::string mix = "sox -m -v 1 " + quote(wav);
    for (const auto &[hertz, amplitude] : carriers) {
        const std::string line = dir.file("carrier" + std::to_string(hertz) + ".wav");
        auto made = run("sox -n -r 11025 -c1 -b16 " + quote(line) + " synth \"$(soxi -D " + quote(wav) + ")\" sine " +
                        std::to_string(hertz) + " vol " + std::to_string(amplitude));
        ASSERT_EQ(made.status, 0) << made.err;
        mix += " -v 1 " + quote(line);
    }
    auto mixedRun = run(mix + " " + quote(mixed));
    ASSERT_EQ(mixedRun.status, 0) << mixedRun.err;
}

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

const char kNavtex[] = "ZCZC EA01 NAVTEX WARNING GALE FORCE 8 EXPECTED IN SEA AREA FISHER THE QUICK BROWN FOX JUMPS "
                       "OVER THE LAZY DOG 0123456789 NNNN";

// Tones at 915 and 1085 Hz with lines at 900, 1000 and 1100 Hz, each half the level of the tones: the two
// strongest peaks are the lines beside the tones, and the text was lost.
TEST(EndToEndTuning, NavtexBesideSteadyCarriers)
{
    if (!Available("sox") || !Available("soxi"))
        GTEST_SKIP() << "sox is needed to make the carriers";
    TempDir dir;
    const std::string fsk = dir.file("navtex.wav");
    auto gen = generate(fsk, kNavtex,
                        {"--mode", "fec", "--baud", "100", "--space", "915", "--mark", "1085", "--amplitude", "0.25"});
    ASSERT_EQ(gen.status, 0) << gen.err;
    const std::string mixed = dir.file("mixed.wav");
    AddCarriers(dir, fsk, mixed, {{900, 0.125}, {1000, 0.125}, {1100, 0.125}});
    for (const char *shift : {"any", "170"}) {
        SCOPED_TRACE(shift);
        auto out = decode({"-q", "--protocol", "NAVTEX", "--shift", shift, mixed});
        ASSERT_EQ(out.status, 0) << out.err;
        const std::string text = Trimmed(out.out);
        const size_t errors = e2e::editDistance(kNavtex, text);
        // The tones typed in exactly lose about 3 % here; the spectrum's peaks alone lost more than 75 %.
        EXPECT_LE(errors * 100, std::string(kNavtex).size() * 5) << text;
    }
}

const char kFrames[] = "N0CALL>APRS: automatic tuning at 300 bit/s\n"
                       "K1ABC>W2XYZ I NS=2 NR=3 P: second frame 0123456789\n";
const char kMonitor[] = "N0CALL>APRS <V2 UI C> :\nautomatic tuning at 300 bit/s\n"
                        "K1ABC>W2XYZ <V2 I C P S2 R3> :\nsecond frame 0123456789\n";

// The stock protocol tunes itself; its 200 Hz shift shows no peaks at the tones in the spectrum of a frame.
TEST(EndToEndTuning, StockPacket300FindsItsTones)
{
    TempDir dir;
    const std::string wav = dir.file("packet.wav");
    for (const char *offset : {"0", "-240", "310"}) {
        SCOPED_TRACE(offset);
        auto gen =
            generate(wav, kFrames,
                     {"--mode", "packet", "--baud", "300", "--space", "1800", "--mark", "1600", "--offset", offset});
        ASSERT_EQ(gen.status, 0) << gen.err;
        auto out = decode({"-q", "--protocol", "Packet Radio - 300bps", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, kMonitor);
    }
}

// Bell-103 tones (1070 and 1270 Hz) carrying 8-bit characters, made by another transmitter: the stock
// protocol's tuning with the 8-bit decoder reads them.
TEST(EndToEndTuning, StockPacket300TunesToBell103Tones)
{
    if (!Available("minimodem"))
        GTEST_SKIP() << "minimodem is needed as the transmitter";
    TempDir dir;
    const std::string wav = dir.file("bell103.wav");
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";
    auto tx = run("printf '%s\\n' " + quote(text) + " | minimodem --tx 300 -R 11025 -f " + quote(wav));
    ASSERT_EQ(tx.status, 0) << tx.err;
    auto out = decode({"-q", "--protocol", "Packet Radio - 300bps", "--mode", "ascii8", wav});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(Trimmed(out.out), text);
}

} // namespace
