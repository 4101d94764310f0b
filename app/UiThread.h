// UiThread: the user-interface thread and the bridge to it.
//
// How it works
// - start() registers the window class, creates the events and starts the
//   thread, which creates and shows the main window and runs the message loop.
//   stop() asks it to end and joins it with a limit (app/Threads.h).
// - As a ParameterObserver it turns every parameter change into message 1034
//   for the main window: posted when the change happens on the UI thread,
//   otherwise queued as a request that the UI thread itself sends (identical
//   pending requests are merged). No other thread ever touches a window.
// - As the main window's GuiOwner it looks at each Notification (108: the
//   main window is gone) and passes every one on to the next handler, the
//   engine.
#pragma once

#include <windows.h>

#include <atomic>

#include "app/Notification.h"
#include "app/Owned.h"
#include "app/ParameterStore.h"
#include "gui/GuiOwner.h"

class MainWindow;

// wParam = parameter id (or event id 100), lParam = 0.
constexpr UINT WM_QX_PARAMETER = WM_USER + 10;  // 1034

class UiThread : public ParameterObserver, public GuiOwner {
public:
    explicit UiThread(HINSTANCE instance);
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;
    virtual ~UiThread();

    void parameterChanged(int id) override;
    virtual void setNextHandler(NotificationHandler* handler);
    virtual int start();
    virtual void stop();
    virtual void waitFinished();
    virtual void attachStore(ParameterStore* store);

    // GuiOwner, given to the main window.
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override { return store_; }
    HINSTANCE instanceHandle() override { return instance_; }
    HDC paintBuffer() override { return nullptr; }

    DWORD threadId() const { return threadId_.load(); }
    // True while requests of other threads wait for the UI thread.
    bool requestsPending();
    HWND mainWindowHandle() const { return mainWindowHandle_.load(); }
    // True once stop() gave up waiting for the thread: it may still use this
    // object, the main window and the store, so none of them may be deleted.
    bool abandonedThread() const { return abandoned_; }

protected:
    void queueSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct SendRequest {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        SendRequest* next;
    };

    static unsigned __stdcall threadEntry(void* self);
    unsigned threadMain();
    bool takeRequest(SendRequest& out);
    void freeRequests();

    NotificationHandler* next_ = nullptr;
    SendRequest* queueHead_ = nullptr;
    SendRequest* queueTail_ = nullptr;
    UniqueHandle requestEvent_;
    CriticalSection queueLock_;
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
