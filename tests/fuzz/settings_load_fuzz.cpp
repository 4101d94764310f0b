// Fuzz target: the saved settings as the registry gives them back, written
// by an older build or by hand (foundation/SettingsTable and the band-limit
// rules of foundation/ConfigText).
//
// The input is the fifteen saved values of settings_table::kSaved in their
// order, four bytes each (little-endian); values the input does not reach are
// missing (-1, as the registry reader reports them). They are loaded through
// the adapter below, which applies the accept rules the engine applies at
// start-up. What is loaded must be settings the Configuration window could
// have chosen (band limits in order and within half the rate loaded with
// them), every value the window could have written must come back as it was
// saved, and saving what was loaded and loading it again must change nothing.
#include <map>
#include <string>

#include "FuzzCheck.h"
#include "foundation/ConfigText.h"
#include "foundation/ParameterStore.h"
#include "foundation/SettingsTable.h"

namespace st = settings_table;

namespace {

// The adapter: the loaded settings by parameter id, from the factory values
// and what `saved` (registry value name -> value) holds. It is the engine's
// loader over the portable accept rules; it is the one place to change when
// the table of settings brings its own loader.
using Values = std::map<int, int>;
using Saved = std::map<std::wstring, int>;

int readSaved(const Saved& saved, const wchar_t* name)
{
    const auto it = saved.find(name);
    return it == saved.end() ? -1 : it->second;
}

Values load(const Saved& saved)
{
    Values v;
    for (const st::Setting& s : st::kSaved)
        v[s.id] = s.factory;
    auto take = [&](int index, bool (*accept)(long long)) {
        const int value = readSaved(saved, st::kSaved[index].name);
        if (accept(value))
            v[st::kSaved[index].id] = value;
    };
    take(0, st::isRate);
    take(1, st::isSize);
    take(2, st::isLevel);
    const int rate = v[Param::SampFrq];
    int f[4];
    for (int k = 0; k < 4; ++k)
        f[k] = readSaved(saved, st::kSaved[3 + k].name);
    if (!config_text::bandLimitsValid(f, rate)) {
        for (int k = 0; k < 4; ++k)
            f[k] = v[Param::Filter0 + k];
        config_text::fitBandLimits(f, rate);
    }
    for (int k = 0; k < 4; ++k)
        v[Param::Filter0 + k] = f[k];
    const int dbDiff = readSaved(saved, L"dbDiff");
    if (dbDiff >= 0 && dbDiff <= config_text::kMaxThresholdTenths)
        v[Param::DbDiff] = dbDiff;
    for (int i = 8; i < 14; ++i) {
        const int colour = readSaved(saved, st::kSaved[i].name);
        if (colour >= 0)
            v[st::kSaved[i].id] = colour;
    }
    take(14, st::isRange);
    return v;
}

Saved save(const Values& v)
{
    Saved saved;
    for (const st::Setting& s : st::kSaved)
        saved[s.name] = v.at(s.id);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Saved saved;
    for (int i = 0; i < st::kSavedCount && size_t(i * 4 + 4) <= size; ++i) {
        const uint8_t* b = data + i * 4;
        saved[st::kSaved[i].name] = static_cast<int>(uint32_t(b[0]) | uint32_t(b[1]) << 8 |
                                                     uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    const Values v = load(saved);
    FUZZ_CHECK(v.size() == size_t(st::kSavedCount), "every saved setting has a value");

    const int rate = v.at(Param::SampFrq);
    FUZZ_CHECK(st::isRate(rate) && st::isSize(v.at(Param::NumSamples)) &&
                   st::isLevel(v.at(Param::IntLvl)) && st::isRange(v.at(Param::DisplayDb)),
               "the lists hold what is loaded");
    int f[4];
    for (int k = 0; k < 4; ++k)
        f[k] = v.at(Param::Filter0 + k);
    FUZZ_CHECK(config_text::bandLimitsValid(f, rate), "the band limits fit the rate loaded");
    FUZZ_CHECK(v.at(Param::DbDiff) >= 0 && v.at(Param::DbDiff) <= config_text::kMaxThresholdTenths,
               "the threshold fits its field");
    for (int id = Param::BackColor; id <= Param::FilterColor; ++id)
        FUZZ_CHECK(v.at(id) >= 0, "a colour is a colour");

    // Limits the window would refuse are refused with a reason.
    int g[4];
    for (int k = 0; k < 4; ++k)
        g[k] = readSaved(saved, st::kSaved[3 + k].name);
    const int tooHigh = config_text::bandLimitAboveHalfRate(g, rate);
    if (tooHigh != -1)
        FUZZ_CHECK(!config_text::bandLimitTooHighText(g[tooHigh], rate).empty(),
                   "a limit above half the rate has a reason");

    // What the window could have saved comes back as saved.
    if (config_text::bandLimitsValid(g, rate))
        for (int k = 0; k < 4; ++k)
            FUZZ_CHECK(f[k] == g[k], "valid band limits load as saved");
    for (int i : {0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 14}) {
        const int s = readSaved(saved, st::kSaved[i].name);
        const int id = st::kSaved[i].id;
        const bool windowValue = (i == 0 && st::isRate(s)) || (i == 1 && st::isSize(s)) ||
                                 (i == 2 && st::isLevel(s)) || (i == 14 && st::isRange(s)) ||
                                 (i == 7 && s >= 0 && s <= config_text::kMaxThresholdTenths) ||
                                 (i >= 8 && i <= 13 && s >= 0);
        if (windowValue)
            FUZZ_CHECK(v.at(id) == s, "a value the window could save loads as saved");
    }
    FUZZ_CHECK(load(save(v)) == v, "saving and loading again changes nothing");
    return 0;
}
