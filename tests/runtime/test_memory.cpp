#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "orurt.h"

namespace {

bool isMapped(const void *address)
{
    long page = sysconf(_SC_PAGESIZE);
    auto base = reinterpret_cast<uintptr_t>(address) & ~uintptr_t(page - 1);
    unsigned char residency;
    return mincore(reinterpret_cast<void *>(base), 1, &residency) == 0 || errno != ENOMEM;
}

uint8_t patternAt(uintptr_t key, uint32_t i) { return uint8_t(key * 131 + i * 7); }

void fill(void *p, uint32_t size, uintptr_t key)
{
    auto *bytes = static_cast<uint8_t *>(p);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = patternAt(key, i);
}

bool holds(const void *p, uint32_t size, uintptr_t key)
{
    auto *bytes = static_cast<const uint8_t *>(p);
    for (uint32_t i = 0; i < size; ++i) {
        if (bytes[i] != patternAt(key, i))
            return false;
    }
    return true;
}

// Random allocate / reallocate / free against a shadow model of what every block must hold.
TEST(Allocator, RandomOperationsKeepContentsAndAlignment)
{
    struct Shadow {
        uint32_t size;
        uintptr_t key;
    };
    std::map<void *, Shadow> live;
    std::mt19937 rng(12345);
    uintptr_t nextKey = 1;
    auto randomSize = [&] {
        switch (rng() % 4) {
        case 0:
            return uint32_t(rng() % 64);
        case 1:
            return uint32_t(rng() % 1024);
        case 2:
            return uint32_t(rng() % 16384);
        default:
            return uint32_t(rng() % 200000);
        }
    };
    auto pick = [&] {
        auto it = live.begin();
        std::advance(it, rng() % live.size());
        return it;
    };

    for (int step = 0; step < 10000; ++step) {
        unsigned op = rng() % 10;
        if (live.empty() || op < 4) {
            uint32_t size = randomSize();
            void *p = MemoryAlloc(size);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
            ASSERT_EQ(live.count(p), 0u) << "block handed out twice";
            fill(p, size, nextKey);
            live[p] = {size, nextKey++};
        } else if (op < 7) {
            auto it = pick();
            Shadow old = it->second;
            uint32_t size = randomSize();
            void *p = MemoryReAlloc(it->first, size);
            ASSERT_NE(p, nullptr);
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
            if (size <= old.size) {
                ASSERT_EQ(p, it->first) << "shrinking must keep the block";
            }
            ASSERT_TRUE(holds(p, std::min(size, old.size), old.key)) << "contents lost by reallocation";
            live.erase(it);
            fill(p, size, nextKey);
            live[p] = {size, nextKey++};
        } else {
            auto it = pick();
            ASSERT_TRUE(holds(it->first, it->second.size, it->second.key)) << "block overwritten by a neighbour";
            MemoryFree(it->first);
            live.erase(it);
        }
    }
    for (auto &[p, shadow] : live) {
        ASSERT_TRUE(holds(p, shadow.size, shadow.key));
        MemoryFree(p);
    }
}

TEST(Allocator, UnknownPointersAreIgnored)
{
    int onStack = 0;
    void *fromMalloc = std::malloc(100);
    void *block = MemoryAlloc(1000);
    fill(block, 1000, 7);

    MemoryFree(nullptr);
    MemoryFree(&onStack);
    MemoryFree(fromMalloc);
    MemoryFree(static_cast<uint8_t *>(block) + 64); // inside a block, not its start
    EXPECT_EQ(MemoryReAlloc(&onStack, 5000), &onStack);
    EXPECT_EQ(MemoryReAlloc(static_cast<uint8_t *>(block) + 1, 5000), static_cast<uint8_t *>(block) + 1);

    EXPECT_TRUE(holds(block, 1000, 7));
    void *other = MemoryAlloc(1000);
    EXPECT_NE(other, block) << "a block freed through a foreign pointer was handed out again";
    MemoryFree(other);
    MemoryFree(block);
    std::free(fromMalloc);
}

TEST(Allocator, NullReallocAllocatesAndFreeTwiceIsHarmless)
{
    void *p = MemoryReAlloc(nullptr, 100);
    ASSERT_NE(p, nullptr);
    MemoryFree(p);
    MemoryFree(p);
    void *q = MemoryAlloc(0);
    EXPECT_NE(q, nullptr);
    MemoryFree(q);
}

TEST(Allocator, RefusedRequestsReturnNullAndKeepTheOldBlock)
{
    EXPECT_EQ(MemoryAlloc(0xFFFFFFFFu), nullptr);
    void *p = MemoryAlloc(64);
    fill(p, 64, 3);
    EXPECT_EQ(MemoryReAlloc(p, 0xFFFFFFF0u), nullptr);
    EXPECT_TRUE(holds(p, 64, 3));
    MemoryFree(p);
}

// A block freed between two free neighbours merges with both, and a region left empty goes back to the system.
TEST(Allocator, FreedBlocksMergeAndEmptyRegionsAreReturned)
{
    // Sized so that its new region keeps exactly one 1024-byte block free behind it; nothing else in the heap
    // is this large, so the layout below is ours alone.
    const uint32_t bigNeed = 64u * 1024 * 1024 - 64 - 1024;
    const uint32_t bigSize = bigNeed - 64;
    void *big = MemoryAlloc(bigSize);
    ASSERT_NE(big, nullptr);
    void *keeper = MemoryAlloc(1024 - 64); // exact fit in the spare block of the newest region
    ASSERT_EQ(static_cast<uint8_t *>(keeper), static_cast<uint8_t *>(big) + bigNeed);
    MemoryFree(big);
    ASSERT_TRUE(isMapped(big)) << "the keeper holds the region";

    const uint32_t third = 20u * 1024 * 1024;
    void *a = MemoryAlloc(third);
    void *b = MemoryAlloc(third);
    void *c = MemoryAlloc(third);
    ASSERT_EQ(a, big);
    ASSERT_EQ(static_cast<uint8_t *>(b), static_cast<uint8_t *>(a) + third + 64);
    ASSERT_EQ(static_cast<uint8_t *>(c), static_cast<uint8_t *>(b) + third + 64);
    MemoryFree(a);
    MemoryFree(c);
    MemoryFree(b); // merges with the free block before and the free block after

    void *again = MemoryAlloc(bigSize);
    EXPECT_EQ(again, big) << "the three pieces did not merge back into one block";
    MemoryFree(again);
    MemoryFree(keeper);
    EXPECT_FALSE(isMapped(big)) << "an emptied region must be returned";
}

TEST(Allocator, ReallocGrowingMovesAndCopiesTheWholeBlock)
{
    auto *p = static_cast<uint8_t *>(MemoryAlloc(100));
    fill(p, 100, 9);
    // The block's user area is 128 bytes: growing inside it keeps the pointer.
    EXPECT_EQ(MemoryReAlloc(p, 128), p);
    auto *q = static_cast<uint8_t *>(MemoryReAlloc(p, 100000));
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(holds(q, 100, 9));
    MemoryFree(q);
}

TEST(MemoryFunctions, CopyHandlesOverlapBothWays)
{
    char up[] = "abcdefghij";
    MemoryCopy(up + 2, up, 6);
    EXPECT_STREQ(up, "ababcdefij");
    char down[] = "abcdefghij";
    MemoryCopy(down, down + 2, 6);
    EXPECT_STREQ(down, "cdefghghij");
}

TEST(MemoryFunctions, CompareAndSet)
{
    const uint8_t a[] = {1, 2, 0x80};
    const uint8_t b[] = {1, 2, 0x01};
    EXPECT_EQ(MemoryCompare(a, b, 2), 0);
    EXPECT_EQ(MemoryCompare(a, b, 3), 0x7F) << "bytes compare unsigned";
    EXPECT_EQ(MemoryCompare(b, a, 3), -0x7F);
    EXPECT_EQ(MemoryCompare(a, b, 0), 0);

    uint32_t words[4] = {};
    MemorySet_DWord(words, 0xDEADBEEF, 3);
    EXPECT_EQ(words[2], 0xDEADBEEFu);
    EXPECT_EQ(words[3], 0u);
    uint16_t halves[3] = {};
    MemorySet_Word(halves, 0xABCD, 2);
    EXPECT_EQ(halves[1], 0xABCD);
    EXPECT_EQ(halves[2], 0);
    uint8_t bytes[4] = {};
    MemorySet_Byte(bytes, 0x5A, 3);
    EXPECT_EQ(bytes[2], 0x5A);
    EXPECT_EQ(bytes[3], 0);

    auto *dup = static_cast<uint8_t *>(MemoryDuplicate(a, 3));
    EXPECT_EQ(MemoryCompare(dup, a, 3), 0);
    MemoryFree(dup);
}

TEST(MemoryFunctions, PortReadAndExchange)
{
    volatile uint16_t port = 0x1234;
    uint16_t out[3] = {};
    MemoryRead_PIO_Word(out, &port, 3);
    EXPECT_EQ(out[0], 0x1234);
    EXPECT_EQ(out[2], 0x1234);

    volatile uint8_t flag = 1;
    EXPECT_EQ(SafeExchange_Byte(&flag, 9), 1);
    EXPECT_EQ(flag, 9);
    volatile uint32_t word = 5;
    EXPECT_EQ(SafeExchange_DWord(&word, 6), 5u);
    EXPECT_EQ(word, 6u);
}

} // namespace
