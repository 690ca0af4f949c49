#include "protocols/chunk_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "output/async_file.h"
#include "protocols/little_endian.h"
#include "protocols/record_file.h"

namespace sirrel {

namespace {

constexpr uint32_t kMoveBlock = 64 * 1024;
constexpr auto kRetryPause = std::chrono::milliseconds(10);

// The chunk layout found by one pass over the file.
struct Scan {
    bool readError = false;
    bool found = false;
    int64_t chunkStart = 0; // of the first chunk with the key
    uint32_t storedLength = 0;
    int64_t end = 0; // end of the last whole chunk; a torn tail starts here when end < size
};

Scan ScanChunks(AsyncFile &file, const uint8_t *key, uint32_t keyLength)
{
    Scan scan;
    const int64_t size = file.Size();
    const int64_t header = int64_t(keyLength) + 4;
    std::vector<uint8_t> head(header);
    int64_t position = 0;
    while (size - position >= header) {
        file.SetReadPosition(position, AsyncFile::kFromStart);
        if (file.Read(head.data(), uint32_t(header)) != header) {
            scan.readError = true;
            break;
        }
        const uint32_t length = le::GetU32(head.data() + keyLength);
        if (header + length > size - position)
            break;
        if (!scan.found && std::memcmp(head.data(), key, keyLength) == 0) {
            scan.found = true;
            scan.chunkStart = position;
            scan.storedLength = length;
        }
        position += header + length;
    }
    scan.end = position;
    return scan;
}

// Moves the bytes from `from` to the end of the file forward to `to` and cuts the file after them.
bool MoveTailForward(AsyncFile &file, int64_t from, int64_t to)
{
    std::vector<uint8_t> block(kMoveBlock);
    const int64_t size = file.Size();
    for (int64_t done = 0; from + done < size;) {
        const uint32_t want = uint32_t(std::min<int64_t>(kMoveBlock, size - from - done));
        file.SetReadPosition(from + done, AsyncFile::kFromStart);
        file.SetWritePosition(to + done, AsyncFile::kFromStart);
        if (file.Read(block.data(), want) != want || file.Write(block.data(), want) != want)
            return false;
        done += want;
    }
    file.SetWritePosition(to + (size - from), AsyncFile::kFromStart);
    return file.Truncate();
}

bool OpenForWriting(AsyncFile &file, const std::string &path, std::chrono::milliseconds wait, ChunkStatus &status)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (file.Open(path.c_str(), true, 0))
            return true;
        if (file.OpenError() != EWOULDBLOCK) {
            status = ChunkStatus::kFailed;
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            status = ChunkStatus::kBusy;
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

} // namespace

ChunkRead ReadChunk(const std::string &path, void *destination, uint32_t capacity, const void *key, uint32_t keyLength)
{
    ChunkRead result;
    AsyncFile file;
    // The lock keeps a reader from seeing a chunk half moved; a file we may not write is still read.
    if (!file.Open(path.c_str(), false, 0)) {
        const int error = file.OpenError();
        if (error == ENOENT || error == ENOTDIR) {
            result.status = ChunkStatus::kNoFile;
            return result;
        }
        if (error == EWOULDBLOCK) {
            result.status = ChunkStatus::kBusy;
            return result;
        }
        if (!file.OpenReadOnly(path.c_str(), 0))
            return result;
    }
    const Scan scan = ScanChunks(file, static_cast<const uint8_t *>(key), keyLength);
    if (scan.readError)
        return result;
    if (!scan.found) {
        result.status = ChunkStatus::kKeyAbsent;
        return result;
    }
    file.SetReadPosition(scan.chunkStart + keyLength + 4, AsyncFile::kFromStart);
    result.copied = file.Read(destination, std::min(scan.storedLength, capacity));
    result.status = ChunkStatus::kFound;
    return result;
}

ChunkStatus WriteChunk(const std::string &path, const void *data, uint32_t length, const void *key, uint32_t keyLength,
                       std::chrono::milliseconds wait)
{
    const uint64_t total = uint64_t(keyLength) + 4 + length;
    if (total > UINT32_MAX)
        return ChunkStatus::kFailed;
    AsyncFile file;
    ChunkStatus status = ChunkStatus::kFailed;
    if (!OpenForWriting(file, path, wait, status))
        return status;
    Scan scan = ScanChunks(file, static_cast<const uint8_t *>(key), keyLength);
    if (scan.readError)
        return ChunkStatus::kFailed;

    if (scan.end < file.Size()) {
        if (!KeepDamagedCopy(file, path))
            return ChunkStatus::kFailed;
        file.SetWritePosition(scan.end, AsyncFile::kFromStart);
        if (!file.Truncate())
            return ChunkStatus::kFailed;
    }

    if (scan.found && scan.storedLength == length) {
        file.SetWritePosition(scan.chunkStart + keyLength + 4, AsyncFile::kFromStart);
        return file.Write(data, length) == length ? ChunkStatus::kFound : ChunkStatus::kFailed;
    }
    if (scan.found) {
        const int64_t chunkEnd = scan.chunkStart + keyLength + 4 + scan.storedLength;
        if (!MoveTailForward(file, chunkEnd, scan.chunkStart))
            return ChunkStatus::kFailed;
    }

    std::vector<uint8_t> chunk(total);
    std::memcpy(chunk.data(), key, keyLength);
    le::PutU32(chunk.data() + keyLength, length);
    if (length)
        std::memcpy(chunk.data() + keyLength + 4, data, length);
    file.SetWritePosition(0, AsyncFile::kFromEnd);
    if (file.Write(chunk.data(), uint32_t(total)) != total || !file.Truncate())
        return ChunkStatus::kFailed;
    return ChunkStatus::kFound;
}

} // namespace sirrel
