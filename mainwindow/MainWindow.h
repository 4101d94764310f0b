// MainWindow: the analyzer's one top-level window.
//
// How it works
// - The UI thread makes it with its own GuiOwner side as owner and calls
//   create(), which places the window (saved position, else centred on the
//   work area), builds every child of the fixed layout and fills the texts
//   that depend on the settings.
// - Nothing here polls. Every change of the parameter store reaches the
//   window as WM_QX_PARAMETER (1034, wParam = id); onParameter() maps the id
//   to the widgets that show it: texts are rebuilt with WM_SETTEXT, pictures
//   invalidated, buttons enabled or disabled, the progress bar shown or
//   hidden, sound failures reported in a warning box. An open configuration
//   window sees each of these messages first.
// - The window and all its widgets paint through one off-screen buffer of the
//   client area (paintBuffer()), rebuilt on WM_SIZE, so the spectrum graph
//   does not flicker at the engine's update rate. The pictures that change
//   with every block (graph, waveform view, meters), and labels given a new
//   text, are not invalidated but asked to draw at once (showNow,
//   WM_QX_DRAWNOW): under Wine a trip through WM_PAINT costs more than the
//   drawing itself. Nothing is drawn while the window is minimised or the
//   display is off (WM_POWERBROADCAST); the data and texts stay current.
// - Commands: the buttons give their code to notify(); Alt accelerators
//   arrive as WM_COMMAND; Enter or Space on a focused button is caught in
//   preTranslate(). notify() opens the configuration window itself (104),
//   takes its "closed" report (205) and hands every other code to the owner,
//   the UI thread, which passes it on to the engine.
// - The measurement group sits where it moves nothing of the rest: the
//   "&Measure..." button (Alt+M) opens the Measurement dialog (window
//   function, calibrator level, calibration); a status line beside the
//   sample-window line shows a calibration in progress or stale, clipping
//   and lost blocks; a fourth readout row gives the source level behind the
//   background per band. The row captions of a measurement that clipped or
//   lost blocks carry a "*"; with a calibration they say "dB SPL".
// - Measurements as files (MainWindowFiles.cpp): the window's system menu
//   (buildSystemMenu) and a second accelerator table (IDR_FILE_ACCELERATORS, applied in
//   preTranslate while no configuration window is open) give Save
//   Measurement, Open Reference, Copy Readouts, Copy Picture and Save
//   Picture. An opened Reference travels to the engine through the store's
//   ReferenceImport and the LoadReference command; until the next measured
//   Reference the title names the file it came from.
// - On WM_DESTROY the window saves its position ("XPos", "YPos"), tells the
//   owner it is gone (108) and ends the thread's message loop.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <memory>

#include "foundation/Notification.h"

struct Readings;
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiFrequencyScale.h"
#include "gui/GuiLabels.h"
#include "gui/GuiLevelMeter.h"
#include "gui/GuiOwner.h"
#include "gui/GuiSpectrumGraph.h"
#include "gui/GuiWaveformView.h"
#include "gui/GuiWindow.h"

class ConfigWindow;
struct DisplayBuffer;
class ParameterStore;

class MainWindow final : public GuiWindow, public GuiOwner {
public:
    // Size of the window at 96 DPI as it was with a fixed frame and no menu
    // bar (kLayoutStyle): its client area is the smallest one. The window
    // has a sizing frame and a menu bar around that (kStyle). At another DPI
    // its client area is the 96-DPI one scaled, and the frame is the one of
    // that DPI (outerSize).
    static constexpr int kWidth = 639;
    static constexpr int kHeight = 574;
    static constexpr DWORD kLayoutStyle =
        WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kStyle = kLayoutStyle | WS_THICKFRAME | WS_MAXIMIZEBOX;
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    static const GuiDpi::TopLevelFrame& frame();
    static SIZE outerSize(int dpi) { return frame().outerAt(dpi); }

