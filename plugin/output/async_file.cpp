#include "output/async_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

#include "orurt.h"
#include "output/exclusion_hold.h"

namespace sirrel {

namespace {

// An open that finds another writer holding the file retries this often, 10 ms apart, before it fails.
constexpr int kLockAttempts = 25;
constexpr auto kStopWait = std::chrono::milliseconds(1000);
// Adjoining queued blocks written with one system call.
constexpr int kMaxRun = 64;

uint32_t ReadAt(int handle, uint8_t *destination, uint32_t count, int64_t offset)
{
    uint32_t done = 0;
    while (done < count) {
        ssize_t got = pread(handle, destination + done, count - done, offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += uint32_t(got);
    }
    return done;
}

uint32_t WriteAt(int handle, const uint8_t *source, uint32_t count, int64_t offset)
{
    uint32_t done = 0;
    while (done < count) {
        ssize_t put = pwrite(handle, source + done, count - done, offset + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += uint32_t(put);
    }
    return done;
}

// Writes the parts one after another from offset; a short write goes on with the rest of the parts.
bool WriteAllAt(int handle, iovec *parts, int count, int64_t offset)
{
    while (count > 0) {
        ssize_t put = pwritev(handle, parts, count, offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        offset += put;
        size_t done = size_t(put);
        while (count > 0 && done >= parts->iov_len) {
            done -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<uint8_t *>(parts->iov_base) + done;
            parts->iov_len -= done;
        }
    }
    return true;
}

// Makes every folder of the path in turn; the last component is the file. Failures show up when the file
// itself is created.
void MakeFolders(const char *path)
{
    while (*path == ' ')
        ++path;
    uint32_t length = StringLength(path);
    char *folder = static_cast<char *>(MemoryDuplicate(path, length + 1));
    if (!folder)
        return;
    for (uint32_t i = 1; i < length; ++i) {
        if (folder[i] != '/')
            continue;
        folder[i] = 0;
        mkdir(folder, 0777);
        folder[i] = '/';
    }
    MemoryFree(folder);
}

// Win32 opens the file "shared for reading": a second writer is refused. The advisory lock does the same
// between cooperating processes; file systems without flock support are used unlocked.
bool LockForWriting(int handle)
{
    for (int attempt = 1;; ++attempt) {
        if (flock(handle, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return true;
        if (attempt == kLockAttempts)
            return false;
        usleep(10000);
    }
}

} // namespace

struct AsyncFile::Block {
    Block *next;
    int64_t offset;
    uint32_t capacity;
    uint32_t length;

    uint8_t *Data() { return reinterpret_cast<uint8_t *>(this + 1); }
};

struct AsyncFile::Core {
    int handle = -1;
    bool existed = false;
    bool writable = false;
    int64_t size = 0;
    int64_t readPosition = 0;
    int64_t writePosition = 0;

    // Buffered mode only.
    uint32_t bufferSize = 0;
    uint8_t *cache = nullptr;
    int64_t cacheOffset = 0;
    uint32_t cacheValid = 0;
    // Counts writes and truncations; a read-ahead that saw another count may hold stale bytes.
    uint64_t changeCount = 0;
    Block *queueHead = nullptr;
    Block *queueTail = nullptr;
    Block *freeList = nullptr;
    uint8_t *scratch = nullptr;
    std::atomic<bool> writeFailed{false};

    // The thread's wake-up event (auto-reset), the stop flag, and the count of queued blocks that readers
    // wait on; all under signalMutex.
    std::mutex signalMutex;
    std::condition_variable wakeUp;
    std::condition_variable drained;
    std::condition_variable finishedSignal;
    bool wake = false;
    bool stop = false;
    bool finished = false;
    uint32_t queued = 0;

    // Lock order when nested: positions, then handle (and queue inside positions).
    OruThreadExclusion positionsLock;
    OruThreadExclusion handleLock;
    OruThreadExclusion freeLock;
    OruThreadExclusion queueLock;

    // The client and, in buffered mode, the background thread; the last one to let go closes the file.
    std::atomic<int> references{1};
};

AsyncFile::~AsyncFile() { AsyncFile::Close(); }

bool AsyncFile::Open(const char *path, bool create, uint32_t bufferSize)
{
    Close();
    if (!path) {
        openError_ = EINVAL;
        return false;
    }
    int handle = open(path, O_RDWR | O_CLOEXEC);
    bool existed = handle >= 0;
    if (!existed && create) {
        MakeFolders(path);
        handle = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    if (handle < 0) {
        openError_ = errno;
        return false;
    }
    if (!LockForWriting(handle)) {
        close(handle);
        openError_ = EWOULDBLOCK;
        return false;
    }
    return OpenHandle(handle, existed, true, bufferSize);
}

bool AsyncFile::OpenReadOnly(const char *path, uint32_t bufferSize)
{
    Close();
    if (!path) {
        openError_ = EINVAL;
        return false;
    }
    int handle = open(path, O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        openError_ = errno;
        return false;
    }
    return OpenHandle(handle, true, false, bufferSize);
}

bool AsyncFile::OpenHandle(int handle, bool existed, bool writable, uint32_t bufferSize)
{
    struct stat info;
    void *memory = MemoryAlloc(sizeof(Core));
    if (fstat(handle, &info) != 0 || !memory) {
        openError_ = memory ? errno : ENOMEM;
        MemoryFree(memory);
        close(handle);
        return false;
    }
    Core *core = new (memory) Core;
    core->handle = handle;
    core->existed = existed;
    core->writable = writable;
    core->size = info.st_size;
    OruThreadExclusion_Construct(&core->positionsLock);
    OruThreadExclusion_Construct(&core->handleLock);
    OruThreadExclusion_Construct(&core->freeLock);
    OruThreadExclusion_Construct(&core->queueLock);
    core_ = core;
    openError_ = 0;
    if (bufferSize == 0)
        return true;

    core->bufferSize = bufferSize;
    core->cache = static_cast<uint8_t *>(MemoryAlloc(bufferSize));
    core->scratch = static_cast<uint8_t *>(MemoryAlloc(bufferSize));
    if (core->cache && core->scratch) {
        core->references = 2;
        try {
            thread_ = std::thread(ThreadMain, core);
            return true;
        } catch (const std::system_error &) {
            core->references = 1;
        }
    }
    Release(core);
    core_ = nullptr;
    openError_ = ENOMEM;
    return false;
}

void AsyncFile::Close()
{
    Core *core = core_;
    if (!core)
        return;
    core_ = nullptr;
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> guard(core->signalMutex);
        core->stop = true;
        core->wake = true;
        core->wakeUp.notify_one();
        bool finished = core->finishedSignal.wait_for(guard, kStopWait, [core] { return core->finished; });
        guard.unlock();
        // A thread still busy with a stalled disk keeps its own reference and closes the file when done.
        if (finished)
            thread_.join();
        else
            thread_.detach();
    }
    Release(core);
}

void AsyncFile::Release(Core *core)
{
    if (core->references.fetch_sub(1) != 1)
        return;
    close(core->handle);
    for (Block *list : {core->queueHead, core->freeList}) {
        while (list) {
            Block *next = list->next;
            MemoryFree(list);
            list = next;
        }
    }
    MemoryFree(core->cache);
    MemoryFree(core->scratch);
    OruThreadExclusion_Destruct(&core->positionsLock, 0);
    OruThreadExclusion_Destruct(&core->handleLock, 0);
    OruThreadExclusion_Destruct(&core->freeLock, 0);
    OruThreadExclusion_Destruct(&core->queueLock, 0);
    core->~Core();
    MemoryFree(core);
}

bool AsyncFile::Writable() const { return core_ && core_->writable; }

bool AsyncFile::Existed() const { return core_ && core_->existed; }

int64_t AsyncFile::Size() const
{
    if (!core_)
        return 0;
    ExclusionHold positions(core_->positionsLock);
    return core_->size;
}

int64_t AsyncFile::ReadPosition() const
{
    if (!core_)
        return 0;
    ExclusionHold positions(core_->positionsLock);
    return core_->readPosition;
}

int64_t AsyncFile::WritePosition() const
{
    if (!core_)
        return 0;
    ExclusionHold positions(core_->positionsLock);
    return core_->writePosition;
}

int64_t AsyncFile::SetReadPosition(int64_t offset, int32_t origin) { return SetPosition(offset, origin, true); }

int64_t AsyncFile::SetWritePosition(int64_t offset, int32_t origin) { return SetPosition(offset, origin, false); }

int64_t AsyncFile::SetPosition(int64_t offset, int32_t origin, bool read)
{
    if (!core_)
        return 0;
    ExclusionHold positions(core_->positionsLock);
    int64_t &position = read ? core_->readPosition : core_->writePosition;
    const int64_t size = core_->size;
    int64_t base;
    switch (origin) {
    case kFromStart:
        base = 0;
        break;
    case kFromPosition:
        base = position;
        break;
    case kFromEnd:
        base = size;
        break;
    default:
        return position;
    }
    if (offset >= 0)
        position = offset > size - base ? size : base + offset;
    else
        position = offset < -base ? 0 : base + offset;
    return position;
}

uint32_t AsyncFile::Read(void *destination, uint32_t count)
{
    if (!core_ || !destination || count == 0)
        return 0;
    auto *bytes = static_cast<uint8_t *>(destination);
    if (core_->bufferSize)
        return ReadBuffered(bytes, count);
    ExclusionHold positions(core_->positionsLock);
    uint32_t got;
    {
        ExclusionHold handle(core_->handleLock);
        got = ReadAt(core_->handle, bytes, count, core_->readPosition);
    }
    core_->readPosition += got;
    if (core_->readPosition > core_->size)
        core_->size = core_->readPosition;
    return got;
}

uint32_t AsyncFile::Write(const void *source, uint32_t count)
{
    if (!core_ || !core_->writable || !source || count == 0)
        return 0;
    auto *bytes = static_cast<const uint8_t *>(source);
    if (core_->bufferSize)
        return WriteBuffered(bytes, count);
    ExclusionHold positions(core_->positionsLock);
    uint32_t put;
    {
        ExclusionHold handle(core_->handleLock);
        put = WriteAt(core_->handle, bytes, count, core_->writePosition);
    }
    core_->writePosition += put;
    if (core_->writePosition > core_->size)
        core_->size = core_->writePosition;
    return put;
}

bool AsyncFile::Truncate()
{
    if (!core_ || !core_->writable)
        return false;
    Core *core = core_;
    WaitForQueue();
    ExclusionHold positions(core->positionsLock);
    {
        ExclusionHold handle(core->handleLock);
        if (ftruncate(core->handle, core->writePosition) != 0)
            return false;
    }
    core->size = core->writePosition;
    if (core->readPosition > core->size)
        core->readPosition = core->size;
    if (core->cacheOffset + core->cacheValid > core->size)
        core->cacheValid = core->size > core->cacheOffset ? uint32_t(core->size - core->cacheOffset) : 0;
    ++core->changeCount;
    return true;
}

void AsyncFile::Signal()
{
    std::lock_guard<std::mutex> guard(core_->signalMutex);
    core_->wake = true;
    core_->wakeUp.notify_one();
}

// A read must not see the file as it was before writes still in the queue.
void AsyncFile::WaitForQueue()
{
    Core *core = core_;
    if (!core->bufferSize)
        return;
    std::unique_lock<std::mutex> guard(core->signalMutex);
    if (core->queued == 0)
        return;
    core->wake = true;
    core->wakeUp.notify_one();
    core->drained.wait(guard, [core] { return core->queued == 0; });
}

uint32_t AsyncFile::ReadBuffered(uint8_t *destination, uint32_t count)
{
    Core *core = core_;
    WaitForQueue();
    uint32_t done = 0;
    {
        ExclusionHold positions(core->positionsLock);
        int64_t position = core->readPosition;
        if (count > core->bufferSize) {
            core->cacheValid = 0;
            {
                ExclusionHold handle(core->handleLock);
                done = ReadAt(core->handle, destination, count, position);
            }
            position += done;
            core->cacheOffset = position;
        } else {
            while (done < count) {
                int64_t cacheEnd = core->cacheOffset + core->cacheValid;
                if (position >= core->cacheOffset && position < cacheEnd) {
                    uint32_t take = count - done;
                    if (take > cacheEnd - position)
                        take = uint32_t(cacheEnd - position);
                    std::memcpy(destination + done, core->cache + (position - core->cacheOffset), take);
                    done += take;
                    position += take;
                    continue;
                }
                uint32_t got;
                {
                    ExclusionHold handle(core->handleLock);
                    got = ReadAt(core->handle, core->cache, core->bufferSize, position);
                }
                core->cacheOffset = position;
                core->cacheValid = got;
                if (got == 0)
                    break;
            }
        }
        core->readPosition = position;
        if (position > core->size)
            core->size = position;
    }
    Signal();
    return done;
}

uint32_t AsyncFile::WriteBuffered(const uint8_t *source, uint32_t count)
{
    Core *core = core_;
    if (core->writeFailed)
        return 0;

    // Cut the data into blocks: recycled ones first, then one new block for the rest.
    Block *first = nullptr;
    Block *last = nullptr;
    uint32_t blocks = 0;
    uint32_t taken = 0;
    auto append = [&](Block *block) {
        block->next = nullptr;
        block->offset = taken;
        std::memcpy(block->Data(), source + taken, block->length);
        taken += block->length;
        (last ? last->next : first) = block;
        last = block;
        ++blocks;
    };
    {
        ExclusionHold freeList(core->freeLock);
        while (taken < count && core->freeList) {
            Block *block = core->freeList;
            core->freeList = block->next;
            block->length = block->capacity < count - taken ? block->capacity : count - taken;
            append(block);
        }
    }
    if (taken < count) {
        uint32_t rest = count - taken;
        void *memory = rest <= UINT32_MAX - sizeof(Block) ? MemoryAlloc(sizeof(Block) + rest) : nullptr;
        if (!memory) {
            ExclusionHold freeList(core->freeLock);
            if (last) {
                last->next = core->freeList;
                core->freeList = first;
            }
            return 0;
        }
        auto *block = static_cast<Block *>(memory);
        block->capacity = rest;
        block->length = rest;
        append(block);
    }

    {
        ExclusionHold positions(core->positionsLock);
        const int64_t start = core->writePosition;
        for (Block *block = first; block; block = block->next)
            block->offset += start;
        core->writePosition = start + count;
        if (core->writePosition > core->size)
            core->size = core->writePosition;
        // Keep the cached copy of the written range current.
        int64_t low = start > core->cacheOffset ? start : core->cacheOffset;
        int64_t cacheEnd = core->cacheOffset + core->cacheValid;
        int64_t high = core->writePosition < cacheEnd ? core->writePosition : cacheEnd;
        if (low < high)
            std::memcpy(core->cache + (low - core->cacheOffset), source + (low - start), high - low);
        ++core->changeCount;
        {
            std::lock_guard<std::mutex> guard(core->signalMutex);
            core->queued += blocks;
        }
        ExclusionHold queue(core->queueLock);
        (core->queueTail ? core->queueTail->next : core->queueHead) = first;
        core->queueTail = last;
    }
    Signal();
    return count;
}

void AsyncFile::ThreadMain(Core *core)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(core->signalMutex);
            if (core->stop)
                break;
        }
        bool worked = WriteQueued(core);
        worked = SlideCache(core) || worked;
        worked = ReadAhead(core) || worked;
        if (!worked) {
            std::unique_lock<std::mutex> guard(core->signalMutex);
            core->wakeUp.wait(guard, [core] { return core->wake; });
            core->wake = false;
        }
    }
    // Whatever the caller wrote before closing still reaches the file.
    WriteQueued(core);
    {
        ExclusionHold freeList(core->freeLock);
        while (Block *block = core->freeList) {
            core->freeList = block->next;
            MemoryFree(block);
        }
    }
    {
        std::lock_guard<std::mutex> guard(core->signalMutex);
        core->stop = false;
        core->finished = true;
        core->finishedSignal.notify_all();
    }
    Release(core);
}

// Takes everything queued so far and writes it in order, each run of adjoining blocks with one system call.
// The written blocks go to the free list together, so that the client's writes meet the thread on the two list
// locks only once per batch.
bool AsyncFile::WriteQueued(Core *core)
{
    bool worked = false;
    for (;;) {
        Block *first;
        {
            ExclusionHold queue(core->queueLock);
            first = core->queueHead;
            core->queueHead = core->queueTail = nullptr;
        }
        if (!first)
            return worked;
        Block *last = first;
        uint32_t written = 0;
        for (Block *block = first; block;) {
            iovec parts[kMaxRun];
            int count = 0;
            const int64_t offset = block->offset;
            size_t total = 0;
            for (; block && count < kMaxRun && block->offset == offset + int64_t(total); block = block->next) {
                parts[count++] = {block->Data(), block->length};
                total += block->length;
                last = block;
            }
            ExclusionHold handle(core->handleLock);
            if (!WriteAllAt(core->handle, parts, count, offset))
                core->writeFailed = true;
            written += uint32_t(count);
        }
        {
            ExclusionHold freeList(core->freeLock);
            last->next = core->freeList;
            core->freeList = first;
        }
        {
            std::lock_guard<std::mutex> guard(core->signalMutex);
            core->queued -= written;
            if (core->queued == 0)
                core->drained.notify_all();
        }
        worked = true;
    }
}

// Once the reader is a quarter of the buffer into the cache, drop what lies behind it to make room ahead.
bool AsyncFile::SlideCache(Core *core)
{
    ExclusionHold positions(core->positionsLock);
    const int64_t passed = core->readPosition - core->cacheOffset;
    if (core->cacheValid == 0 || passed <= 0 || passed < core->bufferSize / 4 || passed > core->cacheValid)
        return false;
    core->cacheValid -= uint32_t(passed);
    std::memmove(core->cache, core->cache + passed, core->cacheValid);
    core->cacheOffset = core->readPosition;
    return true;
}

bool AsyncFile::ReadAhead(Core *core)
{
    int64_t from;
    uint32_t want;
    uint64_t changes;
    {
        ExclusionHold positions(core->positionsLock);
        from = core->cacheOffset + core->cacheValid;
        if (core->cacheValid == core->bufferSize || from >= core->size)
            return false;
        {
            std::lock_guard<std::mutex> guard(core->signalMutex);
            if (core->queued != 0)
                return true;
        }
        want = core->bufferSize - core->cacheValid;
        if (want > core->size - from)
            want = uint32_t(core->size - from);
        changes = core->changeCount;
    }
    uint32_t got;
    {
        ExclusionHold handle(core->handleLock);
        got = ReadAt(core->handle, core->scratch, want, from);
    }
    ExclusionHold positions(core->positionsLock);
    if (core->changeCount != changes)
        return true;
    // The cache may have slid or been reloaded meanwhile; the bytes still fit when it ends where they start.
    if (core->cacheOffset + core->cacheValid != from)
        return true;
    uint32_t room = core->bufferSize - core->cacheValid;
    if (got > room)
        got = room;
    std::memcpy(core->cache + core->cacheValid, core->scratch, got);
    core->cacheValid += got;
    return got > 0;
}

} // namespace sirrel
