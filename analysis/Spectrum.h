// The spectra the analysis makes, and the record in which finished ones
// travel from the capture thread to the windows. Portable.
#pragma once

#include <atomic>
#include <cstdint>

// Largest block and spectrum the analyzer handles.
constexpr int MaxSamples = 16384;
constexpr int MaxBins = MaxSamples / 2 + 1;

// One measurement half: the block (DC removed) and its spectrum in dB.
struct SpectrumSet {
    float samples[MaxSamples + 1];
    float spectrum[MaxBins];
};

// What travels from the capture thread to the windows. The in-use word is
// written under the frame lock by readers and read by the writer under it.
struct DisplayBuffer {
    std::atomic<int32_t> inUse{0};
    SpectrumSet set[2];  // 0 = reference, 1 = analysis
    // The maximum-hold trace of the running measurement in dB, bins
    // 0 .. maxHoldBins - 1; 0 bins: none.
    int maxHoldBins = 0;
    float maxHold[MaxBins];

    SpectrumSet& reference() { return set[0]; }
    SpectrumSet& analysis() { return set[1]; }
    const SpectrumSet& reference() const { return set[0]; }
    const SpectrumSet& analysis() const { return set[1]; }
};
