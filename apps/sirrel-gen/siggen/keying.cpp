#include "keying.h"

namespace sirrel::siggen {

void Keying::Append(int level, double bits)
{
    if (bits <= 0.0)
        return;
    level = level == kSilent ? kSilent : level ? 1 : 0;
    if (!elements_.empty() && elements_.back().level == level)
        elements_.back().bits += bits;
    else
        elements_.push_back({level, bits});
    totalBits_ += bits;
}

void Keying::AppendBitsLsbFirst(unsigned value, int count)
{
    for (int i = 0; i < count; ++i)
        Append((value >> i) & 1u, 1.0);
}

} // namespace sirrel::siggen
