#include "output/log_file.h"

#include "output/exclusion_hold.h"

namespace sirrel {

namespace {

// Views keep lines of 80 characters; longer ones take a block of their own.
constexpr uint32_t kLineRoom = 256;

} // namespace

LogFile::LogFile() { OruThreadExclusion_Construct(&lock_); }

LogFile::~LogFile()
{
    Close();
    OruThreadExclusion_Destruct(&lock_, 0);
}

bool LogFile::Open(const char *path)
{
    ExclusionHold hold(lock_);
    if (stream_)
        std::fclose(stream_);
    stream_ = path ? std::fopen(path, "a") : nullptr;
    return stream_ != nullptr;
}

void LogFile::Close()
{
    ExclusionHold hold(lock_);
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
}

bool LogFile::IsOpen()
{
    ExclusionHold hold(lock_);
    return stream_ != nullptr;
}

bool LogFile::WriteCharacter(uint8_t character)
{
    if (character == '\n')
        return true;
    const char byte = character == '\r' ? '\n' : char(character);
    return Put(&byte, 1);
}

bool LogFile::WriteLine(const char *characters, uint32_t count)
{
    if (!characters)
        count = 0;
    char room[kLineRoom];
    char *line = room;
    if (count >= kLineRoom)
        line = count < UINT32_MAX ? static_cast<char *>(MemoryAlloc(count + 1)) : nullptr;
    if (!line) {
        Close();
        return false;
    }
    MemoryCopy(line, characters, count);
    line[count] = '\n';
    bool written = Put(line, count + 1);
    if (line != room)
        MemoryFree(line);
    return written;
}

// Each piece goes out at once, so that a full disk is noticed at the character that did not fit and the
// file holds everything shown up to then.
bool LogFile::Put(const char *bytes, uint32_t count)
{
    ExclusionHold hold(lock_);
    if (!stream_)
        return true;
    if (std::fseek(stream_, 0, SEEK_END) == 0 && std::fwrite(bytes, 1, count, stream_) == count &&
        std::fflush(stream_) == 0)
        return true;
    std::fclose(stream_);
    stream_ = nullptr;
    return false;
}

} // namespace sirrel
