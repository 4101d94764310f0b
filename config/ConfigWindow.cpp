// The configuration window: layout, keyboard, apply, save, defaults and the
// colour fields (ConfigWindow.h says how it works).
#include "config/ConfigWindow.h"

#include <commdlg.h>

#include <string>

#include "foundation/ParameterStore.h"
#include "foundation/ConfigText.h"
#include "foundation/SettingsTable.h"
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiDpi.h"
#include "gui/GuiLabels.h"
#include "gui/GuiTips.h"

using config_text::ThresholdState;

namespace {

// DrawTextW formats of the labels.
constexpr int kLeft = DT_SINGLELINE | DT_VCENTER;                // 36
constexpr int kBottomCentre = DT_SINGLELINE | DT_BOTTOM | DT_CENTER;  // 41
constexpr int kRight = DT_SINGLELINE | DT_VCENTER | DT_RIGHT;    // 38

// Edit styles: band limits take digits only; the threshold any text, which
// the window filters itself.
constexpr DWORD kDigitsStyle = ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER;  // 0x2082
constexpr DWORD kTextStyle = ES_RIGHT | ES_AUTOHSCROLL;                // 0x82
constexpr int kFieldLimit = 5;
// EM_GETLINE reads at most this many characters.
constexpr int kReadLimit = 9;

// The window's size at 96 DPI. At another DPI its client area is the 96-DPI
// one scaled, and the frame is the one of that DPI.
constexpr int kWindowWidth = 315;
constexpr int kWindowHeight = 613;
constexpr DWORD kWindowStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

const GuiDpi::TopLevelFrame& frame()
{
    static const GuiDpi::TopLevelFrame kFrame =
        GuiDpi::TopLevelFrame::forOuterSizeAt96(kWindowWidth, kWindowHeight, kWindowStyle, 0);
    return kFrame;
}

// Control ids.
enum : int {
    IdSamplingHeading = 101,
    IdFrequencyLabel = 102,
    IdFrequencyList = 103,
    IdSamplesLabel = 104,
    IdSamplesList = 105,
    IdLevelLabel = 106,
    IdLevelList = 107,
    IdSeparator = 108,  // shared by the separators and the "Bands" heading
    IdBandLabel1 = 109,
    IdBandDiagram = 112,
    IdBandField0 = 113,
    IdDecibelsHeading = 117,
    IdThresholdLabel = 118,
    IdThresholdField = 119,
    IdRangeLabel = 120,
    IdRangeList = 121,
    IdColoursHeading = 122,
    IdColourLabel0 = 123,  // labels 123, 125, ..; swatches 124, 126, ..
    IdApply = 135,
    IdSave = 136,
    IdDefaults = 137,
    IdOkay = 138,
    IdCancel = 139,
    IdSampleWindowLine = 144,
};

// The lists' entries and the factory values that Defaults puts into the
// controls come from the settings table.
using ListEntry = settings_table::Choice;
using settings_table::factoryValue;

const wchar_t* const kColourCaptions[ConfigWindow::kColours] = {
    L"Background", L"Grid Lines", L"Reference", L"Analysis", L"Threshold", L"Bands"};

// Empties the list, adds every entry with its value as item data and selects
// the entry whose value is current (none when no entry matches).
void fillList(HWND list, const ListEntry* entries, int count, int current)
{
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        const LRESULT index =
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].caption));
        if (index >= 0)
            SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), entries[i].value);
        if (entries[i].value == current)
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

template <size_t N>
void fillList(HWND list, const ListEntry (&entries)[N], int current)
{
    fillList(list, entries, static_cast<int>(N), current);
}

