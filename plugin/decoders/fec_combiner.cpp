#include "decoders/fec_combiner.h"

#include <algorithm>

#include "decoders/character_sets.h"

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
    if (first.valid && repeat.valid)
        output_(Likelier(first, repeat));
    else if (first.valid || repeat.valid)
        output_(first.valid ? first.code : repeat.code);
    else if (repeated)
        output_(Combined(first, repeat));
}

int32_t FecCombiner::Combined(const Slot &first, const Slot &repeat) const
{
    std::array<int32_t, 7> sum{};
    bool any = false;
    for (size_t k = 0; k < sum.size(); ++k) {
        sum[k] = int32_t(first.soft[k]) + repeat.soft[k];
        any = any || first.soft[k] != 0 || repeat.soft[k] != 0;
    }
    if (!constantRatio_ || !any)
        return errorMark_;
    return (first.code & ~0x7F) | LikeliestConstantRatio(sum);
}

int32_t FecCombiner::Likelier(const Slot &first, const Slot &repeat) const
{
    if (first.code == repeat.code)
        return first.code;
    // The agreement of each copy's bits with the summed confidence.
    int64_t favour = 0;
    for (size_t k = 0; k < first.soft.size(); ++k) {
        const int32_t sum = int32_t(first.soft[k]) + repeat.soft[k];
        favour += ((first.code >> k & 1) ? sum : -sum) - ((repeat.code >> k & 1) ? sum : -sum);
    }
    return favour < 0 ? repeat.code : first.code;
}

void FecCombiner::Push(int32_t code, bool valid, const Soft &soft)
{
    const int64_t m = count_++;
    Slot &slot = At(m);
    slot = {code, valid, soft};
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

void FecCombiner::Replace(int32_t back, int32_t code, bool valid, const Soft &soft)
{
    // Only slots whose character has not been shown yet.
    if (back < 0 || back >= kShowDelay || back >= count_)
        return;
    At(count_ - 1 - back) = {code, valid, soft};
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
