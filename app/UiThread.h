// UiThread: the user-interface thread and the bridge to it.
//
// How it works
// - start() registers the window class, creates the events and starts the
//   thread, which creates and shows the main window and runs the message loop.
//   stop() asks it to end and joins it with a limit (foundation/Threads.h).
// - As a ParameterObserver it turns every parameter change into message 1034
//   for the main window: posted when the change happens on the UI thread,
//   otherwise marked pending for the UI thread, which sends it itself. Each
//   id (0..99, event 100 and the options' ids, ParameterStore.h) is pending
//   at most once: a change of an id already pending adds nothing. Pending
//   ids are sent oldest first, so a message for an id written after others
//   by one thread comes after theirs. The hand-over allocates nothing and
//   takes no lock. Other ids name nothing the window knows and are not
//   passed from other threads.
//   Under Wine setting or resetting an event is a round trip to the
//   wineserver: a thread wakes the UI thread only when no wake is on its
//   way already (wakeAsked_); the event resets itself as it wakes the UI
//   thread, which then sends everything pending, not once per id. A
//   block's several ids cost one wake. LatestBuffer (70) wakes nobody: the
//   display hand-over always follows it with event 100, whose wake sends
//   both.
//   No other thread ever touches a window.
// - As the main window's GuiOwner it looks at each Notification (108: the
//   main window is gone) and passes every one on to the next handler, the
//   engine.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "foundation/Notification.h"
#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"
#include "foundation/UserInterface.h"
#include "gui/GuiOwner.h"
#include "gui/GuiWindow.h"

class MainWindow;

class UiThread : public ParameterObserver, public GuiOwner, public UserInterface {
public:
    explicit UiThread(HINSTANCE instance);
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;
    virtual ~UiThread();

    void parameterChanged(int id) override;
    void setNextHandler(NotificationHandler* handler) override;
    int start() override;
    void stop() override;
    void waitFinished() override;
    virtual void attachStore(ParameterStore* store);

    // GuiOwner, given to the main window.
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override { return store_; }
    HINSTANCE instanceHandle() override { return instance_; }
    HDC paintBuffer() override { return nullptr; }

    DWORD threadId() const { return threadId_.load(); }
    // True while changes made on other threads wait for the UI thread.
    bool requestsPending();
    // How many times other threads have woken the UI thread so far.
    int wakesAsked() const { return wakesAsked_.load(std::memory_order_relaxed); }
    HWND mainWindowHandle() const { return mainWindowHandle_.load(); }
    // True once stop() gave up waiting for the thread: it may still use this
    // object, the main window and the store, so none of them may be deleted.
    bool abandonedThread() const { return abandoned_; }

private:
    // Ids 0..99 and event 100, then the int options and the text options.
    static constexpr int kOptionSlots = Param::NewDisplayData + 1;
    static constexpr int kTextSlots = kOptionSlots + Option::kIntCount;
    static constexpr int PendingSlots = kTextSlots + Option::kTextCount;
    // The pending slot of a parameter id, -1 for an id without one; idOf
    // turns a slot back into its id.
    static int slotOf(int id);
    static int idOf(int slot);

    static unsigned __stdcall threadEntry(void* self);
    unsigned threadMain();
    void markPending(int id);
    // The id pending longest, no longer pending; -1 when none is (UI thread).
    int takePending();
    void clearPending();

    NotificationHandler* next_ = nullptr;
    // Per id: when it became pending (a number that only grows), 0 while it
    // is not. Other threads set it from 0; only the UI thread (and stop)
    // clears it.
    std::atomic<uint64_t> pendingSince_[PendingSlots];
    std::atomic<uint64_t> pendingClock_{0};
    UniqueHandle requestEvent_;
    // A thread has set requestEvent_ and the UI thread has not yet taken
    // what is pending since.
    std::atomic<bool> wakeAsked_{false};
    std::atomic<int> wakesAsked_{0};
    std::atomic<DWORD> threadId_{0};
    UniqueHandle thread_;
    UniqueHandle startedEvent_;
    UniqueHandle finishedEvent_;
    UniqueHandle quitEvent_;
    std::atomic<HWND> mainWindowHandle_{nullptr};
    HINSTANCE instance_;
    ParameterStore* store_ = nullptr;
    MainWindow* mainWindow_ = nullptr;
    bool abandoned_ = false;  // stop() gave up waiting for the thread
};
