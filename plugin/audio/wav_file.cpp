#include "audio/wav_file.h"

namespace sirrel {

namespace {

// Chunk tags as little-endian 32-bit words.
constexpr uint32_t kTagRiff = 0x46464952; // "RIFF"
constexpr uint32_t kTagWave = 0x45564157; // "WAVE"
constexpr uint32_t kTagFmt = 0x20746D66;  // "fmt "
constexpr uint32_t kTagData = 0x61746164; // "data"

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagALaw = 6;
constexpr uint16_t kTagMuLaw = 7;

constexpr uint32_t kFormatLength = 18;
constexpr uint32_t kOldFormatLength = 14;
// "WAVE", "fmt ", its length, the format chunk, "data" and its length.
constexpr uint32_t kSectionHeaderLength = 4 + 8 + kFormatLength + 8;

uint16_t Get16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

uint32_t Get32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

uint8_t *Put16(uint8_t *p, uint32_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    return p + 2;
}

uint8_t *Put32(uint8_t *p, uint32_t value) { return Put16(Put16(p, value), value >> 16); }

} // namespace

WavFile::~WavFile() { WavFile::Close(); }

void WavFile::Reset()
{
    sectionStart_ = 8;
    formatLength_ = 0;
    format_ = Format{};
    dataTagOffset_ = 0;
    dataLength_ = 0;
    position_ = 0;
    kind_ = kNone;
    bits_ = channels_ = rate_ = 0;
    dirty_ = false;
    validRiff_ = false;
    keepRiffSize_ = false;
    riffSize_ = 0;
}

bool WavFile::OpenRead(const char *path, uint32_t bufferSize, bool readOnly)
{
    Close();
    // A read-only file, a read-only medium or a file of another user still plays; repairs then stay in memory.
    if ((readOnly || !AsyncFile::Open(path, false, bufferSize)) && !AsyncFile::OpenReadOnly(path, bufferSize))
        return false;
    const bool wave = ReadRiffHeader();
    sectionStart_ = 8;
    if (wave)
        ParseHeader();
    // The RIFF size of a file that turns out not to be a WAV file is left alone.
    keepRiffSize_ = kind_ != kNone;
    UpdateRiffSize();
    return true;
}

bool WavFile::OpenWrite(const char *path, uint32_t bufferSize)
{
    Close();
    if (!AsyncFile::Open(path, true, bufferSize))
        return false;
    if (Size() > 0) {
        // Walk (and repair) the sections already there, so that a section written after them is reachable.
        bool usable = ReadRiffHeader() && ParseHeader() != 0;
        while (usable && NextSection()) {}
        if (!usable || sectionStart_ != Size()) {
            AsyncFile::Close();
            Reset();
            return false;
        }
    }
    uint8_t head[8];
    Put32(Put32(head, kTagRiff), 0);
    SetWritePosition(0, kFromStart);
    if (Write(head, sizeof head) != sizeof head) {
        AsyncFile::Close();
        Reset();
        return false;
    }
    Reset();
    validRiff_ = true;
    keepRiffSize_ = true;
    sectionStart_ = WritePosition();
    return true;
}

void WavFile::Close()
{
    if (IsOpen()) {
        Flush();
        AsyncFile::Close();
    }
    Reset();
}

bool WavFile::Flush()
{
    if (!IsOpen())
        return false;
    if (dirty_)
        Repair();
    return UpdateRiffSize();
}

bool WavFile::ReadRiffHeader()
{
    uint8_t head[12];
    SetReadPosition(0, kFromStart);
    uint32_t got = Read(head, sizeof head);
    validRiff_ = got >= 8 && Get32(head) == kTagRiff;
    riffSize_ = validRiff_ ? Get32(head + 4) : 0;
    return validRiff_ && got == sizeof head && Get32(head + 8) == kTagWave;
}

bool WavFile::UpdateRiffSize()
{
    if (!keepRiffSize_ || !Writable())
        return true;
    const int64_t size = Size();
    const uint32_t expected = size - 8 > UINT32_MAX ? UINT32_MAX : uint32_t(size - 8);
    if (expected == riffSize_)
        return true;
    if (!WriteWordAt(4, expected))
        return false;
    riffSize_ = expected;
    return true;
}

uint32_t WavFile::ParseHeader()
{
    if (dirty_)
        Repair();
    kind_ = kNone;
    bits_ = channels_ = rate_ = 0;
    dataLength_ = 0;
    position_ = 0;
    dataTagOffset_ = 0;

    uint32_t tag;
    uint32_t length;
    uint8_t chunk[kFormatLength] = {};
    if (!ReadWordAt(sectionStart_, &tag) || tag != kTagWave || !ReadWord(&tag) || tag != kTagFmt ||
        !ReadWord(&length) || length > kFormatLength || length < kOldFormatLength || Read(chunk, length) != length)
        return 0;
    Format format;
    format.formatTag = Get16(chunk);
    format.channels = Get16(chunk + 2);
    format.samplesPerSecond = Get32(chunk + 4);
    format.averageBytesPerSecond = Get32(chunk + 8);
    format.blockAlignment = Get16(chunk + 12);
    format.bitsPerSample = Get16(chunk + 14);
    format.extraBytes = Get16(chunk + 16);
    if (format.channels == 0 || format.samplesPerSecond == 0 || format.blockAlignment == 0)
        return 0;
    if (length < kFormatLength)
        format.extraBytes = 0;
    uint32_t kind;
    switch (format.formatTag) {
    case kTagPcm:
        if (length == kOldFormatLength)
            format.bitsPerSample = uint16_t(format.blockAlignment / format.channels * 8);
        if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
            return 0;
        kind = kPcm;
        break;
    case kTagALaw:
    case kTagMuLaw:
        if (length == kOldFormatLength)
            format.bitsPerSample = 8;
        kind = format.formatTag == kTagALaw ? kALaw : kMuLaw;
        break;
    default:
        return 0;
    }
    formatLength_ = length;
    format_ = format;

    // A section without a data chunk stays invalid: there is nothing to repair and nothing to play.
    int64_t tagAt;
    if (!FindDataTag(&tagAt))
        return 0;
    dataTagOffset_ = tagAt - (sectionStart_ + 12 + length);
    kind_ = kind;
    bits_ = kind == kPcm ? format.bitsPerSample : 8;
    channels_ = format.channels;
    rate_ = format.samplesPerSecond;

    const int64_t dataStart = tagAt + 8;
    const uint32_t present = BytesPresentFrom(dataStart);
    uint32_t stored;
    bool valid = ReadWordAt(tagAt + 4, &stored) && stored <= present;
    // A recording cut short keeps the zero length its header was written with; a zero length is genuine
    // only when nothing, or the next section, follows.
    if (valid && stored == 0 && present > 0) {
        uint32_t next;
        valid = ReadWordAt(dataStart, &next) && next == kTagWave;
    }
    if (valid) {
        dataLength_ = stored;
        return 1;
    }
    dataLength_ = present;
    dirty_ = true;
    Repair();
    return 1;
}

// Walks the chunks after the format chunk up to the "data" tag. Odd-sized chunks are followed by a zero pad
// byte in files that keep the RIFF word alignment; the pad is skipped when it is there.
bool WavFile::FindDataTag(int64_t *tagAt)
{
    const int64_t size = Size();
    int64_t at = sectionStart_ + 12 + formatLength_;
    while (at < size) {
        uint32_t tag;
        uint32_t chunkSize;
        if (!ReadWordAt(at, &tag))
            return false;
        if (tag == kTagData) {
            *tagAt = at;
            return true;
        }
        if (!ReadWord(&chunkSize))
            return false;
        at += 8 + int64_t(chunkSize);
        if ((chunkSize & 1) && PadByteAt(at))
            ++at;
    }
    return false;
}

void WavFile::Repair()
{
    if (kind_ != kNone && Writable())
        WriteWordAt(DataStart() - 4, dataLength_);
    dirty_ = false;
}

bool WavFile::NextSection()
{
    if (kind_ == kNone)
        return false;
    if (dirty_)
        Repair();
    int64_t next = DataStart() + dataLength_;
    if ((dataLength_ & 1) && PadByteAt(next))
        ++next;
    sectionStart_ = next;
    return ParseHeader() != 0;
}

bool WavFile::WriteHeaderPcm(uint32_t rate, uint32_t bits, uint32_t channels)
{
    if (bits != 8 && bits != 16)
        return false;
    return WriteHeader(kTagPcm, rate, bits, channels);
}

bool WavFile::WriteHeaderALaw(uint32_t rate, uint32_t channels) { return WriteHeader(kTagALaw, rate, 8, channels); }

bool WavFile::WriteHeaderMuLaw(uint32_t rate, uint32_t channels) { return WriteHeader(kTagMuLaw, rate, 8, channels); }

bool WavFile::WriteHeader(uint16_t tag, uint32_t rate, uint32_t bits, uint32_t channels)
{
    const uint64_t averageBytes = uint64_t(rate) * bits * channels / 8;
    if (!IsOpen() || !Writable() || rate == 0 || channels == 0 || bits * channels / 8 > UINT16_MAX ||
        averageBytes > UINT32_MAX)
        return false;
    if (dirty_)
        Repair();
    uint8_t header[kSectionHeaderLength];
    uint8_t *p = Put32(Put32(Put32(header, kTagWave), kTagFmt), kFormatLength);
    p = Put16(Put16(p, tag), channels);
    p = Put32(Put32(p, rate), uint32_t(averageBytes));
    p = Put16(Put16(Put16(p, bits * channels / 8), bits), 0);
    Put32(Put32(p, kTagData), 0);
    const int64_t start = SetWritePosition(0, kFromEnd);
    if (Write(header, sizeof header) != sizeof header)
        return false;
    sectionStart_ = start;
    return ParseHeader() != 0;
}

bool WavFile::WriteData(const void *buffer, uint32_t length)
{
    if (kind_ == kNone || !Writable() || (!buffer && length) || length % FrameBytes() != 0 ||
        uint64_t(position_) + length > kMaxDataLength)
        return false;
    if (length == 0)
        return true;
    const int64_t at = DataStart() + position_;
    if (SetWritePosition(at, kFromStart) != at)
        return false;
    const uint32_t put = Write(buffer, length);
    position_ += put;
    if (position_ > dataLength_)
        dataLength_ = position_;
    dirty_ = true;
    return put == length;
}

uint32_t WavFile::ReadData(void *buffer, uint32_t length)
{
    if (kind_ == kNone || !buffer)
        return 0;
    const uint32_t remaining = dataLength_ - position_;
    if (length > remaining)
        length = remaining;
    length -= length % FrameBytes();
    if (length == 0)
        return 0;
    SetReadPosition(DataStart() + position_, kFromStart);
    const uint32_t got = Read(buffer, length);
    position_ += got;
    return got;
}

uint32_t WavFile::SeekData(int64_t offset)
{
    if (kind_ == kNone)
        return 0;
    offset -= offset % FrameBytes();
    int64_t target = position_ + offset;
    if (target < 0)
        target = 0;
    if (target > dataLength_)
        target = dataLength_;
    const int64_t moved = target - position_;
    SetReadPosition(moved, kFromPosition);
    SetWritePosition(moved, kFromPosition);
    position_ = uint32_t(target);
    return position_;
}

bool WavFile::ReadWord(uint32_t *value)
{
    uint8_t bytes[4];
    if (Read(bytes, 4) != 4)
        return false;
    *value = Get32(bytes);
    return true;
}

bool WavFile::ReadWordAt(int64_t offset, uint32_t *value)
{
    return SetReadPosition(offset, kFromStart) == offset && ReadWord(value);
}

bool WavFile::WriteWordAt(int64_t offset, uint32_t value)
{
    uint8_t bytes[4];
    Put32(bytes, value);
    return SetWritePosition(offset, kFromStart) == offset && Write(bytes, 4) == 4;
}

bool WavFile::PadByteAt(int64_t offset)
{
    uint8_t byte;
    return SetReadPosition(offset, kFromStart) == offset && Read(&byte, 1) == 1 && byte == 0;
}

uint32_t WavFile::BytesPresentFrom(int64_t offset)
{
    const int64_t present = Size() - offset;
    if (present < 0)
        return 0;
    return present > UINT32_MAX ? UINT32_MAX : uint32_t(present);
}

} // namespace sirrel
