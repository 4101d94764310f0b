// GuiWindow: the root of the window toolkit, and the one window procedure.
//
// How it works
// - Every window of the program (top-level windows and widgets alike, except
//   the standard controls that some widgets wrap) is a window of the class
//   "P2GUIWindow", created with its C++ object as the creation parameter.
//   guiWindowProc keeps that pointer in the window's user data from
//   WM_CREATE on and hands every message to the object's windowProc.
//   Messages that arrive before WM_CREATE get default processing. At
//   WM_NCDESTROY, after the object has seen it, the user data and the
//   object's handle are cleared, so no late message reaches an object that
//   its owner may already have deleted.
// - Four creation patterns: plain (WS_CHILD | WS_VISIBLE), sunken (plus
//   WS_EX_CLIENTEDGE), bordered (plus WS_BORDER) and the wrapped control: a
//   "P2GUIWindow" container with id + 10000 whose object is the wrapper,
//   holding a standard control with the id asked for. The control's
//   WM_COMMAND and WM_DRAWITEM go to its parent, the container, and thereby
//   to the wrapper's windowProc. The wrapper's handle is the control's.
// - Widgets read every colour, pen, brush, font and datum from the owner's
//   ParameterStore through style getters, and paint into the owner's paint
//   buffer (a memory DC of the top-level window's whole client area, on a
//   32-bit DIB section) before one BitBlt to the screen (GuiPaint below),
//   in WM_PAINT or, for the displays fed with every block, at once when the
//   owner sends WM_QX_DRAWNOW. Lines thicker than a pixel go into the
//   buffer's pixels directly (Stroke, GuiSpans).
// - Positions and sizes given to the creation patterns are layout units
//   (96-DPI pixels) in the parent's client area; a child is created at them
//   scaled to its owner's DPI (GuiOwner::widgetDpi, the DPI of the top-level
//   window it lives in), and applyDpi moves it again when that DPI has
//   changed (see GuiDpi.h). Drawing code scales its own offsets with
//   scaled() and lineWidth(), and draws text in the store's font made for
//   that DPI (storeFont).
// - A widget that draws text answers WM_GETFONT with the font it draws with.
// - Destructors are not virtual and destroy no window: child windows end with
//   their parent. The base's destructor is protected, so a widget is never
//   deleted through GuiWindow*: owners hold their widgets as members (by
//   value) or delete them through their concrete classes.
#pragma once

#include <windows.h>

#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"
#include "gui/GdiScope.h"
#include "gui/GuiDpi.h"
#include "gui/GuiOwner.h"

// The toolkit's one window class.
extern const wchar_t* const kGuiWindowClass;  // "P2GUIWindow"

// Registers "P2GUIWindow" for the instance. True on success (also when the
// class exists already); false with the system's error code in *error, for
// the caller to report.
bool registerGuiWindowClass(HINSTANCE instance, DWORD* error = nullptr);

LRESULT CALLBACK guiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sent by the owner to a display widget whose data have changed: the widget
// draws its picture at once through a window DC, outside the WM_PAINT cycle,
// and answers 1. Under Wine, invalidating a window and painting it through
// WM_PAINT costs about a quarter of a millisecond of the UI thread, more
// than the drawing of a whole graph; a display redrawn with every block
// (21 ms at 48000 Hz with 1024 samples) saves that. A widget that cannot
// draw now (no paint buffer, not visible) answers 0, as every other window
// does, and the owner invalidates it instead.
constexpr UINT WM_QX_DRAWNOW = WM_USER + 20;

// A parameter of the store has changed: the UI thread tells the main window
// (wParam = parameter id, or event id 100; lParam = 0), which passes it on to
// the configuration window when one is open.
constexpr UINT WM_QX_PARAMETER = WM_USER + 10;  // 1034

// Offset of a wrapped control's container id over the control's own id.
constexpr int kContainerIdOffset = 10000;

