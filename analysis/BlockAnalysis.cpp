// Block analysis: what the capture thread does with each recorded block.
//
// How it works
// - The block's samples go, as floats, into the samples of the half that
//   RefMode (63) selects (non-zero: reference, set[0]; zero: analysis,
//   set[1]); conditionBlock removes their mean in place and, once after each
//   Reference command, measures the waveform view's full scale.
// - realFourierTransform turns them into a spectrum; the magnitudes of bins
//   0 .. N/2 (not scaled by N, no window) are averaged exponentially into the
//   engine's integrator with weight 1/IntLvl on the newest block; the first
//   block of a capture run (IntCount == 1) seeds it instead.
// - The integrated magnitudes become decibels, clamped at 0 dB, in the half's
//   spectrum. The mean level is their sum over the N/2 + 1 bins divided by
//   N/2; each band level is the mean of the dB values of the band's bins
//   (never the dB value of a mean power).
// - Everything lives in fixed arrays of the engine; nothing is allocated.
// - A window function other than Rectangular (WindowFunction, 86) multiplies
//   the DC-free samples into a separate array before the transform; the
//   integrated magnitudes are then divided by its coherent gain and, with a
//   calibration (CalDate > 0), multiplied by the calibration offset
//   (CalOffset, 87), as one factor; the mean and band levels lose the
//   window's equivalent noise bandwidth in dB. With Rectangular and no
//   calibration none of these steps runs (analysis/Levels.h).
//   Long sums are kept in several partial sums so that the additions do not
//   wait on each other (the order of a sum is free, its type is not).
// - Calibration and weighting. The calibration offset and the chosen
//   weighting (analysis/Weighting.h, a dB per bin) are added to the levels
//   after the decibel step. Only raw levels (no calibration, Z weighting)
//   are held at 0 dB: a calibrated or weighted level below 0 dB is real.
//   With neither, the trace, the mean and the band means are the plain
//   analysis's, bit for bit.
// - The energy side. Each block's power spectrum (analysis/BandPower.h) is
//   averaged as powers: exponentially with the magnitudes' weights, or, with
//   Linear averaging, as the Leq since the capture run started (whose mean
//   is then also the trace). Band totals and the overall Z, A and C levels
//   (Readings) come from that average, never from the averaged magnitudes,
//   which read steady noise about 1 dB low. The maximum hold keeps each
//   bin's largest block power; its dB trace travels in the display buffer.
// - The microphone's response. With a response file its per-bin gains
//   (AnalysisArrays::binCorrectionGain and binCorrectionAmplitude) are
//   multiplied into the block's powers and magnitudes in the passes that
//   make them, so every level after them, the trace, the means, the bands,
//   the band totals, the Leq and the maximum hold, has it taken off, and
//   the correction adds no pass of its own.
// - Fractional-octave bands. The same averaged powers give each third
//   octave's energy (the sum bandEnergy makes over its edges, the edge bins
//   split), and each octave's from its three thirds, whose outer edges are
//   its own: the octave costs two additions. The band lists, and the bins
//   and parts each band sums, are made again only when the block length or
//   the rate changes; a band's level (a logarithm) is taken only when it is
//   read, not with every block.
// - Hold. A Leq with a duration stops taking blocks once it is covered; with
//   holdComplete, an exponential average stops once its IntLvl blocks are
//   in. A held half keeps its spectrum, levels and readings until the next
//   capture run (IntCount 1) starts it afresh.
#include "analysis/BlockAnalysis.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "analysis/Fft.h"

int truncToInt(double value)
{
    if (!(value > static_cast<double>(INT_MIN) && value < static_cast<double>(INT_MAX)))
        return 0;
    return static_cast<int>(value);
}

namespace {

bool isSupportedLength(int n)
{
    return n >= 2 && n <= MaxSamples && (n & (n - 1)) == 0;
}

void builtInTransform(void*, unsigned n, const float* in, float* realOut, float* imagOut)
{
    realFourierTransform(n, in, realOut, imagOut);
}

// Sum of values[0 .. count-1] in float.
float sumFloat(const float* values, int count)
{
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        s0 += values[i];
        s1 += values[i + 1];
        s2 += values[i + 2];
        s3 += values[i + 3];
    }
    for (; i < count; ++i)
        s0 += values[i];
    return (s0 + s1) + (s2 + s3);
}

