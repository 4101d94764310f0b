// Leq and maximum hold of block power spectra (see Averaging.h).
#include "analysis/Averaging.h"

#include <cmath>

namespace {

int heldBins(int bins)
{
    return bins < 0 ? 0 : (bins > MaxBins ? MaxBins : bins);
}

}  // namespace

void LeqAccumulator::reset(int bins, int length, int rate, double durationSeconds)
{
    bins_ = heldBins(bins);
    length_ = length;
    rate_ = rate;
    blocks_ = 0;
    stopBlocks_ = 0;
    if (durationSeconds > 0.0 && length > 0 && rate > 0) {
        // A hair under a whole block still asks for that block: a duration
        // that is a whole number of blocks is not one more.
        const double blocks = durationSeconds * rate / length;
        stopBlocks_ = static_cast<long>(std::ceil(blocks - 1e-9));
        if (stopBlocks_ < 1)
            stopBlocks_ = 1;
    }
    for (int k = 0; k < bins_; ++k)
        sum_[k] = 0.0;
}

bool LeqAccumulator::add(const float* power)
{
    if (bins_ == 0 || complete())
        return false;
    double* const sum = sum_;
    const int n = bins_;
    for (int k = 0; k < n; ++k)
        sum[k] += power[k];
    ++blocks_;
    return true;
}

bool LeqAccumulator::addAndMean(const float* power, float* out)
{
    if (bins_ == 0 || complete()) {
        mean(out);
        return false;
    }
    ++blocks_;
    const double scale = 1.0 / blocks_;
    double* const sum = sum_;
    const int n = bins_;
    for (int k = 0; k < n; ++k) {
        sum[k] += power[k];
        out[k] = static_cast<float>(sum[k] * scale);
    }
    return true;
}

void LeqAccumulator::mean(float* out) const
{
    const double scale = blocks_ > 0 ? 1.0 / blocks_ : 0.0;
    for (int k = 0; k < bins_; ++k)
        out[k] = static_cast<float>(sum_[k] * scale);
}

BandTotals LeqAccumulator::bandTotals(const float* gain, const float edges[4],
                                      const EnergyScale& scale) const
{
    if (blocks_ == 0 || bins_ == 0)
        return {{LevelFloorDb, LevelFloorDb, LevelFloorDb}, LevelFloorDb};
    // The mean's energy is the sums' over the block count.
    EnergyScale perBlock = scale;
    perBlock.noiseBandwidth *= static_cast<double>(blocks_);
    return ::bandTotals(sum_, gain, bins_ - 1, edges, perBlock);
}

double LeqAccumulator::elapsedSeconds() const
{
    return rate_ > 0 ? static_cast<double>(blocks_) * length_ / rate_ : 0.0;
}

void MaxHold::reset(int bins)
{
    bins_ = heldBins(bins);
    blocks_ = 0;
    for (int k = 0; k < bins_; ++k)
        max_[k] = 0.0f;
}

void MaxHold::add(const float* power)
{
    float* const m = max_;
    const int n = bins_;
    for (int k = 0; k < n; ++k)
        m[k] = power[k] > m[k] ? power[k] : m[k];
    if (n > 0)
        ++blocks_;
}
