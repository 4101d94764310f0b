#include "TestHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void applyEngineDefaults(ParameterStore& store)
{
    store.set(Param::NumSamples, 1024);
    store.set(Param::SampFrq, 12000);
    store.set(Param::DisplayDb, 1);
    store.set(Param::IntLvl, 16);
    store.set(Param::IntCount, 1);
    store.set(Param::BackColor, 0x808080);
    store.set(Param::GridColor, 0xFFFF00);
    store.set(Param::RefColor, 0xFF0000);
    store.set(Param::NoiseColor, 0x00FF00);
    store.set(Param::ThreshColor, 0x0000FF);
    store.set(Param::FilterColor, 0xFFFFFF);
    struct Fixed {
        int id;
        COLORREF colour;
    };
    const Fixed fixed[] = {{15, 0xA08080}, {16, 0xFFFFFF}, {17, 0x606060}, {18, 0xC0C0C0},
                           {19, 0xA0C0C0}, {20, 0x000000}, {21, 0x2020E0}, {22, 0x002080},
                           {23, 0xA0C0C0}, {24, 0x1030A0}, {25, 0x0000FF}, {26, 0x000080},
                           {72, 0xC04000}};
    HDC screen = GetDC(nullptr);
    for (const Fixed& f : fixed)
        store.set(f.id, static_cast<int>(GetNearestColor(screen, f.colour)));
    ReleaseDC(nullptr, screen);
    store.set(Param::DbDiff, 50);
    store.set(Param::Filter0, 100);
    store.set(Param::Filter1, 500);
    store.set(Param::Filter2, 1500);
    store.set(Param::Filter3, 4000);
    store.set(Param::ProgressHidden, 1);
    store.set(Param::RefMode, 1);
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store.set(id, -1);
}

TestHost::TestHost(int clientWidth, int clientHeight, const wchar_t* title)
    : GuiWindow(nullptr), store_(std::make_unique<ParameterStore>())
{
    setOwner(this);
    registerGuiWindowClass(GetModuleHandleW(nullptr));
    applyEngineDefaults(*store_);
    store_->set(Param::BufferLock, reinterpret_cast<intptr_t>(&lock_));
    store_->set(Param::BandEdges, reinterpret_cast<intptr_t>(bandEdges));
    store_->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(refBands));
    store_->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(anaBands));
    store_->createGdiObjects();

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    createOwnWindow(0, style, 0, 0, frame.right - frame.left, frame.bottom - frame.top, title, 0,
                    nullptr);
    SetForegroundWindow(handle_);
    UpdateWindow(handle_);
    pumpMessages();
}

TestHost::~TestHost()
{
    close();
    for (auto& destroy : owned_)
        destroy();
    buffer_.release();
    store_->deleteGdiObjects();
}

void TestHost::close()
{
    if (handle_)
        DestroyWindow(handle_);
    pumpMessages(5, 200);
}

int TestHost::notify(const Notification& n)
{
    notifications.push_back(n.code());
    return onNotify ? onNotify(n.code()) : 0;
}

LRESULT TestHost::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        buffer_.rebuild(window);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        HBRUSH brush = store_->handle<HBRUSH>(Param::LabelBrush);
        if (buffer_.dc()) {
            FillRect(buffer_.dc(), &rc, brush);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, buffer_.dc(), 0, 0, SRCCOPY);
        } else {
            FillRect(dc, &rc, brush);
        }
        EndPaint(window, &ps);
        return 0;
    }
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

void TestHost::publish(const DisplayBuffer& working, int n)
{
    writeIndex_ = publishDisplayBuffer(*store_, lock_, working, writeIndex_, n);
    store_->set(Param::DataPresent, 1);
}

// -------------------------------------------------------------------- Image

Image::Image(HDC source, int x, int y, int width, int height) : width_(width), height_(height)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    pixels_.assign(static_cast<const uint32_t*>(bits),
                   static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
}

COLORREF Image::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0xFFFFFFFFu;
    const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Image::count(COLORREF c, int x0, int y0, int x1, int y1) const
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (at(x, y) == c)
                ++n;
    return n;
}

std::vector<int> Image::columnsWith(COLORREF c, int y0, int y1) const
{
    std::vector<int> out;
    for (int x = 0; x < width_; ++x)
        for (int y = y0; y < y1; ++y)
            if (at(x, y) == c) {
                out.push_back(x);
                break;
            }
    return out;
}

std::vector<int> Image::rowsWith(COLORREF c, int x0, int x1) const
{
    std::vector<int> out;
    for (int y = 0; y < height_; ++y)
        for (int x = x0; x < x1; ++x)
            if (at(x, y) == c) {
                out.push_back(y);
                break;
            }
    return out;
}

int Image::topmost(COLORREF c) const
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (at(x, y) == c)
                return y;
    return -1;
}

