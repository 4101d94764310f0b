#include "DpiAwareness.h"

#include <cstdlib>

namespace qxsupport {

namespace {

// Looked up at run time: the system may not have them (they came with
// Windows 10), and the headers' declarations depend on WINVER.
using SetContextFn = BOOL(WINAPI*)(HANDLE);
using GetThreadContextFn = HANDLE(WINAPI*)();
using AwarenessFromContextFn = int(WINAPI*)(HANDLE);
using SetAwareFn = BOOL(WINAPI*)();
using IsAwareFn = BOOL(WINAPI*)();

const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));

template <class F>
F user32(const char* name)
{
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

bool isDpiAware()
{
    auto context = user32<GetThreadContextFn>("GetThreadDpiAwarenessContext");
    auto awareness = user32<AwarenessFromContextFn>("GetAwarenessFromDpiAwarenessContext");
    if (context && awareness)
        return awareness(context()) > 0;  // 0: DPI_AWARENESS_UNAWARE
    auto isAware = user32<IsAwareFn>("IsProcessDPIAware");
    return isAware && isAware();
}

bool becomeDpiAware()
{
    if (auto set = user32<SetContextFn>("SetProcessDpiAwarenessContext")) {
        if (!set(kPerMonitorAwareV2))
            set(kPerMonitorAware);
    }
    if (!isDpiAware()) {
        if (auto setAware = user32<SetAwareFn>("SetProcessDPIAware"))
            setAware();
    }
    return isDpiAware();
}

int screenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int expectedDpi()
{
    const char* v = std::getenv("QX_DPI");
    return v ? std::atoi(v) : 0;
}

}  // namespace qxsupport