float clampAtZero(float level)
{
    return level > 0.0f ? level : 0.0f;
}

}  // namespace

namespace {

// 20 log10(v) for v > 1, else 0 (see magnitudesToDecibels). Inlined into
// each loop below, which then vectorises.
inline float decibels20(float v)
{
    // x = 2^e * m with m in [sqrt(1/2), sqrt(2)), taken apart in the float's
    // bits; ln m = 2 atanh(s) = 2 (s + s^3/3 + s^5/5 + ...) with
    // s = (m - 1)/(m + 1), |s| < 0.172, where eight terms leave an error
    // below 1e-13 dB. Everything after the split is in double, so the
    // float result is 20 log10(x) correctly rounded except, rarely, by one
    // unit in the last place. Unlike a library call, the loop vectorises.
    constexpr double DbPerOctave = 6.020599913279624;  // 20 log10(2)
    constexpr double DbPerNeper = 8.685889638065037;   // 20 / ln(10)
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits += 0x3F800000u - 0x3F3504F3u;  // carries into the exponent when m >= sqrt(2)
    const int e = static_cast<int>(bits >> 23) - 0x7F;
    bits = (bits & 0x007FFFFFu) + 0x3F3504F3u;
    float mantissa;
    std::memcpy(&mantissa, &bits, sizeof mantissa);
    const double f = static_cast<double>(mantissa) - 1.0;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double series =
        1.0 + z * (1.0 / 3 + z * (1.0 / 5 + z * (1.0 / 7 + z * (1.0 / 9 + z * (1.0 / 11 +
        z * (1.0 / 13 + z * (1.0 / 15)))))));
    const double db = static_cast<double>(e) * DbPerOctave + (2.0 * s * series) * DbPerNeper;
    // Magnitudes up to 1 give 0 dB or less and read 0 dB. That includes
    // 0, whose logarithm is minus infinity: the split above turns 0 and
    // the subnormals into about -760 dB, so the clamp covers them without
    // a branch (a branch would stop the vectorisation).
    const float db32 = static_cast<float>(db);
    return db32 > 0.0f ? db32 : 0.0f;
}

// out[k] = 10 log10(power[k]) (0 dB for powers up to 1, as raw levels are
// held), plus `offset` and weightDb[k] (may be null): one pass.
void powerToDecibels(const float* power, float* out, int count, float offset,
                     const float* weightDb)
{
    // In place, the clamped logarithm vectorises; with the shift fused
    // into its loop it would not (the clamp becomes a branch).
    for (int k = 0; k < count; ++k)
        out[k] = decibels20(power[k]);
    if (weightDb) {
        for (int k = 0; k < count; ++k)
            out[k] = 0.5f * out[k] + offset + weightDb[k];
    } else {
        for (int k = 0; k < count; ++k)
            out[k] = 0.5f * out[k] + offset;
    }
}

}  // namespace

void magnitudesToDecibels(float* values, int count)
{
    for (int k = 0; k < count; ++k)
        values[k] = decibels20(values[k]);
}

void computeBandEdges(int n, int rate, const int limits[4], float bandEdgeBins[4])
{
    if (rate <= 0) {
        // No rate yet: there is no meaningful bin position.
        for (int k = 0; k < 4; ++k)
            bandEdgeBins[k] = 0.0f;
        return;
    }
    const float binsPerHz = static_cast<float>(n) / static_cast<float>(rate);
    const int nyquist = rate / 2;
    for (int k = 0; k < 4; ++k) {
        const int limit = limits[k];
        // A limit above half the rate is pulled down to the bin of one hertz
        // below it.
        const int hz = limit > nyquist ? nyquist - 1 : limit;
        bandEdgeBins[k] = static_cast<float>(hz) * binsPerHz;
    }
}

