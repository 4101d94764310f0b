#include "mainwindow/MeasurementDialog.h"

#include <string>
#include <vector>

#include "analysis/BlockAnalysis.h"
#include "analysis/Levels.h"
#include "foundation/SettingsTable.h"
#include "mainwindow/DialogTemplate.h"

const wchar_t* const kMeasurementDialogTitle = L"Measurement";

namespace {

using dialog_template::kButton;
using dialog_template::kComboBox;
using dialog_template::kEdit;
using dialog_template::kStatic;
using dialog_template::TemplateBuilder;

struct DialogState {
    MeasurementChoice choice;
    const wchar_t* calibrationLine;
    bool calibrated;  // there is a calibration to forget
};

const wchar_t* const kWeightings[WeightingKind::Count] = {L"Z (none)", L"A", L"C"};
const wchar_t* const kReadings[2] = {L"dB mean", L"Band total"};
const wchar_t* const kAveragings[AveragingKind::Count] = {L"Exponential", L"Linear (Leq)"};

void fillList(HWND dialog, int id, const wchar_t* const* texts, int count, int selected)
{
    HWND list = GetDlgItem(dialog, id);
    for (int k = 0; k < count; ++k)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[k]));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected >= 0 && selected < count ? selected : 0), 0);
}

// The selection of a list, or `keep` when none is selected.
int listChoice(HWND dialog, int id, int count, int keep)
{
    const LRESULT selected = SendMessageW(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0);
    return selected >= 0 && selected < count ? static_cast<int>(selected) : keep;
}

