// Energy sums of a spectrum: band totals, the overall level and the level
// of a calibrator tone, from per-bin powers. Portable: no <windows.h>.
//
// How it works
// - A block's power spectrum is the squared magnitude of each bin of its
//   (windowed) transform divided by the window's squared coherent gain:
//   10 log10 of a bin's power is the level the analysis shows for it, and a
//   steady sine of amplitude a centred on a bin has the power (a N / 2)^2.
//   Powers are averaged as powers (analysis/Averaging.h), never as
//   magnitudes or decibels.
// - A band total is the sum of the powers of the band's bins, each bin k
//   covering [k - 0.5, k + 0.5) in bin units and counted in proportion to
//   its overlap with the band [lo, hi), optionally multiplied by a per-bin
//   weighting gain (analysis/Weighting.h), divided by the window's
//   equivalent noise bandwidth in bins (a window spreads each component's
//   energy over that many bins), then 10 log10 plus the calibration offset.
//   So broadband noise reads its true power in the band and a tone reads
//   its level, under every window. Nothing is clamped at 0 dB; a total of
//   zero reads LevelFloorDb. The DC bin (below 0.5) belongs to no band.
// - The level of a tone (energy calibration) is the same sum over the
//   highest bin and the bins within toneHalfWidth of it. Hann and flat top
//   hold a tone's energy in their main lobes, +-2 and +-5 bins; the
//   rectangular window's side lobes fall off slowly (a tone half-way
//   between two bins leaves 0.68 dB outside +-1 bin), so it takes +-20
//   bins, which leave at most 0.05 dB out wherever the tone falls.
#pragma once

#include "analysis/Levels.h"

// The lowest level an energy sum reads, in dB (a sum of zero).
constexpr float LevelFloorDb = -200.0f;

// What the energy sums need of the window in use and of the calibration.
struct EnergyScale {
    double powerScale = 1.0;      // 1 / coherent gain^2
    double noiseBandwidth = 1.0;  // equivalent noise bandwidth in bins
    int toneHalfWidth = 20;       // bins on either side of a tone's peak
    double calibrationDb = 0.0;   // the calibration offset in dB
};

// Bins on each side of a tone's highest bin that hold its energy under a
// window function (unknown kinds count as Rectangular).
int toneHalfWidth(int windowKind);

// The scale for a window function and a calibration offset (hundredths of a
// dB; 0 when not calibrated). For any window but Rectangular `table` must
// hold that window for the block length, as it does after processBlock ran
// with it (AnalysisArrays::window); for Rectangular it is not read.
EnergyScale energyScale(int windowKind, const WindowTable& table, int calOffset);

// power[k] = (re[k]^2 + im[k]^2) * scale.powerScale for k = 0 .. h: the
// power spectrum of the block whose transform is re, im (bins 0 .. h);
// times gain[k] when `gain` is not null (the microphone's response as power
// gains).
void blockPower(const float* re, const float* im, int h, const EnergyScale& scale, float* power,
                const float* gain = nullptr);

// The weighted energy of the fractional bins [lo, hi) of a power spectrum of
// bins 0 .. h, edge bins in proportion to their overlap; `gain` (per-bin
// power gains) may be null: unweighted. The range is held to [0.5, h + 0.5).
// Powers come as floats (a block, a mean) or doubles (the Leq's sums).
double bandEnergy(const float* power, const float* gain, int h, double lo, double hi);
double bandEnergy(const double* power, const float* gain, int h, double lo, double hi);

// The sum of power[k] (times gain[k], when given) for the whole bins
// k = from .. to - 1, in float: the many short sums of the fractional-octave
// bands (BlockAnalysis.h), which need no double.
float powerSum(const float* power, const float* gain, int from, int to);

// 10 log10(energy / noise bandwidth) + calibration, in dB.
float energyLevel(double energy, const EnergyScale& scale);

// The three bands between four edges (fractional bins, as computeBandEdges
// gives them) and the overall level of bins 1 .. h, in dB.
struct BandTotals {
    float band[3];
    float overall;
};
BandTotals bandTotals(const float* power, const float* gain, int h, const float edges[4],
                      const EnergyScale& scale);
BandTotals bandTotals(const double* power, const float* gain, int h, const float edges[4],
                      const EnergyScale& scale);

// The level of the strongest tone of a power spectrum of bins 0 .. h (DC
// passed over): the energy of its highest bin and of the toneHalfWidth bins
// on each side, in dB. What a calibration measures.
float toneLevel(const float* power, int h, const EnergyScale& scale);
// The same with where the tone lies, in fractional bins (times fs / N: its
// frequency) to a fifth of a bin: the centre of its main lobe.
struct ToneReading {
    float level;
    double bin;
};
ToneReading strongestTone(const float* power, int h, const EnergyScale& scale);
