#include "gui/GuiDpi.h"

#include "foundation/Owned.h"

namespace GuiDpi {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <class F>
F user32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                  : nullptr;
}

}  // namespace

int windowDpi(HWND window)
{
    if (!window)
        return kBase;
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    int dpi = kBase;
    if (const ScreenDc screen{})
        dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? dpi : kBase;
}

namespace {

// The frame's size at `dpi`: what it adds to the client area.
SIZE frameAt(DWORD style, DWORD exStyle, BOOL menu, int dpi)
{
    static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, 0, 0};
    if (!(adjustForDpi && adjustForDpi(&r, style, menu, exStyle, static_cast<UINT>(dpi)))) {
        r = RECT{0, 0, 0, 0};
        AdjustWindowRectEx(&r, style, menu, exStyle);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

TopLevelFrame TopLevelFrame::forOuterSizeAt96(int outerWidth, int outerHeight, DWORD style,
                                              DWORD exStyle)
{
    const SIZE frame = frameAt(style, exStyle, FALSE, kBase);
    return TopLevelFrame{style, exStyle, SIZE{outerWidth - frame.cx, outerHeight - frame.cy}};
}

SIZE TopLevelFrame::outerAt(int dpi) const
{
    const SIZE frame = frameAt(style, exStyle, menu, dpi);
    return SIZE{scale(layoutClient.cx, dpi) + frame.cx, scale(layoutClient.cy, dpi) + frame.cy};
}

void TopLevelFrame::fit(HWND window, int dpi, const POINT* at) const
{
    const SIZE outer = outerAt(dpi);
    RECT r{};
    GetWindowRect(window, &r);
    const POINT place = at ? *at : POINT{r.left, r.top};
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(window, nullptr, place.x, place.y, outer.cx, outer.cy, kFlags);
    RECT client{};
    GetClientRect(window, &client);
    const int dx = scale(layoutClient.cx, dpi) - client.right;
    const int dy = scale(layoutClient.cy, dpi) - client.bottom;
    if (dx != 0 || dy != 0)
        SetWindowPos(window, nullptr, 0, 0, outer.cx + dx, outer.cy + dy, kFlags | SWP_NOMOVE);
}

}  // namespace GuiDpi