void setCheck(HWND dialog, int id, int on)
{
    SendMessageW(GetDlgItem(dialog, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

int checked(HWND dialog, int id)
{
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

// The duration means something for the Leq only.
void followAveraging(HWND dialog)
{
    const bool linear = listChoice(dialog, MeasurementDialogId::AveragingList,
                                   AveragingKind::Count, 0) == AveragingKind::Linear;
    EnableWindow(GetDlgItem(dialog, MeasurementDialogId::DurationList), linear);
}

bool readChoice(HWND dialog, DialogState* state)
{
    MeasurementChoice& c = state->choice;
    c.window = listChoice(dialog, MeasurementDialogId::WindowList, WindowKind::Count, c.window);
    c.weighting = listChoice(dialog, MeasurementDialogId::WeightingList, WeightingKind::Count,
                             c.weighting);
    c.bandReading = listChoice(dialog, MeasurementDialogId::ReadingList, 2, c.bandReading);
    c.averaging = listChoice(dialog, MeasurementDialogId::AveragingList, AveragingKind::Count,
                             c.averaging);
    const int duration = listChoice(dialog, MeasurementDialogId::DurationList,
                                    settings_table::kLeqMinutesCount, -1);
    if (duration >= 0)
        c.leqMinutes = settings_table::kLeqMinutes[duration].value;
    c.holdComplete = checked(dialog, MeasurementDialogId::HoldCheck);
    c.maxHold = checked(dialog, MeasurementDialogId::MaxHoldCheck);
    c.overallLevels = checked(dialog, MeasurementDialogId::OverallCheck);
    wchar_t text[32] = {};
    GetDlgItemTextW(dialog, MeasurementDialogId::LevelField, text, 32);
    const int level = parseCalibratorLevel(text);
    if (level < 0) {
        HWND field = GetDlgItem(dialog, MeasurementDialogId::LevelField);
        MessageBoxW(dialog, L"Enter the calibrator's level in dB, from 1 to 200.",
                    L"Invalid Data", MB_ICONWARNING | MB_OK);
        SetFocus(field);
        SendMessageW(field, EM_SETSEL, 0, -1);
        return false;
    }
    state->choice.calibratorLevel = level;
    return true;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const MeasurementChoice& c = state->choice;
        const wchar_t* windows[WindowKind::Count];
        for (int k = 0; k < WindowKind::Count; ++k)
            windows[k] = windowName(k);
        fillList(dialog, MeasurementDialogId::WindowList, windows, WindowKind::Count, c.window);
        fillList(dialog, MeasurementDialogId::WeightingList, kWeightings, WeightingKind::Count,
                 c.weighting);
        fillList(dialog, MeasurementDialogId::ReadingList, kReadings, 2, c.bandReading);
        fillList(dialog, MeasurementDialogId::AveragingList, kAveragings, AveragingKind::Count,
                 c.averaging);
        const wchar_t* durations[settings_table::kLeqMinutesCount];
        int duration = 0;
        for (int k = 0; k < settings_table::kLeqMinutesCount; ++k) {
            durations[k] = settings_table::kLeqMinutes[k].caption;
            if (settings_table::kLeqMinutes[k].value == c.leqMinutes)
                duration = k;
        }
        fillList(dialog, MeasurementDialogId::DurationList, durations,
                 settings_table::kLeqMinutesCount, duration);
        setCheck(dialog, MeasurementDialogId::HoldCheck, c.holdComplete);
        setCheck(dialog, MeasurementDialogId::MaxHoldCheck, c.maxHold);
        setCheck(dialog, MeasurementDialogId::OverallCheck, c.overallLevels);
        followAveraging(dialog);
        SetDlgItemTextW(dialog, MeasurementDialogId::LevelField,
                        hundredthsText(state->choice.calibratorLevel).c_str());
        SetDlgItemTextW(dialog, MeasurementDialogId::Status, state->calibrationLine);
        EnableWindow(GetDlgItem(dialog, MeasurementDialogId::Clear), state->calibrated);
        dialog_template::centreOverOwner(dialog);
        return TRUE;  // the focus goes to the first control
    }
    case WM_COMMAND: {
        if (!state)
            break;
        int action = -1;
        if (LOWORD(wParam) == MeasurementDialogId::AveragingList && HIWORD(wParam) == CBN_SELCHANGE) {
            followAveraging(dialog);
            return TRUE;
        }
        switch (LOWORD(wParam)) {
        case IDOK:
            action = MeasurementChoice::Apply;
            break;
        case MeasurementDialogId::Calibrate:
            action = MeasurementChoice::Calibrate;
            break;
        case MeasurementDialogId::Clear:
            action = MeasurementChoice::Clear;
            break;
        case IDCANCEL:
            state->choice.action = MeasurementChoice::Cancel;
            EndDialog(dialog, 0);
            return TRUE;
        default:
            break;
        }
        if (action >= 0 && HIWORD(wParam) == BN_CLICKED) {
            if (!readChoice(dialog, state))
                return TRUE;
            state->choice.action = action;
            EndDialog(dialog, action);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

}  // namespace

MeasurementChoice runMeasurementDialog(HWND owner, const MeasurementChoice& current,
                                       const wchar_t* calibrationLine, bool calibrated)
{
    DialogState state;
    state.choice = current;
    state.choice.action = MeasurementChoice::Cancel;
    if (state.choice.window < 0 || state.choice.window >= WindowKind::Count)
        state.choice.window = 0;
    state.calibrationLine = calibrationLine ? calibrationLine : L"";
    state.calibrated = calibrated;

    // Two groups: what the levels are, then the calibration.
    constexpr short kCal = 122;  // where the calibration's rows start
    constexpr DWORD kList = CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL;
    TemplateBuilder t;
    t.header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER, 230, kCal + 93, kMeasurementDialogTitle,
             22);
    t.item(SS_LEFT, 7, 9, 90, 9, 0xFFFF, kStatic, L"&Window function");
    t.item(kList, 100, 7, 123, 60, MeasurementDialogId::WindowList, kComboBox, L"");
    t.item(SS_LEFT, 7, 27, 90, 9, 0xFFFF, kStatic, L"Frequency wei&ghting");
    t.item(kList, 100, 25, 123, 60, MeasurementDialogId::WeightingList, kComboBox, L"");
    t.item(SS_LEFT, 7, 45, 90, 9, 0xFFFF, kStatic, L"Band &readings");
    t.item(kList, 100, 43, 123, 60, MeasurementDialogId::ReadingList, kComboBox, L"");
    t.item(SS_LEFT, 7, 63, 90, 9, 0xFFFF, kStatic, L"&Averaging");
    t.item(kList, 100, 61, 123, 60, MeasurementDialogId::AveragingList, kComboBox, L"");
    t.item(SS_LEFT, 7, 81, 90, 9, 0xFFFF, kStatic, L"Leq &duration");
    t.item(kList, 100, 79, 123, 90, MeasurementDialogId::DurationList, kComboBox, L"");
    t.item(BS_AUTOCHECKBOX | WS_TABSTOP, 7, 96, 216, 10, MeasurementDialogId::HoldCheck, kButton,
           L"&Hold a measurement once it is complete");
    t.item(BS_AUTOCHECKBOX | WS_TABSTOP, 7, 108, 100, 10, MeasurementDialogId::MaxHoldCheck,
           kButton, L"Ma&ximum hold trace");
    t.item(BS_AUTOCHECKBOX | WS_TABSTOP, 112, 108, 111, 10, MeasurementDialogId::OverallCheck,
           kButton, L"&Overall levels (LA, LC)");
    t.item(SS_ETCHEDHORZ, 7, kCal - 4, 216, 1, 0xFFFF, kStatic, L"");
    t.item(SS_LEFT, 7, kCal + 6, 90, 9, 0xFFFF, kStatic, L"Calibrator &level (dB SPL)");
    t.item(ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 100, kCal + 4, 50, 13,
           MeasurementDialogId::LevelField, kEdit, L"");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 156, kCal + 3, 67, 15, MeasurementDialogId::Calibrate, kButton,
           L"&Calibrate...");
    t.item(SS_LEFT, 7, kCal + 25, 216, 18, MeasurementDialogId::Status, kStatic, L"");
    t.item(SS_LEFT, 7, kCal + 44, 216, 18, 0xFFFF, kStatic,
           L"Play the calibrator into the microphone, then press Calibrate.");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 7, kCal + 74, 80, 15, MeasurementDialogId::Clear, kButton,
           L"&Forget calibration");
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 116, kCal + 74, 50, 15, IDOK, kButton, L"OK");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 173, kCal + 74, 50, 15, IDCANCEL, kButton, L"Cancel");

    DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                            t.data(), owner, dialogProc, reinterpret_cast<LPARAM>(&state));
    return state.choice;
}
