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

#include "analysis/Averaging.h"
#include "analysis/BandPower.h"
#include "analysis/Levels.h"
#include "analysis/OctaveBands.h"
#include "analysis/Spectrum.h"
#include "analysis/Weighting.h"

// Room for the third octaves from 25 Hz to the highest rate's half (30 at
// 48 kHz).
constexpr int kMaxFractionalBands = 36;

// The energy readings of a half (Reference or Analysis), from its averaged
// power spectrum under the chosen weighting: the band totals, the overall
// level of bins 1 .. N/2 under Z, A and C weighting, and the energy of each
// octave and third-octave band (Readings::octaves, thirds) with the scale
// it was taken under. A band's level follows from its energy when it is
// read (octaveLevel, thirdLevel), not with every block.
struct HalfReadings {
    float bandTotal[3] = {LevelFloorDb, LevelFloorDb, LevelFloorDb};
    float overall[WeightingKind::Count] = {LevelFloorDb, LevelFloorDb, LevelFloorDb};
    float octaveEnergy[kMaxFractionalBands] = {};
    float thirdEnergy[kMaxFractionalBands] = {};
    EnergyScale bandScale;

    float octaveLevel(int i) const { return energyLevel(octaveEnergy[i], bandScale); }
    float thirdLevel(int i) const { return energyLevel(thirdEnergy[i], bandScale); }
    // Band i of the 1/b-octave list (b = 1: octaves, otherwise thirds).
    float bandLevel(int b, int i) const { return b == 1 ? octaveLevel(i) : thirdLevel(i); }
};

// The fractional-octave bands of the block length and rate the readings
// were made with (analysis/OctaveBands.h), lowest first, and the bins each
// one sums: the edge bins low and high in part (lowPart, highPart of their
// power), the bins first .. end - 1 whole.
struct FractionalBands {
    struct Bins {
        int low = 1, high = 1, first = 1, end = 1;
        float lowPart = 0.0f, highPart = 0.0f;
    };
    int count = 0;
    octave::Band band[kMaxFractionalBands];
    Bins bins[kMaxFractionalBands];
};

// What the windows read of a measurement besides the spectra and the band
// means; slot Param::Readings points here. Written by the capture thread
// with each block, read by the UI thread as the band levels are.
struct Readings {
    HalfReadings half[2];        // 0 = reference, 1 = analysis
    float elapsedSeconds = 0.0f;  // the running measurement's time (Leq)
    float durationSeconds = 0.0f; // the Leq's stop; 0: none
    int held = 0;                 // 1 while the running measurement holds
    // The octave (b = 1) and third-octave (b = 3) bands of sampFrq / n;
    // each half's levels in them are in half[].octave and half[].third.
    int sampFrq = 0;
    int numSamples = 0;
    FractionalBands octaves;
    FractionalBands thirds;
};

namespace AveragingKind {
enum : int {
    Exponential = 0,  // the newest IntLvl blocks weigh most
    Linear = 1,       // Leq: the energy mean since the start
    Count = 2,
};
}

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
    // The energy side: the block's power spectrum, its exponential average
    // (same weights as the magnitudes'), the Leq and its mean, the maximum
    // hold, and the weightings (the chosen one for the trace and the
    // bands; A and C for the overall levels).
    float power[MaxBins] = {};
    float powerAverage[MaxBins] = {};
    float leqMean[MaxBins] = {};
    LeqAccumulator leq;
    MaxHold maxHold;
    WeightingTable weighting;
    WeightingTable weightingA;
    WeightingTable weightingC;
    Readings readings;
    float heldMeanLevel[2] = {};  // a held half's mean level
    // What the maximum hold's dB trace was made with.
    float maxHoldOffset = 0.0f;
    int maxHoldWeighting = -1;
    // The microphone's response per bin (0 .. N/2) as gains that take it
    // off every level: 10^(-dB / 10) multiplied into the block's powers,
    // 10^(-dB / 20) into its magnitudes, each in the pass that makes them.
    // Null: none, and those passes run as without one.
    const float* binCorrectionGain = nullptr;
    const float* binCorrectionAmplitude = nullptr;
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
    int sampFrq = 0;        // SampFrq: for the weightings and the Leq's time
    int weighting = 0;      // WeightingKind of the trace, the means and the bands
    int averaging = 0;      // AveragingKind
    int leqSeconds = 0;     // the Leq's duration; 0: no stop
    bool holdComplete = false;  // a completed measurement stops changing
    bool maxHold = false;   // keep the maximum-hold trace
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
// fills *result when the block was processed (or held: a completed
// measurement with holdComplete, or a Leq past its duration, keeps its
// spectrum, levels and readings), -1 when count != numSamples (nothing
// changes then).
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
// windowKind of `settings` count, and the weighting, sampFrq and calOffset:
// a spectrum saved under `savedWeighting` (-1: the current one) is
// converted to the current weighting, and its band totals and overall
// levels follow from its levels. Returns false (nothing changes) for an
// unsupported block length or no bins.
bool loadReferenceSpectrum(const BlockSettings& settings, AnalysisArrays& arrays,
                           DisplayBuffer& working, const float* db, int bins, BlockResult* result,
                           int savedWeighting = -1);

// The octave and third-octave band lists of `readings` for n samples at
// `rate` Hz, when they were made for other ones.
void listFractionalBands(Readings& readings, int n, int rate);
// The energy of each third-octave band of `readings.thirds` from a power
// spectrum (per-bin power gains `gain`, null: none), as bandEnergy sums it,
// and of each octave as the energy of its three thirds (their edges meet
// the octave's), into `out` with `scale`.
void fractionalBandEnergies(const Readings& readings, const float* power, const float* gain,
                            const EnergyScale& scale, HalfReadings& out);

// values[k] = 20 log10(values[k]) for the magnitudes above 1, else 0 dB:
// the decibel step of processBlock, in place.
void magnitudesToDecibels(float* values, int count);

// magnitude[k] = sqrt(re[k]^2 + im[k]^2) for k = 0 .. h, times gain[k] when
// `gain` is not null (the microphone's response as magnitude gains): the
// magnitudes of processBlock.
void blockMagnitudes(const float* re, const float* im, int h, const float* gain,
                     float* magnitude);

// processBlock with another forward transform of real input in place of
// realFourierTransform; it must fill realOut and imagOut at 0 .. n/2. The
// benchmarks run the very same pipeline around a library transform with it.
using RealForwardTransform = void (*)(void* context, unsigned n, const float* in,
                                      float* realOut, float* imagOut);
int processBlockWith(const BlockSettings& settings, AnalysisArrays& arrays,
                     DisplayBuffer& working, int count, const int16_t* samples,
                     BlockResult* result, RealForwardTransform transform, void* context);