// What every display widget's background picture depends on: its size, the
// DPI, the brush it is filled with and the pen of its grid, and their
// colours (a new pen may come with the handle of an old one). A widget with
// more in its picture keeps this and the rest in a key of its own.
struct GuiBackgroundKey {
    int width = 0;
    int height = 0;
    int dpi = 0;
    HBRUSH erase = nullptr;
    HPEN grid = nullptr;
    COLORREF back = 0;
    COLORREF gridColour = 0;
    bool operator==(const GuiBackgroundKey& o) const
    {
        return width == o.width && height == o.height && dpi == o.dpi && erase == o.erase &&
               grid == o.grid && back == o.back && gridColour == o.gridColour;
    }
};

class GuiWindow {
public:
    explicit GuiWindow(GuiOwner* owner) : owner_(owner) {}
    GuiWindow(const GuiWindow&) = delete;
    GuiWindow& operator=(const GuiWindow&) = delete;

    virtual GuiWindow* setOwner(GuiOwner* owner);
    // WM_MOVE tracking and default processing. Derived windowProcs pass every
    // message they do not handle themselves on to this one.
    virtual LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual HWND handle() const;
    // IsDialogMessageW for this window; 0 when it has no window.
    virtual BOOL preTranslate(MSG* message);
    // The font the widget draws its text with; null for one without text.
    virtual HFONT font() const { return nullptr; }
    // Moves and sizes a child created by the creation patterns to its layout
    // at its owner's DPI, and gives a wrapped control the font again.
    virtual void applyDpi();
    // Gives a child a new layout (in layout units) and moves it there.
    void moveTo(int x, int y, int width, int height);
    // Where the child was last asked to be, in layout units.
    RECT layoutRect() const
    {
        return RECT{layout_.x, layout_.y, layout_.x + layout_.width, layout_.y + layout_.height};
    }
    // applyDpi for every toolkit child of `parent`.
    static void applyDpiToChildren(HWND parent);
    // A polyline drawn `times` times, moved by (dx, dy) each time: a line
    // that many hairlines thick. The points are moved while it draws and
    // given back as they were.
    static void repeatPolyline(HDC dc, POINT* points, int count, int times, int dx, int dy);

    // Traces drawn by GDI in one-pixel lines, as before they were written
    // into pixels: for comparison (scripts/bench repaint).
    void setTracesByGdi(bool gdi) { tracesByGdi_ = gdi; }

    GuiOwner* owner() const { return owner_; }
    // The last position received with WM_MOVE (client origin in the parent).
    int x() const { return x_; }
    int y() const { return y_; }

protected:
    // Not virtual, and not for deleting through this class: owners hold
    // their widgets by value, or delete them through their concrete classes.
    ~GuiWindow() = default;

    // The owner's store, or null without owner or store.
    ParameterStore* store() const { return owner_ ? owner_->parameterStore() : nullptr; }
    // One store parameter; 0 without owner or store.
    int storeValue(int id) const
    {
        ParameterStore* s = store();
        return s ? s->get(id) : 0;
    }
    COLORREF storeColour(int id) const { return static_cast<COLORREF>(storeValue(id)); }
    // The DPI of the owner's top-level window (96 without owner) and a
    // layout length at it.
    int dpi() const;
    int scaled(int layoutValue) const;
    // The width of a line at that DPI: 1, and 2 from 192 DPI on.
    int lineWidth() const;
    // Polylines lineWidth() pixels thick in a hairline pen, drawn into one
    // DC for the length of one drawing; the pen is selected while the stroke
    // lives. A hairline is GDI's own, except in a Trace stroke. A thicker
    // line, and a Trace's hairline too, drawn into the owner's paint buffer
    // is written into its pixels as runs (GuiSpans), clipped to the client
    // area, when the buffer draws plainly (R2_COPYPEN, no origin moved) and
    // the pen is solid: that is found out once, when the stroke is made, and
    // once for each pen. Otherwise the hairline is drawn again one pixel
    // right and down for each further pixel. `pixels`, when given, are those
    // of `dc` (a widget's own picture of its client size, such as its
    // GuiBackground) and are drawn into the same way.
    //
    // Trace: the lines drawn anew with every block (spectra, waveforms).
    // Under Wine GDI walks a hairline polyline through a 584-column graph in
    // about 100 us, the runs take a fifth of that (scripts/bench repaint). A
    // run's line covers every pixel of GDI's and, where a shallow segment
    // crosses from one row to the next, the pixel beside it too.
    enum class Kind { Outline, Trace };
    class Stroke {
    public:
        Stroke(const GuiWindow& widget, HDC dc, HPEN pen, GuiSpans::Picture pixels = {},
               Kind kind = Kind::Outline);
        Stroke(const Stroke&) = delete;
        Stroke& operator=(const Stroke&) = delete;
        void setPen(HPEN pen);
        void polyline(POINT* points, int count);
        // Whether lines go into pixels: then polylineInTwoPens can draw.
        bool writesPixels() const { return picture_.pixels != nullptr; }
        // A polyline whose x never decreases, written into the pixels in one
        // pass: the segment into point i (1 .. count - 1) in `alternate`
        // where alternateInto[i], else in `pen` (both solid). Each pixel
        // column takes the colour of the segment into it. False, with
        // nothing drawn, when the stroke does not write pixels or the line
        // or a pen does not allow it.
        bool polylineInTwoPens(const POINT* points, int count, const bool* alternateInto, HPEN pen,
                               HPEN alternate);
        // A box filled in `colour` (GuiSpans::box) when the stroke writes
        // pixels; false, with nothing drawn, when it does not.
        bool fillBox(const RECT& box, COLORREF colour, GuiSpans::Fill fill);

