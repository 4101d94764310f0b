// Labels and their variants, the logo, the progress widgets, the panel and
// the band diagram on the screen.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TestHost.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiLabels.h"

namespace {

constexpr COLORREF kLabelBack = 0xA0C0C0;
constexpr COLORREF kBlack = 0x000000;

// The text drawn by DrawTextW with a font and format on the label
// background, w x h: what a label should show.
Image renderText(HFONT font, const wchar_t* text, int w, int h, UINT format, COLORREF colour)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH back = CreateSolidBrush(kLabelBack);
    RECT rc{0, 0, w, h};
    FillRect(dc, &rc, back);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &rc, format);
    Image image(dc, 0, 0, w, h);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(back);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return image;
}

int textWidth(HFONT font, const wchar_t* text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE e{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &e);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return e.cx;
}

}  // namespace

TEST(Label, DrawsItsTextInItsFormatAtItsPlace)
{
    TestHost host;
    ParameterStore& s = host.params();
    const UINT format = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
    auto& label = host.adopt(new GuiLabel(&host, format));
    ASSERT_TRUE(label.create(487, 8, 55, 25, L"Reference", 110, host.window()));
    EXPECT_EQ(label.x(), 487);
    EXPECT_EQ(label.y(), 8);
    repaint(label.handle());
    const Image shown = captureClient(label.handle());
    const Image wanted = renderText(s.handle<HFONT>(Param::LabelFont), L"Reference", 55, 25, format, kBlack);
    EXPECT_EQ(pictureOf(shown), pictureOf(wanted));
    EXPECT_GT(shown.count(kBlack), 20);
    // It was composed in the paint buffer at its own place in the window.
    EXPECT_EQ(pictureOf(captureBuffer(host, 487, 8, 55, 25)), pictureOf(wanted));

    // New text through WM_SETTEXT and an invalidation.
    SetWindowTextW(label.handle(), L"12.5");
    repaint(label.handle());
    EXPECT_EQ(pictureOf(captureClient(label.handle())),
              pictureOf(renderText(s.handle<HFONT>(Param::LabelFont), L"12.5", 55, 25, format, kBlack)));

    // Empty text: the background only.
    SetWindowTextW(label.handle(), L"");
    repaint(label.handle());
    EXPECT_EQ(captureClient(label.handle()).count(kLabelBack), 55 * 25);

    // Without a paint buffer the label draws straight on the screen, in its
    // own client coordinates.
    SetWindowTextW(label.handle(), L"Reference");
    host.lendBuffer(false);
    repaint(label.handle());
    host.lendBuffer(true);
    EXPECT_EQ(pictureOf(captureClient(label.handle())), pictureOf(wanted));
}

TEST(Label, VariantsChangeOnlyFontAndColour)
{
    TestHost host;
    ParameterStore& s = host.params();
    const UINT single = DT_VCENTER | DT_SINGLELINE;
    const UINT note = DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL;
    const wchar_t* noteText = L"Magnitudes are based on the levels reported by the sound recording device.";
    struct Case {
        GuiLabel* label;
        const wchar_t* text;
        int w, h;
        UINT format;
        int font;
        COLORREF colour;
    };
    auto& plain = host.adopt(new GuiLabel(&host, single));
    auto& noteLabel = host.adopt(new GuiNoteText(&host, note));
    auto& footer = host.adopt(new GuiFooterLabel(&host, single));
    auto& title = host.adopt(new GuiTitleLabel(&host, single));
    auto& diff = host.adopt(new GuiDifferenceLabel(&host, DT_RIGHT | DT_VCENTER | DT_SINGLELINE));
    const Case cases[] = {
        {&plain, L"Audio", 75, 20, single, Param::LabelFont, 0x000000},
        {&noteLabel, noteText, 386, 64, note, Param::NoteFont, 0x1030A0},
        {&footer, L"Press Reference to begin", 386, 20, single, Param::LabelFont, 0xC04000},
        {&title, L"Spectrum", 165, 52, single, Param::TitleFont, 0x002080},
        {&diff, L"-3.5", 45, 20, DT_RIGHT | DT_VCENTER | DT_SINGLELINE, Param::LabelFont, 0x000000},
    };
    int y = 10;
    int id = 200;
    for (const Case& c : cases) {
        ASSERT_TRUE(c.label->create(10, y, c.w, c.h, c.text, id++, host.window()));
        y += c.h + 6;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + 5));
        repaint(c.label->handle());
        const Image shown = captureClient(c.label->handle());
        const Image wanted = renderText(s.handle<HFONT>(c.font), c.text, c.w, c.h, c.format, c.colour);
        EXPECT_EQ(pictureOf(shown), pictureOf(wanted));
        EXPECT_GT(shown.count(c.colour), 10);
    }
    // The note font and the label font are distinct objects; the title font
    // is larger and bold, so its text is wider than the same text in the label font.
    EXPECT_GT(textWidth(s.handle<HFONT>(Param::TitleFont), L"Spectrum"),
              textWidth(s.handle<HFONT>(Param::LabelFont), L"Spectrum"));
}

