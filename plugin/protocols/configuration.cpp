#include "protocols/configuration.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace sirrel {

namespace {

// Texts and their slot sizes.
constexpr size_t kNameSlot = 256;
constexpr size_t kFileSlot = 1024;

// Writes fields at their offsets into a zeroed block.
struct Writer {
    uint8_t *bytes;

    void operator()(size_t at, const int32_t &v) const { (*this)(at, uint32_t(v)); }
    void operator()(size_t at, const uint32_t &v) const
    {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    }
    void operator()(size_t at, const uint8_t &v) const { bytes[at] = v; }
    void operator()(size_t at, const double &v) const
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i)
            bytes[at + i] = uint8_t(bits >> (8 * i));
    }
    void operator()(size_t at, const std::string &text, size_t slot) const
    {
        std::memcpy(bytes + at, text.data(), std::min(text.size(), slot - 1));
    }
};

struct Reader {
    const uint8_t *bytes;

    void operator()(size_t at, int32_t &v) const
    {
        uint32_t u;
        (*this)(at, u);
        v = int32_t(u);
    }
    void operator()(size_t at, uint32_t &v) const
    {
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(bytes[at + i]) << (8 * i);
    }
    void operator()(size_t at, uint8_t &v) const { v = bytes[at]; }
    void operator()(size_t at, double &v) const
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= uint64_t(bytes[at + i]) << (8 * i);
        std::memcpy(&v, &bits, 8);
    }
    void operator()(size_t at, std::string &text, size_t slot) const
    {
        const uint8_t *begin = bytes + at;
        const uint8_t *end = std::find(begin, begin + slot, uint8_t(0));
        text.assign(reinterpret_cast<const char *>(begin), size_t(end - begin));
    }
};

// The block's layout, once for both directions.
template <class Block, class Field> void Layout(Block &c, const Field &f)
{
    f(0, c.windowLeft);
    f(4, c.windowTop);
    f(8, c.protocol, kNameSlot);
    f(264, c.mark);
    f(272, c.space);
    f(280, c.tuneAuto);
    f(284, c.demodulator);
    f(288, c.baudrate);
    f(296, c.inversionMask);
    f(300, c.polarity);
    f(304, c.translationTable, kNameSlot);
    f(560, c.mode);
    f(564, c.parity);
    f(568, c.arqCycleLength);
    f(572, c.arqCharsInCycle);
    f(576, c.arqInvertingRate);
    f(580, c.arqRepetitionCycle);
    f(584, c.arqCharset);
    f(588, c.packetCrcIgnore);
    f(592, c.fecCharsInCycle);
    f(596, c.fecInvertingRate);
    f(600, c.fecCharset);
    f(604, c.cisFrameSize);
    f(608, c.cisMinSync);
    f(612, c.cisMaxErrors);
    f(616, c.arqmChannels);
    f(620, c.arqmRepetitionCycle);
    f(624, c.arqmVersion);
    f(628, c.spectrumBar);
    f(632, c.spectrumLinear);
    f(636, c.waterfallInvert);
    f(640, c.spectrumGain);
    f(648, c.averaging);
    f(656, c.shiftIndex);
    f(660, c.baudAuto);
    f(664, c.statisticsLeft);
    f(668, c.statisticsTop);
    f(672, c.outputLeft);
    f(676, c.outputTop);
    for (size_t k = 0; k < kChannelCount; ++k) {
        f(680 + 4 * k, c.logEnabled[k]);
        f(696 + kFileSlot * k, c.logFile[k], kFileSlot);
    }
    for (size_t k = 0; k < kColourCount; ++k)
        f(4792 + 4 * k, c.colours[k]);
    f(4828, c.outputHeight);
    f(4832, c.tablesLeft);
    f(4836, c.tablesTop);
    f(5096, c.demodulatorLeft);
    f(5100, c.demodulatorTop);
    f(5104, c.scopeFreeRun);
    f(5112, c.scopeGain);
    f(5120, c.scopeEyePattern);
    f(5124, c.testPoint);
    f(5128, c.wavFile, kFileSlot);
    f(6152, c.outputWidth);
    f(6160, c.unshiftOnSpace);
    f(6164, c.fecCorrection);
    f(6168, c.weakSignal);
    f(6172, c.arqCorrection);
    f(6176, c.outputPage);
    f(6180, c.wavOptionsOff);
}

