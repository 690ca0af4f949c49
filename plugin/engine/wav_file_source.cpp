#include "engine/wav_file_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/wav_file.h"

namespace sirrel {

bool WavFileSource::Open(const std::string &path, std::string &error)
{
    if (FILE *probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "cannot read '" + path + "': it is a folder";
        return false;
    }
    {
        WavFile file;
        if (!file.OpenRead(path.c_str(), 0, true)) {
            error = "cannot open '" + path + "': " + std::strerror(file.OpenError());
            return false;
        }
        if (file.Kind() == WavFile::kNone) {
            error = "'" + path + "' is not a WAV file with PCM, A-law or µ-law audio";
            return false;
        }
        if (file.Channels() > 2) {
            error = "'" + path + "' has " + std::to_string(file.Channels()) +
                    " channels; only mono and stereo can be played";
            return false;
        }
    }
    if (!player_.SetWantedFormat({WavFile::kPcm, rate_, 16, 1}) || !player_.Open(path.c_str())) {
        error = "'" + path + "' cannot be converted to 16-bit mono at " + std::to_string(rate_) + " Hz";
        return false;
    }
    return true;
}

uint32_t WavFileSource::Read(int16_t *samples, uint32_t count)
{
    if (taken_ == block_.size()) {
        block_.resize(kBlockSamples);
        block_.resize(player_.Read(block_.data(), kBlockSamples * 2) / 2);
        taken_ = 0;
    }
    const uint32_t n = uint32_t(std::min<size_t>(count, block_.size() - taken_));
    std::copy_n(block_.begin() + ptrdiff_t(taken_), n, samples);
    taken_ += n;
    return n;
}

} // namespace sirrel
