#include "mainwindow/MainWindow.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "foundation/AnalysisSettings.h"
#include "foundation/ParameterStore.h"
#include "foundation/Settings.h"
#include "foundation/SystemError.h"
#include "config/ConfigWindow.h"
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiDpi.h"
#include "gui/GuiLabels.h"
#include "gui/GuiLevelMeter.h"
#include "gui/GuiSpectrumGraph.h"
#include "gui/GuiTips.h"
#include "gui/GuiWaveformView.h"
#include "mainwindow/AboutBox.h"
#include "mainwindow/MainMenu.h"
#include "mainwindow/DevicesDialog.h"
#include "mainwindow/MainWindowGlue.h"
#include "mainwindow/MainWindowText.h"
#include "mainwindow/MeasurementDialog.h"
#include "mainwindow/UnsavedSettings.h"
#include "analysis/Levels.h"
#include "resources/resource.h"

namespace text = mainwindow_text;

namespace {

// DrawTextW formats of the labels.
constexpr int kFormatLeftMiddle = DT_VCENTER | DT_SINGLELINE;                  // 36
constexpr int kFormatRightMiddle = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;      // 38
constexpr int kFormatLeftBottom = DT_BOTTOM | DT_SINGLELINE;                   // 40
constexpr int kFormatRightBottom = DT_RIGHT | DT_BOTTOM | DT_SINGLELINE;       // 42
constexpr int kFormatLeftTop = DT_SINGLELINE;                                  // 32
constexpr int kFormatCentreTop = DT_CENTER | DT_SINGLELINE;                    // 33
constexpr int kFormatRightTop = DT_RIGHT | DT_SINGLELINE;                      // 34
constexpr int kFormatNote = DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL;     // 8272

// The program's one name, as the Start menu and the setup program give it.
const wchar_t* const kTitle = L"QX-700 Spectrum Analyzer";
// What the logo shows, as its text.
const wchar_t* const kLogoText = L"Tevra Audio Spectrum Analyzer";

}  // namespace

// ---------------------------------------------------------------------------
// The UI thread's view of the main window.

MainWindow* newMainWindow(GuiOwner* owner) { return new MainWindow(owner); }

const wchar_t* const kMaximizedValue = L"Maximized";

int mainWindowShowCommand()
{
    return readSetting(kMaximizedValue) == 1 ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
}

HWND createMainWindow(MainWindow* window)
{
    if (!window)
        return nullptr;
    if (window->create(nullptr))
        return window->handle();
    // A half-built window is of no use; take it down before the thread ends.
    if (HWND made = window->handle())
        DestroyWindow(made);
    return nullptr;
}

BOOL preTranslateMainWindow(MainWindow* window, MSG* message)
{
    return window ? window->preTranslate(message) : FALSE;
}

void deleteMainWindow(MainWindow* window) { delete window; }

const wchar_t* const kMainWindowProperty = L"QX700.MainWindow";

// ---------------------------------------------------------------------------

