#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "orurt.h"

namespace {

using namespace std::chrono_literals;

TEST(ThreadExclusion, RecursiveHolderMustLeaveAsOftenAsItEntered)
{
    OruThreadExclusion x;
    OruThreadExclusion_Construct(&x);
    OruThreadExclusion_Enter(&x);
    OruThreadExclusion_Enter(&x);

    std::atomic<bool> otherIn{false};
    std::thread other([&] {
        OruThreadExclusion_Enter(&x);
        otherIn = true;
        OruThreadExclusion_Leave(&x);
    });
    OruThreadExclusion_Leave(&x);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(otherIn) << "one Leave released a lock entered twice";
    OruThreadExclusion_Leave(&x);
    other.join();
    EXPECT_TRUE(otherIn);
    EXPECT_EQ(x.EntryCount, 0);
    EXPECT_EQ(x.Owner, 0u);
    OruThreadExclusion_Destruct(&x, 0);
}

TEST(ThreadExclusion, ThreadThatLeftIsNotTheOwnerAnyMore)
{
    OruThreadExclusion x;
    OruThreadExclusion_Construct(&x);
    std::atomic<int> stage{0};
    std::atomic<bool> mainInsideWhileOtherHolds{false};

    OruThreadExclusion_Enter(&x);
    std::thread other([&] {
        OruThreadExclusion_Enter(&x); // waits for the hand-over
        stage = 1;
        std::this_thread::sleep_for(50ms);
        stage = 2;
        OruThreadExclusion_Leave(&x);
    });
    OruThreadExclusion_Leave(&x);
    while (stage.load() == 0)
        std::this_thread::yield();
    OruThreadExclusion_Enter(&x);
    mainInsideWhileOtherHolds = stage.load() != 2;
    OruThreadExclusion_Leave(&x);
    other.join();
    EXPECT_FALSE(mainInsideWhileOtherHolds);
}

TEST(ThreadExclusion, CountersStayConsistentUnderContention)
{
    auto *x = OruThreadExclusion_Construct(nullptr);
    ASSERT_NE(x, nullptr);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 2000; ++i) {
            OruThreadExclusion_Enter(x);
            OruThreadExclusion_Enter(x);
            long seen = counter;
            counter = seen + 1;
            OruThreadExclusion_Leave(x);
            OruThreadExclusion_Leave(x);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4000);
    OruThreadExclusion_Destruct(x, 1);
}

TEST(ThreadExclusion, StrayLeaveDoesNotBreakTheLock)
{
    OruThreadExclusion x;
    OruThreadExclusion_Construct(&x);
    OruThreadExclusion_Leave(&x);
    EXPECT_EQ(x.EntryCount, 0);
    OruThreadExclusion_Enter(&x);
    std::thread([&] { OruThreadExclusion_Leave(&x); }).join();
    EXPECT_EQ(x.EntryCount, 1) << "a thread that does not hold the lock released it";
    OruThreadExclusion_Leave(&x);
}

TEST(CPUInfo, LibraryRecordIsFilledAtLoad)
{
    const OruCPUInfo *cpu = _CPU();
    ASSERT_NE(cpu, nullptr);
    EXPECT_EQ(std::strlen(cpu->Vendor), 12u);
    EXPECT_GT(std::strlen(cpu->Name), 0u);
    EXPECT_GT(cpu->ClockRate, 0u);
#if defined(__x86_64__)
    EXPECT_NE(cpu->Features & ORU_FEATURE_SSE2, 0u);
    if (!std::strcmp(cpu->Vendor, "GenuineIntel")) {
        EXPECT_EQ(cpu->ProcessorCode >> 28, 1u);
    }
    if (!std::strcmp(cpu->Vendor, "AuthenticAMD")) {
        EXPECT_EQ(cpu->ProcessorCode >> 28, 2u);
    }
#endif
}

TEST(CPUInfo, InitFillsCallerRecordAndIgnoresNull)
{
    EXPECT_EQ(OruCPUInfo_Init(nullptr), nullptr);
    OruCPUInfo record;
    std::memset(&record, 0xAA, sizeof(record));
    EXPECT_EQ(OruCPUInfo_Init(&record), &record);
    EXPECT_EQ(std::memcmp(record.Vendor, _CPU()->Vendor, 13), 0);
    EXPECT_EQ(record.Signature, _CPU()->Signature);
}

TEST(CPUInfo, TimerTicksDividedByClockRateAreSeconds)
{
    const OruCPUInfo *cpu = _CPU();
    uint64_t start = OruCPUInfo_GetTimer(cpu);
    auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(200ms);
    uint64_t ticks = OruCPUInfo_GetTimer(cpu) - start;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    double measured = double(ticks) / double(cpu->ClockRate);
    EXPECT_NEAR(measured / wall, 1.0, 0.25);
}

} // namespace
