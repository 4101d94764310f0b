// The radix-2 Fourier transform of one block.
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
//   every pass length, cos and sin of 2*pi*m/L for m < L/2, stored one pass
//   after another so that a pass reads them contiguously, and a 16-bit
//   bit-reversal table. After that a transform allocates nothing and calls no
//   sine or cosine.
// - A complex transform of length n is a bit-reversed copy followed by
//   decimation-in-time radix-2 passes. From 64 points on, the copy gathers
//   blocks of eight and runs the first three passes on them before storing
//   them. The remaining passes go two at a time (a radix-2^2 butterfly on
//   four points), which halves the number of trips through memory; when an
//   odd number is left, one plain radix-2 pass goes first.
// - The forward transform of real input (no imaginary input, the block
//   processor's only call) packs the even samples into the real part and the
//   odd samples into the imaginary part of an n/2-point complex transform and
//   untangles the two half-length spectra afterwards. The upper half of the
//   spectrum is the complex conjugate of the lower half.
// - The forward kernel is e^(+i*2*pi*m/n); the inverse uses e^(-i*...) and
//   divides by n.
#include "analysis/Fft.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

constexpr unsigned MaxLength = 65536;
constexpr unsigned MaxBits = 16;
constexpr double TwoPi = 6.283185307179586;

struct Tables {
    // Entries h .. 2h-1 belong to passes of length L = 2h: cos and sin of
    // 2*pi*m/L for m = 0 .. h-1. Entry 0 is unused.
    alignas(64) double cosine[MaxLength];
    alignas(64) double sine[MaxLength];
    // reverse[i] = the 16 bits of i reversed; shifting right by 16 - bits
    // gives the reversal of a shorter index.
    alignas(64) uint16_t reverse[MaxLength];

    Tables()
    {
        cosine[0] = 1.0;
        sine[0] = 0.0;
        for (unsigned half = 1; half < MaxLength; half *= 2) {
            for (unsigned m = 0; m < half; ++m) {
                double angle = TwoPi * (static_cast<double>(m) / (2.0 * half));
                cosine[half + m] = std::cos(angle);
                sine[half + m] = std::sin(angle);
            }
        }
        for (unsigned i = 0; i < MaxLength; ++i)
            reverse[i] = static_cast<uint16_t>(bitReverseIndex(i, MaxBits));
    }
};

const Tables& tables()
{
    static const Tables instance;
    return instance;
}

alignas(64) double workReal[MaxLength];
alignas(64) double workImag[MaxLength];

// The first three butterfly passes (lengths 2, 4 and 8) on eight points that
// are already in bit-reversed order. Their twiddles are 1, +-i and the odd
// powers of e^(+-i*pi/4), so they are written out here.
template <bool Inverse>
inline void radix8(double* r, double* i)
{
    constexpr double h = 0.7071067811865476;  // cos(pi/4) = sin(pi/4)
    constexpr double s = Inverse ? -1.0 : 1.0;  // sign of the kernel
    for (int p = 0; p < 8; p += 2) {
        const double ar = r[p], ai = i[p], br = r[p + 1], bi = i[p + 1];
        r[p] = ar + br;
        i[p] = ai + bi;
        r[p + 1] = ar - br;
        i[p + 1] = ai - bi;
    }
    for (int p = 0; p < 8; p += 4) {
        double ar = r[p], ai = i[p], br = r[p + 2], bi = i[p + 2];
        r[p] = ar + br;
        i[p] = ai + bi;
        r[p + 2] = ar - br;
        i[p + 2] = ai - bi;
        // times +-i
        ar = r[p + 1];
        ai = i[p + 1];
        br = -s * i[p + 3];
        bi = s * r[p + 3];
        r[p + 1] = ar + br;
        i[p + 1] = ai + bi;
        r[p + 3] = ar - br;
        i[p + 3] = ai - bi;
    }
    // Twiddles of the length-8 pass: 1, (h, +-h), +-i, (-h, +-h).
    double tr[4], ti[4];
    tr[0] = r[4];
    ti[0] = i[4];
    tr[1] = h * r[5] - s * h * i[5];
    ti[1] = h * i[5] + s * h * r[5];
    tr[2] = -s * i[6];
    ti[2] = s * r[6];
    tr[3] = -h * r[7] - s * h * i[7];
    ti[3] = -h * i[7] + s * h * r[7];
    for (int p = 0; p < 4; ++p) {
        const double ar = r[p], ai = i[p];
        r[p] = ar + tr[p];
        i[p] = ai + ti[p];
        r[p + 4] = ar - tr[p];
        i[p + 4] = ai - ti[p];
    }
}