MainWindow::MainWindow(GuiOwner* owner)
    : GuiWindow(owner),
      referenceButton_(this, Code::Reference),
      analyzeButton_(this, Code::Analyze),
      pauseButton_(this, Code::Pause),
      lineControlButton_(this, Code::LineControl),
      recorderButton_(this, Code::Recorder),
      configButton_(this, Code::Config),
      defaultsButton_(this, Code::Defaults),
      referenceMeterCaption_(this, kFormatRightMiddle),
      analysisMeterCaption_(this, kFormatRightMiddle),
      logo_(this, kFormatLeftMiddle),
      referenceMeter_(this),
      analysisMeter_(this),
      audioCaption_(this, kFormatLeftBottom),
      frequencyCaption_(this, kFormatLeftBottom),
      bandLine_(this, kFormatLeftBottom),
      dbScale_{{this, kFormatRightTop},    {this, kFormatRightMiddle}, {this, kFormatRightMiddle},
               {this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle},
               {this, kFormatRightBottom}},
      frequencyScale_{{this, kFormatLeftTop},
                      {this, kFormatCentreTop},
                      {this, kFormatCentreTop},
                      {this, kFormatCentreTop},
                      {this, kFormatRightTop}},
      dbCaption_(this, kFormatLeftMiddle),
      rowCaptions_{{this, kFormatLeftMiddle}, {this, kFormatLeftMiddle}, {this, kFormatLeftMiddle}},
      bandCaptions_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      referenceReadouts_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      analysisReadouts_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      differenceReadouts_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      note_(this, kFormatNote),
      progress_(this, kFormatLeftBottom),
      waveform_(this),
      graph_(this),
      logScale_(this, graph_),
      notice_(this, kFormatLeftMiddle),
      sampleWindowLine_(this, kFormatLeftBottom),
      measureButton_(this, IdMeasure),
      statusLine_(this, kFormatRightBottom),
      sourceCaption_(this, kFormatLeftMiddle),
      sourceReadouts_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      unitCaption_(this, kFormatLeftMiddle),
      overallCaptions_{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
      overallReadouts_{{{this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
                       {{this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
                       {{this, kFormatRightMiddle}, {this, kFormatRightMiddle}},
                       {{this, kFormatRightMiddle}, {this, kFormatRightMiddle}}}
{
}

const wchar_t* MainWindow::defaultTitle() { return kTitle; }

// The configuration window's object goes first, then every member widget;
// their windows went with this window.
MainWindow::~MainWindow() { config_.reset(); }

ParameterStore* MainWindow::parameterStore() { return owner_ ? owner_->parameterStore() : nullptr; }

HINSTANCE MainWindow::instanceHandle() { return owner_ ? owner_->instanceHandle() : nullptr; }

HDC MainWindow::paintBuffer() { return paint_.dc(); }

GuiSpans::Picture MainWindow::paintPixels() { return paint_.pixels(); }

HWND MainWindow::referenceButton() const { return referenceButton_.handle(); }

// ---------------------------------------------------------------------------
// Creation

bool MainWindow::create(HWND parent)
{
    if (!owner_)
        return false;
    ParameterStore* s = parameterStore();
    auto param = [s](int id) { return s ? s->get(id) : 0; };

    int x = 0;
    int y = 0;
    const int savedX = readSetting(settings_table::nameOf(settings_table::XPos));
    const int savedY = readSetting(settings_table::nameOf(settings_table::YPos));
    placeWindow(savedX, savedY, SIZE{kWidth, kHeight}, x, y);

    if (!createOwnWindow(kExStyle, kStyle, x, y, kWidth, kHeight, kTitle, 0, parent)) {
        if (s)
            s->set(Param::MainWindowHandle, 0);
        return false;
    }
    HWND w = handle_;
    if (s)
        s->set(Param::MainWindowHandle, reinterpret_cast<intptr_t>(w));
    // The menu bar lies above the client area: the window grows by its height.
    SetMenu(w, buildMainMenu());
    SetPropW(w, kMainWindowProperty, reinterpret_cast<HANDLE>(1));
    // Told when the display goes off and on (WM_POWERBROADCAST): the display
    // of this program's session, not the console's, which over Remote
    // Desktop may be dark while the user watches the window.
    displayNotice_ = RegisterPowerSettingNotification(w, &GUID_SESSION_DISPLAY_STATUS,
                                                      DEVICE_NOTIFY_WINDOW_HANDLE);

    // The window now knows the DPI of the monitor it is on: the store's
    // fonts are made for it and the window takes its size there, menu bar
    // included, before any child exists. (Nothing is shown yet.)
    const int dpi = GuiDpi::windowDpi(w);
    dpiChanged(dpi);
    placeWindow(savedX, savedY, outerSize(dpi), x, y);
    const POINT at{x, y};
    frame().fit(w, dpi, &at);

    // Texts that depend on the settings, as they stand now.
    const std::wstring sampleWindow = text::sampleWindowText(
        param(Param::NumSamples), param(Param::SampFrq), param(Param::IntLvl));
    const std::wstring bands = text::bandFrequencyText(
        param(Param::Filter0), param(Param::Filter1), param(Param::Filter2), param(Param::Filter3));
    const auto dbTexts = text::dbScaleTexts(param(Param::DisplayDb));
    const auto frequencyTexts = text::frequencyScaleTexts(param(Param::SampFrq));

    static const wchar_t* const kBandCaptions[3] = {L"Band 1", L"Band 2", L"Band 3"};
    static const wchar_t* const kRowCaptions[3] = {L"Reference dB", L"Analysis dB", L"Difference"};
    static const int kColumns[3] = {76, 126, 176};

    // In the order of the layout; the first failure ends the creation.
    if (!referenceButton_.create(188, 8, 70, 25, L"&Reference", IdReference, w))
        return false;
    if (!analyzeButton_.create(261, 8, 70, 25, L"&Analyze", IdAnalyze, w))
        return false;
    EnableWindow(analyzeButton_.handle(), param(Param::AnalyzeEnabled) != 0);
    enableMenuCommand(w, ID_CMD_ANALYZE, param(Param::AnalyzeEnabled) != 0);
    if (!pauseButton_.create(334, 8, 70, 25, L"&Pause", IdPause, w))
        return false;
    EnableWindow(pauseButton_.handle(), param(Param::PauseEnabled) != 0);
    enableMenuCommand(w, ID_CMD_PAUSE, param(Param::PauseEnabled) != 0);
    if (!lineControlButton_.create(188, 35, 70, 25, L"&Line Control", IdLineControl, w))
        return false;
    if (!recorderButton_.create(261, 35, 70, 25, L"R&ecorder", IdRecorder, w))
        return false;
    if (!configButton_.create(334, 35, 70, 25, L"&Config", IdConfig, w))
        return false;
    if (!defaultsButton_.create(407, 35, 70, 25, L"&Defaults", IdDefaults, w))
        return false;
    // The meter captions reach 4 pixels left of the meters' column: "Reference"
    // is 57 pixels wide at 96 DPI.
    if (!referenceMeterCaption_.create(483, 8, 59, 25, L"Reference", IdReferenceCaption, w))
        return false;
    if (!analysisMeterCaption_.create(483, 35, 59, 25, L"Analyze", IdAnalysisCaption, w))
        return false;
    if (!logo_.create(8, 8, 165, 52, kLogoText, IdLogo, w))
        return false;
    if (!referenceMeter_.create(545, 11, 82, 19, nullptr, IdReferenceMeter, w))
        return false;
    if (!analysisMeter_.create(545, 38, 82, 19, nullptr, IdAnalysisMeter, w))
        return false;
    if (!audioCaption_.create(43, 62, 75, 20, L"Audio", IdAudioCaption, w))
        return false;
    if (!sampleWindowLine_.create(121, 62, 300, 20, sampleWindow.c_str(), IdSampleWindowLine, w))
        return false;
    if (!frequencyCaption_.create(43, 194, 75, 20, L"Frequency", IdFrequencyCaption, w))
        return false;
    // Wide enough for five-digit limits: it reaches the graph's right edge
    // (the progress bar, shown while integrating, lies above its end).
    if (!bandLine_.create(121, 194, 506, 20, bands.c_str(), IdBandLine, w))
        return false;
    if (!dbCaption_.create(5, 306, 15, 20, L"dB", IdDbCaption, w))
        return false;
    for (int i = 0; i < 7; ++i)
        if (!dbScale_[i].create(19, dbLabelTopFor(i, 200), 21, 20, dbTexts[i].c_str(), IdDbScale0 + i, w))
            return false;
    for (int i = 0; i < 5; ++i)
        if (!frequencyScale_[i].create(frequencyLabelLeftFor(i, 584), 418, 80, 20,
                                        frequencyTexts[i].c_str(), IdFrequencyScale0 + i, w))
            return false;
    for (int i = 0; i < 3; ++i)
        if (!bandCaptions_[i].create(86 + 50 * i, 440, 45, 20, kBandCaptions[i],
                                      IdBandCaption0 + i, w))
            return false;
    for (int i = 0; i < 3; ++i)
        if (!rowCaptions_[i].create(8, 462 + 22 * i, 75, 20, kRowCaptions[i], IdRowCaption0 + i, w))
            return false;
    for (int i = 0; i < 3; ++i) {
        if (!referenceReadouts_[i].create(kColumns[i], 462, 45, 20, text::kNoValue,
                                           IdReferenceReadout0 + i, w))
            return false;
        referenceShown_[i] = text::kNoValue;
    }
    for (int i = 0; i < 3; ++i) {
        if (!analysisReadouts_[i].create(kColumns[i], 484, 45, 20, text::kNoValue,
                                          IdAnalysisReadout0 + i, w))
            return false;
        analysisShown_[i] = text::kNoValue;
    }
    for (int i = 0; i < 3; ++i) {
        if (!differenceReadouts_[i].create(kColumns[i], 506, 45, 20, text::kNoValue,
                                            IdDifferenceReadout0 + i, w))
            return false;
        differenceShown_[i] = text::kNoValue;
    }
    // The readouts' left edges reach under the end of the longest row
    // captions ("Reference dB"). Children are stacked in creation order, so
    // the captions lie above the readouts; clipping the readouts by their
    // siblings keeps a readout's background from painting over a caption.
    for (int i = 0; i < 3; ++i)
        for (GuiWindow* readout : {static_cast<GuiWindow*>(&referenceReadouts_[i]),
                                   static_cast<GuiWindow*>(&analysisReadouts_[i]),
                                   static_cast<GuiWindow*>(&differenceReadouts_[i])})
            SetWindowLongW(readout->handle(), GWL_STYLE,
                           GetWindowLongW(readout->handle(), GWL_STYLE) | WS_CLIPSIBLINGS);
    // The band line's end lies under the progress bar: it must not paint
    // over it.
    SetWindowLongW(bandLine_.handle(), GWL_STYLE,
                   GetWindowLongW(bandLine_.handle(), GWL_STYLE) | WS_CLIPSIBLINGS);
    if (!notice_.create(241, 440, 386, 20, text::kNoticeText, IdNotice, w))
        return false;
    rebuildNotice();
    if (!note_.create(241, 462, 386, 64, text::kNoteText, IdNote, w))
        return false;
    progress_.setRange(0, 100);
    if (!progress_.create(477, 194, 150, 20, L"Integrating", IdProgress, w))
        return false;
    if (param(Param::ProgressHidden) != 0)
        ShowWindow(progress_.handle(), SW_HIDE);
    if (!waveform_.create(43, 84, 584, 100, nullptr, IdWaveform, w))
        return false;
    if (!graph_.create(43, 216, 584, 200, nullptr, IdGraph, w))
        return false;

    if (!createMeasurementGroup(w) || !createViewGroup(w))
        return false;
    addButtonTips(w);
    buildSystemMenu();
    fileAccelerators_.reset(LoadAcceleratorsW(instanceHandle(), MAKEINTRESOURCEW(IDR_FILE_ACCELERATORS)));
    addAboutItem(w);  // the last item of the system menu
    loadMicFileAtStart();

    SetFocus(referenceButton());
    anchorChildren();
    created_ = true;
    restoreSize();
    return true;
}

namespace {

BOOL CALLBACK largestWorkAreaOverlap(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto* search = reinterpret_cast<std::pair<RECT, long long>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT overlap;
    if (GetMonitorInfoW(monitor, &info) && IntersectRect(&overlap, &search->first, &info.rcWork)) {
        const long long area = static_cast<long long>(overlap.right - overlap.left) *
                               (overlap.bottom - overlap.top);
        if (area > search->second)
            search->second = area;
    }
    return TRUE;
}

}  // namespace

// The saved place when most of the window lies on the work area of some
// monitor (a monitor left of or above the primary one has negative
// coordinates). Otherwise the window is moved the shortest way into the work
// area of the nearest monitor; with no saved place it is centred on the
// primary monitor's work area.
const GuiDpi::TopLevelFrame& MainWindow::frame()
{
    static const GuiDpi::TopLevelFrame kFrame = [] {
        // The client area of the window as it was without a menu bar; the
        // bar is added around it.
        GuiDpi::TopLevelFrame f =
            GuiDpi::TopLevelFrame::forOuterSizeAt96(kWidth, kHeight, kLayoutStyle, kExStyle);
        f.style = kStyle;
        f.menu = TRUE;
        return f;
    }();
    return kFrame;
}

void MainWindow::rescale(int dpi)
{
    dpiChanged(dpi);
    if (handle_)
        GuiPaintBuffer::rescaleWindow(handle_, dpi, frame(), nullptr);
}

int MainWindow::widgetDpi() { return dpi_; }

void MainWindow::dpiChanged(int dpi)
{
    dpi_ = dpi;
    if (ParameterStore* s = parameterStore())
        s->setDpi(dpi);
}

void MainWindow::placeWindow(int savedX, int savedY, SIZE size, int& x, int& y)
{
    const int kWidth = size.cx;  // the window's size at its DPI
    const int kHeight = size.cy;
    RECT work{0, 0, kWidth, kHeight};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    if (savedX == -1 && savedY == -1) {
        x = work.left + (work.right - work.left - kWidth) / 2;
        y = work.top + (work.bottom - work.top - kHeight) / 2;
        return;
    }
    x = savedX;
    y = savedY;
    std::pair<RECT, long long> search{{x, y, x + kWidth, y + kHeight}, 0};
    EnumDisplayMonitors(nullptr, nullptr, largestWorkAreaOverlap,
                        reinterpret_cast<LPARAM>(&search));
    if (search.second * 2 > static_cast<long long>(kWidth) * kHeight)
        return;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromRect(&search.first, MONITOR_DEFAULTTONEAREST), &info))
        work = info.rcWork;
    auto into = [](int v, int low, int high) { return v > high ? high : (v < low ? low : v); };
    x = into(x, static_cast<int>(work.left), static_cast<int>(work.right) - kWidth);
    y = into(y, static_cast<int>(work.top), static_cast<int>(work.bottom) - kHeight);
    // A work area smaller than the window: its top left corner stays visible.
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
}

// ---------------------------------------------------------------------------
// Messages

LRESULT MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (handleAboutCommand(window, message, wParam))
        return 0;
    LRESULT answer = 0;
    if (paint_.topLevelMessage(window, message, wParam, lParam, *this, frame(), &answer))
        return answer;
    switch (message) {
    case WM_SYSCOMMAND:
        if (fileCommand(static_cast<int>(wParam & 0xFFF0)))
            return 0;
        break;

    case WM_COMMAND: {
        // A disabled window takes no command, whatever route its shortcut
        // took to get here.
        if (!IsWindowEnabled(window))
            break;
        if (fileCommand(LOWORD(wParam)) || viewCommand(LOWORD(wParam)))
            return 0;
        ParameterStore* s = parameterStore();
        int code = 0;
        switch (LOWORD(wParam)) {
        case ID_CMD_REFERENCE:
            code = Code::Reference;
            break;
        case ID_CMD_ANALYZE:
            if (s && s->get(Param::AnalyzeEnabled) != 0)
                code = Code::Analyze;
            break;
        case ID_CMD_PAUSE:
            if (s && s->get(Param::PauseEnabled) != 0)
                code = Code::Pause;
            break;
        case ID_CMD_CONFIG:
            code = Code::Config;
            break;
        case ID_CMD_LINECONTROL:
            code = Code::LineControl;
            break;
        case ID_CMD_RECORDER:
            code = Code::Recorder;
            break;
        case ID_CMD_DEFAULTS:
            code = Code::Defaults;
            break;
        case ID_CMD_MEASURE:
            code = IdMeasure;
            break;
        case ID_CMD_USER_GUIDE:
            openUserGuide(window);
            break;
        case ID_CMD_EXIT:
            PostMessageW(window, WM_CLOSE, 0, 0);
            break;
        case ID_CMD_MARKER_AT_PEAK:
            graph_.addMarkerAtPeak();
            break;
        case ID_CMD_MARKER_LEFT:
        case ID_CMD_MARKER_RIGHT:
            graph_.moveNewestMarker(LOWORD(wParam) == ID_CMD_MARKER_LEFT ? -1 : 1);
            break;
        case ID_CMD_MARKER_REMOVE:
            graph_.removeNewestMarker();
            break;
        case ID_CMD_CLEAR_MARKERS:
            if (s)
                for (int id = Param::Marker1; id <= Param::Marker5; ++id)
                    s->set(id, -1);
            invalidate(graph_);
            break;
        }
        if (code != 0)
            notify(Notification(code));
        break;
    }

    case WM_SIZE:
        relayout();
        break;

    case WM_SIZING: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        const SIZE least = outerSize(dpi_);
        if (r->right - r->left < least.cx)
            r->right = r->left + least.cx;
        if (r->bottom - r->top < least.cy)
            r->bottom = r->top + least.cy;
        return 1;
    }

    case WM_ACTIVATE:
        onActivate(window, wParam);
        return 0;

    case WM_CLOSE:
        if (!confirmClose())
            return 0;
        break;

    case WM_DESTROY:
        onDestroy(window);
        return 0;

    case WM_POWERBROADCAST:
        if (wParam == PBT_POWERSETTINGCHANGE)
            followDisplayState(*reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam));
        return TRUE;

    case WM_TIMER:
        if (wParam == kReadoutTimer) {
            onReadoutTimer();
            return 0;
        }
        break;

    case WM_QX_PARAMETER:
        // The configuration window sees every change before this window acts.
        if (config_ && config_->handle())
            SendMessageW(config_->handle(), message, wParam, lParam);
        onParameter(static_cast<int>(wParam));
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

// A top-level window's default activation puts the focus on the window
// itself, where neither Enter nor Space nor Tab can act. Like a dialog, this
// window remembers which child had the focus when it went inactive and gives
// it back (or to Reference) when it is activated again.
void MainWindow::onActivate(HWND window, WPARAM wParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        lastFocus_ = focus && IsChild(window, focus) ? focus : nullptr;
        return;
    }
    if (HIWORD(wParam) != 0)
        return;  // minimised
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(window, target) || !IsWindowEnabled(target))
        target = referenceButton();
    if (target)
        SetFocus(target);
}

