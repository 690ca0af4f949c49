// The engine between its audio source and its output: frame intake in any block size, the source's rate rule,
// the end of the audio, and the thread rule for settings (edits run on the frame thread, views read what it
// publishes).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/decoder_engine.h"
#include "protocols/protocol_record.h"
#include "siggen/async_source.h"
#include "siggen/generator.h"

namespace {

using namespace sirrel;

constexpr uint32_t kRate = 11025;
const std::string kText = "THE ENGINE DECODES WHATEVER THE SOURCE BRINGS 0123456789\r\n";

// 8-bit text at 100 Bd on 1000/1170 Hz.
std::vector<int16_t> Transmission(const std::string &text)
{
    siggen::GeneratorSettings g;
    g.sampleRate = kRate;
    g.baud = 100;
    g.space = 1000;
    g.mark = 1170;
    siggen::AsyncSource source(siggen::AsyncSource::Code::kAscii8, siggen::Parity::kNone, 1);
    siggen::Keying keying;
    source.Encode(text, keying);
    return siggen::Generator(g).Render(keying, source.IdleLevel());
}

// Teleprinter text with 1.5 stop bits.
std::vector<int16_t> Ita2Signal(const std::string &text, double baud, double space, double mark, double lead,
                                double trail)
{
    siggen::GeneratorSettings g;
    g.sampleRate = kRate;
    g.baud = baud;
    g.space = space;
    g.mark = mark;
    g.leadSeconds = lead;
    g.trailSeconds = trail;
    siggen::AsyncSource source(siggen::AsyncSource::Code::kIta2, siggen::Parity::kNone, 1.5);
    siggen::Keying keying;
    source.Encode(text, keying);
    return siggen::Generator(g).Render(keying, source.IdleLevel());
}

SettingsModel ManualAscii()
{
    SettingsModel s;
    s.mode = kModeAscii8;
    s.tuneAuto = false;
    s.space = 1000;
    s.mark = 1170;
    s.baudAuto = false;
    s.baudrate = 100;
    return s;
}

// A push source with a rate rule of its own, or a pull source over a buffer.
class FakeSource : public AudioSource {
public:
    explicit FakeSource(uint32_t rate, std::vector<int16_t> audio = {}) : rate_(rate), audio_(std::move(audio)) {}
    uint32_t StartRate() const override { return rate_; }
    uint32_t ProcessingRateFor(uint32_t rate) const override { return rate > 22050 ? rate / 4 : rate; }
    uint32_t Read(int16_t *samples, uint32_t count) override
    {
        const uint32_t n = std::min<uint32_t>(count, uint32_t(audio_.size() - at_));
        std::copy(audio_.begin() + long(at_), audio_.begin() + long(at_ + n), samples);
        at_ += n;
        return n;
    }

private:
    uint32_t rate_;
    std::vector<int16_t> audio_;
    size_t at_ = 0;
};

struct Collector {
    std::string text;
    void Listen(DataOutputWindow &window)
    {
        window.SetCharacterListener([this](int32_t, uint8_t character, uint32_t) { text += char(character); });
    }
};

std::string DecodeInBlocks(const std::vector<int16_t> &audio, size_t block)
{
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    Collector out;
    out.Listen(engine.Output());
    for (size_t at = 0; at < audio.size(); at += block)
        engine.Deliver(audio.data() + at, uint32_t(std::min(block, audio.size() - at)));
    engine.FlushFrame();
    engine.Finish();
    return out.text;
}

TEST(DecoderEngine, TheTextDoesNotDependOnTheBlockSize)
{
    const auto audio = Transmission(kText);
    const std::string whole = DecodeInBlocks(audio, audio.size());
    EXPECT_EQ(whole, kText);
    for (size_t block : {1u, 7u, 2047u, 2049u, 5000u})
        EXPECT_EQ(DecodeInBlocks(audio, block), whole) << block;
}

// Without a window the chain leaves out what only the displays show; the spectrum stays while automatic tuning
// reads it. Every demodulator, on a noisy signal away from the typed tones where the tuning is automatic.
TEST(DecoderEngine, TheTextDoesNotDependOnTheDisplays)
{
    std::vector<int16_t> audio = Transmission(kText + kText);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 2500.0);
    for (int16_t &v : audio)
        v = int16_t(std::clamp(v + std::lround(noise(random)), -32768L, 32767L));
    for (const bool autoTuning : {true, false}) {
        for (const DemodulatorChoice demod :
             {kDemodPlain, kDemodHighSpeed, kDemodOptimal, kDemodCorrelative, kDemodWeakSignal}) {
            SCOPED_TRACE(testing::Message() << "auto tuning " << autoTuning << ", demodulator " << demod);
            SettingsModel settings = ManualAscii();
            settings.SetDemodulator(demod);
            if (autoTuning) {
                settings.tuneAuto = true;
                settings.space = 2200;
                settings.mark = 1200;
            }
            std::string texts[2];
            for (const bool shown : {true, false}) {
                FakeSource source(kRate);
                DecoderEngine engine(source, settings);
                engine.Chain().SetDisplaysShown(shown);
                Collector out;
                out.Listen(engine.Output());
                engine.Deliver(audio.data(), uint32_t(audio.size()));
                engine.EndOfInput();
                texts[shown] = out.text;
            }
            EXPECT_GT(texts[1].size(), kText.size());
            EXPECT_EQ(texts[0], texts[1]);
        }
    }
}

