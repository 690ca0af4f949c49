// Processor identification, the high-resolution timer, and the library's own record filled at load time.
#include <time.h>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define ORU_X86 1
#endif

#include "orurt.h"

namespace {

constexpr uint32_t kFeatureBit9 = 1u << 9;
constexpr uint32_t kFeatureBit13 = 1u << 13;
constexpr uint32_t kAmdK5 = 0x20005001;
// The monotonic clock counts nanoseconds: it stands in for the performance counter.
constexpr uint64_t kCounterFrequency = 1000000000ull;

struct Vendor {
    const char *id;
    uint32_t code;
};

constexpr Vendor kVendors[] = {
    {"GenuineIntel", 1}, {"AuthenticAMD", 2}, {"CyrixInstead", 3}, {"CentaurHauls", 4},
    {"RiseRiseRise", 5}, {"NexGenDriven", 6}, {"UMC UMC UMC ", 7}, {"GenuineTMx86", 8},
};

struct ModelRow {
    uint32_t vendor;
    uint32_t mask;
    uint32_t value;
    uint32_t code;
};

// Searched in order; the first row of the vendor whose masked signature matches wins.
constexpr ModelRow kModels[] = {
    {2, 0xF00, 0x400, 0x20004000},      {2, 0xFF0, 0x500, 0x20005001},      {2, 0xFF0, 0x510, 0x20005001},
    {2, 0xFF0, 0x520, 0x20005001},      {2, 0xFF0, 0x530, 0x20005001},      {2, 0xFF0, 0x560, 0x20006000},
    {2, 0xFF0, 0x570, 0x20006000},      {2, 0xFF0, 0x580, 0x20006001},      {2, 0xFF0, 0x590, 0x20006002},
    {2, 0xF00, 0x600, 0x20007000},      {2, 0xFF00F00, 0xF00, 0x20008000},  {2, 0, 0, 0x20000000},
    {3, 0xFF0, 0x440, 0x30004002},      {3, 0xFF0, 0x520, 0x30005000},      {3, 0xFF0, 0x540, 0x30005001},
    {3, 0xFF0, 0x600, 0x30006001},      {3, 0, 0, 0x30000000},              {4, 0xFF0, 0x540, 0x40005000},
    {4, 0xFF0, 0x580, 0x40005001},      {4, 0xFF0, 0x590, 0x40005002},      {4, 0, 0, 0x40000000},
    {1, 0xF00, 0x400, 0x10004000},      {1, 0xF00, 0x500, 0x10005000},      {1, 0xFF0, 0x610, 0x10006000},
    {1, 0xFF0, 0x630, 0x10006001},      {1, 0xFF0, 0x650, 0x10006001},      {1, 0xFF0, 0x660, 0x10006002},
    {1, 0xFF0, 0x670, 0x10006003},      {1, 0xFF0, 0x680, 0x10006003},      {1, 0xFF0, 0x6A0, 0x10006003},
    {1, 0xFF0, 0x6B0, 0x10006003},      {1, 0xFF0, 0x690, 0x10006004},      {1, 0xFF00F00, 0xF00, 0x10006005},
    {1, 0, 0, 0x10000000},              {8, 0xF00, 0x500, 0x80005000},      {8, 0, 0, 0x80000000},
    {6, 0, 0, 0x60004000},              {5, 0xFF0, 0x500, 0x50005000},      {5, 0xFF0, 0x520, 0x50005000},
    {5, 0, 0, 0x50000000},              {7, 0, 0, 0x70004000},
};

struct Name {
    uint32_t code;
    const char *name;
};

constexpr Name kNames[] = {
    {0, "Unknown"},
    {0x30000, "Generic 386"},
    {0x40000, "Generic 486"},
    {0x50000, "Generic 586"},
    {0x60000, "Generic 686"},
    {0x10003000, "Intel 386"},
    {0x10004000, "Intel 486"},
    {0x10005000, "Intel Pentium"},
    {0x10006000, "Intel PentiumPro"},
    {0x10006001, "Intel PentiumII"},
    {0x10006002, "Intel Celeron"},
    {0x10006003, "Intel PentiumIII"},
    {0x10000000, "Intel CPU"},
    {0x20003000, "AMD 386"},
    {0x20004000, "AMD 486"},
    {0x20005000, "AMD 5x86"},
    {0x20005001, "AMD K5"},
    {0x20000000, "AMD CPU"},
    {0x30004000, "Cyrix 486"},
    {0x30004001, "Cyrix 5x86"},
    {0x30004002, "Cyrix MediaGX"},
    {0x30005000, "Cyrix 6x86"},
    {0x30005001, "Cyrix 6x86-GXm"},
    {0x30006001, "Cyrix 6x86-MX"},
    {0x30000000, "Cyrix CPU"},
    {0x40005000, "Centaur/IDT C6"},
    {0x40005001, "Centaur/IDT C2"},
    {0x40005002, "Centaur/IDT C3"},
    {0x40000000, "Centaur/IDT CPU"},
    {0x50005000, "Rise mP6"},
    {0x50000000, "Rise CPU"},
    {0x60004000, "Nexen 5x86"},
    {0x60000000, "NexGen CPU"},
    {0x70004000, "UMC 486"},
    {0x70000000, "UMC CPU"},
};

uint64_t monotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint32_t lookUpCode(const char *vendor, uint32_t signature)
{
    uint32_t vendorCode = 0;
    for (const Vendor &v : kVendors) {
        if (std::memcmp(v.id, vendor, 12) == 0)
            vendorCode = v.code;
    }
    for (const ModelRow &row : kModels) {
        if (row.vendor == vendorCode && (signature & row.mask) == row.value)
            return row.code;
    }
    return 0;
}

const char *nameOf(uint32_t code)
{
    for (const Name &n : kNames) {
        if (n.code == code)
            return n.name;
    }
    return "";
}

#ifdef ORU_X86
void identify(OruCPUInfo *record)
{
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return;
    std::memcpy(record->Vendor, &b, 4);
    std::memcpy(record->Vendor + 4, &d, 4);
    std::memcpy(record->Vendor + 8, &c, 4);
    if (a >= 1) {
        __cpuid(1, a, b, c, d);
        record->Signature = a;
        record->Features = d;
        record->Features2 = c;
    }
    unsigned highest = __get_cpuid_max(0x80000000u, nullptr);
    if (highest > 0x80000000u) {
        __cpuid(0x80000001u, a, b, c, d);
        record->ExtendedFeatures = d;
        for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u && leaf <= highest; ++leaf) {
            unsigned regs[4];
            __cpuid(leaf, regs[0], regs[1], regs[2], regs[3]);
            std::memcpy(record->Name + 16 * (leaf - 0x80000002u), regs, 16);
        }
    }
    record->ProcessorCode = lookUpCode(record->Vendor, record->Signature);
    if (record->ProcessorCode == kAmdK5 && ((record->Signature >> 4) & 0xF) == 0 &&
        (record->Features & kFeatureBit9)) {
        record->Features = (record->Features & ~kFeatureBit9) | kFeatureBit13;
    }
}