int conditionBlock(int count, float* samples, int waveFullScale)
{
    if (count <= 0)
        return waveFullScale;

    // The samples of a recorded block are whole 16-bit numbers, so this sum
    // is exact in any order.
    double total = 0.0;
#pragma omp simd reduction(+ : total)
    for (int i = 0; i < count; ++i)
        total += samples[i];
    const double mean = total / count;

    // The order of the sum of |d| is free, and the reductions are written so
    // that the compiler may keep partial sums and maxima in vector lanes.
    double absSum = 0.0;
    float peak = 0.0f;
    // The first 201 samples do not count for the peak: a recording often
    // starts with a click.
    const int peakFrom = count < 201 ? count : 201;
#pragma omp simd reduction(+ : absSum)
    for (int j = 0; j < peakFrom; ++j) {
        const float d = static_cast<float>(samples[j] - mean);
        samples[j] = d;
        absSum += std::fabs(d);
    }
#pragma omp simd reduction(+ : absSum) reduction(max : peak)
    for (int j = peakFrom; j < count; ++j) {
        const float d = static_cast<float>(samples[j] - mean);
        samples[j] = d;
        const float m = std::fabs(d);
        absSum += m;
        peak = m > peak ? m : peak;
    }
    const double meanAbs = absSum / count;

    if (waveFullScale <= 0 && 0.75 * meanAbs <= peak)
        return truncToInt(peak);
    return waveFullScale;
}

// Step 10 of a block: the mean of the dB bins of each band, less the
// window's equivalent noise bandwidth (0 dB for the rectangular window);
// raw levels (no calibration, no weighting) are held at 0 dB.
static void bandLevels(AnalysisArrays& arrays, const float* x, int h, float* levels,
                       float bandwidthDb, bool clamp)
{
    for (int b = 0; b < 3; ++b) {
        int lo = truncToInt(arrays.bandEdgeBins[b]);
        if (lo == 0)
            lo = 1;  // the DC bin belongs to no band
        int hi = truncToInt(arrays.bandEdgeBins[b + 1]);
        if (hi <= lo)
            hi = lo + 1;
        // Edges always lie below N/2; keep stale or invalid ones inside the
        // spectrum rather than read past it.
        if (lo < 1)
            lo = 1;
        if (lo > h)
            lo = h;
        if (hi > h + 1)
            hi = h + 1;
        if (hi <= lo)
            hi = lo + 1;
        const int width = hi - lo;
        for (int k = 0; k < width; ++k)
            arrays.bandScratch[k] = x[lo + k];
        const float level = sumFloat(arrays.bandScratch, width) / static_cast<float>(width) -
                            bandwidthDb;
        levels[b] = clamp ? clampAtZero(level) : level;
    }
}