TEST(Label, DifferenceLabelSwitchesColourAndRedrawsOncePerChange)
{
    TestHost host;
    auto& diff = host.adopt(new GuiDifferenceLabel(&host, DT_RIGHT | DT_VCENTER | DT_SINGLELINE));
    ASSERT_TRUE(diff.create(76, 506, 45, 20, L"2.5", 162, host.window()));
    pumpMessages();
    HWND w = diff.handle();
    RECT update{};

    EXPECT_EQ(diff.belowThreshold(), 0);
    repaint(w);
    const auto normalText = pixelsOf(captureClient(w), 0x000000);
    ASSERT_GT(normalText.size(), 10u);

    ValidateRect(w, nullptr);
    diff.setBelowThreshold(1);
    EXPECT_TRUE(GetUpdateRect(w, &update, FALSE));
    UpdateWindow(w);
    const Image below = captureClient(w);
    EXPECT_EQ(pixelsOf(below, 0x2020E0), normalText);
    EXPECT_EQ(below.count(0x000000), 0);

    // The same state again: no invalidation.
    ValidateRect(w, nullptr);
    diff.setBelowThreshold(1);
    EXPECT_FALSE(GetUpdateRect(w, &update, FALSE));

    // Back above the threshold: invalidated, black again.
    diff.setBelowThreshold(0);
    EXPECT_TRUE(GetUpdateRect(w, &update, FALSE));
    UpdateWindow(w);
    EXPECT_EQ(pixelsOf(captureClient(w), 0x000000), normalText);

    // Before its window exists the state is kept and nothing is invalidated.
    auto& early = host.adopt(new GuiDifferenceLabel(&host, DT_SINGLELINE));
    early.setBelowThreshold(1);
    EXPECT_EQ(early.belowThreshold(), 1);
}

#ifdef QX_TEST_HAS_RESOURCES
TEST(Logo, ShowsBitmap136AndMakesItsMemoryDcOnce)
{
    TestHost host;
    auto& logo = host.adopt(new GuiLogo(&host, DT_VCENTER | DT_SINGLELINE));
    ASSERT_TRUE(logo.create(8, 8, 165, 52, L"Tevra Audio Spectrum Analyzer", 112, host.window()));
    ASSERT_NE(logo.bitmap(), nullptr);
    pumpMessages();
    repaint(logo.handle());
    HDC first = logo.bitmapDc();
    ASSERT_NE(first, nullptr);
    repaint(logo.handle());
    EXPECT_EQ(logo.bitmapDc(), first);

    // The picture is the bitmap resource itself, loaded here on its own.
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(136), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 165);
    EXPECT_EQ(info.bmHeight, 52);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const Image wanted(dc, 0, 0, 165, 52);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    const Image shown = captureClient(logo.handle());
    EXPECT_EQ(pictureOf(shown), pictureOf(wanted));
    EXPECT_EQ(pictureOf(captureBuffer(host, 8, 8, 165, 52)), pictureOf(wanted));
    // Not a blank picture.
    EXPECT_LT(shown.count(shown.at(0, 0)), 165 * 52);
}
#endif

TEST(Progress, IntegrationFillsItsShareOfTheBar)
{
    TestHost host;
    ParameterStore& s = host.params();
    auto& progress = host.adopt(new GuiIntegrationProgress(&host, DT_BOTTOM | DT_SINGLELINE));
    progress.setRange(0, 100);
    ASSERT_TRUE(progress.create(477, 194, 150, 20, L"", 119, host.window()));
    s.set(Param::IntLvl, 16);
    s.set(Param::IntCount, 4);
    EXPECT_EQ(progress.value(), 25);
    repaint(progress.handle());
    Image image = captureClient(progress.handle());
    // No text: the bar starts 5 pixels in; a quarter of its 145 pixels is
    // filled (36), the rest empty.
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 5; ++x) ASSERT_EQ(image.at(x, y), kLabelBack) << x << "," << y;
        for (int x = 5; x < 41; ++x) ASSERT_EQ(image.at(x, y), 0x0000FFu) << x << "," << y;
        for (int x = 41; x < 150; ++x) ASSERT_EQ(image.at(x, y), 0x000080u) << x << "," << y;
    }

    // With its caption the bar starts after the text.
    SetWindowTextW(progress.handle(), L"Integrating");
    repaint(progress.handle());
    image = captureClient(progress.handle());
    const int cx = textWidth(s.handle<HFONT>(Param::LabelFont), L"Integrating");
    const int left = cx + 5;
    const int filled = static_cast<int>((150 - left) * 0.25);
    std::vector<int> fillColumns;
    for (int x = left; x < left + filled; ++x) fillColumns.push_back(x);
    EXPECT_EQ(image.columnsWith(0x0000FF, 0, 20), fillColumns);
    EXPECT_EQ(image.at(left + filled, 0), 0x000080u);
    EXPECT_EQ(image.at(149, 19), 0x000080u);
    EXPECT_GT(image.count(kBlack, 0, 0, cx, 20), 10);  // the caption

    // The share at every count is checked in Geometry.IntegrationProgress;
    // here, that the bar follows the count.
    s.set(Param::IntCount, 16);
    EXPECT_EQ(progress.value(), 100);
}

