#include "foundation/SettingsTable.h"

#include <climits>

#include "analysis/Levels.h"
#include "foundation/ConfigText.h"
#include "foundation/ParameterStore.h"

namespace settings_table {

const Choice kRates[kRateCount] = {
    {L"4", 4000}, {L"8", 8000}, {L"12", 12000}, {L"24", 24000}, {L"48", 48000}};
const Choice kSizes[kSizeCount] = {
    {L"1024", 1024}, {L"2048", 2048}, {L"4096", 4096}, {L"8192", 8192}, {L"16384", 16384}};
const Choice kLevels[kLevelCount] = {{L"1", 1},     {L"2", 2},     {L"4", 4},   {L"8", 8},
                                     {L"16", 16},   {L"32", 32},   {L"64", 64}, {L"100", 100},
                                     {L"250", 250}, {L"500", 500}, {L"1000", 1000}};
const Choice kRanges[kRangeCount] = {
    {L"0 -- 120 dB", 1}, {L"40 -- 100 dB", 2}, {L"-30 -- 90 dB", 3}};
const Choice kLeqMinutes[kLeqMinutesCount] = {{L"No limit", 0}, {L"1 minute", 1},
                                            {L"5 minutes", 5}, {L"15 minutes", 15},
                                            {L"30 minutes", 30}, {L"60 minutes", 60}};

namespace {

// The largest threshold the Configuration window's field can hold ("99999"),
// in tenths of a dB.
constexpr int kMaxThresholdTenths = 999990;
// The longest name of a device, in characters.
constexpr int kMaxDeviceName = 255;
// The longest path of a microphone response file, in characters.
constexpr int kMaxFilePath = 2048;

template <int N>
constexpr Entry list(const wchar_t* name, int id, int factory, const Choice (&choices)[N])
{
    return {name, id, Rule::Choice, Writer::Save, Group::None, factory, nullptr, 0, 0, choices, N};
}
template <int N>
constexpr Entry choiceList(const wchar_t* name, int id, int factory, const Choice (&choices)[N])
{
    return {name, id, Rule::Choice, Writer::Measurement, Group::None, factory, nullptr, 0, 0,
            choices, N};
}
constexpr Entry range(const wchar_t* name, int id, Writer writer, int factory, long long low,
                      long long high, Group group = Group::None)
{
    return {name, id, Rule::Range, writer, group, factory, nullptr, low, high, nullptr, 0};
}
constexpr Entry colour(const wchar_t* name, int id, int factory)
{
    return {name, id, Rule::Colour, Writer::Save, Group::None, factory, nullptr, 0, INT_MAX,
            nullptr, 0};
}
constexpr Entry position(const wchar_t* name)
{
    return {name, -1, Rule::Position, Writer::Position, Group::None, -1, nullptr, INT_MIN, INT_MAX,
            nullptr, 0};
}
constexpr Entry text(const wchar_t* name, int id, const wchar_t* factory, int longest,
                     Writer writer = Writer::Save)
{
    return {name, id, Rule::Text, writer, Group::None, 0, factory, 0, longest, nullptr, 0};
}
constexpr Entry bandLimit(const wchar_t* name, int id, int factory)
{
    return range(name, id, Writer::Save, factory, 0, INT_MAX, Group::BandLimits);
}
constexpr Entry calibration(const wchar_t* name, int id, long long low, long long high)
{
    return range(name, id, Writer::Calibration, 0, low, high, Group::Calibration);
}

}  // namespace

const Entry kEntries[Count] = {
    list(L"SampFrq", Param::SampFrq, 12000, kRates),
    list(L"NumSamples", Param::NumSamples, 1024, kSizes),
    list(L"IntLvl", Param::IntLvl, 16, kLevels),
    bandLimit(L"Filter0", Param::Filter0, 100),
    bandLimit(L"Filter1", Param::Filter1, 500),
    bandLimit(L"Filter2", Param::Filter2, 1500),
    bandLimit(L"Filter3", Param::Filter3, 4000),
    range(L"dbDiff", Param::DbDiff, Writer::Save, 50, 0, kMaxThresholdTenths),  // tenths of a dB
    colour(L"backColor", Param::BackColor, 0x808080),      // grey
    colour(L"gridColor", Param::GridColor, 0xFFFF00),      // cyan
    colour(L"refColor", Param::RefColor, 0xFF0000),        // blue
    colour(L"noiseColor", Param::NoiseColor, 0x00FF00),    // green
    colour(L"threshColor", Param::ThreshColor, 0x0000FF),  // red
    colour(L"filterColor", Param::FilterColor, 0xFFFFFF),  // white
    list(L"displaydb", Param::DisplayDb, 1, kRanges),
    range(L"WindowFn", Param::WindowFunction, Writer::Measurement, WindowKind::Rectangular,
          0, WindowKind::Count - 1),
    // The calibrator's level in hundredths of a dB: 94.0 dB.
    range(L"CalLevel", Param::CalLevel, Writer::Measurement, 9400, 1, 20000),
    // Hundredths of a dB; the day as yyyymmdd (0: no calibration); the
    // sampling settings it was made with.
    calibration(L"CalOffset", Param::CalOffset, -20000, 20000),
    calibration(L"CalDate", Param::CalDate, 19000102, 99999999),
    calibration(L"CalSampFrq", Param::CalSampFrq, 1, INT_MAX),
    calibration(L"CalSamples", Param::CalNumSamples, 1, INT_MAX),
    position(L"XPos"),
    position(L"YPos"),
    range(L"Weighting", Option::Weighting, Writer::Measurement, 0, 0, 2),  // Z, A, C
    range(L"Averaging", Option::Averaging, Writer::Measurement, 0, 0, 1),  // exponential, linear
    text(L"RecordDevice", Option::RecordDevice, L"", kMaxDeviceName),  // empty: the default
    range(L"BandReading", Option::BandReading, Writer::Measurement, 0, 0, 1),  // mean, total
    choiceList(L"LeqMinutes", Option::LeqMinutes, 0, kLeqMinutes),
    range(L"HoldComplete", Option::HoldComplete, Writer::Measurement, 0, 0, 1),
    range(L"MaxHold", Option::MaxHoldTrace, Writer::Measurement, 0, 0, 1),
    range(L"OverallLevels", Option::OverallLevels, Writer::Measurement, 0, 0, 1),
    range(L"Playback", Option::Playback, Writer::Devices, 1, 0, 1),    // off, on
    text(L"PlaybackDevice", Option::PlaybackDevice, L"", kMaxDeviceName, Writer::Devices),
    text(L"MicFile", Option::MicFile, L"", kMaxFilePath, Writer::Devices),  // empty: none
    range(L"FrequencyAxis", Option::FrequencyAxis, Writer::View, 0, 0, 1),  // linear, log
    range(L"BandView", Option::BandView, Writer::View, 0, 0, 2),  // narrow, octave, third
};

bool accepts(const Entry& e, long long value)
{
    switch (e.rule) {
    case Rule::Choice:
        for (int i = 0; i < e.choiceCount; ++i)
            if (e.choices[i].value == value)
                return true;
        return false;
    case Rule::Text:
        return false;
    default:
        return value >= e.low && value <= e.high;
    }
}

bool acceptsText(const Entry& e, const std::wstring& text)
{
    return e.rule == Rule::Text && static_cast<long long>(text.size()) <= e.high;
}

bool isRate(long long value) { return accepts(kEntries[SampFrq], value); }
bool isSize(long long value) { return accepts(kEntries[NumSamples], value); }

int factoryValue(int id, int otherwise)
{
    for (const Entry& e : kEntries)
        if (e.id == id && e.id >= 0)
            return e.factory;
    return otherwise;
}

namespace {

int firstAboveHalfRate(const int limits[4], int rate)
{
    for (int k = 0; k < 4; ++k)
        if (limits[k] > rate / 2)
            return k;
    return -1;
}

bool inOrder(const int limits[4])
{
    if (limits[0] < 0)
        return false;
    for (int k = 1; k < 4; ++k)
        if (limits[k] < limits[k - 1])
            return false;
    return true;
}

}  // namespace

bool bandLimitsValid(const int limits[4], int rate)
{
    return inOrder(limits) && firstAboveHalfRate(limits, rate) == -1;
}

std::wstring bandLimitsProblem(const int limits[4], int rate)
{
    if (!inOrder(limits))
        return L"Band data is not sequential.\n\nChange and re-apply or cancel.";
    const int k = firstAboveHalfRate(limits, rate);
    if (k == -1)
        return std::wstring();
    return L"Band limit " + config_text::wholeText(limits[k]) +
           L" Hz is above half the sampling frequency (" + config_text::wholeText(rate / 2) +
           L" Hz).\n\nChange and re-apply or cancel.";
}

void takeStored(const int stored[Count], int values[Count])
{
    for (int k = 0; k < Count; ++k) {
        const Entry& e = kEntries[k];
        if (e.id >= 0 && e.group == Group::None && accepts(e, stored[k]))
            values[k] = stored[k];
    }

    // Band limits, against the rate taken above. Limits that do not fit it
    // give way to the ones held, pulled down to half the rate where needed,
    // so no band ever reaches above what the rate can measure.
    const int rate = values[SampFrq];
    int limits[4];
    for (int k = 0; k < 4; ++k)
        limits[k] = stored[Filter0 + k];
    if (!bandLimitsValid(limits, rate)) {
        for (int k = 0; k < 4; ++k) {
            limits[k] = values[Filter0 + k];
            if (limits[k] > rate / 2)
                limits[k] = rate / 2;
        }
    }
    for (int k = 0; k < 4; ++k)
        values[Filter0 + k] = limits[k];

    // A calibration whole or not at all; a missing value reads as its
    // factory one, which only the offset (0) can pass with. So an offset
    // of exactly -0.01 dB reads as missing and comes back as 0.
    int calibration[Count];
    bool whole = true;
    for (int k = 0; k < Count; ++k) {
        const Entry& e = kEntries[k];
        if (e.group != Group::Calibration)
            continue;
        calibration[k] = stored[k] == -1 ? e.factory : stored[k];
        whole = whole && accepts(e, calibration[k]);
    }
    if (whole)
        for (int k = 0; k < Count; ++k)
            if (kEntries[k].group == Group::Calibration)
                values[k] = calibration[k];
}

}  // namespace settings_table
