#include "mainwindow/MainMenu.h"

#include <shellapi.h>

#include <string>

#include "foundation/SystemError.h"
#include "mainwindow/MainWindowText.h"
#include "resources/resource.h"

namespace {

struct Item {
    int id;  // 0: a separator
    const wchar_t* text;
};

HMENU popup(const Item* items, size_t count)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    for (size_t i = 0; i < count; ++i)
        AppendMenuW(menu, items[i].id ? MF_STRING : MF_SEPARATOR,
                    static_cast<UINT_PTR>(items[i].id), items[i].text);
    return menu;
}

template <size_t N>
HMENU popup(const Item (&items)[N])
{
    return popup(items, N);
}

}  // namespace

HMENU buildMainMenu()
{
    static const Item kFile[] = {
        {ID_CMD_SAVE_MEASUREMENT, L"&Save Measurement...\tCtrl+S"},
        {ID_CMD_OPEN_REFERENCE, L"&Open Reference...\tCtrl+O"},
        {ID_CMD_SAVE_PICTURE, L"Save P&icture...\tCtrl+Shift+S"},
        {0, nullptr},
        {ID_CMD_EXIT, L"E&xit\tAlt+F4"},
    };
    static const Item kEdit[] = {
        {ID_CMD_COPY_READOUTS, L"Copy Rea&douts\tCtrl+C"},
        {ID_CMD_COPY_PICTURE, L"Copy &Picture\tCtrl+Shift+C"},
        {0, nullptr},
        {ID_CMD_MARKER_AT_PEAK, L"Marker at P&eak\tCtrl+M"},
        {ID_CMD_MARKER_LEFT, L"Move Marker &Left\tCtrl+Left"},
        {ID_CMD_MARKER_RIGHT, L"Move Marker &Right\tCtrl+Right"},
        {ID_CMD_MARKER_REMOVE, L"Remove &Newest Marker\tCtrl+Del"},
        {ID_CMD_CLEAR_MARKERS, L"Clear &Markers"},
    };
    static const Item kView[] = {
        {ID_CMD_LOG_AXIS, L"&Logarithmic Frequency Axis\tCtrl+L"},
        {0, nullptr},
        {ID_CMD_VIEW_NARROW, L"&Narrow Band\tCtrl+1"},
        {ID_CMD_VIEW_OCTAVES, L"&Octave Bands\tCtrl+2"},
        {ID_CMD_VIEW_THIRDS, L"&Third-Octave Bands\tCtrl+3"},
    };
    static const Item kMeasure[] = {
        {ID_CMD_REFERENCE, L"&Reference\tAlt+R"},
        {ID_CMD_ANALYZE, L"&Analyze\tAlt+A"},
        {ID_CMD_PAUSE, L"&Pause\tAlt+P"},
        {0, nullptr},
        {ID_CMD_MEASURE, L"&Measurement Settings...\tAlt+M"},
        {ID_CMD_CONFIG, L"&Configuration...\tAlt+C"},
        {ID_CMD_SOUND_DEVICES, L"Microphone and So&und Card...\tCtrl+D"},
    };
    static const Item kHelp[] = {
        {ID_CMD_USER_GUIDE, L"&User Guide\tF1"},
        {0, nullptr},
        {ID_SYS_ABOUT, L"&About QX-700..."},
    };
    struct Bar {
        HMENU menu;
        const wchar_t* text;
    };
    const Bar bar[] = {{popup(kFile), L"&File"},
                       {popup(kEdit), L"Ed&it"},
                       {popup(kView), L"&View"},
                       {popup(kMeasure), L"Mea&sure"},
                       {popup(kHelp), L"&Help"}};
    HMENU top = CreateMenu();
    bool ok = top != nullptr;
    for (const Bar& b : bar) {
        if (ok && b.menu && AppendMenuW(top, MF_POPUP, reinterpret_cast<UINT_PTR>(b.menu), b.text))
            continue;
        ok = false;
        if (b.menu)
            DestroyMenu(b.menu);  // not (yet) owned by the bar
    }
    if (!ok && top) {
        DestroyMenu(top);
        top = nullptr;
    }
    return top;
}

void enableMenuCommand(HWND window, int commandId, bool enabled)
{
    if (HMENU menu = window ? GetMenu(window) : nullptr)
        EnableMenuItem(menu, static_cast<UINT>(commandId),
                       MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void openUserGuide(HWND window)
{
    wchar_t program[32768];
    const DWORD n = GetModuleFileNameW(nullptr, program, 32768);
    std::wstring path(program, n < 32768 ? n : 0);
    const size_t slash = path.find_last_of(L"\\/");
    path = (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) +
           mainwindow_text::kUserGuideFile;
    std::wstring problem;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        problem = L"The user guide is not where the program was installed:\n" + path +
                  L"\n\nInstall the program again to get it back.";
    } else {
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(window, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (result <= 32)
            problem = L"The user guide could not be opened in a web browser:\n" + path + L"\n\n" +
                      systemErrorText(result == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION
                                                               : GetLastError());
    }
    if (!problem.empty())
        MessageBoxW(window, problem.c_str(), L"User Guide", MB_ICONWARNING | MB_OK);
}
