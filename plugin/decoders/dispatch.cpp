#include "decoders/dispatch.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace sirrel {

namespace {

int32_t ArqRepetitionSkip(const DecoderParams &params) { return params.Arq().repetitionCycle; }
int32_t ArqCharset(const DecoderParams &params) { return params.Arq().charset; }
int32_t FecRepetitionSkip(const DecoderParams &) { return 1; }
int32_t FecCharset(const DecoderParams &params) { return params.Fec().charset; }
// The repetition cycle counts the repeated character itself.
int32_t ArqmRepetitionSkip(const DecoderParams &params)
{
    const int32_t cycle = params.Arqm().repetitionCycle;
    return cycle > std::numeric_limits<int32_t>::min() ? cycle - 1 : cycle;
}

} // namespace

Dispatcher::Dispatcher(SettingsModel &settings, DataOutputWindow &output)
    : settings_(settings), output_(output), sink_(settings, output), currentMode_(settings.mode)
{
    for (Decoder *decoder : AllDecoders())
        decoder->SetSink([this](const DecodedCode &code) { sink_.Take(code); });
    // Only the main deframer shows frames whose check sequence fails, so the early one is never configured.
    earlyHdlc_.SetSink([this](const DecodedCode &code) { sink_.Take(code); });
    earlyHdlc_.SetGate(&packetGate_);
    for (int32_t k = 0; k < 2; ++k) {
        arq_[size_t(k)].SetSink([this, k](const DecodedCode &code) {
            if (k == mainArq_)
                sink_.Take(code);
            else
                shadowCodes_.push_back(code);
        });
    }

    modes_[kModeIta2] = {&async_, false};
    modes_[kModeIra] = {&async_, false};
    modes_[kModeAscii8] = {&async_, false};
    modes_[kModeArq] = {&arq_[0], true, true, ArqRepetitionSkip, ArqCharset};
    modes_[kModePacket] = {&hdlc_, true};
    modes_[kModeRawBits] = {&rawBits_, true};
    modes_[kModeFec] = {&fec_, true, true, FecRepetitionSkip, FecCharset};
    modes_[kModeCis] = {&cis_, true, true};
    modes_[kModeArqm] = {&arqm_, true, true, ArqmRepetitionSkip};
}

const Dispatcher::Mode &Dispatcher::ModeOf(int32_t mode) const
{
    return mode >= 0 && size_t(mode) < modes_.size() ? modes_[size_t(mode)] : unknownMode_;
}

void Dispatcher::Dispatch(const int16_t *levels, int32_t count, const DecoderParams &params, const int16_t *soft)
{
    if (settings_.paused)
        return;
    if (!levels || count < 0)
        count = 0;

    currentMode_ = params.mode;
    currentSoft_ = params.options.softTiming;
    sink_.BeginBlock(params.mode);

    const Mode &mode = ModeOf(params.mode);
    Decoder *decoder = DecoderFor(mode, currentSoft_);
    if (mode.repetitionSkip)
        sink_.SetRepetitionSkip(mode.repetitionSkip(params));
    if (mode.charset)
        sink_.SetCharset(mode.charset(params));
    if (decoder)
        decoder->Configure(params);
    if (params.mode == kModeArq)
        arq_[size_t(1 - mainArq_)].Configure(params);
    if (params.mode == kModePacket)
        hdlc_.SetGate(soft ? &packetGate_ : nullptr);
    if (mode.clocked)
        RunBitClock(decoder, levels, soft, count, params.samplesPerBit, soft && mode.steadyTiming);
    else
        decoder->Feed(levels, count);

    if (sink_.OutputProduced()) {
        if (params.mode != kModePacket)
            output_.RequestViewsRedraw();
        output_.RequestStatisticsRedraw();
    }
}

Decoder *Dispatcher::SecondDecoder(const Decoder *decoder, const int16_t *soft)
{
    if (!soft)
        return nullptr;
    if (decoder == &hdlc_)
        return &earlyHdlc_;
    if (decoder == &arq_[size_t(mainArq_)] && arq_[size_t(mainArq_)].HasRoomForMargins())
        return &arq_[size_t(1 - mainArq_)];
    return nullptr;
}