namespace {

// The weighting tables a block needs: the chosen one, and A and C for the
// overall levels. Built once per kind, length and rate.
void buildWeightings(AnalysisArrays& arrays, int kind, int n, int rate)
{
    buildWeighting(arrays.weighting, kind, n, rate);
    buildWeighting(arrays.weightingA, WeightingKind::A, n, rate);
    buildWeighting(arrays.weightingC, WeightingKind::C, n, rate);
}

const float* gainOf(const WeightingTable& table, int kind)
{
    return kind == WeightingKind::Z || table.length == 0 ? nullptr : table.gain;
}

// The band totals and overall levels of an averaged power spectrum: the
// bands under the chosen weighting, and the three overall levels of bins
// 1 .. h in one pass.
void fillReadings(const AnalysisArrays& arrays, const float* power, int h, int weighting,
                  const EnergyScale& scale, HalfReadings& out)
{
    const float* const gain = gainOf(arrays.weighting, weighting);
    fractionalBandEnergies(arrays.readings, power, gain, scale, out);
    for (int b = 0; b < 3; ++b)
        out.bandTotal[b] = energyLevel(
            bandEnergy(power, gain, h, arrays.bandEdgeBins[b], arrays.bandEdgeBins[b + 1]), scale);
    const float* const a = gainOf(arrays.weightingA, WeightingKind::A);
    const float* const c = gainOf(arrays.weightingC, WeightingKind::C);
    double z = 0.0, wa = 0.0, wc = 0.0;
    if (a && c) {
        double zl[4] = {}, al[4] = {}, cl[4] = {};
        int k = 1;
        for (; k + 4 <= h + 1; k += 4)
            for (int j = 0; j < 4; ++j) {
                const double p = power[k + j];
                zl[j] += p;
                al[j] += p * a[k + j];
                cl[j] += p * c[k + j];
            }
        for (; k <= h; ++k) {
            zl[0] += power[k];
            al[0] += static_cast<double>(power[k]) * a[k];
            cl[0] += static_cast<double>(power[k]) * c[k];
        }
        z = (zl[0] + zl[1]) + (zl[2] + zl[3]);
        wa = (al[0] + al[1]) + (al[2] + al[3]);
        wc = (cl[0] + cl[1]) + (cl[2] + cl[3]);
    } else {  // no rate: no weighting tables
        z = wa = wc = bandEnergy(power, nullptr, h, 0.5, h + 0.5);
    }
    out.overall[WeightingKind::Z] = energyLevel(z, scale);
    out.overall[WeightingKind::A] = energyLevel(wa, scale);
    out.overall[WeightingKind::C] = energyLevel(wc, scale);
}

// Adds the calibration and the weighting, in dB, to a spectrum of raw
// levels: levels a calibration or a weighting shifts are no longer held at
// 0 dB.
void shiftLevels(float* x, int h, double calibrationDb, const WeightingTable* weighting)
{
    const float c = static_cast<float>(calibrationDb);
    if (weighting) {
        const float* const w = weighting->db;
        for (int k = 0; k <= h; ++k)
            x[k] += c + w[k];
    } else if (c != 0.0f) {
        for (int k = 0; k <= h; ++k)
            x[k] += c;
    }
}

// The mean level of a spectrum: its bins over N/2. A weighted spectrum
// leaves out the DC bin, which every weighting but Z removes.
float meanOf(const float* x, int h, bool weighted)
{
    return weighted ? sumFloat(x + 1, h) / static_cast<float>(h)
                    : sumFloat(x, h + 1) / static_cast<float>(h);
}

bool heldAlready(const BlockSettings& settings, const AnalysisArrays& arrays)
{
    if (settings.intCount == 1)
        return false;  // a new capture run starts afresh
    if (settings.averaging == AveragingKind::Linear) {
        return arrays.leq.complete();  // the Leq's duration is over
    }
    return settings.holdComplete && settings.intCount > settings.intLvl;
}

}  // namespace

