// Prints what the run-time library found out about this processor.
#include <cstdio>

#include "orurt.h"

int main()
{
    const OruCPUInfo *cpu = _CPU();
    std::printf("Vendor:    %s\n", cpu->Vendor);
    std::printf("Name:      %s\n", cpu->Name);
    std::printf("Signature: 0x%08X\n", cpu->Signature);
    std::printf("Features:  0x%08X 0x%08X 0x%08X\n", cpu->Features, cpu->Features2, cpu->ExtendedFeatures);
    std::printf("Code:      0x%08X\n", cpu->ProcessorCode);
    std::printf("Timer:     %u ticks/s\n", cpu->ClockRate);
    return 0;
}
