// Thick lines written straight into pixels (GuiSpans) against GDI's own
// hairline through the same points, drawn into a 32-bit DIB section: the
// thick line covers every pixel of the hairline, has no pixel further than
// its thickness from it, keeps to its clip, and is as thick as asked for
// across a horizontal and a vertical line.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "gui/GuiSpans.h"

namespace {

constexpr int kW = 300;
constexpr int kH = 160;
constexpr std::uint32_t kLine = 0x00FF8040;  // a pixel (0x00rrggbb)

// A 32-bit top-down DIB section and a memory DC holding it.
class Dib {
public:
    Dib()
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kW;
        info.bmiHeader.biHeight = -kH;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Dib()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_; }
    GuiSpans::Picture picture() const { return GuiSpans::Picture{bits_, kW, kW, kH}; }
    bool lit(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < kW && y < kH && (bits_[y * kW + x] & 0xFFFFFF) == kLine;
    }
    int count() const
    {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                n += lit(x, y);
        return n;
    }
    // GDI's hairline through the points, in kLine, and its last point too
    // (GDI leaves a polyline's last pixel out; the spans include it).
    void hairline(const std::vector<POINT>& points)
    {
        GdiFlush();
        HPEN pen = CreatePen(PS_SOLID, 0, RGB(0xFF, 0x80, 0x40));
        HGDIOBJ old = SelectObject(dc_, pen);
        Polyline(dc_, points.data(), static_cast<int>(points.size()));
        SetPixelV(dc_, points.back().x, points.back().y, RGB(0xFF, 0x80, 0x40));
        SelectObject(dc_, old);
        DeleteObject(pen);
        GdiFlush();
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    std::uint32_t* bits_ = nullptr;
};

std::vector<POINT> randomLine(std::mt19937& random, int count, bool rightwards)
{
    std::uniform_int_distribution<int> x(10, kW - 20), y(10, kH - 20), step(0, 3);
    std::vector<POINT> points;
    int at = 10;
    for (int i = 0; i < count; ++i) {
        at = rightwards ? std::min(at + step(random), kW - 20) : x(random);
        points.push_back(POINT{at, y(random)});
    }
    return points;
}

// Every hairline pixel is covered; every thick pixel lies within `thickness`
// pixels (in x and in y) of a hairline pixel.
void expectCovers(const std::vector<POINT>& points, int thickness)
{
    Dib thin, thick;
    ASSERT_TRUE(thin.ok() && thick.ok());
    thin.hairline(points);
    GuiSpans::polyline(thick.picture(), GuiSpans::Clip{0, 0, kW, kH}, points.data(),
                       static_cast<int>(points.size()), thickness, kLine);
    int uncovered = 0, stray = 0;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            if (thin.lit(x, y) && !thick.lit(x, y))
                ++uncovered;
            if (!thick.lit(x, y))
                continue;
            bool nearby = false;
            for (int dy = -thickness; dy <= thickness && !nearby; ++dy)
                for (int dx = -thickness; dx <= thickness && !nearby; ++dx)
                    nearby = thin.lit(x + dx, y + dy);
            stray += !nearby;
        }
    }
    EXPECT_EQ(uncovered, 0) << points.size() << " points, thickness " << thickness;
    EXPECT_EQ(stray, 0) << points.size() << " points, thickness " << thickness;
}

}  // namespace

TEST(Spans, CoverGdisHairlineAndStayNearIt)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        // Long rightward traces (filled row by row), short ones and lines
        // that turn back (segment by segment), as traces, band outlines
        // and brackets are.
        expectCovers(randomLine(random, 200, true), 2);
        expectCovers(randomLine(random, 5, true), 2);
        expectCovers(randomLine(random, 30, false), 2);
        expectCovers(randomLine(random, 60, true), 3);
    }
}

TEST(Spans, AsThickAsAskedAcrossHorizontalAndVerticalLines)
{
    for (int thickness : {2, 3}) {
        Dib dib;
        ASSERT_TRUE(dib.ok());
        const std::vector<POINT> box = {{20, 150}, {20, 40}, {200, 40}, {200, 150}};
        GuiSpans::polyline(dib.picture(), GuiSpans::Clip{0, 0, kW, kH}, box.data(), 4, thickness,
                           kLine);
        for (int k = 0; k < thickness; ++k) {
            EXPECT_TRUE(dib.lit(100, 40 + k)) << thickness;
            EXPECT_TRUE(dib.lit(20 + k, 100)) << thickness;
            EXPECT_TRUE(dib.lit(200 + k, 100)) << thickness;
        }
        EXPECT_FALSE(dib.lit(100, 39));
        EXPECT_FALSE(dib.lit(100, 40 + thickness));
        EXPECT_FALSE(dib.lit(19, 100));
        EXPECT_FALSE(dib.lit(20 + thickness, 100));
        // The box's three sides and nothing else.
        EXPECT_EQ(dib.count(), thickness * (181 + thickness - 1) +
                                   2 * thickness * (150 - 40 + 1 + thickness - 1) -
                                   2 * thickness * thickness);
    }
}

