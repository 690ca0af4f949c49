// WavOutput: a 16-bit mono PCM WAV file that appears only when complete. The audio goes to a temporary file
// beside the target, which is renamed over the target at the end; "-" as the target sends the finished file to
// standard output instead. A failed or abandoned output leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/wav_file.h"

namespace sirrel::siggen {

class WavOutput {
public:
    // Samples one WAV section can hold.
    static constexpr uint64_t kMaxSamples = WavFile::kMaxDataLength / 2;

    WavOutput() = default;
    WavOutput(const WavOutput &) = delete;
    WavOutput &operator=(const WavOutput &) = delete;
    // Removes the temporary file unless Commit() succeeded.
    ~WavOutput();

    bool Open(const std::string &target, uint32_t sampleRate);
    bool Write(const int16_t *samples, size_t count);
    // Completes the file and puts it in place (or on standard output).
    bool Commit();
    void Abandon();

    // The temporary file while one exists, else empty.
    const std::string &TemporaryPath() const { return temporary_; }
    // What failed, in one line, after a false result.
    const std::string &Error() const { return error_; }

private:
    // The output as messages name it.
    std::string Shown() const;
    bool Fail(const std::string &what, int error);
    bool CopyToStandardOutput();

    WavFile file_;
    std::string target_;
    std::string temporary_;
    std::string error_;
};

} // namespace sirrel::siggen