// Selects the first entry whose item data is value; a list without such an
// entry keeps its selection.
void selectValue(HWND list, int value)
{
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == value) {
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

void setText(HWND window, const std::wstring& text)
{
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

BOOL CALLBACK invalidateWithErase(HWND child, LPARAM)
{
    InvalidateRect(child, nullptr, TRUE);
    return TRUE;
}

bool isColourParameter(WPARAM id)
{
    return (id >= Param::BackColor && id <= Param::FilterColor) ||
           (id >= Param::BackBrush && id <= Param::FilterPen);
}

}  // namespace

ConfigWindow::ConfigWindow(GuiOwner* owner)
    : GuiWindow(owner),
      samplingHeading_(this, kLeft),
      frequencyLabel_(this, kLeft),
      samplesLabel_(this, kLeft),
      levelLabel_(this, kLeft),
      frequencyList_(this, ConfigCode::FrequencyList),
      samplesList_(this, ConfigCode::SamplesList),
      levelList_(this, ConfigCode::LevelList),
      bandsHeading_(this, kLeft),
      bandLabels_{{this, kBottomCentre}, {this, kBottomCentre}, {this, kBottomCentre}},
      bandDiagram_(this),
      bandFields_{{this, ConfigCode::BandField0, kDigitsStyle, kFieldLimit},
                  {this, ConfigCode::BandField0 + 1, kDigitsStyle, kFieldLimit},
                  {this, ConfigCode::BandField0 + 2, kDigitsStyle, kFieldLimit},
                  {this, ConfigCode::BandField0 + 3, kDigitsStyle, kFieldLimit}},
      decibelsHeading_(this, kLeft),
      thresholdLabel_(this, kLeft),
      rangeLabel_(this, kLeft),
      thresholdField_(this, ConfigCode::ThresholdField, kTextStyle, kFieldLimit),
      rangeList_(this, ConfigCode::RangeList),
      coloursHeading_(this, kLeft),
      colourLabels_{{this, kLeft}, {this, kLeft}, {this, kLeft}, {this, kLeft}, {this, kLeft}, {this, kLeft}},
      swatches_{{this, ConfigCode::Swatch0},     {this, ConfigCode::Swatch0 + 1},
                {this, ConfigCode::Swatch0 + 2}, {this, ConfigCode::Swatch0 + 3},
                {this, ConfigCode::Swatch0 + 4}, {this, ConfigCode::Swatch0 + 5}},
      applyButton_(this, ConfigCode::Apply),
      saveButton_(this, ConfigCode::Save),
      defaultsButton_(this, ConfigCode::Defaults),
      okayButton_(this, ConfigCode::Okay),
      cancelButton_(this, ConfigCode::Cancel),
      separators_{GuiPanel(this), GuiPanel(this), GuiPanel(this), GuiPanel(this)},
      sampleWindowLine_(this, kRight)
{
    static_assert(kColours == 6, "one label and one swatch per colour");
    sampleWindowLine_.setRightInset(3);  // the "c" of "sec" overhangs its extent
}

ConfigWindow::~ConfigWindow()
{
    if (handle_ && IsWindow(handle_)) {
        // Taken down with its object: nobody is told, the owner is going.
        owner_ = nullptr;
        DestroyWindow(handle_);
    }
    deleteBrushes();
}

ParameterStore* ConfigWindow::parameterStore()
{
    return owner_ ? owner_->parameterStore() : nullptr;
}

int ConfigWindow::widgetDpi()
{
    return dpi_;
}

void ConfigWindow::dpiChanged(int dpi)
{
    dpi_ = dpi;
}

HINSTANCE ConfigWindow::instanceHandle()
{
    return owner_ ? owner_->instanceHandle() : nullptr;
}

HDC ConfigWindow::paintBuffer()
{
    return paint_.dc();
}

GuiSpans::Picture ConfigWindow::paintPixels()
{
    return paint_.pixels();
}

bool ConfigWindow::create(HWND parent)
{
    if (!owner_)
        return false;
    // Made at the owner's top left, on the owner's monitor and at its DPI;
    // the owner then centres it.
    RECT over{};
    if (parent)
        GetWindowRect(parent, &over);
    HWND window = CreateWindowExW(0, kGuiWindowClass, L"Configuration", kWindowStyle, over.left,
                                  over.top, kWindowWidth, kWindowHeight, parent, nullptr,
                                  owner_->instanceHandle(), static_cast<GuiWindow*>(this));
    if (!window)
        return false;
    handle_ = window;
    parent_ = parent;
    ParameterStore* store = parameterStore();
    auto param = [store](int id) { return store ? store->get(id) : 0; };
    HWND w = window;
    // Laid out at the DPI of the monitor it is on; WM_DPICHANGED follows
    // when it is moved to another.
    dpi_ = GuiDpi::windowDpi(w);
    if (dpi_ != GuiDpi::kBase)
        frame().fit(w, dpi_, nullptr);

    // The controls in the order of the window's reading and tabbing order.
    if (!samplingHeading_.create(8, 8, 100, 20, L"Sampling", IdSamplingHeading, w))
        return false;
    if (!frequencyLabel_.create(70, 31, 110, 21, L"Frequency", IdFrequencyLabel, w))
        return false;
    if (!frequencyList_.create(183, 31, 120, 21, nullptr, IdFrequencyList, w))
        return false;
    fillList(frequencyList_.handle(), settings_table::kRates, param(Param::SampFrq));
    if (!samplesLabel_.create(70, 54, 110, 21, L"Number of Samples", IdSamplesLabel, w))
        return false;
    if (!samplesList_.create(183, 54, 120, 21, nullptr, IdSamplesList, w))
        return false;
    fillList(samplesList_.handle(), settings_table::kSizes, param(Param::NumSamples));
    if (!levelLabel_.create(70, 77, 110, 21, L"Integration Level", IdLevelLabel, w))
        return false;
    if (!levelList_.create(183, 77, 120, 21, nullptr, IdLevelList, w))
        return false;
    fillList(levelList_.handle(), settings_table::kLevels, param(Param::IntLvl));
    if (!separators_[0].create(8, 135, 295, 2, nullptr, IdSeparator, w))
        return false;

    if (!decibelsHeading_.create(8, 147, 100, 20, L"Decibels", IdDecibelsHeading, w))
        return false;
    if (!thresholdLabel_.create(70, 170, 110, 21, L"Threshold", IdThresholdLabel, w))
        return false;
    if (!thresholdField_.create(183, 172, 120, 20, nullptr, IdThresholdField, w))
        return false;
    setText(thresholdField_.handle(), config_text::tenthsText(param(Param::DbDiff)));
    if (!rangeLabel_.create(70, 193, 110, 21, L"Display Range", IdRangeLabel, w))
        return false;
    if (!rangeList_.create(183, 193, 120, 21, nullptr, IdRangeList, w))
        return false;
    fillList(rangeList_.handle(), settings_table::kRanges, param(Param::DisplayDb));
    if (!separators_[1].create(8, 224, 295, 2, nullptr, IdSeparator, w))
        return false;

    if (!coloursHeading_.create(8, 236, 110, 21, L"Display Colors", IdColoursHeading, w))
        return false;
    for (int i = 0; i < kColours; ++i) {
        const int y = 259 + 23 * i;
        if (!colourLabels_[i].create(70, y, 110, 21, kColourCaptions[i], IdColourLabel0 + 2 * i,
                                      w))
            return false;
        if (!swatches_[i].create(183, y, 120, 21, nullptr, IdColourLabel0 + 2 * i + 1, w))
            return false;
    }
    if (!separators_[2].create(8, 405, 295, 2, nullptr, IdSeparator, w))
        return false;

    if (!bandsHeading_.create(8, 417, 100, 20, L"Bands", IdSeparator, w))
        return false;
    static const int kBandLabelX[3] = {47, 125, 204};
    static const wchar_t* const kBandCaptions[3] = {L"Band 1", L"Band 2", L"Band 3"};
    for (int k = 0; k < 3; ++k) {
        if (!bandLabels_[k].create(kBandLabelX[k], 439, 60, 20, kBandCaptions[k],
                                    IdBandLabel1 + k, w))
            return false;
    }
    // The diagram runs the whole width of the client area, 311 pixels at the
    // most (the frame takes a few of the window's 315).
    RECT client{};
    GetClientRect(w, &client);
    const int clientWidth = MulDiv(client.right, GuiDpi::kBase, dpi_);
    if (!bandDiagram_.create(0, 461, clientWidth < 311 ? clientWidth : 311, 10, nullptr,
                              IdBandDiagram, w))
        return false;
    static const int kBandFieldX[4] = {8, 86, 165, 243};
    for (int k = 0; k < 4; ++k) {
        if (!bandFields_[k].create(kBandFieldX[k], 473, 60, 20, nullptr, IdBandField0 + k, w))
            return false;
        setText(bandFields_[k].handle(), config_text::wholeText(param(Param::Filter0 + k)));
    }
    if (!separators_[3].create(8, 503, 295, 2, nullptr, IdSeparator, w))
        return false;

    if (!applyButton_.create(28, 515, 75, 25, L"Apply", IdApply, w))
        return false;
    if (!saveButton_.create(118, 515, 75, 25, L"Save", IdSave, w))
        return false;
    if (!defaultsButton_.create(208, 515, 75, 25, L"Defaults", IdDefaults, w))
        return false;
    if (!okayButton_.create(73, 550, 75, 25, L"Okay", IdOkay, w))
        return false;
    if (!cancelButton_.create(163, 550, 75, 25, L"Cancel", IdCancel, w))
        return false;
    // What each button does with the settings: used now, kept, or neither.
    if (HWND tips = GuiTips::create(w)) {
        GuiTips::add(tips, applyButton_.handle(),
                     L"Use the settings shown now. The window stays open; nothing is saved.");
        GuiTips::add(tips, saveButton_.handle(),
                     L"Use the settings shown, keep them for the next start and close the window.");
        GuiTips::add(tips, defaultsButton_.handle(),
                     L"Fill in the factory settings. Apply, Okay or Save then uses them.");
        GuiTips::add(tips, okayButton_.handle(),
                     L"Use the settings shown now and close the window. Nothing is saved: the "
                     L"next start uses the saved settings.");
        GuiTips::add(tips, cancelButton_.handle(),
                     L"Close the window; what was changed here is not used.");
    }

    const std::wstring line = config_text::sampleWindowText(
        param(Param::NumSamples), param(Param::SampFrq), param(Param::IntLvl));
    // Right-aligned, and wide enough to the left for the longest line
    // ("Sample window 4.096    Integration Time 4096.000 sec").
    if (!sampleWindowLine_.create(2, 105, 301, 20, line.c_str(), IdSampleWindowLine, w))
        return false;

    for (int i = 0; i < kColours; ++i) {
        colours_[i] = static_cast<COLORREF>(param(Param::BackColor + i));
        brushes_[i].reset(CreateSolidBrush(colours_[i]));
        swatches_[i].setBrush(brushes_[i].get());
    }
    return true;
}

LRESULT ConfigWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE)
        paint_.rebuild(window);
    LRESULT answer = 0;
    if (paint_.topLevelMessage(window, message, wParam, lParam, *this, frame(), &answer))
        return answer;
    switch (message) {
    case WM_CLOSE:
        close();
        return 0;
    case WM_ACTIVATE:
        // Like a dialog: the focus goes back to the control that had it, or
        // to the first list when the window opens.
        if (LOWORD(wParam) == WA_INACTIVE) {
            rememberFocus();
            return 0;
        }
        restoreFocus();
        return 0;
    case WM_DESTROY:
        onDestroy();
        break;
    case WM_QX_PARAMETER:
        if (isColourParameter(wParam))
            repaintAll();
        break;
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

void ConfigWindow::repaintAll()
{
    if (!handle_)
        return;
    InvalidateRect(handle_, nullptr, TRUE);
    EnumChildWindows(handle_, invalidateWithErase, 0);
}

void ConfigWindow::onDestroy()
{
    paint_.release();
    ShowWindow(handle_, SW_HIDE);
    handle_ = nullptr;
    for (GuiColorSwatch& swatch : swatches_)
        swatch.setBrush(nullptr);  // they only borrowed them
    deleteBrushes();
    if (owner_)
        owner_->notify(Notification(ConfigCode::Closed));
}

void ConfigWindow::close()
{
    if (!handle_)
        return;
    if (parent_)
        EnableWindow(parent_, TRUE);
    DestroyWindow(handle_);
}

void ConfigWindow::rememberFocus()
{
    const HWND focus = GetFocus();
    if (handle_ && focus && IsChild(handle_, focus))
        lastFocus_ = focus;
}

void ConfigWindow::restoreFocus()
{
    if (!handle_)
        return;
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(handle_, target) || !IsWindowEnabled(target))
        target = frequencyList_.handle();
    if (target)
        SetFocus(target);
}

