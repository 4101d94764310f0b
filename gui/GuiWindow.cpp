#include "gui/GuiWindow.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "foundation/Notification.h"
#include "gui/GdiScope.h"
#include "gui/GuiDpi.h"
#include "gui/GuiSpans.h"
#include "resources/resource.h"

const wchar_t* const kGuiWindowClass = L"P2GUIWindow";

bool registerGuiWindowClass(HINSTANCE instance, DWORD* error)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = guiWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_LARGE));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kGuiWindowClass;
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_SMALL));
    if (RegisterClassExW(&wc))
        return true;
    const DWORD failure = GetLastError();
    if (failure == ERROR_CLASS_ALREADY_EXISTS)
        return true;
    if (error)
        *error = failure;
    return false;
}

LRESULT CALLBACK guiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    GuiWindow* object;
    if (message == WM_CREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        object = static_cast<GuiWindow*>(cs->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    } else {
        object = reinterpret_cast<GuiWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!object)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message of the window: let the object see it, then cut the
        // link both ways before the owner gets a chance to delete the object.
        const LRESULT result = object->windowProc(window, message, wParam, lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        object->windowGone();
        return result;
    }
    return object->windowProc(window, message, wParam, lParam);
}

GuiWindow* GuiWindow::setOwner(GuiOwner* owner)
{
    owner_ = owner;
    return this;
}

