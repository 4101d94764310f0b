// ParameterStore: the one shared state of the analyzer.
//
// How it works
// - A fixed table of 100 slots, addressed by parameter id 0..99. Every
//   component reads and writes settings, measurement state, addresses of the
//   engine's arrays and the handles of the shared GDI objects here.
// - set() stores a value and, when it changed (or for any id outside 0..99
//   that is no option, which stores nothing and serves as an event), calls
//   every observer's parameterChanged(id) on the writer's thread, newest
//   observer first.
// - Several threads read and write the table without a lock, so every slot is
//   a std::atomic. Slots are pointer-sized: the ids that carry addresses or
//   handles (27..52, 61, 62, 64, 69, 71, 73, 74) keep full 64-bit values.
//   get() returns the low 32 bits as the signed parameter value; address()
//   returns the whole slot.
// - Three DisplayBuffers carry finished spectra from the capture thread to the
//   windows. The engine publishes the newest one's index in slot 70 under its
//   frame lock (address in slot 69); acquireLatestDisplayBuffer marks that
//   buffer in use so the writer passes over it until releaseDisplayBuffers.
// - Options are settings with ids of their own outside the slots (namespace
//   Option): int options from 1000 (atomics, so the capture thread may read
//   them) and text options from 2000 (kept under a lock). set() and get()
//   take an int option's id like a slot's; setText() and text() the text
//   options. A change notifies the observers with the option's id, an event
//   id above 100 that no slot and no other event uses.
// - Fonts are made for a DPI. The font slots hold those made for Param::Dpi,
//   the main window's DPI; font(id, dpi) gives a window at another DPI (the
//   Configuration window on another monitor) the same font made for its
//   own. Every font made is kept, one per slot and DPI, until
//   deleteGdiObjects: a window never draws with a font deleted because
//   another window changed its DPI.
//
// The GDI half (setColours, createGdiObjects, deleteGdiObjects, setDpi,
// font) lives in ParameterStoreGdi.cpp and exists only in the Windows build;
// everything else here is portable.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/Spectrum.h"
#include "foundation/MicResponse.h"

class FrameLock;

