// The library's own heap: every block 64-byte aligned, regions taken from the system and handed back when
// they empty, one library-wide spin lock around allocation.
#include <sys/mman.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "orurt.h"

namespace {

struct Region;

struct Block {
    Block *next;
    Block *previous;
    uint32_t flags; // bit 0: in use
    uint32_t size;  // including this header
    Region *region;
};
constexpr uint32_t kBlockHeader = 64;
constexpr uint32_t kInUse = 1;
static_assert(sizeof(Block) <= kBlockHeader);

struct Region {
    Region *next;
    Region *previous;
    uint32_t freeBytes;
    uint32_t totalSize;
    Block *firstBlock;
};
constexpr uint32_t kRegionHeader = (sizeof(Region) + 63) & ~63u;

// Largest request whose block and region sizes still fit in 32 bits.
constexpr uint32_t kMaxRequest = 0xFFFFFFFFu - 0x2000u;

Region *regionList = nullptr;
std::atomic<uint32_t> heapLock{0};

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

void sleepOneMillisecond()
{
    timespec ts{0, 1000000};
    nanosleep(&ts, nullptr);
}

class HeapGuard {
public:
    HeapGuard()
    {
        // A few polite spins cover the usual short hold before falling back to the 1 ms wait.
        for (int spin = 0;; ++spin) {
            if (heapLock.exchange(1, std::memory_order_acquire) == 0)
                return;
            if (spin < 64)
                cpuRelax();
            else
                sleepOneMillisecond();
        }
    }
    ~HeapGuard() { heapLock.store(0, std::memory_order_release); }
    HeapGuard(const HeapGuard &) = delete;
    HeapGuard &operator=(const HeapGuard &) = delete;
};

uint8_t *userPointer(Block *block) { return reinterpret_cast<uint8_t *>(block) + kBlockHeader; }

Block *blockAt(void *address) { return static_cast<Block *>(address); }

Region *newRegion(uint32_t need)
{
    uint32_t size = (need + 0x1052u) & ~4095u;
    void *memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    auto *region = static_cast<Region *>(memory);
    Block *block = blockAt(static_cast<uint8_t *>(memory) + kRegionHeader);
    block->next = nullptr;
    block->previous = nullptr;
    block->flags = 0;
    block->size = (size - kRegionHeader) & ~63u;
    block->region = region;
    region->freeBytes = block->size;
    region->totalSize = size;
    region->firstBlock = block;
    region->previous = nullptr;
    region->next = regionList;
    if (regionList)
        regionList->previous = region;
    regionList = region;
    return region;
}

void releaseRegion(Region *region)
{
    if (region->previous)
        region->previous->next = region->next;
    else
        regionList = region->next;
    if (region->next)
        region->next->previous = region->previous;
    munmap(region, region->totalSize);
}

// Marks a free block used for `need` bytes, splitting off the tail as a new free block.
void takeBlock(Block *block, uint32_t need)
{
    if (block->size > need) {
        Block *tail = blockAt(reinterpret_cast<uint8_t *>(block) + need);
        tail->next = block->next;
        tail->previous = block;
        tail->flags = 0;
        tail->size = block->size - need;
        tail->region = block->region;
        if (block->next)
            block->next->previous = tail;
        block->next = tail;
        block->size = need;
    }
    block->flags = kInUse;
    block->region->freeBytes -= need;
}

void *allocate(uint32_t size)
{
    if (size > kMaxRequest)
        return nullptr;
    // An empty request still gets user bytes: a block of header only could end exactly where a neighbouring
    // region starts, and its user pointer would then be looked up in the wrong region.
    if (size == 0)
        size = 1;
    uint32_t need = (size + 127u) & ~63u;
    Block *best = nullptr;
    for (Region *region = regionList; region && !(best && best->size == need); region = region->next) {
        if (region->freeBytes < need)
            continue;
        for (Block *block = region->firstBlock; block; block = block->next) {
            if ((block->flags & kInUse) || block->size < need)
                continue;
            if (!best || block->size < best->size)
                best = block;
            if (block->size == need)
                break;
        }
    }
    if (!best) {
        Region *region = newRegion(need);
        if (!region)
            return nullptr;
        best = region->firstBlock;
    }
    takeBlock(best, need);
    return userPointer(best);
}

// The in-use block whose user pointer is `pointer`, or null when the allocator does not know it.
Block *findBlock(const void *pointer)
{
    auto address = reinterpret_cast<uintptr_t>(pointer);
    for (Region *region = regionList; region; region = region->next) {
        auto start = reinterpret_cast<uintptr_t>(region);
        if (address < start || address >= start + region->totalSize)
            continue;
        for (Block *block = region->firstBlock; block; block = block->next) {
            if (userPointer(block) == pointer)
                return (block->flags & kInUse) ? block : nullptr;
        }
        return nullptr;
    }
    return nullptr;
}

void unlinkBlock(Block *block)
{
    if (block->previous)
        block->previous->next = block->next;
    if (block->next)
        block->next->previous = block->previous;
}

void release(Block *block)
{
    Region *region = block->region;
    block->flags = 0;
    region->freeBytes += block->size;
    if (Block *next = block->next; next && !(next->flags & kInUse)) {
        block->size += next->size;
        unlinkBlock(next);
    }
    if (Block *previous = block->previous; previous && !(previous->flags & kInUse)) {
        previous->size += block->size;
        unlinkBlock(block);
        block = previous;
    }
    if (region->firstBlock == block && !block->next)
        releaseRegion(region);
}

} // namespace

