#include "mainwindow/DevicesDialog.h"

#include "mainwindow/DialogTemplate.h"
#include "mainwindow/FileIo.h"

const wchar_t* const kDevicesDialogTitle = L"Microphone and Sound Card";

bool readMicFile(const std::wstring& path, MicFile& file, std::wstring& problem)
{
    std::string bytes;
    std::wstring reason;
    // One byte more than the parser takes tells it the file is too large.
    if (!readWholeFile(path, bytes, reason, response_file::kMaxFileBytes + 1)) {
        problem = L"The file could not be read:\n" + path + L"\n\n" + reason;
        return false;
    }
    response_file::ParseResult r = response_file::parse(bytes);
    if (!r.ok()) {
        problem = L"This file cannot be used as a microphone response:\n" + path + L"\n\n" +
                  wide(response_file::errorText(r.error));
        return false;
    }
    file.path = path;
    file.points = std::move(r.points);
    file.checksum = response_file::checksum(bytes);
    return true;
}

namespace {

using dialog_template::kButton;
using dialog_template::kComboBox;
using dialog_template::kStatic;
using dialog_template::TemplateBuilder;

struct DialogState {
    DevicesChoice choice;
    std::wstring micName;
    // The device each list entry stands for ("" = the default device).
    std::vector<std::wstring> recordNames;
    std::vector<std::wstring> playbackNames;  // after "Off"
    // What the system offers, for the lists.
    const std::vector<std::wstring>* recording = nullptr;
    const std::vector<std::wstring>* playback = nullptr;
};

// Fills a list: the fixed entries, the devices, and the wanted device as
// missing when it is not among them; selects the wanted one.
void fillList(HWND list, std::initializer_list<const wchar_t*> fixed,
              const std::vector<std::wstring>& devices, const std::wstring& wanted,
              int selectFixed, std::vector<std::wstring>& names)
{
    for (const wchar_t* f : fixed)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f));
    names.assign(1, std::wstring());  // the "Default device" entry
    int selected = selectFixed;
    for (const std::wstring& d : devices) {
        if (d == wanted && selected == selectFixed && !wanted.empty())
            selected = static_cast<int>(fixed.size() + names.size() - 1);
        names.push_back(d);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.c_str()));
    }
    if (!wanted.empty() && selected == selectFixed) {
        selected = static_cast<int>(fixed.size() + names.size() - 1);
        names.push_back(wanted);
        const std::wstring missing = wanted + L" (missing)";
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int selection(HWND dialog, int id)
{
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0));
}

void showMicName(HWND dialog, const DialogState& state)
{
    const std::wstring text = state.micName.empty() ? L"None: levels as recorded" : state.micName;
    SetDlgItemTextW(dialog, DevicesDialogId::MicName, text.c_str());
    EnableWindow(GetDlgItem(dialog, DevicesDialogId::ForgetMic), !state.micName.empty());
}

void loadMic(HWND dialog, DialogState* state)
{
    const std::wstring path =
        fileDialog(dialog, false, L"Load Microphone File",
                   L"Microphone response (*.txt;*.frd;*.cal;*.csv)\0*.txt;*.frd;*.cal;*.csv\0"
                   L"All files (*.*)\0*.*\0",
                   L"txt", std::wstring());
    if (path.empty())
        return;
    MicFile file;
    std::wstring problem;
    if (!readMicFile(path, file, problem)) {
        MessageBoxW(dialog, problem.c_str(), L"Load Microphone File", MB_ICONWARNING | MB_OK);
        return;
    }
    state->choice.mic = DevicesChoice::Load;
    state->choice.loaded = std::move(file);
    state->micName = fileNameOf(path);
    showMicName(dialog, *state);
}

void takeChoice(HWND dialog, DialogState* state)
{
    const int r = selection(dialog, DevicesDialogId::RecordList);
    if (r >= 0 && r < static_cast<int>(state->recordNames.size()))
        state->choice.recordDevice = state->recordNames[r];
    const int p = selection(dialog, DevicesDialogId::PlaybackList);
    state->choice.playback = p != 0;
    if (p >= 1 && p - 1 < static_cast<int>(state->playbackNames.size()))
        state->choice.playbackDevice = state->playbackNames[p - 1];
    state->choice.ok = true;
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        fillList(GetDlgItem(dialog, DevicesDialogId::RecordList), {L"Default device"},
                 *state->recording, state->choice.recordDevice, 0, state->recordNames);
        fillList(GetDlgItem(dialog, DevicesDialogId::PlaybackList), {L"Off", L"Default device"},
                 *state->playback,
                 state->choice.playback ? state->choice.playbackDevice : std::wstring(),
                 state->choice.playback ? 1 : 0,
                 state->playbackNames);
        showMicName(dialog, *state);
        dialog_template::centreOverOwner(dialog);
        return TRUE;
    }
    case WM_COMMAND:
        if (!state || HIWORD(wParam) != BN_CLICKED)
            break;
        switch (LOWORD(wParam)) {
        case DevicesDialogId::LoadMic:
            loadMic(dialog, state);
            return TRUE;
        case DevicesDialogId::ForgetMic:
            state->choice.mic = DevicesChoice::Forget;
            state->micName.clear();
            showMicName(dialog, *state);
            SetFocus(GetDlgItem(dialog, DevicesDialogId::LoadMic));
            return TRUE;
        case IDOK:
            takeChoice(dialog, state);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            state->choice.ok = false;
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

}  // namespace

DevicesChoice runDevicesDialog(HWND owner, const DevicesChoice& current,
                               const std::wstring& micName,
                               const std::vector<std::wstring>& recording,
                               const std::vector<std::wstring>& playback)
{
    DialogState state;
    state.choice = current;
    state.choice.mic = DevicesChoice::Keep;
    state.micName = micName;
    state.recording = &recording;
    state.playback = &playback;

    TemplateBuilder t;
    t.header(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER, 250, 132, kDevicesDialogTitle, 11);
    t.item(SS_LEFT, 7, 9, 80, 9, 0xFFFF, kStatic, L"&Recording device");
    t.item(CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 90, 7, 153, 100,
           DevicesDialogId::RecordList, kComboBox, L"");
    t.item(SS_LEFT, 7, 28, 80, 9, 0xFFFF, kStatic, L"&Playback");
    t.item(CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 90, 26, 153, 100,
           DevicesDialogId::PlaybackList, kComboBox, L"");
    t.item(SS_LEFT, 7, 49, 80, 9, 0xFFFF, kStatic, L"Microphone file");
    t.item(SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 90, 49, 153, 9, DevicesDialogId::MicName,
           kStatic, L"");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 7, 62, 115, 15, DevicesDialogId::LoadMic, kButton,
           L"&Load microphone file...");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 128, 62, 115, 15, DevicesDialogId::ForgetMic, kButton,
           L"&Forget microphone file");
    t.item(SS_LEFT, 7, 84, 236, 18, 0xFFFF, kStatic,
           L"The devices are opened at the next Reference or Analyze. The microphone "
           L"file's response is taken off every level measured.");
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 136, 110, 50, 15, IDOK, kButton, L"OK");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 193, 110, 50, 15, IDCANCEL, kButton, L"Cancel");

    DialogBoxIndirectParamW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                            t.data(), owner, dialogProc, reinterpret_cast<LPARAM>(&state));
    return state.choice;
}
