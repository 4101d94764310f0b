// ConfigHost: a stand-in for the main window that holds a real configuration
// window, with the real parameter store and the real audio engine behind it.
//
// How it works
// - A visible "P2GUIWindow" top-level window implementing GuiOwner. Its store
//   is attached to a real AudioEngine (defaults, saved settings from the
//   registry, shared GDI objects) that is never run: its notify() still does
//   what it does for the configuration window (201: stop request and the
//   settle pause; 202: write the registry).
// - It opens the configuration window the way the main window does on 104:
//   owned by the host, centred over it, shown, the host disabled; on 205 the
//   host enables itself again.
// - Everything that happens is logged in order: every Notification that
//   reaches the host ("the engine's side") and every parameter the store
//   announces. As an observer it also posts 1034 to itself for each change,
//   as the UI thread does, and passes 1034 on to the configuration window
//   first.
// - pump() is the message loop of the program: the configuration window's
//   preTranslate first, then the main window's keyboard rule (Enter and
//   Space key-downs are consumed), then translate and dispatch.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "foundation/ParameterStore.h"
#include "config/ConfigWindow.h"
#include "gui/GuiWindow.h"

class AudioEngine;

class ConfigHost : public GuiWindow, public GuiOwner, public ParameterObserver {
public:
    struct Event {
        enum Kind { Notify, Write } kind;
        int value;
        bool operator==(const Event& o) const { return kind == o.kind && value == o.value; }
    };

    ConfigHost();
    ~ConfigHost();

    ParameterStore& store() { return *store_; }
    ConfigWindow* config() const { return config_.get(); }
    HWND window() const { return handle_; }
    HWND configWindow() const { return config_ ? config_->handle() : nullptr; }

    // Opens (or reopens) the configuration window as command 104 does.
    bool open();
    // Runs the message loop until the queue has been quiet for quietMs.
    void pump(int quietMs = 30, int limitMs = 3000);
    // One message through the loop's rules; true when consumed.
    bool preTranslateLoop(MSG* message);

    // Codes that reached the host, writes the store announced.
    std::vector<int> codes() const;
    std::vector<int> writes() const;
    // Position of the first event of this kind and value in the log, -1 none.
    int firstIndex(Event::Kind kind, int value) const;
    int firstWriteIndex() const;
    void clearLog() { log.clear(); }

    std::vector<Event> log;
    int closedCount = 0;

    // GuiOwner
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override { return store_.get(); }
    HINSTANCE instanceHandle() override { return GetModuleHandleW(nullptr); }
    HDC paintBuffer() override { return buffer_.dc(); }
    GuiSpans::Picture paintPixels() override { return buffer_.pixels(); }

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void parameterChanged(int id) override;

private:
    std::unique_ptr<ParameterStore> store_;
    AudioEngine* engine_ = nullptr;
    std::unique_ptr<ConfigWindow> config_;
    GuiPaintBuffer buffer_;
};
