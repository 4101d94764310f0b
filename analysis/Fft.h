// The Fourier transform of one block.
//
// Float interface, double arithmetic, no window, 1/n scaling only in the
// inverse direction. The forward kernel is e^(+i*2*pi*m/n), so a real input's
// spectrum is the complex conjugate of the textbook DFT; magnitudes are what
// the analyzer uses. Not re-entrant: only the capture thread calls it.
#pragma once

// n: a power of two, 1 <= n <= 65536. imagIn may be null (all zero).
// realOut/imagOut may alias the inputs.
void fourierTransform(unsigned n, int inverse, const float* realIn, const float* imagIn,
                      float* realOut, float* imagOut);

// Bins 0 .. n/2 of the forward transform of n real samples (n a power of
// two, 2 <= n <= 65536), as fourierTransform(n, 0, in, nullptr, ...) gives
// them, without the upper half that mirrors them. realOut/imagOut hold
// n/2 + 1 values and may alias the input.
void realFourierTransform(unsigned n, const float* in, float* realOut, float* imagOut);

// Which build of the transform's passes runs: the SSE2 one every x86-64
// processor takes, or the same code built for AVX. The AVX build is chosen on
// first use when the processor and the system support it; both give
// bit-identical results. Tests and benchmarks switch between them:
// useFourierKernels returns false (and changes nothing) for AVX without AVX.
enum class FourierKernels { Baseline, Avx };
FourierKernels fourierKernels();
bool useFourierKernels(FourierKernels kernels);

// Position of the lowest set bit of n (log2 n for a power of two). n != 0.
unsigned countIndexBits(unsigned n);

// The lowest `bits` bits of i in reverse order.
unsigned bitReverseIndex(unsigned i, unsigned bits);

// The plain radix-2 transform: bit-reversed copy, then butterfly passes whose
// twiddles come from the three-term cosine/sine recurrence (four library
// calls per pass). Same contract as fourierTransform. It is kept to check the
// fast version against and as a yardstick in the benchmarks; the analyzer
// never calls it.
void referenceFourierTransform(unsigned n, int inverse, const float* realIn, const float* imagIn,
                               float* realOut, float* imagOut);
