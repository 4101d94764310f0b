// The store's shared GDI objects: brushes, pens and fonts that every window
// borrows and only the store creates and deletes. Their handles live in the
// parameter slots 27..52 and 73.
#include <windows.h>

#include "app/ParameterStore.h"

namespace {

// A Hairline pen stays one pixel wide at every scale; the button bevels
// repeat it instead.
enum class Kind { Brush, Pen, Hairline, Font };

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
    {Param::ButtonHighlightPen, Kind::Hairline, -1, 0xD0D0D0, 0, nullptr},
    {Param::ButtonShadowPen, Kind::Hairline, -1, 0x7A7070, 0, nullptr},
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

// Fonts scale with the display (rounded, as MulDiv rounds); pens keep whole
// pixels, one wide up to 191 DPI and two from 192 on, so that lines stay sharp.
int scaledHeight(int height, int dpi)
{
    return static_cast<int>((static_cast<long long>(height) * dpi + 48) / 96);
}

int penWidth(int dpi)
{
    return dpi >= 192 ? dpi / 96 : 1;
}

HFONT makeFont(int height, const wchar_t* face, int dpi)
{
    return CreateFontW(scaledHeight(height, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, face);
}

HGDIOBJ makeObject(const GdiEntry& e, COLORREF colour, int dpi)
{
    switch (e.kind) {
    case Kind::Brush: return CreateSolidBrush(colour);
    case Kind::Pen: return CreatePen(PS_SOLID, penWidth(dpi), colour);
    case Kind::Hairline: return CreatePen(PS_SOLID, 1, colour);
    case Kind::Font: return makeFont(e.fontHeight, e.face, dpi);
    }
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
        store(e.id, reinterpret_cast<intptr_t>(makeObject(e, colour, at)));
    }
}

void ParameterStore::setDpi(int newDpi)
{
    if (newDpi <= 0 || newDpi == dpi())
        return;
    store(Param::Dpi, newDpi);
    // Brushes do not depend on the scale; a font or pen is replaced only once
    // its successor exists, so no slot ever holds a deleted object.
    for (const GdiEntry& e : kGdiTable) {
        if (e.kind == Kind::Brush || e.kind == Kind::Hairline)
            continue;
        const COLORREF colour =
            e.colourParam >= 0 ? static_cast<COLORREF>(get(e.colourParam)) : e.colour;
        HGDIOBJ made = makeObject(e, colour, newDpi);
        if (!made)
            continue;
        HGDIOBJ old = handle<HGDIOBJ>(e.id);
        store(e.id, reinterpret_cast<intptr_t>(made));
        if (old)
            DeleteObject(old);
    }
}

void ParameterStore::deleteGdiObjects()
{
    for (const GdiEntry& e : kGdiTable) {
        if (HGDIOBJ object = handle<HGDIOBJ>(e.id)) {
            DeleteObject(object);
            store(e.id, 0);
        }
    }
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
                              : static_cast<HGDIOBJ>(CreatePen(PS_SOLID, penWidth(dpi()), colour));
        set(gdiId, reinterpret_cast<intptr_t>(made));
        set(colourId, colours[i]);
    }
}
