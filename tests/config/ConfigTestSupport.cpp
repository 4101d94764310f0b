#include "ConfigTestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const wchar_t* const kSettingsKey = L"SOFTWARE\\Tevra\\QX-700";
const wchar_t* const kSettingNames[15] = {
    L"SampFrq",    L"NumSamples", L"IntLvl",      L"Filter0",     L"Filter1",
    L"Filter2",    L"Filter3",    L"dbDiff",      L"backColor",   L"gridColor",
    L"refColor",   L"noiseColor", L"threshColor", L"filterColor", L"displaydb"};

// ---------------------------------------------------------------- registry

void clearSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
}

long long readSettingValue(const wchar_t* name)
{
    DWORD value = 0, size = sizeof value, type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return -1;
    return value;
}

void writeSettingValue(const wchar_t* name, DWORD value)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

int settingValueCount()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(values);
}

// ----------------------------------------------------------------- windows

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &result))
        return L"<no answer>";
    return text;
}

std::wstring classNameOf(HWND window)
{
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

namespace {

BOOL CALLBACK collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> descendants(HWND root)
{
    std::vector<HWND> all;
    EnumChildWindows(root, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> children(HWND root)
{
    std::vector<HWND> list;
    for (HWND w = GetWindow(root, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        list.push_back(w);
    return list;
}

HWND findControl(HWND root, int id, const wchar_t* cls)
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

RECT rectInParent(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

namespace {

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
    if (pid != q->pid)
        return TRUE;
    if (q->cls && classNameOf(window) != q->cls)
        return TRUE;
    if (q->title && windowText(window) != q->title)
        return TRUE;
    q->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* cls, const wchar_t* title)
{
    TopLevelQuery q{pid, cls, title, {}};
    EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND waitForTopLevel(DWORD pid, const wchar_t* cls, const wchar_t* title, int timeoutMs,
                     const std::function<void()>& idle)
{
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : topLevelWindows(pid, cls, title))
            if (IsWindowVisible(w))
                return w;
        if (static_cast<int>(GetTickCount() - start) > timeoutMs)
            return nullptr;
        if (idle)
            idle();
        else
            Sleep(20);
    }
}

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
        if (dialog) {
            Sleep(100);  // let the dialog finish its initialisation
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

// ------------------------------------------------------------------- input

namespace {

void sendKey(WORD vk, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

}  // namespace

void keyDown(WORD vk)
{
    sendKey(vk, false);
}

void keyUp(WORD vk)
{
    sendKey(vk, true);
}

void pressKey(WORD vk)
{
    keyDown(vk);
    keyUp(vk);
}

void pressKeyWith(WORD modifier, WORD vk)
{
    keyDown(modifier);
    pressKey(vk);
    keyUp(modifier);
}

void typeText(const wchar_t* text)
{
    for (const wchar_t* p = text; *p; ++p) {
        const SHORT scan = VkKeyScanW(*p);
        const WORD vk = LOBYTE(scan);
        if (HIBYTE(scan) & 1)
            pressKeyWith(VK_SHIFT, vk);
        else
            pressKey(vk);
    }
}

// ------------------------------------------------------------------ leaks

namespace {

struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR handleAttributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};

struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

int kernelHandleCount(DWORD pid)
{
    static auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                               "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; attempt < 16; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
            continue;
        }
        if (status != 0)
            return -1;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        int n = 0;
        for (ULONG i = 0; i < table->count; ++i)
            if (table->entries[i].processId == static_cast<USHORT>(pid))
                ++n;
        return n;
    }
    return -1;
}

int gdiProbeIndex()
{
    // More probes than the table can have free below its high-water mark: the
    // last of them comes from fresh slots, so its index is the number of live
    // objects plus the probes, whatever order freed slots are handed out in.
    constexpr int kProbes = 3000;
    std::vector<HBRUSH> probes;
    probes.reserve(kProbes);
    int highest = 0;
    for (int i = 0; i < kProbes; ++i) {
        HBRUSH b = CreateSolidBrush(RGB(i & 0xFF, 1, 2));
        if (!b)
            break;
        probes.push_back(b);
        const int index = static_cast<int>(reinterpret_cast<uintptr_t>(b) & 0xFFFF);
        if (index > highest)
            highest = index;
    }
    for (HBRUSH b : probes)
        DeleteObject(b);
    return highest;
}

namespace {

BOOL CALLBACK countWindowsOf(HWND window, LPARAM param)
{
    auto* q = reinterpret_cast<std::pair<DWORD, int>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == q->first) {
        ++q->second;
        q->second += static_cast<int>(descendants(window).size());
    }
    return TRUE;
}

}  // namespace

int windowCount(DWORD pid)
{
    std::pair<DWORD, int> q{pid, 0};
    EnumWindows(countWindowsOf, reinterpret_cast<LPARAM>(&q));
    return q.second;
}

// -------------------------------------------------------------- pictures

COLORREF Picture::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0xFFFFFFFFu;
    const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

Picture captureScreen(const RECT& r)
{
    Picture pic;
    pic.width = r.right - r.left;
    pic.height = r.bottom - r.top;
    if (pic.width <= 0 || pic.height <= 0)
        return pic;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = pic.width;
    bi.bmiHeader.biHeight = -pic.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, pic.width, pic.height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    pic.pixels.assign(static_cast<const uint32_t*>(bits),
                      static_cast<const uint32_t*>(bits) + static_cast<size_t>(pic.width) * pic.height);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pic;
}

Picture captureWindow(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return captureScreen(r);
}

namespace {

uint32_t crc32(const unsigned char* data, size_t length, uint32_t crc)
{
    static uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        made = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put32(std::vector<unsigned char>& out, uint32_t v)
{
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void chunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data)
{
    put32(out, static_cast<uint32_t>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, crc32(body.data(), body.size(), 0));
}

}  // namespace

bool writePng(const Picture& pic, const std::wstring& path)
{
    if (path.empty() || pic.width <= 0 || pic.height <= 0)
        return false;
    // Raw scanlines (filter 0, RGB), stored in uncompressed deflate blocks.
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(pic.height) * (pic.width * 3 + 1));
    for (int y = 0; y < pic.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < pic.width; ++x) {
            const uint32_t p = pic.pixels[static_cast<size_t>(y) * pic.width + x];
            raw.push_back(static_cast<unsigned char>(p >> 16));
            raw.push_back(static_cast<unsigned char>(p >> 8));
            raw.push_back(static_cast<unsigned char>(p));
        }
    }
    std::vector<unsigned char> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t pos = 0;
    do {
        const size_t n = raw.size() - pos > 65535 ? 65535 : raw.size() - pos;
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    put32(z, (b << 16) | a);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    put32(header, static_cast<uint32_t>(pic.width));
    put32(header, static_cast<uint32_t>(pic.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    const bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    fclose(f);
    return ok;
}

std::wstring unixPathFromEnv(const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return L"";
    std::wstring path = L"Z:";
    for (const char* p = value; *p; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return path;
}

std::wstring screenshotPath(const wchar_t* fileName)
{
    std::wstring dir = unixPathFromEnv("QX_SCREENSHOTS");
    if (dir.empty())
        return L"";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\" + fileName;
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs, const std::function<void()>& pump)
{
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMs)
            return pred();
        if (pump)
            pump();
        Sleep(5);
    }
    return true;
}

// ----------------------------------------------------------- the program

int runShell(const std::string& command, int timeoutMs)
{
    static int serial = 0;
    const std::string done = "/tmp/qx-config-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++serial) + ".status";
    std::wstring doneWin = L"Z:";
    for (char c : done)
        doneWin += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    DeleteFileW(doneWin.c_str());
    const std::string script =
        "(" + command + "); echo $? >" + done + ".part; mv " + done + ".part " + done;
    std::wstring commandLine = L"sh -c \"";
    for (char c : script) {
        if (c == '"' || c == '\\')
            commandLine += L'\\';
        commandLine += static_cast<wchar_t>(c);
    }
    commandLine += L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return -1;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    int status = -1;
    const DWORD start = GetTickCount();
    while (static_cast<int>(GetTickCount() - start) < timeoutMs) {
        FILE* f = _wfopen(doneWin.c_str(), L"r");
        if (f) {
            const int read = fscanf(f, "%d", &status);
            fclose(f);
            if (read == 1)
                break;
        }
        Sleep(10);
    }
    DeleteFileW(doneWin.c_str());
    return status;
}

bool xdoKey(const std::string& keys)
{
    return runShell("xdotool key --delay 40 " + keys) == 0;
}

bool xdoType(const std::string& text)
{
    return runShell("xdotool type --delay 60 '" + text + "'") == 0;
}

RunningProgram::~RunningProgram()
{
    if (!pi_.hProcess)
        return;
    if (running() && !close())
        TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
}

bool RunningProgram::start()
{
    const std::wstring exe = unixPathFromEnv("QX_EXE");
    if (exe.empty())
        return false;
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi_))
        return false;
    main_ = waitForTopLevel(pi_.dwProcessId, L"P2GUIWindow", L"Tevra Audio Spectrum Analyzer", 20000);
    if (!main_)
        return false;
    DWORD_PTR result;
    SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    Sleep(150);
    return true;
}

bool RunningProgram::close(int timeoutMs)
{
    if (!running())
        return true;
    // Whatever modal box is up first, then the window itself.
    for (HWND box : topLevelWindows(pi_.dwProcessId, L"#32770"))
        PostMessageW(box, WM_CLOSE, 0, 0);
    if (main_)
        PostMessageW(main_, WM_CLOSE, 0, 0);
    return WaitForSingleObject(pi_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool RunningProgram::running() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND RunningProgram::focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(threadId(), &info))
        return nullptr;
    return info.hwndFocus;
}