// Copies 2^bits values into re/im in bit-reversed order (element i of the
// input goes to bitReverseIndex(i, bits)) and, from 64 values on, runs the
// first three butterfly passes on the way. load(i, re, im) fetches element
// i. Returns the length of the blocks transformed so far (1 or 8).
//
// A plain scatter writes each cache line of re and im eight times, at moments
// far apart, and the power-of-two distances between the writes make the lines
// evict one another. Instead the index is split as i = (a, m, c) with a and c
// three bits each: its reversal is (rev c, rev m, rev a). For one m and one c,
// the eight values a = 0..7 fill one whole line of re and one of im, which
// is also one block of eight for the first passes; the eight input lines of
// one m are read while they are hot.
template <bool Inverse, class Load>
unsigned loadBitReversed(unsigned bits, double* __restrict re, double* __restrict im,
                         const Tables& t, Load load)
{
    if (bits < 6) {
        const unsigned shift = MaxBits - bits;
        for (unsigned i = 0; i < (1u << bits); ++i) {
            const unsigned j = t.reverse[i] >> shift;
            load(i, re[j], im[j]);
        }
        return 1;
    }
    static constexpr unsigned rev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const unsigned high = bits - 3;            // position of a, and of rev c
    const unsigned middleShift = MaxBits - (bits - 6);
    const unsigned middleCount = 1u << (bits - 6);
    for (unsigned m = 0; m < middleCount; ++m) {
        const unsigned in0 = m << 3;
        const unsigned out0 = (static_cast<unsigned>(t.reverse[m]) >> middleShift) << 3;
        for (unsigned c = 0; c < 8; ++c) {
            double r[8], i[8];
            for (unsigned a = 0; a < 8; ++a)
                load((a << high) + in0 + c, r[rev3[a]], i[rev3[a]]);
            radix8<Inverse>(r, i);
            double* rowRe = re + (rev3[c] << high) + out0;
            double* rowIm = im + (rev3[c] << high) + out0;
            for (unsigned p = 0; p < 8; ++p) {
                rowRe[p] = r[p];
                rowIm[p] = i[p];
            }
        }
    }
    return 8;
}

// The first two passes (lengths 2 and 4) need no multiplications.
template <bool Inverse>
void firstRadix4Pass(double* re, double* im, unsigned n)
{
    for (unsigned i = 0; i < n; i += 4) {
        double a0r = re[i] + re[i + 1], a0i = im[i] + im[i + 1];
        double a1r = re[i] - re[i + 1], a1i = im[i] - im[i + 1];
        double a2r = re[i + 2] + re[i + 3], a2i = im[i + 2] + im[i + 3];
        double a3r = re[i + 2] - re[i + 3], a3i = im[i + 2] - im[i + 3];
        // The second butterfly of the length-4 pass multiplies by
        // e^(+-i*pi/2), i.e. by i in the forward direction, -i in the inverse.
        double b3r = Inverse ? a3i : -a3i;
        double b3i = Inverse ? -a3r : a3r;
        re[i] = a0r + a2r;
        im[i] = a0i + a2i;
        re[i + 2] = a0r - a2r;
        im[i + 2] = a0i - a2i;
        re[i + 1] = a1r + b3r;
        im[i + 1] = a1i + b3i;
        re[i + 3] = a1r - b3r;
        im[i + 3] = a1i - b3i;
    }
}

template <bool Inverse>
void firstRadix2Pass(double* re, double* im, unsigned n)
{
    for (unsigned i = 0; i < n; i += 2) {
        double ar = re[i], ai = im[i];
        double br = re[i + 1], bi = im[i + 1];
        re[i] = ar + br;
        im[i] = ai + bi;
        re[i + 1] = ar - br;
        im[i + 1] = ai - bi;
    }
}

