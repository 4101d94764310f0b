// Speed of the block analysis, measured against FFTW's double-precision real
// transform as the yardstick.
//
// How it works
// - First Google Benchmark times the transforms alone: ours (bins 0 .. N/2
//   of real input, as the block analysis takes them), the plain recurrence
//   version, and FFTW behind the same float interface. Ours runs the AVX
//   build of its passes where the processor has AVX; the transform lines
//   also time its SSE2 build (sse2_us), which every other PC runs.
// - Then our own harness runs variants side by side in one process:
//   rounds of short batches, the variants taking turns inside each round
//   (and starting with a different one each round), so that whatever else
//   the machine is doing hits them alike. Each variant's figure is the
//   minimum over the rounds of the time per call; the median is printed too.
// - The pipeline is the whole per-block work, processBlock on a real
//   ParameterStore: int16 block -> DC-free samples -> integrated dB spectrum
//   -> mean level -> three band levels. The FFTW variant is the very same
//   code (processBlockWith) with FFTW's r2c transform in place of ours.
// - The last lines, one per block length, are
//     pipeline N=... ours_us=... fftw_double_us=... ratio=...
//   with ratio = ours / FFTW (the aim is at most 1.0). Before them, one line
//   per block length compares the pipeline with the Hann window to the same
//   pipeline without one:
//     window N=... rectangular_us=... hann_us=... ratio=...
//   and one line per block length compares the pipeline with the numbers of
//   a noise report added (the block's power spectrum, the Leq and the
//   maximum hold, and the A-weighted band totals and overall level of the
//   Leq, every block) to the same pipeline without them:
//     noise-report N=... default_us=... report_us=... ratio=...
//   and one line per block length times the microphone response's
//   correction on its own: its gains go into the passes that make the
//   block's powers and magnitudes (blockPower, blockMagnitudes), and those
//   two passes are timed with the gains and without, beside the default
//   pipeline and the pipeline with a response, in the same rounds;
//   correction = the passes with less without, ratio = correction /
//   pipeline (the aim is at most 0.02):
//     mic-response N=... pipeline_us=... passes_us=... correction_us=... ratio=...
//   and one line per block length compares the octave and third-octave
//   band levels of a block (part of every block's readings) with the whole
//   pipeline they are part of (the aim is a ratio of at most 0.05):
//     octave-bands N=... pipeline_us=... bands_us=... ratio=...
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/Averaging.h"
#include "analysis/BandPower.h"
#include "analysis/BlockAnalysis.h"
#include "foundation/AnalysisSettings.h"
#include "analysis/Fft.h"
#include "analysis/Weighting.h"
#include "foundation/MeasurementFile.h"
#include "foundation/MicResponse.h"
#include "foundation/ParameterStore.h"

namespace {

constexpr int Lengths[] = {1024, 2048, 4096, 8192, 16384};

// A recorded block: a tone near 1 kHz at 48 kHz, a weaker one, noise and a
// DC offset, as 16-bit samples.
std::vector<int16_t> makeBlock(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 300.0);
    const double twoPi = 2.0 * std::acos(-1.0);
    std::vector<int16_t> block(n);
    for (int i = 0; i < n; ++i) {
        double v = 9000.0 * std::sin(twoPi * 1000.3 * i / 48000.0) +
                   700.0 * std::sin(twoPi * 5123.0 * i / 48000.0) + noise(gen) + 150.0;
        block[i] = static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return block;
}

// Four blocks of noise and tones (seeds 1 .. 4), taken in turn by a benchmark.
std::vector<std::vector<int16_t>> makeBlocks(int n)
{
    std::vector<std::vector<int16_t>> blocks;
    for (unsigned seed = 1; seed <= 4; ++seed)
        blocks.push_back(makeBlock(n, seed));
    return blocks;
}

// FFTW's double real-to-complex transform behind the analysis' transform
// interface: float samples in, float real and imaginary parts of bins
// 0 .. n/2 out (imaginary parts negated to match our kernel's sign).
class FftwReal {
public:
    explicit FftwReal(int n) : n_(n)
    {
        in_ = fftw_alloc_real(n);
        out_ = fftw_alloc_complex(n / 2 + 1);
        plan_ = fftw_plan_dft_r2c_1d(n, in_, out_, FFTW_MEASURE);
    }
    ~FftwReal()
    {
        fftw_destroy_plan(plan_);
        fftw_free(out_);
        fftw_free(in_);
    }
    FftwReal(const FftwReal&) = delete;
    FftwReal& operator=(const FftwReal&) = delete;

