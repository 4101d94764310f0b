#include "app/UiThread.h"

#include <string>

#include "foundation/SystemError.h"
#include "foundation/Threads.h"
#include "gui/GuiWindow.h"
#include "mainwindow/MainWindowGlue.h"
#include "resources/resource.h"

namespace {
constexpr DWORD kStartWaitMs = 5000;
constexpr DWORD kStopWaitMs = 5000;
}  // namespace

UiThread::UiThread(HINSTANCE instance) : instance_(instance)
{
    for (auto& since : pendingSince_)
        since.store(0, std::memory_order_relaxed);
}

UiThread::~UiThread()
{
    if (abandoned_) {
        // The thread may still use its events; they are left to the end of
        // the process (foundation/Threads.h).
        UniqueHandle* handles[] = {&thread_, &startedEvent_, &finishedEvent_, &quitEvent_,
                                   &requestEvent_};
        for (UniqueHandle* h : handles)
            h->release();
        return;
    }
    stop();
}

void UiThread::setNextHandler(NotificationHandler* handler) { next_ = handler; }

void UiThread::attachStore(ParameterStore* store)
{
    if (store_)
        store_->removeObserver(this);
    store_ = store;
    if (store_)
        store_->addObserver(this);
}

int UiThread::start()
{
    DWORD error = 0;
    if (!registerGuiWindowClass(instance_, &error)) {
        const std::wstring text =
            std::wstring(L"Error registering class ") + kGuiWindowClass + L" : " + systemErrorText(error);
        MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK);
        return -1;
    }
    UniqueHandle* events[] = {&startedEvent_, &finishedEvent_, &quitEvent_};
    for (UniqueHandle* e : events) {
        *e = createEvent(true, false);
        if (!*e)
            return -1;
    }
    // Auto-reset: the wait that a wake ends takes the wake with it, with no
    // second round trip to reset it.
    requestEvent_ = createEvent(false, false);
    if (!requestEvent_)
        return -1;
    DWORD id = 0;
    thread_ = startThread(&UiThread::threadEntry, this, &id);
    if (!thread_) {
        SetEvent(finishedEvent_.get());
        threadId_ = 0;
        return -1;
    }
    threadId_ = id;
    ResumeThread(thread_.get());
    WaitForSingleObject(startedEvent_.get(), kStartWaitMs);
    return 0;
}

void UiThread::waitFinished()
{
    if (finishedEvent_)
        WaitForSingleObject(finishedEvent_.get(), INFINITE);
}

void UiThread::stop()
{
    if (abandoned_)
        return;
    if (thread_) {
        SetEvent(quitEvent_.get());
        if (joinThread(thread_, kStopWaitMs) == JoinResult::Abandoned) {
            // Still running: a modal loop or a slow handler holds it. A quit
            // message ends a modal loop; give it the same time once more.
            if (DWORD id = threadId_.load())
                PostThreadMessageW(id, WM_QUIT, 0, 0);
            if (joinThread(thread_, kStopWaitMs) == JoinResult::Abandoned) {
                // The thread can still use the main window, the events and
                // the pending ids: leave them all to the end of the process
                // rather than free what it may touch.
                abandoned_ = true;
                return;
            }
        }
    }
    threadId_ = 0;
    // No other thread marks anything pending from here on.
    mainWindowHandle_ = nullptr;
    clearPending();
    wakeAsked_.store(false, std::memory_order_release);
    UniqueHandle* events[] = {&quitEvent_, &finishedEvent_, &startedEvent_, &requestEvent_};
    for (UniqueHandle* e : events)
        e->reset();
    if (mainWindow_) {
        deleteMainWindow(mainWindow_);
        mainWindow_ = nullptr;
    }
}

void UiThread::parameterChanged(int id)
{
    HWND window = mainWindowHandle_.load();
    if (!window)
        return;
    if (GetCurrentThreadId() == threadId_.load())
        PostMessageW(window, WM_QX_PARAMETER, static_cast<WPARAM>(id), 0);
    else
        markPending(id);
}

// An id already pending stays as it is (it keeps its place); otherwise it
// becomes pending now and the UI thread is woken.
int UiThread::slotOf(int id)
{
    if (id >= 0 && id < kOptionSlots)
        return id;
    if (Option::isInt(id))
        return kOptionSlots + (id - Option::kIntBase);
    if (Option::isText(id))
        return kTextSlots + (id - Option::kTextBase);
    return -1;
}

