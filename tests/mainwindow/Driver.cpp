#include "Driver.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Signal.h"

namespace drive {

namespace {

std::string g_program;

std::wstring widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// Windows command-line quoting of one argument.
std::wstring quoteArgument(const std::wstring& arg)
{
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += L'"';
        } else {
            out.append(backslashes, L'\\');
            out += c;
        }
        backslashes = 0;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

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

std::wstring windowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return widen(path);
    std::wstring w = L"Z:" + widen(path);
    for (auto& c : w)
        if (c == L'/')
            c = L'\\';
    return w;
}

std::string environment(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

void setProgramPath(const std::string& unixPath) { g_program = unixPath; }

std::wstring programPath()
{
    if (!g_program.empty())
        return windowsPath(g_program);
    return windowsPath(environment("QX_EXE"));
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(stepMs);
    }
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
        std::wstring commandLine = quoteArgument(exe);
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
    if (window_)
        PostMessageW(window_, WM_CLOSE, 0, 0);
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

std::wstring text(HWND window)
{
    wchar_t buffer[512] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 5000, &result))
        return L"<no answer>";
    return std::wstring(buffer, result);
}

std::wstring className(HWND window)
{
    wchar_t buffer[128] = {};
    const int n = GetClassNameW(window, buffer, 128);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT rectIn(HWND main, HWND child)
{
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND focusOf(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
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

// Wine starts a Unix program from CreateProcess but gives back neither its
// end nor its exit code: the command writes its status to a file when it is
// done, and the file is waited for.
int runShell(const std::string& command, DWORD timeoutMs)
{
    static int serial = 0;
    const std::string done = "/tmp/qx-mainwindow-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(++serial) + ".status";
    const std::wstring doneWin = windowsPath(done);
    DeleteFileW(doneWin.c_str());
    const std::string script = "(" + command + "); echo $? >" + done + ".part; mv " + done +
                               ".part " + done;
    const std::wstring sh = L"Z:\\bin\\sh";
    std::wstring commandLine = L"sh -c " + quoteArgument(widen(script));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(sh.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return -1;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    int code = -1;
    waitFor(
        [&] {
            std::ifstream in(doneWin.c_str());
            return static_cast<bool>(in >> code);
        },
        timeoutMs, 10);
    DeleteFileW(doneWin.c_str());
    return code;
}

std::string shellOutput(const std::string& command, DWORD timeoutMs)
{
    static int serial = 0;
    const std::string file = "/tmp/qx-mainwindow-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++serial) + ".out";
    runShell("(" + command + ") >" + file + " 2>/dev/null", timeoutMs);
    std::ifstream in(windowsPath(file).c_str());
    std::stringstream ss;
    ss << in.rdbuf();
    in.close();
    DeleteFileW(windowsPath(file).c_str());
    return ss.str();
}

bool key(const char* keys)
{
    return runShell(std::string("xdotool key --delay 30 ") + keys) == 0;
}

bool mouseClick(int x, int y)
{
    return runShell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                    " sleep 0.1 click 1") == 0;
}

std::string screenshot(HWND window, const std::string& name)
{
    const std::string folder = environment("QX_SCREENSHOTS");
    if (folder.empty() || !window)
        return std::string();
    RECT r{};
    GetWindowRect(window, &r);
    const std::string path = folder + "/" + name + ".png";
    std::ostringstream cmd;
    cmd << "import -display \"$DISPLAY\" -window root -crop " << (r.right - r.left) << "x"
        << (r.bottom - r.top) << "+" << r.left << "+" << r.top << " +repage " << path;
    return runShell(cmd.str()) == 0 ? path : std::string();
}

int Pixels::count(const std::function<bool(COLORREF)>& test) const
{
    int n = 0;
    for (COLORREF c : data)
        if (test(c))
            ++n;
    return n;
}

Pixels capture(const RECT& r)
{
    Pixels p;
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    if (p.width <= 0 || p.height <= 0)
        return p;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    p.data.resize(static_cast<size_t>(p.width) * p.height);
    const auto* px = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < p.data.size(); ++i) {
        const DWORD v = px[i];  // 0x00RRGGBB in a DIB
        p.data[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
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

void dismiss(const MessageBoxInfo& box)
{
    if (HWND ok = GetDlgItem(box.box, IDOK))
        PostMessageW(ok, BM_CLICK, 0, 0);
    else
        PostMessageW(box.box, WM_COMMAND, IDOK, 0);
}

void answer(const MessageBoxInfo& box, int buttonId)
{
    if (HWND button = GetDlgItem(box.box, buttonId))
        PostMessageW(button, BM_CLICK, 0, 0);
    else
        PostMessageW(box.box, WM_COMMAND, static_cast<WPARAM>(buttonId), 0);
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
    answer(dialog, IDOK);
    return true;
}

bool feed(const std::vector<std::string>& lines)
{
    return qxsupport::feedSignal(lines);
}

namespace settings {

const wchar_t* const kKey = L"SOFTWARE\\Tevra\\QX-700";

void clear() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

void set(const wchar_t* name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

long long get(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG r =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return -1;
    return static_cast<int>(value);
}

}  // namespace settings

}  // namespace drive
