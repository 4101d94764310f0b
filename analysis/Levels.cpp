// Window functions, calibration, fault counts and source levels (see
// Levels.h for how they fit into the analysis).
#include "analysis/Levels.h"

#include <cmath>
#include <cstdio>

namespace {

const double Pi = 3.14159265358979323846;

// Periodic (DFT-even) windows: the block is one period of the window, which
// is what a spectrum of consecutive blocks wants.
double coefficient(int kind, int i, int n)
{
    const double x = 2.0 * Pi * i / n;
    switch (kind) {
    case WindowKind::Hann:
        return 0.5 - 0.5 * std::cos(x);
    case WindowKind::FlatTop:
        // Five terms; the peak of a tone anywhere between two bins reads
        // within a few hundredths of a dB.
        return 0.21557895 - 0.41663158 * std::cos(x) + 0.277263158 * std::cos(2.0 * x) -
               0.083578947 * std::cos(3.0 * x) + 0.006947368 * std::cos(4.0 * x);
    default:
        return 1.0;
    }
}

}  // namespace

const wchar_t* windowName(int kind)
{
    switch (kind) {
    case WindowKind::Hann:
        return L"Hann";
    case WindowKind::FlatTop:
        return L"Flat top";
    default:
        return L"Rectangular";
    }
}

const char* windowNameAscii(int kind)
{
    switch (kind) {
    case WindowKind::Hann:
        return "Hann";
    case WindowKind::FlatTop:
        return "Flat top";
    default:
        return "Rectangular";
    }
}

void buildWindow(WindowTable& table, int kind, int length)
{
    if (kind < 0 || kind >= WindowKind::Count)
        kind = WindowKind::Rectangular;
    if (length < 2 || length > MaxSamples)
        return;
    if (table.length == length && table.kind == kind)
        return;
    double sum = 0.0, sumSquares = 0.0;
    for (int i = 0; i < length; ++i) {
        const float c = static_cast<float>(coefficient(kind, i, length));
        table.coefficients[i] = c;
        sum += c;
        sumSquares += static_cast<double>(c) * c;
    }
    table.kind = kind;
    table.length = length;
    table.coherentGain = sum / length;
    table.noiseBandwidth = length * sumSquares / (sum * sum);
}

double coherentGainDb(const WindowTable& table)
{
    return -20.0 * std::log10(table.coherentGain);
}

double noiseBandwidthDb(const WindowTable& table)
{
    return 10.0 * std::log10(table.noiseBandwidth);
}

int countFullScale(const int16_t* samples, int count)
{
    int clipped = 0;
    for (int i = 0; i < count; ++i)
        clipped += (samples[i] == 32767 || samples[i] == -32768) ? 1 : 0;
    return clipped;
}

int LostBlockCounter::onBlock(int64_t ticks, int64_t ticksPerBlock, int64_t jitterTicks)
{
    if (ticksPerBlock <= 0)
        return 0;
    if (blocks_ == 0) {
        first_ = ticks;
        blocks_ = 1;
        pending_ = 0;
        return 0;
    }
    // How far this block is behind the time its number gives it.
    const int64_t lateness = ticks - first_ - blocks_ * ticksPerBlock;
    ++blocks_;
    if (lateness < -ticksPerBlock / 2) {
        // Earlier blocks came late, or the device clock runs a little faster
        // than ours: count afresh from here.
        first_ = ticks;
        blocks_ = 1;
        pending_ = 0;
        return 0;
    }
    if (lateness <= ticksPerBlock / 2 + jitterTicks) {
        pending_ = 0;  // a late callback that the next one made up for
        return 0;
    }
    const int64_t missing = (lateness + ticksPerBlock / 2) / ticksPerBlock;
    if (pending_ == 0 || ticks - lastLate_ < ticksPerBlock / 2) {
        // Late, or still late within a burst of blocks the device held back:
        // lost blocks only if a block that comes at the normal pace after
        // it is late as well.
        pending_ = pending_ == 0 || missing < pending_ ? missing : pending_;
        lastLate_ = ticks;
        return 0;
    }
    const int64_t found = missing < pending_ ? missing : pending_;
    pending_ = 0;
    blocks_ += found;
    lost_ += static_cast<int>(found);
    return static_cast<int>(found);
}

