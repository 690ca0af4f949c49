// WavFile: RIFF/WAVE files of PCM (8 or 16 bit), A-law and µ-law audio, read and written through AsyncFile.
//
// A file may hold several WAVE sections one after another inside one RIFF; the object works on one section at
// a time. A section's data length that is missing or runs past the end of the file (a recording cut short) is
// repaired to the bytes present: on disk when the file is writable, in memory otherwise.
#pragma once

#include <cstdint>

#include "output/async_file.h"

namespace sirrel {

class WavFile : protected sirrel::AsyncFile {
public:
    enum Kind : uint32_t { kNone = 0, kPcm = 1, kALaw = 2, kMuLaw = 3 };
    static constexpr uint32_t kMaxDataLength = 4000000000u;

    // The format chunk in its 18-byte WAVEFORMATEX layout.
    struct Format {
        uint16_t formatTag;
        uint16_t channels;
        uint32_t samplesPerSecond;
        uint32_t averageBytesPerSecond;
        uint16_t blockAlignment;
        uint16_t bitsPerSample;
        uint16_t extraBytes;
    };

    WavFile() = default;
    ~WavFile() override;

    // Opens an existing file and parses its first section; a file that cannot be opened for writing is opened
    // for reading only, as is every file when readOnly is set. Succeeds whenever the file could be opened;
    // Kind() tells whether it is usable. Repairs of a file opened for reading only stay in memory.
    bool OpenRead(const char *path, uint32_t bufferSize, bool readOnly = false);
    // Creates the file and writes the RIFF header. New sections go after the end of an existing WAV file, whose
    // own sections are checked and repaired first; an existing file that is not a WAV file is left alone and
    // the open fails.
    bool OpenWrite(const char *path, uint32_t bufferSize);
    // Repairs a dirty section and brings the RIFF size up to date, then closes.
    void Close() override;
    // Repairs a dirty section and brings the RIFF size up to date, keeping the file open.
    bool Flush();

    // Each appends a new section at the end of the file and makes it the current one.
    bool WriteHeaderPcm(uint32_t rate, uint32_t bits, uint32_t channels);
    bool WriteHeaderALaw(uint32_t rate, uint32_t channels);
    bool WriteHeaderMuLaw(uint32_t rate, uint32_t channels);

    // Writes whole sample frames at the data position; fails without writing anything when the length is not
    // a whole number of frames or the data would pass kMaxDataLength.
    bool WriteData(const void *buffer, uint32_t length);
    // Reads whole frames from the data position, at most what the section holds; returns the bytes read.
    uint32_t ReadData(void *buffer, uint32_t length);
    // Moves the data position by whole frames (toward zero), within the section; returns the new position.
    uint32_t SeekData(int64_t offset);
    // Finishes the current section and parses the one after it; false when there is none.
    bool NextSection();

    using AsyncFile::Existed;
    using AsyncFile::IsOpen;
    using AsyncFile::OpenError;
    using AsyncFile::Size;
    using AsyncFile::Writable;

    uint32_t Kind() const { return kind_; }
    uint32_t Bits() const { return bits_; }
    uint32_t Channels() const { return channels_; }
    uint32_t Rate() const { return rate_; }
    // Bytes of one sample frame (all channels).
    uint32_t FrameBytes() const { return channels_ * bits_ / 8; }
    uint32_t DataLength() const { return dataLength_; }
    uint32_t DataPosition() const { return position_; }
    const Format &FormatChunk() const { return format_; }
    uint32_t FormatLength() const { return formatLength_; }
    int64_t SectionStart() const { return sectionStart_; }
    int64_t DataTagOffset() const { return dataTagOffset_; }
    bool ValidRiff() const { return validRiff_; }
    bool Dirty() const { return dirty_; }

private:
    void Reset();
    bool ReadRiffHeader();
    uint32_t ParseHeader();
    bool FindDataTag(int64_t *tagAt);
    void Repair();
    bool UpdateRiffSize();
    bool WriteHeader(uint16_t tag, uint32_t rate, uint32_t bits, uint32_t channels);
    bool ReadWord(uint32_t *value);
    bool ReadWordAt(int64_t offset, uint32_t *value);
    bool WriteWordAt(int64_t offset, uint32_t value);
    bool PadByteAt(int64_t offset);
    uint32_t BytesPresentFrom(int64_t offset);
    int64_t DataStart() const { return sectionStart_ + formatLength_ + dataTagOffset_ + 20; }

    int64_t sectionStart_ = 8;
    uint32_t formatLength_ = 0;
    Format format_{};
    int64_t dataTagOffset_ = 0;
    uint32_t dataLength_ = 0;
    uint32_t position_ = 0;
    uint32_t kind_ = kNone;
    uint32_t bits_ = 0;
    uint32_t channels_ = 0;
    uint32_t rate_ = 0;
    bool dirty_ = false;
    bool validRiff_ = false;
    // The RIFF size field is kept up to date only in files known to be WAV files.
    bool keepRiffSize_ = false;
    uint32_t riffSize_ = 0;
};

} // namespace sirrel
