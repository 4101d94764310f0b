// The store's shared GDI objects: brushes, pens and fonts that every window
// borrows and only the store creates and deletes. Their handles live in the
// parameter slots 27..52 and 73; the fonts are kept per DPI in fonts_, the
// slots pointing at those of the main window's DPI.
#include <windows.h>

#include <cwchar>

#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"

namespace {

// Pens are hairlines (one pixel, cosmetic: the fast path of every GDI) at
// every scale; a widget draws a thicker line by repeating one, a pixel apart.
enum class Kind { Brush, Pen, Font };

struct GdiEntry {
    int id;
    Kind kind;
    int colourParam;     // store slot holding the colour, or -1
    COLORREF colour;     // fixed colour when colourParam is -1
    int fontHeight;
    const wchar_t* face;
};

// Creation order; deletion follows the same order.
const GdiEntry kGdiTable[] = {
    {Param::BackBrush, Kind::Brush, Param::BackColor, 0, 0, nullptr},
    {Param::GridPen, Kind::Pen, Param::GridColor, 0, 0, nullptr},
    {Param::RefPen, Kind::Pen, Param::RefColor, 0, 0, nullptr},
    {Param::NoisePen, Kind::Pen, Param::NoiseColor, 0, 0, nullptr},
    {Param::ThreshPen, Kind::Pen, Param::ThreshColor, 0, 0, nullptr},
    {Param::FilterPen, Kind::Pen, Param::FilterColor, 0, 0, nullptr},
    {Param::ButtonFaceBrush, Kind::Brush, Param::UiColor15, 0, 0, nullptr},
    {Param::ButtonDisabledBrush, Kind::Brush, Param::UiColor17, 0, 0, nullptr},
    {Param::ButtonHighlightPen, Kind::Pen, -1, 0xD0D0D0, 0, nullptr},
    {Param::ButtonShadowPen, Kind::Pen, -1, 0x7A7070, 0, nullptr},
    {Param::LabelBrush, Kind::Brush, Param::UiColor19, 0, 0, nullptr},
    {Param::ButtonFont, Kind::Font, -1, 0, 14, L"Arial"},
    {Param::TitleFont, Kind::Font, -1, 0, 17, L"Arial Bold"},
    {Param::MeterBackBrush, Kind::Brush, -1, 0x000000, 0, nullptr},
    {Param::MeterLowBrush, Kind::Brush, -1, 0x00FFFF, 0, nullptr},
    {Param::MeterRefBrush, Kind::Brush, -1, 0xFF0000, 0, nullptr},
    {Param::MeterAnaBrush, Kind::Brush, -1, 0x00FF00, 0, nullptr},
    {Param::MeterHighBrush, Kind::Brush, -1, 0x0000FF, 0, nullptr},
    {Param::MeterBarBrush, Kind::Brush, -1, 0x404040, 0, nullptr},
    {Param::MarkerFont, Kind::Font, -1, 0, 20, L"Arial"},
    {Param::ProgressFillBrush, Kind::Brush, Param::UiColor25, 0, 0, nullptr},
    {Param::ProgressEmptyBrush, Kind::Brush, Param::UiColor26, 0, 0, nullptr},
    {Param::EditFont, Kind::Font, -1, 0, 14, L"Arial"},
    {Param::LabelFont, Kind::Font, -1, 0, 14, L"Arial"},
    {Param::PanelBrush, Kind::Brush, -1, 0x608080, 0, nullptr},
    {Param::DiagramPen, Kind::Pen, -1, 0x000000, 0, nullptr},
    {Param::NoteFont, Kind::Font, -1, 0, 14, L"Arial"},
};

// Fonts scale with the display (rounded, as MulDiv rounds).
int scaledHeight(int height, int dpi)
{
    return static_cast<int>((static_cast<long long>(height) * dpi + 48) / 96);
}

HFONT fontOfHeight(int height, const wchar_t* face)
{
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                       face);
}

// Width of a line of the windows' words and digits in `font`; 0 when it
// cannot be measured.
int sampleWidth(HDC dc, HFONT font)
{
    static const wchar_t kSample[] = L"Reference Analysis Difference dB 0123456789.- Hz kHz";
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    const BOOL measured =
        GetTextExtentPoint32W(dc, kSample, static_cast<int>(wcslen(kSample)), &size);
    SelectObject(dc, old);
    return measured ? size.cx : 0;
}

