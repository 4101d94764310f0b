// Entry function: builds the three long-lived objects, wires them, hands the
// start-up thread to the engine for the life of the program, then takes
// everything down in a fixed order.
//
// Start-up: store, UI thread object, engine; the engine attaches the store
// (defaults, saved settings, GDI objects, engine observer), the UI thread
// attaches it (its observer goes to the head of the list, so it is told
// first), the engine takes the UI thread as the receiver of its
// notifications. engine.run() returns once the user has closed the main
// window and the engine's worker has closed the sound devices.
// Shut-down: unwire in the reverse order, delete the GDI objects, destroy the
// store, the UI thread object and the engine (app/Program.h), unless a
// thread of the engine or the UI thread outlived its limit and may still use
// them. The exit code is always 0.
#include <windows.h>

#include "foundation/ParameterStore.h"
#include "app/Program.h"
#include "app/SingleInstance.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"

extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // A second start shows the running program instead.
    if (!single_instance::claim())
        return 0;
    return runProgram(new ParameterStore(), new UiThread(instance), new AudioEngine());
}
