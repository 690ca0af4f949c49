// Keyed chunk files ("Sirrel_Config.dat", "SoundCard_Config.dat"): a concatenation of chunks
//   key (K bytes) | data length L (uint32 little-endian) | data (L bytes)
// so that every receiver keeps its own block in the one shared file. The first chunk with a key is the one
// read and rewritten.
//
// Writers (and readers) of one file are serialised by AsyncFile's exclusive advisory lock. A writer that finds
// the file held by another keeps retrying until its wait runs out; the block is then not saved and the caller
// learns it from the status.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sirrel {

enum class ChunkStatus {
    kFound,     // read: the chunk was read; write: the chunk was written
    kKeyAbsent, // read only: the file exists but holds no chunk with the key
    kNoFile,    // read only: the file does not exist; the destination is untouched
    kBusy,      // another writer held the file for the whole wait
    kFailed,    // the file or its folder cannot be opened, read or written
};

struct ChunkRead {
    ChunkStatus status = ChunkStatus::kFailed;
    uint32_t copied = 0; // bytes put into the destination
    // The file existed and was read to the chunk or to its end.
    bool Ok() const { return status == ChunkStatus::kFound || status == ChunkStatus::kKeyAbsent; }
};

constexpr std::chrono::milliseconds kChunkWriteWait{2000};

// Copies min(L, capacity) bytes of the chunk with the key into destination; the rest of destination stays.
ChunkRead ReadChunk(const std::string &path, void *destination, uint32_t capacity, const void *key, uint32_t keyLength);

// Stores the chunk: in place when its stored length is the same, otherwise it is removed (the later bytes
// move forward) and appended at the end. A torn tail (a header cut short, or a length reaching past the end)
// is copied to "<file>.damaged" and cut before the append, so later chunks stay reachable.
ChunkStatus WriteChunk(const std::string &path, const void *data, uint32_t length, const void *key, uint32_t keyLength,
                       std::chrono::milliseconds wait = kChunkWriteWait);

} // namespace sirrel
