#include "ConfigTestSupport.h"

#include <cstring>
#include <cwchar>

HWND findControl(HWND root, int id, const wchar_t* cls) { return qxsupport::findDescendant(root, id, cls); }

ListState listState(HWND combo)
{
    ListState s;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(wcslen(text.c_str()));
        s.texts.push_back(text);
        s.data.push_back(static_cast<long long>(SendMessageW(combo, CB_GETITEMDATA, i, 0)));
    }
    s.selection = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    return s;
}

// -------------------------------------------------------------- modal boxes

DialogDriver::DialogDriver(DWORD pid, Action action, int timeoutMs)
{
    thread_ = std::thread([this, pid, action, timeoutMs] {
        HWND dialog = waitForTopLevel(pid, L"#32770", nullptr, timeoutMs);
        // Shown, it has been initialised; once it answers, its thread is in
        // the dialog's own message loop.
        DWORD_PTR answer = 0;
        if (dialog && SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL,
                                          static_cast<UINT>(timeoutMs), &answer)) {
            seen_ = true;
            action(dialog);
        }
        done_ = true;
    });
}

DialogDriver::~DialogDriver()
{
    join();
}

void DialogDriver::join()
{
    while (!done_.load())
        Sleep(20);
    if (thread_.joinable())
        thread_.join();
}

DialogDriver::Action colourDialog(ColourDialogSeen* seen, bool pick, COLORREF colour,
                                  const wchar_t* screenshot)
{
    return [=](HWND d) {
        constexpr int kRed = 706, kGreen = 707, kBlue = 708;
        HWND fields[3] = {GetDlgItem(d, kRed), GetDlgItem(d, kGreen), GetDlgItem(d, kBlue)};
        if (seen) {
            seen->fullOpen = fields[0] && IsWindowVisible(fields[0]);
            seen->red = windowText(fields[0]);
            seen->green = windowText(fields[1]);
            seen->blue = windowText(fields[2]);
        }
        if (screenshot)
            writePng(captureWindow(d), screenshotPath(screenshot));
        if (!pick) {
            pressDialogButton(d, IDCANCEL);
            return;
        }
        // Each field takes its value when the text is set (the dialog reads
        // the three on every change), before the OK that follows.
        const int values[3] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
        for (int k = 0; k < 3; ++k) {
            const std::wstring v = std::to_wstring(values[k]);
            DWORD_PTR r = 0;
            SendMessageTimeoutW(fields[k], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(v.c_str()),
                                SMTO_NORMAL, 5000, &r);
        }
        pressDialogButton(d, IDOK);
    };
}

void pressDialogButton(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageW(button ? button : dialog, button ? BM_CLICK : WM_COMMAND,
                 button ? 0 : static_cast<WPARAM>(id), 0);
}

DialogDriver::Action readBoxAndPressOk(BoxContents* out)
{
    return [out](HWND box) {
        out->caption = windowText(box);
        out->text = windowText(GetDlgItem(box, 0xFFFF));
        out->owner = GetWindow(box, GW_OWNER);
        // The icon is a static control showing an icon.
        for (HWND w : descendants(box)) {
            if (classNameOf(w) == L"Static" && (GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                out->hasIcon = true;
        }
        pressDialogButton(box, IDOK);
    };
}

// ----------------------------------------------------------- the program

RunningProgram::~RunningProgram()
{
    if (running())
        close();
}

bool RunningProgram::start()
{
    if (!Program::start())
        return false;
    return qxsupport::waitFor([this] { return IsWindowVisible(window()) != FALSE; }, 5000) &&
           drive::answers(window());
}

bool RunningProgram::close(int timeoutMs)
{
    if (!running())
        return true;
    // Whatever modal box is up first, then the window itself.
    for (HWND box : topLevelWindows(processId(), L"#32770"))
        PostMessageW(box, WM_CLOSE, 0, 0);
    Program::close();
    return waitExit(static_cast<DWORD>(timeoutMs)) != STILL_ACTIVE;
}