int UiThread::idOf(int slot)
{
    if (slot < kOptionSlots)
        return slot;
    if (slot < kTextSlots)
        return Option::kIntBase + (slot - kOptionSlots);
    return Option::kTextBase + (slot - kTextSlots);
}

void UiThread::markPending(int id)
{
    const int slot = slotOf(id);
    if (slot < 0)
        return;
    std::atomic<uint64_t>& since = pendingSince_[slot];
    if (since.load(std::memory_order_acquire) != 0)
        return;
    uint64_t expected = 0;
    const uint64_t now = pendingClock_.fetch_add(1, std::memory_order_acq_rel) + 1;
    // The display hand-over names the newest buffer (LatestBuffer), copies
    // it and announces it (NewDisplayData) a few microseconds later: only
    // the announcement wakes this thread, which then sends both, in order,
    // instead of waking twice a block.
    const bool wakes = id != Param::LatestBuffer;
    if (since.compare_exchange_strong(expected, now, std::memory_order_acq_rel) && wakes &&
        requestEvent_ && !wakeAsked_.exchange(true, std::memory_order_acq_rel)) {
        wakesAsked_.fetch_add(1, std::memory_order_relaxed);
        SetEvent(requestEvent_.get());
    }
}

bool UiThread::requestsPending()
{
    for (const auto& since : pendingSince_)
        if (since.load(std::memory_order_acquire) != 0)
            return true;
    return false;
}

int UiThread::takePending()
{
    int oldest = -1;
    uint64_t oldestSince = 0;
    for (int slot = 0; slot < PendingSlots; ++slot) {
        const uint64_t since = pendingSince_[slot].load(std::memory_order_acquire);
        if (since != 0 && (oldest < 0 || since < oldestSince)) {
            oldest = slot;
            oldestSince = since;
        }
    }
    // Only this thread clears a slot, so the one found is still pending.
    if (oldest < 0)
        return -1;
    pendingSince_[oldest].store(0, std::memory_order_release);
    return idOf(oldest);
}

void UiThread::clearPending()
{
    for (auto& since : pendingSince_)
        since.store(0, std::memory_order_release);
}

int UiThread::notify(const Notification& n)
{
    if (n.code() == Code::MainWindowGone)
        mainWindowHandle_ = nullptr;
    return next_ ? next_->notify(n) : 0;
}

unsigned __stdcall UiThread::threadEntry(void* self)
{
    return static_cast<UiThread*>(self)->threadMain();
}

unsigned UiThread::threadMain()
{
    SetEvent(startedEvent_.get());
    const AcceleratorTable accelerators(LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(IDR_ACCELERATORS)));
    unsigned exitCode = static_cast<unsigned>(-1);

    mainWindow_ = newMainWindow(this);
    HWND window = mainWindow_ ? createMainWindow(mainWindow_) : nullptr;
    if (window) {
        mainWindowHandle_ = window;
        ShowWindow(window, mainWindowShowCommand());
        UpdateWindow(window);

        HANDLE waits[2] = {quitEvent_.get(), requestEvent_.get()};
        for (;;) {
            for (int pending; (pending = takePending()) >= 0;)
                if (HWND main = mainWindowHandle_.load())
                    SendMessageW(main, WM_QX_PARAMETER, static_cast<WPARAM>(pending), 0);
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    exitCode = static_cast<unsigned>(msg.wParam);
                    break;
                }
                HWND main = mainWindowHandle_.load();
                if (main) {
                    // While the main window is disabled (a configuration
                    // window is open) its shortcuts do nothing.
                    if (accelerators && IsWindowEnabled(main) &&
                        TranslateAcceleratorW(main, accelerators.get(), &msg))
                        continue;
                    if (preTranslateMainWindow(mainWindow_, &msg))
                        continue;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
                continue;
            }
            const DWORD woke = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0 + 1) {
                // Woken for pending ids (the wait has reset the event): a
                // thread that marks one from here on wakes this one again;
                // what is pending now is sent at the top of the loop.
                wakeAsked_.exchange(false, std::memory_order_acq_rel);
                continue;
            }
            if (woke != WAIT_OBJECT_0)
                continue;
            if (HWND main = mainWindowHandle_.load()) {
                DestroyWindow(main);  // its WM_DESTROY posts the quit message
                continue;
            }
            break;
        }
    }

    SetEvent(finishedEvent_.get());
    threadId_ = 0;
    return exitCode;
}