// Parameter ids. Names follow the registry value names where one exists.
namespace Param {
enum : int {
    RefMeanLevel = 0,
    AnaMeanLevel = 1,
    NumSamples = 2,
    SampFrq = 3,
    DisplayDb = 6,
    IntLvl = 7,
    IntCount = 8,
    BackColor = 9,
    GridColor = 10,
    RefColor = 11,
    NoiseColor = 12,
    ThreshColor = 13,
    FilterColor = 14,
    UiColor15 = 15,
    UiColor16 = 16,
    UiColor17 = 17,
    UiColor18 = 18,
    UiColor19 = 19,
    UiColor20 = 20,
    UiColor21 = 21,
    UiColor22 = 22,
    UiColor23 = 23,
    UiColor24 = 24,
    UiColor25 = 25,
    UiColor26 = 26,
    // GDI objects (see the table in ParameterStoreGdi.cpp)
    BackBrush = 27,
    GridPen = 28,
    RefPen = 29,
    NoisePen = 30,
    ThreshPen = 31,
    FilterPen = 32,
    ButtonFaceBrush = 33,
    ButtonDisabledBrush = 34,
    ButtonHighlightPen = 35,
    ButtonShadowPen = 36,
    LabelBrush = 37,
    ButtonFont = 38,
    TitleFont = 39,
    MeterBackBrush = 40,
    MeterLowBrush = 41,
    MeterRefBrush = 42,
    MeterAnaBrush = 43,
    MeterHighBrush = 44,
    MarkerFont = 45,
    ProgressFillBrush = 46,
    ProgressEmptyBrush = 47,
    EditFont = 48,
    LabelFont = 49,
    PanelBrush = 50,
    DiagramPen = 51,
    NoteFont = 52,
    DbDiff = 53,
    Filter0 = 54,
    Filter1 = 55,
    Filter2 = 56,
    Filter3 = 57,
    AnalyzeEnabled = 58,
    PauseEnabled = 59,
    ProgressHidden = 60,
    RefBandLevels = 61,
    AnaBandLevels = 62,
    RefMode = 63,
    DisplayBuffers = 64,
    WaveFullScale = 66,
    CaptureActive = 67,
    DataPresent = 68,
    BufferLock = 69,
    LatestBuffer = 70,
    BandEdges = 71,
    UiColor72 = 72,
    MeterBarBrush = 73,
    MainWindowHandle = 74,
    SoundErrorStage = 75,
    SoundErrorCode = 76,
    Readings = 77,        // pointer: the engine's Readings (band totals, overall levels, Leq time)
    CalToneHz = 78,       // the tone the newest calibration found, Hz; 0: none since the start
    Marker1 = 81,
    Marker2 = 82,
    Marker3 = 83,
    Marker4 = 84,
    Marker5 = 85,
    // Measurement trust (analysis/Levels.h).
    WindowFunction = 86,  // 0 Rectangular, 1 Hann, 2 Flat top; registry "WindowFn"
    CalOffset = 87,       // calibration offset, hundredths of a dB; "CalOffset"
    CalDate = 88,         // day of the calibration, yyyymmdd, 0 = none; "CalDate"
    CalSampFrq = 89,      // SampFrq the calibration was made with; "CalSampFrq"
    CalNumSamples = 90,   // NumSamples it was made with; "CalSamples"
    CalLevel = 91,        // the calibrator's level, hundredths of a dB; "CalLevel"
    CalRunning = 92,      // 1 while a calibration measures, 0 when done
    ClipCount = 93,       // full-scale samples since Reference or Analyze started
    Clipping = 94,        // full-scale samples in the newest block
    LostBlocks = 95,      // blocks lost or not analysed since the start
    RefFaults = 96,       // Fault bits of the reference measurement
    AnaFaults = 97,       // Fault bits of the analysis measurement
    Dpi = 98,             // the main window's DPI, that of the font slots; 0 reads as 96
    Count = 100,
    NewDisplayData = 100,  // event: a display buffer was published
};
}  // namespace Param

// Options: typed settings outside the 100 slots, kept in the registry
// through the table of settings (foundation/SettingsTable.h). Ints and texts
// are enums of their own, so a text option cannot be set as a number.
namespace Option {
constexpr int kIntBase = 1000;
constexpr int kTextBase = 2000;
enum Int : int {
    Weighting = kIntBase,  // frequency weighting: 0 Z, 1 A, 2 C; registry "Weighting"
    Averaging,             // 0 exponential, 1 linear (Leq); "Averaging"
    BandReading,           // band readouts: 0 the mean of the dB bins, 1 band totals; "BandReading"
    LeqMinutes,            // the Leq's duration in minutes, 0: none; "LeqMinutes"
    HoldComplete,          // 1: a completed measurement holds; "HoldComplete"
    MaxHoldTrace,          // 1: keep and draw the maximum hold; "MaxHold"
    OverallLevels,         // 1: show the overall levels; "OverallLevels"
    Playback,              // 1 plays what is recorded, 0 plays nothing; "Playback"
    FrequencyAxis,         // the graph's frequency axis: 0 linear, 1 logarithmic; "FrequencyAxis"
    BandView,              // the graph shows 0 the narrow-band spectrum, 1 octave bands,
                           // 2 third-octave bands; "BandView"
    IntEnd,
};
enum Text : int {
    RecordDevice = kTextBase,  // the recording device's name, empty: the default; "RecordDevice"
    PlaybackDevice,            // the playback device's name, empty: the default; "PlaybackDevice"
    MicFile,                   // the microphone response file's path, empty: none; "MicFile"
    // Not kept: what the engine recorded from in the newest capture run, and
    // what the user is told about the devices and the microphone file.
    RecordDeviceInUse,
    DeviceNotice,
    MicNotice,
    TextEnd,
};
constexpr int kIntCount = IntEnd - kIntBase;
constexpr int kTextCount = TextEnd - kTextBase;
constexpr bool isInt(int id) { return id >= kIntBase && id < IntEnd; }
constexpr bool isText(int id) { return id >= kTextBase && id < TextEnd; }
}  // namespace Option