// Passes of length 2q and 4q over one block of 4q points. x0..x3 are the
// quarters of the block; w1 are the twiddles of length 2q, w2 those of length
// 4q (the second half of the 4q twiddles is w2 times +-i).
template <bool Inverse>
void radix4Block(double* __restrict r0, double* __restrict i0, double* __restrict r1,
                 double* __restrict i1, double* __restrict r2, double* __restrict i2,
                 double* __restrict r3, double* __restrict i3, unsigned q,
                 const double* __restrict w1r, const double* __restrict w1s,
                 const double* __restrict w2r, const double* __restrict w2s)
{
    for (unsigned j = 0; j < q; ++j) {
        double c1 = w1r[j], s1 = Inverse ? -w1s[j] : w1s[j];
        double c2 = w2r[j], s2 = Inverse ? -w2s[j] : w2s[j];

        double t1r = c1 * r1[j] - s1 * i1[j];
        double t1i = c1 * i1[j] + s1 * r1[j];
        double t3r = c1 * r3[j] - s1 * i3[j];
        double t3i = c1 * i3[j] + s1 * r3[j];

        double a0r = r0[j] + t1r, a0i = i0[j] + t1i;
        double a1r = r0[j] - t1r, a1i = i0[j] - t1i;
        double a2r = r2[j] + t3r, a2i = i2[j] + t3i;
        double a3r = r2[j] - t3r, a3i = i2[j] - t3i;

        double t2r = c2 * a2r - s2 * a2i;
        double t2i = c2 * a2i + s2 * a2r;
        double t4r = c2 * a3r - s2 * a3i;
        double t4i = c2 * a3i + s2 * a3r;
        // times i (forward) or -i (inverse)
        double u4r = Inverse ? t4i : -t4i;
        double u4i = Inverse ? -t4r : t4r;

        r0[j] = a0r + t2r;
        i0[j] = a0i + t2i;
        r2[j] = a0r - t2r;
        i2[j] = a0i - t2i;
        r1[j] = a1r + u4r;
        i1[j] = a1i + u4i;
        r3[j] = a1r - u4r;
        i3[j] = a1i - u4i;
    }
}

// One radix-2 pass of length 2q over one block of 2q points.
template <bool Inverse>
void radix2Block(double* __restrict r0, double* __restrict i0, double* __restrict r1,
                 double* __restrict i1, unsigned q, const double* __restrict wr,
                 const double* __restrict ws)
{
    for (unsigned j = 0; j < q; ++j) {
        const double c = wr[j], s = Inverse ? -ws[j] : ws[j];
        const double tr = c * r1[j] - s * i1[j];
        const double ti = c * i1[j] + s * r1[j];
        r1[j] = r0[j] - tr;
        i1[j] = i0[j] - ti;
        r0[j] += tr;
        i0[j] += ti;
    }
}

// The remaining butterfly passes of an n-point transform whose input sits in
// bit-reversed order in re/im and whose blocks of length `done` are already
// transformed.
template <bool Inverse>
void butterflyPasses(double* re, double* im, unsigned n, unsigned done, const Tables& t)
{
    if (done >= n)
        return;
    if (done == 1) {
        if (countIndexBits(n) & 1) {
            firstRadix2Pass<Inverse>(re, im, n);
            done = 2;
        } else {
            firstRadix4Pass<Inverse>(re, im, n);
            done = 4;
        }
    } else if (countIndexBits(n / done) & 1) {
        // An odd number of passes is left: one radix-2 pass first.
        const unsigned q = done;
        for (unsigned block = 0; block < n; block += 2 * q)
            radix2Block<Inverse>(re + block, im + block, re + block + q, im + block + q, q,
                                 t.cosine + q, t.sine + q);
        done *= 2;
    }
    for (unsigned q = done; q < n; q *= 4) {
        for (unsigned block = 0; block < n; block += 4 * q) {
            double* r = re + block;
            double* i = im + block;
            radix4Block<Inverse>(r, i, r + q, i + q, r + 2 * q, i + 2 * q, r + 3 * q, i + 3 * q,
                                 q, t.cosine + q, t.sine + q, t.cosine + 2 * q, t.sine + 2 * q);
        }
    }
}