template <class Block, class Field> void SoundCardLayout(Block &s, const Field &f)
{
    f(0, s.waveIn, 32);
    f(32, s.waveOut, 32);
    f(64, s.mixerLine, 64);
    f(128, s.fourth, 32);
}

// Controls hold whole numbers in doubles; the block stores them truncated, kept within 32 bits.
int32_t WholeNumber(double value)
{
    if (!(value > -2147483648.0))
        return value != value ? 0 : INT32_MIN;
    if (value >= 2147483647.0)
        return INT32_MAX;
    return int32_t(value);
}

std::array<uint8_t, 4> KeyBytes(uint32_t key)
{
    return {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
}

} // namespace

std::array<uint8_t, Configuration::kSize> Configuration::ToBytes() const
{
    std::array<uint8_t, kSize> bytes{};
    Layout(*this, Writer{bytes.data()});
    return bytes;
}

Configuration Configuration::FromBytes(const uint8_t *bytes)
{
    Configuration c;
    Layout(c, Reader{bytes});
    return c;
}

void Configuration::ApplyTo(SettingsModel &s) const
{
    s.space = space;
    s.mark = mark;
    s.tuneAuto = tuneAuto != 0;
    s.SetRadioDemodulator(demodulator <= kDemodCorrelative ? DemodulatorChoice(demodulator) : kDemodPlain);
    s.baudrate = baudrate;
    s.baudAuto = baudAuto != 0;
    s.inversionMask = inversionMask;
    s.polarity = polarity;
    s.shiftIndex = shiftIndex;
    s.mode = mode;
    s.parityIndex = parity;
    s.arqCycleLength = arqCycleLength;
    s.arqCharsInCycle = arqCharsInCycle;
    s.arqInvertingRate = arqInvertingRate;
    s.arqRepetitionCycle = arqRepetitionCycle;
    s.arqCharsetIndex = arqCharset;
    s.packetCrcIgnore = packetCrcIgnore != 0;
    s.fecCharsInCycle = fecCharsInCycle;
    s.fecInvertingRate = fecInvertingRate;
    s.fecCharsetIndex = fecCharset;
    // A frame size that is none of the four selects no list entry.
    const auto size = std::find(std::begin(kCisFrameSizes), std::end(kCisFrameSizes), cisFrameSize);
    s.cisFrameSizeIndex = size == std::end(kCisFrameSizes) ? -1 : int32_t(size - std::begin(kCisFrameSizes));
    s.cisMinSyncFrames = cisMinSync;
    s.cisMaxErrors = cisMaxErrors;
    s.arqmChannelsIndex = arqmChannels == 1 ? 0 : arqmChannels == 4 ? 2 : 1;
    s.arqmRepetitionCycle = arqmRepetitionCycle;
    s.arqmVersionIndex = arqmVersion;
    s.unshiftOnSpace = unshiftOnSpace != 0;
    s.fecCorrection = fecCorrection != 0;
    s.weakSignal = weakSignal != 0;
    s.arqCorrection = arqCorrection != 0;
}