void *MemoryAlloc(uint32_t size)
{
    HeapGuard guard;
    return allocate(size);
}

void MemoryFree(void *pointer)
{
    if (!pointer)
        return;
    HeapGuard guard;
    if (Block *block = findBlock(pointer))
        release(block);
}

void *MemoryReAlloc(void *pointer, uint32_t size)
{
    HeapGuard guard;
    if (!pointer)
        return allocate(size);
    Block *block = findBlock(pointer);
    if (!block)
        return pointer;
    uint32_t capacity = block->size - kBlockHeader;
    if (size <= capacity)
        return pointer;
    void *moved = allocate(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, pointer, capacity);
    release(block);
    return moved;
}

void *MemoryDuplicate(const void *source, uint32_t size)
{
    void *copy = MemoryAlloc(size);
    if (copy && size)
        std::memcpy(copy, source, size);
    return copy;
}

void *MemoryCopy(void *destination, const void *source, uint32_t size)
{
    if (size)
        std::memmove(destination, source, size);
    return destination;
}

int32_t MemoryCompare(const void *a, const void *b, uint32_t size)
{
    auto *x = static_cast<const uint8_t *>(a);
    auto *y = static_cast<const uint8_t *>(b);
    for (uint32_t i = 0; i < size; ++i) {
        if (x[i] != y[i])
            return int32_t(x[i]) - int32_t(y[i]);
    }
    return 0;
}

void *MemorySet_Byte(void *destination, uint8_t value, uint32_t count)
{
    if (count)
        std::memset(destination, value, count);
    return destination;
}

void *MemorySet_Word(void *destination, uint16_t value, uint32_t count)
{
    auto *words = static_cast<uint16_t *>(destination);
    for (uint32_t i = 0; i < count; ++i)
        words[i] = value;
    return destination;
}

void *MemorySet_DWord(void *destination, uint32_t value, uint32_t count)
{
    auto *words = static_cast<uint32_t *>(destination);
    for (uint32_t i = 0; i < count; ++i)
        words[i] = value;
    return destination;
}

void MemoryRead_PIO_Word(void *destination, const volatile void *source, uint32_t count)
{
    auto *port = static_cast<const volatile uint16_t *>(source);
    auto *out = static_cast<uint16_t *>(destination);
    for (uint32_t i = 0; i < count; ++i)
        out[i] = *port;
}

uint8_t SafeExchange_Byte(volatile uint8_t *pointer, uint8_t value)
{
    return __atomic_exchange_n(pointer, value, __ATOMIC_SEQ_CST);
}

uint32_t SafeExchange_DWord(volatile uint32_t *pointer, uint32_t value)
{
    return __atomic_exchange_n(pointer, value, __ATOMIC_SEQ_CST);
}