TEST(DecoderEngine, PumpReadsAPullSourceToItsEnd)
{
    const auto audio = Transmission(kText);
    FakeSource source(kRate, audio);
    DecoderEngine engine(source, ManualAscii());
    Collector out;
    out.Listen(engine.Output());
    std::vector<uint64_t> reports;
    engine.Pump([&](uint64_t samples) { reports.push_back(samples); });
    EXPECT_EQ(out.text, kText);
    // Every full frame, then the partial one at the end.
    EXPECT_EQ(engine.FramesProcessed(), (audio.size() + 2047) / 2048);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), audio.size());
    EXPECT_EQ(engine.FillCount(), 0u);
}

struct EndCase {
    siggen::AsyncSource::Code code;
    int32_t mode;
    double baud;
    double stopBits;
    double trailSeconds;
};

// A transmission that stops right after its last stop bit still has that character inside the chain's filters
// when the file ends; the end of the input carries it out, and a trail of idle line makes no character.
TEST(DecoderEngine, TheEndOfTheInputDeliversTheLastCharacters)
{
    const std::string text = "CQ CQ DE TEST 1234";
    const EndCase cases[] = {
        {siggen::AsyncSource::Code::kAscii8, kModeAscii8, 300, 1, 0.0},
        {siggen::AsyncSource::Code::kAscii8, kModeAscii8, 300, 1, 0.5},
        {siggen::AsyncSource::Code::kAscii8, kModeAscii8, 100, 1, 0.0},
        {siggen::AsyncSource::Code::kIta2, kModeIta2, 300, 1, 0.0},
        {siggen::AsyncSource::Code::kIta2, kModeIta2, 45.45, 1.5, 0.0},
        {siggen::AsyncSource::Code::kIta2, kModeIta2, 45.45, 1.5, 0.5},
    };
    for (const EndCase &c : cases) {
        siggen::GeneratorSettings g;
        g.sampleRate = kRate;
        g.baud = c.baud;
        g.space = 1000;
        g.mark = 1850;
        g.trailSeconds = c.trailSeconds;
        siggen::AsyncSource async(c.code, siggen::Parity::kNone, c.stopBits);
        siggen::Keying keying;
        async.Encode(text, keying);
        FakeSource source(kRate, siggen::Generator(g).Render(keying, async.IdleLevel()));
        SettingsModel s = ManualAscii();
        s.mode = c.mode;
        s.space = 1000;
        s.mark = 1850;
        s.baudrate = c.baud;
        DecoderEngine engine(source, s);
        Collector out;
        out.Listen(engine.Output());
        engine.Pump();
        EXPECT_EQ(out.text, text) << c.baud << " Bd, " << c.trailSeconds << " s trail";
    }
}

// A teleprinter sending the same text twice, with a pause between, into one live engine: each demodulator (the
// weak-signal one with its own framing too), with the bit rate given or measured, gives both texts whole before
// the audio ends, as the plug-in shows them.
TEST(DecoderEngine, ATransmissionThatFollowsLeavesThePreviousOneWhole)
{
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";
    std::vector<int16_t> audio = Ita2Signal(text, 50, 1000, 1170, 0.2, 0.4);
    audio.insert(audio.end(), audio.begin(), audio.end());

    for (DemodulatorChoice demod : {kDemodPlain, kDemodHighSpeed, kDemodOptimal, kDemodCorrelative, kDemodWeakSignal}) {
        for (bool baudAuto : {false, true}) {
            SettingsModel s = ManualAscii();
            s.mode = kModeIta2;
            s.baudrate = 50;
            s.baudAuto = baudAuto;
            s.SetDemodulator(demod);
            FakeSource source(kRate);
            DecoderEngine engine(source, s);
            Collector out;
            out.Listen(engine.Output());
            for (size_t at = 0; at < audio.size(); at += 1024)
                engine.Deliver(audio.data() + at, uint32_t(std::min<size_t>(1024, audio.size() - at)));
            EXPECT_EQ(out.text, text + text) << "demodulator " << int(demod) << (baudAuto ? ", automatic" : ", manual");
        }
    }
}

