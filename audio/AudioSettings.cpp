// AudioEngine: defaults and the settings kept in the registry.
//
// How it works
// - attachStore writes every default into the store (sampling, display,
//   band limits, colours, the addresses of the engine's arrays and its frame
//   lock), the interface colours as near as the screen can show them, then
//   the saved settings over them, makes the store's GDI objects and starts
//   observing the store.
// - loadSettings takes back whatever the configuration window accepts and
//   Save writes: a value outside what the window offers is passed over, the
//   four band limits are taken all or none and judged against the rate
//   loaded with them; then the measurement settings (AudioEngineLevels.cpp).
// - The names, factory values and accepted values come from the one table
//   of settings (foundation/SettingsTable.h) that the Configuration window uses.
// - saveSettings writes the fifteen values of that table, each on its own
//   (foundation/Settings.cpp), and answers false when the registry refused any.
// - Defaults (command 107) puts the display settings and colours back at
//   once, on the UI thread; the sampling values are the worker's (state 5).
#include "audio/AudioEngine.h"

#include <utility>

#include "foundation/Settings.h"
#include "foundation/ConfigText.h"
#include "foundation/SettingsTable.h"

namespace {

using settings_table::factoryValue;

// The fixed interface colours 15..26 (23 repeats 19) and 72.
constexpr COLORREF InterfaceColours[11] = {
    RGB(128, 128, 160), RGB(255, 255, 255), RGB(96, 96, 96),  RGB(192, 192, 192),
    RGB(192, 192, 160), RGB(0, 0, 0),       RGB(224, 32, 32), RGB(128, 32, 0),
    RGB(160, 48, 16),   RGB(255, 0, 0),     RGB(128, 0, 0),
};
constexpr COLORREF NoticeColour = RGB(0, 64, 192);

}  // namespace

void AudioEngine::attachStore(ParameterStore* newStore)
{
    if (store_)
        store_->removeObserver(this);
    store_ = newStore;
    if (!store_)
        return;

    // The factory values of the saved settings (colours below), then the
    // state of a program that has measured nothing.
    for (const settings_table::Setting& s : settings_table::kSaved)
        if (s.id < Param::BackColor || s.id > Param::FilterColor)
            store_->set(s.id, s.factory);
    const std::pair<int, int> state[] = {
        {Param::RefMeanLevel, 0},  {Param::AnaMeanLevel, 0},   {Param::AnalyzeEnabled, 0},
        {Param::PauseEnabled, 0},  {Param::ProgressHidden, 1}, {Param::IntCount, 1},
    };
    for (const auto& d : state)
        store_->set(d.first, d.second);
    store_->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(arrays_.referenceBandLevels));
    store_->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(arrays_.analysisBandLevels));
    store_->set(Param::RefMode, 1);
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store_->set(id, -1);
    store_->set(Param::WaveFullScale, 0);
    store_->set(Param::CaptureActive, 0);
    store_->set(Param::DataPresent, 0);
    store_->set(Param::BufferLock, reinterpret_cast<intptr_t>(&frameLock_));
    store_->set(Param::BandEdges, reinterpret_cast<intptr_t>(arrays_.bandEdgeBins));
    for (int id = Param::BackColor; id <= Param::FilterColor; ++id)
        store_->set(id, factoryValue(id));
    writeMeasurementDefaults();

    // The colours the screen can actually show.
    {
        const ScreenDc screen;
        auto nearest = [&screen](COLORREF c) -> int {
            if (!screen)
                return static_cast<int>(c);
            const COLORREF n = GetNearestColor(screen.get(), c);
            return static_cast<int>(n == CLR_INVALID ? c : n);
        };
        int k = 0;
        for (int id = Param::UiColor15; id <= Param::UiColor26; ++id) {
            if (id == Param::UiColor23) {
                store_->set(id, store_->get(Param::UiColor19));
                continue;
            }
            store_->set(id, nearest(InterfaceColours[k++]));
        }
        store_->set(Param::UiColor72, nearest(NoticeColour));
    }

    loadSettings();
    store_->createGdiObjects();
    store_->addObserver(this);
}

void AudioEngine::applyDisplayDefaults()
{
    setParam(Param::DisplayDb, factoryValue(Param::DisplayDb));
    setParam(Param::DbDiff, factoryValue(Param::DbDiff));
    if (store_)
        store_->setColours(factoryValue(Param::BackColor), factoryValue(Param::GridColor),
                          factoryValue(Param::RefColor), factoryValue(Param::NoiseColor),
                          factoryValue(Param::ThreshColor), factoryValue(Param::FilterColor));
}

bool AudioEngine::saveSettings()
{
    if (!store_)
        return false;
    bool saved = true;
    for (const settings_table::Setting& s : settings_table::kSaved)
        if (!writeSetting(s.name, store_->get(s.id)))
            saved = false;
    return saved;
}

void AudioEngine::loadSettings()
{
    if (!store_)
        return;
    // Whatever the configuration window accepts and Save writes is restored
    // as it was saved; the band limits are judged against the rate loaded
    // with them.
    const int rate = readSetting(L"SampFrq");
    if (settings_table::isRate(rate))
        store_->set(Param::SampFrq, rate);
    const int size = readSetting(L"NumSamples");
    if (settings_table::isSize(size))
        store_->set(Param::NumSamples, size);
    const int intLvl = readSetting(L"IntLvl");
    if (settings_table::isLevel(intLvl))
        store_->set(Param::IntLvl, intLvl);

    // Band limits: all four or none. Limits that do not fit the rate give
    // way to the ones held, pulled down to half the rate where needed, so no
    // band ever reaches above what the rate can measure.
    const int s = store_->get(Param::SampFrq);
    int f[4];
    for (int k = 0; k < 4; ++k)
        f[k] = readSetting(settings_table::kSaved[3 + k].name);
    if (!config_text::bandLimitsValid(f, s)) {
        for (int k = 0; k < 4; ++k)
            f[k] = store_->get(Param::Filter0 + k);
        config_text::fitBandLimits(f, s);
    }
    for (int k = 0; k < 4; ++k)
        store_->set(Param::Filter0 + k, f[k]);

    const int dbDiff = readSetting(L"dbDiff");
    if (dbDiff >= 0 && dbDiff <= config_text::kMaxThresholdTenths)
        store_->set(Param::DbDiff, dbDiff);

    // Any colour, black (0) included; -1 means missing.
    for (int i = 0; i < 6; ++i) {
        const settings_table::Setting& c = settings_table::kSaved[8 + i];
        const int colour = readSetting(c.name);
        if (colour >= 0)
            store_->set(c.id, colour);
    }

    const int displayDb = readSetting(L"displaydb");
    if (settings_table::isRange(displayDb))
        store_->set(Param::DisplayDb, displayDb);
    loadMeasurementSettings();
}