LRESULT GuiWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOVE) {
        // Signed: a child may sit left of or above its parent's client area.
        x_ = static_cast<short>(LOWORD(lParam));
        y_ = static_cast<short>(HIWORD(lParam));
    }
    if (message == WM_GETFONT) {
        if (HFONT f = font())
            return reinterpret_cast<LRESULT>(f);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND GuiWindow::handle() const
{
    return handle_;
}

BOOL GuiWindow::preTranslate(MSG* message)
{
    if (!handle_)
        return 0;
    return IsDialogMessageW(handle_, message);
}

int GuiWindow::notifyOwner(int code)
{
    if (!owner_)
        return 0;
    const Notification n(code);
    return owner_->notify(n);
}

int GuiWindow::dpi() const
{
    return owner_ ? owner_->widgetDpi() : GuiDpi::kBase;
}

int GuiWindow::scaled(int layoutValue) const
{
    return GuiDpi::scale(layoutValue, dpi());
}

int GuiWindow::lineWidth() const
{
    const int d = dpi();
    return d >= 2 * GuiDpi::kBase ? d / GuiDpi::kBase : 1;
}

void GuiWindow::repeatPolyline(HDC dc, POINT* points, int count, int times, int dx, int dy)
{
    if (count < 2 || times < 1)
        return;
    Polyline(dc, points, count);
    for (int pass = 1; pass < times; ++pass) {
        for (int i = 0; i < count; ++i) {
            points[i].x += dx;
            points[i].y += dy;
        }
        Polyline(dc, points, count);
    }
    for (int i = 0; i < count; ++i) {
        points[i].x -= (times - 1) * dx;
        points[i].y -= (times - 1) * dy;
    }
}

GuiWindow::Stroke::Stroke(const GuiWindow& widget, HDC dc, HPEN pen, GuiSpans::Picture pixels,
                          Kind kind)
    : dc_(dc), selection_(dc, nullptr), thickness_(widget.lineWidth())
{
    POINT viewport{}, origin{};
    const bool paintBuffer = widget.owner_ && dc == widget.ownerPaintBuffer();
    const bool runs = thickness_ > 1 || (kind == Kind::Trace && !widget.tracesByGdi_);
    if (runs && widget.handle_ && (paintBuffer || pixels.pixels) &&
        GetROP2(dc) == R2_COPYPEN && GetMapMode(dc) == MM_TEXT &&
        GetViewportOrgEx(dc, &viewport) && GetWindowOrgEx(dc, &origin) && viewport.x == 0 &&
        viewport.y == 0 && origin.x == 0 && origin.y == 0) {
        RECT client;
        GetClientRect(widget.handle_, &client);
        picture_ = paintBuffer ? widget.owner_->paintPixels() : pixels;
        clip_ = GuiSpans::Clip{0, 0, client.right, client.bottom};
    }
    setPen(pen);
}

bool GuiWindow::Stroke::solidPixel(HPEN pen, std::uint32_t* pixel)
{
    LOGPEN logical{};
    const bool solid = pen && GetObjectW(pen, sizeof logical, &logical) == sizeof logical &&
                       logical.lopnStyle == PS_SOLID;
    *pixel = GuiSpans::pixelOf(logical.lopnColor);
    return solid;
}

void GuiWindow::Stroke::setPen(HPEN pen)
{
    selection_.select(pen);
    if (pen == pen_ || !picture_.pixels)
        return;
    pen_ = pen;
    penPlain_ = solidPixel(pen, &pixel_);
}

bool GuiWindow::Stroke::fillBox(const RECT& box, COLORREF colour, GuiSpans::Fill fill)
{
    if (!picture_.pixels)
        return false;
    GdiFlush();
    GuiSpans::box(picture_, clip_, box.left, box.top, box.right, box.bottom, fill,
                  GuiSpans::pixelOf(colour));
    return true;
}

bool GuiWindow::Stroke::polylineInTwoPens(const POINT* points, int count,
                                          const bool* alternateInto, HPEN pen, HPEN alternate)
{
    std::uint32_t pixel[2];
    if (!picture_.pixels || count < 2 || !solidPixel(pen, &pixel[0]) ||
        !solidPixel(alternate, &pixel[1]))
        return false;
    for (int i = 1; i < count; ++i)
        if (points[i].x < points[i - 1].x)
            return false;
    // Columns up to point 1 take the first segment's colour, those after
    // the last point (where a thick line reaches) the last one's.
    static thread_local std::vector<std::uint32_t> columns;
    columns.resize(static_cast<std::size_t>(clip_.right > 0 ? clip_.right : 0));
    int x = 0;
    for (int i = 1; i < count && x < clip_.right; ++i)
        for (const int to = std::min(static_cast<int>(points[i].x), clip_.right - 1); x <= to; ++x)
            columns[x] = pixel[alternateInto[i] ? 1 : 0];
    for (; x < clip_.right; ++x)
        columns[x] = pixel[alternateInto[count - 1] ? 1 : 0];
    GdiFlush();  // what GDI has batched lands before the pixels are written
    GuiSpans::Runs runs(picture_, clip_, thickness_);
    for (int i = 1; i < count; ++i)
        runs.add(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
    runs.fill(columns.data());
    return true;
}

void GuiWindow::Stroke::polyline(POINT* points, int count)
{
    if (picture_.pixels && penPlain_) {
        GdiFlush();  // what GDI has batched lands before the pixels are written
        GuiSpans::polyline(picture_, clip_, points, count, thickness_, pixel_);
        return;
    }
    repeatPolyline(dc_, points, count, thickness_, 1, 1);
}

void GuiWindow::applyDpi()
{
    if (!handle_ || !layout_.child)
        return;
    HWND own = layout_.wrapped ? GetParent(handle_) : handle_;
    if (!own)
        return;
    SetWindowPos(own, nullptr, scaled(layout_.x), scaled(layout_.y), scaled(layout_.width),
                 scaled(layout_.height), SWP_NOZORDER | SWP_NOACTIVATE);
    if (layout_.wrapped) {
        const int h = layout_.controlHeight < 0 ? layout_.height : layout_.controlHeight;
        SetWindowPos(handle_, nullptr, 0, 0, scaled(layout_.width), scaled(h),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
        if (HFONT f = font())
            SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    }
    InvalidateRect(own, nullptr, TRUE);
}

void GuiWindow::moveTo(int x, int y, int width, int height)
{
    layout_.x = x;
    layout_.y = y;
    layout_.width = width;
    layout_.height = height;
    applyDpi();
}

namespace {
BOOL CALLBACK applyDpiToChild(HWND child, LPARAM parent)
{
    if (GetParent(child) != reinterpret_cast<HWND>(parent))
        return TRUE;
    wchar_t name[32];
    if (GetClassNameW(child, name, 32) == 0 || wcscmp(name, kGuiWindowClass) != 0)
        return TRUE;
    if (auto* object = reinterpret_cast<GuiWindow*>(GetWindowLongPtrW(child, GWLP_USERDATA)))
        object->applyDpi();
    return TRUE;
}
}  // namespace

void GuiWindow::applyDpiToChildren(HWND parent)
{
    EnumChildWindows(parent, applyDpiToChild, reinterpret_cast<LPARAM>(parent));
}

bool GuiWindow::createOwnWindow(DWORD exStyle, DWORD style, int x, int y, int width, int height,
                                const wchar_t* caption, int id, HWND parent)
{
    if (!owner_)
        return false;
    if (style & WS_CHILD) {
        layout_ = Layout{true, false, x, y, width, height, -1};
        x = scaled(x);
        y = scaled(y);
        width = scaled(width);
        height = scaled(height);
    }
    HWND made = CreateWindowExW(exStyle, kGuiWindowClass, caption, style, x, y, width, height,
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                owner_->instanceHandle(), this);
    if (!made)
        return false;
    handle_ = made;
    return true;
}

bool GuiWindow::createWrappedControl(const wchar_t* controlClass, DWORD controlStyle,
                                     int controlHeight, int x, int y, int width, int height,
                                     const wchar_t* caption, int id, HWND parent)
{
    if (!owner_)
        return false;
    HINSTANCE instance = owner_->instanceHandle();
    layout_ = Layout{true, true, x, y, width, height, controlHeight};
    x = scaled(x);
    y = scaled(y);
    width = scaled(width);
    height = scaled(height);
    if (controlHeight >= 0)
        controlHeight = scaled(controlHeight);
    HWND container = CreateWindowExW(
        GuiStyle::ContainerEx, kGuiWindowClass, nullptr, GuiStyle::Container, x, y, width, height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id + kContainerIdOffset)), instance,
        this);
    if (!container)
        return false;
    HWND control = CreateWindowExW(0, controlClass, caption, controlStyle, 0, 0, width,
                                   controlHeight < 0 ? height : controlHeight, container,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                   nullptr);
    if (!control) {
        DestroyWindow(container);
        return false;
    }
    handle_ = control;
    return true;
}

LRESULT GuiWindow::eraseBackground(HWND window, HDC dc, HBRUSH brush)
{
    RECT client;
    GetClientRect(window, &client);
    if (dc && brush)
        FillRect(dc, &client, brush);
    return 1;
}

void GuiWindow::drawGrid(HDC dc, const RECT& rc, HPEN pen, int rows, int columns) const
{
    GdiSelection selected(dc, pen);
    const int inset = scaled(2);
    const int thick = lineWidth();
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    for (int k = 1; k < rows; ++k) {
        const int y = rc.top + static_cast<int>(k * h / static_cast<double>(rows));
        POINT line[2] = {{rc.left + inset, y}, {rc.right - inset, y}};
        repeatPolyline(dc, line, 2, thick, 0, 1);
    }
    for (int k = 1; k < columns; ++k) {
        const int x = rc.left + static_cast<int>(k * w / static_cast<double>(columns));
        POINT line[2] = {{x, rc.top + inset}, {x, rc.bottom - inset}};
        repeatPolyline(dc, line, 2, thick, 1, 0);
    }
}

GuiBackgroundKey GuiWindow::backgroundBasics(HWND window, HBRUSH erase, HPEN grid) const
{
    RECT rc;
    GetClientRect(window, &rc);
    return GuiBackgroundKey{rc.right - rc.left,
                            rc.bottom - rc.top,
                            dpi(),
                            erase,
                            grid,
                            storeColour(Param::BackColor),
                            storeColour(Param::GridColor)};
}

void GuiWindow::drawBackgroundBasics(HDC dc, const GuiBackgroundKey& key, int rows,
                                     int columns) const
{
    const RECT rc{0, 0, key.width, key.height};
    if (key.erase)
        FillRect(dc, &rc, key.erase);
    drawGrid(dc, rc, key.grid, rows, columns);
}

GuiPaint::GuiPaint(HWND window, HDC paintBuffer, bool now) : window_(window), now_(now)
{
    paintDc_ = now ? GetDC(window) : BeginPaint(window, &ps_);
    buffered_ = paintBuffer != nullptr;
    target_ = buffered_ ? paintBuffer : paintDc_;
}

GuiPaint::~GuiPaint()
{
    if (now_) {
        if (paintDc_)
            ReleaseDC(window_, paintDc_);
    } else {
        EndPaint(window_, &ps_);
    }
}

void GuiPaint::present(int fromX, int fromY, int width, int height) const
{
    if (buffered_)
        BitBlt(paintDc_, 0, 0, width, height, target_, fromX, fromY, SRCCOPY);
}

bool GuiPaintBuffer::rebuild(HWND window)
{
    release();
    RECT client;
    GetClientRect(window, &client);
    WindowDc windowDc(window);
    if (!windowDc)
        return false;
    // A top-down 32-bit DIB section: what GDI draws into it looks as in a
    // compatible bitmap, and thick lines can be written into its pixels.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right > 0 ? client.right : 1;
    info.bmiHeader.biHeight = -(client.bottom > 0 ? client.bottom : 1);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_.reset(CreateCompatibleDC(windowDc.get()));
    bitmap_.reset(CreateDIBSection(windowDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    windowDc.reset();
    if (!dc_ || !bitmap_ || !bits) {
        release();
        return false;
    }
    oldBitmap_ = SelectObject(dc_.get(), bitmap_.get());
    pixels_ = GuiSpans::Picture{static_cast<std::uint32_t*>(bits), info.bmiHeader.biWidth,
                                info.bmiHeader.biWidth, -info.bmiHeader.biHeight};
    return true;
}

LRESULT GuiPaintBuffer::paintWindow(HWND window) const
{
    GuiPaint paint(window, dc_.get());
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint.target()), 0);
    RECT client;
    GetClientRect(window, &client);
    paint.present(0, 0, client.right, client.bottom);
    return 0;
}

LRESULT GuiPaintBuffer::eraseWindow(HWND window, HDC dc, HBRUSH brush)
{
    if (!brush)
        brush = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, brush);
    return 1;
}