TEST(Spans, KeepToTheClipAndThePicture)
{
    std::mt19937 random(3);
    const GuiSpans::Clip clip{50, 30, 220, 120};
    for (bool rightwards : {true, false}) {
        Dib dib;
        ASSERT_TRUE(dib.ok());
        // Lines reaching far outside the picture on every side.
        std::vector<POINT> points = randomLine(random, 100, rightwards);
        points.front() = POINT{-500, -300};
        points.back() = POINT{kW + 400, kH + 500};
        points[50] = POINT{points[50].x, -1000};
        GuiSpans::polyline(dib.picture(), clip, points.data(), static_cast<int>(points.size()),
                           2, kLine);
        int inside = 0, outside = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const bool in = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
                (in ? inside : outside) += dib.lit(x, y);
            }
        EXPECT_EQ(outside, 0) << rightwards;
        EXPECT_GT(inside, 100) << rightwards;
    }
    // A clip larger than the picture is the picture.
    Dib dib;
    const POINT corner[2] = {{-50, kH - 1}, {kW + 50, kH - 1}};
    GuiSpans::polyline(dib.picture(), GuiSpans::Clip{-100, -100, kW + 100, kH + 100}, corner, 2, 3,
                       kLine);
    EXPECT_EQ(dib.count(), kW);
}

// A line filled with a pixel of its own for each column, in tiles written
// row by row (a gentle line) and column by column (a steep zigzag): the
// same pixels as the line in one colour, each in its column's colour.
TEST(Spans, EachColumnInItsOwnColour)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> wobble(-1, 1), anywhere(10, kH - 20);
    std::vector<std::uint32_t> columnPixels(kW);
    for (int x = 0; x < kW; ++x)
        columnPixels[x] = (x / 7) % 2 ? kLine : 0x00123456u;
    for (bool steep : {false, true}) {
        std::vector<POINT> points;
        int y = kH / 2;
        for (int x = 5; x < kW - 5; x += 2) {
            y = steep ? anywhere(random) : std::max(10, std::min(kH - 20, y + wobble(random)));
            points.push_back(POINT{x, y});
        }
        for (int thickness : {1, 2}) {
            Dib plain, coloured;
            ASSERT_TRUE(plain.ok() && coloured.ok());
            const GuiSpans::Clip clip{0, 0, kW, kH};
            {  // one Runs at a time on a thread
                GuiSpans::Runs one(plain.picture(), clip, thickness);
                for (std::size_t i = 1; i < points.size(); ++i)
                    one.add(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
                one.fill(kLine);
            }
            {
                GuiSpans::Runs each(coloured.picture(), clip, thickness);
                for (std::size_t i = 1; i < points.size(); ++i)
                    each.add(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
                each.fill(columnPixels.data());
            }
            int wrong = 0;
            const std::uint32_t* pixels = coloured.picture().pixels;
            for (int row = 0; row < kH; ++row)
                for (int x = 0; x < kW; ++x) {
                    const std::uint32_t p = pixels[row * kW + x] & 0xFFFFFF;
                    wrong += plain.lit(x, row) ? p != columnPixels[x] : p != 0;
                }
            EXPECT_EQ(wrong, 0) << (steep ? "steep" : "gentle") << ", thickness " << thickness;
            EXPECT_GT(plain.count(), kW / 2);
        }
    }
}

// Boxes solid, hatched and hatched in a frame, pixel for pixel as GDI's
// FillRect (a hatched brush, transparent background) and FrameRect draw
// them, also where the clip cuts them.
TEST(Spans, BoxesAsGdiFillsThem)
{
    const RECT boxes[] = {{20, 30, 57, 150}, {101, 7, 110, 19}, {0, 0, 6, 4}, {250, 100, 330, 200}};
    const GuiSpans::Fill fills[] = {GuiSpans::Fill::Solid, GuiSpans::Fill::Hatched,
                                    GuiSpans::Fill::HatchedFramed};
    for (const GuiSpans::Fill fill : fills) {
        for (const RECT& r : boxes) {
            Dib gdi, own;
            ASSERT_TRUE(gdi.ok() && own.ok());
            HBRUSH solid = CreateSolidBrush(RGB(0xFF, 0x80, 0x40));
            HBRUSH hatched = CreateHatchBrush(HS_BDIAGONAL, RGB(0xFF, 0x80, 0x40));
            SetBkMode(gdi.dc(), TRANSPARENT);
            FillRect(gdi.dc(), &r, fill == GuiSpans::Fill::Solid ? solid : hatched);
            if (fill == GuiSpans::Fill::HatchedFramed)
                FrameRect(gdi.dc(), &r, solid);
            GdiFlush();
            DeleteObject(solid);
            DeleteObject(hatched);
            GuiSpans::box(own.picture(), GuiSpans::Clip{0, 0, 280, kH}, r.left, r.top, r.right,
                          r.bottom, fill, kLine);
            int differing = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    differing += gdi.lit(x, y) != (own.lit(x, y) || (x >= 280 && gdi.lit(x, y)));
            EXPECT_EQ(differing, 0) << static_cast<int>(fill) << " box at " << r.left;
            EXPECT_GT(own.count(), 0);
        }
    }
}

TEST(Spans, PixelOfAGdiColour)
{
    EXPECT_EQ(GuiSpans::pixelOf(RGB(0x12, 0x34, 0x56)), 0x123456u);
    EXPECT_EQ(GuiSpans::pixelOf(RGB(0xFF, 0, 0)), 0xFF0000u);
}
