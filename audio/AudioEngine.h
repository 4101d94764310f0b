// AudioEngine: the sound devices, the audio buffers, the working spectrum
// data and every thread that touches audio.
//
// How it works
// - Commands arrive as Notifications on the user-interface thread. notify()
//   only stores a WorkerState in `pendingState_` and wakes the worker thread,
//   which alone starts and stops capture. A newer command that arrives before
//   the worker woke replaces the older one.
// - A capture run records mono 16-bit PCM through the wave mapper into five
//   recording buffers. The capture thread copies each recorded block into a
//   playback buffer and gives the recording buffer straight back to the
//   recording device, then analyses the block, publishes the result and
//   plays the copy. The recording side therefore never waits for the
//   playback device, however long that device holds its buffers (Wine holds
//   each one 85 ms at 48000 Hz and up to about a second at 12000 Hz: five
//   buffers that had to be played before they could record again ran out,
//   and the recording device dropped samples between blocks). The device callbacks
//   only set events. AudioCapture.cpp and AudioPlayback.cpp have the
//   details; AudioEngine.cpp the commands and the worker, AudioSettings.cpp
//   the registry, AudioTools.cpp the external tools.
// - Everything the user interface needs is written to the ParameterStore; the
//   engine never calls a window function.
// - A device that fails while capture runs (a queue error, or a recording
//   device that stops delivering blocks) ends both audio threads; the worker
//   then stops capture and reports the failure through SoundErrorCode (76)
//   and SoundErrorStage (75), stage 4 for the recording side, 5 for playback
//   (a queue error, or a playback device that returns no buffer any more).
// - Each block is also checked for trust: full-scale samples and blocks the
//   device lost or that were not analysed are counted into ClipCount,
//   Clipping, LostBlocks and the fault bits of the measured half; a
//   calibration (command 109) runs a Reference capture, follows the strongest
//   tone for a few seconds and stores the calibration offset
//   (AudioEngineLevels.cpp).
//
// Threads: the start-up thread inside run(); the user-interface thread (notify,
// launchVolumeControl, saveSettings); the worker; per capture run the capture
// and recycler threads; the system's wave callback threads; one watcher per
// started external tool. Each starts and ends as foundation/Threads.h says.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>

#include "analysis/BlockAnalysis.h"
#include "foundation/FrameLock.h"
#include "foundation/MicResponse.h"
#include "foundation/Notification.h"
#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"
#include "foundation/UserInterface.h"

// How errors travel
// - A sound device that fails (it cannot be opened or started, a queue call
//   fails, or it goes quiet while capture runs) is reported by the engine
//   through the store only: the code to SoundErrorCode (76), then the stage
//   to SoundErrorStage (75). The UI thread hands the change of 75 to the main
//   window as message 1034; the main window shows the error box and sets 75
//   back to 0. The engine never shows a box or calls a window function.
// - A window that cannot be made is reported at once, with a box: the
//   window class by the UI thread's start() (the toolkit hands it the
//   error), the configuration window by the main window.
// - Settings the registry refuses on Save: notify answers 0 and the
//   configuration window shows its box.
// - Outcomes: a yes/no answer is a bool. Three ints stay as their callers
//   read them: notify() answers 1 or 0 (Save) through the Notification
//   interface; the user interface's start() answers 0 when the user interface runs and
//   -1 when it could not start, and run() passes that on (0 without one);
//   processBlock() answers 0 for an analysed block, as analysis/BlockAnalysis
//   does.
// Silent on purpose, and why:
// - errors a stop provokes (a device's reset, unprepare or close on the way
//   out; a queue error once `stopping_` is set): a stop reports nothing and
//   waits for no device;
// - every failure of a run after its first: the first is the cause;
// - a tool with nothing to start, or whose program does not start: the press
//   does nothing and can be repeated;
// - registry values missing or out of range: the defaults stand;
// - the registry writes at the end of a calibration: the calibration holds
//   for the session either way, and the user did not ask to save;
// - a command not carried out within CommandAckMs, and a thread abandoned
//   past its limit (abandonedThreads()): the program goes on, or ends,
//   without it;
// - no event, thread or screen DC from the system (its resources are
//   exhausted): capture does not start, commands are not carried out, or the
//   interface colours are not matched to the screen;
// - a UI thread that cannot start, or whose main window cannot be made: run()
//   returns and the program ends without a box, since what failed is the
//   system's window machinery a box needs too (a window class that could
//   not be registered has been reported in a box by then).

