// The Fourier transform of one block.
//
// How it works
// - Everything is computed in double, in two static work arrays, and only the
//   final outputs are rounded to float. (Transforms computed in float put
//   rounding noise of about 1e-7 of the peak into every bin, which is plainly
//   visible on a display that shows bins 100-130 dB below the peak.)
// - The inputs are read completely into the work arrays before any output is
//   written, so an output array may be the same array as an input.
// - Tables are built once, on first use, inside a function-local static (the
//   language makes that initialisation thread-safe): the twiddle factors of
//   every pass length, cos and sin of 2*pi*m/L for m < L/2 and of
//   3 * 2*pi*m/L for m < L/4, stored pass length by pass length so that a
//   pass reads them contiguously and a small transform finds all of them in
//   a few neighbouring pages, and a 16-bit bit-reversal table. After that a transform allocates nothing and calls no
//   sine or cosine.
// - The passes themselves (analysis/FftKernels.inc) are compiled twice: for
//   the SSE2 baseline every x86-64 processor has, and for AVX, whose vectors
//   hold four doubles instead of two. The same first use picks the AVX build
//   when the processor has AVX and the system saves its registers; neither
//   build contracts into fused multiply-add, so both give the same bits.
// - The forward transform of real input (the block processor's call) is an
//   n/2-point complex transform plus an untangling step; the upper half of
//   its spectrum is the complex conjugate of the lower half.
// - The forward kernel is e^(+i*2*pi*m/n); the inverse uses e^(-i*...) and
//   divides by n.
#include "analysis/Fft.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "analysis/FftKernels.h"

#define FFT_KERNEL_NAMESPACE fft_baseline
#include "analysis/FftKernels.inc"

namespace {

constexpr unsigned MaxLength = 65536;
constexpr unsigned MaxBits = 16;
constexpr double TwoPi = 6.283185307179586;

bool processorHasAvx()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");  // also checks that the system saves the registers
#else
    return false;
#endif
}

// The two work arrays lie one after the other, the second 1 KiB further on
// than a whole page: a pass's streams of real and imaginary parts then do not
// start at the same place of a 4 KiB page (they would compete for the same
// few lines of the processor's first-level cache).
struct State {
    alignas(4096) double twiddles[FftTwiddleDoubles];
    alignas(4096) double work[2 * MaxLength + 128];
    uint16_t reverse[MaxLength];
    FftTables tables{twiddles, reverse, work, work + MaxLength + 128};
    bool avxAvailable = processorHasAvx();
    FourierKernels kernels = avxAvailable ? FourierKernels::Avx : FourierKernels::Baseline;

    State()
    {
        for (unsigned half = 1; half < MaxLength; half *= 2) {
            double* cosine = fft_baseline::cosineOf(tables, half);
            double* sine = fft_baseline::sineOf(tables, half);
            double* cosine3 = fft_baseline::cosine3Of(tables, half);
            double* sine3 = fft_baseline::sine3Of(tables, half);
            for (unsigned m = 0; m < half; ++m) {
                double angle = TwoPi * (static_cast<double>(m) / (2.0 * half));
                cosine[m] = std::cos(angle);
                sine[m] = std::sin(angle);
            }
            for (unsigned m = 0; m < half / 2; ++m) {
                double angle = TwoPi * (static_cast<double>(3 * m) / (2.0 * half));
                cosine3[m] = std::cos(angle);
                sine3[m] = std::sin(angle);
            }
        }
        for (unsigned i = 0; i < MaxLength; ++i)
            reverse[i] = static_cast<uint16_t>(bitReverseIndex(i, MaxBits));
    }
};

State& state()
{
    static State instance;
    return instance;
}

}  // namespace

unsigned countIndexBits(unsigned n)
{
    unsigned bits = 0;
    while (bits < 32 && !((n >> bits) & 1u))
        ++bits;
    return bits;
}

unsigned bitReverseIndex(unsigned i, unsigned bits)
{
    unsigned result = 0;
    for (unsigned b = 0; b < bits; ++b) {
        result = (result << 1) | (i & 1u);
        i >>= 1;
    }
    return result;
}