    static void transform(void* context, unsigned n, const float* samples, float* re, float* im)
    {
        auto* self = static_cast<FftwReal*>(context);
        for (unsigned i = 0; i < n; ++i)
            self->in_[i] = samples[i];
        fftw_execute(self->plan_);
        for (unsigned k = 0; k <= n / 2; ++k) {
            re[k] = static_cast<float>(self->out_[k][0]);
            im[k] = static_cast<float>(-self->out_[k][1]);
        }
    }

private:
    int n_;
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};

void ownTransform(void*, unsigned n, const float* samples, float* re, float* im)
{
    realFourierTransform(n, samples, re, im);
}

// Ours with the SSE2 build of the passes, whatever the processor has.
void ownTransformSse2(unsigned n, const float* samples, float* re, float* im)
{
    const FourierKernels usual = fourierKernels();
    useFourierKernels(FourierKernels::Baseline);
    realFourierTransform(n, samples, re, im);
    useFourierKernels(usual);
}

// One analyzer's worth of state, as the engine holds it.
class Pipeline {
public:
    Pipeline(int n, RealForwardTransform transform, void* context, int window = 0,
             bool noiseReport = false)
        : store_(std::make_unique<ParameterStore>()),
          arrays_(std::make_unique<AnalysisArrays>()),
          working_(std::make_unique<DisplayBuffer>()),
          transform_(transform),
          context_(context)
    {
        store_->set(Param::NumSamples, n);
        store_->set(Param::SampFrq, 48000);
        store_->set(Param::IntLvl, 16);
        store_->set(Param::IntCount, 1);
        store_->set(Param::Filter0, 100);
        store_->set(Param::Filter1, 500);
        store_->set(Param::Filter2, 1500);
        store_->set(Param::Filter3, 4000);
        store_->set(Param::RefMode, 1);
        store_->set(Param::WindowFunction, window);
        computeBandEdges(*store_, arrays_->bandEdgeBins);
        if (noiseReport) {
            // A weighting, a Leq and the maximum hold.
            store_->set(Option::Weighting, WeightingKind::A);
            store_->set(Option::Averaging, AveragingKind::Linear);
            store_->set(Option::MaxHoldTrace, 1);
        }
    }

    // A microphone response of a few points, its per-bin table built once,
    // as the engine builds it at a start of capture.
    void useMicResponse()
    {
        setBenchResponse(mic_);
        table_.prepare(mic_, store_->get(Param::NumSamples), 48000);
        arrays_->binCorrectionGain = table_.gains();
        arrays_->binCorrectionAmplitude = table_.amplitudes();
    }

    static void setBenchResponse(MicResponse& mic)
    {
        mic.set({{20.0, -1.5}, {1000.0, 0.0}, {8000.0, 2.5}, {20000.0, -4.0}}, L"bench.txt", "0");
    }

    void run(const std::vector<int16_t>& block)
    {
        // What the engine does with a block: settings from the store, the
        // analysis, the results back into the store.
        const BlockSettings settings = blockSettings(*store_);
        BlockResult result;
        int rc = processBlockWith(settings, *arrays_, *working_, static_cast<int>(block.size()),
                                  block.data(), &result, transform_, context_);
        if (rc != 0)
            std::abort();
        storeBlockResult(*store_, settings, result);
        benchmark::DoNotOptimize(arrays_->readings.half[0].bandTotal[0]);
        benchmark::DoNotOptimize(working_->set[0].spectrum[1]);
    }

    const DisplayBuffer& working() const { return *working_; }
    const AnalysisArrays& arrays() const { return *arrays_; }

private:
    MicResponse mic_;
    BinCorrection table_;
    std::unique_ptr<ParameterStore> store_;
    std::unique_ptr<AnalysisArrays> arrays_;
    std::unique_ptr<DisplayBuffer> working_;
    RealForwardTransform transform_;
    void* context_;
};

// --- Google Benchmark: the transforms alone --------------------------------

struct TransformData {
    std::vector<float> in, re, im;
    explicit TransformData(int n) : in(n), re(n), im(n)
    {
        std::vector<int16_t> block = makeBlock(n, 7);
        std::copy(block.begin(), block.end(), in.begin());
    }
};

void BM_FastTransform(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TransformData d(n);
    for (auto _ : state) {
        realFourierTransform(n, d.in.data(), d.re.data(), d.im.data());
        benchmark::ClobberMemory();
    }
}

void BM_PlainTransform(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TransformData d(n);
    for (auto _ : state) {
        referenceFourierTransform(n, 0, d.in.data(), nullptr, d.re.data(), d.im.data());
        benchmark::ClobberMemory();
    }
}

void BM_FftwDoubleTransform(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TransformData d(n);
    FftwReal fftw(n);
    for (auto _ : state) {
        FftwReal::transform(&fftw, n, d.in.data(), d.re.data(), d.im.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_FastTransform)->RangeMultiplier(2)->Range(1024, 16384)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainTransform)->RangeMultiplier(2)->Range(1024, 16384)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FftwDoubleTransform)->RangeMultiplier(2)->Range(1024, 16384)->Unit(benchmark::kMicrosecond);

// --- Interleaved side-by-side harness ---------------------------------------

struct Timing {
    double minUs;
    double medianUs;
};

double batchUs(const std::function<void()>& f, int calls)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    const auto stop = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(stop - start).count() / calls;
}

