// The main window's layout when the window is larger than its smallest
// size: the spectrum graph and the waveform view take the extra room,
// everything else keeps its place relative to its corner of the window.
//
// How it works
// - Right after creation each child's layout (96-DPI units) is recorded
//   with the corner it belongs to (anchorChildren). At the smallest size the
//   extra room is nil and every child stays exactly where create() put it.
// - On WM_SIZE the extra room, in layout units, is the client size at the
//   window's DPI over the layout's client size; each child is moved by it
//   from its recorded place: right of the graph by the extra width, below
//   it by the extra height, the views stretched by both. The dB scale labels
//   and the frequency labels are spread over the graph's new height and
//   width as they are over its smallest size; the dB axis caption stays
//   centred on the scale (placeDbCaption).
#include "mainwindow/MainWindow.h"

#include "foundation/Settings.h"
#include "gui/GuiDpi.h"
#include "mainwindow/MainWindowGlue.h"

// y of dB scale label i beside a graph `height` layout pixels high at y = 216:
// the top label level with the graph's top, the bottom one ending at its
// bottom, the others centred on the grid lines (height / 6 apart).
int MainWindow::dbLabelTopFor(int i, int height)
{
    if (i == 0)
        return 216;
    if (i == 6)
        return 216 + height - 20;
    return 216 + static_cast<int>(i * (height / 6.0) - 10);
}

// x of frequency label i under a graph `width` layout pixels wide at x = 43.
int MainWindow::frequencyLabelLeftFor(int i, int width)
{
    if (i == 0)
        return 43;
    if (i == 4)
        return 43 + width - 80;
    return 43 + (i * width / 4 - 40);
}

void MainWindow::anchorChildren()
{
    anchors_.clear();
    auto add = [this](GuiWindow& w, Anchor a, int index = 0) {
        anchors_.push_back(Anchored{&w, a, index, w.layoutRect()});
    };
    for (GuiWindow* w : {static_cast<GuiWindow*>(&referenceMeterCaption_),
                         static_cast<GuiWindow*>(&analysisMeterCaption_),
                         static_cast<GuiWindow*>(&referenceMeter_),
                         static_cast<GuiWindow*>(&analysisMeter_),
                         static_cast<GuiWindow*>(&statusLine_),
                         static_cast<GuiWindow*>(&progress_)})
        add(*w, Anchor::Right);
    add(waveform_, Anchor::StretchX);
    add(graph_, Anchor::StretchXY);
    for (int i = 0; i < 7; ++i)
        add(dbScale_[i], Anchor::DbLabel, i);
    for (int i = 0; i < 5; ++i)
        add(frequencyScale_[i], Anchor::FrequencyLabel, i);
    for (int i = 0; i < 3; ++i)
        for (GuiWindow* w : {static_cast<GuiWindow*>(&bandCaptions_[i]),
                             static_cast<GuiWindow*>(&rowCaptions_[i]),
                             static_cast<GuiWindow*>(&referenceReadouts_[i]),
                             static_cast<GuiWindow*>(&analysisReadouts_[i]),
                             static_cast<GuiWindow*>(&differenceReadouts_[i]),
                             static_cast<GuiWindow*>(&sourceReadouts_[i])})
            add(*w, Anchor::Bottom);
    add(sourceCaption_, Anchor::Bottom);
    add(unitCaption_, Anchor::Bottom);
    for (int c = 0; c < 2; ++c) {
        add(overallCaptions_[c], Anchor::Bottom);
        for (int r = 0; r < 4; ++r)
            add(overallReadouts_[r][c], Anchor::Bottom);
    }
    add(notice_, Anchor::BottomStretchX);
    add(logScale_, Anchor::BottomStretchX);
    add(note_, Anchor::BottomStretchX);
}