// Values of SoundErrorStage (75).
namespace SoundStage {
enum : int {
    None = 0,
    RecordOpen = 1,      // opening the recording device failed
    PlaybackOpen = 2,    // opening the playback device failed
    RecordStart = 3,     // starting the recording device failed
    RecordFailed = 4,    // the recording side failed while capture ran
    PlaybackFailed = 5,  // the playback side failed while capture ran
};
}

// An external program the engine may start for one of its two tool buttons:
// `file` in the tool directory (the Windows system directory), started with
// `arguments`; only considered when `needs` (if given) also exists there.
struct ToolProgram {
    const wchar_t* file;
    const wchar_t* arguments;
    const wchar_t* needs;
};

class AudioEngine : public NotificationHandler, public ParameterObserver {
public:
    // Wave headers are chained into the free, record and playback lists.
    struct Header {
        WAVEHDR wave;
        Header* next;
    };

    static constexpr int BufferCount = 5;
    static constexpr int BufferBytes = 65536;
    // Copies of recorded blocks on their way through the playback device:
    // as many as make PlaybackBacklogMs of sound, at least 16, at most
    // PlaybackBufferCount. What the playback device may hold back is bounded
    // by them: a block that finds none free is not played.
    static constexpr int PlaybackBufferCount = 32;
    static constexpr int MinPlaybackBuffers = 16;
    static constexpr int PlaybackBacklogMs = 700;
    static int playbackBuffersFor(int rate, int samples);
    // The format recorded and played: mono, 16-bit PCM at `rate`.
    static WAVEFORMATEX waveFormat(int rate);
    static constexpr int PlaybackBufferBytes = 2 * MaxSamples;
    static constexpr DWORD ThreadJoinMs = 30000;
    // The worker's own stop waits up to ThreadJoinMs for each audio thread.
    static constexpr DWORD WorkerJoinMs = 2 * ThreadJoinMs + 5000;
    // A command that stops capture on behalf of a window (Apply, Defaults)
    // returns once the worker has carried it out, or after this long.
    static constexpr DWORD CommandAckMs = 5000;
    // A recording device that delivers no block, or a playback device that
    // gives no buffer back, for this many block durations (and at least
    // StallMinimumMs) is treated as gone.
    static constexpr int StallBlocks = 4;
    static constexpr DWORD StallMinimumMs = 2000;
    // The limit before a device's first answer in a run.
    static constexpr DWORD StartupStallMs = 10000;

    AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;
    virtual ~AudioEngine();

    int notify(const Notification& n) override;
    virtual void attachStore(ParameterStore* store);
    virtual void attachUi(UserInterface* ui);
    virtual int run();
    virtual void onRecordDeviceMessage(UINT message, DWORD_PTR param);
    virtual void onPlaybackDeviceMessage(UINT message);
    virtual void recyclerThreadMain();
    virtual void captureThreadMain();
    virtual void workerMain();
    // True when every value was written; false when the registry refused
    // one (or there is no store). notify() answers Save with 1 or 0.
    virtual bool saveSettings();
    virtual void loadSettings();
    virtual void stopCapture();
    virtual void closeDevices();
    virtual void joinAudioThreads();
    virtual void computeBandEdges();
    virtual bool startCapture();
    virtual bool createAudioEvents();
    virtual bool createAudioThreads();
    virtual bool openDevices();
    virtual int processBlock(int count, const int16_t* samples);
    virtual void conditionBlock(int count, float* samples);
    virtual void resetBuffers();
    virtual void launchVolumeControl();
    virtual void launchRecorder();
    // Worker: the spectrum in the store's ReferenceImport becomes the Reference.
    void loadReference();

    // The engine observes the store but takes no action on changes.
    void parameterChanged(int id) override;

