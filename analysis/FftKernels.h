// The two builds of the transform's passes (analysis/FftKernels.inc): the
// SSE2 baseline and the same code for AVX. Only analysis/Fft.cpp calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Fft.h"

// The tables and work arrays both builds use; analysis/Fft.cpp owns them.
struct FftTables {
    // The twiddles of the passes of length L = 2h, level by level for
    // h = 1, 2, 4, .. : cos and sin of 2*pi*m/L for m < h, then cos and sin
    // of 3 * 2*pi*m/L for m < h/2, each of the four h long and 64 bytes
    // after the previous one ends (so that a pass's streams do not start at
    // the same place of a 4 KiB page). Small transforms find all theirs in
    // a few neighbouring pages. FftKernels.inc finds a level's (twiddleLevel).
    double* twiddles;
    // reverse[i] = the 16 bits of i reversed.
    const uint16_t* reverse;
    double* workReal;
    double* workImag;
};

// Doubles the twiddles of all levels up to h = 32768 take.
constexpr std::size_t FftTwiddleDoubles = 4 * 65535 + 32 * 16;

#define FFT_KERNEL_DECLARATIONS                                                               \
    /* Bins 0 .. n/2 of the forward transform of n >= 2 real samples. */                     \
    void realHalfSpectrum(unsigned n, const float* in, float* realOut, float* imagOut,        \
                          const FftTables& t);                                                \
    /* The whole transform of n >= 2 complex values (imagIn may be null). */                 \
    void complexSpectrum(unsigned n, bool inverse, const float* realIn, const float* imagIn,  \
                         float* realOut, float* imagOut, const FftTables& t);

namespace fft_baseline {
FFT_KERNEL_DECLARATIONS
}
namespace fft_avx {
FFT_KERNEL_DECLARATIONS
}
#undef FFT_KERNEL_DECLARATIONS
