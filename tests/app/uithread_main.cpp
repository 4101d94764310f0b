// The UI thread with a stand-in main window: which parameter writes become
// message 1034 and how often, the way notifications travel, and how the
// thread ends. The stand-in replaces the real main window at link time (this
// program defines the four functions the UI thread calls), so every message
// it receives can be counted and the thread can be held inside a handler.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ParameterStore.h"
#include "app/UiThread.h"
#include "gui/GuiWindow.h"
#include "mainwindow/MainWindowGlue.h"

#include "Wait.h"

namespace {

constexpr UINT kHold = WM_APP + 1;       // handler waits until released
constexpr UINT kWriteOwn = WM_APP + 2;   // handler writes a parameter itself

struct Observed {
    std::mutex lock;
    std::map<int, int> counts;   // 1034 per parameter id
    std::vector<int> order;
    int destroyed = 0;
    int deleted = 0;
    bool reenteredDuringOwnWrite = false;
    bool postQuitOnDestroy = true;
    HANDLE releaseHold = nullptr;
    HANDLE holding = nullptr;
    std::function<void()> beforeCreate;
    std::function<void()> duringCreate;
};
Observed* g = nullptr;

// Watches for an "Error" message box of this process while a call runs,
// records its text and dismisses it.
class ErrorBoxWatch {
public:
    ErrorBoxWatch()
        : thread_([this] {
              while (!stop_) {
                  // The box is found as soon as it exists; its text is there
                  // once it is shown.
                  HWND box = FindWindowW(L"#32770", L"Error");
                  wchar_t text[256] = {};
                  if (box && IsWindowVisible(box) && GetDlgItemTextW(box, 0xFFFF, text, 256) > 0) {
                      seen_ = text;
                      appeared_ = true;
                      PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                  }
                  Sleep(20);
              }
          })
    {
    }
    ~ErrorBoxWatch() { finish(); }
    void finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool appeared() const { return appeared_; }
    std::wstring text() const { return seen_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> appeared_{false};
    std::wstring seen_;
    std::thread thread_;
};

}  // namespace

class MainWindow final : public GuiWindow {
public:
    explicit MainWindow(GuiOwner* owner) : GuiWindow(owner) {}

    HWND create()
    {
        if (g->beforeCreate)
            g->beforeCreate();
        HWND w = CreateWindowExW(0, kGuiWindowClass, L"stand-in main window", WS_OVERLAPPEDWINDOW,
                                 10, 10, 300, 200, nullptr, nullptr, ownerInstance(), this);
        return w;
    }

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_CREATE:
            handle_ = window;
            if (g->duringCreate)
                g->duringCreate();
            break;
        case WM_QX_PARAMETER: {
            std::lock_guard<std::mutex> hold(g->lock);
            g->counts[static_cast<int>(wParam)]++;
            g->order.push_back(static_cast<int>(wParam));
            if (inOwnWrite_)
                g->reenteredDuringOwnWrite = true;
            return 0;
        }
        case kHold:
            SetEvent(g->holding);
            WaitForSingleObject(g->releaseHold, INFINITE);
            return 0;
        case kWriteOwn:
            inOwnWrite_ = true;
            owner()->parameterStore()->set(static_cast<int>(wParam), static_cast<intptr_t>(lParam));
            inOwnWrite_ = false;
            return 0;
        case WM_DESTROY:
            g->destroyed++;
            notifyOwner(Code::MainWindowGone);
            if (g->postQuitOnDestroy)
                PostQuitMessage(0);
            return 0;
        }
        return GuiWindow::windowProc(window, message, wParam, lParam);
    }

private:
    bool inOwnWrite_ = false;
};

MainWindow* newMainWindow(GuiOwner* owner) { return new MainWindow(owner); }
int mainWindowShowCommand() { return SW_SHOWNORMAL; }

HWND createMainWindow(MainWindow* window) { return window->create(); }
BOOL preTranslateMainWindow(MainWindow*, MSG*) { return FALSE; }
void deleteMainWindow(MainWindow* window)
{
    g->deleted++;
    delete window;
}

