// The program's life between wWinMain and its end: wiring the three
// long-lived objects, running, and taking them down. How errors reach the
// user: audio/AudioEngine.h.
#pragma once

#include "audio/AudioEngine.h"
#include "foundation/ParameterStore.h"

// Takes the three objects (made with new), wires them, hands the calling
// thread to the engine for the life of the program, unwires them and deletes
// them. When a thread of the engine or the user interface outlived its limit,
// nothing is unwired or deleted: that thread may still use all three, and the
// end of the process takes them (foundation/Threads.h). Returns 0.
//
// Ui is the UiThread in the program; the engine's test harness runs the same
// take-down with its own user interface. Besides UserInterface it offers
// attachStore(ParameterStore*) and abandonedThread().
template <class Ui>
int runProgram(ParameterStore* store, Ui* ui, AudioEngine* engine)
{
    engine->attachStore(store);
    ui->attachStore(store);
    engine->attachUi(ui);

    engine->run();
    // A thread that outlived its limit may use any of the three.
    if (engine->abandonedThreads() || ui->abandonedThread())
        return 0;

    engine->attachStore(nullptr);
    ui->attachStore(nullptr);
    engine->attachUi(nullptr);
    store->deleteGdiObjects();

    delete store;
    delete ui;
    delete engine;
    return 0;
}