float strongestToneLevel(const float* spectrumDb, int h, double bandwidthDb, int halfWidth)
{
    if (h < 1)
        return 0.0f;
    int peak = 1;
    for (int k = 2; k <= h; ++k)
        if (spectrumDb[k] > spectrumDb[peak])
            peak = k;
    const int lo = peak - halfWidth < 1 ? 1 : peak - halfWidth;
    const int hi = peak + halfWidth > h ? h : peak + halfWidth;
    double power = 0.0;
    for (int k = lo; k <= hi; ++k)
        power += std::pow(10.0, spectrumDb[k] / 10.0);
    return static_cast<float>(10.0 * std::log10(power) - bandwidthDb);
}

int calibrationState(const Calibration& calibration, int sampFrq, int numSamples)
{
    if (calibration.date <= 0)
        return CalibrationState::None;
    if (calibration.sampFrq != sampFrq || calibration.numSamples != numSamples)
        return CalibrationState::Stale;
    return CalibrationState::Valid;
}

int calibrationOffset(int currentOffset, float measured, int target)
{
    const double offset = currentOffset + (target - 100.0 * measured);
    const double held = offset > 20000.0 ? 20000.0 : (offset < -20000.0 ? -20000.0 : offset);
    return static_cast<int>(std::lround(held));
}

SourceLevel sourceLevel(float reference, float analysis)
{
    const double difference = static_cast<double>(analysis) - reference;
    if (!(difference >= 3.0))
        return {0.0f, SourceValidity::BelowBackground};
    if (difference >= 10.0)
        return {analysis, SourceValidity::Uncorrected};
    const double source =
        10.0 * std::log10(std::pow(10.0, analysis / 10.0) - std::pow(10.0, reference / 10.0));
    return {static_cast<float>(source), SourceValidity::Corrected};
}

std::wstring sourceLevelText(const SourceLevel& s)
{
    if (s.validity == SourceValidity::BelowBackground)
        return L"< background";
    // Tenths, rounded half away from zero, as the other readouts.
    const double held = s.level > 1e6f ? 1e6 : (s.level < -1e6f ? -1e6 : s.level);
    const long tenths = std::lround(held * 10.0);
    wchar_t text[32];
    std::swprintf(text, 32, L"%s%ld.%ld", tenths < 0 ? L"-" : L"", std::labs(tenths) / 10,
                  std::labs(tenths) % 10);
    return text;
}

const char* sourceValidityName(int validity)
{
    switch (validity) {
    case SourceValidity::Uncorrected:
        return "uncorrected";
    case SourceValidity::Corrected:
        return "corrected";
    default:
        return "below background";
    }
}

std::wstring markedText(const std::wstring& text, bool faulty)
{
    if (!faulty || text.empty())
        return text;
    return text + L"*";
}

MeasurementRecord measurementRecord(const MeasurementState& state)
{
    MeasurementRecord r{};
    r.windowName = windowNameAscii(state.windowKind);
    r.calibrationState = calibrationState(state.calibration, state.sampFrq, state.numSamples);
    r.calibrationOffset =
        r.calibrationState == CalibrationState::None ? 0 : state.calibration.offset;
    r.calibrationDate = state.calibration.date > 0 ? state.calibration.date : 0;
    r.levelUnit = r.calibrationState == CalibrationState::Valid ? "dB SPL" : "dB";
    r.clippedSamples = state.clipCount;
    r.lostBlocks = state.lostBlocks;
    r.referenceFaults = state.referenceFaults;
    r.analysisFaults = state.analysisFaults;
    const float* ref = state.referenceBands;
    const float* ana = state.analysisBands;
    // The source level is an energy difference: it takes band totals.
    const float* refTotal = state.referenceTotals ? state.referenceTotals : ref;
    const float* anaTotal = state.analysisTotals ? state.analysisTotals : ana;
    for (int b = 0; b < 3; ++b) {
        r.reference[b] = ref ? ref[b] : 0.0f;
        r.analysis[b] = ana ? ana[b] : 0.0f;
        r.source[b] = sourceLevel(refTotal ? refTotal[b] : 0.0f, anaTotal ? anaTotal[b] : 0.0f);
    }
    return r;
}

