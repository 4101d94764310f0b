#include "foundation/SettingsTable.h"

#include "foundation/ParameterStore.h"

namespace settings_table {

const Setting kSaved[kSavedCount] = {
    {L"SampFrq", Param::SampFrq, 12000},
    {L"NumSamples", Param::NumSamples, 1024},
    {L"IntLvl", Param::IntLvl, 16},
    {L"Filter0", Param::Filter0, 100},
    {L"Filter1", Param::Filter1, 500},
    {L"Filter2", Param::Filter2, 1500},
    {L"Filter3", Param::Filter3, 4000},
    {L"dbDiff", Param::DbDiff, 50},  // tenths of a dB
    {L"backColor", Param::BackColor, 0x808080},      // grey
    {L"gridColor", Param::GridColor, 0xFFFF00},      // cyan
    {L"refColor", Param::RefColor, 0xFF0000},        // blue
    {L"noiseColor", Param::NoiseColor, 0x00FF00},    // green
    {L"threshColor", Param::ThreshColor, 0x0000FF},  // red
    {L"filterColor", Param::FilterColor, 0xFFFFFF},  // white
    {L"displaydb", Param::DisplayDb, 1},
};

const Choice kRates[kRateCount] = {
    {L"4", 4000}, {L"8", 8000}, {L"12", 12000}, {L"24", 24000}, {L"48", 48000}};
const Choice kSizes[kSizeCount] = {
    {L"1024", 1024}, {L"2048", 2048}, {L"4096", 4096}, {L"8192", 8192}, {L"16384", 16384}};
const Choice kLevels[kLevelCount] = {{L"1", 1},     {L"2", 2},     {L"4", 4},   {L"8", 8},
                                     {L"16", 16},   {L"32", 32},   {L"64", 64}, {L"100", 100},
                                     {L"250", 250}, {L"500", 500}, {L"1000", 1000}};
const Choice kRanges[kRangeCount] = {
    {L"0 -- 120 dB", 1}, {L"40 -- 100 dB", 2}, {L"-30 -- 90 dB", 3}};

namespace {
template <int N>
bool listed(const Choice (&choices)[N], long long value)
{
    for (const Choice& c : choices)
        if (c.value == value)
            return true;
    return false;
}
}  // namespace

bool isRate(long long value) { return listed(kRates, value); }
bool isSize(long long value) { return listed(kSizes, value); }
bool isLevel(long long value) { return listed(kLevels, value); }
bool isRange(long long value) { return listed(kRanges, value); }

int factoryValue(int id, int otherwise)
{
    for (const Setting& s : kSaved)
        if (s.id == id)
            return s.factory;
    return otherwise;
}

}  // namespace settings_table