namespace {

struct CountingHandler : NotificationHandler {
    std::vector<int> codes;
    int notify(const Notification& n) override
    {
        codes.push_back(n.code());
        return 7;
    }
};

bool waitUntil(const std::function<bool()>& done, DWORD ms = 5000)
{
    return qxsupport::waitFor(done, ms, 5);
}

class UiThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        observed = std::make_unique<Observed>();
        g = observed.get();
        g->releaseHold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g->holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        store = std::make_unique<ParameterStore>();
        ui = std::make_unique<UiThread>(GetModuleHandleW(nullptr));
        ui->attachStore(store.get());
        ui->setNextHandler(&next);
    }
    void TearDown() override
    {
        SetEvent(g->releaseHold);
        ui->stop();
        ui->attachStore(nullptr);
        ui.reset();
        CloseHandle(g->releaseHold);
        CloseHandle(g->holding);
        g = nullptr;
    }
    int count(int id)
    {
        std::lock_guard<std::mutex> hold(g->lock);
        return g->counts[id];
    }
    // Holds the UI thread inside a handler until release().
    void holdUiThread()
    {
        ResetEvent(g->releaseHold);
        ResetEvent(g->holding);
        PostMessageW(ui->mainWindowHandle(), kHold, 0, 0);
        ASSERT_EQ(WaitForSingleObject(g->holding, 5000), WAIT_OBJECT_0);
    }
    void release() { SetEvent(g->releaseHold); }
    // Event 100 from a foreign thread, then wait until it arrived: every
    // request queued before it has been served by then.
    void drain()
    {
        const int before = count(Param::NewDisplayData);
        std::thread([this] { store->set(Param::NewDisplayData, 0); }).join();
        ASSERT_TRUE(waitUntil([&] { return count(Param::NewDisplayData) > before; }));
    }

    std::unique_ptr<Observed> observed;
    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<UiThread> ui;
    CountingHandler next;
};

// Writes of an id still pending are merged into one message (RefMeanLevel
// below; drain() shows that once handled, the next write is a new message).
TEST_F(UiThreadTest, PendingIdsFromAnotherThreadComeInTheOrderOfTheirFirstWrite)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    EXPECT_FALSE(ui->requestsPending());
    holdUiThread();
    std::thread engine([&] {
        store->set(Param::AnaFaults, 1);   // 97
        store->set(Param::RefMeanLevel, 5);  // 0, the lowest id
        store->set(Param::NewDisplayData, 0);  // event 100
        store->set(Param::DbDiff, 9);
        store->set(Param::RefMeanLevel, 6);  // still pending: keeps its place
        store->set(99, 1);  // the highest slot
    });
    engine.join();
    EXPECT_TRUE(ui->requestsPending());
    release();
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> hold(g->lock);
        return g->order.size() >= 5u;
    }));
    EXPECT_TRUE(waitUntil([&] { return !ui->requestsPending(); }));
    std::lock_guard<std::mutex> hold(g->lock);
    EXPECT_EQ(g->order, (std::vector<int>{Param::AnaFaults, Param::RefMeanLevel,
                                          Param::NewDisplayData, Param::DbDiff, 99}));
}

// The display hand-over (publishDisplayBuffer): the newest buffer's index
// and then event 100, from the engine's thread. Naming the buffer wakes
// nobody; the announcement wakes the UI thread once, and both arrive in
// that order.
TEST_F(UiThreadTest, TheDisplayHandOverWakesTheUiThreadOnce)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    drain();
    const int wakes = ui->wakesAsked();
    std::thread([&] { store->set(Param::LatestBuffer, 1); }).join();
    EXPECT_EQ(ui->wakesAsked(), wakes);
    drain();  // event 100
    EXPECT_EQ(ui->wakesAsked(), wakes + 1);
    std::lock_guard<std::mutex> hold(g->lock);
    EXPECT_EQ(std::vector<int>(g->order.end() - 2, g->order.end()),
              (std::vector<int>{Param::LatestBuffer, Param::NewDisplayData}));
}