    private:
        // The pixel of a solid pen's colour; false for any other pen.
        static bool solidPixel(HPEN pen, std::uint32_t* pixel);

        HDC dc_;
        GdiSelection selection_;
        int thickness_;
        GuiSpans::Picture picture_{};  // null pixels: GDI draws
        GuiSpans::Clip clip_{};
        HPEN pen_ = nullptr;
        bool penPlain_ = false;
        std::uint32_t pixel_ = 0;
    };
    // One of the store's fonts (Param::ButtonFont ..) made for dpi(); null
    // without owner or store.
    HFONT storeFont(int id) const
    {
        ParameterStore* s = store();
        return s ? reinterpret_cast<HFONT>(s->font(id, dpi())) : nullptr;
    }
    // A GDI handle kept in a store slot (slots are pointer-sized); null
    // without owner or store.
    template <class T>
    T storeHandle(int id) const
    {
        ParameterStore* s = store();
        return s ? s->handle<T>(id) : nullptr;
    }
    HDC ownerPaintBuffer() const { return owner_ ? owner_->paintBuffer() : nullptr; }
    // Whether WM_QX_DRAWNOW can be answered: a paint buffer to draw in and a
    // visible window to show it.
    bool canDrawNow(HWND window) const
    {
        return ownerPaintBuffer() && IsWindowVisible(window);
    }
    HINSTANCE ownerInstance() const { return owner_ ? owner_->instanceHandle() : nullptr; }
    // Gives the owner a Notification with this code; 0 without owner.
    int notifyOwner(int code);

    // Plain, sunken and bordered patterns: one "P2GUIWindow" window with this
    // object as creation parameter. True when the window exists.
    bool createOwnWindow(DWORD exStyle, DWORD style, int x, int y, int width, int height,
                         const wchar_t* caption, int id, HWND parent);
    // The wrapped-control pattern. controlHeight < 0 means the container's
    // height. On failure to create the control the container is destroyed.
    bool createWrappedControl(const wchar_t* controlClass, DWORD controlStyle, int controlHeight,
                              int x, int y, int width, int height, const wchar_t* caption, int id,
                              HWND parent);

    // WM_ERASEBKGND of the drawing widgets: fills the client rectangle in dc
    // with the brush (nothing when it is null) and reports the erase done.
    static LRESULT eraseBackground(HWND window, HDC dc, HBRUSH brush);

