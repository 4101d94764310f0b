// The Measurement dialog: the window function, the frequency weighting, the
// band reading, the averaging (exponential or Leq, its duration and hold),
// the maximum hold, the overall levels, the calibrator's level and the
// calibration, in a group of their own ("&Measure..." or Alt+M in the
// main window).
//
// How it works
// - A modal dialog made from a template built in memory, so the dialog
//   manager gives it Tab, the arrow keys, Enter (OK) and Escape (Cancel).
// - It shows the settings it is given and the state of the calibration, and
//   returns what the user chose; the main window carries it out (the store
//   and the registry are not touched here).
#pragma once

#include <windows.h>

struct MeasurementChoice {
    enum Action : int {
        Cancel = 0,
        Apply = 1,      // OK: take the window function and the calibrator's level
        Calibrate = 2,  // the same, then measure the calibrator now
        Clear = 3,      // the same, and forget the calibration
    };
    int action = Cancel;
    int window = 0;            // WindowKind
    int calibratorLevel = 0;   // hundredths of a dB
    // What the levels are and how they are averaged (the options of the
    // same names).
    int weighting = 0;         // WeightingKind
    int bandReading = 0;       // 0 the mean of the dB bins, 1 band totals
    int averaging = 0;         // AveragingKind
    int leqMinutes = 0;        // 0: no limit
    int holdComplete = 0;
    int maxHold = 0;
    int overallLevels = 0;
};

// Control ids, for those who drive the dialog (tests).
namespace MeasurementDialogId {
enum : int {
    WindowList = 1001,
    LevelField = 1002,
    Status = 1003,
    Calibrate = 1004,
    Clear = 1005,
    WeightingList = 1006,
    ReadingList = 1007,
    AveragingList = 1008,
    DurationList = 1009,
    HoldCheck = 1010,
    MaxHoldCheck = 1011,
    OverallCheck = 1012,
};
}

// Runs the dialog over `owner`, showing `current` (its action is not read).
// `calibrationLine` is shown as the state of the calibration. An unreadable
// calibrator level keeps the dialog open with the field selected. Without a
// calibration ("calibrated" false) there is nothing to forget: that button
// is disabled.
MeasurementChoice runMeasurementDialog(HWND owner, const MeasurementChoice& current,
                                       const wchar_t* calibrationLine, bool calibrated = true);

// The dialog's caption, for those who look for it.
extern const wchar_t* const kMeasurementDialogTitle;
