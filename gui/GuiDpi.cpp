#include "gui/GuiDpi.h"

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
    if (HDC screen = GetDC(nullptr)) {
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : kBase;
}

RECT outerRect(const RECT& client, DWORD style, DWORD exStyle, int dpi)
{
    static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT r = client;
    if (!(adjustForDpi && adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi)))) {
        r = client;
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return r;
}

SIZE outerSizeFor(int width, int height, DWORD style, DWORD exStyle, int dpi)
{
    const RECT client{0, 0, scale(width, dpi), scale(height, dpi)};
    const RECT r = outerRect(client, style, exStyle, dpi);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE clientSizeAt96(int outerWidth, int outerHeight, DWORD style, DWORD exStyle)
{
    const RECT frame = outerRect(RECT{0, 0, 0, 0}, style, exStyle, kBase);
    return SIZE{outerWidth - (frame.right - frame.left), outerHeight - (frame.bottom - frame.top)};
}

}  // namespace GuiDpi
