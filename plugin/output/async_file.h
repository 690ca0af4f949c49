// AsyncFile: the plug-in's file class, with independent read and write positions.
//
// Direct mode (buffer size 0) transfers at once. Buffered mode (buffer size B > 0) keeps a read-ahead cache of
// B bytes and a queue of write blocks that a background thread writes behind the caller's back, so that a
// caller streaming audio never waits for the disk.
//
// One client thread at a time may use an object (together with its own background thread).
#pragma once

#include <cstdint>
#include <thread>

namespace sirrel {

class AsyncFile {
public:
    // Origins of the position setters.
    enum Origin : int32_t { kFromStart = 0, kFromPosition = 1, kFromEnd = 2 };

    AsyncFile() = default;
    AsyncFile(const AsyncFile &) = delete;
    AsyncFile &operator=(const AsyncFile &) = delete;
    virtual ~AsyncFile();

    // Opens an existing file for reading and writing; when it does not exist and create is set, makes the
    // missing folders and the file. Writers of one file are serialised with an exclusive advisory lock; an
    // open that cannot get it within a short wait fails with OpenError() == EWOULDBLOCK.
    bool Open(const char *path, bool create, uint32_t bufferSize);
    // Opens an existing file for reading only; writes and truncate then fail.
    bool OpenReadOnly(const char *path, uint32_t bufferSize);
    // Waits for queued writes, stops the background thread (waiting for it at most 1000 ms) and closes.
    virtual void Close();

    // Reads from the read position and advances it; returns the bytes read.
    uint32_t Read(void *destination, uint32_t count);
    // Writes at the write position and advances it. Buffered mode returns count at once; 0 means nothing was
    // taken (no memory, or an earlier background write failed).
    uint32_t Write(const void *source, uint32_t count);
    // Returns the new position: origin + offset, never below 0 nor beyond the size.
    int64_t SetReadPosition(int64_t offset, int32_t origin);
    int64_t SetWritePosition(int64_t offset, int32_t origin);
    // Cuts the file at the write position; a read position beyond it moves back to it.
    bool Truncate();

    bool IsOpen() const { return core_ != nullptr; }
    bool Writable() const;
    bool Existed() const;
    int64_t Size() const;
    int64_t ReadPosition() const;
    int64_t WritePosition() const;
    // errno of the last failed open, 0 after a successful one.
    int OpenError() const { return openError_; }

private:
    struct Core;
    struct Block;

    bool OpenHandle(int handle, bool existed, bool writable, uint32_t bufferSize);
    int64_t SetPosition(int64_t offset, int32_t origin, bool read);
    void WaitForQueue();
    void Signal();
    uint32_t ReadBuffered(uint8_t *destination, uint32_t count);
    uint32_t WriteBuffered(const uint8_t *source, uint32_t count);
    static void ThreadMain(Core *core);
    static bool WriteQueued(Core *core);
    static bool SlideCache(Core *core);
    static bool ReadAhead(Core *core);
    static void Release(Core *core);

    Core *core_ = nullptr;
    std::thread thread_;
    int openError_ = 0;
};

} // namespace sirrel
