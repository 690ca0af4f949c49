#include "decoders/fec_combiner.h"

#include <algorithm>

namespace sirrel {

void FecCombiner::SetCodes(int32_t dxPhasing, int32_t rxPhasing, int32_t errorMark)
{
    dxPhasing_ = dxPhasing;
    rxPhasing_ = rxPhasing;
    errorMark_ = errorMark;
}

void FecCombiner::Reset()
{
    count_ = 0;
    score_ = 0;
    firstParity_ = 0;
}

bool FecCombiner::IsPhasing(const Slot &slot) const
{
    return slot.valid && (slot.code == dxPhasing_ || slot.code == rxPhasing_);
}

void FecCombiner::Vote(int64_t parity)
{
    score_ = std::clamp(score_ + (parity == 0 ? 1 : -1), -kMaxScore, kMaxScore);
    // A tie keeps the parity in use, so that the shown copy does not flip on one doubtful slot.
    if (score_ != 0)
        firstParity_ = score_ > 0 ? 0 : 1;
}

void FecCombiner::ShowSlot(int64_t j)
{
    if (j % 2 != firstParity_ || !output_)
        return;
    const Slot &first = At(j);
    const bool repeated = j + kDelay < count_;
    const Slot repeat = repeated ? At(j + kDelay) : Slot{};
    if (first.valid || repeat.valid)
        output_(first.valid ? first.code : repeat.code);
    else if (repeated)
        output_(errorMark_);
}

void FecCombiner::Push(int32_t code, bool valid)
{
    const int64_t m = count_++;
    Slot &slot = At(m);
    slot = {code, valid};
    if (IsPhasing(slot))
        Vote(code == dxPhasing_ ? m % 2 : (m + 1) % 2);
    if (m >= kDelay) {
        const int64_t j = m - kDelay;
        const Slot &first = At(j);
        // Only a first sending and its repetition agree: two checked copies five slots apart vote for the
        // parity of the earlier one when equal and against it when not. Phasing pairs never agree and say
        // nothing here.
        if (first.valid && slot.valid && !IsPhasing(first) && !IsPhasing(slot))
            Vote(first.code == slot.code ? j % 2 : (j + 1) % 2);
    }
    if (m >= kShowDelay)
        ShowSlot(m - kShowDelay);
}

void FecCombiner::Replace(int32_t back, int32_t code, bool valid)
{
    // Only slots whose character has not been shown yet.
    if (back < 0 || back >= kShowDelay || back >= count_)
        return;
    At(count_ - 1 - back) = {code, valid};
}

void FecCombiner::Flush()
{
    // The bad slots at the very end are what made the grid go, not characters.
    int64_t end = count_;
    while (end > 0 && end > count_ - kShowDelay && !At(end - 1).valid)
        --end;
    for (int64_t j = std::max<int64_t>(0, count_ - kShowDelay); j < end; ++j) {
        if (j + kDelay >= end && !At(j).valid)
            continue;
        ShowSlot(j);
    }
    Reset();
}

} // namespace sirrel
