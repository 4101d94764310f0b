// The edge between the parameter store and the analysis: the settings a
// block's analysis takes, read from the store, and its results written back.
//
// How it works
// - The analysis (analysis/) takes plain values and returns plain values; it
//   knows nothing of the store. These functions are where the store's slots
//   become those values and back, in one place: the engine uses them on the
//   capture thread, the windows use the readers on the UI thread.
// - The writers keep the order in which the parameters change, because the
//   windows see the changes in that order: WaveFullScale (66), the mean
//   levels (1 then 0, or 1), IntCount (8), DataPresent (68).
//
// Portable: no <windows.h>.
#pragma once

#include "analysis/BlockAnalysis.h"
#include "analysis/Levels.h"
#include "foundation/ParameterStore.h"

// NumSamples, IntLvl, IntCount, RefMode, WindowFunction, the calibration
// offset when calibrated (CalDate > 0), WaveFullScale, SampFrq and the
// options of weighting, averaging, Leq duration, hold and maximum hold.
BlockSettings blockSettings(const ParameterStore& store);

// Writes what processBlock found for `settings`: 66 (when it changed), the
// half's mean level (the Reference clears the Analysis's), 8 and 68.
void storeBlockResult(ParameterStore& store, const BlockSettings& settings,
                      const BlockResult& result);
// Writes what loadReferenceSpectrum found: 1 = 0, 0, 68.
void storeReferenceResult(ParameterStore& store, const BlockResult& result);

// The block analysis as the engine runs it on the store: blockSettings,
// processBlock, storeBlockResult (only for a processed block). 0 or -1 as
// processBlock.
int processBlock(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                 int count, const int16_t* samples);
// conditionBlock with WaveFullScale (66) read and, when it changes, written.
void conditionBlock(ParameterStore& store, int count, float* samples);
// loadReferenceSpectrum with the store's settings; storeReferenceResult when
// the spectrum was taken.
void loadReferenceSpectrum(ParameterStore& store, AnalysisArrays& arrays, DisplayBuffer& working,
                           const float* db, int bins, int savedWeighting = -1);

// computeBandEdges with NumSamples, SampFrq and Filter0..3 of the store.
void computeBandEdges(const ParameterStore& store, float bandEdgeBins[4]);

// CalOffset, CalDate, CalSampFrq and CalSamples.
Calibration calibration(const ParameterStore& store);
// The state of the store's calibration for its current sampling settings.
int calibrationState(const ParameterStore& store);
// The record of a saved measurement from the store's settings, counters and
// band levels (slots 61 and 62).
MeasurementRecord measurementRecord(const ParameterStore& store);

// The octave or third-octave bands the BandView option shows, with the
// engine's readings (Param::Readings) they are in and bandsPerOctave 1 or
// 3; null in the narrow-band view, or before the engine has listed the bands
// for the current NumSamples and SampFrq.
struct ShownBands {
    const FractionalBands* bands = nullptr;
    const Readings* readings = nullptr;
    int bandsPerOctave = 0;
};
ShownBands shownBands(const ParameterStore& store);