    // What a capture run did so far; reset at each start of capture. Read
    // from any thread.
    struct RunCounters {
        std::atomic<int> queued{0};    // buffers given to the recording device
        std::atomic<int> recorded{0};  // WIM_DATA received while running
        std::atomic<int> analysed{0};  // blocks of N samples processed
        std::atomic<int> published{0}; // display buffers published
        std::atomic<int> written{0};   // blocks written to the playback device
        std::atomic<int> played{0};    // WOM_DONE received while running
        std::atomic<int> skipped{0};   // not played: every playback buffer was busy
    };
    const RunCounters& counters() const { return runCounters_; }

    // QueryPerformanceCounter value taken when the block being processed now
    // arrived (its recording callback). Observers of event 100 read it during
    // publication.
    int64_t blockArrivalTicks() const { return currentArrival_.load(std::memory_order_acquire); }

    // CPU time (100 ns units, kernel + user) used so far by the capture and
    // recycler threads of the running capture, 0 when none runs. For
    // measurements while capture runs: a stop closes the thread handles.
    int64_t audioThreadCpuTime() const;

    // Commands stored for the worker so far, and how many of them it has
    // taken and carried out (several stored before it woke count as
    // carried out together). When commandsCarriedOut() reaches the value
    // commandsIssued() had just after a command, that command is done.
    unsigned commandsIssued() const { return commandTickets_.load(); }
    unsigned commandsCarriedOut() const { return commandsDone_.load(); }

    // True once a thread of this engine outlived its limit (the worker at
    // the end of run(), an audio thread at a stop): it may still use the
    // engine and its store, so neither may be deleted; the process end takes
    // them. Read from any thread.
    bool abandonedThreads() const { return abandoned_.load(); }
    // The worker thread started by run() has not ended yet.
    bool workerRunning() const;

    bool recordDeviceOpen() const { return (openDeviceFlags_.load() & 1) != 0; }
    bool playbackDeviceOpen() const { return (openDeviceFlags_.load() & 2) != 0; }

    // Where the external tools are looked for: the Windows system directory
    // unless set (tests point it elsewhere). Null restores the default.
    void setToolDirectory(const wchar_t* directory);
    // Replaces a tool's programs, tried in order (tests); null restores the
    // built-in list. The arrays must outlive the engine.
    void setToolPrograms(int tool, const ToolProgram* programs, int count);
    // 1 while the watcher of a started tool runs (0 = volume control, 1 = recorder).
    bool toolRunning(int tool) const;

protected:
    // How long run() waits for the worker to end (tests shorten it).
    DWORD workerJoinMs_ = WorkerJoinMs;

private:
    static unsigned __stdcall workerEntry(void* self);
    static unsigned __stdcall recyclerEntry(void* self);
    static unsigned __stdcall captureEntry(void* self);
    static unsigned __stdcall toolWatcherEntry(void* process);
    static void CALLBACK recordCallback(HWAVEIN device, UINT message, DWORD_PTR instance,
                                        DWORD_PTR param1, DWORD_PTR param2);
    static void CALLBACK playbackCallback(HWAVEOUT device, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR param2);

    void setParam(int id, intptr_t value);
    int param(int id) const;
    int blockSamples() const;
    void buildFreeList();
    void clearHeader(Header* h, int length);
    bool queueForRecording(Header* h, int n);
    Header* takeIdlePlaybackBuffer();
    void returnToIdle(Header* p);
    bool playCopy(Header* p, int bytes);
    void applyDisplayDefaults();
    // What the worker is asked to do next, as stored in pendingState.
    enum class WorkerState : int {
        Idle = 0,             // nothing pending
        Reference = 1,        // measure a Reference
        Analyze = 2,          // measure the Analysis (while capturing or paused)
        Pause = 3,            // stop capture, keep what was measured
        SamplingChanged = 4,  // the configuration changes the sampling: stop, forget the data
        Defaults = 5,         // the factory sampling values
        Recorder = 6,         // stop capture and start the sound recorder
        Calibrate = 7,        // a Reference capture that measures the calibrator
        LoadReference = 8,    // the store's ReferenceImport becomes the Reference
        Quit = 10,            // stop capture and end the worker
    };
    unsigned postCommand(WorkerState state);
    void waitForCommand(unsigned ticket);
    void reportRunFailure(int stage, int code);
    void reportSoundError(int stage, int code);
    bool openFailed(int stage, MMRESULT code);
    // Measurement trust (AudioEngineLevels.cpp).
    void writeMeasurementDefaults();
    void startCalibration();
    void resetFaultCounts();
    void noteBlock(int count, const int16_t* samples, int analysed);
    void handleRunFailure();
    bool launchTool(int tool);
    // The devices and the microphone correction of a run (AudioDevices.cpp).
    UINT chooseRecordDevice();
    UINT choosePlaybackDevice();
    void prepareMicCorrection();

