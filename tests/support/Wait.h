// Time and waiting, as every test program and benchmark needs them: a
// condition polled with a limit (never a fixed sleep), the message loop of a
// test's own windows run until it is quiet, and the clocks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace qxsupport {

// Polls until the condition holds or limitMs have passed, sleeping stepMs
// between tries (or running `between` instead, e.g. a message loop). True
// when it held; the condition is asked once more when the time is up.
bool waitFor(const std::function<bool()>& condition, DWORD limitMs, DWORD stepMs = 20,
             const std::function<void()>& between = nullptr);

// Dispatches this thread's waiting messages until the queue has been quiet
// for quietMs, or limitMs have passed. Timer messages do not count as
// activity (a control under a resting mouse pointer ticks for ever). A
// message for which preTranslate returns true is not dispatched.
void pumpMessages(int quietMs = 30, int limitMs = 2000,
                  const std::function<bool(MSG*)>& preTranslate = nullptr);

// QueryPerformanceCounter in ms, and its ticks in ms.
double nowMs();
double ticksToMs(int64_t ticks);
// CPU time (kernel and user) the process has used so far, in 100 ns units.
int64_t processCpuTime();

}  // namespace qxsupport
