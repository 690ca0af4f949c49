#include "dsp/tone_search.h"

#include <algorithm>
#include <cmath>

#include "dsp/avx2_clones.h"

namespace sirrel {

namespace {

// The band and the plausible shifts: the spectrum search's 100 ... 2900 Hz and 130 Hz, up to 1200 Hz apart.
constexpr double kLowest = 100.0;
constexpr double kHighest = 2900.0;
constexpr double kMinShift = 130.0;
constexpr double kMaxShift = 1200.0;
// Blocks of about 23 ms (two bits at 100 Bd): short enough to see the tones take turns, long enough to tell
// tones 170 Hz apart. The transform is twice as long (zero-padded) for a finer grid.
constexpr uint32_t kBlockDivisor = 32;
constexpr uint32_t kMinBlock = 32;
// Weight of the earlier frames in the moments (about five frames, one second at 11025 Hz).
constexpr double kKeep = 0.8;
// A pair alternates when its energies are at least this anti-correlated and swing by this share of their means:
// steady lines only ripple a little where their sidelobes meet.
constexpr double kMinAlternation = 0.15;
constexpr double kMinSwing = 0.01;
// A tone holds at least this share of the energy of the strongest bin; sidelobes do not take part.
constexpr double kMinShare = 0.01;
// A bin takes part in the products while its energy is within this share of the strongest bin's (32 dB): well
// below the share a tone needs, so that every pair the search looks at has all of its products.
constexpr double kActive = kMinShare / 16.0;
// Columns of the products summed together.
constexpr size_t kColumnRun = 8;
// Spectrum tones this close to the alternating ones are the same tones: the spectrum's placing stands.
constexpr int32_t kSameTones = 8;

// Offset of the vertex of the parabola through (-1, a), (0, b), (1, c), within half a step.
double Vertex(double a, double b, double c)
{
    const double curve = a - 2.0 * b + c;
    return curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
}

} // namespace

ToneSearch::ToneSearch() = default;

ToneSearch::~ToneSearch()
{
    if (fft_)
        OruFFT_Destruct(fft_, 1);
}

void ToneSearch::SetRate(uint32_t rate)
{
    rate_ = rate;
    started_ = false;
    bins_ = 0;
    if (rate == 0)
        return;
    block_ = kMinBlock;
    while (block_ * 2 <= rate / kBlockDivisor)
        block_ *= 2;
    const uint32_t size = 2 * block_;
    if (!fft_)
        fft_ = OruFFT2Float_Construct(nullptr);
    if (!fft_)
        return;
    OruFFT2Float_BufferSize(fft_, size);
    OruFFT_WindowType(fft_, ORU_FFT_RECTANGULAR);
    const double step = double(rate) / size;
    first_ = uint32_t(std::ceil(kLowest / step));
    const uint32_t last = std::min(uint32_t(kHighest / step), size / 2 - 1);
    if (last <= first_)
        return;
    bins_ = last - first_ + 1;
    minApart_ = uint32_t(std::ceil(kMinShift / step));
    maxApart_ = std::min(uint32_t(kMaxShift / step), bins_ - 1);
    window_.resize(block_);
    for (uint32_t i = 0; i < block_; ++i)
        window_[i] = float(0.5 - 0.5 * std::cos(2.0 * M_PI * (i + 0.5) / block_));
    windowed_.assign(size, 0);
    const size_t products = size_t(bins_) * (maxApart_ + 1);
    for (std::vector<double> *moments : {&mean_, &square_, &frameMean_, &frameSquare_})
        moments->assign(bins_, 0.0);
    product_.assign(products, 0.0);
    frameProduct_.assign(products, 0.0);
}

// The windowing, the products and the moments vectorise twice as wide with AVX2.
SIRREL_AVX2_CLONES void ToneSearch::Feed(const int16_t *x, uint32_t n)
{
    if (!x || bins_ == 0 || n < block_)
        return;
    const uint32_t hop = block_ / 2;
    const uint32_t blocks = (n - block_) / hop + 1;
    if (energies_.size() < size_t(blocks) * bins_)
        energies_.resize(size_t(blocks) * bins_);
    std::fill(frameMean_.begin(), frameMean_.end(), 0.0);
    std::fill(frameSquare_.begin(), frameSquare_.end(), 0.0);
    for (uint32_t j = 0; j < blocks; ++j) {
        const int16_t *block = x + size_t(j) * hop;
        int32_t *windowed = windowed_.data();
        const float *window = window_.data();
        for (uint32_t i = 0, size = block_; i < size; ++i)
            windowed[i] = int32_t(block[i] * window[i]);
        fft_->ComputeReal32(fft_, windowed_.data(), uint32_t(windowed_.size()));
        const float *e = fft_->Module + first_;
        std::copy(e, e + bins_, &energies_[size_t(j) * bins_]);
        for (uint32_t k = 0; k < bins_; ++k) {
            frameMean_[k] += e[k];
            frameSquare_[k] += double(e[k]) * e[k];
        }
    }

    // Only bins with some energy, in this frame or in the moments, can become a tone: the products of the
    // others stay out, which keeps the cost down while the band is mostly empty.
    const double loudNow = *std::max_element(frameMean_.begin(), frameMean_.end());
    const double loudBefore = started_ ? *std::max_element(mean_.begin(), mean_.end()) : 0.0;
    const uint32_t stride = maxApart_ + 1;
    std::fill(frameProduct_.begin(), frameProduct_.end(), 0.0f);
    for (uint32_t a = 0; a < bins_; ++a) {
        if (frameMean_[a] < kActive * loudNow && mean_[a] < kActive * loudBefore)
            continue;
        const uint32_t last = std::min(maxApart_, bins_ - 1 - a);
        if (last < minApart_)
            continue;
        float *row = &frameProduct_[size_t(a) * stride + minApart_];
        const float *ea = &energies_[a];
        const float *eb = ea + minApart_;
        const size_t columns = last - minApart_ + 1;
        // Eight columns at a time stay in registers while the blocks are summed, each in the blocks' order.
        size_t d = 0;
        for (; d + kColumnRun <= columns; d += kColumnRun) {
            float sums[kColumnRun] = {};
            for (uint32_t j = 0; j < blocks; ++j) {
                const size_t at = size_t(j) * bins_;
                for (size_t c = 0; c < kColumnRun; ++c)
                    sums[c] += ea[at] * eb[at + d + c];
            }
            std::copy(sums, sums + kColumnRun, row + d);
        }
        for (; d < columns; ++d) {
            float sum = 0.0f;
            for (uint32_t j = 0; j < blocks; ++j)
                sum += ea[size_t(j) * bins_] * eb[size_t(j) * bins_ + d];
            row[d] = sum;
        }
    }

    const double keep = started_ ? kKeep : 0.0;
    const double share = (1.0 - keep) / blocks;
    for (uint32_t k = 0; k < bins_; ++k) {
        mean_[k] = keep * mean_[k] + share * frameMean_[k];
        square_[k] = keep * square_[k] + share * frameSquare_[k];
    }
    for (size_t i = 0; i < product_.size(); ++i)
        product_[i] = keep * product_[i] + share * double(frameProduct_[i]);
    started_ = true;
}

double ToneSearch::Covariance(int32_t a, int32_t b) const
{
    const int32_t d = b - a;
    if (a < 0 || b >= int32_t(bins_) || d < int32_t(minApart_) || d > int32_t(maxApart_))
        return 0.0;
    return product_[size_t(a) * (maxApart_ + 1) + size_t(d)] - mean_[size_t(a)] * mean_[size_t(b)];
}

// The correlation of the two energies, turned round: 1 for tones that strictly take turns.
double ToneSearch::Alternation(int32_t a, int32_t b) const
{
    const double varA = square_[size_t(a)] - mean_[size_t(a)] * mean_[size_t(a)];
    const double varB = square_[size_t(b)] - mean_[size_t(b)] * mean_[size_t(b)];
    if (varA <= 0.0 || varB <= 0.0)
        return 0.0;
    return -Covariance(a, b) / std::sqrt(varA * varB);
}

double ToneSearch::GridHertz(double index) const { return (first_ + index) * rate_ / (2.0 * block_); }

TonePair ToneSearch::Alternating(int32_t shift) const
{
    if (!started_ || bins_ == 0)
        return {0, 0};
    const double step = double(rate_) / (2.0 * block_);
    // The strength of the alternation, -covariance, ranks the pairs: it grows with the tones' power.
    int32_t bestA = -1;
    int32_t bestD = 0;
    double best = 0.0;
    const double least = kMinShare * *std::max_element(mean_.begin(), mean_.end());
    auto consider = [&](int32_t a, int32_t d) {
        if (a + d >= int32_t(bins_) || mean_[size_t(a)] < least || mean_[size_t(a + d)] < least)
            return;
        const double score = -Covariance(a, a + d);
        if (score > best) {
            best = score;
            bestA = a;
            bestD = d;
        }
    };
    if (shift == 0) {
        for (int32_t a = 0; a < int32_t(bins_); ++a) {
            if (mean_[size_t(a)] < least)
                continue;
            for (int32_t d = int32_t(minApart_); d <= int32_t(maxApart_); ++d)
                consider(a, d);
        }
    } else {
        // The grid spacings on either side of the shift: the pair refined below sits between them.
        const int32_t below = int32_t(shift / step);
        for (int32_t d = std::max(below, int32_t(minApart_)); d <= std::min(below + 1, int32_t(maxApart_)); ++d)
            for (int32_t a = 0; a < int32_t(bins_); ++a)
                consider(a, d);
    }
    if (bestA < 0 || Alternation(bestA, bestA + bestD) < kMinAlternation ||
        best < kMinSwing * mean_[size_t(bestA)] * mean_[size_t(bestA + bestD)])
        return {0, 0};
    // Between grid points: the vertex of the score along each tone with the other one fixed. With a shift the
    // pair is centred between the two.
    auto score = [&](int32_t a, int32_t b) { return -Covariance(a, b); };
    const int32_t a = bestA;
    const int32_t b = bestA + bestD;
    double low = a + Vertex(score(a - 1, b), best, score(a + 1, b));
    const double high = b + Vertex(score(a, b - 1), best, score(a, b + 1));
    if (shift != 0)
        low = (low + high - shift / step) / 2.0;
    const TonePair tones = {int32_t(std::lround(GridHertz(low))), int32_t(std::lround(GridHertz(high)))};
    return LockShift(tones, shift, true);
}

TonePair ToneSearch::Mend(TonePair peaks, int32_t shift) const
{
    const TonePair alternating = Alternating(shift);
    if (alternating.high == 0)
        return peaks;
    if (std::abs(peaks.low - alternating.low) <= kSameTones && std::abs(peaks.high - alternating.high) <= kSameTones)
        return peaks;
    return alternating;
}

} // namespace sirrel