void MainWindow::relayout()
{
    if (!created_ || !handle_ || IsIconic(handle_))
        return;
    RECT client{};
    GetClientRect(handle_, &client);
    const SIZE least = frame().layoutClient;
    const int dx = MulDiv(client.right, GuiDpi::kBase, dpi_) - least.cx;
    const int dy = MulDiv(client.bottom, GuiDpi::kBase, dpi_) - least.cy;
    const int newX = dx > 0 ? dx : 0;
    const int newY = dy > 0 ? dy : 0;
    if (newX == extraX_ && newY == extraY_)
        return;
    extraX_ = newX;
    extraY_ = newY;
    for (const Anchored& a : anchors_) {
        int x = a.base.left;
        int y = a.base.top;
        int w = a.base.right - a.base.left;
        int h = a.base.bottom - a.base.top;
        switch (a.anchor) {
        case Anchor::Right:
            x += extraX_;
            break;
        case Anchor::Bottom:
            y += extraY_;
            break;
        case Anchor::StretchX:
            w += extraX_;
            break;
        case Anchor::StretchXY:
            w += extraX_;
            h += extraY_;
            break;
        case Anchor::BottomStretchX:
            y += extraY_;
            w += extraX_;
            break;
        case Anchor::DbLabel:
            y = dbLabelTopFor(a.index, 200 + extraY_);
            break;
        case Anchor::FrequencyLabel:
            x = frequencyLabelLeftFor(a.index, 584 + extraX_);
            y += extraY_;
            break;
        }
        a.widget->moveTo(x, y, w, h);
    }
    placeDbCaption(dbCaption_.upright());
    InvalidateRect(handle_, nullptr, TRUE);
}

// Upright "dB SPL" along the scale's height, or "dB" centred beside it.
void MainWindow::placeDbCaption(bool upright)
{
    if (upright)
        dbCaption_.moveTo(0, 216, 18, 200 + extraY_);
    else
        dbCaption_.moveTo(5, 306 + extraY_ / 2, 15, 20);
}

namespace {
const wchar_t* const kClientWidth = L"ClientWidth";

const wchar_t* const kClientHeight = L"ClientHeight";
}  // namespace

void MainWindow::restoreSize()
{
    const SIZE least = frame().layoutClient;
    const int w = readSetting(kClientWidth);
    const int h = readSetting(kClientHeight);
    if (w <= least.cx && h <= least.cy)
        return;  // the smallest size, as made
    // Held to what the work area can show, at this DPI.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE outer = outerSize(dpi_);
    const int extraW = GuiDpi::scale(w > least.cx ? w - least.cx : 0, dpi_);
    const int extraH = GuiDpi::scale(h > least.cy ? h - least.cy : 0, dpi_);
    int cx = outer.cx + extraW;
    int cy = outer.cy + extraH;
    if (cx > work.right - work.left)
        cx = outer.cx > work.right - work.left ? outer.cx : work.right - work.left;
    if (cy > work.bottom - work.top)
        cy = outer.cy > work.bottom - work.top ? outer.cy : work.bottom - work.top;
    SetWindowPos(handle_, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The client size in layout units, of the restored window when it is
// minimised or maximised.
void MainWindow::saveSize(HWND window)
{
    RECT r{};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    const SIZE outer = outerSize(dpi_);
    if ((IsIconic(window) || IsZoomed(window)) && GetWindowPlacement(window, &placement))
        r = placement.rcNormalPosition;
    else
        GetWindowRect(window, &r);
    const SIZE least = frame().layoutClient;
    const int extraW = MulDiv((r.right - r.left) - outer.cx, GuiDpi::kBase, dpi_);
    const int extraH = MulDiv((r.bottom - r.top) - outer.cy, GuiDpi::kBase, dpi_);
    writeSetting(kMaximizedValue, IsZoomed(window) ? 1 : 0);
    writeSetting(kClientWidth, least.cx + (extraW > 0 ? extraW : 0));
    writeSetting(kClientHeight, least.cy + (extraH > 0 ? extraH : 0));
}