void MainWindow::onDestroy(HWND window)
{
    paint_.release();
    RemovePropW(window, kMainWindowProperty);
    if (displayNotice_)
        UnregisterPowerSettingNotification(displayNotice_);
    displayNotice_ = nullptr;
    if (created_) {
        savePosition(window);
        saveSize(window);
    }
    handle_ = nullptr;
    if (owner_)
        owner_->notify(Notification(Code::MainWindowGone));
    PostQuitMessage(0);
}

// The system menu holds the commands that have no button: Windows shows it
// behind the window's icon and on Alt+Space. Items are appended here, after a
// separator below the standard ones.
void MainWindow::buildSystemMenu()
{
    HMENU menu = GetSystemMenu(handle_, FALSE);
    if (!menu)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, ID_CMD_SAVE_MEASUREMENT, L"&Save Measurement...\tCtrl+S");
    AppendMenuW(menu, MF_STRING, ID_CMD_OPEN_REFERENCE, L"&Open Reference...\tCtrl+O");
    AppendMenuW(menu, MF_STRING, ID_CMD_COPY_READOUTS, L"Copy Rea&douts\tCtrl+C");
    AppendMenuW(menu, MF_STRING, ID_CMD_COPY_PICTURE, L"Copy &Picture\tCtrl+Shift+C");
    AppendMenuW(menu, MF_STRING, ID_CMD_SAVE_PICTURE, L"Save P&icture...\tCtrl+Shift+S");
    AppendMenuW(menu, MF_STRING, ID_CMD_SOUND_DEVICES, L"Microphone and So&und Card...\tCtrl+D");
}

