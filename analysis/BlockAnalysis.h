// Block analysis: one recorded block of 16-bit samples becomes DC-free
// samples, an integrated dB spectrum, a mean level and three band levels.
//
// The engine owns an AnalysisArrays and its working DisplayBuffer and calls
// these from its operations of the same names on the capture thread. Each
// takes the settings it needs as values (BlockSettings) and returns what it
// found (BlockResult); the engine reads those settings from the parameter
// store and writes the results back, so this code knows nothing of the store.
#pragma once

#include <cstdint>

#include "analysis/Levels.h"
#include "analysis/Spectrum.h"

struct AnalysisArrays {
    float referenceBandLevels[3] = {};  // dB, slot 61 points here
    float analysisBandLevels[3] = {};   // dB, slot 62 points here
    float bandEdgeBins[4] = {};         // fractional bins, slot 71 points here
    // The transform of the newest block (bins 0 .. N/2 hold it until the
    // next block), which the energy sums take it from (blockPower in
    // analysis/BandPower.h).
    float fftImag[MaxSamples] = {};
    float fftReal[MaxSamples] = {};
    float bandScratch[MaxBins] = {};
    float integrator[MaxBins] = {};
    // The window function of WindowFunction (86) for the block length, and
    // the windowed samples given to the transform (the half's samples stay
    // as recorded, for the waveform view).
    WindowTable window;
    float windowed[MaxSamples] = {};
    // The microphone's response in dB per bin (0 .. N/2), taken off every
    // level after the decibel step; null: none, and nothing is done.
    const float* binCorrectionDb = nullptr;
};

// The settings and the state of the measurement that a block's analysis
// depends on.
struct BlockSettings {
    int numSamples = 0;     // NumSamples: the block length
    int intLvl = 1;         // IntLvl: spectra averaged
    int intCount = 0;       // IntCount: 1 for the first block of a capture run
    bool reference = true;  // RefMode: the block belongs to the Reference half
    int windowKind = 0;     // WindowFunction
    int calOffset = 0;      // hundredths of a dB; 0 when not calibrated (CalDate 0)
    int waveFullScale = 0;  // WaveFullScale now; 0 or less: not yet known
};

// What the analysis of a block (or a loaded Reference) found.
struct BlockResult {
    float meanLevel = 0.0f;  // dB, the half's mean level (RefMeanLevel or AnaMeanLevel)
    int intCount = 0;        // the next IntCount
    int waveFullScale = 0;   // WaveFullScale after the block
};

// Truncation toward zero, as the level slots hold levels; a value that does
// not fit (never produced by a sane block) gives 0 rather than undefined
// behaviour.
int truncToInt(double value);

// The band edges as fractional bins of an n-point transform at `rate` Hz,
// from the four band limits in Hz (Filter0..3).
void computeBandEdges(int n, int rate, const int limits[4], float bandEdgeBins[4]);

// Analyses one block into the half `settings.reference` names. Returns 0 and
// fills *result when the block was processed, -1 when count != numSamples
// (nothing changes then).
int processBlock(const BlockSettings& settings, AnalysisArrays& arrays, DisplayBuffer& working,
                 int count, const int16_t* samples, BlockResult* result);

// Removes the DC offset in place. Returns the new full-scale value of the
// waveform view: `waveFullScale` as it is once known (above 0), else the
// block's peak when the block has one (a first block after it was cleared).
int conditionBlock(int count, float* samples, int waveFullScale);

// A Reference spectrum that was not measured here (a saved measurement) in
// place of a measured one: `db` (dB per bin, bins 0 .. bins - 1) becomes the
// reference spectrum of `working` (the last bin also stands for N/2), the
// reference samples are cleared, and the mean and band levels follow as for
// a processed block, with the current band edges. Only numSamples and
// windowKind of `settings` count. Returns false (nothing changes) for an
// unsupported block length or no bins.
bool loadReferenceSpectrum(const BlockSettings& settings, AnalysisArrays& arrays,
                           DisplayBuffer& working, const float* db, int bins, BlockResult* result);

// values[k] = 20 log10(values[k]) for the magnitudes above 1, else 0 dB:
// the decibel step of processBlock, in place.
void magnitudesToDecibels(float* values, int count);

// processBlock with another forward transform of real input in place of
// fourierTransform; it must fill realOut and imagOut at 0 .. n/2. The
// benchmarks run the very same pipeline around a library transform with it.
using RealForwardTransform = void (*)(void* context, unsigned n, const float* in,
                                      float* realOut, float* imagOut);
int processBlockWith(const BlockSettings& settings, AnalysisArrays& arrays,
                     DisplayBuffer& working, int count, const int16_t* samples,
                     BlockResult* result, RealForwardTransform transform, void* context);