    // Control ids of the children that others look for.
    enum ChildId : int {
        IdReference = 101,
        IdAnalyze = 102,
        IdPause = 103,
        IdConfig = 104,
        IdLineControl = 105,
        IdRecorder = 106,
        IdDefaults = 107,
        IdReferenceCaption = 110,
        IdAnalysisCaption = 111,
        IdLogo = 112,
        IdReferenceMeter = 113,
        IdAnalysisMeter = 114,
        IdAudioCaption = 115,
        IdWaveform = 116,
        IdFrequencyCaption = 117,
        IdBandLine = 118,
        IdProgress = 119,
        IdGraph = 120,
        IdDbCaption = 122,
        IdDbScale0 = 123,         // .. 129, top to bottom
        IdFrequencyScale0 = 140,  // .. 144, left to right
        IdBandCaption0 = 150,     // .. 152
        IdRowCaption0 = 153,      // .. 155
        IdReferenceReadout0 = 156,
        IdAnalysisReadout0 = 159,
        IdDifferenceReadout0 = 162,
        IdNotice = 165,
        IdNote = 166,
        IdSampleWindowLine = 167,
        // The measurement group: the "&Measure..." button (also its
        // notification code), the status line, the source row.
        IdMeasure = 168,
        IdStatusLine = 169,
        IdSourceCaption = 170,
        IdSourceReadout0 = 171,  // .. 173
        IdOverallCaption0 = 174,  // .. 175
        IdOverallReadout0 = 176,  // .. 183, row by row
        IdUnitCaption = 184,
        IdLogFrequencyScale = 185,  // the labels of the logarithmic axis
    };

    // The title when no Reference from a file is shown.
    static const wchar_t* defaultTitle();

    explicit MainWindow(GuiOwner* owner);
    // Deletes the configuration window object and every member widget; the
    // window itself is gone by then.
    ~MainWindow();

    // GuiWindow side.
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL preTranslate(MSG* message) override;
    // Makes the window and every child; false on the first failure.
    virtual bool create(HWND parent);
    // Refreshes the nine band readouts from the newest display buffer.
    virtual void updateReadouts();

    // GuiOwner side, for the widgets and the configuration window.
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override;
    HINSTANCE instanceHandle() override;
    HDC paintBuffer() override;
    GuiSpans::Picture paintPixels() override;
    // This window's DPI, which it also gives the store (Param::Dpi).
    int widgetDpi() override;
    void dpiChanged(int dpi) override;

private:
    void onParameter(int id);
    void onDestroy(HWND window);
    void onActivate(HWND window, WPARAM wParam);
    void rebuildSampleWindowLine();
    void rebuildFrequencyScale();
    void rebuildDbScale();
    void rebuildBandLine();
    void integrationStep();
    void refreshDisplay();
    static void placeWindow(int savedX, int savedY, SIZE size, int& x, int& y);
    // Takes `dpi` as the window's (and the store's), gives the window its
    // outer size there and lays every child out again (WM_DPICHANGED does
    // the same at the place Windows suggests).
    void rescale(int dpi);
    void followEnabled(GuiButton& button, int enabled);
    void reportSoundError();
    void openConfigWindow();
    // Asks about settings applied but not saved; false: stay open.
    bool confirmClose();
    void savePosition(HWND window);
    // Appends the window's own commands to its system menu.
    void buildSystemMenu();

    // MainWindowLayout.cpp: the children's places in a window larger than
    // its smallest size.
    enum class Anchor { Right, Bottom, StretchX, StretchXY, BottomStretchX, DbLabel, FrequencyLabel };
    struct Anchored {
        GuiWindow* widget;
        Anchor anchor;
        int index;  // of a scale label
        RECT base;  // the layout at the smallest size
    };
    void anchorChildren();
    void relayout();
    void placeDbCaption(bool upright);
    // The scale labels' places beside and under a graph of that layout size.
    static int dbLabelTopFor(int i, int graphHeight);
    static int frequencyLabelLeftFor(int i, int graphWidth);
    // The saved client size (layout units), applied when larger than the smallest.
    void restoreSize();
    void saveSize(HWND window);

