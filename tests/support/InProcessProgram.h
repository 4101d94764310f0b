// The program's parts inside a test process: the real parameter store (with
// the engine's defaults, the saved settings and the shared GDI objects), the
// real UI thread and the real main window. The engine is attached to the
// store but never run; the commands the window gives go to the test's own
// handler instead.
#pragma once

#include <windows.h>

#include <memory>

#include "foundation/Notification.h"
#include "foundation/ParameterStore.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"

namespace qxsupport {

struct InProcessProgram {
    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<UiThread> ui;

    // Forgets the saved settings, builds the parts and starts the UI thread;
    // the main window, or null when it did not come within five seconds.
    HWND start(NotificationHandler* handler);
    // After the window was asked to close: waits for the UI thread, takes the
    // parts apart and forgets the settings again.
    void finish();
};

}  // namespace qxsupport
