// The table of settings: each entry's rule at its edges, the factory values
// it accepts, and the rules that judge values together (band limits against
// the rate loaded with them, a calibration whole) as the load applies them.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ParameterStore.h"
#include "foundation/SettingsTable.h"

namespace {

using namespace settings_table;

std::string narrow(const wchar_t* s) { return std::string(s, s + std::wcslen(s)); }

struct Edge {
    Key key;
    long long value;
    bool accepted;
};

// Every entry, just inside and just outside what it accepts.
const Edge kEdges[] = {
    {SampFrq, 4000, true},       {SampFrq, 48000, true},     {SampFrq, 44100, false},
    {SampFrq, 12001, false},     {SampFrq, 4294979296LL, false},
    {NumSamples, 1024, true},    {NumSamples, 16384, true},  {NumSamples, 512, false},
    {NumSamples, 32768, false},  {NumSamples, 1000, false},
    {IntLvl, 1, true},           {IntLvl, 1000, true},       {IntLvl, 0, false},
    {IntLvl, 3, false},          {IntLvl, 1001, false},
    {Filter0, 0, true},          {Filter0, -1, false},       {Filter1, INT_MAX, true},
    {Filter2, -1, false},        {Filter3, 0, true},         {Filter3, -1, false},
    {DbDiff, 0, true},           {DbDiff, 999990, true},     {DbDiff, -1, false},
    {DbDiff, 999991, false},
    {BackColor, 0, true},        {GridColor, 0xFFFFFF, true}, {RefColor, INT_MAX, true},
    {NoiseColor, -1, false},     {ThreshColor, 0x010203, true}, {FilterColor, -2, false},
    {DisplayDb, 1, true},        {DisplayDb, 3, true},       {DisplayDb, 0, false},
    {DisplayDb, 4, false},
    {WindowFn, 0, true},         {WindowFn, 2, true},        {WindowFn, -1, false},
    {WindowFn, 3, false},
    {CalLevel, 1, true},         {CalLevel, 20000, true},    {CalLevel, 0, false},
    {CalLevel, 20001, false},
    {CalOffset, -20000, true},   {CalOffset, 20000, true},   {CalOffset, -20001, false},
    {CalOffset, 20001, false},
    {CalDate, 19000102, true},   {CalDate, 99999999, true},  {CalDate, 19000101, false},
    {CalDate, 100000000, false}, {CalDate, 0, false},
    {CalSampFrq, 1, true},       {CalSampFrq, 0, false},     {CalSamples, 1, true},
    {CalSamples, 0, false},
    {XPos, -1, true},            {XPos, INT_MIN, true},      {YPos, INT_MAX, true},
    {Weighting, 0, true},        {Weighting, 2, true},       {Weighting, -1, false},
    {Weighting, 3, false},
    {Averaging, 0, true},        {Averaging, 1, true},       {Averaging, 2, false},
    {BandReading, 1, true},      {BandReading, 2, false},    {LeqMinutes, 0, true},
    {LeqMinutes, 15, true},      {LeqMinutes, 60, true},     {LeqMinutes, 10, false},
    {HoldComplete, 1, true},     {HoldComplete, -1, false},  {MaxHold, 1, true},
    {MaxHold, 2, false},         {OverallLevels, 1, true},   {OverallLevels, 2, false},
    {Playback, 0, true},         {Playback, 1, true},        {Playback, 2, false},
    {Playback, -1, false},
    {FrequencyAxis, 1, true},    {FrequencyAxis, 2, false},  {BandView, 2, true},
    {BandView, 3, false},        {BandView, -1, false},
};

// The text entries and the longest text each takes.
const std::pair<Key, size_t> kTexts[] = {
    {RecordDevice, 255}, {PlaybackDevice, 255}, {MicFile, 2048}};

TEST(SettingsTable, EachEntryAcceptsUpToItsEdges)
{
    std::set<int> covered;
    for (const Edge& c : kEdges) {
        EXPECT_EQ(accepts(entry(c.key), c.value), c.accepted)
            << narrow(nameOf(c.key)) << " = " << c.value;
        covered.insert(c.key);
    }
    for (const auto& t : kTexts) {
        const Entry& e = entry(t.first);
        EXPECT_TRUE(acceptsText(e, L""));
        EXPECT_TRUE(acceptsText(e, std::wstring(t.second, L'x')));
        EXPECT_FALSE(acceptsText(e, std::wstring(t.second + 1, L'x'))) << narrow(e.name);
        EXPECT_FALSE(accepts(e, 0)) << "a text is no number";
        covered.insert(t.first);
    }
    EXPECT_FALSE(acceptsText(entry(SampFrq), L"12000")) << "a number is no text";
    EXPECT_EQ(covered.size(), static_cast<size_t>(Count)) << "an entry without edge cases";
}

TEST(SettingsTable, FactoryValuesAreAcceptedAndMakeAValidMeasurement)
{
    std::set<std::wstring> names;
    std::set<int> ids;
    for (const Entry& e : kEntries) {
        EXPECT_TRUE(names.insert(e.name).second) << "twice: " << narrow(e.name);
        if (e.id >= 0) {
            EXPECT_TRUE(ids.insert(e.id).second) << "twice: " << e.id;
        }
        if (e.rule == Rule::Text) {
            EXPECT_TRUE(acceptsText(e, e.factoryText)) << narrow(e.name);
        } else if (e.group != Group::Calibration) {  // factory: no calibration
            EXPECT_TRUE(accepts(e, e.factory)) << narrow(e.name);
        }
    }
    const int bands[4] = {entry(Filter0).factory, entry(Filter1).factory, entry(Filter2).factory,
                          entry(Filter3).factory};
    EXPECT_TRUE(bandLimitsValid(bands, entry(SampFrq).factory));
    for (Key k : {BackColor, GridColor, RefColor, NoiseColor, ThreshColor, FilterColor})
        EXPECT_EQ(entry(k).factory & ~0xFFFFFF, 0) << "a colour has no bits above blue";
    EXPECT_EQ(factoryValue(Param::DbDiff), 50);
    EXPECT_EQ(factoryValue(Param::Marker1), -1) << "not a setting";
    EXPECT_EQ(factoryValue(Param::Marker1, 7), 7);
    EXPECT_EQ(factoryValue(-1, 7), 7) << "the window position has no store id";
}

TEST(SettingsTable, ListCaptionsAndValuesAgree)
{
    for (const Choice& c : kRates)
        EXPECT_EQ(std::to_wstring(c.value / 1000), c.caption);  // captioned in kHz
    for (const Choice& c : kSizes) {
        EXPECT_EQ(c.value & (c.value - 1), 0) << "a power of two: " << c.value;
        EXPECT_LE(c.value, MaxSamples);
    }
}

// The band-limit rule and the Configuration window's texts for it.
TEST(SettingsTable, BandLimitRuleAndItsTexts)
{
    struct Case {
        int limits[4];
        int rate;
        const wchar_t* problem;
    };
    const wchar_t* const order = L"Band data is not sequential.\n\nChange and re-apply or cancel.";
    const Case cases[] = {
        {{100, 500, 1500, 4000}, 12000, L""},
        {{100, 500, 1500, 4000}, 8000, L""},  // exactly half: the last bin
        {{500, 500, 500, 500}, 4000, L""},
        {{0, 0, 0, 0}, 4000, L""},
        {{100, 500, 1500, 4000}, 4000,
         L"Band limit 4000 Hz is above half the sampling frequency (2000 Hz).\n\n"
         L"Change and re-apply or cancel."},
        {{100, 2500, 3000, 3500}, 4000,
         L"Band limit 2500 Hz is above half the sampling frequency (2000 Hz).\n\n"
         L"Change and re-apply or cancel."},  // the first one above
        {{100, 600, 500, 4000}, 48000, order},
        {{-1, 500, 1500, 4000}, 48000, order},  // a missing value
        {{100, 600, 500, 40000}, 4000, order},  // order is judged first
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bandLimitsProblem(c.limits, c.rate), c.problem) << c.limits[0] << " " << c.rate;
        EXPECT_EQ(bandLimitsValid(c.limits, c.rate), *c.problem == 0);
    }
}