    // MainWindowFiles.cpp. fileCommand: true when `id` was one of the file
    // commands (ID_CMD_SAVE_MEASUREMENT .. ID_CMD_SAVE_PICTURE).
    bool fileCommand(int id);
    void saveMeasurement();
    void openReference();
    void copyReadouts();
    // The band table's cells as the window shows them, row by row.
    std::vector<std::vector<std::string>> readoutGrid() const;
    void copyPicture();
    void savePicture();
    // Writes the current measurement to `path`; false after telling the user why.
    bool saveMeasurementTo(const std::wstring& path);
    // Opens `path` as the Reference; false after telling the user why.
    bool openReferenceFrom(const std::wstring& path);
    // The title names the file the Reference came from, or is the default.
    void showReferenceSource(const std::wstring& fileName, const std::string& date);
    void forgetReferenceSource();
    void fileError(const wchar_t* caption, const std::wstring& text);
    const GuiButton* buttonForCommand(int commandId) const;
    HWND referenceButton() const;
    // The measurement group (window function, calibration, faults, source).
    bool createMeasurementGroup(HWND w);
    void openMeasurementDialog();
    void addButtonTips(HWND w);
    // The microphone and the sound card (MainWindowDevices.cpp).
    void openDevicesDialog();
    void loadMicFileAtStart();
    void rebuildStatusLine();
    // No measurement: every readout "\u2013", no marks (MainWindow.cpp).
    void clearReadouts();
    void rebuildNotice();
    // Follows the newest block for a silent recording device ("No signal").
    void watchSignal(const DisplayBuffer& newest, bool analysis);
    // The level captions: their unit ("dB" or "dB SPL") and the "*" of a
    // measurement that clipped or lost blocks.
    void rebuildUnitCaptions(bool refFaulty, bool anaFaulty);
    // The levels group (MainWindowLevels.cpp): the overall levels' columns,
    // shown with the OverallLevels option beside the band readouts, and the
    // Leq's time in the progress bar.
    bool createLevelsGroup(HWND w);
    void followLevelOptions();
    void updateLevelReadouts(const Readings* readings, bool noAnalysis);
    // The view group (MainWindowView.cpp): the View menu's frequency axis
    // and band view, their labels under the graph and their status text.
    // viewCommand: true when `id` was one of the View menu's commands.
    bool createViewGroup(HWND w);
    bool viewCommand(int id);
    void followViewOptions();
    std::wstring narrowBandsNote() const;

    // WM_SETTEXT and the label drawn again at once (showNow); skipped for a
    // widget without a window.
    void setText(GuiWindow& widget, const wchar_t* text);
    static void invalidate(GuiWindow& widget);
    // A display widget's new picture shown at once (WM_QX_DRAWNOW), or
    // invalidated when it cannot draw now; nothing while its window is
    // minimised or the display is off.
    void showNow(GuiWindow& widget);
    // WM_POWERBROADCAST's display state: off, nothing is drawn; on again,
    // the whole window is.
    void followDisplayState(const POWERBROADCAST_SETTING& setting);
    // The same for a level meter, but only when the level it shows differs
    // from `shown`, the one it was last asked to show (a repaint for any
    // other reason comes through WM_PAINT).
    void showMeter(GuiLevelMeter& meter, int& shown);
    // A readout's new text, only when it really changes: the readouts are
    // refreshed with every block. The window answers with the new text at
    // once (Copy Readouts, a repaint and accessibility tools ask it); it
    // becomes the window's own text, and its picture is drawn, by
    // drawReadoutsSoon.
    void setReadout(GuiLabel& widget, std::wstring& shown, const std::wstring& text);
    // The readouts whose text changed drawn together by a timer: as soon as
    // the update that changed them is over, when none was drawn in the last
    // kReadoutPeriodMs, else when that time is up: numbers
    // that change 47 times a second cannot be read, and each drawing of a
    // label costs the UI thread as much as a graph's trace. The last values
    // always show within the period.
    void drawReadoutsSoon();
    void onReadoutTimer();
    void drawReadoutsNow();
    static constexpr UINT_PTR kReadoutTimer = 41;
    static constexpr ULONGLONG kReadoutPeriodMs = 100;

