#include "gui/GuiWaveformView.h"

#include "gui/GdiScope.h"

GuiWaveformView::GuiWaveformView(GuiOwner* owner) : GuiWindow(owner) {}

bool GuiWaveformView::create(int x, int y, int width, int height, const wchar_t* caption, int id,
                             HWND parent)
{
    return createOwnWindow(GuiStyle::SunkenEx, GuiStyle::Plain, x, y, width, height, caption, id,
                           parent);
}

HBRUSH GuiWaveformView::eraseBrush() const { return storeHandle<HBRUSH>(Param::BackBrush); }
HPEN GuiWaveformView::gridPen() const { return storeHandle<HPEN>(Param::GridPen); }
HPEN GuiWaveformView::firstSetPen() const { return storeHandle<HPEN>(Param::RefPen); }
HPEN GuiWaveformView::secondSetPen() const { return storeHandle<HPEN>(Param::NoisePen); }

LRESULT GuiWaveformView::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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

LRESULT GuiWaveformView::paint(HWND window, bool now)
{
    GuiPaint paint(window, ownerPaintBuffer(), now);
    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    HBRUSH erase = eraseBrush();
    HDC dc = paint.target();
    if (!paint.buffered()) {
        if (erase)
            FillRect(dc, &rc, erase);
        return 0;  // grid and traces are drawn only through the paint buffer
    }

    const GuiBackgroundKey key = backgroundBasics(window, erase, gridPen());
    background_.show(window, dc, key, w, h, [&](HDC target, GuiSpans::Picture) {
        drawBackgroundBasics(target, key, 4, 5);
    });
    drawLatestDisplayBuffer([&](int index, int first) { drawWaveform(window, dc, first, index); });
    paint.present(0, 0, w, h);
    return 0;
}

void GuiWaveformView::drawWaveform(HWND window, HDC target, int firstSet, int bufferIndex)
{
    ParameterStore* s = store();
    if (!s || bufferIndex < 0 || bufferIndex > 2)
        return;
    auto* buffers = s->pointer<const DisplayBuffer*>(Param::DisplayBuffers);
    if (!buffers)
        return;
    int n = s->get(Param::NumSamples);
    if (n > MaxSamples)
        n = MaxSamples;  // a set holds MaxSamples + 1 elements
    int fullScale = s->get(Param::WaveFullScale);
    const float scale = static_cast<float>(fullScale == 0 ? 1 : fullScale);
    const float* samples = buffers[bufferIndex].set[firstSet ? 0 : 1].samples;

    RECT rc;
    GetClientRect(window, &rc);
    const int w = rc.right - rc.left;
    if (n <= 0 || w <= 0)
        return;

    Stroke stroke(*this, target, firstSet ? firstSetPen() : secondSetPen(), {}, Kind::Trace);
    const float mid = static_cast<float>((rc.bottom - rc.top) / 2);
    float xStep = 1.0f;
    float sampleStep = 1.0f;
    if (n - 1 < w)
        xStep = static_cast<float>(w) / static_cast<float>(n);
    else if (n > w)
        sampleStep = static_cast<float>(n) / static_cast<float>(w);

    // The stepping starts at element 1 and its last step reaches element n,
    // one past the block the engine fills; that point shows the block's last
    // sample instead, so the trace does not end in a tick to the middle line.
    const int last = n - 1;
    auto sampleAt = [&](float position) {
        const int i = static_cast<int>(position);
        return samples[i < last ? i : last];
    };
    // Each step joins the previous sample's point to the current one's: one
    // polyline through all of them.
    points_.clear();
    float current = 1.0f;
    float x = static_cast<float>(rc.left);
    points_.push_back(POINT{static_cast<int>(x),
                            static_cast<int>(mid - mid * sampleAt(current) / scale)});
    current += sampleStep;
    while (static_cast<int>(current) <= n) {
        x += xStep;
        points_.push_back(POINT{static_cast<int>(x),
                                static_cast<int>(mid - mid * sampleAt(current) / scale)});
        current += sampleStep;
    }
    stroke.polyline(points_.data(), static_cast<int>(points_.size()));
}
