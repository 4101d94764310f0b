// The transform checked against an independent direct DFT computed in long
// double, against the plain recurrence version, and for its contract (float
// interface, kernel sign, 1/n only in the inverse, aliasing, n = 1); the
// half spectrum of real input from both builds of the passes (SSE2, AVX)
// against the direct DFT and against each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "analysis/Fft.h"

namespace {

using Floats = std::vector<float>;

struct LongSpectrum {
    std::vector<long double> re, im;
};

// X[k] = scale * sum_m x[m] e^(sign*i*2*pi*m*k/n), straight from the
// definition, with the exponentials taken from a table of n long-double
// values (index m*k mod n), so no error accumulates along a recurrence.
LongSpectrum directDft(const Floats& re, const Floats* im, int sign, bool divideByN)
{
    const size_t n = re.size();
    const long double twoPi = 2.0L * std::acos(-1.0L);
    std::vector<long double> c(n), s(n);
    for (size_t j = 0; j < n; ++j) {
        long double angle = twoPi * static_cast<long double>(j) / static_cast<long double>(n);
        c[j] = std::cos(angle);
        s[j] = sign * std::sin(angle);
    }
    LongSpectrum out{std::vector<long double>(n), std::vector<long double>(n)};
    for (size_t k = 0; k < n; ++k) {
        long double sr = 0.0L, si = 0.0L;
        for (size_t m = 0; m < n; ++m) {
            const size_t j = (m * k) & (n - 1);
            const long double xr = re[m];
            const long double xi = im ? (*im)[m] : 0.0L;
            sr += xr * c[j] - xi * s[j];
            si += xr * s[j] + xi * c[j];
        }
        if (divideByN) {
            sr /= static_cast<long double>(n);
            si /= static_cast<long double>(n);
        }
        out.re[k] = sr;
        out.im[k] = si;
    }
    return out;
}

struct Comparison {
    double serDb;         // signal-to-error ratio over all bins
    double worstExcess;   // max over bins of error / allowed error; <= 1 passes
};

// Allowed error of one bin: the rounding of that bin to float (half an ulp,
// bounded by 2^-24 of its value, twice for safety) plus 1e-12 of the peak.
// Double arithmetic stays near 1e-15 of the peak; float arithmetic would
// leave about 1e-7 of the peak in every bin.
Comparison compare(const Floats& re, const Floats& im, const LongSpectrum& want)
{
    long double peak = 0.0L, signal = 0.0L, error = 0.0L;
    for (size_t k = 0; k < re.size(); ++k)
        peak = std::max(peak, std::hypot(want.re[k], want.im[k]));
    double worst = 0.0;
    for (size_t k = 0; k < re.size(); ++k) {
        const long double er = re[k] - want.re[k];
        const long double ei = im[k] - want.im[k];
        const long double mag = std::hypot(want.re[k], want.im[k]);
        signal += want.re[k] * want.re[k] + want.im[k] * want.im[k];
        error += er * er + ei * ei;
        const long double allowed = 2.0L * std::ldexp(1.0L, -24) * mag + 1e-12L * peak + 1e-30L;
        worst = std::max(worst, static_cast<double>(std::hypot(er, ei) / allowed));
    }
    const double ser = error == 0.0L ? 400.0 : static_cast<double>(10.0L * std::log10(signal / error));
    return {ser, worst};
}

Floats randomSignal(size_t n, uint32_t seed, float scale)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-scale, scale);
    Floats x(n);
    for (auto& v : x)
        v = dist(gen);
    return x;
}

// A strong tone between bins and a tone 110 dB weaker on another frequency.
Floats twoTone(size_t n)
{
    const double twoPi = 2.0 * std::acos(-1.0);
    Floats x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(n);
        x[i] = static_cast<float>(30000.0 * std::cos(twoPi * (n / 8.0 + 0.37) * t + 0.3) +
                                  0.1 * std::sin(twoPi * (n / 3.0 + 0.11) * t));
    }
    return x;
}