// Forward transform of n >= 2 real samples through an n/2-point complex
// transform.
void forwardReal(unsigned n, const float* in, float* realOut, float* imagOut, const Tables& t)
{
    const unsigned m = n / 2;
    double* __restrict re = workReal;
    double* __restrict im = workImag;
    const unsigned done =
        loadBitReversed<false>(countIndexBits(m), re, im, t, [in](unsigned i, double& r, double& c) {
            r = in[2 * i];
            c = in[2 * i + 1];
        });
    butterflyPasses<false>(re, im, m, done, t);

    // z = e + i*o, where e and o are the spectra of the even and the odd
    // samples; both are conjugate-symmetric, so e[k] = (z[k] + conj z[m-k])/2
    // and o[k] = (z[k] - conj z[m-k])/(2i). Then x[k] = e[k] + w^k o[k] with
    // w = e^(+i*2*pi/n), whose powers are the twiddles of the length-n pass.
    // Bins k and m-k use the same two values of z and w^(m-k) = -conj(w^k),
    // so they are computed together and written back in place.
    //
    // The work is split into loops that each handle one data type, because
    // the compiler vectorises backward-running accesses only then: this keeps
    // every loop here vectorised.
    const double* __restrict wr = t.cosine + m;
    const double* __restrict ws = t.sine + m;
    const double z0r = re[0], z0i = im[0];
    {
        const std::ptrdiff_t quarter = m / 2;
        double* __restrict lowRe = re;
        double* __restrict lowIm = im;
        double* __restrict highRe = re + m;  // highRe[-k] is z[m-k]
        double* __restrict highIm = im + m;
        for (std::ptrdiff_t k = 1; k < quarter; ++k) {
            const double a = lowRe[k], b = lowIm[k];
            const double c = highRe[-k], d = highIm[-k];
            const double er = 0.5 * (a + c), ei = 0.5 * (b - d);
            const double orr = 0.5 * (b + d), oi = 0.5 * (c - a);
            const double p = wr[k] * orr - ws[k] * oi;
            const double q = wr[k] * oi + ws[k] * orr;
            lowRe[k] = er + p;
            lowIm[k] = ei + q;
            highRe[-k] = er - p;
            highIm[-k] = q - ei;
        }
        if (quarter >= 1) {
            // Bin m/2 pairs with itself.
            const std::ptrdiff_t k = quarter;
            const double a = re[k], b = im[k];
            re[k] = a + wr[k] * b;
            im[k] = ws[k] * b;
        }
    }
    re[0] = z0r + z0i;
    im[0] = 0.0;
    for (unsigned k = 0; k < m; ++k) {
        realOut[k] = static_cast<float>(re[k]);
        imagOut[k] = static_cast<float>(im[k]);
    }
    realOut[m] = static_cast<float>(z0r - z0i);
    imagOut[m] = 0.0f;
    // A real input's spectrum is conjugate-symmetric: the upper half mirrors
    // the lower one.
    {
        const std::ptrdiff_t half = m;
        const float* __restrict lowRe = realOut;
        const float* __restrict lowIm = imagOut;
        float* __restrict highRe = realOut + n;
        float* __restrict highIm = imagOut + n;
        for (std::ptrdiff_t k = 1; k < half; ++k) {
            highRe[-k] = lowRe[k];
            highIm[-k] = -lowIm[k];
        }
    }
}

template <bool Inverse>
void complexTransform(unsigned n, const float* realIn, const float* imagIn, float* realOut,
                      float* imagOut, const Tables& t)
{
    double* re = workReal;
    double* im = workImag;
    const unsigned done = loadBitReversed<Inverse>(
        countIndexBits(n), re, im, t, [realIn, imagIn](unsigned i, double& r, double& c) {
            r = realIn[i];
            c = imagIn ? imagIn[i] : 0.0;
        });
    butterflyPasses<Inverse>(re, im, n, done, t);
    if (Inverse) {
        const double scale = static_cast<double>(n);
        for (unsigned i = 0; i < n; ++i) {
            re[i] /= scale;
            im[i] /= scale;
        }
    }
    for (unsigned i = 0; i < n; ++i) {
        realOut[i] = static_cast<float>(re[i]);
        imagOut[i] = static_cast<float>(im[i]);
    }
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

void fourierTransform(unsigned n, int inverse, const float* realIn, const float* imagIn,
                      float* realOut, float* imagOut)
{
    if (n == 0)
        return;
    const Tables& t = tables();
    if (n == 1) {
        // Nothing to combine: the output is the input.
        realOut[0] = realIn[0];
        imagOut[0] = imagIn ? imagIn[0] : 0.0f;
        return;
    }
    if (inverse)
        complexTransform<true>(n, realIn, imagIn, realOut, imagOut, t);
    else if (!imagIn)
        forwardReal(n, realIn, realOut, imagOut, t);
    else
        complexTransform<false>(n, realIn, imagIn, realOut, imagOut, t);
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
