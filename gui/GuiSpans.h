// Thick lines drawn straight into a 32-bit picture, free of <windows.h>.
//
// At 200 % and more a trace is several pixels thick. GDI draws such a line
// as hairlines side by side, each walked pixel by pixel down the same
// columns; under Wine two hairline polylines through the 1168 columns of a
// 400-pixel graph take about 430 us. Written here as runs of whole rows they
// take about 80 us (scripts/bench repaint).
//
// How it works: a segment is cut into one vertical run per column it
// crosses, from the row where the line enters the column to the row where
// it leaves it (the segment's own ends in its first and last column),
// rounded to the nearest row. Each run is stamped `thickness` pixels wide
// and reaches thickness - 1 rows further down, so the line is that thick in
// every direction, and each row of a run is a few adjacent pixels. A
// segment's last column is drawn too: a polyline's joints are covered twice,
// which an opaque colour does not show.
#pragma once

#include <cstddef>
#include <cstdint>

namespace GuiSpans {

// A 32-bit picture: `pixels` is the top row, `stride` the distance in pixels
// from one row to the one below (negative for a bottom-up bitmap).
struct Picture {
    std::uint32_t* pixels;
    std::ptrdiff_t stride;
    int width;
    int height;
};

// The rectangle drawing may touch: left and top inclusive, right and bottom
// exclusive; the picture's own bounds apply as well.
struct Clip {
    int left;
    int top;
    int right;
    int bottom;
};

// A pixel for a GDI colour (0x00BBGGRR): 0x00RRGGBB.
std::uint32_t pixelOf(std::uint32_t colorref);

// One segment from (x0, y0) to (x1, y1), both ends included.
void segment(const Picture& picture, const Clip& clip, int x0, int y0, int x1, int y1,
             int thickness, std::uint32_t pixel);

// A rectangle filled: left and top inclusive, right and bottom exclusive.
// Hatched, only the pixels of GDI's HS_BDIAGONAL pattern with its origin at
// the picture's (0, 0) are set, as FillRect with a hatched brush draws in
// the TRANSPARENT background mode; framed, a line one pixel wide along its
// inside edges as well (FrameRect).
enum class Fill { Solid, Hatched, HatchedFramed };
void box(const Picture& picture, const Clip& clip, int left, int top, int right, int bottom,
         Fill fill, std::uint32_t pixel);

// The columns of a polyline whose x never decreases, gathered segment by
// segment and then filled row by row, each pixel once: a row of the picture
// is one stretch of memory, a column touches a page per pixel. The rows are
// those of each tile of 16 columns, not of the whole line; a tile whose
// runs cover less than half of its rows (a zigzag of noise, a step) is
// written column by column. Each column's
// rows form one unbroken run, because such a line meets itself only at
// shared rows. One Runs at a time on a thread: it uses the thread's scratch,
// and clears only the columns it touched, so a short line costs little.
class Runs {
public:
    Runs(const Picture& picture, const Clip& clip, int thickness);
    ~Runs();
    Runs(const Runs&) = delete;
    Runs& operator=(const Runs&) = delete;
    void add(int x0, int y0, int x1, int y1);
    void fill(std::uint32_t pixel);
    // Each column x in a pixel of its own, columnPixels[x] (x from 0 to the
    // picture's width - 1): a trace coloured column by column in one pass.
    void fill(const std::uint32_t* columnPixels);

private:
    // The box's columns' runs into t_start and t_length; false when there
    // is nothing to fill. Sets the rows to fill, top and bottom.
    bool prepare(int& top, int& bottom);
    // The runs filled, box column c in pixelOf(c).
    template <class PixelOf>
    void fillWith(PixelOf pixelOf);

    Picture picture_;
    int left_, top_, right_, bottom_;  // the visible part
    int thickness_;
    int* first_ = nullptr;  // each visible column's first and last row
    int* last_ = nullptr;
    int boxLeft_, boxTop_, boxRight_, boxBottom_;  // what the runs cover
};

// A polyline through `count` points (anything with members x and y): in
// Runs when it is long and x never decreases, else segment by segment (a
// few segments cost less than filling their box).
template <class Point>
void polyline(const Picture& picture, const Clip& clip, const Point* points, int count,
              int thickness, std::uint32_t pixel)
{
    bool rightwards = count >= 16;
    for (int i = 1; i < count && rightwards; ++i)
        rightwards = points[i].x >= points[i - 1].x;
    if (rightwards) {
        Runs runs(picture, clip, thickness);
        for (int i = 1; i < count; ++i)
            runs.add(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
        runs.fill(pixel);
        return;
    }
    for (int i = 1; i < count; ++i)
        segment(picture, clip, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y,
                thickness, pixel);
}

}  // namespace GuiSpans
