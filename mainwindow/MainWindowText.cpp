#include "mainwindow/MainWindowText.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

namespace mainwindow_text {

namespace {

std::wstring format(const wchar_t* pattern, ...)
{
    wchar_t buffer[512];
    va_list args;
    va_start(args, pattern);
    const int n = std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], pattern, args);
    va_end(args);
    return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(n));
}

// Milliseconds as seconds with three decimals, digit by digit so that the
// integer arithmetic alone decides what is shown.
struct Seconds {
    int whole, tenths, hundredths, thousandths;
};
Seconds seconds(long long ms)
{
    return {static_cast<int>(ms / 1000), static_cast<int>(ms % 1000 / 100),
            static_cast<int>(ms % 100 / 10), static_cast<int>(ms % 10)};
}

}  // namespace

const wchar_t* const kNoticeText = L"Left-click the graph to set a marker, right-click to remove it.";

const wchar_t* const kNoticeTextShort = L"Click the graph: a marker. Right-click: none.";
const wchar_t* const kStartHint = L"Press Reference to measure the background first.";

const wchar_t* const kNoValue = L"\u2013";

const wchar_t* const kNoSignal = L"No signal";

const wchar_t* const kMarkerReplaced = L"Five markers at most: the oldest one was replaced.";

const wchar_t* const kUserGuideFile = L"UserGuide.html";

const wchar_t* const kNoteText =
    L"Magnitudes are based on the levels reported by the sound recording device.  Due to effects "
    L"caused by automatic gain control, adjustable volume controls, internal computer noise, and "
    L"other factors, these numbers should only be used as a general reference.";

std::wstring sampleWindowText(int numSamples, int sampFrq, int intLvl)
{
    // A zero rate never comes from the engine; show 0 rather than divide by it.
    const long long window = sampFrq != 0 ? static_cast<long long>(numSamples) * 1000 / sampFrq : 0;
    const long long total = window * intLvl;
    const Seconds w = seconds(window), t = seconds(total);
    return format(L"Sample Window %d.%d%d%d    Integration Time %d.%d%d%d sec", w.whole, w.tenths,
                  w.hundredths, w.thousandths, t.whole, t.tenths, t.hundredths, t.thousandths);
}

std::wstring bandFrequencyText(int f0, int f1, int f2, int f3)
{
    return format(L"Band Frequencies = %d - %d, %d - %d, %d - %d Hz", f0, f1, f1, f2, f2, f3);
}

std::wstring kiloHertzText(int hertz)
{
    return format(L"%d.%d kHz", hertz / 1000, hertz / 100 % 10);
}

std::array<std::wstring, 5> frequencyScaleTexts(int sampFrq)
{
    const int step = sampFrq / 8;
    return {L"0 kHz", kiloHertzText(step), kiloHertzText(step * 2), kiloHertzText(step * 3),
            kiloHertzText(sampFrq / 2)};
}

DbRange dbRange(int displayDb)
{
    switch (displayDb) {
    case 3:
        return {90, -30};
    case 2:
        return {100, 40};
    default:
        return {120, 0};
    }
}

std::array<std::wstring, 7> dbScaleTexts(int displayDb)
{
    const DbRange r = dbRange(displayDb);
    const int step = (r.top - r.bottom) / 6;
    std::array<std::wstring, 7> texts;
    texts[0] = format(L"%d", r.top);
    for (int i = 1; i <= 5; ++i)
        texts[i] = format(L"%d", step * (6 - i) + r.bottom);
    texts[6] = format(L"%d", r.bottom);
    return texts;
}

int readoutTenths(float level)
{
    if (!(level == level))
        level = 0.0f;  // NaN
    if (level > 1.0e6f)
        level = 1.0e6f;
    if (level < -1.0e6f)
        level = -1.0e6f;
    int v = static_cast<int>(level * 100.0f);
    const int lastDigit = (v < 0 ? -v : v) % 10;
    if (lastDigit >= 5)
        v += v > 0 ? 5 : -5;
    return v / 10;
}

std::wstring tenthsText(int tenths)
{
    const int magnitude = tenths < 0 ? -tenths : tenths;
    return format(tenths < 0 ? L"-%d.%d" : L"%d.%d", magnitude / 10, magnitude % 10);
}

LevelCaptions levelCaptions(bool spl, int weighting, int reading)
{
    static const wchar_t* const kWeights[3] = {L"", L"(A)", L"(C)"};
    const std::wstring unit =
        std::wstring(L"dB") + kWeights[weighting >= 0 && weighting < 3 ? weighting : 0];
    const bool weighted = weighting == 1 || weighting == 2;
    LevelCaptions c;
    if (reading == 0 && !spl && !weighted) {
        c.reference = L"Reference dB";
        c.analysis = L"Analysis dB";
        c.source = L"Source dB";
    } else {
        c.reference = L"Reference";
        c.analysis = L"Analysis";
        c.source = reading == 0 ? L"Src. total" : L"Source";
        c.unit = unit + (reading == 0 ? L" mean" : (spl ? L" SPL" : L" total"));
    }
    c.axis = spl ? unit + L" SPL" : unit;
    return c;
}

std::array<int, 2> overallWeightings(int weighting)
{
    if (weighting == 1 || weighting == 2)
        return {1, 2};
    return {0, 1};
}

std::wstring overallCaption(int weighting, bool leq)
{
    static const wchar_t* const kNames[3] = {L"LZ", L"LA", L"LC"};
    return std::wstring(kNames[weighting >= 0 && weighting < 3 ? weighting : 0]) + (leq ? L"eq" : L"");
}

std::wstring leqTimeText(double seconds)
{
    if (!(seconds > 0.0))
        seconds = 0.0;
    if (seconds > 3.6e8)
        seconds = 3.6e8;
    const long long whole = static_cast<long long>(seconds);
    return format(L"Leq %02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
}

std::wstring soundErrorCaption(int stage)
{
    switch (stage) {
    case 1:
        return L"Error opening recording device";
    case 2:
        return L"Error opening playback device";
    case 3:
        return L"Error starting recording device";
    case 4:  // the recording device failed or went silent during a measurement
        return L"Recording device failed";
    case 5:  // the playback device failed or stopped returning buffers
        return L"Playback device failed";
    default:
        return format(L"Sound Error %d", stage);
    }
}

std::wstring soundErrorText(int stage, int code)
{
    const bool playback = stage == 2 || stage == 5;
    const wchar_t* device = playback ? L"playback device (speakers or headphones)"
                                     : L"recording device (microphone or line input)";
    const wchar_t* privacy =
        playback ? L""
                 : L", and that Windows lets desktop apps use the microphone (Settings, Privacy, "
                   L"Microphone)";
    switch (code) {
    case 2:  // bad device id
    case 3:  // driver disabled
    case 6:  // no driver
    case 8:  // no driver callback
        return format(L"Windows has no usable sound %ls (error %d).\n\nCheck that it is "
                      L"connected and enabled in the Windows sound settings%ls, then press "
                      L"Reference again.",
                      device, code, privacy);
    case 4:   // allocated
    case 12:  // handle busy
    case 32:  // wave format in use
        return format(L"The sound %ls is in use by another program (error %d).\n\nClose the "
                      L"program that uses it (a call, recording or game), then press Reference "
                      L"again.",
                      device, code);
    default:
        return format(L"The driver of the sound %ls reported an error (error %d).\n\nCheck "
                      L"that the device is still connected%ls, then press Reference again.",
                      device, code, privacy);
    }
}

}  // namespace mainwindow_text