// Runs `rounds` rounds; in each, every variant runs one batch, starting with
// a different variant each round. Batches last about 2 ms.
std::vector<Timing> interleaved(const std::vector<std::function<void()>>& variants, int rounds)
{
    const size_t count = variants.size();
    for (const auto& f : variants)
        batchUs(f, 20);  // warm caches and tables
    double slowest = 0.0;
    for (const auto& f : variants)
        slowest = std::max(slowest, batchUs(f, 5));
    const int calls = std::clamp(static_cast<int>(2000.0 / std::max(slowest, 0.01)), 3, 2000);

    std::vector<std::vector<double>> samples(count);
    for (int r = 0; r < rounds; ++r)
        for (size_t v = 0; v < count; ++v) {
            const size_t which = (v + static_cast<size_t>(r)) % count;
            samples[which].push_back(batchUs(variants[which], calls));
        }
    std::vector<Timing> result;
    for (auto& s : samples) {
        std::sort(s.begin(), s.end());
        result.push_back({s.front(), s[s.size() / 2]});
    }
    return result;
}

// Saving a measurement of 16384 bins: the whole file text (format), then
// written to a temporary file that is renamed over the target, as the
// program does; and reading it back (parse). Milliseconds, min and median.
void measurementFileFigures()
{
    namespace mf = measurement_file;
    constexpr int kBins = 16384;
    mf::Measurement m;
    m.program = "QX-700 bench";
    m.date = "2026-12-08T10:40:12+00:00";
    m.sampFrq = 48000;
    m.numSamples = 2 * kBins;  // 16384 rows; the format takes any count
    m.intLvl = 16;
    m.dbDiff = 50;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(0.0f, 140.0f);
    for (int k = 0; k < kBins; ++k) {
        m.reference.push_back(level(random));
        m.analysis.push_back(level(random));
    }
    mf::Measurement half = m;
    half.numSamples = kBins;
    half.reference.resize(kBins / 2);
    half.analysis.resize(kBins / 2);
    const std::string largest = mf::format(half);
    const std::string target = "/tmp/qx-bench-measurement.csv";
    const std::string temporary = target + ".tmp";
    std::vector<double> save, load;
    size_t bytes = 0;
    for (int run = 0; run < 21; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        const std::string text = mf::format(m);
        {
            std::FILE* f = std::fopen(temporary.c_str(), "wb");
            if (!f)
                return;
            std::fwrite(text.data(), 1, text.size(), f);
            std::fflush(f);
            std::fclose(f);
        }
        std::rename(temporary.c_str(), target.c_str());
        auto t1 = std::chrono::steady_clock::now();
        mf::Measurement back;
        mf::ParseError error;
        // The parser takes only the analyzer's block lengths: the largest,
        // 16384 samples, has 8192 bins.
        const bool ok = mf::parse(largest.data(), largest.size(), back, error);
        auto t2 = std::chrono::steady_clock::now();
        if (!ok) {
            std::printf("measurement-file parse failed: %s\n", mf::errorText(error).c_str());
            return;
        }
        bytes = text.size();
        save.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        load.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::remove(target.c_str());
    std::sort(save.begin(), save.end());
    std::sort(load.begin(), load.end());
    std::printf("\nmeasurement-file save bins=%d bytes=%zu ms=%.2f/%.2f (min/median of %zu; target under 50 ms)\n",
                kBins, bytes, save.front(), save[save.size() / 2], save.size());
    std::printf("measurement-file load bins=%d ms=%.2f/%.2f\n", kBins / 2, load.front(),
                load[load.size() / 2]);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::cout.flush();

    const int rounds = 151;

    std::printf("\nTransform alone, forward real input, us per call (min / median of %d "
                "interleaved rounds); fast_us with the %s build of the passes\n",
                rounds, fourierKernels() == FourierKernels::Avx ? "AVX" : "SSE2");
    for (int n : Lengths) {
        TransformData d(n);
        FftwReal fftw(n);
        const std::vector<Timing> t = interleaved(
            {[&] { realFourierTransform(n, d.in.data(), d.re.data(), d.im.data()); },
             [&] { ownTransformSse2(n, d.in.data(), d.re.data(), d.im.data()); },
             [&] { referenceFourierTransform(n, 0, d.in.data(), nullptr, d.re.data(), d.im.data()); },
             [&] { FftwReal::transform(&fftw, n, d.in.data(), d.re.data(), d.im.data()); }},
            rounds);
        std::printf("transform N=%d fast_us=%.2f/%.2f sse2_us=%.2f/%.2f plain_us=%.2f/%.2f "
                    "fftw_double_us=%.2f/%.2f plain_over_fast=%.2f fast_over_fftw=%.2f "
                    "sse2_over_fftw=%.2f\n",
                    n, t[0].minUs, t[0].medianUs, t[1].minUs, t[1].medianUs, t[2].minUs,
                    t[2].medianUs, t[3].minUs, t[3].medianUs, t[2].minUs / t[0].minUs,
                    t[0].minUs / t[3].minUs, t[1].minUs / t[3].minUs);
    }

    std::printf("\nWhole block pipeline (processBlock, IntLvl 16, 48000 Hz), us per block\n");
    std::vector<Timing> ours(std::size(Lengths)), theirs(std::size(Lengths));
    for (size_t i = 0; i < std::size(Lengths); ++i) {
        const int n = Lengths[i];
        const std::vector<std::vector<int16_t>> blocks = makeBlocks(n);
        FftwReal fftw(n);
        Pipeline own(n, ownTransform, nullptr);
        Pipeline other(n, FftwReal::transform, &fftw);
        size_t nextOwn = 0, nextOther = 0;
        const std::vector<Timing> t = interleaved(
            {[&] { own.run(blocks[nextOwn++ % blocks.size()]); },
             [&] { other.run(blocks[nextOther++ % blocks.size()]); }},
            rounds);
        ours[i] = t[0];
        theirs[i] = t[1];

        // Both variants must compute the same thing, or the comparison is void.
        double worst = 0.0;
        for (int k = 0; k <= n / 2; ++k)
            worst = std::max(worst, std::fabs(static_cast<double>(own.working().set[0].spectrum[k]) -
                                              other.working().set[0].spectrum[k]));
        std::printf("pipeline-detail N=%d ours_median_us=%.2f fftw_double_median_us=%.2f "
                    "median_ratio=%.3f max_db_difference=%.2e\n",
                    n, t[0].medianUs, t[1].medianUs, t[0].medianUs / t[1].medianUs, worst);
    }
    // The window function's cost: the same pipeline with Hann beside it
    // without (Rectangular), side by side (the aim is at most 1.1).
    std::printf("\nWindow function: the pipeline with Hann beside Rectangular, us per block\n");
    for (int n : Lengths) {
        const std::vector<std::vector<int16_t>> blocks = makeBlocks(n);
        Pipeline plain(n, ownTransform, nullptr, 0);
        Pipeline hann(n, ownTransform, nullptr, 1);
        size_t nextPlain = 0, nextHann = 0;
        const std::vector<Timing> t = interleaved(
            {[&] { plain.run(blocks[nextPlain++ % blocks.size()]); },
             [&] { hann.run(blocks[nextHann++ % blocks.size()]); }},
            rounds);
        std::printf("window N=%d rectangular_us=%.2f hann_us=%.2f ratio=%.3f\n", n, t[0].minUs,
                    t[1].minUs, t[1].minUs / t[0].minUs);
    }

    // The noise report's cost: the default pipeline with and without it,
    // side by side (the aim is at most 1.1).
    std::printf("\nNoise report: the pipeline with A weighting, Leq and maximum hold beside "
                "the default one, us per block\n");
    for (int n : Lengths) {
        const std::vector<std::vector<int16_t>> blocks = makeBlocks(n);
        Pipeline plain(n, ownTransform, nullptr);
        Pipeline report(n, ownTransform, nullptr, 0, true);
        size_t nextPlain = 0, nextReport = 0;
        const std::vector<Timing> t = interleaved(
            {[&] { plain.run(blocks[nextPlain++ % blocks.size()]); },
             [&] { report.run(blocks[nextReport++ % blocks.size()]); }},
            rounds);
        std::printf("noise-report N=%d default_us=%.2f report_us=%.2f ratio=%.3f\n", n,
                    t[0].minUs, t[1].minUs, t[1].minUs / t[0].minUs);
    }

    // The microphone response's cost. Its gains are multiplied into the two
    // passes that make the block's powers and magnitudes; the correction's
    // own cost is what those passes take longer with them. Timed side by
    // side in the same rounds: the two passes without the gains, the same
    // with them, the default pipeline and the pipeline with a response.
    std::printf("\nMicrophone response: the correction (the two passes with its gains less the "
                "same without) beside the block pipeline, us per block\n");
    for (int n : Lengths) {
        const std::vector<std::vector<int16_t>> blocks = makeBlocks(n);
        Pipeline plain(n, ownTransform, nullptr);
        Pipeline mic(n, ownTransform, nullptr);
        mic.useMicResponse();
        MicResponse response;
        Pipeline::setBenchResponse(response);
        BinCorrection table;
        table.prepare(response, n, 48000);
        const int h = n / 2;
        TransformData d(n);
        realFourierTransform(n, d.in.data(), d.re.data(), d.im.data());
        const EnergyScale energy = energyScale(0, WindowTable{}, 0);
        std::vector<float> power(h + 1), magnitude(h + 1);
        const auto passes = [&](const float* gain, const float* amplitude) {
            blockPower(d.re.data(), d.im.data(), h, energy, power.data(), gain);
            blockMagnitudes(d.re.data(), d.im.data(), h, amplitude, magnitude.data());
            benchmark::DoNotOptimize(power[h / 2]);
            benchmark::DoNotOptimize(magnitude[h / 2]);
        };
        size_t nextPlain = 0, nextMic = 0;
        const std::vector<Timing> t = interleaved(
            {[&] { plain.run(blocks[nextPlain++ % blocks.size()]); },
             [&] { mic.run(blocks[nextMic++ % blocks.size()]); },
             [&] { passes(nullptr, nullptr); },
             [&] { passes(table.gains(), table.amplitudes()); }},
            rounds);
        const double correctionUs = t[3].minUs - t[2].minUs;
        std::printf("mic-response N=%d pipeline_us=%.2f with_response_us=%.2f passes_us=%.3f "
                    "passes_with_response_us=%.3f correction_us=%.3f ratio=%.4f "
                    "(correction / pipeline; the aim is at most 0.02)\n",
                    n, t[0].minUs, t[1].minUs, t[2].minUs, t[3].minUs, correctionUs,
                    correctionUs / t[0].minUs);
    }

    // The fractional-octave bands' cost: the band energies of the averaged
    // powers alone (A-weighted thirds, octaves from their thirds), as each
    // block's readings compute them, beside the whole pipeline.
    std::printf("\nOctave and third-octave bands: their levels beside the whole pipeline, us "
                "per block\n");
    for (int n : Lengths) {
        const std::vector<std::vector<int16_t>> blocks = makeBlocks(n);
        Pipeline whole(n, ownTransform, nullptr);
        whole.run(blocks[0]);
        const AnalysisArrays& a = whole.arrays();
        const EnergyScale scale = energyScale(0, a.window, 0);
        HalfReadings out;
        size_t next = 0;
        const std::vector<Timing> t = interleaved(
            {[&] { whole.run(blocks[next++ % blocks.size()]); },
             [&] {
                 fractionalBandEnergies(a.readings, a.powerAverage, a.weightingA.gain, scale, out);
                 benchmark::DoNotOptimize(out.thirdEnergy[0]);
             }},
            rounds);
        std::printf("octave-bands N=%d pipeline_us=%.2f bands_us=%.3f ratio=%.4f (%d thirds, %d octaves)\n",
                    n, t[0].minUs, t[1].minUs, t[1].minUs / t[0].minUs, a.readings.thirds.count,
                    a.readings.octaves.count);
    }

    measurementFileFigures();
    for (size_t i = 0; i < std::size(Lengths); ++i)
        std::printf("pipeline N=%d ours_us=%.2f fftw_double_us=%.2f ratio=%.3f\n", Lengths[i],
                    ours[i].minUs, theirs[i].minUs, ours[i].minUs / theirs[i].minUs);
    return 0;
}