int processBlockWith(const BlockSettings& settings, AnalysisArrays& arrays,
                     DisplayBuffer& working, int count, const int16_t* samples,
                     BlockResult* result, RealForwardTransform transform, void* context)
{
    const int n = settings.numSamples;
    const int target = settings.reference ? 1 : 0;
    int intLvl = settings.intLvl;
    const int intCount = settings.intCount;
    if (count != n || !isSupportedLength(n))
        return -1;
    // IntLvl is at least 1 by configuration; guard the division anyway.
    if (intLvl < 1)
        intLvl = 1;
    const int halfIndex = target != 0 ? 0 : 1;

    if (heldAlready(settings, arrays)) {
        // A completed measurement stands still until it is started again.
        arrays.readings.held = 1;
        BlockResult held;
        held.meanLevel = arrays.heldMeanLevel[halfIndex];
        held.intCount = intCount;
        held.waveFullScale = settings.waveFullScale;
        if (result)
            *result = held;
        return 0;
    }

    SpectrumSet& half = working.set[halfIndex];
    float* const s = half.samples;
    float* const x = half.spectrum;
    const int h = n / 2;

    for (int i = 0; i < n; ++i)
        s[i] = static_cast<float>(samples[i]);

    BlockResult found;
    found.waveFullScale = conditionBlock(n, s, settings.waveFullScale);

    // The window: built once per function and block length.
    const int windowKind = settings.windowKind;
    const float* input = s;
    float scale = 1.0f;
    float bandwidthDb = 0.0f;
    if (windowKind > WindowKind::Rectangular && windowKind < WindowKind::Count) {
        buildWindow(arrays.window, windowKind, n);
        const float* const w = arrays.window.coefficients;
        float* const out = arrays.windowed;
        for (int i = 0; i < n; ++i)
            out[i] = s[i] * w[i];
        input = out;
        scale = static_cast<float>(1.0 / arrays.window.coherentGain);
        bandwidthDb = static_cast<float>(noiseBandwidthDb(arrays.window));
    }
    const int calOffset = settings.calOffset;
    const int weighting =
        settings.weighting > WeightingKind::Z && settings.weighting < WeightingKind::Count
            ? settings.weighting
            : WeightingKind::Z;
    const bool weighted = weighting != WeightingKind::Z;
    const bool linear = settings.averaging == AveragingKind::Linear;
    // Raw levels, in the sound card's dB, are held at 0 dB; calibrated or
    // weighted ones are real below it.
    const bool raw = calOffset == 0 && !weighted;
    buildWeightings(arrays, weighting, n, settings.sampFrq);
    listFractionalBands(arrays.readings, n, settings.sampFrq);

    transform(context, static_cast<unsigned>(n), input, arrays.fftReal, arrays.fftImag);

    const float* const re = arrays.fftReal;
    const float* const im = arrays.fftImag;

    // The energy side: powers, averaged as powers.
    const EnergyScale energy = energyScale(windowKind, arrays.window, calOffset);
    float* const power = arrays.power;
    blockPower(re, im, h, energy, power, arrays.binCorrectionGain);
    const float* averaged = arrays.powerAverage;
    if (linear) {
        if (intCount == 1)
            arrays.leq.reset(h + 1, n, settings.sampFrq, settings.leqSeconds);
        arrays.leq.addAndMean(power, arrays.leqMean);
        averaged = arrays.leqMean;
    } else {
        float* const avg = arrays.powerAverage;
        if (intCount == 1) {
            for (int k = 0; k <= h; ++k)
                avg[k] = power[k];
        } else {
            const float g = static_cast<float>(intLvl);
            const float a = 1.0f / g;
            const float b = (g - 1.0f) / g;
            for (int k = 0; k <= h; ++k)
                avg[k] = b * avg[k] + a * power[k];
        }
    }
    if (settings.maxHold) {
        // Only the bins a block raises change their level, so after the
        // first blocks few logarithms remain; a new calibration or
        // weighting shifts them all.
        const float offset = static_cast<float>(energy.calibrationDb);
        const float* const w = weighted ? arrays.weighting.db : nullptr;
        const bool restart = intCount == 1 || arrays.maxHold.bins() != h + 1;
        if (restart)
            arrays.maxHold.reset(h + 1);
        if (restart || working.maxHoldBins != h + 1 || arrays.maxHoldOffset != offset ||
            arrays.maxHoldWeighting != weighting) {
            arrays.maxHold.add(power);
            powerToDecibels(arrays.maxHold.values(), working.maxHold, h + 1, offset, w);
            arrays.maxHoldOffset = offset;
            arrays.maxHoldWeighting = weighting;
        } else {
            const float* const held = arrays.maxHold.values();
            float* const out = working.maxHold;
            for (int k = 0; k <= h; ++k)
                if (power[k] > held[k])
                    out[k] = 0.5f * decibels20(power[k]) + offset + (w ? w[k] : 0.0f);
            arrays.maxHold.add(power);
        }
        working.maxHoldBins = h + 1;
    } else {
        working.maxHoldBins = 0;
    }

    if (linear) {
        // The trace is the Leq's spectrum, calibrated and weighted.
        powerToDecibels(arrays.leqMean, x, h + 1, static_cast<float>(energy.calibrationDb),
                        weighted ? arrays.weighting.db : nullptr);
    } else {
        blockMagnitudes(re, im, h, arrays.binCorrectionAmplitude, x);
        float* const integ = arrays.integrator;
        if (intCount == 1) {
            // First block of a capture run: it seeds the average.
            for (int k = 0; k <= h; ++k)
                integ[k] = x[k];
        } else {
            const float g = static_cast<float>(intLvl);
            const float a = 1.0f / g;
            const float b = (g - 1.0f) / g;
            for (int k = 0; k <= h; ++k) {
                const float newest = a * x[k];
                integ[k] = b * integ[k] + newest;
                x[k] = integ[k];
            }
        }
        if (scale != 1.0f)
            for (int k = 0; k <= h; ++k)
                x[k] *= scale;
        magnitudesToDecibels(x, h + 1);
        if (!raw)
            shiftLevels(x, h, energy.calibrationDb, weighted ? &arrays.weighting : nullptr);
    }

    // A raw level below 0 dB reads 0 dB, as each bin does (only a window's
    // bandwidth correction can take one below).
    const float mean = meanOf(x, h, weighted) - bandwidthDb;
    found.meanLevel = raw ? clampAtZero(mean) : mean;
    arrays.heldMeanLevel[halfIndex] = found.meanLevel;

    bandLevels(arrays, x, h, target != 0 ? arrays.referenceBandLevels : arrays.analysisBandLevels,
               bandwidthDb, raw);

    Readings& readings = arrays.readings;
    fillReadings(arrays, averaged, h, weighting, energy, readings.half[halfIndex]);
    if (linear) {
        readings.elapsedSeconds = static_cast<float>(arrays.leq.elapsedSeconds());
        readings.durationSeconds = static_cast<float>(settings.leqSeconds > 0 ? settings.leqSeconds : 0);
    } else {
        readings.elapsedSeconds = 0.0f;
        readings.durationSeconds = 0.0f;
    }
    readings.held = linear && arrays.leq.complete() ? 1 : 0;

    found.intCount = intCount <= intLvl ? intCount + 1 : intCount;
    if (result)
        *result = found;
    return 0;
}

