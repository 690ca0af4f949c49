// Packet radio frames separated by short stretches of digital silence, as between the transmissions of a
// channel: every frame must come through the high-speed demodulator, not only the first.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>

#include "e2e_support.h"

namespace {

using e2e::decode;
using e2e::generate;
using e2e::TempDir;

constexpr uint32_t kRate = 11025;

// The samples of a 16-bit mono WAV file as sirrel-gen writes it (the data chunk, wherever it stands).
std::string Samples(const std::string &wav)
{
    const std::string file = e2e::readFile(wav);
    for (size_t at = 12; at + 8 <= file.size();) {
        uint32_t size = 0;
        std::memcpy(&size, file.data() + at + 4, 4);
        if (file.compare(at, 4, "data") == 0)
            return file.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

void WriteWav(const std::string &path, const std::string &samples)
{
    const auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += char((v >> (8 * i)) & 0xFF);
        return s;
    };
    const uint32_t size = uint32_t(samples.size());
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << le(36 + size, 4) << "WAVEfmt " << le(16, 4) << le(1, 2) << le(1, 2) << le(kRate, 4)
        << le(kRate * 2, 4) << le(2, 2) << le(16, 2) << "data" << le(size, 4) << samples;
}

// A 0.3 s preamble; each gap length here lost the second frame when the threshold followed the phase jumps of
// the silence.
TEST(EndToEndPacketPause, EveryFrameAfterASilentGapIsDecoded)
{
    TempDir dir;
    std::string frames[3];
    for (int k = 0; k < 3; ++k) {
        const std::string wav = dir.file("frame" + std::to_string(k) + ".wav");
        auto gen =
            generate(wav, "N0CALL>TEST: frame " + std::to_string(k + 1) + " after a pause",
                     {"--mode", "packet", "--baud", "1200", "--space", "2200", "--mark", "1200", "--lead", "0.3"});
        ASSERT_EQ(gen.status, 0) << gen.err;
        frames[k] = Samples(wav);
        ASSERT_FALSE(frames[k].empty());
    }
    const std::string expected = "N0CALL>TEST <V2 UI C> :\nframe 1 after a pause\n"
                                 "N0CALL>TEST <V2 UI C> :\nframe 2 after a pause\n"
                                 "N0CALL>TEST <V2 UI C> :\nframe 3 after a pause\n";
    for (double gapMs : {12.0, 17.0, 23.5, 34.5}) {
        const std::string silence(2 * size_t(gapMs * kRate / 1000.0), '\0');
        const std::string wav = dir.file("pause.wav");
        WriteWav(wav, frames[0] + silence + frames[1] + silence + frames[2]);
        auto out = decode({"--quiet", "--protocol", "Packet Radio - 1200bps", wav});
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, expected) << gapMs << " ms";
    }
}

} // namespace
