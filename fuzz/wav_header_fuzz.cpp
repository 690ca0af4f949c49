// Feeds arbitrary bytes to the WAV header parser as a file: open, walk every section, read, seek and write.
// Any crash, sanitizer report or broken invariant is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "audio/wav_file.h"

namespace {

using namespace sirrel;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Exercise(const char *path, uint32_t bufferSize)
{
    WavFile file;
    Check(file.OpenRead(path, bufferSize));
    uint8_t buffer[96];
    for (int section = 0; section < 64; ++section) {
        if (file.Kind() != WavFile::kNone) {
            Check(file.Bits() == 8 || file.Bits() == 16);
            Check(file.Channels() >= 1 && file.Rate() >= 1);
            Check(file.DataLength() <= file.Size());
            const uint32_t got = file.ReadData(buffer, sizeof buffer);
            Check(got <= sizeof buffer && got % file.FrameBytes() == 0);
            file.SeekData(-static_cast<int64_t>(got) / 2);
            if (file.FrameBytes() <= sizeof buffer)
                file.WriteData(buffer, file.FrameBytes());
            Check(file.DataPosition() <= file.DataLength());
        } else {
            Check(file.ReadData(buffer, sizeof buffer) == 0);
        }
        if (!file.NextSection())
            break;
    }
    file.Close();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One in-memory file per process, rewritten for every input (the parser may repair it).
    static int handle = memfd_create("wav", 0);
    static char path[64];
    if (handle < 0)
        return 0;
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", handle);
    for (uint32_t bufferSize : {0u, 64u}) {
        if (ftruncate(handle, 0) != 0 || pwrite(handle, data, size, 0) != static_cast<ssize_t>(size))
            return 0;
        Exercise(path, bufferSize);
    }
    return 0;
}
