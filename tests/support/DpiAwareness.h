// DPI awareness for the test programs and benchmarks that look at windows
// at another screen DPI (tests/dpi/run_at_dpis.sh, scripts/bench repaint).
// A process that is not DPI aware sees every size in 96-DPI units, scaled
// back from the real pixels; these programs must see the real pixels, as the
// program (per-monitor aware through its manifest) does.
#pragma once

#include <windows.h>

namespace qxsupport {

// Makes this process per-monitor DPI aware (v2 where the system knows it,
// else v1, else system aware). Call before the first window is made. True
// when the process is DPI aware afterwards, also when it already was (a
// manifest decides first, and then the calls are refused).
bool becomeDpiAware();
// True when the calling thread is DPI aware.
bool isDpiAware();
// The screen's DPI as this process sees it (LOGPIXELSY of the screen).
int screenDpi();
// The DPI the run is meant to find ($QX_DPI), or 0 when unset.
int expectedDpi();

}  // namespace qxsupport