// What the load takes: `stored` as read (-1: missing) over the factory values.
std::vector<int> loaded(std::initializer_list<std::pair<Key, int>> stored)
{
    int read[Count];
    int values[Count];
    for (int k = 0; k < Count; ++k) {
        read[k] = -1;
        values[k] = kEntries[k].factory;
    }
    for (const auto& s : stored)
        read[s.first] = s.second;
    takeStored(read, values);
    return std::vector<int>(values, values + Count);
}

TEST(SettingsTable, BandLimitsAreTakenAllOrNoneAgainstTheRateLoadedWithThem)
{
    struct Case {
        const char* what;
        int rate;                // stored SampFrq, -1: missing
        std::vector<int> stored;  // Filter0..3, -1: missing
        std::vector<int> expected;
    };
    const std::vector<int> factory{100, 500, 1500, 4000};
    const Case cases[] = {
        {"taken", -1, {150, 700, 2000, 5000}, {150, 700, 2000, 5000}},
        {"equal neighbours", -1, {150, 150, 2000, 2000}, {150, 150, 2000, 2000}},
        {"descending", -1, {150, 700, 600, 5000}, factory},
        {"one missing", -1, {150, 700, 2000, -1}, factory},
        {"half of 12000", -1, {0, 200, 3000, 6000}, {0, 200, 3000, 6000}},
        {"above half of 12000", -1, {100, 500, 1500, 6001}, factory},
        {"half of 48000", 48000, {100, 500, 1500, 24000}, {100, 500, 1500, 24000}},
        {"above half of 48000", 48000, {100, 500, 1500, 24001}, factory},
        {"low rate: factory pulled down", 4000, {100, 500, 1500, 4000}, {100, 500, 1500, 2000}},
        {"low rate, none stored", 4000, {-1, -1, -1, -1}, {100, 500, 1500, 2000}},
        {"factory fits 8000", 8000, {-1, -1, -1, -1}, factory},
        {"a rate not offered is not taken", 11025, {100, 500, 1500, 6000}, {100, 500, 1500, 6000}},
    };
    for (const Case& c : cases) {
        const std::vector<int> v =
            loaded({{SampFrq, c.rate}, {Filter0, c.stored[0]}, {Filter1, c.stored[1]},
                    {Filter2, c.stored[2]}, {Filter3, c.stored[3]}});
        EXPECT_EQ(std::vector<int>(v.begin() + Filter0, v.begin() + Filter3 + 1), c.expected)
            << c.what;
    }
}

