// AudioEngine: the trust of the levels: fault counts, calibration and the
// measurement settings.
//
// How it works
// - Each block the capture thread hands to processBlock is also passed to
//   noteBlock: its full-scale samples go to Clipping (the newest block) and
//   ClipCount; a block that was not analysed, and blocks the recording
//   device lost (judged from the blocks' arrival times by a
//   LostBlockCounter), go to LostBlocks. Either marks the measured half's
//   fault bits (RefFaults or AnaFaults). Every start of capture clears the
//   counts, and the fault bits of the half it measures (a Reference also
//   those of the analysis, whose readouts it blanks).
// - A calibration (WorkerState::Calibrate of the worker) is a Reference capture with
//   CalRunning = 1. For about three seconds of blocks the capture thread
//   follows the strongest tone of the averaged power spectrum, as the energy
//   of its main lobe (analysis/BandPower.h), so the calibrator reads its
//   level wherever it falls between bins and under every window; then it
//   sets the offset that makes that tone read the calibrator's level (CalLevel),
//   notes the day, the sampling settings and the tone's frequency
//   (CalToneHz, for "Calibrated: 94.0 dB at 1000 Hz"), writes them to the
//   registry at once and clears CalRunning. The capture goes on as a Reference, with
//   the new offset applied from the next block on.
// - Settings: "WindowFn", "CalLevel", "CalOffset", "CalDate", "CalSampFrq"
//   and "CalSamples", loaded with the others (foundation/SettingsTable.h).
//   They are written where they are made (the Measurement dialog, the end
//   of a calibration), not by Save. Their defaults (Rectangular, no
//   calibration) give the levels of the plain analysis.
#include "audio/AudioEngine.h"

#include <cmath>

#include "foundation/Settings.h"

namespace {

// How long a calibration measures, and at least how many blocks.
constexpr int CalibrationMs = 3000;
constexpr int CalibrationMinimumBlocks = 4;
// A callback may come this late without its block counting as lost.
constexpr int ArrivalJitterMs = 100;

int today()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wYear * 10000 + t.wMonth * 100 + t.wDay;
}

}  // namespace

void AudioEngine::writeMeasurementDefaults()
{
    const std::pair<int, int> defaults[] = {
        {Param::CalRunning, 0},
        {Param::CalToneHz, 0},
        {Param::ClipCount, 0},
        {Param::Clipping, 0},
        {Param::LostBlocks, 0},
        {Param::RefFaults, 0},
        {Param::AnaFaults, 0},
    };
    for (const auto& d : defaults)
        store_->set(d.first, d.second);
}

void AudioEngine::startCalibration()
{
    stopCapture();
    setParam(Param::AnalyzeEnabled, 0);
    setParam(Param::RefMode, 1);
    setParam(Param::WaveFullScale, 0);
    const int n = param(Param::NumSamples);
    const int rate = param(Param::SampFrq);
    int blocks = n > 0 ? static_cast<int>((static_cast<int64_t>(rate) * CalibrationMs / 1000 + n - 1) / n) : 0;
    if (blocks < CalibrationMinimumBlocks)
        blocks = CalibrationMinimumBlocks;
    // Set before the capture thread exists; it alone changes them from here.
    calibrationBlocksLeft_ = blocks;
    calibrationStrongest_ = -1e9f;
    calibrationStarting_ = true;
    setParam(Param::CalRunning, 1);
    if (startCapture()) {
        setParam(Param::PauseEnabled, 1);
        return;
    }
    calibrationBlocksLeft_ = 0;
    setParam(Param::CalRunning, 0);
}

void AudioEngine::resetFaultCounts()
{
    setParam(Param::ClipCount, 0);
    setParam(Param::Clipping, 0);
    setParam(Param::LostBlocks, 0);
    if (param(Param::RefMode) != 0) {
        setParam(Param::RefFaults, 0);
        setParam(Param::AnaFaults, 0);
    } else {
        setParam(Param::AnaFaults, 0);
    }
    lostCounter_.reset();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const int rate = param(Param::SampFrq);
    const int n = param(Param::NumSamples);
    ticksPerBlock_ = rate > 0 ? frequency.QuadPart * n / rate : 0;
    jitterTicks_ = frequency.QuadPart * ArrivalJitterMs / 1000;
    // A calibration survives only the start of its own capture: any other
    // command that starts capture ends it unfinished.
    if (!calibrationStarting_) {
        calibrationBlocksLeft_ = 0;
        setParam(Param::CalRunning, 0);
    }
    calibrationStarting_ = false;
}

void AudioEngine::noteBlock(int count, const int16_t* samples, int analysed)
{
    if (!store_)
        return;
    const int faultsId = param(Param::RefMode) != 0 ? Param::RefFaults : Param::AnaFaults;
    int faults = 0;

    const int clipped = countFullScale(samples, count);
    setParam(Param::Clipping, clipped);
    if (clipped > 0) {
        setParam(Param::ClipCount, param(Param::ClipCount) + clipped);
        faults |= Fault::Clipped;
    }

    int lost = analysed ? 0 : 1;
    const int64_t arrival = blockArrivalTicks();
    if (arrival != 0)
        lost += lostCounter_.onBlock(arrival, ticksPerBlock_, jitterTicks_);
    if (lost > 0) {
        setParam(Param::LostBlocks, param(Param::LostBlocks) + lost);
        faults |= Fault::Lost;
    }
    if (faults)
        setParam(faultsId, param(faultsId) | faults);

    if (calibrationBlocksLeft_ <= 0 || !analysed)
        return;
    // The strongest tone of the averaged power spectrum just computed, as
    // the energy of its main lobe, with the offset now applied.
    const int h = param(Param::NumSamples) / 2;
    const int applied = param(Param::CalDate) > 0 ? param(Param::CalOffset) : 0;
    const EnergyScale scale = energyScale(param(Param::WindowFunction), arrays_.window, applied);
    const float* averaged = store_->get(Option::Averaging) == AveragingKind::Linear
                                ? arrays_.leqMean
                                : arrays_.powerAverage;
    const ToneReading tone = strongestTone(averaged, h, scale);
    const float level = tone.level;
    if (level > calibrationStrongest_) {
        calibrationStrongest_ = level;
        calibrationToneBin_ = tone.bin;
    }
    if (--calibrationBlocksLeft_ > 0)
        return;

    const int offset = calibrationOffset(applied, calibrationStrongest_, param(Param::CalLevel));
    const int date = today();
    setParam(Param::CalOffset, offset);
    setParam(Param::CalSampFrq, param(Param::SampFrq));
    setParam(Param::CalNumSamples, param(Param::NumSamples));
    setParam(Param::CalDate, date);
    // The tone's frequency, rounded to the decade below the bin width: a
    // 1 kHz calibrator reads "1000 Hz", not "998 Hz", at 11.7 Hz a bin.
    const int n = param(Param::NumSamples);
    if (n > 0 && param(Param::SampFrq) > 0) {
        const double binHz = static_cast<double>(param(Param::SampFrq)) / n;
        const double step = std::pow(10.0, std::floor(std::log10(binHz)));
        setParam(Param::CalToneHz,
                 static_cast<int>(std::lround(calibrationToneBin_ * binHz / step) * step));
    }
    ::saveSettings(*store_, settings_table::Writer::Calibration);
    setParam(Param::CalRunning, 0);
}
