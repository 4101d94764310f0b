// The two builds of the transform's passes (analysis/FftKernels.inc): the
// SSE2 baseline and the same code for AVX. Only analysis/Fft.cpp calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Fft.h"

// The tables and work arrays both builds use; analysis/Fft.cpp owns them.
struct FftTables {
    // Entries h .. 2h-1 belong to passes of length L = 2h: cos and sin of
    // 2*pi*m/L for m = 0 .. h-1.
    const double* cosine;
    const double* sine;
    // The same places hold cos and sin of 3 * 2*pi*m/L for m < L/4.
    const double* cosine3;
    const double* sine3;
    // reverse[i] = the 16 bits of i reversed.
    const uint16_t* reverse;
    double* workReal;
    double* workImag;
};

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
