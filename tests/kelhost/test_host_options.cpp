// kel-host's command line: what a receiver text means, and the refusals a user sees.
#include <gtest/gtest.h>

#include "host_options.h"

namespace {

using namespace sirrel;

TEST(KelHostOptions, ReceiverTextNamesKindSerialAndSource)
{
    const ReceiverArgument usb = ParseReceiver("qv-usb:12345678:dir/with:colon.wav");
    EXPECT_STREQ(usb.kind.model, "QvUSBv");
    EXPECT_EQ(usb.kind.blockRate, 44100u);
    EXPECT_EQ(usb.serial, 12345678u);
    EXPECT_EQ(usb.source, "dir/with:colon.wav");
    const ReceiverArgument ser = ParseReceiver("qv-ser:4294967295:-");
    EXPECT_STREQ(ser.kind.model, "QvSERv");
    EXPECT_EQ(ser.serial, 4294967295u);
    EXPECT_EQ(ser.source, "-");
    const ReceiverArgument card = ParseReceiver("kr-100:7:sound-card");
    EXPECT_STREQ(card.kind.model, "KR-100");
    EXPECT_EQ(card.source, "sound-card");
}

TEST(KelHostOptions, SettingsAndDefaults)
{
    HostOptions options;
    std::string error;
    ASSERT_TRUE(ParseHostOptions({"-r", "qv-usb:1:a.wav", "--receiver=qv-usb:2:-", "--input-rate", "48000",
                                  "--realtime", "--exit-at-end", "--plugin", "/p/libsirrel.so"},
                                 options, error))
        << error;
    ASSERT_EQ(options.receivers.size(), 2u);
    EXPECT_EQ(options.inputRate, 48000u);
    EXPECT_TRUE(options.realtime);
    EXPECT_TRUE(options.exitAtEnd);
    EXPECT_EQ(options.plugin, "/p/libsirrel.so");

    HostOptions plain;
    ASSERT_TRUE(ParseHostOptions({"-r", "qv-usb:1:-"}, plain, error)) << error;
    EXPECT_EQ(plain.inputRate, 44100u);
    EXPECT_FALSE(plain.realtime);
    EXPECT_FALSE(plain.exitAtEnd);
    EXPECT_TRUE(plain.plugin.empty());
}

TEST(KelHostOptions, RefusalsSayWhatIsWrong)
{
    const struct {
        std::vector<std::string> args;
        const char *message; // a part of the one-line reason
    } cases[] = {
        {{}, "no receiver"},
        {{"a.wav"}, "unexpected argument 'a.wav'"},
        {{"-r", "qv-pci:1:a.wav"}, "receiver kind of qv-usb, qv-ser, kr-100, not 'qv-pci'"},
        {{"-r", "kr-100:1:a.wav"}, "kr-100 has no DSP: its SOURCE is sound-card"},
        {{"-r", "qv-usb:1:sound-card"}, "qv-usb gets its audio from the host: its SOURCE is a WAV file or -"},
        {{"-r", "qv-usb:a.wav"}, "KIND:SERIAL:SOURCE"},
        {{"-r", "qv-usb:1:"}, "KIND:SERIAL:SOURCE"},
        {{"-r", "qv-usb:-1:a.wav"}, "SERIAL 0..4294967295"},
        {{"-r", "qv-usb:4294967296:a.wav"}, "SERIAL 0..4294967295"},
        {{"-r", "qv-usb:1:-", "-r", "qv-ser:2:-"}, "only one receiver can read stdin"},
        {{"-r", "qv-usb:7:a.wav", "-r", "qv-ser:7:b.wav"},
         "'qv-usb:7:a.wav' and 'qv-ser:7:b.wav' have the same serial"},
        {{"-r", "qv-usb:1:-", "--input-rate", "3999"}, "4000..192000"},
        {{"-r"}, "needs a value"},
        {{"--loop"}, "unknown option '--loop'"},
    };
    for (const auto &c : cases) {
        HostOptions options;
        std::string error;
        EXPECT_FALSE(ParseHostOptions(c.args, options, error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

} // namespace