TEST(SettingsTable, ACalibrationIsTakenWholeOrNotAtAll)
{
    struct Case {
        const char* what;
        int offset, date, rate, size;
        bool taken;
    };
    const Case cases[] = {
        {"whole", -250, 20240131, 12000, 1024, true},
        {"missing offset reads as 0", -1, 20240131, 12000, 1024, true},
        {"no date: stale", 150, 0, 12000, 1024, false},
        {"date missing", 150, -1, 12000, 1024, false},
        {"rate missing", 150, 20240131, -1, 1024, false},
        {"size 0", 150, 20240131, 12000, 0, false},
        {"offset beyond 200 dB", 20001, 20240131, 12000, 1024, false},
    };
    for (const Case& c : cases) {
        const std::vector<int> v = loaded({{CalOffset, c.offset}, {CalDate, c.date},
                                           {CalSampFrq, c.rate}, {CalSamples, c.size}});
        const std::vector<int> got{v[CalOffset], v[CalDate], v[CalSampFrq], v[CalSamples]};
        const std::vector<int> expected =
            c.taken ? std::vector<int>{c.offset == -1 ? 0 : c.offset, c.date, c.rate, c.size}
                    : std::vector<int>{0, 0, 0, 0};
        EXPECT_EQ(got, expected) << c.what;
    }
    // Entries outside a group are judged alone: a rejected one keeps the
    // value held, an accepted one is taken; texts and positions are left.
    const std::vector<int> v = loaded({{IntLvl, 3}, {DbDiff, 0}, {CalLevel, 11400},
                                       {XPos, 40}, {Weighting, 3}, {Averaging, 1}});
    EXPECT_EQ(v[IntLvl], 16);
    EXPECT_EQ(v[DbDiff], 0);
    EXPECT_EQ(v[CalLevel], 11400);
    EXPECT_EQ(v[XPos], -1);
    EXPECT_EQ(v[Weighting], 0);
    EXPECT_EQ(v[Averaging], 1);
}

}  // namespace
