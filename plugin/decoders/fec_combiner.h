// FecCombiner: one character from the two copies of an FEC broadcast. The stream alternates first sendings
// and repetitions, and a character's repetition comes five character slots after its first sending. The
// combiner takes the slots in order, learns which of the two alternating positions holds first sendings (from
// the phasing signals, and from first sendings that agree with their repetition), and shows each character
// from its first copy when that checks, else from its repetition when that checks, else as an error mark.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace sirrel {

class FecCombiner {
public:
    // Slots from a first sending to its repetition.
    static constexpr int32_t kDelay = 5;
    // Slots a character waits before it is shown, so that a grid that slipped a few slots ago can still
    // replace what it read.
    static constexpr int32_t kShowDelay = 9;

    using Output = std::function<void(int32_t code)>;

    void SetOutput(Output output) { output_ = std::move(output); }
    // The phasing signals sent in first-sending and in repetition positions, and the code that the sink shows
    // for a character that neither copy gives.
    void SetCodes(int32_t dxPhasing, int32_t rxPhasing, int32_t errorMark);

    // The next slot; `valid` when it passed the code check.
    void Push(int32_t code, bool valid);
    // A better reading of a slot not yet shown, `back` slots before the last.
    void Replace(int32_t back, int32_t code, bool valid);
    // The stream ended: show the characters still waiting, up to the last slot that checked, then start
    // afresh.
    void Flush();
    void Reset();

    // 0 or 1: the parity of the slots taken as first sendings.
    int32_t FirstParity() const { return firstParity_; }

private:
    struct Slot {
        int32_t code = 0;
        bool valid = false;
    };
    static constexpr int32_t kHistory = 16;
    static constexpr int32_t kMaxScore = 8;

    Slot &At(int64_t index) { return slots_[size_t(index % kHistory)]; }
    bool IsPhasing(const Slot &slot) const;
    // Evidence that slots of parity `parity` are first sendings.
    void Vote(int64_t parity);
    // Shows the character whose first sending is slot j, with its repetition when that has come.
    void ShowSlot(int64_t j);

    Output output_;
    int32_t dxPhasing_ = -1;
    int32_t rxPhasing_ = -1;
    int32_t errorMark_ = 0;
    std::array<Slot, kHistory> slots_{};
    int64_t count_ = 0; // slots since the stream began
    int32_t score_ = 0; // > 0: even slots are first sendings
    int32_t firstParity_ = 0;
};

} // namespace sirrel