TEST(Progress, RangeValueAndTextWiderThanTheWidget)
{
    TestHost host;
    auto& progress = host.adopt(new GuiProgress(&host, DT_SINGLELINE));
    ASSERT_TRUE(progress.create(10, 10, 100, 20, L"", 120, host.window()));
    pumpMessages();
    // setValue redraws; setRange does not.
    ValidateRect(progress.handle(), nullptr);
    progress.setRange(0, 50);
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(progress.handle(), &update, FALSE));
    progress.setValue(10);
    EXPECT_TRUE(GetUpdateRect(progress.handle(), &update, FALSE));
    UpdateWindow(progress.handle());
    // 10 of 50: a fifth of the 95-pixel bar.
    EXPECT_EQ(captureClient(progress.handle()).count(0x0000FF, 0, 0, 100, 1), 19);
    EXPECT_EQ(progress.minimum(), 0);
    EXPECT_EQ(progress.maximum(), 50);
    EXPECT_EQ(progress.value(), 10);

    // A negative value fills nothing; beyond the span fills everything.
    progress.setValue(-5);
    UpdateWindow(progress.handle());
    EXPECT_EQ(captureClient(progress.handle()).count(0x0000FF), 0);
    progress.setValue(80);
    UpdateWindow(progress.handle());
    EXPECT_EQ(captureClient(progress.handle()).count(0x0000FF, 0, 0, 100, 1), 95);
    // Maximum equal to minimum: the empty bar only.
    progress.setRange(7, 7);
    repaint(progress.handle());
    Image image = captureClient(progress.handle());
    EXPECT_EQ(image.count(0x0000FF), 0);
    EXPECT_EQ(image.count(0x000080, 0, 0, 100, 1), 95);

    // Text wider than the widget: no bar at all.
    progress.setRange(0, 100);
    progress.setValue(50);
    SetWindowTextW(progress.handle(), L"Integrating the spectra of a long measurement");
    repaint(progress.handle());
    image = captureClient(progress.handle());
    EXPECT_EQ(image.count(0x0000FF), 0);
    EXPECT_EQ(image.count(0x000080), 0);
    EXPECT_GT(image.count(kBlack), 20);

    // Without a store the integration progress keeps the value it was given.
    auto& lone = host.adopt(new GuiIntegrationProgress(nullptr, DT_SINGLELINE));
    lone.setValue(40);
    EXPECT_EQ(lone.value(), 40);
}

TEST(Decorations, PanelAndBandDiagram)
{
    TestHost host;
    auto& panel = host.adopt(new GuiPanel(&host));
    auto& diagram = host.adopt(new GuiBandDiagram(&host));
    ASSERT_TRUE(panel.create(8, 135, 295, 2, nullptr, 108, host.window()));
    ASSERT_TRUE(diagram.create(0, 461, 311, 10, nullptr, 112, host.window()));
    pumpMessages();
    RedrawWindow(panel.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(captureClient(panel.handle()).count(0x608080), 295 * 2);

    repaint(diagram.handle());
    const Image image = captureClient(diagram.handle());
    std::set<std::pair<int, int>> expected;
    const int mid = 5, bottom = 10;
    for (int y = bottom - 1; y > mid; --y) expected.insert({38, y});    // post up to the bar
    for (int x = 38; x < 273; ++x) expected.insert({x, mid});          // the bar
    for (int y = mid; y < bottom; ++y) expected.insert({273, y});      // post down
    for (int x : {77, 155, 234})
        for (int y = mid; y > 0; --y) expected.insert({x, y});          // ticks up
    for (int x : {116, 195})
        for (int y = mid; y < bottom; ++y) expected.insert({x, y});     // ticks down
    EXPECT_EQ(pixelsOf(image, kBlack), expected);
    EXPECT_EQ(image.count(kLabelBack) + image.count(kBlack), 311 * 10);

    // Without a paint buffer: the background only.
    host.lendBuffer(false);
    repaint(diagram.handle());
    host.lendBuffer(true);
    EXPECT_EQ(captureClient(diagram.handle()).count(kLabelBack), 311 * 10);
}