    // The grid of the measurement views: rows x columns cells over rc, the
    // lines stopping 2 layout pixels short of the edges.
    void drawGrid(HDC dc, const RECT& rc, HPEN pen, int rows, int columns) const;
    // The key of a measurement view's background in `window` (its client
    // size) filled with `erase`, with a grid in `grid`.
    GuiBackgroundKey backgroundBasics(HWND window, HBRUSH erase, HPEN grid) const;
    // That background: the client area filled, and the grid of rows x columns.
    void drawBackgroundBasics(HDC dc, const GuiBackgroundKey& key, int rows, int columns) const;

    // When data are present, acquires the newest display buffer, calls
    // draw(index, 1) for the reference set and, while the analysis is being
    // measured, draw(index, 0); then releases the buffers.
    template <class Draw>
    void drawLatestDisplayBuffer(Draw draw) const
    {
        ParameterStore* s = store();
        if (!s || s->get(Param::DataPresent) == 0)
            return;
        const int index = s->acquireLatestDisplayBuffer();
        if (index == -1)
            return;
        draw(index, 1);
        if (s->get(Param::RefMode) == 0)
            draw(index, 0);
        s->releaseDisplayBuffers();
    }

    HWND handle_ = nullptr;
    GuiOwner* owner_;
    bool tracesByGdi_ = false;
    int x_ = 0;
    int y_ = 0;

private:
    // Where a child was asked to be, in layout units.
    struct Layout {
        bool child = false;
        bool wrapped = false;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        int controlHeight = -1;
    };
    Layout layout_;

    friend LRESULT CALLBACK guiWindowProc(HWND, UINT, WPARAM, LPARAM);
    // The window of this object is gone (WM_NCDESTROY has been handled).
    void windowGone() { handle_ = nullptr; }
};

// Window styles of the creation patterns.
namespace GuiStyle {
constexpr DWORD Plain = WS_CHILD | WS_VISIBLE;
constexpr DWORD SunkenEx = WS_EX_CLIENTEDGE;
constexpr DWORD Bordered = WS_CHILD | WS_VISIBLE | WS_BORDER;
constexpr DWORD ContainerEx = WS_EX_CONTROLPARENT;
constexpr DWORD Container = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
}  // namespace GuiStyle

// One WM_PAINT of a widget: BeginPaint on construction, EndPaint on
// destruction; or, made with `now`, a drawing outside WM_PAINT (see
// WM_QX_DRAWNOW) through GetDC and ReleaseDC. The drawing target is the
// owner's paint buffer when there is one, else the device context itself;
// present() copies the finished picture from the buffer to the screen.
class GuiPaint {
public:
    GuiPaint(HWND window, HDC paintBuffer, bool now = false);
    ~GuiPaint();
    GuiPaint(const GuiPaint&) = delete;
    GuiPaint& operator=(const GuiPaint&) = delete;

    HDC target() const { return target_; }
    HDC screen() const { return paintDc_; }
    bool buffered() const { return buffered_; }
    // Copies width x height from the buffer at (fromX, fromY) to (0, 0) of the
    // paint device context; nothing when drawing went straight to the screen.
    void present(int fromX, int fromY, int width, int height) const;

private:
    HWND window_;
    bool now_;
    PAINTSTRUCT ps_{};
    HDC paintDc_;
    HDC target_;
    bool buffered_;
};

// The off-screen picture of a window's client area: a memory DC compatible
// with the window's DC, holding a bitmap of the client size. A top-level
// window rebuilds it on every WM_SIZE and lends it to its widgets through
// GuiOwner::paintBuffer; a display widget keeps one for its background
// (GuiBackground below).
class GuiPaintBuffer {
public:
    GuiPaintBuffer() = default;
    ~GuiPaintBuffer() { release(); }
    GuiPaintBuffer(const GuiPaintBuffer&) = delete;
    GuiPaintBuffer& operator=(const GuiPaintBuffer&) = delete;

    // Deletes the old buffer and makes one of the window's client size.
    bool rebuild(HWND window);
    void release();
    HDC dc() const { return dc_.get(); }
    // The pixels of its bitmap (top-down, 32 bits), null pixels without one.
    GuiSpans::Picture pixels() const { return pixels_; }

