// Long averages of block power spectra: the equivalent continuous level
// (Leq, the energy mean since the start) and the maximum hold. Portable: no
// <windows.h>.
//
// How it works
// - Both take each block's power spectrum (analysis/BandPower.h, bins
//   0 .. N/2) as it comes. LeqAccumulator adds it to per-bin
//   sums in double (a float sum of hours of blocks would lose the newest
//   ones) and counts the blocks; its mean is the sums over the count.
//   MaxHold keeps each bin's largest power. Weighting and calibration are
//   applied when the result is read (bandTotals with a gain table), so they
//   may change while the average runs; the Leq's totals come from its sums
//   directly, without making the mean.
// - Each block is one pass over the bins that the compiler vectorises; the
//   arrays are fixed members (MaxBins), so nothing is allocated after the
//   owner is.
// - The elapsed time is the block count times N / fs: blocks follow each
//   other without overlap. With a duration, the Leq takes the blocks that
//   reach it (ceil(duration fs / N)) and then reports complete and holds:
//   add() takes no more blocks until the next reset.
#pragma once

#include "analysis/BandPower.h"
#include "analysis/Spectrum.h"

class LeqAccumulator {
public:
    // Starts afresh for spectra of `bins` bins (1 .. MaxBins) of blocks of
    // `length` samples at `rate` Hz; `durationSeconds` above 0 stops the
    // average once that much time is covered, 0 or less never.
    void reset(int bins, int length, int rate, double durationSeconds = 0.0);
    // Adds a block's power spectrum. Returns false, and adds nothing, once
    // complete (or before a reset).
    bool add(const float* power);
    // add() and mean() in one pass; without a block taken, mean() alone.
    bool addAndMean(const float* power, float* out);
    // The energy mean of the blocks added, bins 0 .. bins - 1 (zeros
    // before the first block).
    void mean(float* out) const;
    // bandTotals of the mean (bins 0 .. bins - 1); LevelFloorDb before the
    // first block.
    BandTotals bandTotals(const float* gain, const float edges[4], const EnergyScale& scale) const;

    int bins() const { return bins_; }
    long blocks() const { return blocks_; }
    double elapsedSeconds() const;
    bool complete() const { return stopBlocks_ > 0 && blocks_ >= stopBlocks_; }

private:
    int bins_ = 0;
    int length_ = 0;
    int rate_ = 0;
    long blocks_ = 0;
    long stopBlocks_ = 0;  // 0: no stop
    double sum_[MaxBins] = {};

};

class MaxHold {
public:
    // Starts afresh for spectra of `bins` bins (1 .. MaxBins).
    void reset(int bins);
    // Raises each bin to the block's power where that is higher.
    void add(const float* power);

    int bins() const { return bins_; }
    long blocks() const { return blocks_; }
    // Bins 0 .. bins - 1; zeros before the first block.
    const float* values() const { return max_; }

private:
    int bins_ = 0;
    long blocks_ = 0;
    float max_[MaxBins] = {};

};
