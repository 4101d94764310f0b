// The table of settings: the factory values are among the choices the lists
// offer and make a valid measurement, each setting has one registry name and
// one parameter, and what the checks accept is exactly what the lists offer.
#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>

#include "foundation/ParameterStore.h"
#include "foundation/ConfigText.h"
#include "foundation/SettingsTable.h"

using namespace settings_table;

TEST(SettingsTable, FactoryValuesAreChoicesOfTheirListsAndAValidMeasurement)
{
    EXPECT_TRUE(isRate(factoryValue(Param::SampFrq)));
    EXPECT_TRUE(isSize(factoryValue(Param::NumSamples)));
    EXPECT_TRUE(isLevel(factoryValue(Param::IntLvl)));
    EXPECT_TRUE(isRange(factoryValue(Param::DisplayDb)));
    const int bands[4] = {factoryValue(Param::Filter0), factoryValue(Param::Filter1),
                          factoryValue(Param::Filter2), factoryValue(Param::Filter3)};
    EXPECT_TRUE(config_text::bandLimitsValid(bands, factoryValue(Param::SampFrq)));
    const int threshold = factoryValue(Param::DbDiff);
    EXPECT_GE(threshold, 0);
    EXPECT_LE(threshold, config_text::kMaxThresholdTenths);
    for (int id = Param::BackColor; id <= Param::FilterColor; ++id)
        EXPECT_EQ(factoryValue(id) & ~0xFFFFFF, 0) << "a colour has no bits above blue: " << id;
}

TEST(SettingsTable, EachSettingHasOneNameAndOneParameter)
{
    std::set<std::wstring> names;
    std::set<int> ids;
    for (const Setting& s : kSaved) {
        EXPECT_TRUE(names.insert(s.name).second) << "twice: " << std::string(s.name, s.name + wcslen(s.name));
        EXPECT_TRUE(ids.insert(s.id).second) << "twice: " << s.id;
        EXPECT_EQ(factoryValue(s.id), s.factory);
    }
    EXPECT_EQ(factoryValue(Param::Marker1), -1) << "not a saved setting";
    EXPECT_EQ(factoryValue(Param::Marker1, 7), 7);
}

TEST(SettingsTable, TheChecksAcceptWhatTheListsOfferAndNothingElse)
{
    for (const Choice& c : kRates) {
        EXPECT_TRUE(isRate(c.value));
        EXPECT_EQ(std::to_wstring(c.value / 1000), c.caption);  // captioned in kHz
    }
    for (const Choice& c : kSizes) {
        EXPECT_TRUE(isSize(c.value));
        EXPECT_EQ(c.value & (c.value - 1), 0) << "a power of two: " << c.value;
        EXPECT_LE(c.value, MaxSamples);
    }
    for (const Choice& c : kLevels)
        EXPECT_TRUE(isLevel(c.value));
    for (long long v : {0LL, -1LL, 44100LL, 12001LL, 4294979296LL})
        EXPECT_FALSE(isRate(v)) << v;
    for (long long v : {0LL, 512LL, 1000LL, 32768LL, 4294968320LL})
        EXPECT_FALSE(isSize(v)) << v;
    for (long long v : {0LL, 3LL, 999LL, 1001LL})
        EXPECT_FALSE(isLevel(v)) << v;
    EXPECT_FALSE(isRange(0));
    EXPECT_FALSE(isRange(4));
}
