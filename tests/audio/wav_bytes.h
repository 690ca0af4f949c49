// Builds WAV file images byte by byte for the audio tests, and reads and writes them in a temporary folder.
#ifndef SIRREL_TESTS_AUDIO_WAV_BYTES_H
#define SIRREL_TESTS_AUDIO_WAV_BYTES_H

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;

inline void Append16(Bytes &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Append32(Bytes &b, uint32_t v)
{
    Append16(b, v);
    Append16(b, v >> 16);
}

inline void AppendTag(Bytes &b, const char *tag)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(tag[i]));
}

inline uint32_t Word32(const Bytes &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// One WAVE section: "WAVE", the format chunk, any chunks before the data, "data", its length field and data.
struct Section {
    uint32_t formatLength = 16;
    uint16_t tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 8000;
    uint16_t blockAlignment = 2;
    uint16_t bits = 16;
    Bytes chunksBeforeData;
    std::optional<uint32_t> dataLengthField; // the data size when unset
    Bytes data;

    Bytes Build() const
    {
        Bytes b;
        AppendTag(b, "WAVE");
        AppendTag(b, "fmt ");
        Append32(b, formatLength);
        Bytes format;
        Append16(format, tag);
        Append16(format, channels);
        Append32(format, rate);
        Append32(format, rate * blockAlignment);
        Append16(format, blockAlignment);
        Append16(format, bits);
        Append16(format, 0);
        format.resize(formatLength, 0);
        b.insert(b.end(), format.begin(), format.end());
        b.insert(b.end(), chunksBeforeData.begin(), chunksBeforeData.end());
        AppendTag(b, "data");
        Append32(b, dataLengthField.value_or(static_cast<uint32_t>(data.size())));
        b.insert(b.end(), data.begin(), data.end());
        return b;
    }
};

// "RIFF", its size (the right one when unset) and the sections.
inline Bytes Riff(const std::vector<Section> &sections, std::optional<uint32_t> riffSize = {})
{
    Bytes body;
    for (const Section &s : sections) {
        Bytes b = s.Build();
        body.insert(body.end(), b.begin(), b.end());
    }
    Bytes b;
    AppendTag(b, "RIFF");
    Append32(b, riffSize.value_or(static_cast<uint32_t>(body.size())));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

inline Bytes Ramp(size_t count, uint8_t start = 0)
{
    Bytes b(count);
    for (size_t i = 0; i < count; ++i)
        b[i] = static_cast<uint8_t>(start + i);
    return b;
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/wavtest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string &name) const { return folder_ + "/" + name; }

    std::string Store(const std::string &name, const Bytes &bytes) const
    {
        std::string path = Path(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static Bytes Load(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::string folder_;
};

#endif
