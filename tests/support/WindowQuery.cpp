#include "WindowQuery.h"

#include <cwchar>

#include "Wait.h"

namespace qxsupport {

std::wstring windowText(HWND window, DWORD limitMs)
{
    wchar_t buffer[512] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, limitMs, &length))
        return L"<no answer>";
    return std::wstring(buffer, length < 512 ? length : 511);
}

std::wstring classNameOf(HWND window)
{
    wchar_t buffer[128] = {};
    const int n = GetClassNameW(window, buffer, 128);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

namespace {

BOOL CALLBACK collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

struct TopLevelQuery {
    DWORD pid;
    const wchar_t* cls;
    const wchar_t* title;
    std::vector<HWND> found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM param)
{
    auto* q = reinterpret_cast<TopLevelQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (q->pid != 0 && pid != q->pid)
        return TRUE;
    if (q->cls && classNameOf(window) != q->cls)
        return TRUE;
    if (q->title && windowText(window, 2000) != q->title)
        return TRUE;
    q->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> descendants(HWND root)
{
    std::vector<HWND> all;
    EnumChildWindows(root, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND findDescendant(HWND root, int id, const wchar_t* cls)
{
    for (HWND w : descendants(root)) {
        if (GetDlgCtrlID(w) != id)
            continue;
        if (cls && _wcsicmp(classNameOf(w).c_str(), cls) != 0)
            continue;
        return w;
    }
    return nullptr;
}

std::vector<HWND> childWindows(HWND root)
{
    std::vector<HWND> list;
    for (HWND w = GetWindow(root, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        list.push_back(w);
    return list;
}

std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* title)
{
    TopLevelQuery q{pid, cls, title, {}};
    EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND waitForTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title, DWORD limitMs,
                     const std::function<void()>& idle)
{
    HWND found = nullptr;
    waitFor(
        [&] {
            for (HWND w : topLevelWindows(pid, cls, title))
                if (IsWindowVisible(w)) {
                    found = w;
                    return true;
                }
            return false;
        },
        limitMs, idle ? 0 : 20, idle);
    return found;
}

HWND focusOf(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

RECT rectIn(HWND reference, HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace qxsupport