// The window rectangle as it stands; a minimised window is saved where it
// will be restored, so the next start does not open off the screen.
void MainWindow::savePosition(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    if (IsIconic(window)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (GetWindowPlacement(window, &placement)) {
            // Workspace coordinates: relative to the work area.
            RECT work{0, 0, 0, 0};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            r.left = placement.rcNormalPosition.left + work.left;
            r.top = placement.rcNormalPosition.top + work.top;
        }
    }
    writeSetting(settings_table::nameOf(settings_table::XPos), r.left);
    writeSetting(settings_table::nameOf(settings_table::YPos), r.top);
}

void MainWindow::onParameter(int id)
{
    ParameterStore* s = parameterStore();
    if (!s)
        return;
    switch (id) {
    case Param::Dpi:
        // The store's DPI is this window's: laid out at it already when the
        // change came from its own WM_DPICHANGED, else laid out there now.
        if (s->dpi() != dpi_)
            rescale(s->dpi());
        break;
    case Param::RefMeanLevel:
        showMeter(referenceMeter_, meterShown_[0]);
        break;
    case Param::AnaMeanLevel:
        showMeter(analysisMeter_, meterShown_[1]);
        break;
    case Param::NumSamples:
    case Param::SampFrq:
    case Param::IntLvl:
        rebuildSampleWindowLine();
        rebuildFrequencyScale();
        invalidate(logScale_);
        rebuildStatusLine();
        rebuildUnitCaptions(captionRefFaulty_, captionAnaFaulty_);
        break;
    case Param::DisplayDb:
        rebuildDbScale();
        refreshDisplay();
        break;
    case Param::DbDiff:
        refreshDisplay();
        break;
    case Param::IntCount:
        integrationStep();
        break;
    case Param::BackColor:
    case Param::GridColor:
    case Param::RefColor:
    case Param::NoiseColor:
    case Param::ThreshColor:
    case Param::FilterColor:
        invalidate(waveform_);
        invalidate(graph_);
        break;
    case Param::Filter0:
    case Param::Filter1:
    case Param::Filter2:
    case Param::Filter3:
        rebuildBandLine();
        break;
    case Param::AnalyzeEnabled:
        followEnabled(analyzeButton_, s->get(Param::AnalyzeEnabled));
        enableMenuCommand(handle_, ID_CMD_ANALYZE, s->get(Param::AnalyzeEnabled) != 0);
        break;
    case Param::PauseEnabled:
        followEnabled(pauseButton_, s->get(Param::PauseEnabled));
        enableMenuCommand(handle_, ID_CMD_PAUSE, s->get(Param::PauseEnabled) != 0);
        break;
    case Param::ProgressHidden:
        if (HWND p = progress_.handle())
            ShowWindow(p, s->get(Param::ProgressHidden) == 0 ? SW_SHOWNORMAL : SW_HIDE);
        break;
    case Param::DataPresent:
        // A configuration change has discarded the Reference, whatever its origin.
        if (s->get(Param::DataPresent) == 0)
            forgetReferenceSource();
        [[fallthrough]];
    case Param::NewDisplayData:
        updateReadouts();
        rebuildNotice();
        showNow(waveform_);
        showNow(graph_);
        showMeter(referenceMeter_, meterShown_[0]);  // a meter shows nothing without data
        showMeter(analysisMeter_, meterShown_[1]);
        break;
    case Param::SoundErrorStage:
        reportSoundError();
        break;
    case Param::CaptureActive:
        rebuildNotice();
        [[fallthrough]];
    case Param::CalDate:
    case Param::CalSampFrq:
    case Param::CalNumSamples:
    case Param::CalRunning:
    case Param::CalToneHz:
    case Param::ClipCount:
    case Param::Clipping:
    case Param::LostBlocks:
    case Option::DeviceNotice:
    case Option::MicNotice:
        rebuildStatusLine();
        rebuildUnitCaptions(captionRefFaulty_, captionAnaFaulty_);
        break;
    case Param::RefFaults:
    case Param::AnaFaults:
        updateReadouts();
        break;
    case Option::Weighting:
    case Option::BandReading:
    case Option::OverallLevels:
    case Option::Averaging:
    case Option::MaxHoldTrace:
        followLevelOptions();
        break;
    case Option::FrequencyAxis:
    case Option::BandView:
        followViewOptions();
        break;
    default:
        break;
    }
}