double maxAbs(const Floats& x)
{
    double m = 0.0;
    for (float v : x)
        m = std::max(m, static_cast<double>(std::fabs(v)));
    return m;
}

// The builds of the transform's passes this processor runs.
std::vector<FourierKernels> availableKernels()
{
    std::vector<FourierKernels> kernels = {FourierKernels::Baseline};
    const FourierKernels usual = fourierKernels();
    if (useFourierKernels(FourierKernels::Avx))
        kernels.push_back(FourierKernels::Avx);
    useFourierKernels(usual);
    return kernels;
}

// Runs the transforms with one build of the passes while it lives.
class KernelsInUse {
public:
    explicit KernelsInUse(FourierKernels kernels) : usual_(fourierKernels())
    {
        EXPECT_TRUE(useFourierKernels(kernels));
    }
    ~KernelsInUse() { useFourierKernels(usual_); }
    KernelsInUse(const KernelsInUse&) = delete;
    KernelsInUse& operator=(const KernelsInUse&) = delete;

private:
    FourierKernels usual_;
};

// The largest difference in dB between bins 0 .. n/2 and the exact spectrum
// over the bins at most 160 dB below its peak (the analyzer's display ends
// long before that).
double worstDbError(const Floats& re, const Floats& im, const LongSpectrum& want)
{
    long double peak = 0.0L;
    for (size_t k = 0; k < re.size(); ++k)
        peak = std::max(peak, std::hypot(want.re[k], want.im[k]));
    double worst = 0.0;
    for (size_t k = 0; k < re.size(); ++k) {
        const long double exact = std::hypot(want.re[k], want.im[k]);
        if (exact < 1e-8L * peak)
            continue;
        const long double got = std::hypot(static_cast<long double>(re[k]), static_cast<long double>(im[k]));
        worst = std::max(worst, static_cast<double>(std::fabs(20.0L * std::log10(got / exact))));
    }
    return worst;
}

}  // namespace

TEST(FftBits, CountIndexBitsFindsLowestSetBit)
{
    for (unsigned k = 0; k < 32; ++k)
        EXPECT_EQ(countIndexBits(1u << k), k);
    EXPECT_EQ(countIndexBits(12u), 2u);
    EXPECT_EQ(countIndexBits(0x28u), 3u);
    EXPECT_EQ(countIndexBits(0xFFFFFFFFu), 0u);
}

TEST(FftBits, BitReverseIndexReversesTheLowBits)
{
    EXPECT_EQ(bitReverseIndex(1, 3), 4u);
    EXPECT_EQ(bitReverseIndex(6, 3), 3u);   // 110 -> 011
    EXPECT_EQ(bitReverseIndex(1, 4), 8u);
    EXPECT_EQ(bitReverseIndex(0xB, 4), 0xDu);  // 1011 -> 1101
    EXPECT_EQ(bitReverseIndex(0xFF, 4), 0xFu);  // bits above `bits` are ignored
    EXPECT_EQ(bitReverseIndex(0x12345, 0), 0u);
    EXPECT_EQ(bitReverseIndex(1, 16), 0x8000u);
    // A permutation that is its own inverse, at every length up to 2^12.
    for (unsigned bits = 0; bits <= 12; ++bits) {
        std::vector<int> seen(1u << bits, 0);
        for (unsigned i = 0; i < (1u << bits); ++i) {
            const unsigned r = bitReverseIndex(i, bits);
            ASSERT_LT(r, 1u << bits);
            ++seen[r];
            ASSERT_EQ(bitReverseIndex(r, bits), i);
        }
        for (int count : seen)
            ASSERT_EQ(count, 1);
    }
}


