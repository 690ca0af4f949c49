// LogFile: one output channel's log, a text file appended character by character as decoded text is shown.
//
// The stream is opened and closed on the user-interface thread and written on the dispatcher's thread; its
// own lock keeps a close from pulling the stream away under a write.
#pragma once

#include <cstdint>
#include <cstdio>

#include "orurt.h"

namespace sirrel {

class LogFile {
public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Opens the file for appending in text mode, closing any open stream first.
    bool Open(const char *path);
    void Close();
    bool IsOpen();

    // Logs one decoded character: a line feed is skipped, a carriage return is written as a line end.
    // Returns false when the write failed; logging is then off (the stream is closed).
    bool WriteCharacter(uint8_t character);
    // Appends one line of a view followed by a line end, in one write. Returns false when the line was not
    // written whole; logging is then off.
    bool WriteLine(const char *characters, uint32_t count);

private:
    bool Put(const char *bytes, uint32_t count);

    OruThreadExclusion lock_;
    FILE *stream_ = nullptr;
};

} // namespace sirrel