// Options (ids from 1000 and 2000) come to the window from other threads as
// the slots do: once while pending, in the order of their first change.
// Writes from two threads racing with the UI thread's wake-ups: one wake
// may serve many writes, but none is left pending without a wake. The last
// write of each thread arrives, whenever it falls.
TEST_F(UiThreadTest, RacingWritesFromOtherThreadsAreNeverLeftWithoutAWake)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    for (int round = 0; round < 200; ++round) {
        const int events = count(Param::NewDisplayData);
        const int levels = count(Param::RefMeanLevel);
        std::thread engine([&] {
            for (int i = 0; i <= round % 5; ++i)
                store->set(Param::NewDisplayData, 0);
        });
        std::thread meter([&] { store->set(Param::RefMeanLevel, round + 1); });  // a new value
        engine.join();
        meter.join();
        ASSERT_TRUE(waitUntil([&] {
            return count(Param::NewDisplayData) > events && count(Param::RefMeanLevel) > levels;
        })) << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return !ui->requestsPending(); })) << "round " << round;
    }
}

TEST_F(UiThreadTest, OptionChangesFromAnotherThreadArriveMergedInOrder)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    holdUiThread();
    std::thread engine([&] {
        store->set(Option::Averaging, 1);
        store->setText(Option::RecordDevice, L"Mic");
        store->set(Param::DbDiff, 9);
        store->set(Option::Averaging, 0);            // still pending: merged
        store->setText(Option::RecordDevice, L"Line");  // likewise
        store->set(Option::Weighting, 2);
    });
    engine.join();
    EXPECT_TRUE(ui->requestsPending());
    release();
    drain();
    std::lock_guard<std::mutex> hold(g->lock);
    EXPECT_EQ(g->order, (std::vector<int>{Option::Averaging, Option::RecordDevice, Param::DbDiff,
                                          Option::Weighting, Param::NewDisplayData}));
}

TEST_F(UiThreadTest, WritesBeforeTheWindowHasAHandleYieldNoMessage)
{
    g->beforeCreate = [&] {
        std::thread([&] { store->set(Param::SampFrq, 48000); }).join();  // foreign
        store->set(Param::NumSamples, 2048);                             // the UI thread
    };
    g->duringCreate = [&] { store->set(Param::IntLvl, 32); };
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    drain();
    EXPECT_EQ(count(Param::SampFrq), 0);
    EXPECT_EQ(count(Param::NumSamples), 0);
    EXPECT_EQ(count(Param::IntLvl), 0);
    // Once the handle is known, both paths deliver.
    std::thread([&] { store->set(Param::SampFrq, 24000); }).join();
    drain();
    EXPECT_EQ(count(Param::SampFrq), 1);
}

TEST_F(UiThreadTest, AWriteOnTheUiThreadIsPostedNotSentInsideTheWritingHandler)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    SendMessageW(ui->mainWindowHandle(), kWriteOwn, Param::DbDiff, 75);
    ASSERT_TRUE(waitUntil([&] { return count(Param::DbDiff) == 1; }));
    EXPECT_FALSE(g->reenteredDuringOwnWrite);
    EXPECT_EQ(store->get(Param::DbDiff), 75);
}

TEST_F(UiThreadTest, NotificationsPassToTheNextHandlerAndWindowGoneClearsTheHandle)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    EXPECT_EQ(ui->notify(Notification(Code::Reference)), 7);
    EXPECT_NE(ui->mainWindowHandle(), nullptr);
    ui->setNextHandler(nullptr);
    EXPECT_EQ(ui->notify(Notification(Code::Pause)), 0);
    ui->setNextHandler(&next);
    EXPECT_EQ(next.codes, (std::vector<int>{Code::Reference}));
}