// Real input, forward: the whole spectrum of fourierTransform, and bins
// 0 .. n/2 of realFourierTransform (the block processor's call) from every
// build of the passes, each bin within a thousandth of a dB.
TEST(FftAccuracy, ForwardRealMatchesDirectDftAtEveryLength)
{
    const std::vector<FourierKernels> kernels = availableKernels();
    for (unsigned n = 1; n <= 16384; n *= 2) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats inputs[2] = {randomSignal(n, 1000 + n, 32768.0f), twoTone(n)};
        for (const Floats& x : inputs) {
            const LongSpectrum want = directDft(x, nullptr, +1, false);
            Floats re(n), im(n);
            fourierTransform(n, 0, x.data(), nullptr, re.data(), im.data());
            const Comparison c = compare(re, im, want);
            // Rounding the outputs to float alone costs about 150 dB.
            EXPECT_GT(c.serDb, 140.0);
            EXPECT_LE(c.worstExcess, 1.0);
            if (n < 2)
                continue;
            for (FourierKernels k : kernels) {
                SCOPED_TRACE(k == FourierKernels::Avx ? "AVX" : "SSE2");
                KernelsInUse use(k);
                Floats halfRe(n / 2 + 1), halfIm(n / 2 + 1);
                realFourierTransform(n, x.data(), halfRe.data(), halfIm.data());
                EXPECT_LE(worstDbError(halfRe, halfIm, want), 0.001);
                EXPECT_LE(compare(halfRe, halfIm, want).worstExcess, 1.0);
            }
        }
    }
}

// The AVX build of the passes does the SSE2 build's operations in the same
// order: the same bits come out, in every mode, at every length.
TEST(FftKernels, AvxAndSse2BuildsGiveTheSameBits)
{
    if (availableKernels().size() < 2)
        GTEST_SKIP() << "this processor has no AVX";
    for (unsigned n = 2; n <= 65536; n *= 2) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats x = randomSignal(n, 5 * n, 32768.0f);
        const Floats y = randomSignal(n, 5 * n + 1, 32768.0f);
        Floats out[2][6];
        for (int b = 0; b < 2; ++b) {
            KernelsInUse use(b ? FourierKernels::Avx : FourierKernels::Baseline);
            for (Floats& o : out[b])
                o.assign(n, 0.0f);
            realFourierTransform(n, x.data(), out[b][0].data(), out[b][1].data());
            fourierTransform(n, 0, x.data(), y.data(), out[b][2].data(), out[b][3].data());
            fourierTransform(n, 1, x.data(), y.data(), out[b][4].data(), out[b][5].data());
        }
        for (int o = 0; o < 6; ++o)
            EXPECT_EQ(out[0][o], out[1][o]) << "output " << o;
    }
}

// Complex input in both directions, including the 1/n of the inverse.
TEST(FftAccuracy, ComplexForwardAndInverseMatchDirectDft)
{
    for (unsigned n = 1; n <= 4096; n *= 2) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats xr = randomSignal(n, 7 * n + 1, 1000.0f);
        const Floats xi = randomSignal(n, 7 * n + 2, 1000.0f);
        for (int inverse = 0; inverse <= 1; ++inverse) {
            SCOPED_TRACE(inverse ? "inverse" : "forward");
            Floats re(n), im(n);
            fourierTransform(n, inverse, xr.data(), xi.data(), re.data(), im.data());
            const LongSpectrum want = directDft(xr, &xi, inverse ? -1 : +1, inverse != 0);
            const Comparison c = compare(re, im, want);
            EXPECT_GT(c.serDb, 140.0);
            EXPECT_LE(c.worstExcess, 1.0);
        }
    }
}

