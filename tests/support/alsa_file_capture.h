// A capture device backed by a file, through ALSA's own "file" plug-in: its samples are read from the file
// (raw, in the format the stream asks for) over the "null" device, so that a recording reaches a program
// through libasound without any hardware. The device is defined in a configuration of its own, which
// ALSA_CONFIG_PATH adds to the system's.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace sirrel::testing {

inline constexpr char kFileCaptureDevice[] = "sirrel_file_capture";
inline constexpr char kFileCaptureName[] = "Sirrel file capture";

// The samples of a 16-bit WAV file's data chunk, or nothing when it has none.
inline std::vector<uint8_t> WavData(const std::string &wav)
{
    std::ifstream in(wav, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t(bytes[at + 7]) << 24;
        if (std::string(bytes.begin() + long(at), bytes.begin() + long(at) + 4) == "data") {
            const size_t end = std::min(bytes.size(), at + 8 + size);
            return std::vector<uint8_t>(bytes.begin() + long(at) + 8, bytes.begin() + long(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Writes `samples` to `raw` and the configuration defining the device to `config`; returns the value for
// ALSA_CONFIG_PATH.
inline std::string DefineFileCapture(const std::vector<uint8_t> &samples, const std::string &raw,
                                     const std::string &config)
{
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char *>(samples.data()), long(samples.size()));
    std::ofstream(config) << "pcm." << kFileCaptureDevice << " {\n"
                          << "  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
                          << "  infile \"" << raw << "\"\n  format \"raw\"\n"
                          << "  hint { show on description \"" << kFileCaptureName << "\" }\n}\n";
    return "/usr/share/alsa/alsa.conf:" + config;
}

// The device delivers as fast as it is read: a recording repeated `times` over, so that it still sounds when the
// program under test has settled. Returns the value for ALSA_CONFIG_PATH.
inline std::string DefineRepeatedCapture(const std::string &wav, int times, const std::string &raw,
                                         const std::string &config)
{
    const std::vector<uint8_t> once = WavData(wav);
    std::vector<uint8_t> repeated;
    for (int i = 0; i < times; ++i)
        repeated.insert(repeated.end(), once.begin(), once.end());
    return DefineFileCapture(repeated, raw, config);
}

} // namespace sirrel::testing
