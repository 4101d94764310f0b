#include "gui/GuiLevelMeter.h"

#include "gui/GuiGeometry.h"

bool GuiLevelMeter::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                           HWND parent)
{
    return createOwnWindow(0, GuiStyle::Plain, x, y, width, height, caption, id, parent);
}

HBRUSH GuiLevelMeter::eraseBrush() const { return storeHandle<HBRUSH>(Param::MeterBackBrush); }
HBRUSH GuiLevelMeter::lowSegmentBrush() const { return storeHandle<HBRUSH>(Param::MeterLowBrush); }
HBRUSH GuiLevelMeter::highSegmentBrush() const { return storeHandle<HBRUSH>(Param::MeterHighBrush); }
HBRUSH GuiLevelMeter::barBrush() const { return storeHandle<HBRUSH>(Param::MeterBarBrush); }

HBRUSH GuiReferenceMeter::middleSegmentBrush() const
{
    return storeHandle<HBRUSH>(Param::MeterRefBrush);
}
// Without data (nothing measured yet, or the measurement discarded) a meter
// shows no level, whatever the last block left in the store.
int GuiReferenceMeter::level() const
{
    return storeValue(Param::DataPresent) != 0 ? storeValue(Param::RefMeanLevel) : 0;
}

HBRUSH GuiAnalysisMeter::middleSegmentBrush() const
{
    return storeHandle<HBRUSH>(Param::MeterAnaBrush);
}
int GuiAnalysisMeter::level() const
{
    return storeValue(Param::DataPresent) != 0 ? storeValue(Param::AnaMeanLevel) : 0;
}

LRESULT GuiLevelMeter::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return paint(window);
    case WM_QX_DRAWNOW:
        return canDrawNow(window) ? (paint(window, true), 1) : 0;
    case WM_ERASEBKGND:
        return eraseBackground(window, reinterpret_cast<HDC>(wParam), eraseBrush());
    default:
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }
}

LRESULT GuiLevelMeter::paint(HWND window, bool now)
{
    GuiPaint paint(window, ownerPaintBuffer(), now);
    HDC dc = paint.target();
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const GuiGeometry::MeterGeometry g = GuiGeometry::meterGeometry(w);

    const int inset = scaled(3);
    RECT bar{rc.left + g.margin, rc.top + inset,
             rc.left + g.margin + GuiGeometry::kMeterSegments * g.pitch, rc.bottom - inset};
    if (HBRUSH brush = barBrush())
        FillRect(dc, &bar, brush);

    const int lit = GuiGeometry::meterLitSegments(level());
    HBRUSH low = lowSegmentBrush();
    HBRUSH middle = middleSegmentBrush();
    HBRUSH high = highSegmentBrush();
    for (int i = 0; i < lit; ++i) {
        HBRUSH brush = i < 4 ? low : i < 14 ? middle : high;
        const RECT segment{bar.left + i * g.pitch, bar.top,
                           bar.left + i * g.pitch + g.pitch - lineWidth(), bar.bottom};
        if (brush)
            FillRect(dc, &segment, brush);
    }
    paint.present(0, 0, w, rc.bottom - rc.top);
    return 0;
}