void Configuration::GatherFrom(const SettingsModel &s)
{
    space = s.space;
    mark = s.mark;
    tuneAuto = s.tuneAuto ? 1 : 0;
    demodulator = s.RadioDemodulator();
    baudrate = s.baudrate;
    baudAuto = s.baudAuto ? 1 : 0;
    inversionMask = s.inversionMask;
    polarity = s.polarity;
    shiftIndex = s.shiftIndex;
    translationTable = s.translationTableName;
    mode = s.mode;
    parity = s.parityIndex;
    arqCycleLength = WholeNumber(s.arqCycleLength);
    arqCharsInCycle = WholeNumber(s.arqCharsInCycle);
    arqInvertingRate = WholeNumber(s.arqInvertingRate);
    arqRepetitionCycle = WholeNumber(s.arqRepetitionCycle);
    arqCharset = s.arqCharsetIndex;
    packetCrcIgnore = s.packetCrcIgnore ? 1 : 0;
    fecCharsInCycle = WholeNumber(s.fecCharsInCycle);
    fecInvertingRate = WholeNumber(s.fecInvertingRate);
    fecCharset = s.fecCharsetIndex;
    cisFrameSize = s.cisFrameSizeIndex >= 0 && s.cisFrameSizeIndex < 4 ? kCisFrameSizes[s.cisFrameSizeIndex] : 0;
    cisMinSync = WholeNumber(s.cisMinSyncFrames);
    cisMaxErrors = WholeNumber(s.cisMaxErrors);
    arqmChannels = 1 << std::clamp(s.arqmChannelsIndex, 0, 2);
    arqmRepetitionCycle = WholeNumber(s.arqmRepetitionCycle);
    arqmVersion = s.arqmVersionIndex;
    unshiftOnSpace = s.unshiftOnSpace ? 1 : 0;
    fecCorrection = s.fecCorrection ? 1 : 0;
    weakSignal = s.weakSignal ? 1 : 0;
    arqCorrection = s.arqCorrection ? 1 : 0;
}

ChunkRead LoadConfiguration(const std::string &path, uint32_t receiverKey, int32_t windowLeft, int32_t windowTop,
                            Configuration &configuration)
{
    Configuration builtIn;
    builtIn.windowLeft = windowLeft;
    builtIn.windowTop = windowTop;
    std::array<uint8_t, Configuration::kSize> bytes = builtIn.ToBytes();
    const auto key = KeyBytes(receiverKey);
    const ChunkRead read = ReadChunk(path, bytes.data(), Configuration::kSize, key.data(), uint32_t(key.size()));
    configuration = Configuration::FromBytes(bytes.data());
    return read;
}

ChunkStatus SaveConfiguration(const std::string &path, uint32_t receiverKey, const Configuration &configuration,
                              std::chrono::milliseconds wait)
{
    const auto bytes = configuration.ToBytes();
    const auto key = KeyBytes(receiverKey);
    return WriteChunk(path, bytes.data(), Configuration::kSize, key.data(), uint32_t(key.size()), wait);
}

std::array<uint8_t, SoundCardConfiguration::kSize> SoundCardConfiguration::ToBytes() const
{
    std::array<uint8_t, kSize> bytes{};
    SoundCardLayout(*this, Writer{bytes.data()});
    return bytes;
}

SoundCardConfiguration SoundCardConfiguration::FromBytes(const uint8_t *bytes)
{
    SoundCardConfiguration s;
    SoundCardLayout(s, Reader{bytes});
    return s;
}

ChunkRead LoadSoundCard(const std::string &path, uint32_t receiverKey, SoundCardConfiguration &soundCard)
{
    std::array<uint8_t, SoundCardConfiguration::kSize> bytes{};
    const auto key = KeyBytes(receiverKey);
    const ChunkRead read =
        ReadChunk(path, bytes.data(), SoundCardConfiguration::kSize, key.data(), uint32_t(key.size()));
    soundCard = SoundCardConfiguration::FromBytes(bytes.data());
    if (soundCard.fourth.empty())
        soundCard.fourth = soundCard.waveIn;
    return read;
}

ChunkStatus SaveSoundCard(const std::string &path, uint32_t receiverKey, const SoundCardConfiguration &soundCard,
                          std::chrono::milliseconds wait)
{
    const auto bytes = soundCard.ToBytes();
    const auto key = KeyBytes(receiverKey);
    return WriteChunk(path, bytes.data(), SoundCardConfiguration::kSize, key.data(), uint32_t(key.size()), wait);
}

} // namespace sirrel
