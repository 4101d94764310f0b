// The program's life between wWinMain and its end: wiring the three
// long-lived objects, running, and taking them down. How errors reach the
// user: audio/AudioEngine.h.
#pragma once

class AudioEngine;
class ParameterStore;
class UiThread;

// Takes the three objects (made with new), wires them, hands the calling
// thread to the engine for the life of the program, unwires them and deletes
// them. When a thread of the engine or the UI thread outlived its limit,
// nothing is unwired or deleted: that thread may still use all three, and the
// end of the process takes them (app/Threads.h). Returns 0.
int runProgram(ParameterStore* store, UiThread* ui, AudioEngine* engine);