void blockMagnitudes(const float* re, const float* im, int h, const float* gain,
                     float* magnitude)
{
    if (gain) {
        for (int k = 0; k <= h; ++k) {
            const double r = re[k], m = im[k];
            magnitude[k] = static_cast<float>(std::sqrt(r * r + m * m)) * gain[k];
        }
        return;
    }
    for (int k = 0; k <= h; ++k) {
        const double r = re[k], m = im[k];
        magnitude[k] = static_cast<float>(std::sqrt(r * r + m * m));
    }
}

int processBlock(const BlockSettings& settings, AnalysisArrays& arrays, DisplayBuffer& working,
                 int count, const int16_t* samples, BlockResult* result)
{
    return processBlockWith(settings, arrays, working, count, samples, result, builtInTransform,
                            nullptr);
}

bool loadReferenceSpectrum(const BlockSettings& settings, AnalysisArrays& arrays,
                           DisplayBuffer& working, const float* db, int bins, BlockResult* result,
                           int savedWeighting)
{
    const int n = settings.numSamples;
    if (!isSupportedLength(n) || bins < 1)
        return false;
    const int h = n / 2;
    const int weighting =
        settings.weighting > WeightingKind::Z && settings.weighting < WeightingKind::Count
            ? settings.weighting
            : WeightingKind::Z;
    if (savedWeighting < 0 || savedWeighting >= WeightingKind::Count)
        savedWeighting = weighting;
    SpectrumSet& half = working.reference();
    float* const x = half.spectrum;
    for (int k = 0; k <= h; ++k) {
        // The file has bins 0 .. N/2 - 1; the last one stands in for N/2.
        const int from = k < bins ? k : bins - 1;
        const float d = db[from];
        x[k] = std::isfinite(d) ? d : 0.0f;
    }
    // A spectrum saved under another weighting is brought to this one: a
    // weighting is a gain per bin.
    buildWeightings(arrays, weighting, n, settings.sampFrq);
    listFractionalBands(arrays.readings, n, settings.sampFrq);
    if (savedWeighting != weighting && settings.sampFrq > 0) {
        WeightingTable& saved = savedWeighting == WeightingKind::A ? arrays.weightingA
                                : savedWeighting == WeightingKind::C ? arrays.weightingC
                                                                      : arrays.weighting;
        for (int k = 1; k <= h; ++k) {
            const float from = savedWeighting == WeightingKind::Z ? 0.0f : saved.db[k];
            const float to = weighting == WeightingKind::Z ? 0.0f : arrays.weighting.db[k];
            x[k] += to - from;
        }
    }
    // No block belongs to this spectrum: the waveform shows a flat line.
    for (int i = 0; i <= n && i <= MaxSamples; ++i)
        half.samples[i] = 0.0f;
    // The spectrum was saved under the window now chosen (the file says
    // which; the caller refuses another): its levels get that window's
    // bandwidth correction, as a measured one does.
    float bandwidthDb = 0.0f;
    const int windowKind = settings.windowKind;
    if (windowKind > WindowKind::Rectangular && windowKind < WindowKind::Count) {
        buildWindow(arrays.window, windowKind, n);
        bandwidthDb = static_cast<float>(noiseBandwidthDb(arrays.window));
    }
    const bool weighted = weighting != WeightingKind::Z;
    const bool raw = settings.calOffset == 0 && !weighted;
    const float mean = meanOf(x, h, weighted) - bandwidthDb;
    if (result) {
        result->meanLevel = raw ? clampAtZero(mean) : mean;
        result->intCount = settings.intCount;
        result->waveFullScale = settings.waveFullScale;
    }
    bandLevels(arrays, x, h, arrays.referenceBandLevels, bandwidthDb, raw);
    // The energy readings from the spectrum's levels, taken back to
    // unweighted powers before the calibration.
    const EnergyScale energy = energyScale(windowKind, arrays.window, settings.calOffset);
    float* const p = arrays.power;
    for (int k = 0; k <= h; ++k) {
        const double w = weighted ? arrays.weighting.db[k] : 0.0;
        const double level = x[k] - energy.calibrationDb - w;
        p[k] = weighted && arrays.weighting.gain[k] == 0.0f
                   ? 0.0f
                   : static_cast<float>(std::pow(10.0, level / 10.0));
    }
    fillReadings(arrays, p, h, weighting, energy, arrays.readings.half[0]);
    arrays.readings.half[1] = HalfReadings();
    return true;
}