// A tone 130 dB below the peak keeps its level to a hundredth of a dB: noise
// of float arithmetic (about 1e-7 of the peak in every bin) would swamp it.
TEST(FftAccuracy, WeakToneFarBelowThePeakKeepsItsLevel)
{
    const unsigned n = 4096;
    const double twoPi = 2.0 * std::acos(-1.0);
    const double weak = std::pow(10.0, -130.0 / 20.0);
    Floats x(n);
    for (unsigned i = 0; i < n; ++i)
        x[i] = static_cast<float>(std::cos(twoPi * 300.0 * i / n) +
                                  weak * std::cos(twoPi * 1000.0 * i / n));
    Floats re(n), im(n);
    fourierTransform(n, 0, x.data(), nullptr, re.data(), im.data());
    const LongSpectrum want = directDft(x, nullptr, +1, false);
    const double wantDb = 20.0 * std::log10(static_cast<double>(std::hypot(want.re[1000], want.im[1000])));
    const double gotDb = 20.0 * std::log10(std::hypot(static_cast<double>(re[1000]), static_cast<double>(im[1000])));
    EXPECT_NEAR(gotDb, wantDb, 0.01);
    // and the weak tone is really there, about 130 dB below the strong one
    EXPECT_NEAR(wantDb - 20.0 * std::log10(n / 2.0), -130.0, 1.0);
}

TEST(FftContract, LengthOneCopiesTheInput)
{
    float re = 0.0f, im = 0.0f;
    const float x = 3.25f, y = -1.5f;
    fourierTransform(1, 0, &x, nullptr, &re, &im);
    EXPECT_EQ(re, 3.25f);
    EXPECT_EQ(im, 0.0f);
    fourierTransform(1, 0, &x, &y, &re, &im);
    EXPECT_EQ(re, 3.25f);
    EXPECT_EQ(im, -1.5f);
    fourierTransform(1, 1, &x, &y, &re, &im);
    EXPECT_EQ(re, 3.25f);
    EXPECT_EQ(im, -1.5f);
}

TEST(FftContract, ConstantInputLandsInBinZeroUnscaled)
{
    for (unsigned n : {2u, 8u, 1024u, 16384u}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const float a = -7.5f;
        Floats x(n, a), re(n), im(n);
        fourierTransform(n, 0, x.data(), nullptr, re.data(), im.data());
        EXPECT_FLOAT_EQ(re[0], n * a);
        EXPECT_EQ(im[0], 0.0f);
        double rest = 0.0;
        for (unsigned k = 1; k < n; ++k)
            rest = std::max(rest, std::hypot(static_cast<double>(re[k]), static_cast<double>(im[k])));
        EXPECT_LE(rest, 1e-9 * n * std::fabs(a));
    }
}

// Bins k and n-k of a cosine with k cycles hold A*n/2; a sine pins the sign of
// the kernel: with e^(+i...) its bin k is +i*A*n/2.
TEST(FftContract, CosineAndSineWithWholeCyclesHitBinsKAndNMinusK)
{
    const double twoPi = 2.0 * std::acos(-1.0);
    for (unsigned n : {16u, 1024u, 16384u}) {
        for (unsigned k : {1u, 3u, n / 4 - 1}) {
            SCOPED_TRACE("n = " + std::to_string(n) + ", k = " + std::to_string(k));
            const double amp = 1234.5;
            Floats c(n), s(n), re(n), im(n);
            for (unsigned i = 0; i < n; ++i) {
                c[i] = static_cast<float>(amp * std::cos(twoPi * k * i / n));
                s[i] = static_cast<float>(amp * std::sin(twoPi * k * i / n));
            }
            const double want = amp * n / 2.0;
            fourierTransform(n, 0, c.data(), nullptr, re.data(), im.data());
            EXPECT_NEAR(re[k], want, 1e-6 * want);
            EXPECT_NEAR(re[n - k], want, 1e-6 * want);
            double elsewhere = 0.0;
            for (unsigned j = 0; j < n; ++j)
                if (j != k && j != n - k)
                    elsewhere = std::max(elsewhere, std::hypot(static_cast<double>(re[j]), static_cast<double>(im[j])));
            EXPECT_LE(elsewhere, 1e-6 * want);

            fourierTransform(n, 0, s.data(), nullptr, re.data(), im.data());
            EXPECT_NEAR(im[k], want, 1e-6 * want);
            EXPECT_NEAR(im[n - k], -want, 1e-6 * want);
            EXPECT_NEAR(re[k], 0.0, 1e-6 * want);
        }
    }
}