int ConfigWindow::modalMessage(const wchar_t* text, const wchar_t* caption, UINT type)
{
    rememberFocus();
    const int answer = MessageBoxW(handle_, text, caption, type);
    restoreFocus();
    return answer;
}

void ConfigWindow::deleteBrushes()
{
    for (GdiObject<HBRUSH>& brush : brushes_)
        brush.reset();
}

bool ConfigWindow::isSamplingList(HWND window) const
{
    return window && (window == frequencyList_.handle() || window == samplesList_.handle() ||
                      window == levelList_.handle());
}

BOOL ConfigWindow::dialogMessage(MSG* m)
{
    const BOOL handled = IsDialogMessageW(handle_, m);
    // A closed list also changes its entry with the arrow keys and the wheel,
    // without reporting it: the sample-window line follows here.
    if ((m->message == WM_KEYDOWN || m->message == WM_MOUSEWHEEL) && handle_ &&
        isSamplingList(GetFocus()))
        updateSampleWindowLine();
    return handled;
}

BOOL ConfigWindow::preTranslate(MSG* m)
{
    if (!handle_)
        return 0;
    if (m->message != WM_KEYDOWN)
        return dialogMessage(m);
    // Only keys meant for this window and its controls.
    if (m->hwnd != handle_ && !IsChild(handle_, m->hwnd))
        return IsDialogMessageW(handle_, m);

    const WPARAM key = m->wParam;
    if (key != VK_RETURN && key != VK_ESCAPE && key != VK_SPACE)
        return dialogMessage(m);

    const HWND focus = GetFocus();
    // An open drop-down list takes Enter and Escape itself, to choose or to
    // leave the entry, as in any dialog.
    if (key != VK_SPACE && focus) {
        for (const GuiComboBox* list : {&frequencyList_, &samplesList_, &levelList_, &rangeList_}) {
            if (list->handle() == focus && SendMessageW(focus, CB_GETDROPPEDSTATE, 0, 0))
                return dialogMessage(m);
        }
    }

    int code = 0;
    if (focus && focus == cancelButton_.handle())
        code = ConfigCode::Cancel;
    else if (focus && focus == defaultsButton_.handle())
        code = ConfigCode::Defaults;
    else if (focus && focus == applyButton_.handle())
        code = ConfigCode::Apply;
    else if (focus && focus == saveButton_.handle())
        code = ConfigCode::Save;
    else if (focus && focus == okayButton_.handle())
        code = ConfigCode::Okay;
    for (int i = 0; i < kColours && code == 0; ++i)
        if (focus && focus == swatches_[i].handle() && key != VK_ESCAPE)
            code = ConfigCode::Swatch0 + i;

    if (key == VK_ESCAPE)
        code = ConfigCode::Cancel;
    else if (key == VK_RETURN && code == 0)
        code = ConfigCode::Okay;
    else if (key == VK_SPACE && code == 0)
        return 0;  // not a button: the key is not this window's

    // A held key repeats its key-down; a command acts once per press.
    const bool repeat = (m->lParam & (1 << 30)) != 0;
    if (!repeat)
        notify(Notification(code));
    return 1;
}