uint64_t timeStampCounter() { return __rdtsc(); }
#else
void identify(OruCPUInfo *) {}
uint64_t timeStampCounter() { return monotonicNanoseconds(); }
#endif

void measureClockRate(OruCPUInfo *record)
{
    record->ClockRate = uint32_t(kCounterFrequency);
    record->ClockRateHigh = uint32_t(kCounterFrequency >> 32);
    if (!(record->Features & ORU_FEATURE_TSC))
        return;
    uint64_t counter0 = monotonicNanoseconds();
    uint64_t stamp0 = timeStampCounter();
    for (uint32_t i = 0; i < 5000000u; ++i)
        __asm__ __volatile__("" ::: "memory"); // keeps the empty loop
    uint64_t counter1 = monotonicNanoseconds();
    uint64_t stamp1 = timeStampCounter();
    uint32_t counterDelta = uint32_t(counter1 - counter0);
    uint32_t stampDelta = uint32_t(stamp1 - stamp0);
    if (counterDelta)
        record->ClockRate = uint32_t(uint64_t(stampDelta) * kCounterFrequency / counterDelta);
}

OruCPUInfo libraryRecord;
int attachments = 0;

__attribute__((constructor)) void attach()
{
    if (attachments++ == 0)
        OruCPUInfo_Init(&libraryRecord);
}

__attribute__((destructor)) void detach() { --attachments; }

} // namespace

OruCPUInfo *OruCPUInfo_Init(OruCPUInfo *record)
{
    if (!record)
        return record;
    std::memset(record, 0, sizeof(*record));
    identify(record);
    if (record->Name[0] == 0)
        std::strcpy(record->Name, nameOf(record->ProcessorCode));
    measureClockRate(record);
    return record;
}

uint64_t OruCPUInfo_GetTimer(const OruCPUInfo *record)
{
    if (record && (record->Features & ORU_FEATURE_TSC))
        return timeStampCounter();
    return monotonicNanoseconds();
}

OruCPUInfo *_CPU(void) { return &libraryRecord; }
