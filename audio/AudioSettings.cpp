// AudioEngine: defaults and the settings kept in the registry.
//
// How it works
// - attachStore writes every default into the store (the factory value of
//   every setting of the table of settings, foundation/SettingsTable.h; the
//   addresses of the engine's arrays and its frame lock), the interface
//   colours as near as the screen can show them, then the saved settings over
//   them, makes the store's GDI objects and starts observing the store.
// - loadSettings takes back, through that table, whatever it accepts: what
//   the Configuration window and the Measurement dialog can set, a
//   calibration whole, the band limits judged against the rate loaded with
//   them (foundation/Settings.cpp).
// - saveSettings writes the values of the table that Save writes back, each
//   on its own, and answers false when the registry refused any.
// - Defaults (command 107) puts the display settings and colours back at
//   once, on the UI thread; the sampling values are the worker's (state 5).
#include "audio/AudioEngine.h"

#include <utility>

#include "foundation/Settings.h"
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

    // The factory value of every setting kept in the store, then the state
    // of a program that has measured nothing.
    for (const settings_table::Entry& e : settings_table::kEntries) {
        if (e.id < 0)
            continue;
        if (e.rule == settings_table::Rule::Text)
            store_->setText(static_cast<Option::Text>(e.id), e.factoryText);
        else
            store_->set(e.id, e.factory);
    }
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
    store_->set(Param::Readings, reinterpret_cast<intptr_t>(&arrays_.readings));
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
    return store_ && ::saveSettings(*store_, settings_table::Writer::Save);
}

void AudioEngine::loadSettings()
{
    if (store_)
        ::loadSettings(*store_);
}
