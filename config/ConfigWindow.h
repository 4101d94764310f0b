// ConfigWindow: the window in which the user edits, checks, applies, saves
// and resets the settings.
//
// How it works
// - The main window makes one on command 104 with its own GuiOwner side as
//   owner, calls create() with its window as parent (the new window is owned,
//   hidden and not yet placed), centres and shows it and disables itself.
// - The controls hold the user's entries; nothing reaches the store until
//   Apply, Okay or Save. validateAndApply() reads every control, falls back to
//   the current parameter for a list without selection or a text that does
//   not parse, rejects band limits that break the band-limit rule of the
//   table of settings (out of order, above half the sampling frequency) with
//   the "Invalid Data" box and the rule's text, tells the owner 201 (stop
//   the measurement) before anything is written when a sampling setting or a
//   band limit changes, hands the six colours to
//   the store's setColours and then writes the other settings; the store
//   announces only the values that really changed.
// - The six colours live in the window (colour, and a brush of it lent to
//   the swatch) until they are applied; a new brush is made only when a
//   colour changes, and all six are deleted when the window is destroyed.
// - Every widget reports to this object's notify(); codes it does not know
//   go on to the owner. When the window is destroyed (Okay, Save, Cancel,
//   Escape, the close box, or its owner going away) it sends 205 to its owner.
// - The main window lets preTranslate() see every message first: Enter acts
//   as Okay (or as the focused button), Escape as Cancel, Space presses the
//   focused button, and an open drop-down list keeps Enter and Escape for
//   itself; everything else goes through IsDialogMessageW, which gives Tab
//   and the arrow keys their dialog meaning. The sample-window line follows
//   the lists also when their entry changes by key or wheel (a list reports
//   only the closing of its drop-down).
// - Message 1034 (WM_QX_PARAMETER, wParam = parameter id) is passed here by
//   the main window: a change of a display colour or of its GDI object
//   repaints the whole window with every child.
// - The window keeps its own DPI (its monitor's, from GetDpiForWindow at
//   creation and then from WM_DPICHANGED); its widgets are laid out and
//   draw at it with the store's fonts made for it. Moving it to a monitor
//   of another scale rescales this window only: the main window and the
//   store's DPI (Param::Dpi, the main window's) stay as they are.
#pragma once

#include <windows.h>

#include "foundation/Notification.h"
#include "foundation/Owned.h"
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiLabels.h"
#include "gui/GuiOwner.h"
#include "gui/GuiWindow.h"

class ParameterStore;

// Notification codes of the configuration window. 201, 202 and 205 also
// travel to the main window and the engine (foundation/Notification.h).
namespace ConfigCode {
enum : int {
    Apply = 201,        // Apply button; also "stop the measurement" to the owner
    Save = 202,         // Save button; "write the registry" to the owner
    Cancel = 203,
    Defaults = 204,
    Closed = 205,       // to the owner, when the window is destroyed
    FrequencyList = 206,
    SamplesList = 207,
    LevelList = 208,
    ThresholdField = 209,
    RangeList = 210,
    BandField0 = 211,   // .. 214
    Swatch0 = 215,      // .. 220, in colour order
    Okay = 221,
};
}

class ConfigWindow final : public GuiWindow, public GuiOwner {
public:
    static constexpr int kColours = 6;  // background, grid, reference, analysis, threshold, bands

    // Constructs every widget; makes no window.
    explicit ConfigWindow(GuiOwner* owner);
    // The window is normally gone by now; if it is not, it is destroyed here
    // without telling the owner, so no message reaches a deleted object.
    ~ConfigWindow();

    // GuiWindow side.
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL preTranslate(MSG* message) override;
    // Makes the hidden window (owned by parent) and every control, filled
    // from the store. True when everything exists; false leaves a hidden, partly
    // built window (its handle stays available for the caller to destroy).
    virtual bool create(HWND parent);

    // GuiOwner side, for the widgets.
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override;
    HINSTANCE instanceHandle() override;
    HDC paintBuffer() override;
    GuiSpans::Picture paintPixels() override;
    int widgetDpi() override;
    void dpiChanged(int dpi) override;

    // Reads and checks every control and writes the settings to the store.
    // True when written; false when the band limits were rejected (or no store).
    bool validateAndApply();
    // The system colour dialog: the colour picked, or current when cancelled.
    COLORREF chooseColour(COLORREF current);
    // Shows a new colour in field i (0..5); a new brush only when it changes.
    void setSwatchColour(int i, COLORREF colour);

    // What the window holds, for those who look from outside (tests).
    COLORREF swatchColour(int i) const { return colours_[i]; }
    HBRUSH swatchBrush(int i) const { return brushes_[i].get(); }

private:
    void fillDefaults();
    void updateSampleWindowLine();
    bool isSamplingList(HWND window) const;
    // IsDialogMessageW, and the sample-window line kept up with a list whose
    // entry the keyboard or the wheel changed.
    BOOL dialogMessage(MSG* message);
    void filterThresholdText();
    void filterDigits(GuiEdit& field);
    // Enables the owner, then destroys the window: an owner enabled only
    // after its owned window is gone is passed over for activation, and the
    // program falls behind other programs.
    void close();
    // Shows a modal box or dialog with the focus kept: it returns to the
    // control that had it.
    int modalMessage(const wchar_t* text, const wchar_t* caption, UINT type);
    void rememberFocus();
    void restoreFocus();
    void repaintAll();
    void onDestroy();
    void deleteBrushes();
    int selectedValue(const GuiComboBox& list) const;  // item data, -1 when none
    int readText(const GuiEdit& field, wchar_t* text) const;  // text[10]; count read

    HWND parent_ = nullptr;
    GuiPaintBuffer paint_;
    int dpi_ = 96;  // this window's, at which its widgets are laid out

    // Member widgets, made in this order (their windows are made in create()).
    GuiLabel samplingHeading_;
    GuiLabel frequencyLabel_;
    GuiLabel samplesLabel_;
    GuiLabel levelLabel_;
    GuiComboBox frequencyList_;
    GuiComboBox samplesList_;
    GuiComboBox levelList_;
    GuiLabel bandsHeading_;
    GuiLabel bandLabels_[3];
    GuiBandDiagram bandDiagram_;
    GuiEdit bandFields_[4];
    GuiLabel decibelsHeading_;
    GuiLabel thresholdLabel_;
    GuiLabel rangeLabel_;
    GuiEdit thresholdField_;
    GuiComboBox rangeList_;
    GuiLabel coloursHeading_;
    GuiLabel colourLabels_[kColours];
    GuiColorSwatch swatches_[kColours];
    GuiButton applyButton_;
    GuiButton saveButton_;
    GuiButton defaultsButton_;
    GuiButton okayButton_;
    GuiButton cancelButton_;
    GuiPanel separators_[4];
    GuiLabel sampleWindowLine_;

    // The control that had the focus when the window last went inactive.
    HWND lastFocus_ = nullptr;

    GdiObject<HBRUSH> brushes_[kColours];
    COLORREF colours_[kColours] = {};

    // The last threshold text that parsed.
    int thresholdWhole_ = -1;
    int thresholdThousandths_ = -1;
    int thresholdHasPoint_ = 0;
    int thresholdDigits_ = 0;
};