void MainWindow::setText(GuiWindow& widget, const wchar_t* newText)
{
    HWND h = widget.handle();
    if (!h)
        return;
    SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(newText));
    showNow(widget);
}

void MainWindow::invalidate(GuiWindow& widget)
{
    if (HWND h = widget.handle())
        InvalidateRect(h, nullptr, FALSE);
}

void MainWindow::showNow(GuiWindow& widget)
{
    HWND h = widget.handle();
    // Nobody sees the widgets of a minimised window or on a display that is
    // off: a long measurement with the window down on the taskbar or the
    // screen dark spends nothing on drawing. The system paints the whole
    // window when it is restored; followDisplayState when the display is on.
    if (h && (displayOff_ || IsIconic(handle_)))
        return;
    if (h && !SendMessageW(h, WM_QX_DRAWNOW, 0, 0))
        InvalidateRect(h, nullptr, FALSE);
}

void MainWindow::followDisplayState(const POWERBROADCAST_SETTING& setting)
{
    if (!IsEqualGUID(setting.PowerSetting, GUID_SESSION_DISPLAY_STATUS) ||
        setting.DataLength < sizeof(DWORD))
        return;
    DWORD state = 0;  // 0 off, 1 on, 2 dimmed
    memcpy(&state, setting.Data, sizeof state);
    const bool wasOff = displayOff_;
    displayOff_ = state == 0;
    if (wasOff && !displayOff_ && handle_)
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainWindow::showMeter(GuiLevelMeter& meter, int& shown)
{
    const int level = meter.level();
    if (level == shown)
        return;
    shown = level;
    showNow(meter);
}

void MainWindow::setReadout(GuiLabel& widget, std::wstring& shown, const std::wstring& newText)
{
    if (!widget.handle() || shown == newText)
        return;
    shown = newText;
    widget.setTextSoon(newText);
    if (std::find(readoutsToDraw_.begin(), readoutsToDraw_.end(), &widget) == readoutsToDraw_.end())
        readoutsToDraw_.push_back(&widget);
    drawReadoutsSoon();
}

void MainWindow::drawReadoutsSoon()
{
    if (readoutsToDraw_.empty() || readoutTimer_)
        return;
    // Always through the timer, even when the period is over: the readouts
    // whose text the same update changes after this one are drawn with it,
    // not a period later.
    const ULONGLONG since = GetTickCount64() - readoutsDrawn_;
    const UINT wait = since >= kReadoutPeriodMs ? 0 : static_cast<UINT>(kReadoutPeriodMs - since);
    readoutTimer_ = handle_ && SetTimer(handle_, kReadoutTimer, wait, nullptr) != 0;
    readoutTimerSteady_ = false;
    if (!readoutTimer_)
        drawReadoutsNow();
}

void MainWindow::onReadoutTimer()
{
    if (!readoutTimer_)
        return;  // a tick of a timer killed since
    if (readoutsToDraw_.empty()) {
        // Nothing changed for a whole period: the timer rests until a
        // readout changes again.
        KillTimer(handle_, kReadoutTimer);
        readoutTimer_ = false;
        return;
    }
    // While the readouts keep changing (a measurement runs) the timer keeps
    // ticking once a period, rather than being set and killed each time.
    if (!readoutTimerSteady_)
        readoutTimerSteady_ = SetTimer(handle_, kReadoutTimer, kReadoutPeriodMs, nullptr) != 0;
    drawReadoutsNow();
}

void MainWindow::drawReadoutsNow()
{
    readoutsDrawn_ = GetTickCount64();
    // Drawing sets no readout's text: the list does not change meanwhile.
    for (GuiLabel* widget : readoutsToDraw_) {
        widget->settleText();
        showNow(*widget);
    }
    readoutsToDraw_.clear();
}

void MainWindow::rebuildSampleWindowLine()
{
    ParameterStore* s = parameterStore();
    const std::wstring line = text::sampleWindowText(s->get(Param::NumSamples),
                                                     s->get(Param::SampFrq), s->get(Param::IntLvl));
    setText(sampleWindowLine_, line.c_str());
}

void MainWindow::rebuildFrequencyScale()
{
    const auto texts = text::frequencyScaleTexts(parameterStore()->get(Param::SampFrq));
    // The first label reads "0 kHz" at every rate and is left alone.
    for (int i = 1; i < 5; ++i)
        setText(frequencyScale_[i], texts[i].c_str());
}

void MainWindow::rebuildDbScale()
{
    const auto texts = text::dbScaleTexts(parameterStore()->get(Param::DisplayDb));
    for (int i = 0; i < 7; ++i)
        setText(dbScale_[i], texts[i].c_str());
}

void MainWindow::rebuildBandLine()
{
    ParameterStore* s = parameterStore();
    const std::wstring line = text::bandFrequencyText(
        s->get(Param::Filter0), s->get(Param::Filter1), s->get(Param::Filter2), s->get(Param::Filter3));
    setText(bandLine_, line.c_str());
}

// A display setting changed: the graph and the readouts show the newest
// measurement again in the new range and colours, also while paused.
void MainWindow::refreshDisplay()
{
    invalidate(graph_);
    updateReadouts();
}

void MainWindow::integrationStep()
{
    ParameterStore* s = parameterStore();
    if (s->get(Param::IntCount) < s->get(Param::IntLvl)) {
        invalidate(progress_);
        return;
    }
    // Complete: hide the progress and, while capture runs, offer Analyze. Both
    // writes come back as their own parameter messages. A Leq's progress
    // stays: it shows the Leq's time.
    if (s->get(Option::Averaging) != AveragingKind::Linear)
        s->set(Param::ProgressHidden, 1);
    if (s->get(Param::CaptureActive) != 0)
        s->set(Param::AnalyzeEnabled, 1);
}

// Enables or disables a button. A disabled window cannot keep the focus, and
// Windows would leave it nowhere: it goes to Reference instead, so Enter,
// Space and Tab keep working from the keyboard.
void MainWindow::followEnabled(GuiButton& button, int enabled)
{
    HWND h = button.handle();
    if (!h)
        return;
    if (enabled) {
        EnableWindow(h, TRUE);
        return;
    }
    const HWND focusBefore = GetFocus();
    EnableWindow(h, FALSE);
    // "Nowhere" counts only while this window is the active one: a window in
    // the background does not take the focus from another program.
    const bool active = handle_ && GetActiveWindow() == handle_;
    if (focusBefore == h || (active && GetFocus() == nullptr))
        SetFocus(referenceButton());
}

void MainWindow::reportSoundError()
{
    ParameterStore* s = parameterStore();
    const int stage = s->get(Param::SoundErrorStage);
    if (stage == 0)
        return;  // also the echo of the reset below
    const int code = s->get(Param::SoundErrorCode);
    s->set(Param::SoundErrorStage, 0);
    const std::wstring caption = text::soundErrorCaption(stage);
    const std::wstring body = text::soundErrorText(stage, code) + deviceFailureNote(*s, stage);
    MessageBoxW(handle_, body.c_str(), caption.c_str(), MB_ICONWARNING | MB_OK);
}

// Nothing measured, or the measurement discarded by a change of the
// sampling settings or bands: no readout keeps a number of it, and copying
// the readouts carries none.
void MainWindow::clearReadouts()
{
    for (int i = 0; i < 3; ++i) {
        setReadout(referenceReadouts_[i], referenceShown_[i], text::kNoValue);
        setReadout(analysisReadouts_[i], analysisShown_[i], text::kNoValue);
        differenceReadouts_[i].setBelowThreshold(0);
        setReadout(differenceReadouts_[i], differenceShown_[i], text::kNoValue);
        setReadout(sourceReadouts_[i], sourceShown_[i], text::kNoValue);
    }
    captionRefFaulty_ = false;
    captionAnaFaulty_ = false;
    rebuildUnitCaptions(false, false);
}

// Until something is measured the notice line says what to press first.
void MainWindow::rebuildNotice()
{
    ParameterStore* s = parameterStore();
    if (!s)
        return;
    const bool nothing = s->get(Param::DataPresent) == 0 && s->get(Param::CaptureActive) == 0;
    setReadout(notice_, noticeShown_,
               nothing ? text::kStartHint
                       : (overallShownLayout_ ? text::kNoticeTextShort : text::kNoticeText));
}

// A recording device that delivers nothing but zeros (muted, unplugged,
// or kept from the program by the privacy settings) for a second while a
// measurement runs: the status line says "No signal" until a block carries
// sound again or the measurement stops.
void MainWindow::watchSignal(const DisplayBuffer& newest, bool analysis)
{
    ParameterStore* s = parameterStore();
    int n = s->get(Param::NumSamples);
    n = n > MaxSamples ? MaxSamples : n;
    const float* samples = newest.set[analysis ? 1 : 0].samples;
    bool silent = n > 0;
    for (int i = 0; i < n && silent; ++i)
        silent = samples[i] == 0.0f;
    const ULONGLONG now = GetTickCount64();
    if (!silent)
        silentSince_ = 0;
    else if (silentSince_ == 0)
        silentSince_ = now;
    const bool noSignal = silentSince_ != 0 && now - silentSince_ >= 1000;
    if (noSignal != noSignal_) {
        noSignal_ = noSignal;
        rebuildStatusLine();
    }
}

void MainWindow::updateReadouts()
{
    ParameterStore* s = parameterStore();
    if (!s)
        return;
    if (s->get(Param::DataPresent) == 0) {
        clearReadouts();
        return;
    }
    const int index = s->acquireLatestDisplayBuffer();
    if (index == -1)
        return;
    const bool noAnalysis = s->get(Param::RefMode) != 0;
    if (s->get(Param::CaptureActive) != 0)
        watchSignal(s->displayBuffers()[index], !noAnalysis);
    const Readings* readings = s->pointer<const Readings*>(Param::Readings);
    // The band readouts show the means of the dB bins or the band totals;
    // the source level, an energy difference, always takes the totals.
    const bool totals = readings && s->get(Option::BandReading) != 0;
    const float* ref = totals ? readings->half[0].bandTotal
                              : s->pointer<const float*>(Param::RefBandLevels);
    const float* ana = totals ? readings->half[1].bandTotal
                              : s->pointer<const float*>(Param::AnaBandLevels);
    const float* refTotal = readings ? readings->half[0].bandTotal : ref;
    const float* anaTotal = readings ? readings->half[1].bandTotal : ana;
    const int threshold = s->get(Param::DbDiff);
    // A measurement that clipped or lost blocks has its row captions marked
    // with "*" (the readouts keep their plain numbers).
    const bool refFaulty = s->get(Param::RefFaults) != 0;
    const bool anaFaulty = refFaulty || s->get(Param::AnaFaults) != 0;
    for (int i = 0; i < 3; ++i) {
        if (ref)
            setReadout(referenceReadouts_[i], referenceShown_[i], text::readoutText(ref[i]));
        if (noAnalysis) {
            setReadout(analysisReadouts_[i], analysisShown_[i], std::wstring());
            setReadout(differenceReadouts_[i], differenceShown_[i], std::wstring());
            setReadout(sourceReadouts_[i], sourceShown_[i], std::wstring());
            continue;
        }
        if (!ref || !ana)
            continue;
        setReadout(analysisReadouts_[i], analysisShown_[i], text::readoutText(ana[i]));
        const int d = text::readoutTenths(ana[i] - ref[i]);
        differenceReadouts_[i].setBelowThreshold(d < threshold ? 1 : 0);
        setReadout(differenceReadouts_[i], differenceShown_[i], text::tenthsText(d));
        const SourceLevel source = sourceLevel(refTotal[i], anaTotal[i]);
        setReadout(sourceReadouts_[i], sourceShown_[i],
                   source.validity == SourceValidity::BelowBackground
                       ? std::wstring(L"< bg")
                       : sourceLevelText(source));
    }
    updateLevelReadouts(readings, noAnalysis);
    captionRefFaulty_ = refFaulty;
    captionAnaFaulty_ = anaFaulty && !noAnalysis;
    rebuildUnitCaptions(captionRefFaulty_, captionAnaFaulty_);
    s->releaseDisplayBuffers();
}

// ---------------------------------------------------------------------------
// Commands

const GuiButton* MainWindow::buttonForCommand(int code) const
{
    switch (code) {
    case Code::Reference:
        return &referenceButton_;
    case Code::Analyze:
        return &analyzeButton_;
    case Code::Pause:
        return &pauseButton_;
    case Code::Config:
        return &configButton_;
    case Code::LineControl:
        return &lineControlButton_;
    case Code::Recorder:
        return &recorderButton_;
    case Code::Defaults:
        return &defaultsButton_;
    }
    return nullptr;
}

int MainWindow::notify(const Notification& n)
{
    if (!parameterStore())
        return 0;
    switch (n.code()) {
    case Code::Config:
        openConfigWindow();
        return 0;
    case IdMeasure:
        openMeasurementDialog();
        return 0;
    case GuiSpectrumGraph::kMarkerReplaced:
        setReadout(notice_, noticeShown_, text::kMarkerReplaced);
        return 0;
    case Code::ConfigClosed:
        if (handle_) {
            InvalidateRect(handle_, nullptr, TRUE);
            EnableWindow(handle_, TRUE);
            SetFocus(referenceButton());
        }
        return 0;
    case Code::Reference:
        forgetReferenceSource();  // a measured Reference replaces the file's
        return owner_ ? owner_->notify(n) : 0;
    default:
        return owner_ ? owner_->notify(n) : 0;
    }
}

BOOL MainWindow::preTranslate(MSG* message)
{
    if (config_ && config_->preTranslate(message))
        return 1;
    // The file commands' keys (Ctrl+C among them) belong to this window only
    // while no configuration window, with its edit fields, is open.
    const bool configOpen = config_ && config_->handle();
    if (fileAccelerators_ && handle_ && !configOpen && IsWindowEnabled(handle_) &&
        TranslateAcceleratorW(handle_, fileAccelerators_.get(), message))
        return 1;
    // Alt+M: the Measurement dialog (the accelerator table has the seven
    // buttons of the original layout).
    if (message->message == WM_SYSKEYDOWN && message->wParam == 'M' && handle_ &&
        IsWindowEnabled(handle_) &&
        (message->lParam & (1 << 29)) && !(message->lParam & (1 << 30))) {
        notify(Notification(IdMeasure));
        return 1;
    }
    if (message->message == WM_KEYDOWN &&
        (message->wParam == VK_RETURN || message->wParam == VK_SPACE) && measureButton_.handle() &&
        GetFocus() == measureButton_.handle()) {
        if (!(message->lParam & (1 << 30)))
            notify(Notification(IdMeasure));
        return 1;
    }
    if (message->message == WM_KEYDOWN &&
        (message->wParam == VK_RETURN || message->wParam == VK_SPACE)) {
        // Held down, the key repeats; a button acts once per press.
        const bool repeat = (message->lParam & (1 << 30)) != 0;
        const HWND focus = GetFocus();
        static const int kCodes[] = {Code::Reference, Code::Analyze,     Code::Pause,
                                     Code::Config,    Code::LineControl, Code::Recorder,
                                     Code::Defaults};
        for (int code : kCodes) {
            const GuiButton* b = buttonForCommand(code);
            if (focus && b->handle() == focus) {
                if (!repeat)
                    notify(Notification(code));
                break;
            }
        }
        return 1;
    }
    return handle_ ? IsDialogMessageW(handle_, message) : 0;
}

// Settings applied in the Configuration window but not saved would be lost
// with the program: the user decides (Yes saves them, No closes without,
// Cancel keeps the program open).
bool MainWindow::confirmClose()
{
    ParameterStore* s = parameterStore();
    if (!s || !configUsed_ || !IsWindowEnabled(handle_) || unsavedSettings(*s).empty())
        return true;
    const int answer = MessageBoxW(
        handle_,
        L"Settings were applied in the Configuration window but not saved. Without saving, "
        L"the next start uses the saved ones again.\n\nSave the applied settings now?",
        L"Settings Not Saved", MB_ICONQUESTION | MB_YESNOCANCEL);
    if (answer == IDCANCEL)
        return false;
    if (answer == IDYES && !saveSettings(*s, settings_table::Writer::Save)) {
        MessageBoxW(handle_, L"The settings could not be saved in the registry.",
                    L"Settings Not Saved", MB_ICONWARNING | MB_OK);
        return false;
    }
    return true;
}

void MainWindow::openConfigWindow()
{
    configUsed_ = true;
    if (config_) {
        if (HWND old = config_->handle())
            DestroyWindow(old);  // its 205 re-enables this window first
        config_.reset();
    }
    config_ = std::make_unique<ConfigWindow>(static_cast<GuiOwner*>(this));
    if (!config_->create(handle_)) {
        const std::wstring message =
            L"Unable to open configuration window; " + systemErrorText(GetLastError());
        MessageBoxW(nullptr, message.c_str(), L"Error", MB_ICONWARNING);
        return;
    }
    HWND c = config_->handle();
    if (!c || !handle_)
        return;
    RECT cr, mr;
    GetWindowRect(c, &cr);
    GetWindowRect(handle_, &mr);
    const int w = cr.right - cr.left;
    const int h = cr.bottom - cr.top;
    const int x = mr.left + ((mr.right - mr.left) - w) / 2;
    const int y = mr.top + ((mr.bottom - mr.top) - h) / 2;
    MoveWindow(c, x, y, w, h, FALSE);
    ShowWindow(c, SW_SHOWNORMAL);
    EnableWindow(handle_, FALSE);
    UpdateWindow(c);
}

// ---------------------------------------------------------------------------
// The measurement group

bool MainWindow::createMeasurementGroup(HWND w)
{
    // The free places of the layout: the end of the first button row, the
    // end of the sample-window line and the row under the readouts.
    if (!measureButton_.create(407, 8, 70, 25, L"&Measure...", IdMeasure, w))
        return false;
    if (!statusLine_.create(424, 62, 203, 20, L"", IdStatusLine, w))
        return false;
    statusLine_.setBelowThreshold(1);  // the warning colour
    if (!sourceCaption_.create(8, 528, 75, 18, L"Source dB", IdSourceCaption, w))
        return false;
    static const int kColumns[3] = {76, 126, 176};
    for (int i = 0; i < 3; ++i) {
        if (!sourceReadouts_[i].create(kColumns[i], 528, 45, 18, text::kNoValue,
                                        IdSourceReadout0 + i, w))
            return false;
        sourceShown_[i] = text::kNoValue;
        SetWindowLongW(sourceReadouts_[i].handle(), GWL_STYLE,
                       GetWindowLongW(sourceReadouts_[i].handle(), GWL_STYLE) | WS_CLIPSIBLINGS);
    }
    if (!createLevelsGroup(w))
        return false;
    // Shown only with something to say: the default window looks as before.
    rebuildStatusLine();
    rebuildUnitCaptions(false, false);
    return true;
}

void MainWindow::rebuildStatusLine()
{
    ParameterStore* s = parameterStore();
    HWND h = statusLine_.handle();
    if (!s || !h)
        return;
    if (s->get(Param::CaptureActive) == 0) {
        noSignal_ = false;  // nothing is recorded now
        silentSince_ = 0;
    }
    std::wstring line = withDeviceNotices(
        *s,
        statusText(s->get(Param::Clipping), s->get(Param::ClipCount), s->get(Param::LostBlocks),
                   calibrationState(*s),
                   // A calibration that a Pause cut short is not running.
                   s->get(Param::CalRunning) != 0 && s->get(Param::CaptureActive) != 0,
                   s->get(Param::CalToneHz), s->get(Param::CalLevel)));
    const std::wstring narrow = narrowBandsNote();
    if (!narrow.empty())
        line = line.empty() ? narrow : line + L"  " + narrow;
    if (noSignal_)
        line = line.empty() ? text::kNoSignal : text::kNoSignal + (L"  " + line);
    if (line != statusShown_) {
        statusShown_ = line;
        setText(statusLine_, line.c_str());
    }
    ShowWindow(h, line.empty() ? SW_HIDE : SW_SHOWNA);
}

void MainWindow::rebuildUnitCaptions(bool refFaulty, bool anaFaulty)
{
    ParameterStore* s = parameterStore();
    if (!s || !rowCaptions_[0].handle())
        return;
    // A stale calibration was made at other sampling settings: its levels
    // are no sound pressure levels at these.
    const bool spl = calibrationState(*s) == CalibrationState::Valid;
    const int weighting = s->get(Option::Weighting);
    const int reading = s->get(Option::BandReading);
    const std::wstring key = std::wstring(spl ? L"S" : L"d") + (refFaulty ? L"r" : L"-") +
                             (anaFaulty ? L"a" : L"-") + std::to_wstring(weighting) +
                             std::to_wstring(reading);
    if (key == unitShown_)
        return;
    const bool first = unitShown_.empty();
    unitShown_ = key;
    if (first && key == L"d--00")
        return;  // the captions of the layout already say so
    const text::LevelCaptions c = text::levelCaptions(spl, weighting, reading);
    setText(rowCaptions_[0], markedText(c.reference, refFaulty).c_str());
    setText(rowCaptions_[1], markedText(c.analysis, anaFaulty).c_str());
    setText(rowCaptions_[2], markedText(L"Difference", anaFaulty).c_str());
    setText(sourceCaption_, markedText(c.source, anaFaulty).c_str());
    setText(unitCaption_, c.unit.c_str());
    if (HWND u = unitCaption_.handle())
        ShowWindow(u, c.unit.empty() ? SW_HIDE : SW_SHOWNA);
    // "dB" beside the scale; anything longer ("dB SPL", "dB(A)") stands
    // upright in the free column left of the scale, along the graph's height.
    const bool upright = c.axis != L"dB";
    setText(dbCaption_, c.axis.c_str());
    dbCaption_.setUpright(upright);
    placeDbCaption(upright);
}

// A sentence for each button, shown when the pointer rests on it.
void MainWindow::addButtonTips(HWND w)
{
    HWND tips = GuiTips::create(w);
    const std::pair<const GuiButton*, const wchar_t*> kTips[] = {
        {&referenceButton_, L"Measure the background first: the Reference."},
        {&analyzeButton_, L"Measure with the sound on and compare it with the Reference."},
        {&pauseButton_, L"Hold the picture and the numbers. Analyze goes on."},
        {&lineControlButton_, L"Open the Windows volume mixer."},
        {&recorderButton_, L"Stop measuring and open the Windows recording devices."},
        {&configButton_, L"Sampling, bands, threshold, display range and colours."},
        {&defaultsButton_, L"Use the factory settings again (not saved until you Save)."},
        {&measureButton_, L"Window function and calibration."},
    };
    for (const auto& t : kTips)
        GuiTips::add(tips, t.first->handle(), t.second);
}

void MainWindow::openMeasurementDialog()
{
    ParameterStore* s = parameterStore();
    if (!s || !handle_)
        return;
    const int calState = calibrationState(*s);
    const std::wstring micName = s->micResponse().name();
    const std::wstring line =
        calibrationText(calState, s->get(Param::CalOffset), s->get(Param::CalDate)) +
        (micName.empty() ? L"" : L"\nMicrophone file: " + micName);
    MeasurementChoice current;
    current.window = s->get(Param::WindowFunction);
    current.calibratorLevel = s->get(Param::CalLevel);
    current.weighting = s->get(Option::Weighting);
    current.bandReading = s->get(Option::BandReading);
    current.averaging = s->get(Option::Averaging);
    current.leqMinutes = s->get(Option::LeqMinutes);
    current.holdComplete = s->get(Option::HoldComplete);
    current.maxHold = s->get(Option::MaxHoldTrace);
    current.overallLevels = s->get(Option::OverallLevels);
    const MeasurementChoice c = runMeasurementDialog(handle_, current, line.c_str(),
                                                     calState != CalibrationState::None);
    SetFocus(measureButton_.handle());
    if (c.action == MeasurementChoice::Cancel)
        return;
    if (c.window != s->get(Param::WindowFunction)) {
        // The integration must not mix windows: stop the measurement first,
        // as a change of the sampling settings does.
        if (s->get(Param::CaptureActive) != 0)
            owner_->notify(Notification(Code::Apply));
        s->set(Param::WindowFunction, c.window);
    }
    if (c.weighting != current.weighting || c.averaging != current.averaging ||
        (c.averaging == AveragingKind::Linear && c.leqMinutes != current.leqMinutes)) {
        // A measurement under another weighting or average is not one of
        // these: it is taken anew, as after a change of the sampling settings.
        if (s->get(Param::CaptureActive) != 0 || s->get(Param::DataPresent) != 0)
            owner_->notify(Notification(Code::Apply));
    }
    s->set(Option::Weighting, c.weighting);
    s->set(Option::BandReading, c.bandReading);
    s->set(Option::Averaging, c.averaging);
    s->set(Option::LeqMinutes, c.leqMinutes);
    s->set(Option::HoldComplete, c.holdComplete);
    s->set(Option::MaxHoldTrace, c.maxHold);
    s->set(Option::OverallLevels, c.overallLevels);
    s->set(Param::CalLevel, c.calibratorLevel);
    saveSettings(*s, settings_table::Writer::Measurement);
    if (c.action == MeasurementChoice::Clear) {
        // The calibration's day and offset only: its sampling settings stay
        // as the registry holds them.
        s->set(Param::CalDate, 0);
        s->set(Param::CalOffset, 0);
        writeSetting(settings_table::nameOf(settings_table::CalDate), 0);
        writeSetting(settings_table::nameOf(settings_table::CalOffset), 0);
    } else if (c.action == MeasurementChoice::Calibrate) {
        owner_->notify(Notification(Code::Calibrate));
    }
}
