// A save through the journal killed at every one of its writes, and the
// recovery killed again at every one of its own: what is read afterwards is
// always all the old values or all the new ones.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "foundation/SettingsJournal.h"

using settings_journal::Backend;
using settings_journal::Value;

namespace {

// Both places in memory. After `budget` writes and removals the program is
// "killed": nothing more lands.
class Memory final : public Backend {
public:
    bool write(Place place, const Value& v) override
    {
        if (!step())
            return false;
        if (place == Place::Settings) {
            settings[v.name] = v;
        } else {
            staging[v.name] = v;
            hasStaging = true;
        }
        return true;
    }
    bool readStaging(std::vector<Value>& values) override
    {
        if (!hasStaging)
            return false;
        values.clear();
        for (const auto& kv : staging)
            values.push_back(kv.second);
        return true;
    }
    bool removeStaging() override
    {
        if (!step())
            return false;
        staging.clear();
        hasStaging = false;
        return true;
    }
    bool step()
    {
        ++steps;
        return budget < 0 || budget-- > 0;
    }

    std::map<std::wstring, Value> settings;
    std::map<std::wstring, Value> staging;
    bool hasStaging = false;
    int budget = -1;  // -1: never killed
    int steps = 0;
};

std::vector<Value> values(int rate, int size, const std::vector<int>& limits, const wchar_t* device)
{
    std::vector<Value> v = {Value::ofNumber(L"SampFrq", rate), Value::ofNumber(L"NumSamples", size)};
    const wchar_t* names[] = {L"Filter0", L"Filter1", L"Filter2", L"Filter3"};
    for (int k = 0; k < 4; ++k)
        v.push_back(Value::ofNumber(names[k], limits[k]));
    v.push_back(Value::ofText(L"RecordDevice", device));
    return v;
}

std::map<std::wstring, Value> asMap(const std::vector<Value>& v)
{
    std::map<std::wstring, Value> m;
    for (const Value& x : v)
        m[x.name] = x;
    return m;
}

}  // namespace

TEST(SettingsJournal, KilledAtAnyWriteOfASaveOrOfItsRecoveryLeavesOldOrNew)
{
    // Old values in place, a setting no save touches beside them.
    const std::vector<Value> oldValues = values(48000, 16384, {100, 500, 15000, 20000}, L"Mic A");
    const std::vector<Value> newValues = values(4000, 1024, {50, 300, 1000, 2000}, L"");
    const Value other = Value::ofNumber(L"XPos", 17);
    std::map<std::wstring, Value> oldSettings = asMap(oldValues), newSettings = asMap(newValues);
    oldSettings[other.name] = newSettings[other.name] = other;

    Memory whole;
    for (const Value& v : oldValues)
        whole.write(Backend::Place::Settings, v);
    whole.write(Backend::Place::Settings, other);
    const Memory before = whole;
    ASSERT_TRUE(settings_journal::save(whole, newValues));
    const int saveSteps = whole.steps - before.steps;
    EXPECT_EQ(whole.settings, newSettings);
    EXPECT_FALSE(whole.hasStaging);

    int sawOld = 0, sawNew = 0, recoveries = 0;
    for (int killAt = 0; killAt < saveSteps; ++killAt) {
        SCOPED_TRACE(killAt);
        Memory m = before;
        m.budget = killAt;
        EXPECT_FALSE(settings_journal::save(m, newValues));
        // The next start recovers, and may be killed doing so, any number
        // of writes in; then a start that is not.
        for (int again = 0;; ++again) {
            Memory r = m;
            r.steps = 0;
            r.budget = again;
            settings_journal::recover(r);
            const bool killed = r.steps > again;
            r.budget = -1;
            settings_journal::recover(r);
            ++recoveries;
            EXPECT_TRUE(r.settings == oldSettings || r.settings == newSettings)
                << "recovery killed at " << again;
            if (!killed)
                break;
        }
        settings_journal::recover(m);
        EXPECT_FALSE(m.hasStaging);
        if (m.settings == oldSettings)
            ++sawOld;
        else if (m.settings == newSettings)
            ++sawNew;
        else
            ADD_FAILURE() << "a mix of old and new values";
        // The next save over whatever was left lands whole.
        ASSERT_TRUE(settings_journal::save(m, oldValues));
        EXPECT_EQ(m.settings, oldSettings);
    }
    // Both outcomes happen: before the save counts, and after.
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    std::printf("[ journal ] %d kill points in a save: %d old, %d new; %d recoveries\n", saveSteps,
                sawOld, sawNew, recoveries);
}

TEST(SettingsJournal, AStagedSaveWithoutItsMarkIsForgottenOneWithItIsFinished)
{
    const std::vector<Value> staged = {Value::ofNumber(L"SampFrq", 4000)};
    for (bool marked : {false, true}) {
        SCOPED_TRACE(marked);
        Memory m;
        m.write(Backend::Place::Settings, Value::ofNumber(L"SampFrq", 48000));
        m.write(Backend::Place::Staging, staged[0]);
        if (marked)
            m.write(Backend::Place::Staging, Value::ofNumber(settings_journal::CompleteName, 1));
        settings_journal::recover(m);
        EXPECT_FALSE(m.hasStaging);
        EXPECT_EQ(m.settings.at(L"SampFrq").number, marked ? 4000 : 48000);
        EXPECT_EQ(m.settings.count(settings_journal::CompleteName), 0u) << "the mark stays out";
    }
}
