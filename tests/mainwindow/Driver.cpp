#include "Driver.h"

#include <cmath>
#include <cwchar>

#include "Signal.h"

namespace drive {

namespace {

std::string g_program;

struct FindData {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findMain(HWND window, LPARAM lParam)
{
    auto* d = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // Process 0: any process.
    if ((d->processId != 0 && pid != d->processId) || GetParent(window) != nullptr)
        return TRUE;
    if (className(window) != L"P2GUIWindow")
        return TRUE;
    d->found = window;
    return FALSE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM lParam)
{
    auto* map = reinterpret_cast<std::map<int, HWND>*>(lParam);
    (*map)[GetDlgCtrlID(window)] = window;
    return TRUE;
}

struct BoxSearch {
    DWORD processId;
    std::vector<MessageBoxInfo>* boxes;
};

BOOL CALLBACK collectBox(HWND window, LPARAM lParam)
{
    auto* s = reinterpret_cast<BoxSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != s->processId || className(window) != L"#32770")
        return TRUE;
    MessageBoxInfo info{window, text(window), std::wstring()};
    if (HWND body = GetDlgItem(window, 0xFFFF))
        info.text = text(body);
    s->boxes->push_back(info);
    return TRUE;
}

}  // namespace

void setProgramPath(const std::string& unixPath) { g_program = unixPath; }

std::wstring programPath()
{
    if (!g_program.empty())
        return windowsPath(g_program);
    return windowsPath(environment("QX_EXE"));
}

// ---------------------------------------------------------------------------

Program::~Program()
{
    if (pi_.hProcess) {
        if (running()) {
            close();
            if (waitExit(10000) == STILL_ACTIVE)
                TerminateProcess(pi_.hProcess, 1);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
        if (pi_.hThread)
            CloseHandle(pi_.hThread);
    }
}

bool Program::start(const std::vector<std::string>& unixEnvironment)
{
    if (unixEnvironment.empty()) {
        const std::wstring exe = programPath();
        if (exe.empty())
            return false;
        std::wstring commandLine = qxsupport::quoteArgument(exe);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &si, &pi_))
            return false;
        waitFor([this] { return (window_ = findMainWindow(pi_.dwProcessId)) != nullptr || !running(); },
                20000);
    } else {
        // Wine hands a child the Unix environment of its parent, whatever
        // Windows environment it is given; a different one takes a start
        // through the shell. The window then tells which process it is.
        std::string unixExe = g_program.empty() ? environment("QX_EXE") : g_program;
        if (unixExe.empty() || findMainWindow(0) != nullptr)
            return false;
        std::string command = "env";
        for (const auto& e : unixEnvironment)
            command += " '" + e + "'";
        command += " wine '" + unixExe + "' >/dev/null 2>&1 &";
        if (runShell(command) != 0)
            return false;
        waitFor([this] { return (window_ = findMainWindow(0)) != nullptr; }, 20000);
        if (window_) {
            GetWindowThreadProcessId(window_, &pi_.dwProcessId);
            pi_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION |
                                           PROCESS_TERMINATE,
                                       FALSE, pi_.dwProcessId);
        }
    }
    // The window has taken its first messages.
    if (window_)
        answers(window_);
    return window_ != nullptr && pi_.hProcess != nullptr;
}

DWORD Program::threadId() const { return window_ ? GetWindowThreadProcessId(window_, nullptr) : 0; }

bool Program::running() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Program::waitExit(DWORD timeoutMs)
{
    if (!pi_.hProcess)
        return STILL_ACTIVE;
    if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

void Program::close()
{
    if (!window_)
        return;
    PostMessageW(window_, WM_CLOSE, 0, 0);
    closeWithoutSaving(pi_.dwProcessId, window_);
}

void closeWithoutSaving(DWORD processId, HWND main)
{
    MessageBoxInfo asked{};
    waitFor(
        [&] {
            for (const MessageBoxInfo& b : messageBoxes(processId))
                if (b.caption == L"Settings Not Saved" && GetDlgItem(b.box, IDNO))
                    asked = b;
            return asked.box != nullptr || !IsWindow(main);
        },
        5000);
    if (asked.box)
        answer(asked, IDNO);
}

// ---------------------------------------------------------------------------

HWND findMainWindow(DWORD processId)
{
    FindData d{processId, nullptr};
    EnumWindows(findMain, reinterpret_cast<LPARAM>(&d));
    return d.found;
}

std::map<int, HWND> children(HWND main)
{
    std::map<int, HWND> map;
    EnumChildWindows(main, collectChild, reinterpret_cast<LPARAM>(&map));
    return map;
}

void click(HWND button)
{
    DWORD_PTR result;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 1000, &result);
}