namespace {

// Hundredths of a dB as tenths, rounded: 9400 -> "94.0".
std::wstring tenthsOf(int hundredths)
{
    const long v = hundredths < 0 ? -static_cast<long>(hundredths) : hundredths;
    const long tenths = (v + 5) / 10;
    wchar_t text[32];
    std::swprintf(text, 32, L"%s%ld.%ld", hundredths < 0 ? L"-" : L"", tenths / 10, tenths % 10);
    return text;
}

}  // namespace

std::wstring statusText(int clipping, int clipCount, int lostBlocks, int calState, int calRunning,
                        int calResultHz, int calLevel)
{
    std::wstring text;
    auto add = [&text](const std::wstring& part) {
        if (!text.empty())
            text += L"  ";
        text += part;
    };
    if (calRunning)
        add(L"Calibrating...");
    else if (calResultHz > 0 && calState == CalibrationState::Valid)
        add(L"Calibrated: " + tenthsOf(calLevel) + L" dB at " + std::to_wstring(calResultHz) + L" Hz");
    else if (calState == CalibrationState::Stale)
        add(L"Calibration stale");
    if (clipCount > 0 || clipping > 0)
        add((clipping > 0 ? L"CLIPPING " : L"Clipped ") + std::to_wstring(clipCount));
    if (lostBlocks > 0)
        add(L"Lost " + std::to_wstring(lostBlocks));
    return text;
}

std::wstring hundredthsText(int hundredths)
{
    const long v = hundredths < 0 ? -static_cast<long>(hundredths) : hundredths;
    wchar_t text[32];
    std::swprintf(text, 32, L"%s%ld.%02ld", hundredths < 0 ? L"-" : L"", v / 100, v % 100);
    return text;
}

std::wstring calibrationText(int state, int offset, int date)
{
    if (state == CalibrationState::None)
        return L"Not calibrated";
    wchar_t day[16];
    std::swprintf(day, 16, L"%04d-%02d-%02d", date / 10000, date / 100 % 100, date % 100);
    std::wstring text = std::wstring(L"Calibrated ") + day + L": " + (offset >= 0 ? L"+" : L"") +
                        hundredthsText(offset) + L" dB";
    if (state == CalibrationState::Stale)
        text += L" (stale: other sampling settings)";
    return text;
}

const wchar_t* levelUnit(int calState)
{
    return calState == CalibrationState::Valid ? L"dB SPL" : L"dB";
}

int parseCalibratorLevel(const wchar_t* text)
{
    if (!text)
        return -1;
    long whole = 0;
    long fraction = 0;
    int fractionDigits = 0;
    bool point = false;
    bool digits = false;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c >= L'0' && *c <= L'9') {
            digits = true;
            if (point) {
                if (fractionDigits < 2) {
                    fraction = fraction * 10 + (*c - L'0');
                    ++fractionDigits;
                }
            } else {
                whole = whole * 10 + (*c - L'0');
                if (whole > 1000)
                    return -1;
            }
        } else if ((*c == L'.' || *c == L',') && !point) {
            point = true;
        } else if (*c == L' ' && (c[1] == 0 || c == text)) {
            continue;
        } else {
            return -1;
        }
    }
    if (!digits)
        return -1;
    while (fractionDigits < 2) {
        fraction *= 10;
        ++fractionDigits;
    }
    const long hundredths = whole * 100 + fraction;
    return hundredths >= 100 && hundredths <= 20000 ? static_cast<int>(hundredths) : -1;
}
