// Frequency weightings A, C and Z of sound levels, per bin of a spectrum.
// Portable: no <windows.h>.
//
// How it works
// - The weightings are the closed forms of the sound level meter standard:
//   poles at f1 = 20.598997 Hz, f2 = 107.65265 Hz, f3 = 737.86223 Hz and
//   f4 = 12194.217 Hz,
//     C(f) = 20 log10(f4^2 f^2 / ((f^2 + f1^2)(f^2 + f4^2))) - C1000
//     A(f) = 20 log10(f4^2 f^4 / ((f^2 + f1^2) sqrt(f^2 + f2^2)
//                                 sqrt(f^2 + f3^2) (f^2 + f4^2))) - A1000
//   with C1000 = -0.062 dB and A1000 = -2.000 dB, so both read 0 dB at
//   1 kHz. Z is flat: 0 dB everywhere.
// - A WeightingTable holds the weighting at each bin's exact frequency
//   k fs / N, k = 0 .. N/2, in dB and as a power gain 10^(dB/10). It is
//   built once when the weighting, the block length or the rate changes,
//   never per block; the energy sums (analysis/BandPower.h) multiply a power
//   spectrum by its gains.
// - At DC A and C weight by zero (minus infinity dB): the table holds
//   WeightingFloorDb and a gain of 0 there, and the same floor wherever the
//   weighting falls below it.
#pragma once

#include "analysis/Spectrum.h"

namespace WeightingKind {
enum : int {
    Z = 0,  // none: 0 dB at every frequency
    A = 1,
    C = 2,
    Count = 3,
};
}

// The lowest weighting a table holds, in dB.
constexpr double WeightingFloorDb = -200.0;

// "Z", "A", "C"; "Z" for an unknown kind.
const char* weightingName(int kind);

// The weighting of a kind (unknown kinds count as Z) at `hz`, in dB; minus
// infinity at 0 Hz for A and C.
double weightingDb(int kind, double hz);

struct WeightingTable {
    int kind = WeightingKind::Z;
    int length = 0;  // block length N; 0: not built
    int rate = 0;    // sampling rate in Hz
    float db[MaxBins] = {};     // bins 0 .. N/2
    float gain[MaxBins] = {};   // power gains, 10^(db/10)
};

// Fills the table for the kind (unknown kinds count as Z), a block length of
// 2 .. MaxSamples and a rate above 0; does nothing when it already holds
// them or when they are out of range.
void buildWeighting(WeightingTable& table, int kind, int length, int rate);