namespace {

uint32_t crc32(const unsigned char* data, size_t length, uint32_t crc = 0)
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

void chunk(std::vector<unsigned char>& file, const char* type, const std::vector<unsigned char>& data)
{
    put32(file, static_cast<uint32_t>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    file.insert(file.end(), body.begin(), body.end());
    put32(file, crc32(body.data(), body.size()));
}

}  // namespace

// A PNG with an uncompressed (stored) zlib stream: large, but needs no
// compressor.
bool Image::writePng(const std::wstring& path) const
{
    if (width_ <= 0 || height_ <= 0 || path.empty())
        return false;
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(height_) * (1 + 3 * width_));
    for (int y = 0; y < height_; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < width_; ++x) {
            const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
            raw.push_back(static_cast<unsigned char>(p >> 16));
            raw.push_back(static_cast<unsigned char>(p >> 8));
            raw.push_back(static_cast<unsigned char>(p));
        }
    }
    std::vector<unsigned char> z{0x78, 0x01};
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
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::vector<unsigned char> file{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<unsigned char> header;
    put32(header, static_cast<uint32_t>(width_));
    put32(header, static_cast<uint32_t>(height_));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", z);
    chunk(file, "IEND", {});
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    const bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    return fclose(f) == 0 && ok;
}

Image captureClient(HWND window)
{
    RECT rc;
    GetClientRect(window, &rc);
    HDC dc = GetDC(window);
    Image image(dc, 0, 0, rc.right, rc.bottom);
    ReleaseDC(window, dc);
    return image;
}

Image captureScreen(HWND window)
{
    RECT rc;
    GetWindowRect(window, &rc);
    HDC dc = GetDC(nullptr);
    Image image(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    ReleaseDC(nullptr, dc);
    return image;
}

Image captureBuffer(TestHost& host, int x, int y, int width, int height)
{
    return Image(host.bufferDc(), x, y, width, height);
}

void pumpMessages(int quietMs, int limitMs)
{
    const DWORD start = GetTickCount();
    DWORD lastMessage = start;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            // Timers tick for as long as the mouse rests on a control (hover
            // tracking); they do not count as activity.
            constexpr UINT kSystemTimer = 0x0118;
            if (msg.message != WM_TIMER && msg.message != kSystemTimer)
                lastMessage = GetTickCount();
            continue;
        }
        const DWORD now = GetTickCount();
        if (now - lastMessage >= static_cast<DWORD>(quietMs) || now - start >= static_cast<DWORD>(limitMs))
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void repaint(HWND window)
{
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

namespace {
// One mouse event at a screen position. The position travels with the event:
// a separate SetCursorPos can be overtaken by the X server's own report of
// the pointer, and the click would land at the old place.
void sendMouse(POINT at, DWORD flags)
{
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(at.x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(at.y) * 65536 + h - 1) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}
}  // namespace

void clickAt(HWND window, int clientX, int clientY, bool right)
{
    POINT p{clientX, clientY};
    ClientToScreen(window, &p);
    sendMouse(p, 0);
    pumpMessages(10, 200);
    sendMouse(p, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    sendMouse(p, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    pumpMessages();
}

void doubleClickAt(HWND window, int clientX, int clientY)
{
    POINT p{clientX, clientY};
    ClientToScreen(window, &p);
    sendMouse(p, 0);
    pumpMessages(10, 200);
    Sleep(GetDoubleClickTime() + 50);  // apart from any earlier click
    for (int i = 0; i < 2; ++i) {
        sendMouse(p, MOUSEEVENTF_LEFTDOWN);
        sendMouse(p, MOUSEEVENTF_LEFTUP);
    }
    pumpMessages();
}

void pressKey(WORD vk)
{
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
    pumpMessages();
}

void typeText(const wchar_t* text)
{
    for (const wchar_t* c = text; *c; ++c) {
        INPUT in[2]{};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = *c;
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof in[0]);
    }
    pumpMessages();
}

std::wstring screenshotPath(const wchar_t* fileName)
{
    const wchar_t* dir = _wgetenv(L"QX_SCREENSHOTS");
    if (!dir || !*dir)
        return {};
    std::wstring path = dir;
    if (path[0] == L'/')
        path = L"Z:" + path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    CreateDirectoryW(path.c_str(), nullptr);
    if (path.back() != L'\\')
        path += L'\\';
    return path + fileName;
}

int gdiObjectCount()
{
    // One entry of the table (24 bytes): object, owner, unique, type, flags,
    // user pointer.
    struct Entry {
        uint64_t object;
        uint32_t owner;
        uint16_t unique;
        uint8_t type;
        uint8_t flags;
        uint64_t userPointer;
    };
    static_assert(sizeof(Entry) == 24, "GDI handle table entry");
    constexpr int kEntries = 0x10000;
    constexpr size_t kPebTableOffset = 0xF8;  // PEB.GdiSharedHandleTable on x86-64
    const unsigned char* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
    const Entry* table = *reinterpret_cast<const Entry* const*>(peb + kPebTableOffset);
    if (!table)
        return -1;
    int live = 0;
    for (int i = 0; i < kEntries; ++i)
        if (table[i].type != 0)
            ++live;
    return live;
}