namespace {

void listBands(FractionalBands& list, int b, int n, int rate)
{
    const std::vector<octave::Band> bands = octave::bandsFor(b, rate, n);
    const int h = n / 2;
    list.count = 0;
    for (const octave::Band& band : bands) {
        if (list.count >= kMaxFractionalBands)
            break;
        // Bin k covers [k, k + 1) once shifted by half a bin; the range is
        // held to bins 1 .. h, as bandEnergy holds it.
        const double a = std::max(band.loBin + 0.5, 1.0);
        const double e = std::min(band.hiBin + 0.5, h + 1.0);
        FractionalBands::Bins s;
        if (e > a) {
            const int fa = static_cast<int>(std::floor(a));
            const int fe = static_cast<int>(std::floor(e));
            s.low = fa;
            if (fa == fe) {
                s.lowPart = static_cast<float>(e - a);
                s.high = s.first = s.end = fa;
            } else {
                s.lowPart = static_cast<float>(fa + 1 - a);
                s.first = fa + 1;
                s.end = fe;
                s.highPart = static_cast<float>(e - fe);
                s.high = s.highPart > 0.0f ? fe : fa;
            }
        }
        list.band[list.count] = band;
        list.bins[list.count++] = s;
    }
}

}  // namespace

void listFractionalBands(Readings& readings, int n, int rate)
{
    if (readings.numSamples == n && readings.sampFrq == rate)
        return;
    // Only when the block length or the rate changes: the lists are made
    // (and allocate) once per setting, not per block.
    listBands(readings.octaves, 1, n, rate);
    listBands(readings.thirds, 3, n, rate);
    readings.numSamples = n;
    readings.sampFrq = rate;
}

void fractionalBandEnergies(const Readings& readings, const float* power, const float* gain,
                            const EnergyScale& scale, HalfReadings& out)
{
    // The bins and parts were worked out when the bands were listed; here
    // only the sums remain, and no logarithm.
    const FractionalBands& thirds = readings.thirds;
    auto part = [&](int k, float share) { return share * (gain ? power[k] * gain[k] : power[k]); };
    for (int i = 0; i < thirds.count; ++i) {
        const FractionalBands::Bins& s = thirds.bins[i];
        out.thirdEnergy[i] = part(s.low, s.lowPart) + powerSum(power, gain, s.first, s.end) +
                             part(s.high, s.highPart);
    }
    const FractionalBands& octaves = readings.octaves;
    const int firstThird = thirds.count > 0 ? thirds.band[0].index : 0;
    for (int i = 0; i < octaves.count; ++i) {
        const int j = 3 * octaves.band[i].index - 1 - firstThird;  // its lowest third
        const FractionalBands::Bins& s = octaves.bins[i];
        out.octaveEnergy[i] = j >= 0 && j + 2 < thirds.count
                                  ? out.thirdEnergy[j] + out.thirdEnergy[j + 1] + out.thirdEnergy[j + 2]
                                  : part(s.low, s.lowPart) + powerSum(power, gain, s.first, s.end) +
                                        part(s.high, s.highPart);
    }
    out.bandScale = scale;
}