bool Dispatcher::TakeShadowTiming()
{
    const SyncArqDecoder &main = arq_[size_t(mainArq_)];
    const SyncArqDecoder &shadow = arq_[size_t(1 - mainArq_)];
    const int32_t mainChecks = main.RecentChecks();
    const int32_t shadowChecks = shadow.RecentChecks();
    const int64_t codes = int64_t(shadow.CharsInCycle()) * SyncArqDecoder::kCompareBlocks;
    const bool take = shadow.TimingConfirmed() &&
                      (!main.KnowsGaps() || (mainChecks >= 0 && shadowChecks >= mainChecks + kShadowLead &&
                                             8 * int64_t(shadowChecks) >= 7 * codes));
    if (take) {
        mainArq_ = 1 - mainArq_;
        arq_[size_t(mainArq_)].SetReadBackLimit(-1);
        for (const DecodedCode &code : shadowCodes_)
            sink_.Take(code);
    }
    shadowCodes_.clear();
    return take;
}

void Dispatcher::RunBitClock(Decoder *decoder, const int16_t *levels, const int16_t *soft, int32_t count,
                             double samplesPerBit, bool steady)
{
    const double s = samplesPerBit;
    double p = bitPhase_;
    int32_t lastLevel = lastLevel_;
    Decoder *second = SecondDecoder(decoder, soft);
    const bool early = second == &earlyHdlc_;
    double e = secondDecision_;
    if (second != secondDecoder_) {
        // A shadow that has not been fed for a while holds bits of another signal.
        if (second && !early)
            second->Reset();
        e = p + s * (early ? 0.5 - kEarlyShift : 1.0);
    }
    auto confidence = [soft](int32_t i) { return int16_t(std::min(std::abs(int32_t(soft[i])), 32767)); };
    for (int32_t i = 0; i < count; ++i) {
        if (second && e <= i) {
            e += s;
            if (early) {
                earlyHdlc_.PushLevel(levels[i]);
            } else {
                const int16_t sure = confidence(i);
                // What the shadow reads back must not repeat what the shown decoder showed.
                const SyncArqDecoder &main = arq_[size_t(mainArq_)];
                arq_[size_t(1 - mainArq_)].SetReadBackLimit(main.BitsSeen() - main.ShownThrough());
                second->FeedSoft(levels + i, &sure, 1);
                if (TakeShadowTiming()) {
                    std::swap(decoder, second);
                    const double mainDecision = p + s / 2;
                    p = e - s / 2;
                    e = mainDecision;
                }
            }
        }
        if (p + s / 2 <= i) {
            if (early)
                packetGate_.Tick();
            if (decoder && soft) {
                const int16_t sure = confidence(i);
                decoder->FeedSoft(levels + i, &sure, 1);
            } else if (decoder) {
                decoder->Feed(levels + i, 1);
            }
            p += s;
        }
        if (levels[i] != lastLevel) {
            lastLevel = levels[i];
            // Transitions in the ARQ gap belong to the other station and must not move the clock.
            if (!decoder || !decoder->HoldsClock()) {
                double share = kEdgePull;
                if (steady) {
                    share = std::max(kSteadyEdgePull, kEdgePull * kGearEdges / (kGearEdges + steadyEdges_));
                    steadyEdges_ += 1.0;
                }
                const double pull = (i - p) * share;
                p += pull;
                e += pull;
            }
        }
    }
    secondDecision_ = e - count;
    secondDecoder_ = second;
    lastLevel_ = lastLevel;
    bitPhase_ = p - count;
}

void Dispatcher::Finish()
{
    Decoder *decoder = DecoderFor(ModeOf(currentMode_), currentSoft_);
    if (settings_.paused || !decoder)
        return;
    decoder->Finish();
}

void Dispatcher::Reset()
{
    for (Decoder *decoder : AllDecoders())
        decoder->Reset();
    earlyHdlc_.Reset();
    packetGate_.Reset();
    mainArq_ = 0;
    shadowCodes_.clear();
    secondDecoder_ = nullptr;
    bitPhase_ = 0.0;
    lastLevel_ = 0;
    steadyEdges_ = 0.0;
    sink_.Reset();
}

} // namespace sirrel
