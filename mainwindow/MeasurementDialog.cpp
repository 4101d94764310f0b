#include "mainwindow/MeasurementDialog.h"

#include <string>
#include <vector>

#include "analysis/Levels.h"
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
};

bool readChoice(HWND dialog, DialogState* state)
{
    HWND list = GetDlgItem(dialog, MeasurementDialogId::WindowList);
    const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected >= 0 && selected < WindowKind::Count)
        state->choice.window = static_cast<int>(selected);
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
        HWND list = GetDlgItem(dialog, MeasurementDialogId::WindowList);
        for (int k = 0; k < WindowKind::Count; ++k)
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(windowName(k)));
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(state->choice.window), 0);
        SetDlgItemTextW(dialog, MeasurementDialogId::LevelField,
                        hundredthsText(state->choice.calibratorLevel).c_str());
        SetDlgItemTextW(dialog, MeasurementDialogId::Status, state->calibrationLine);
        // Centre over the owner.
        RECT d, o;
        HWND owner = GetWindow(dialog, GW_OWNER);
        if (owner && GetWindowRect(dialog, &d) && GetWindowRect(owner, &o))
            SetWindowPos(dialog, nullptr,
                         o.left + ((o.right - o.left) - (d.right - d.left)) / 2,
                         o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
        return TRUE;  // the focus goes to the first control
    }
    case WM_COMMAND: {
        if (!state)
            break;
        int action = -1;
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

MeasurementChoice runMeasurementDialog(HWND owner, int window, int calibratorLevel,
                                       const wchar_t* calibrationLine)
{
    DialogState state;
    state.choice.window = window >= 0 && window < WindowKind::Count ? window : 0;
    state.choice.calibratorLevel = calibratorLevel;
    state.calibrationLine = calibrationLine ? calibrationLine : L"";

    TemplateBuilder t;
    t.header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER, 230, 118, kMeasurementDialogTitle, 10);
    t.item(SS_LEFT, 7, 9, 80, 9, 0xFFFF, kStatic, L"&Window function");
    t.item(CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 100, 7, 123, 60,
           MeasurementDialogId::WindowList, kComboBox, L"");
    t.item(SS_LEFT, 7, 28, 90, 9, 0xFFFF, kStatic, L"Calibrator &level (dB SPL)");
    t.item(ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 100, 26, 50, 13,
           MeasurementDialogId::LevelField, kEdit, L"");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 156, 25, 67, 15, MeasurementDialogId::Calibrate, kButton,
           L"&Calibrate...");
    t.item(SS_LEFT, 7, 47, 216, 18, MeasurementDialogId::Status, kStatic, L"");
    t.item(SS_LEFT, 7, 66, 216, 18, 0xFFFF, kStatic,
           L"Play the calibrator into the microphone, then press Calibrate.");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 7, 96, 80, 15, MeasurementDialogId::Clear, kButton,
           L"&Forget calibration");
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 116, 96, 50, 15, IDOK, kButton, L"OK");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 173, 96, 50, 15, IDCANCEL, kButton, L"Cancel");

    DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                            t.data(), owner, dialogProc, reinterpret_cast<LPARAM>(&state));
    return state.choice;
}