// A receiver hears noise between transmissions. The stock "Baudot" protocol (automatic tones and bit rate)
// measured the noise's transitions, with filters set for the rate the noise gave (or that the protocol chosen
// before it had, such as 1200-bit/s packet), and kept measuring them long after a teleprinter signal began:
// its text came out as garbage. Each protocol is in force during the noise, then "Baudot" is chosen; the first
// word may go while the bit rate settles on the new signal.
TEST(DecoderEngine, NoiseBeforeATransmissionDoesNotHoldTheBitRate)
{
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 THE QUICK BROWN FOX JUMPS OVER";
    const std::vector<int16_t> signal = Ita2Signal(text, 45.45, 1275, 1445, 1, 1);
    std::mt19937 random(1);
    std::normal_distribution<double> gauss(0, 300);
    std::vector<int16_t> noise(kRate * 4);
    for (int16_t &sample : noise)
        sample = int16_t(gauss(random));

    for (const char *before : {"Packet Radio - 1200bps", "CIS-11", "Baudot"}) {
        SettingsModel s;
        FindDefaultProtocol(before)->ApplyTo(s);
        FakeSource source(kRate);
        DecoderEngine engine(source, s);
        Collector out;
        out.Listen(engine.Output());
        for (size_t at = 0; at < noise.size(); at += 1024)
            engine.Deliver(noise.data() + at, uint32_t(std::min<size_t>(1024, noise.size() - at)));
        engine.Post([](EngineEdit &edit) { FindDefaultProtocol("Baudot")->ApplyTo(edit.settings); });
        for (size_t at = 0; at + 1024 <= signal.size(); at += 1024)
            engine.Deliver(signal.data() + at, 1024);
        EXPECT_NE(out.text.find(text.substr(4)), std::string::npos) << before << ": " << out.text;
        EXPECT_NEAR(engine.Published().baudrate, 45.45, 1.0) << before;
    }
}

// Live audio never ends by itself: finishing the decoders puts no audio of its own through the chain.
TEST(DecoderEngine, FinishingLiveAudioFeedsNothing)
{
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    const auto audio = Transmission(kText);
    engine.Deliver(audio.data(), 3000);
    const uint32_t fill = engine.FillCount();
    engine.Finish();
    EXPECT_EQ(engine.FillCount(), fill);
    EXPECT_EQ(engine.FramesProcessed(), 1u);
}

TEST(DecoderEngine, DecimationKeepsEveryStepFromTheFirstSampleOfEachBlock)
{
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    std::vector<int16_t> block(10);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = int16_t(i);
    engine.Deliver(block.data(), 10, 4);
    engine.Deliver(block.data(), 3, 4);
    ASSERT_EQ(engine.FillCount(), 4u);
    EXPECT_EQ(engine.FrameBuffer()[0], 0);
    EXPECT_EQ(engine.FrameBuffer()[1], 4);
    EXPECT_EQ(engine.FrameBuffer()[2], 8);
    EXPECT_EQ(engine.FrameBuffer()[3], 0);
    engine.Deliver(nullptr, 100);
    EXPECT_EQ(engine.FillCount(), 4u);
}

TEST(DecoderEngine, TheSourceDecidesTheProcessingRate)
{
    FakeSource source(44100);
    DecoderEngine engine(source, SettingsModel{});
    EXPECT_EQ(engine.ProcessingRate(), 11025u);
    engine.SetDeliveredRate(48000, false);
    EXPECT_EQ(engine.ProcessingRate(), 12000u);
    EXPECT_EQ(engine.Chain().ProcessingRate(), 12000u);
    engine.SetDeliveredRate(8000, false);
    EXPECT_EQ(engine.ProcessingRate(), 8000u);
    engine.SetDeliveredRate(0, true);
    EXPECT_EQ(engine.ProcessingRate(), 8000u);
}

TEST(DecoderEngine, AnIdleEngineTakesAnEditAtOnceAndPublishesIt)
{
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    const uint64_t tones = engine.Changes().tones.load();
    const uint64_t baud = engine.Changes().baudrate.load();
    engine.Post([](EngineEdit &e) {
        e.settings.shiftIndex = 3;
        e.tuning.SpaceEdited(1200);
    });
    const SettingsModel published = engine.Published();
    EXPECT_EQ(published.space, 1200.0);
    EXPECT_EQ(published.mark, 2050.0);
    EXPECT_EQ(engine.Changes().tones.load(), tones + 1);
    EXPECT_EQ(engine.Changes().baudrate.load(), baud);

    // An edit that changes nothing publishes nothing.
    const uint64_t settings = engine.Changes().settings.load();
    engine.Post([](EngineEdit &e) { e.settings.mark = 2050.0; });
    EXPECT_EQ(engine.Changes().settings.load(), settings);
}