int ConfigWindow::notify(const Notification& n)
{
    const int code = n.code();
    switch (code) {
    case ConfigCode::Apply:
        validateAndApply();
        return 0;
    case ConfigCode::Save:
        if (validateAndApply()) {
            // The engine answers 1 when every value reached the registry.
            const int saved = owner_ ? owner_->notify(Notification(ConfigCode::Save)) : 0;
            if (saved != 1) {
                // The window stays open: nothing typed is lost.
                modalMessage(L"The settings could not be saved in the registry.\n\n"
                             L"They are applied; try Save again or close the window.",
                             L"Settings Not Saved", MB_ICONWARNING);
                return 0;
            }
            close();
        }
        return 0;
    case ConfigCode::Cancel:
        close();
        return 0;
    case ConfigCode::Defaults:
        fillDefaults();
        return 0;
    case ConfigCode::FrequencyList:
    case ConfigCode::SamplesList:
    case ConfigCode::LevelList:
        updateSampleWindowLine();
        return 0;
    case ConfigCode::ThresholdField:
        filterThresholdText();
        return 0;
    case ConfigCode::RangeList:
        return 0;
    case ConfigCode::BandField0:
    case ConfigCode::BandField0 + 1:
    case ConfigCode::BandField0 + 2:
    case ConfigCode::BandField0 + 3:
        filterDigits(bandFields_[code - ConfigCode::BandField0]);
        return 0;
    case ConfigCode::Okay:
        if (validateAndApply())
            close();
        return 0;
    default:
        if (code >= ConfigCode::Swatch0 && code < ConfigCode::Swatch0 + kColours) {
            const int i = code - ConfigCode::Swatch0;
            rememberFocus();
            setSwatchColour(i, chooseColour(colours_[i]));
            restoreFocus();
            return 0;
        }
        return owner_ ? owner_->notify(n) : 0;
    }
}

