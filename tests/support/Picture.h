// Pictures: a 32-bit copy of part of a device context (the screen, a
// window, a paint buffer), looked at pixel by pixel or written as a PNG file
// into $QX_SCREENSHOTS.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qxsupport {

class Picture {
public:
    Picture() = default;
    // A copy of the rectangle (x, y, width, height) of a device context.
    Picture(HDC source, int x, int y, int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    // COLORREF (0x00bbggrr) of a pixel; 0xFFFFFFFF outside the picture.
    COLORREF at(int x, int y) const;
    bool is(int x, int y, COLORREF c) const { return at(x, y) == c; }
    // Pixels of colour c in the rectangle [x0, x1) x [y0, y1), or in all.
    int count(COLORREF c, int x0, int y0, int x1, int y1) const;
    int count(COLORREF c) const { return count(c, 0, 0, width_, height_); }
    // Pixels for which the test holds.
    int count(const std::function<bool(COLORREF)>& test) const;
    // Columns or rows that hold colour c (sorted, unique).
    std::vector<int> columnsWith(COLORREF c, int y0, int y1) const;
    std::vector<int> rowsWith(COLORREF c, int x0, int x1) const;
    // Smallest y holding colour c, -1 for none.
    int topmost(COLORREF c) const;
    // Every pixel's colour, row by row.
    std::vector<COLORREF> colours() const;
    // The (x, y) of every pixel of colour c, in the rows [y0, y1) (y1 < 0:
    // to the bottom).
    std::set<std::pair<int, int>> pointsOf(COLORREF c, int y0 = 0, int y1 = -1) const;

    // A PNG file (8-bit RGB, stored without compression). False when the
    // picture is empty or the file could not be written.
    bool writePng(const std::wstring& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;  // 0x00rrggbb, top-down
};

// A rectangle of the screen as it is shown now.
Picture captureScreen(const RECT& screenRect);
// A window with its frame, from the screen.
Picture captureWindow(HWND window);
// The client area of a window, through its own device context.
Picture captureClient(HWND window);

// Free-function forms of the members, as many tests call them.
inline bool writePng(const Picture& picture, const std::wstring& path)
{
    return picture.writePng(path);
}
inline std::set<std::pair<int, int>> pixelsOf(const Picture& picture, COLORREF c, int y0 = 0,
                                              int y1 = -1)
{
    return picture.pointsOf(c, y0, y1);
}
inline std::vector<COLORREF> pictureOf(const Picture& picture) { return picture.colours(); }

// $QX_SCREENSHOTS (a Unix path) as a Windows path with the file name
// appended, the folder made if need be; empty when the variable is unset.
std::wstring screenshotPath(const std::wstring& fileName);
// Saves the window (frame included) as $QX_SCREENSHOTS/<name>.png; the Unix
// path written, or empty when there is no folder or nothing was written.
std::string screenshot(HWND window, const std::string& name);

}  // namespace qxsupport
