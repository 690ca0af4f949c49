// A file of fixed-size records without header (the protocols and the translation tables files).
//
// A size that is not a whole number of records means a write was torn. The whole records in front of the tear
// are kept; before the partial tail is cut, the file as found is copied to "<file>.damaged" so that no byte
// the user stored is thrown away.
#pragma once

#include <cstdint>
#include <string>

#include "output/async_file.h"

namespace sirrel {

// Copies the whole open file to "<path>.damaged" (replacing an older copy).
bool KeepDamagedCopy(AsyncFile &file, const std::string &path);

class RecordFile {
public:
    explicit RecordFile(uint32_t recordSize) : recordSize_(recordSize) {}

    // Opens for reading and writing, creating the file and its folders when missing, and mends a torn tail.
    // Fails when the file cannot be opened or a torn file cannot be copied aside (it is then left as it was).
    bool Open(const std::string &path);
    // Opens an existing file for reading only; a torn tail is ignored, not cut.
    bool OpenReadOnly(const std::string &path);
    void Close() { file_.Close(); }

    uint32_t Count() const;
    // Reads record index into record (recordSize bytes); false past the last whole record.
    bool Read(uint32_t index, uint8_t *record);
    // Writes record index; index == Count() appends.
    bool Write(uint32_t index, const uint8_t *record);
    // Keeps the first count records.
    bool Truncate(uint32_t count);

    // True when Open found a torn file and cut its tail.
    bool Mended() const { return mended_; }

private:
    const uint32_t recordSize_;
    AsyncFile file_;
    bool mended_ = false;
};

} // namespace sirrel