// A Reference spectrum on its way from the user interface to the engine (a
// saved measurement being opened as the Reference). The UI thread fills it
// under `lock` and then gives the engine the LoadReference command; the
// engine's worker copies it out under the same lock.
struct ReferenceImport {
    std::mutex lock;
    int sampFrq = 0;     // the settings the spectrum was measured with
    int numSamples = 0;
    int bins = 0;        // valid entries of spectrum: numSamples / 2
    int weighting = -1;  // the weighting it was saved under; -1: the current one
    float spectrum[MaxBins] = {};
};

class ParameterObserver {
public:
    virtual void parameterChanged(int id) = 0;

protected:
    ~ParameterObserver() = default;
};

class ParameterStore final {
public:
    ParameterStore();
    ParameterStore(const ParameterStore&) = delete;
    ParameterStore& operator=(const ParameterStore&) = delete;
    ~ParameterStore();

    virtual void addObserver(ParameterObserver* observer);
    virtual void removeObserver(ParameterObserver* observer);
    virtual void set(int id, intptr_t value);
    virtual int get(int id) const;
    // Text options: the text, and a change of it (notified like a slot's).
    // Any thread; the text is copied under the store's text lock.
    void setText(Option::Text id, const std::wstring& text);
    std::wstring text(Option::Text id) const;
    virtual void setColours(int back, int grid, int ref, int noise, int thresh, int filter);
    virtual void createGdiObjects();
    virtual void deleteGdiObjects();
    // The main window is now at `dpi` dots per inch: the font slots take
    // the fonts made for it (heights scaled from their 96-DPI values; pens
    // are one-pixel hairlines at every DPI), then Param::Dpi is set, which
    // tells the observers. Nothing happens when it is the DPI already.
    // Called on the UI thread, between paints, before the window is laid
    // out again.
    void setDpi(int dpi);
    // Param::Dpi, 96 when it was never set.
    int dpi() const;
    // The font of font slot `id` (ButtonFont, TitleFont, MarkerFont,
    // EditFont, LabelFont, NoteFont) made for `dpi`: made on first use and
    // kept until deleteGdiObjects; the slot's own at dpi(). 0 for another id
    // or while the GDI objects do not exist. On the UI thread only.
    intptr_t font(int id, int dpi);
    virtual int acquireLatestDisplayBuffer();
    virtual void releaseDisplayBuffers();

    // The whole slot, for the ids that carry an address or a handle.
    intptr_t address(int id) const;
    template <class T>
    T pointer(int id) const
    {
        return reinterpret_cast<T>(address(id));
    }
    template <class T>
    T handle(int id) const
    {
        return reinterpret_cast<T>(address(id));
    }

    DisplayBuffer* displayBuffers() { return buffers_; }
    ReferenceImport& referenceImport() { return import_; }
    // The microphone response in use (foundation/MicResponse.h).
    MicResponse& micResponse() { return micResponse_; }
    const MicResponse& micResponse() const { return micResponse_; }

private:
    struct ObserverNode {
        ParameterObserver* observer;
        ObserverNode* next;
    };

    void notifyObservers(int id);
    // The font of slot `id` made for `dpi`, made now when there is none yet.
    intptr_t madeFont(int id, int dpi);
    // Stores without notifying: GDI creation and deletion.
    void store(int id, intptr_t value);

    // One font made for one DPI (see font()). createGdiObjects, setDpi,
    // font and deleteGdiObjects, the only ones to touch the list, run on one
    // thread at a time: the UI thread while it runs.
    struct MadeFont {
        int id;
        int dpi;
        intptr_t handle;
    };

    ObserverNode* observers_ = nullptr;
    std::vector<MadeFont> fonts_;
    std::atomic<intptr_t> params_[Param::Count];
    std::atomic<int> intOptions_[Option::kIntCount];
    mutable std::mutex textLock_;
    std::wstring texts_[Option::kTextCount];
    DisplayBuffer buffers_[3]{};
    ReferenceImport import_;
    MicResponse micResponse_;
};
