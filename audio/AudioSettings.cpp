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
// - saveSettings writes the fifteen values of SavedSettings, each on its own
//   (app/Settings.cpp), and answers false when the registry refused any.
// - Defaults (command 107) puts the display settings and colours back at
//   once, on the UI thread; the sampling values are the worker's (state 5).
#include "audio/AudioEngine.h"

#include <utility>

#include "app/Settings.h"
#include "config/ConfigText.h"

namespace {

constexpr COLORREF DefaultColours[6] = {
    RGB(128, 128, 128),  // backColor: grey
    RGB(0, 255, 255),    // gridColor: cyan
    RGB(0, 0, 255),      // refColor: blue
    RGB(0, 255, 0),      // noiseColor: green
    RGB(255, 0, 0),      // threshColor: red
    RGB(255, 255, 255),  // filterColor: white
};

// The fixed interface colours 15..26 (23 repeats 19) and 72.
constexpr COLORREF InterfaceColours[11] = {
    RGB(128, 128, 160), RGB(255, 255, 255), RGB(96, 96, 96),  RGB(192, 192, 192),
    RGB(192, 192, 160), RGB(0, 0, 0),       RGB(224, 32, 32), RGB(128, 32, 0),
    RGB(160, 48, 16),   RGB(255, 0, 0),     RGB(128, 0, 0),
};
constexpr COLORREF NoticeColour = RGB(0, 64, 192);

// The settings kept in the registry, in load and save order.
struct SettingSlot {
    const wchar_t* name;
    int id;
};
constexpr SettingSlot SavedSettings[15] = {
    {L"SampFrq", Param::SampFrq},         {L"NumSamples", Param::NumSamples},
    {L"IntLvl", Param::IntLvl},           {L"Filter0", Param::Filter0},
    {L"Filter1", Param::Filter1},         {L"Filter2", Param::Filter2},
    {L"Filter3", Param::Filter3},         {L"dbDiff", Param::DbDiff},
    {L"backColor", Param::BackColor},     {L"gridColor", Param::GridColor},
    {L"refColor", Param::RefColor},       {L"noiseColor", Param::NoiseColor},
    {L"threshColor", Param::ThreshColor}, {L"filterColor", Param::FilterColor},
    {L"displaydb", Param::DisplayDb},
};

template <size_t K>
bool isOneOf(int value, const int (&accepted)[K])
{
    for (int a : accepted)
        if (value == a)
            return true;
    return false;
}
constexpr int AcceptedRates[] = {4000, 8000, 12000, 24000, 48000};
constexpr int AcceptedSizes[] = {1024, 2048, 4096, 8192, 16384};
constexpr int AcceptedIntLvls[] = {1, 2, 4, 8, 16, 32, 64, 100, 250, 500, 1000};

}  // namespace

void AudioEngine::attachStore(ParameterStore* newStore)
{
    if (store)
        store->removeObserver(this);
    store = newStore;
    if (!store)
        return;

    const std::pair<int, int> defaults[] = {
        {Param::NumSamples, 1024}, {Param::SampFrq, 12000},  {Param::IntLvl, 16},
        {Param::DisplayDb, 1},     {Param::RefMeanLevel, 0}, {Param::AnaMeanLevel, 0},
        {Param::DbDiff, 50},       {Param::Filter0, 100},    {Param::Filter1, 500},
        {Param::Filter2, 1500},    {Param::Filter3, 4000},   {Param::AnalyzeEnabled, 0},
        {Param::PauseEnabled, 0},  {Param::ProgressHidden, 1}, {Param::IntCount, 1},
    };
    for (const auto& d : defaults)
        store->set(d.first, d.second);
    store->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(arrays.referenceBandLevels));
    store->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(arrays.analysisBandLevels));
    store->set(Param::RefMode, 1);
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store->set(id, -1);
    store->set(Param::WaveFullScale, 0);
    store->set(Param::CaptureActive, 0);
    store->set(Param::DataPresent, 0);
    store->set(Param::BufferLock, reinterpret_cast<intptr_t>(&frameLock));
    store->set(Param::BandEdges, reinterpret_cast<intptr_t>(arrays.bandEdgeBins));
    for (int i = 0; i < 6; ++i)
        store->set(Param::BackColor + i, static_cast<int>(DefaultColours[i]));
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
                store->set(id, store->get(Param::UiColor19));
                continue;
            }
            store->set(id, nearest(InterfaceColours[k++]));
        }
        store->set(Param::UiColor72, nearest(NoticeColour));
    }

    loadSettings();
    store->createGdiObjects();
    store->addObserver(this);
}

void AudioEngine::applyDisplayDefaults()
{
    setParam(Param::DisplayDb, 1);
    setParam(Param::DbDiff, 50);
    if (store)
        store->setColours(DefaultColours[0], DefaultColours[1], DefaultColours[2],
                          DefaultColours[3], DefaultColours[4], DefaultColours[5]);
}

bool AudioEngine::saveSettings()
{
    if (!store)
        return false;
    bool saved = true;
    for (const SettingSlot& s : SavedSettings)
        if (!writeSetting(s.name, store->get(s.id)))
            saved = false;
    return saved;
}

void AudioEngine::loadSettings()
{
    if (!store)
        return;
    // Whatever the configuration window accepts and Save writes is restored
    // as it was saved; the band limits are judged against the rate loaded
    // with them.
    const int rate = readSetting(L"SampFrq");
    if (isOneOf(rate, AcceptedRates))
        store->set(Param::SampFrq, rate);
    const int size = readSetting(L"NumSamples");
    if (isOneOf(size, AcceptedSizes))
        store->set(Param::NumSamples, size);
    const int intLvl = readSetting(L"IntLvl");
    if (isOneOf(intLvl, AcceptedIntLvls))
        store->set(Param::IntLvl, intLvl);

    // Band limits: all four or none. Limits that do not fit the rate give
    // way to the ones held, pulled down to half the rate where needed, so no
    // band ever reaches above what the rate can measure.
    const int s = store->get(Param::SampFrq);
    int f[4];
    for (int k = 0; k < 4; ++k)
        f[k] = readSetting(SavedSettings[3 + k].name);
    if (!config_text::bandLimitsValid(f, s)) {
        for (int k = 0; k < 4; ++k)
            f[k] = store->get(Param::Filter0 + k);
        config_text::fitBandLimits(f, s);
    }
    for (int k = 0; k < 4; ++k)
        store->set(Param::Filter0 + k, f[k]);

    const int dbDiff = readSetting(L"dbDiff");
    if (dbDiff >= 0 && dbDiff <= config_text::kMaxThresholdTenths)
        store->set(Param::DbDiff, dbDiff);

    // Any colour, black (0) included; -1 means missing.
    for (int i = 0; i < 6; ++i) {
        const SettingSlot& c = SavedSettings[8 + i];
        const int colour = readSetting(c.name);
        if (colour >= 0)
            store->set(c.id, colour);
    }

    const int displayDb = readSetting(L"displaydb");
    if (displayDb >= 1 && displayDb <= 3)
        store->set(Param::DisplayDb, displayDb);
    loadMeasurementSettings();
}
