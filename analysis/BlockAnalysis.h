// Block analysis: one recorded block of 16-bit samples becomes DC-free
// samples, an integrated dB spectrum, a mean level and three band levels.
//
// The engine owns an AnalysisArrays and its working DisplayBuffer and calls
// these from its operations of the same names on the capture thread. They
// read and write the parameters listed with each function.
#pragma once

#include <cstdint>

#include "analysis/Levels.h"
#include "app/ParameterStore.h"

struct AnalysisArrays {
    float referenceBandLevels[3] = {};  // dB, slot 61 points here
    float analysisBandLevels[3] = {};   // dB, slot 62 points here
    float bandEdgeBins[4] = {};         // fractional bins, slot 71 points here
    float fftImag[MaxSamples] = {};
    float fftReal[MaxSamples] = {};
    float bandScratch[MaxBins] = {};
    float integrator[MaxBins] = {};
    // The window function of WindowFunction (86) for the block length, and
    // the windowed samples given to the transform (the half's samples stay
    // as recorded, for the waveform view).
    WindowTable window;
    float windowed[MaxSamples] = {};
};

// Reads NumSamples, SampFrq and Filter0..3; fills bandEdgeBins.
void computeBandEdges(const ParameterStore& store, float bandEdgeBins[4]);

// Reads 2, 7, 8, 63, (66), 86, 87 and CalDate (88); writes 0, 1, 8, 66, 68. Returns 0 when the block
// was processed, -1 when count != NumSamples (nothing changes then).
int processBlock(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                 int count, const int16_t* samples);

// Removes the DC offset in place; sets WaveFullScale (66) from the first
// block with a peak after it was cleared.
void conditionBlock(ParameterStore& store, int count, float* samples);

// A Reference spectrum that was not measured here (a saved measurement) in
// place of a measured one: `db` (dB per bin, bins 0 .. bins - 1) becomes the
// reference spectrum of `working` (the last bin also stands for N/2), the
// reference samples are cleared, and the mean and band levels follow as for
// a processed block, with the current band edges. Reads 2; writes 0, 1, 68.
void loadReferenceSpectrum(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                           const float* db, int bins);

// values[k] = 20 log10(values[k]) for the magnitudes above 1, else 0 dB:
// the decibel step of processBlock, in place.
void magnitudesToDecibels(float* values, int count);

// processBlock with another forward transform of real input in place of
// fourierTransform; it must fill realOut and imagOut at 0 .. n/2. The
// benchmarks run the very same pipeline around a library transform with it.
using RealForwardTransform = void (*)(void* context, unsigned n, const float* in,
                                      float* realOut, float* imagOut);
int processBlockWith(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                     int count, const int16_t* samples, RealForwardTransform transform,
                     void* context);
