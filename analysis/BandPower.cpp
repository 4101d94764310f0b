// Energy sums of a power spectrum (see BandPower.h).
//
// The long sums run in double.
#include "analysis/BandPower.h"

#include <cmath>

namespace {

// Sum of power[k] (times gain[k]) for k in [from, to) in Acc. Eight partial
// sums, which the compiler keeps in vector registers, so that the additions
// do not wait on each other.
template <typename Acc, typename T>
Acc sumBins(const T* power, const float* gain, int from, int to)
{
    Acc lanes[8] = {};
    int k = from;
    if (gain) {
        for (; k + 8 <= to; k += 8)
            for (int j = 0; j < 8; ++j)
                lanes[j] += static_cast<Acc>(power[k + j]) * gain[k + j];
    } else {
        for (; k + 8 <= to; k += 8)
            for (int j = 0; j < 8; ++j)
                lanes[j] += power[k + j];
    }
    Acc sum = ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
              ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    for (; k < to; ++k)
        sum += gain ? static_cast<Acc>(power[k]) * gain[k] : static_cast<Acc>(power[k]);
    return sum;
}

template <typename T>
double energyOf(const T* power, const float* gain, int h, double lo, double hi)
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
    return part(first, lo, first + 0.5) + sumBins<double>(power, gain, first + 1, last) +
           part(last, last - 0.5, hi);
}

template <typename T>
BandTotals totalsOf(const T* power, const float* gain, int h, const float edges[4],
                    const EnergyScale& scale)
{
    // With the edges in order, the overall energy is the bands' and that of
    // the bins below and above them: one pass over the spectrum.
    double energy[3];
    for (int b = 0; b < 3; ++b)
        energy[b] = energyOf(power, gain, h, edges[b], edges[b + 1]);
    const bool ordered = edges[0] <= edges[1] && edges[1] <= edges[2] && edges[2] <= edges[3];
    const double overall =
        ordered ? energyOf(power, gain, h, 0.5, edges[0]) + energy[0] + energy[1] + energy[2] +
                      energyOf(power, gain, h, edges[3], h + 0.5)
                : energyOf(power, gain, h, 0.5, h + 0.5);
    BandTotals t;
    for (int b = 0; b < 3; ++b)
        t.band[b] = energyLevel(energy[b], scale);
    t.overall = energyLevel(overall, scale);
    return t;
}

}  // namespace

float powerSum(const float* power, const float* gain, int from, int to)
{
    return sumBins<float>(power, gain, from, to);
}

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

void blockPower(const float* re, const float* im, int h, const EnergyScale& scale, float* power,
                const float* gain)
{
    const float g = static_cast<float>(scale.powerScale);
    if (gain) {
        for (int k = 0; k <= h; ++k)
            power[k] = (re[k] * re[k] + im[k] * im[k]) * g * gain[k];
        return;
    }
    for (int k = 0; k <= h; ++k)
        power[k] = (re[k] * re[k] + im[k] * im[k]) * g;
}

double bandEnergy(const float* power, const float* gain, int h, double lo, double hi)
{
    return energyOf(power, gain, h, lo, hi);
}

double bandEnergy(const double* power, const float* gain, int h, double lo, double hi)
{
    return energyOf(power, gain, h, lo, hi);
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
    return totalsOf(power, gain, h, edges, scale);
}

BandTotals bandTotals(const double* power, const float* gain, int h, const float edges[4],
                      const EnergyScale& scale)
{
    return totalsOf(power, gain, h, edges, scale);
}

float toneLevel(const float* power, int h, const EnergyScale& scale)
{
    return strongestTone(power, h, scale).level;
}

ToneReading strongestTone(const float* power, int h, const EnergyScale& scale)
{
    if (h < 1)
        return {LevelFloorDb, 0.0};
    int peak = 1;
    for (int k = 2; k <= h; ++k)
        if (power[k] > power[peak])
            peak = k;
    const int lo = peak - scale.toneHalfWidth < 1 ? 1 : peak - scale.toneHalfWidth;
    const int hi = peak + scale.toneHalfWidth > h ? h : peak + scale.toneHalfWidth;
    const double energy = sumBins<double>(power, nullptr, lo, hi + 1);
    // Where the tone lies: the power-weighted centre of its main lobe, which
    // the window makes symmetric about the tone. The rectangular window's
    // slow side lobes would pull a wide centre off; its peak and nearest
    // neighbours place the tone within a fifth of a bin.
    const int reach = scale.toneHalfWidth > 5 ? 1 : scale.toneHalfWidth;
    const int from = peak - reach < 1 ? 1 : peak - reach;
    const int to = peak + reach > h ? h : peak + reach;
    double weight = 0.0, moment = 0.0;
    for (int k = from; k <= to; ++k) {
        weight += power[k];
        moment += static_cast<double>(k) * power[k];
    }
    const double bin = weight > 0.0 ? moment / weight : static_cast<double>(peak);
    return {energyLevel(energy, scale), bin};
}