void realFourierTransform(unsigned n, const float* in, float* realOut, float* imagOut)
{
    State& s = state();
    if (s.kernels == FourierKernels::Avx)
        fft_avx::realHalfSpectrum(n, in, realOut, imagOut, s.tables);
    else
        fft_baseline::realHalfSpectrum(n, in, realOut, imagOut, s.tables);
}

void fourierTransform(unsigned n, int inverse, const float* realIn, const float* imagIn,
                      float* realOut, float* imagOut)
{
    if (n == 0)
        return;
    if (n == 1) {
        // Nothing to combine: the output is the input.
        realOut[0] = realIn[0];
        imagOut[0] = imagIn ? imagIn[0] : 0.0f;
        return;
    }
    if (!inverse && !imagIn) {
        realFourierTransform(n, realIn, realOut, imagOut);
        // A real input's spectrum is conjugate-symmetric: the upper half
        // mirrors the lower one.
        const std::ptrdiff_t half = n / 2;
        const float* __restrict lowRe = realOut;
        const float* __restrict lowIm = imagOut;
        float* __restrict highRe = realOut + n;
        float* __restrict highIm = imagOut + n;
        for (std::ptrdiff_t k = 1; k < half; ++k) {
            highRe[-k] = lowRe[k];
            highIm[-k] = -lowIm[k];
        }
        return;
    }
    State& s = state();
    if (s.kernels == FourierKernels::Avx)
        fft_avx::complexSpectrum(n, inverse != 0, realIn, imagIn, realOut, imagOut, s.tables);
    else
        fft_baseline::complexSpectrum(n, inverse != 0, realIn, imagIn, realOut, imagOut, s.tables);
}

FourierKernels fourierKernels()
{
    return state().kernels;
}

bool useFourierKernels(FourierKernels kernels)
{
    State& s = state();
    if (kernels == FourierKernels::Avx && !s.avxAvailable)
        return false;
    s.kernels = kernels;
    return true;
}

namespace {
double plainReal[MaxLength];
double plainImag[MaxLength];
}  // namespace

void referenceFourierTransform(unsigned n, int inverse, const float* realIn, const float* imagIn,
                               float* realOut, float* imagOut)
{
    double angle = TwoPi;
    if (inverse)
        angle = -angle;
    const unsigned bits = countIndexBits(n);
    for (unsigned i = 0; i < n; ++i) {
        unsigned j = bitReverseIndex(i, bits);
        plainReal[j] = realIn[i];
        plainImag[j] = imagIn ? imagIn[i] : 0.0;
    }
    unsigned blockEnd = 1;
    for (unsigned blockSize = 2; blockSize <= n; blockSize <<= 1) {
        const double delta = angle / blockSize;
        const double sm2 = std::sin(-2.0 * delta);
        const double sm1 = std::sin(-delta);
        const double cm2 = std::cos(-2.0 * delta);
        const double cm1 = std::cos(-delta);
        const double w = 2.0 * cm1;
        for (unsigned i = 0; i < n; i += blockSize) {
            double ar2 = cm2, ar1 = cm1, ai2 = sm2, ai1 = sm1;
            for (unsigned j = i; j < i + blockEnd; ++j) {
                double ar0 = w * ar1 - ar2;
                ar2 = ar1;
                ar1 = ar0;
                double ai0 = w * ai1 - ai2;
                ai2 = ai1;
                ai1 = ai0;
                unsigned k = j + blockEnd;
                double tr = ar0 * plainReal[k] - ai0 * plainImag[k];
                double ti = ar0 * plainImag[k] + ai0 * plainReal[k];
                plainReal[k] = plainReal[j] - tr;
                plainImag[k] = plainImag[j] - ti;
                plainReal[j] += tr;
                plainImag[j] += ti;
            }
        }
        blockEnd = blockSize;
    }
    if (inverse) {
        for (unsigned i = 0; i < n; ++i) {
            plainReal[i] /= static_cast<double>(n);
            plainImag[i] /= static_cast<double>(n);
        }
    }
    for (unsigned i = 0; i < n; ++i) {
        realOut[i] = static_cast<float>(plainReal[i]);
        imagOut[i] = static_cast<float>(plainImag[i]);
    }
}