TEST(DecoderEngine, AnEditPostedDuringAFrameWaitsForTheNextFrame)
{
    const auto audio = Transmission(kText);
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    bool posted = false;
    int pausedSeenAfterPost = -1;
    engine.Output().SetCharacterListener([&](int32_t, uint8_t, uint32_t) {
        if (posted)
            return;
        posted = true;
        engine.Post([](EngineEdit &e) { e.settings.paused = true; });
        // Still this frame: the settings it reads have not moved.
        pausedSeenAfterPost = engine.Settings().paused ? 1 : 0;
    });
    engine.Deliver(audio.data(), uint32_t(audio.size()));
    ASSERT_TRUE(posted);
    EXPECT_EQ(pausedSeenAfterPost, 0);
    EXPECT_TRUE(engine.Settings().paused);
    EXPECT_TRUE(engine.Published().paused);
}

TEST(DecoderEngine, AnEditPostedFromAnEditRunsAfterIt)
{
    FakeSource source(kRate);
    DecoderEngine engine(source, ManualAscii());
    engine.Post([&engine](EngineEdit &e) {
        e.settings.mode = kModeIta2;
        engine.Post([](EngineEdit &inner) { inner.settings.mode = kModeIra; });
    });
    EXPECT_EQ(engine.Published().mode, kModeIta2);
    engine.ApplyPendingEdits();
    EXPECT_EQ(engine.Published().mode, kModeIra);
}

TEST(DecoderEngine, AutomaticTuningIsPublishedWithItsCounter)
{
    const auto audio = Transmission(kText);
    FakeSource source(kRate);
    SettingsModel s = ManualAscii();
    s.tuneAuto = true;
    DecoderEngine engine(source, s);
    const uint64_t tones = engine.Changes().tones.load();
    const uint64_t text = engine.Changes().text.load();
    // Up to the middle of the text: the idle trail has one tone only.
    engine.Deliver(audio.data(), uint32_t(audio.size() / 2));
    const SettingsModel published = engine.Published();
    EXPECT_NEAR(published.space, 1000.0, 25.0);
    EXPECT_NEAR(published.mark, 1170.0, 25.0);
    EXPECT_GT(engine.Changes().tones.load(), tones);
    EXPECT_GT(engine.Changes().text.load(), text);
}

// Frames run on one thread while another edits and reads: the sanitizer build must find no race, and the
// last edit must stand once the frames stop.
TEST(DecoderEngine, EditsFromAnotherThreadWhileFramesRun)
{
    const auto audio = Transmission(kText + kText);
    FakeSource source(kRate);
    SettingsModel s = ManualAscii();
    s.tuneAuto = true;
    s.baudAuto = true;
    DecoderEngine engine(source, s);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread frames([&] {
        while (!stop.load()) {
            for (size_t at = 0; at < audio.size() && !stop.load(); at += 1000) {
                engine.Deliver(audio.data() + at, uint32_t(std::min<size_t>(1000, audio.size() - at)));
                blocks.fetch_add(1);
            }
        }
    });
    uint64_t seen = 0;
    for (int i = 0; i < 400 || blocks.load() < 200; ++i) {
        engine.Post([i](EngineEdit &e) {
            e.settings.shiftIndex = i % 4;
            e.tuning.ShiftChanged();
            e.tuning.SpaceEdited(900 + i);
            e.tuning.BaudrateEdited(50 + i % 50);
            e.settings.mode = i % 2 ? kModeAscii8 : kModeIta2;
            e.settings.tuneAuto = i % 3 != 0;
        });
        const SettingsModel view = engine.Published();
        EXPECT_GE(view.space, 1.0);
        seen += engine.Changes().settings.load();
        if (i % 50 == 0)
            std::this_thread::yield();
    }
    engine.Post([](EngineEdit &e) {
        e.settings.tuneAuto = false;
        e.tuning.SpaceEdited(1275);
        e.settings.mode = kModeIta2;
    });
    stop.store(true);
    frames.join();
    engine.ApplyPendingEdits();
    const SettingsModel last = engine.Published();
    EXPECT_EQ(last.space, 1275.0);
    EXPECT_EQ(last.mode, kModeIta2);
    EXPECT_GT(seen, 0u);
}

} // namespace