TEST_F(UiThreadTest, ClosingTheWindowEndsTheThreadAndStopDestroysNothingTwice)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    PostMessageW(ui->mainWindowHandle(), WM_CLOSE, 0, 0);  // DefWindowProc destroys it
    ui->waitFinished();
    EXPECT_EQ(g->destroyed, 1);
    EXPECT_TRUE(waitUntil([&] { return ui->threadId() == 0; }));
    EXPECT_EQ(ui->mainWindowHandle(), nullptr);
    EXPECT_EQ(next.codes, (std::vector<int>{Code::MainWindowGone}));
    ui->stop();
    ui->stop();  // safe in any state
    EXPECT_EQ(g->destroyed, 1);
    EXPECT_EQ(g->deleted, 1);
}

// 108 clears the handle; when the window's end posts no quit message, the
// quit event alone ends the loop, without a second DestroyWindow.
TEST_F(UiThreadTest, WindowGoneThenQuitEventEndsTheLoopWithoutASecondDestroy)
{
    g->postQuitOnDestroy = false;
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    HWND window = ui->mainWindowHandle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() == nullptr; }));
    EXPECT_NE(ui->threadId(), 0u);  // no quit message: the loop goes on
    const DWORD start = GetTickCount();
    ui->stop();
    EXPECT_LT(GetTickCount() - start, 4000u);
    EXPECT_EQ(g->destroyed, 1);
    EXPECT_EQ(g->deleted, 1);
}

TEST_F(UiThreadTest, StopWhileTheWindowIsOpenDestroysItOnItsOwnThread)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    HWND window = ui->mainWindowHandle();
    ui->stop();
    // Destroyed on its own thread before stop() returned; under Wine another
    // thread may see the handle go a moment later.
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(window); }));
    EXPECT_EQ(g->destroyed, 1);
    EXPECT_EQ(g->deleted, 1);
    EXPECT_EQ(next.codes, (std::vector<int>{Code::MainWindowGone}));
}

// A UI thread stuck in a handler: stop() gives up after its waits and leaves
// the main window object alone, since the thread may still use it.
TEST_F(UiThreadTest, StopGivesUpOnAStuckThreadWithoutFreeingWhatItUses)
{
    ASSERT_EQ(ui->start(), 0);
    ASSERT_TRUE(waitUntil([&] { return ui->mainWindowHandle() != nullptr; }));
    holdUiThread();
    const DWORD start = GetTickCount();
    ui->stop();
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 9000u);
    EXPECT_LT(took, 15000u);
    EXPECT_EQ(g->deleted, 0);
    EXPECT_NE(ui->threadId(), 0u);
    // Once it is released, the thread ends on its own and nothing was freed
    // under it. The object is then deliberately left to the process's end.
    release();
    ASSERT_TRUE(waitUntil([&] { return ui->threadId() == 0; }, 10000));
    ui->attachStore(nullptr);
    ui.release();  // abandoned: never destroyed, as in the program's shut-down
    g->releaseHold = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ui = std::make_unique<UiThread>(GetModuleHandleW(nullptr));
}

}  // namespace

TEST(UiThreadStart, AFailedClassRegistrationIsShownInTheErrorBox)
{
    // Wine refuses classes registered for user32's own module.
    HINSTANCE user32 = GetModuleHandleW(L"user32.dll");
    if (registerGuiWindowClass(user32))
        GTEST_SKIP() << "this system registers classes for user32's module";
    UiThread ui(user32);
    ErrorBoxWatch watch;
    EXPECT_EQ(ui.start(), -1);
    watch.finish();
    ASSERT_TRUE(watch.appeared());
    const std::wstring text = watch.text();
    const std::wstring prefix = L"Error registering class P2GUIWindow : ";
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << std::string(text.begin(), text.end());
    // The system's wording, then its number, which is not "already exists".
    const size_t number = text.rfind(L"(error ");
    ASSERT_NE(number, std::wstring::npos);
    EXPECT_GT(number, prefix.size());
    const int error = _wtoi(text.c_str() + number + 7);
    EXPECT_NE(error, 0);
    EXPECT_NE(error, ERROR_CLASS_ALREADY_EXISTS);
}