bool answers(HWND window, DWORD limitMs)
{
    DWORD_PTR result;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limitMs, &result) != 0;
}

RECT screenRectOf(HWND child)
{
    RECT r{};
    GetClientRect(child, &r);
    MapWindowPoints(child, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<MessageBoxInfo> messageBoxes(DWORD processId)
{
    std::vector<MessageBoxInfo> boxes;
    BoxSearch s{processId, &boxes};
    EnumWindows(collectBox, reinterpret_cast<LPARAM>(&s));
    return boxes;
}

namespace {
// Clicks the box's button with that id, or sends its command when the box
// has no such button; returns at once.
void press(const MessageBoxInfo& box, int buttonId)
{
    if (HWND button = GetDlgItem(box.box, buttonId))
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(box.box, WM_COMMAND, static_cast<WPARAM>(buttonId), 0);
}
}  // namespace

bool answer(const MessageBoxInfo& box, int buttonId)
{
    press(box, buttonId);
    return waitFor([&] { return !IsWindow(box.box); }, 10000);
}

bool dismiss(const MessageBoxInfo& box)
{
    return answer(box, IDOK);
}

bool waitForBox(DWORD processId, const std::wstring& caption, MessageBoxInfo& box, DWORD timeoutMs)
{
    return waitFor(
        [&] {
            for (const auto& b : messageBoxes(processId))
                if (b.caption == caption && IsWindowVisible(b.box) && GetDlgItem(b.box, 0xFFFF)) {
                    box = b;
                    return true;
                }
            return false;
        },
        timeoutMs);
}

namespace {
// The file-name field of a standard file dialog: the edit inside the
// combo box cmb13 (1148), or the plain edit edt1 (1152).
HWND fileNameField(HWND dialog)
{
    HWND found[2] = {nullptr, nullptr};  // cmb13, edt1
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM lParam) -> BOOL {
            auto* f = reinterpret_cast<HWND*>(lParam);
            const int id = GetDlgCtrlID(child);
            if (id == 1148 && !f[0])
                f[0] = child;
            if (id == 1152 && !f[1])
                f[1] = child;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(found));
    if (found[0] && className(found[0]) != L"Edit") {
        if (HWND inner = FindWindowExW(found[0], nullptr, L"Edit", nullptr))
            return inner;
    }
    return found[0] ? found[0] : found[1];
}
}  // namespace

bool answerFileDialog(DWORD processId, const std::wstring& caption, const std::wstring& path,
                      DWORD timeoutMs)
{
    MessageBoxInfo dialog;
    HWND field = nullptr;
    const bool found = waitFor(
        [&] {
            for (const auto& b : messageBoxes(processId))
                if (b.caption == caption && IsWindowVisible(b.box) &&
                    (field = fileNameField(b.box)) != nullptr) {
                    dialog = b;
                    return true;
                }
            return false;
        },
        timeoutMs);
    if (!found)
        return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_BLOCK,
                        5000, &result);
    // Not answer(): a file dialog stays open while it asks whether to
    // replace the file.
    press(dialog, IDOK);
    return true;
}

std::wstring clipboardText()
{
    std::wstring out;
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt)
        Sleep(20);
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            out = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

void clearClipboard()
{
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt)
        Sleep(20);
    EmptyClipboard();
    CloseClipboard();
}

std::vector<std::wstring> splitOn(const std::wstring& s, const std::wstring& sep)
{
    std::vector<std::wstring> parts;
    size_t at = 0;
    for (;;) {
        const size_t next = s.find(sep, at);
        parts.push_back(s.substr(at, next == std::wstring::npos ? std::wstring::npos : next - at));
        if (next == std::wstring::npos)
            break;
        at = next + sep.size();
    }
    return parts;
}

double number(const std::wstring& t)
{
    if (t.empty())
        return NAN;
    wchar_t* end = nullptr;
    const double v = std::wcstod(t.c_str(), &end);
    return end && *end == 0 ? v : NAN;
}

void settings::toneBands(int integration)
{
    clear();
    set(L"Filter0", 100);
    set(L"Filter1", 3000);
    set(L"Filter2", 3012);
    set(L"Filter3", 4000);
    set(L"IntLvl", static_cast<DWORD>(integration));
}

bool feed(const std::vector<std::string>& lines)
{
    return qxsupport::feedSignal(lines);
}

}  // namespace drive