    // WM_PAINT of the top-level window that owns the buffer: its background
    // (through its own WM_ERASEBKGND) composed in the buffer, then one BitBlt.
    LRESULT paintWindow(HWND window) const;
    // WM_ERASEBKGND of a top-level window: the client area in `brush` (black
    // when there is none yet).
    static LRESULT eraseWindow(HWND window, HDC dc, HBRUSH brush);

    // What every top-level window of the toolkit does alike with the
    // messages of its picture and its scale (`owner` is the window's own
    // GuiOwner side): WM_SIZE rebuilds the buffer (and is passed on),
    // WM_PAINT and WM_ERASEBKGND (in the store's label brush) are answered
    // here, WM_GETDPISCALEDSIZE with the frame's outer size at the new DPI,
    // and WM_DPICHANGED gives the owner the new DPI (dpiChanged: the window's
    // own, from the message), fits the window to it at the top left Windows
    // suggests and lays its children out again. True when `message` is
    // answered with *result.
    bool topLevelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         GuiOwner& owner, const GuiDpi::TopLevelFrame& frame, LRESULT* result);
    // The window and its children laid out at `dpi`, the DPI its owner now
    // answers to widgetDpi; `suggested` null keeps the window where it is.
    static void rescaleWindow(HWND window, int dpi, const GuiDpi::TopLevelFrame& frame,
                              const RECT* suggested);

private:
    MemoryDc dc_;
    GdiObject<HBITMAP> bitmap_;
    HGDIOBJ oldBitmap_ = nullptr;  // the DC's own, selected back before it goes
    GuiSpans::Picture pixels_{};
};

// A display widget's background picture: the parts of its drawing that do
// not change with the data (background, grid, outlines), drawn once into a
// bitmap of its own and copied into the paint buffer with every block, under
// the traces. Key holds everything the picture depends on (size, DPI, pens
// and colours, ranges...) and has operator==; the picture is drawn again
// whenever the key differs from the one it was drawn for, and the bitmap is
// made again when the size has changed. A picture that changes with every
// paint (the band outlines follow the Reference while it is measured) is
// drawn straight into the target instead, which spares the copy; it is
// kept again from the first paint that finds it unchanged.
template <class Key>
class GuiBackground {
public:
    // Copies the picture for `key` (width x height) to (0, 0) of `target`,
    // drawing it first with draw(dc, pixels) when it is not there yet. Without
    // a bitmap, when the picture is not kept (setKept), or when it has changed
    // since the last paint too, draw(target, {}) draws straight into `target`.
    template <class Draw>
    void show(HWND window, HDC target, const Key& key, int width, int height, Draw draw)
    {
        const bool changing = painted_ && !(key == lastKey_);
        lastKey_ = key;
        painted_ = true;
        if (!kept_ || (changing && !(drawn_ && key == key_)) || !fit(window, width, height)) {
            ++drawings_;
            draw(target, GuiSpans::Picture{});
            return;
        }
        if (!drawn_ || !(key == key_)) {
            ++drawings_;
            draw(buffer_.dc(), buffer_.pixels());
            key_ = key;
            drawn_ = true;
        }
        BitBlt(target, 0, 0, width, height, buffer_.dc(), 0, 0, SRCCOPY);
    }
    // Whether the picture is used (it is by default); when not, everything
    // is drawn with every paint, as for a comparison.
    void setKept(bool kept) { kept_ = kept; }
    bool kept() const { return kept_; }
    // How many times the picture has been drawn (not copied) so far.
    int drawings() const { return drawings_; }

private:
    // A bitmap of width x height, made again at another size.
    bool fit(HWND window, int width, int height)
    {
        const GuiSpans::Picture p = buffer_.pixels();
        if (buffer_.dc() && p.width == width && p.height == height)
            return true;
        drawn_ = false;
        return width > 0 && height > 0 && buffer_.rebuild(window) &&
               buffer_.pixels().width == width && buffer_.pixels().height == height;
    }

    GuiPaintBuffer buffer_;
    Key key_{};           // what the bitmap shows, when drawn_
    Key lastKey_{};       // what the last paint showed, when painted_
    bool drawn_ = false;
    bool painted_ = false;
    bool kept_ = true;
    int drawings_ = 0;
};