    ParameterStore* store_ = nullptr;
    UserInterface* ui_ = nullptr;
    UniqueHandle commandEvent_;
    int paused_ = 0;
    // referenceBandLevels, analysisBandLevels, bandEdgeBins, fftImag,
    // fftReal, bandScratch and integrator.
    AnalysisArrays arrays_;
    int bufferWriteIndex_ = 0;
    FrameLock frameLock_;
    UniqueHandle stopEvent_;
    UniqueHandle startEvent_;
    UniqueHandle bufferRecordedEvent_;
    UniqueHandle bufferPlayedEvent_;
    UniqueHandle recyclerThread_;
    UniqueHandle captureThread_;
    CriticalSection freeListLock_;
    CriticalSection recordListLock_;
    CriticalSection playbackListLock_;
    alignas(16) char audioBuffers_[BufferCount][BufferBytes];
    HWAVEIN recordDevice_ = nullptr;
    WAVEFORMATEX recordFormat_{};
    HWAVEOUT playbackDevice_ = nullptr;
    WAVEFORMATEX playbackFormat_{};
    Header headers_[BufferCount];
    Header* freeList_ = nullptr;
    Header* recordList_ = nullptr;
    // Playback buffers at the playback device, and those free for a copy,
    // both under playbackListLock.
    Header* playbackList_ = nullptr;
    Header* idlePlaybackList_ = nullptr;
    Header playbackHeaders_[PlaybackBufferCount];
    alignas(16) char playbackBuffers_[PlaybackBufferCount][PlaybackBufferBytes];
    std::atomic<int> stopping_{0};
    std::atomic<bool> abandoned_{false};
    DisplayBuffer workingBuffer_;
    std::atomic<WorkerState> pendingState_{WorkerState::Idle};
    // Tickets of stored commands and the newest ticket the worker has carried
    // out; the worker sets commandDoneEvent after each command.
    std::atomic<unsigned> commandTickets_{0};
    std::atomic<unsigned> commandsDone_{0};
    UniqueHandle commandDoneEvent_;

    // Failure of a running capture, written by an audio thread (stage first
    // non-zero wins) and taken by the worker, which is woken through
    // runFailedEvent.
    UniqueHandle runFailedEvent_;
    std::atomic<int> runFailureStage_{0};
    std::atomic<int> runFailureCode_{0};
    UniqueHandle workerThread_;
    // Arrival times of the five headers' blocks, set in the recording callback.
    std::atomic<int64_t> arrivalTicks_[BufferCount];
    std::atomic<int64_t> currentArrival_{0};
    // Bit 0: a recording device is open, bit 1: a playback device (for
    // readers on other threads).
    std::atomic<int> openDeviceFlags_{0};
    // When the playback device last gave a buffer back (or the run started).
    std::atomic<int64_t> lastPlayedTicks_{0};
    RunCounters runCounters_;
    // The watcher threads of the started tools (0 = volume control,
    // 1 = recorder); each owns the process handle it waits on.
    UniqueHandle toolWatchers_[2];
    const wchar_t* toolDirectory_ = nullptr;
    const ToolProgram* toolPrograms_[2];
    int toolProgramCount_[2];

    // Fault counts and the calibration of the running capture, kept by the
    // capture thread (AudioEngineLevels.cpp).
    LostBlockCounter lostCounter_;
    int64_t ticksPerBlock_ = 0;
    int64_t jitterTicks_ = 0;
    int calibrationBlocksLeft_ = 0;
    float calibrationStrongest_ = 0.0f;
    double calibrationToneBin_ = 0.0;  // where that tone lies, in fractional bins
    bool calibrationStarting_ = false;

    // The microphone's per-bin correction, rebuilt when it, N or the rate
    // changed (AudioDevices.cpp).
    BinCorrection micCorrection_;
};
