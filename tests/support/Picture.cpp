#include "Picture.h"

#include <cstdio>

#include "Environment.h"

namespace qxsupport {

Picture::Picture(HDC source, int x, int y, int width, int height) : width_(width), height_(height)
{
    if (width <= 0 || height <= 0) {
        width_ = height_ = 0;
        return;
    }
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
    if (bits)
        pixels_.assign(static_cast<const uint32_t*>(bits),
                       static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
    else
        pixels_.assign(static_cast<size_t>(width) * height, 0);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
}

COLORREF Picture::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0xFFFFFFFFu;
    const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Picture::count(COLORREF c, int x0, int y0, int x1, int y1) const
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (at(x, y) == c)
                ++n;
    return n;
}

int Picture::count(const std::function<bool(COLORREF)>& test) const
{
    int n = 0;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (test(at(x, y)))
                ++n;
    return n;
}

std::vector<int> Picture::columnsWith(COLORREF c, int y0, int y1) const
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

std::vector<int> Picture::rowsWith(COLORREF c, int x0, int x1) const
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

int Picture::topmost(COLORREF c) const
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (at(x, y) == c)
                return y;
    return -1;
}

std::vector<COLORREF> Picture::colours() const
{
    std::vector<COLORREF> out;
    out.reserve(pixels_.size());
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            out.push_back(at(x, y));
    return out;
}

std::set<std::pair<int, int>> Picture::pointsOf(COLORREF c, int y0, int y1) const
{
    std::set<std::pair<int, int>> out;
    if (y1 < 0 || y1 > height_)
        y1 = height_;
    for (int y = y0 < 0 ? 0 : y0; y < y1; ++y)
        for (int x = 0; x < width_; ++x)
            if (at(x, y) == c)
                out.insert({x, y});
    return out;
}

namespace {

uint32_t crc32(const unsigned char* data, size_t length)
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
    uint32_t crc = 0xFFFFFFFFu;
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

// The zlib stream holds stored (uncompressed) deflate blocks: large files,
// but no compressor needed.
bool Picture::writePng(const std::wstring& path) const
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

Picture captureScreen(const RECT& wanted)
{
    // A maximised window's frame lies a few pixels beyond the screen, and a
    // copy from outside the screen gives nothing at all: take the part on it.
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const RECT screenRect{x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                          y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT r{};
    if (!IntersectRect(&r, &wanted, &screenRect))
        return Picture(nullptr, 0, 0, 0, 0);
    HDC screen = GetDC(nullptr);
    Picture picture(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return picture;
}

Picture captureWindow(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return captureScreen(r);
}

Picture captureClient(HWND window)
{
    RECT rc{};
    GetClientRect(window, &rc);
    HDC dc = GetDC(window);
    Picture picture(dc, 0, 0, rc.right, rc.bottom);
    ReleaseDC(window, dc);
    return picture;
}

std::wstring screenshotPath(const std::wstring& fileName)
{
    std::wstring folder = windowsPathFromEnv("QX_SCREENSHOTS");
    if (folder.empty())
        return std::wstring();
    CreateDirectoryW(folder.c_str(), nullptr);
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder + fileName;
}

std::string screenshot(HWND window, const std::string& name)
{
    const std::string folder = environment("QX_SCREENSHOTS");
    if (folder.empty() || !window)
        return std::string();
    const std::wstring path = screenshotPath(widen(name + ".png"));
    return captureWindow(window).writePng(path) ? folder + "/" + name + ".png" : std::string();
}

}  // namespace qxsupport
