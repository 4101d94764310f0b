#include "Wait.h"

namespace qxsupport {

bool waitFor(const std::function<bool()>& condition, DWORD limitMs, DWORD stepMs,
             const std::function<void()>& between)
{
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return condition();
        if (between)
            between();
        Sleep(stepMs);
    }
}

void pumpMessages(int quietMs, int limitMs, const std::function<bool(MSG*)>& preTranslate)
{
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastMessage = start;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!preTranslate || !preTranslate(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            constexpr UINT kSystemTimer = 0x0118;
            if (msg.message != WM_TIMER && msg.message != kSystemTimer)
                lastMessage = GetTickCount64();
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (now - lastMessage >= static_cast<ULONGLONG>(quietMs) ||
            now - start >= static_cast<ULONGLONG>(limitMs))
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

double ticksToMs(int64_t ticks)
{
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    return static_cast<double>(ticks) / perMs;
}

double nowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return ticksToMs(now.QuadPart);
}

int64_t processCpuTime()
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& f) {
        return (static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

}  // namespace qxsupport