TEST(FftContract, ForwardThenInverseGivesBackTheInput)
{
    for (unsigned n = 2; n <= 65536; n *= 2) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats x = randomSignal(n, 77 + n, 32768.0f);
        Floats re(n), im(n), yr(n), yi(n);
        fourierTransform(n, 0, x.data(), nullptr, re.data(), im.data());
        fourierTransform(n, 1, re.data(), im.data(), yr.data(), yi.data());
        double err = 0.0;
        for (unsigned i = 0; i < n; ++i) {
            err = std::max(err, static_cast<double>(std::fabs(yr[i] - x[i])));
            err = std::max(err, static_cast<double>(std::fabs(yi[i])));
        }
        EXPECT_LE(err, 4e-7 * maxAbs(x));
    }
}

TEST(FftContract, OutputsMayBeTheInputArrays)
{
    const unsigned n = 2048;
    const Floats x = randomSignal(n, 5, 100.0f);
    const Floats y = randomSignal(n, 6, 100.0f);
    for (int inverse = 0; inverse <= 1; ++inverse) {
        // real input only, in place
        Floats re(n), im(n);
        fourierTransform(n, inverse, x.data(), nullptr, re.data(), im.data());
        Floats a = x, b(n, 99.0f);
        fourierTransform(n, inverse, a.data(), nullptr, a.data(), b.data());
        EXPECT_EQ(a, re);
        EXPECT_EQ(b, im);

        // complex input, in place and with the outputs crossed
        fourierTransform(n, inverse, x.data(), y.data(), re.data(), im.data());
        a = x;
        b = y;
        fourierTransform(n, inverse, a.data(), b.data(), a.data(), b.data());
        EXPECT_EQ(a, re);
        EXPECT_EQ(b, im);
        a = x;
        b = y;
        fourierTransform(n, inverse, a.data(), b.data(), b.data(), a.data());
        EXPECT_EQ(b, re);
        EXPECT_EQ(a, im);
    }
}

// The fast transform and the plain recurrence version agree to the rounding
// of their float outputs, relative to the peak, at every length the
// transform takes.
TEST(FftReference, FastAndPlainTransformsAgree)
{
    for (unsigned n = 1; n <= 65536; n *= 2) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats x = randomSignal(n, 3 * n, 32768.0f);
        const Floats y = randomSignal(n, 3 * n + 1, 32768.0f);
        for (int mode = 0; mode < 3; ++mode) {
            const int inverse = mode == 2;
            const float* imag = mode == 0 ? nullptr : y.data();
            Floats fr(n), fi(n), pr(n), pi(n);
            fourierTransform(n, inverse, x.data(), imag, fr.data(), fi.data());
            referenceFourierTransform(n, inverse, x.data(), imag, pr.data(), pi.data());
            const double peak = std::max(maxAbs(pr), maxAbs(pi));
            double diff = 0.0;
            for (unsigned k = 0; k < n; ++k)
                diff = std::max(diff, std::hypot(static_cast<double>(fr[k] - pr[k]),
                                                 static_cast<double>(fi[k] - pi[k])));
            // Each output is within half an ulp (2^-24 relative) of the exact
            // value; allow four times that of the peak.
            EXPECT_LE(diff, std::ldexp(4.0, -24) * peak) << "mode " << mode;
        }
    }
}

// The plain version is itself a correct transform (so the comparison above
// means something).
TEST(FftReference, PlainTransformMatchesDirectDft)
{
    for (unsigned n : {1u, 2u, 64u, 1024u}) {
        SCOPED_TRACE("n = " + std::to_string(n));
        const Floats x = randomSignal(n, n + 11, 500.0f);
        Floats re(n), im(n);
        referenceFourierTransform(n, 0, x.data(), nullptr, re.data(), im.data());
        EXPECT_GT(compare(re, im, directDft(x, nullptr, +1, false)).serDb, 140.0);
    }
}
