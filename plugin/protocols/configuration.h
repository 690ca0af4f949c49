// The per-receiver stored state: the configuration block of a decoder window ("Sirrel_Config.dat"), 6160
// bytes and the added choices after them, and the 160-byte sound-card block ("SoundCard_Config.dat"), each
// one chunk under the receiver key.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocols/chunk_file.h"
#include "protocols/settings_model.h"

namespace sirrel {

// Colours, 0x00BBGGRR, in the order of the "Decoder Colors" dialog.
enum ColourIndex : int {
    kColourBackground,
    kColourText,
    kColourCrcOk,
    kColourCrcFailed,
    kColourFrameType,
    kColourFramePid,
    kColourL3Header,
    kColourL4Header,
    kColourInfo,
    kColourCount,
};

struct Configuration {
    // A block of the first 6160, 6168, 6172 or 6176 bytes, as older versions wrote it, reads with the added
    // choices off.
    static constexpr uint32_t kSize = 6184;

    int32_t windowLeft = 0; // the window's position at start-up
    int32_t windowTop = 0;
    std::string protocol; // the protocol list's text
    double mark = 1200.0;
    double space = 2200.0;
    int32_t tuneAuto = 1;
    uint8_t demodulator = kDemodPlain;
    double baudrate = 50.0;
    int32_t inversionMask = 0;
    int32_t polarity = 1; // "Auto", "Normal", "Reversed"
    std::string translationTable;
    int32_t mode = kModePacket;
    int32_t parity = 0;
    int32_t arqCycleLength = 45;
    int32_t arqCharsInCycle = 3;
    int32_t arqInvertingRate = 0;
    int32_t arqRepetitionCycle = 1;
    int32_t arqCharset = 0;
    int32_t packetCrcIgnore = 0;
    int32_t fecCharsInCycle = 3;
    int32_t fecInvertingRate = 0;
    int32_t fecCharset = 0;
    int32_t cisFrameSize = 11; // bits: 11, 14, 27 or 28
    int32_t cisMinSync = 15;
    int32_t cisMaxErrors = 20;
    int32_t arqmChannels = 2; // 1, 2 or 4
    int32_t arqmRepetitionCycle = 4;
    int32_t arqmVersion = 0;
    int32_t spectrumBar = 0;
    int32_t spectrumLinear = 0;
    int32_t waterfallInvert = 0;
    double spectrumGain = 1.0;
    double averaging = 1.0;
    int32_t shiftIndex = 0;
    int32_t baudAuto = 1;
    int32_t statisticsLeft = 0;
    int32_t statisticsTop = 0;
    int32_t outputLeft = 0;
    int32_t outputTop = 0;
    std::array<int32_t, kChannelCount> logEnabled{};
    std::array<std::string, kChannelCount> logFile{"Sirrel.log", "Sirrel.log", "Sirrel.log", "Sirrel.log"};
    std::array<uint32_t, kColourCount> colours{0x000000, 0xFFFFFF, 0x00FF00, 0x0000FF, 0x00FFFF,
                                               0x00FF00, 0xFFFF00, 0xFFFF00, 0xFFFFFF};
    int32_t outputHeight = 364;
    int32_t tablesLeft = 0;
    int32_t tablesTop = 0;
    int32_t demodulatorLeft = 0;
    int32_t demodulatorTop = 0;
    int32_t scopeFreeRun = 0;
    double scopeGain = 1.0;
    int32_t scopeEyePattern = 0;
    int32_t testPoint = 0;
    std::string wavFile;
    int32_t outputWidth = 685;
    int32_t unshiftOnSpace = 0;
    int32_t fecCorrection = 0;
    int32_t weakSignal = 0; // the weak-signal demodulator runs instead of the radios' choice
    int32_t arqCorrection = 0;
    int32_t outputPage = 0; // the "Data Output" window's page on show, 0 "Channel 1"
    // The WAV panel's "Play enabled" (bit 0) and "Record enabled" (bit 1) switched off; older blocks have both on.
    int32_t wavOptionsOff = 0;

    // Reserved bytes are written as 0; texts are cut to their slot less the NUL.
    std::array<uint8_t, kSize> ToBytes() const;
    // Exactly kSize bytes; a text without its NUL ends at the end of its slot.
    static Configuration FromBytes(const uint8_t *bytes);

    // The decoder controls of the block go into the model and back. The translation table is chosen by name
    // through the tables (it brings its codes), so it is left to the caller.
    void ApplyTo(SettingsModel &settings) const;
    void GatherFrom(const SettingsModel &settings);
};

// Starts from the built-in block with the window's position and reads the receiver's chunk over it: a short
// chunk replaces only the leading fields it covers. Any failure leaves the built-in values in force.
ChunkRead LoadConfiguration(const std::string &path, uint32_t receiverKey, int32_t windowLeft, int32_t windowTop,
                            Configuration &configuration);
ChunkStatus SaveConfiguration(const std::string &path, uint32_t receiverKey, const Configuration &configuration,
                              std::chrono::milliseconds wait = kChunkWriteWait);

struct SoundCardConfiguration {
    static constexpr uint32_t kSize = 160;

    std::string waveIn;    // bytes 0..31
    std::string waveOut;   // 32..63
    std::string mixerLine; // 64..127
    std::string fourth;    // 128..159

    std::array<uint8_t, kSize> ToBytes() const;
    static SoundCardConfiguration FromBytes(const uint8_t *bytes);
};

// Reads the receiver's chunk (all names empty without one); an empty fourth name then takes the first.
ChunkRead LoadSoundCard(const std::string &path, uint32_t receiverKey, SoundCardConfiguration &soundCard);
ChunkStatus SaveSoundCard(const std::string &path, uint32_t receiverKey, const SoundCardConfiguration &soundCard,
                          std::chrono::milliseconds wait = kChunkWriteWait);

} // namespace sirrel
