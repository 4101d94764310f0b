// Energy sums of a power spectrum (see BandPower.h).
//
// The long sums run in double and are marked `omp simd` so that the
// compiler may keep partial sums in vector lanes (no OpenMP runtime).
#include "analysis/BandPower.h"

#include <cmath>

namespace {

// Sum of power[k] (times gain[k]) for k in [from, to).
double sumBins(const float* power, const float* gain, int from, int to)
{
    double sum = 0.0;
    if (gain) {
#pragma omp simd reduction(+ : sum)
        for (int k = from; k < to; ++k)
            sum += static_cast<double>(power[k]) * gain[k];
    } else {
#pragma omp simd reduction(+ : sum)
        for (int k = from; k < to; ++k)
            sum += power[k];
    }
    return sum;
}

}  // namespace

int toneHalfWidth(int windowKind)
{
    switch (windowKind) {
    case WindowKind::Hann:
        return 2;
    case WindowKind::FlatTop:
        return 5;
    default:
        return 20;
    }
}

EnergyScale energyScale(int windowKind, const WindowTable& table, int calOffset)
{
    EnergyScale s;
    if (windowKind > WindowKind::Rectangular && windowKind < WindowKind::Count) {
        s.powerScale = 1.0 / (table.coherentGain * table.coherentGain);
        s.noiseBandwidth = table.noiseBandwidth;
    }
    s.toneHalfWidth = toneHalfWidth(windowKind);
    s.calibrationDb = calOffset / 100.0;
    return s;
}

void blockPower(const float* re, const float* im, int h, const EnergyScale& scale, float* power)
{
    const float g = static_cast<float>(scale.powerScale);
    for (int k = 0; k <= h; ++k)
        power[k] = (re[k] * re[k] + im[k] * im[k]) * g;
}

double bandEnergy(const float* power, const float* gain, int h, double lo, double hi)
{
    if (lo < 0.5)
        lo = 0.5;
    if (hi > h + 0.5)
        hi = h + 0.5;
    if (!(hi > lo))
        return 0.0;
    // The bins holding the edges; an upper edge on a bin's lower boundary
    // belongs to the bin below.
    const int first = static_cast<int>(std::floor(lo + 0.5));
    int last = static_cast<int>(std::ceil(hi + 0.5)) - 1;
    if (last < first)
        last = first;
    auto part = [&](int k, double from, double to) {
        const double p = gain ? static_cast<double>(power[k]) * gain[k] : power[k];
        return p * (to - from);
    };
    if (first == last)
        return part(first, lo, hi);
    return part(first, lo, first + 0.5) + sumBins(power, gain, first + 1, last) +
           part(last, last - 0.5, hi);
}

float energyLevel(double energy, const EnergyScale& scale)
{
    const double e = energy / scale.noiseBandwidth;
    if (!(e > 0.0))
        return LevelFloorDb;
    const double db = 10.0 * std::log10(e) + scale.calibrationDb;
    return db > LevelFloorDb ? static_cast<float>(db) : LevelFloorDb;
}

BandTotals bandTotals(const float* power, const float* gain, int h, const float edges[4],
                      const EnergyScale& scale)
{
    BandTotals t;
    for (int b = 0; b < 3; ++b)
        t.band[b] = energyLevel(bandEnergy(power, gain, h, edges[b], edges[b + 1]), scale);
    t.overall = energyLevel(bandEnergy(power, gain, h, 0.5, h + 0.5), scale);
    return t;
}

float toneLevel(const float* power, int h, const EnergyScale& scale)
{
    if (h < 1)
        return LevelFloorDb;
    int peak = 1;
    for (int k = 2; k <= h; ++k)
        if (power[k] > power[peak])
            peak = k;
    const int lo = peak - scale.toneHalfWidth < 1 ? 1 : peak - scale.toneHalfWidth;
    const int hi = peak + scale.toneHalfWidth > h ? h : peak + scale.toneHalfWidth;
    return energyLevel(sumBins(power, nullptr, lo, hi + 1), scale);
}