bool GuiPaintBuffer::topLevelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     GuiOwner& owner, const GuiDpi::TopLevelFrame& frame,
                                     LRESULT* result)
{
    switch (message) {
    case WM_SIZE:
        rebuild(window);
        return false;
    case WM_PAINT:
        *result = paintWindow(window);
        return true;
    case WM_ERASEBKGND: {
        ParameterStore* store = owner.parameterStore();
        *result = eraseWindow(window, reinterpret_cast<HDC>(wParam),
                              store ? store->handle<HBRUSH>(Param::LabelBrush) : nullptr);
        return true;
    }
    case WM_GETDPISCALEDSIZE:
        // The size at the new DPI is this layout's, not the old size scaled.
        *reinterpret_cast<SIZE*>(lParam) = frame.outerAt(static_cast<int>(wParam));
        *result = TRUE;
        return true;
    case WM_DPICHANGED: {
        const int dpi = LOWORD(wParam);
        owner.dpiChanged(dpi);
        rescaleWindow(window, dpi, frame, reinterpret_cast<const RECT*>(lParam));
        *result = 0;
        return true;
    }
    default:
        return false;
    }
}

void GuiPaintBuffer::rescaleWindow(HWND window, int dpi, const GuiDpi::TopLevelFrame& frame,
                                   const RECT* suggested)
{
    const POINT at = suggested ? POINT{suggested->left, suggested->top} : POINT{};
    frame.fit(window, dpi, suggested ? &at : nullptr);
    GuiWindow::applyDpiToChildren(window);
    InvalidateRect(window, nullptr, TRUE);
}

void GuiPaintBuffer::release()
{
    if (dc_ && oldBitmap_)
        SelectObject(dc_.get(), oldBitmap_);
    dc_.reset();
    bitmap_.reset();
    oldBitmap_ = nullptr;
    pixels_ = GuiSpans::Picture{};
}