int ConfigWindow::selectedValue(const GuiComboBox& list) const
{
    HWND h = list.handle();
    if (!h)
        return -1;
    const LRESULT index = SendMessageW(h, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return -1;
    return static_cast<int>(SendMessageW(h, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

int ConfigWindow::readText(const GuiEdit& field, wchar_t* text) const
{
    // EM_GETLINE takes the buffer's capacity in its first word and does not
    // end the text; it ends after the characters read.
    text[0] = static_cast<wchar_t>(kReadLimit);
    LRESULT count = field.handle() ? SendMessageW(field.handle(), EM_GETLINE, 0,
                                                  reinterpret_cast<LPARAM>(text))
                                   : 0;
    if (count < 0)
        count = 0;
    if (count > kReadLimit)
        count = kReadLimit;
    text[count] = 0;
    return static_cast<int>(count);
}

bool ConfigWindow::validateAndApply()
{
    ParameterStore* store = parameterStore();
    if (!store)
        return false;
    bool restart = false;

    // Sampling settings: a list without selection keeps the parameter.
    struct Sampling {
        const GuiComboBox* list;
        int id;
        int value;
    } sampling[3] = {{&frequencyList_, Param::SampFrq, 0},
                     {&samplesList_, Param::NumSamples, 0},
                     {&levelList_, Param::IntLvl, 0}};
    for (Sampling& s : sampling) {
        const int selected = selectedValue(*s.list);
        const int current = store->get(s.id);
        s.value = selected == -1 ? current : selected;
        if (selected != -1 && selected != current)
            restart = true;
    }

    int range = selectedValue(rangeList_);
    if (range == -1)
        range = store->get(Param::DisplayDb);

    wchar_t text[kReadLimit + 1];
    readText(thresholdField_, text);
    int threshold = parseTenths(text);
    if (threshold == -1)
        threshold = store->get(Param::DbDiff);

    int bands[4];
    for (int k = 0; k < 4; ++k) {
        readText(bandFields_[k], text);
        const int current = store->get(Param::Filter0 + k);
        bands[k] = parseWhole(text);
        if (bands[k] == -1)
            bands[k] = current;
        else if (bands[k] != current)
            restart = true;
    }

    // Limits out of order, or above half the sampling frequency, cannot be
    // measured: the table's rule says what is wrong.
    const std::wstring problem = settings_table::bandLimitsProblem(bands, sampling[0].value);
    if (!problem.empty()) {
        modalMessage(problem.c_str(), L"Invalid Data", MB_ICONWARNING);
        return false;
    }

    // The engine stops the measurement before the new settings arrive.
    if (restart && owner_)
        owner_->notify(Notification(ConfigCode::Apply));

    store->setColours(static_cast<int>(colours_[0]), static_cast<int>(colours_[1]),
                      static_cast<int>(colours_[2]), static_cast<int>(colours_[3]),
                      static_cast<int>(colours_[4]), static_cast<int>(colours_[5]));
    store->set(Param::SampFrq, sampling[0].value);
    store->set(Param::NumSamples, sampling[1].value);
    store->set(Param::IntLvl, sampling[2].value);
    store->set(Param::DbDiff, threshold);
    store->set(Param::DisplayDb, range);
    for (int k = 0; k < 4; ++k)
        store->set(Param::Filter0 + k, bands[k]);
    return true;
}

void ConfigWindow::fillDefaults()
{
    for (int i = 0; i < kColours; ++i)
        setSwatchColour(i, static_cast<COLORREF>(factoryValue(Param::BackColor + i)));
    selectValue(frequencyList_.handle(), factoryValue(Param::SampFrq));
    selectValue(samplesList_.handle(), factoryValue(Param::NumSamples));
    selectValue(levelList_.handle(), factoryValue(Param::IntLvl));
    selectValue(rangeList_.handle(), factoryValue(Param::DisplayDb));
    for (int k = 0; k < 4; ++k)
        setText(bandFields_[k].handle(), config_text::wholeText(factoryValue(Param::Filter0 + k)));
    setText(thresholdField_.handle(), config_text::tenthsText(factoryValue(Param::DbDiff)));
    // Selecting by message tells nobody; the line follows the lists here.
    updateSampleWindowLine();
}

void ConfigWindow::updateSampleWindowLine()
{
    const int samples = selectedValue(samplesList_);
    if (samples == -1)
        return;
    const int frequency = selectedValue(frequencyList_);
    if (frequency == -1)
        return;
    const int level = selectedValue(levelList_);
    if (level == -1)
        return;
    HWND line = sampleWindowLine_.handle();
    if (!line)
        return;
    setText(line, config_text::sampleWindowText(samples, frequency, level));
    InvalidateRect(line, nullptr, FALSE);
}

void ConfigWindow::filterThresholdText()
{
    HWND field = thresholdField_.handle();
    if (!field)
        return;
    wchar_t text[kReadLimit + 1];
    const int count = readText(thresholdField_, text);
    if (count == 0)
        return;
    ThresholdState s;
    if (parseDecimal(text, &s.whole, &s.thousandths, &s.hasPoint, &s.fractionDigits)) {
        thresholdWhole_ = s.whole;
        thresholdThousandths_ = s.thousandths;
        thresholdHasPoint_ = s.hasPoint;
        thresholdDigits_ = s.fractionDigits;
        return;
    }
    // Take the keystroke back: the last text that parsed, with the caret
    // where it was before the rejected characters came in.
    DWORD selEnd = 0;
    SendMessageW(field, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&selEnd));
    s.whole = thresholdWhole_;
    s.thousandths = thresholdThousandths_;
    s.hasPoint = thresholdHasPoint_;
    s.fractionDigits = thresholdDigits_;
    const std::wstring accepted = config_text::thresholdText(s);
    const int removed = count - static_cast<int>(accepted.size());
    int caret = static_cast<int>(selEnd) - (removed > 0 ? removed : 0);
    if (caret < 0)
        caret = 0;
    if (caret > static_cast<int>(accepted.size()))
        caret = static_cast<int>(accepted.size());
    setText(field, accepted);
    SendMessageW(field, EM_SETSEL, caret, caret);
}

// ES_NUMBER keeps typed characters out of the band fields, but not pasted
// ones: the text is filtered here the same way.
void ConfigWindow::filterDigits(GuiEdit& field)
{
    HWND h = field.handle();
    if (!h)
        return;
    wchar_t text[kReadLimit + 1];
    const int count = readText(field, text);
    std::wstring digits;
    for (int i = 0; i < count; ++i)
        if (text[i] >= L'0' && text[i] <= L'9')
            digits += text[i];
    if (static_cast<int>(digits.size()) == count)
        return;
    DWORD selEnd = 0;
    SendMessageW(h, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&selEnd));
    int caret = static_cast<int>(selEnd) - (count - static_cast<int>(digits.size()));
    if (caret < 0)
        caret = 0;
    setText(h, digits);  // its own EN_CHANGE finds only digits
    SendMessageW(h, EM_SETSEL, caret, caret);
}

COLORREF ConfigWindow::chooseColour(COLORREF current)
{
    COLORREF custom[16] = {};  // not remembered between calls
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = handle_;
    cc.hInstance = nullptr;
    cc.rgbResult = current;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    cc.lCustData = 0;
    cc.lpfnHook = nullptr;
    cc.lpTemplateName = nullptr;
    if (ChooseColorW(&cc) == TRUE)
        return cc.rgbResult;
    return current;
}

void ConfigWindow::setSwatchColour(int i, COLORREF colour)
{
    if (i < 0 || i >= kColours || colour == colours_[i])
        return;
    colours_[i] = colour;
    brushes_[i].reset(CreateSolidBrush(colour));
    swatches_[i].setBrush(brushes_[i].get());
    if (HWND swatch = swatches_[i].handle())
        InvalidateRect(swatch, nullptr, TRUE);
}