    GuiPaintBuffer paint_;
    int dpi_ = 96;  // this window's, at which its widgets are laid out
    // Made anew each time the configuration window opens.
    std::unique_ptr<ConfigWindow> config_;
    bool created_ = false;       // every child exists
    HWND lastFocus_ = nullptr;   // the child that had the focus when the window went inactive
    AcceleratorTable fileAccelerators_;  // IDR_FILE_ACCELERATORS
    bool referenceFromFile_ = false;     // the title names a file
    bool configUsed_ = false;            // the configuration window was opened

    // Member widgets, made in this order (their windows are made in create()).
    GuiButton referenceButton_;
    GuiButton analyzeButton_;
    GuiButton pauseButton_;
    GuiButton lineControlButton_;
    GuiButton recorderButton_;
    GuiButton configButton_;
    GuiButton defaultsButton_;
    GuiLabel referenceMeterCaption_;
    GuiLabel analysisMeterCaption_;
    GuiLogo logo_;
    GuiReferenceMeter referenceMeter_;
    GuiAnalysisMeter analysisMeter_;
    int meterShown_[2] = {-1000000, -1000000};  // the levels the meters were last asked to show
    GuiLabel audioCaption_;
    GuiLabel frequencyCaption_;
    GuiLabel bandLine_;
    GuiLabel dbScale_[7];
    GuiLabel frequencyScale_[5];
    GuiLabel dbCaption_;
    GuiLabel rowCaptions_[3];
    GuiLabel bandCaptions_[3];
    GuiLabel referenceReadouts_[3];
    GuiLabel analysisReadouts_[3];
    GuiDifferenceLabel differenceReadouts_[3];
    GuiNoteText note_;
    GuiIntegrationProgress progress_;
    GuiWaveformView waveform_;
    GuiSpectrumGraph graph_;
    GuiFrequencyScale logScale_;
    GuiFooterLabel notice_;
    GuiLabel sampleWindowLine_;
    GuiButton measureButton_;
    GuiDifferenceLabel statusLine_;
    GuiLabel sourceCaption_;
    GuiLabel sourceReadouts_[3];
    GuiLabel unitCaption_;
    GuiLabel overallCaptions_[2];
    GuiLabel overallReadouts_[4][2];  // Reference, Analysis, Difference, Source

    // What the readouts show now, so an unchanged text is not sent again.
    std::wstring referenceShown_[3];
    std::wstring analysisShown_[3];
    std::wstring differenceShown_[3];
    std::wstring sourceShown_[3];
    std::wstring overallShown_[4][2];
    std::wstring progressShown_;
    // Readouts with a new text not yet drawn, when they were last drawn, and
    // whether the timer that draws them runs.
    std::vector<GuiLabel*> readoutsToDraw_;
    ULONGLONG readoutsDrawn_ = 0;
    bool readoutTimer_ = false;
    bool readoutTimerSteady_ = false;  // it ticks once a period
    HPOWERNOTIFY displayNotice_ = nullptr;
    bool displayOff_ = false;  // the session's display, as last told
    bool overallShownLayout_ = false;
    std::wstring statusShown_;
    std::wstring noticeShown_;
    std::wstring unitShown_;
    std::vector<Anchored> anchors_;
    int extraX_ = 0;  // layout units beyond the smallest client size
    int extraY_ = 0;
    ULONGLONG silentSince_ = 0;  // the first of the silent blocks, 0: sound
    bool noSignal_ = false;
    bool captionRefFaulty_ = false;
    bool captionAnaFaulty_ = false;
};
