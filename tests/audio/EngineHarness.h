// What the engine tests share: a user-interface stand-in whose end the test
// decides, an engine session running `run` on its own thread, a recorder of
// parameter writes, the feeder of the virtual microphone, shell commands on
// the Linux side, the registry key and a kernel-handle count.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ParameterStore.h"
#include "foundation/UserInterface.h"
#include "audio/AudioEngine.h"

#include "Handles.h"
#include "Registry.h"
#include "Shell.h"
#include "Signal.h"
#include "Wait.h"

namespace qxtest {

// The user interface as the engine sees it, without a window: start
// succeeds (or fails, if told to), commands pass on to the engine as the UI
// thread passes them, and "the user closes the main window" when end() is
// called.
class TestUi final : public UserInterface {
public:
    TestUi();
    ~TestUi();
    int start() override;
    void waitFinished() override;
    void stop() override;
    void setNextHandler(NotificationHandler* handler) override { next_ = handler; }
    int notify(const Notification& n) { return next_ ? next_->notify(n) : 0; }
    // What runProgram asks of the program's UiThread besides.
    void attachStore(ParameterStore*) {}
    bool abandonedThread() const { return false; }
    void end() { SetEvent(finished_); }

    int startResult = 0;
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};

private:
    HANDLE finished_;
    NotificationHandler* next_ = nullptr;
};

// Every parameter write (id, value after the write, time) seen by an
// observer, in order; for event 100 also the time from the block's arrival
// to its publication.
class ParamLog : public ParameterObserver {
public:
    struct Entry {
        int id;
        int value;
        int64_t ticks;
    };
    explicit ParamLog(ParameterStore& store, const AudioEngine* engine = nullptr)
        : store_(store), engine_(engine)
    {
    }
    void parameterChanged(int id) override;

    std::vector<Entry> entries() const;
    void clear();
    int count(int id) const;
    // Values written to id, in order.
    std::vector<int> values(int id) const;
    // Publication latencies in ms (event 100), in order.
    std::vector<double> publishLatencies() const;
    // Called on the writer's thread for every write, before it is logged.
    std::function<void(int id)> onWrite;

private:
    ParameterStore& store_;
    const AudioEngine* engine_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::vector<double> latencies_;
};

// A store, a TestUi and an engine, wired as the entry function wires them,
// with `run` on its own thread.
class EngineSession {
public:
    EngineSession();
    ~EngineSession();
    // Starts run() and waits until it has called ui.start().
    void start();
    // Ends the user interface and waits (at most limitMs) for run() to return.
    // Returns false if it did not.
    bool finish(DWORD limitMs = 60000);
    // As the main window would: a command through the UiThread to the engine.
    void command(int code);
    // The same, then waits (at most limitMs) until the worker has carried it
    // out. Returns false if it did not.
    bool commandDone(int code, DWORD limitMs = 10000);

    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<TestUi> ui;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<ParamLog> log;
    int runResult = -100;
    double runMs = 0.0;          // how long run() took to return after end()
    double runReturnedMs = 0.0;  // when it returned (nowMs)

private:
    std::thread runner_;
    std::atomic<int> running_{0};
};

// Polls until pred() holds or limitMs have passed. Returns pred().
inline bool waitUntil(const std::function<bool()>& pred, DWORD limitMs, DWORD stepMs = 5)
{
    return qxsupport::waitFor(pred, limitMs, stepMs);
}

// QueryPerformanceCounter in ms.
using qxsupport::nowMs;
using qxsupport::ticksToMs;

// The feeder of the virtual microphone: lines like "sine 1000 0.5". Returns
// once the new signal is what the microphone hears (false after 10 s).
inline bool feed(const std::vector<std::string>& lines) { return qxsupport::feedSignal(lines); }
// True if the test environment provides the feeder.
using qxsupport::haveFeeder;

// Runs a shell command on the Linux side and waits (at most limitMs) for it.
// Returns its exit status, or -1 on time-out; output receives stdout+stderr.
inline int unixCommand(const std::string& command, std::string* output = nullptr,
                       DWORD limitMs = 20000)
{
    return qxsupport::runShell(command, limitMs, output);
}

// Number of kernel handles this process holds (through the system handle
// table; GetProcessHandleCount is a stub under Wine).
using qxsupport::kernelHandleCount;

// The registry key of the settings.
inline void clearSettingsKey() { qxsupport::clearSettings(); }

// A test through the virtual microphone: skipped without the feeder of
// scripts/test; the settings key cleared before, and silence and a cleared
// key after.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveFeeder())
            GTEST_SKIP() << "needs the virtual microphone of scripts/test";
        clearSettingsKey();
    }
    void TearDown() override
    {
        feed({"silence"});
        clearSettingsKey();
    }
};

// Processes of this Wine prefix (or Windows session) running a program of
// that file name; and ending them.
int processesNamed(const wchar_t* name);
int terminateProcessesNamed(const wchar_t* name);

// A wave input device by (the start of) its name, or -1.
int waveInDeviceByName(const wchar_t* name);

// Records a wave input device in the background (mono 16-bit).
class WaveCapture {
public:
    WaveCapture(int device, int rate);
    ~WaveCapture();
    bool start();
    void stop();
    // The samples so far, and when sample 0 was captured (nowMs), estimated
    // from the arrival times of the buffers.
    std::vector<int16_t> samples() const;
    double firstSampleMs() const;
    int rate() const { return rate_; }

private:
    static void CALLBACK callback(HWAVEIN, UINT msg, DWORD_PTR self, DWORD_PTR p1, DWORD_PTR);
    void pump();

    int device_;
    int rate_;
    HWAVEIN in_ = nullptr;
    HANDLE event_ = nullptr;
    std::thread pump_;
    std::atomic<int> stop_{0};
    static constexpr int Buffers = 8;
    static constexpr int BufferSamples = 1200;
    WAVEHDR headers_[Buffers]{};
    std::vector<int16_t> data_[Buffers];
    mutable std::mutex mutex_;
    std::vector<int16_t> recorded_;
    double firstSampleMs_ = -1.0;
};

// Amplitude (fraction of full scale) of a tone at freq in samples[from, to).
double toneAmplitude(const std::vector<int16_t>& samples, size_t from, size_t to, double freq,
                     int rate);

}  // namespace qxtest