// A font's pixel height is scaled with the display. Glyphs drawn small are
// hinted narrower, for their height, than large ones, so text in a font
// scaled by its height alone grows faster than the boxes around it: the
// height is lowered (by at most a seventh) until a sample line is no wider
// than at 96 DPI scaled.
HFONT makeFont(int height, const wchar_t* face, int dpi)
{
    int scaled = scaledHeight(height, dpi);
    GdiObject<HFONT> font(fontOfHeight(scaled, face));
    if (dpi == 96 || !font)
        return font.release();
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc)
        return font.release();
    const GdiObject<HFONT> base(fontOfHeight(height, face));
    const int target = base ? scaledHeight(sampleWidth(dc.get(), base.get()), dpi) : 0;
    const int lowest = scaled - scaled / 7;
    while (target > 0 && scaled > lowest && sampleWidth(dc.get(), font.get()) > target) {
        HFONT smaller = fontOfHeight(--scaled, face);
        if (!smaller)
            break;
        font.reset(smaller);
    }
    return font.release();
}

// A brush or a pen (fonts: ParameterStore::madeFont).
HGDIOBJ makeObject(const GdiEntry& e, COLORREF colour)
{
    if (e.kind == Kind::Brush)
        return CreateSolidBrush(colour);
    return CreatePen(PS_SOLID, 1, colour);
}

const GdiEntry* fontEntry(int id)
{
    for (const GdiEntry& e : kGdiTable)
        if (e.id == id && e.kind == Kind::Font)
            return &e;
    return nullptr;
}

}  // namespace

int ParameterStore::dpi() const
{
    const int value = get(Param::Dpi);
    return value > 0 ? value : 96;
}

void ParameterStore::createGdiObjects()
{
    const int at = dpi();
    for (const GdiEntry& e : kGdiTable) {
        const COLORREF colour =
            e.colourParam >= 0 ? static_cast<COLORREF>(get(e.colourParam)) : e.colour;
        store(e.id, e.kind == Kind::Font
                        ? madeFont(e.id, at)
                        : reinterpret_cast<intptr_t>(makeObject(e, colour)));
    }
}

intptr_t ParameterStore::font(int id, int atDpi)
{
    // No fonts while the other objects do not exist either.
    if (!fontEntry(id) || !address(id))
        return 0;
    return madeFont(id, atDpi > 0 ? atDpi : 96);
}

intptr_t ParameterStore::madeFont(int id, int atDpi)
{
    for (const MadeFont& f : fonts_)
        if (f.id == id && f.dpi == atDpi)
            return f.handle;
    const GdiEntry* e = fontEntry(id);
    HFONT made = e ? makeFont(e->fontHeight, e->face, atDpi) : nullptr;
    if (!made)
        return 0;
    fonts_.push_back(MadeFont{id, atDpi, reinterpret_cast<intptr_t>(made)});
    return fonts_.back().handle;
}

void ParameterStore::setDpi(int newDpi)
{
    if (newDpi <= 0 || newDpi == dpi())
        return;
    // The fonts of the old DPI stay: another window may still draw with them.
    for (const GdiEntry& e : kGdiTable) {
        if (e.kind != Kind::Font || !address(e.id))
            continue;
        if (const intptr_t made = madeFont(e.id, newDpi))
            store(e.id, made);
    }
    set(Param::Dpi, newDpi);
}

void ParameterStore::deleteGdiObjects()
{
    for (const GdiEntry& e : kGdiTable) {
        HGDIOBJ object = handle<HGDIOBJ>(e.id);
        if (object && e.kind != Kind::Font)
            DeleteObject(object);
        store(e.id, 0);
    }
    for (const MadeFont& f : fonts_)
        DeleteObject(reinterpret_cast<HGDIOBJ>(f.handle));
    fonts_.clear();
}

void ParameterStore::setColours(int back, int grid, int ref, int noise, int thresh, int filter)
{
    const int colours[6] = {back, grid, ref, noise, thresh, filter};
    for (int i = 0; i < 6; ++i) {
        const int gdiId = Param::BackBrush + i;
        const int colourId = Param::BackColor + i;
        if (HGDIOBJ old = handle<HGDIOBJ>(gdiId))
            DeleteObject(old);
        const COLORREF colour = static_cast<COLORREF>(colours[i]);
        HGDIOBJ made = i == 0 ? static_cast<HGDIOBJ>(CreateSolidBrush(colour))
                              : static_cast<HGDIOBJ>(CreatePen(PS_SOLID, 1, colour));
        set(gdiId, reinterpret_cast<intptr_t>(made));
        set(colourId, colours[i]);
    }
}
