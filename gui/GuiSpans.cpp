#include "gui/GuiSpans.h"

#include <algorithm>
#include <climits>
#include <type_traits>
#include <vector>

namespace GuiSpans {

namespace {

// The visible part of a picture: the clip within the picture's bounds.
Clip visibleOf(const Picture& picture, const Clip& clip)
{
    return Clip{std::max(clip.left, 0), std::max(clip.top, 0), std::min(clip.right, picture.width),
                std::min(clip.bottom, picture.height)};
}

bool isEmpty(const Clip& c) { return c.left >= c.right || c.top >= c.bottom; }

// Calls run(x, first, last) for every column x of the segment whose stamp
// can reach columns left..right - 1, with the rows first <= last the line
// crosses in it. The row at x0 + k / 2 rounded to the nearest is
// y0 + floor((dy k + dx) / 2 dx), in integers: the line enters column
// x0 + j at k = 2j - 1 and leaves it at k = 2j + 1 (the segment's own ends
// in its first and last column). From one column to the next that row
// moves on by 2 dy / 2 dx, kept as a quotient and a remainder: one
// division a segment, not four a column.
template <class Run>
void columnsOf(int x0, int y0, int x1, int y1, int thickness, int left, int right, Run run)
{
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    if (x0 == x1) {
        if (x0 + thickness > left && x0 < right)
            run(x0, std::min(y0, y1), std::max(y0, y1));
        return;
    }
    if (x1 - x0 == 1) {
        // One point a column, as every trace is drawn: the line leaves the
        // first column and enters the second at y0 + floor((dy + 1) / 2),
        // no division needed.
        const long long s = static_cast<long long>(y1) - y0 + 1;
        const int mid = static_cast<int>(y0 + (s >= 0 ? s / 2 : -((1 - s) / 2)));
        if (x0 + thickness > left && x0 < right)
            run(x0, std::min(y0, mid), std::max(y0, mid));
        if (x1 + thickness > left && x1 < right)
            run(x1, std::min(mid, y1), std::max(mid, y1));
        return;
    }
    const long long dx = x1 - x0;
    const long long dy = y1 - y0;
    const long long den = 2 * dx;
    auto floorDiv = [den](long long num, long long& rem) {
        long long q = num / den;
        rem = num - q * den;
        if (rem < 0) {
            --q;
            rem += den;
        }
        return q;
    };
    const int from = std::max(x0, left - thickness + 1);
    const int to = std::min(x1, right - 1);
    if (from > to)
        return;
    // The row where the line enters column `from` (k = 2j - 1), and the
    // step to the next column's.
    long long rem = 0;
    long long q = floorDiv(dy * (2LL * (from - x0) - 1) + dx, rem);
    long long stepRem = 0;
    const long long stepQ = floorDiv(2 * dy, stepRem);
    for (int x = from; x <= to; ++x) {
        const int enters = y0 + static_cast<int>(q);
        q += stepQ;
        rem += stepRem;
        if (rem >= den) {
            rem -= den;
            ++q;
        }
        int a = x == x0 ? y0 : enters;
        int b = x == x1 ? y1 : y0 + static_cast<int>(q);
        if (a > b)
            std::swap(a, b);
        run(x, a, b);
    }
}

}  // namespace

std::uint32_t pixelOf(std::uint32_t colorref)
{
    return ((colorref & 0xFFu) << 16) | (colorref & 0xFF00u) | ((colorref >> 16) & 0xFFu);
}

void segment(const Picture& picture, const Clip& clip, int x0, int y0, int x1, int y1,
             int thickness, std::uint32_t pixel)
{
    const Clip v = visibleOf(picture, clip);
    if (!picture.pixels || thickness < 1 || isEmpty(v))
        return;
    columnsOf(x0, y0, x1, y1, thickness, v.left, v.right, [&](int x, int first, int last) {
        const int c0 = std::max(x, v.left);
        const int c1 = std::min(x + thickness, v.right);
        const int r0 = std::max(first, v.top);
        const int r1 = std::min(last + thickness, v.bottom);
        std::uint32_t* row = picture.pixels + static_cast<std::ptrdiff_t>(r0) * picture.stride;
        for (int r = r0; r < r1; ++r, row += picture.stride)
            for (int c = c0; c < c1; ++c)
                row[c] = pixel;
    });
}

void box(const Picture& picture, const Clip& clip, int left, int top, int right, int bottom,
         Fill fill, std::uint32_t pixel)
{
    const Clip v = visibleOf(picture, clip);
    const int c0 = std::max(left, v.left), c1 = std::min(right, v.right);
    const int r0 = std::max(top, v.top), r1 = std::min(bottom, v.bottom);
    if (!picture.pixels || c0 >= c1 || r0 >= r1)
        return;
    for (int r = r0; r < r1; ++r) {
        std::uint32_t* row = picture.pixels + static_cast<std::ptrdiff_t>(r) * picture.stride;
        if (fill == Fill::Solid || (fill == Fill::HatchedFramed && (r == top || r == bottom - 1))) {
            std::fill(row + c0, row + c1, pixel);
            continue;
        }
        // The pattern's pixels on this row: x + y = 7 (mod 8).
        for (int c = c0 + ((7 - r - c0) % 8 + 8) % 8; c < c1; c += 8)
            row[c] = pixel;
        if (fill == Fill::HatchedFramed) {
            if (left >= c0)
                row[left] = pixel;
            if (right - 1 < c1)
                row[right - 1] = pixel;
        }
    }
}

namespace {
// Each visible column's first and last row (INT_MAX and INT_MIN between
// two Runs), and the run's start and length in the box that is filled.
thread_local std::vector<int> t_first;
thread_local std::vector<int> t_last;
thread_local std::vector<std::uint32_t> t_start;
thread_local std::vector<std::uint32_t> t_length;
}  // namespace

Runs::Runs(const Picture& picture, const Clip& clip, int thickness)
    : picture_(picture), thickness_(thickness), boxLeft_(INT_MAX), boxTop_(INT_MAX),
      boxRight_(INT_MIN), boxBottom_(INT_MIN)
{
    const Clip v = visibleOf(picture, clip);
    left_ = v.left;
    top_ = v.top;
    right_ = v.right;
    bottom_ = v.bottom;
    if (isEmpty(v) || !picture.pixels || thickness < 1) {
        right_ = left_;  // nothing visible: add and fill do nothing
        return;
    }
    const std::size_t width = static_cast<std::size_t>(right_ - left_);
    if (t_first.size() < width) {
        t_first.resize(width, INT_MAX);
        t_last.resize(width, INT_MIN);
    }
    first_ = t_first.data();
    last_ = t_last.data();
}

Runs::~Runs()
{
    for (int c = boxLeft_; c < boxRight_; ++c) {
        first_[c - left_] = INT_MAX;
        last_[c - left_] = INT_MIN;
    }
}

void Runs::add(int x0, int y0, int x1, int y1)
{
    if (right_ <= left_)
        return;
    columnsOf(x0, y0, x1, y1, thickness_, left_, right_, [&](int x, int a, int b) {
        const int c0 = std::max(x, left_);
        const int c1 = std::min(x + thickness_, right_);
        const int end = b + thickness_ - 1;
        for (int c = c0; c < c1; ++c) {
            int& first = first_[c - left_];
            int& last = last_[c - left_];
            first = std::min(first, a);
            last = std::max(last, end);
        }
        boxLeft_ = std::min(boxLeft_, c0);
        boxRight_ = std::max(boxRight_, c1);
        boxTop_ = std::min(boxTop_, a);
        boxBottom_ = std::max(boxBottom_, end + 1);
    });
}

bool Runs::prepare(int& top, int& bottom)
{
    top = std::max(boxTop_, top_);
    bottom = std::min(boxBottom_, bottom_);
    if (boxLeft_ >= boxRight_ || top >= bottom)
        return false;
    const int span = boxRight_ - boxLeft_;
    std::vector<std::uint32_t>& starts = t_start;
    std::vector<std::uint32_t>& lengths = t_length;
    starts.resize(span);
    lengths.resize(span);
    for (int c = 0; c < span; ++c) {
        const int a = first_[boxLeft_ - left_ + c];
        const int b = last_[boxLeft_ - left_ + c];
        // Rows are compared as unsigned distances from the start: a run
        // that starts above the picture still ends where it should.
        starts[c] = static_cast<std::uint32_t>(b >= a ? a : 0);
        lengths[c] = static_cast<std::uint32_t>(b >= a ? b - a + 1 : 0);
    }
    return true;
}

template <class PixelOf>
void Runs::fillWith(PixelOf pixelOf)
{
    int top, bottom;
    if (!prepare(top, bottom))
        return;
    // Tiles of a few columns, each filled within its own rows: a trace that
    // climbs or falls across the graph fills only the rows near it. A tile
    // whose runs cover little of its rows (steep steps, a lone spike) is
    // written column by column instead of row by row.
    constexpr int kTile = 16;
    const int span = boxRight_ - boxLeft_;
    const std::uint32_t* start = t_start.data();
    const std::uint32_t* length = t_length.data();
    std::uint32_t* const origin = picture_.pixels + boxLeft_;
    for (int c0 = 0; c0 < span; c0 += kTile) {
        const int c1 = std::min(span, c0 + kTile);
        // Each column's visible rows, from..to (exclusive).
        int from[kTile], to[kTile];
        int lo = INT_MAX, hi = INT_MIN;
        long long covered = 0;
        for (int c = c0; c < c1; ++c) {
            const int a = std::max(first_[boxLeft_ - left_ + c], top);
            const int b = std::min(last_[boxLeft_ - left_ + c] + 1, bottom);
            from[c - c0] = a;
            to[c - c0] = b;
            if (a >= b)
                continue;
            lo = std::min(lo, a);
            hi = std::max(hi, b);
            covered += b - a;
        }
        if (lo >= hi)
            continue;
        if (covered * 2 < static_cast<long long>(hi - lo) * (c1 - c0)) {
            for (int c = c0; c < c1; ++c) {
                const std::uint32_t pixel = pixelOf(c);
                std::uint32_t* p =
                    origin + static_cast<std::ptrdiff_t>(from[c - c0]) * picture_.stride + c;
                for (int r = from[c - c0]; r < to[c - c0]; ++r, p += picture_.stride)
                    *p = pixel;
            }
            continue;
        }
        auto rows = [&](auto columns) {
            for (int r = lo; r < hi; ++r) {
                std::uint32_t* row = origin + static_cast<std::ptrdiff_t>(r) * picture_.stride + c0;
                const std::uint32_t y = static_cast<std::uint32_t>(r);
                for (int k = 0; k < columns; ++k) {
                    const int c = c0 + k;
                    const std::uint32_t on =
                        0u - static_cast<std::uint32_t>(y - start[c] < length[c]);
                    row[k] = (row[k] & ~on) | (pixelOf(c) & on);
                }
            }
        };
        // A whole tile's row in a loop of known length, which the compiler
        // unrolls into a few vector operations; the last tile as it comes.
        if (c1 - c0 == kTile)
            rows(std::integral_constant<int, kTile>{});
        else
            rows(c1 - c0);
    }
}

void Runs::fill(std::uint32_t pixel)
{
    fillWith([pixel](int) { return pixel; });
}

void Runs::fill(const std::uint32_t* columnPixels)
{
    const std::uint32_t* pixel = columnPixels + boxLeft_;
    fillWith([pixel](int c) { return pixel[c]; });
}

}  // namespace GuiSpans
