// FecCombiner: one character from the two copies of an FEC broadcast. The stream alternates first sendings
// and repetitions, and a character's repetition comes five character slots after its first sending. The
// combiner takes the slots in order, learns which of the two alternating positions holds first sendings (from
// the phasing signals, and from first sendings that agree with their repetition), and shows each character
// from its first copy when that checks, else from its repetition when that checks, else as an error mark.
// Given the demodulator's confidence in each bit, copies that both fail are added bit by bit and a
// constant-ratio character is read from the sum (its three surest one-bits), and of two copies that check but
// differ the one the sum favours is shown.
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
    // Per bit of a code, bit 0 first: the demodulator's confidence that the bit is a 1 (negative: a 0); all 0
    // without a confidence.
    using Soft = std::array<int16_t, 7>;

    void SetOutput(Output output) { output_ = std::move(output); }
    // The phasing signals sent in first-sending and in repetition positions, and the code that the sink shows
    // for a character that neither copy gives.
    void SetCodes(int32_t dxPhasing, int32_t rxPhasing, int32_t errorMark);
    // Whether a character can be read from the copies' confidence: the constant-ratio character sets.
    void SetConstantRatio(bool on) { constantRatio_ = on; }

    // The next slot; `valid` when it passed the code check.
    void Push(int32_t code, bool valid, const Soft &soft = {});
    // A better reading of a slot not yet shown, `back` slots before the last.
    void Replace(int32_t back, int32_t code, bool valid, const Soft &soft = {});
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
        Soft soft{};
    };
    static constexpr int32_t kHistory = 16;
    static constexpr int32_t kMaxScore = 8;

    Slot &At(int64_t index) { return slots_[size_t(index % kHistory)]; }
    bool IsPhasing(const Slot &slot) const;
    // Evidence that slots of parity `parity` are first sendings.
    void Vote(int64_t parity);
    // Shows the character whose first sending is slot j, with its repetition when that has come.
    void ShowSlot(int64_t j);
    // The character of two copies that both failed, from their summed confidence; the error mark without one.
    int32_t Combined(const Slot &first, const Slot &repeat) const;
    // Of two copies that both checked, the one their summed confidence favours; the first on a tie.
    int32_t Likelier(const Slot &first, const Slot &repeat) const;

    Output output_;
    int32_t dxPhasing_ = -1;
    int32_t rxPhasing_ = -1;
    int32_t errorMark_ = 0;
    bool constantRatio_ = false;
    std::array<Slot, kHistory> slots_{};
    int64_t count_ = 0; // slots since the stream began
    int32_t score_ = 0; // > 0: even slots are first sendings
    int32_t firstParity_ = 0;
};

} // namespace sirrel
