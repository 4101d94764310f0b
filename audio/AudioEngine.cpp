// AudioEngine: commands and the worker's state machine.
//
// How it works
// - Worker. run() starts the worker thread, which waits for the command event
//   (set by notify after it stored `pendingState_`) and for the run-failure
//   event (set by an audio thread whose device failed). A failure is taken
//   first: the worker stops capture and reports 76 (code) then 75 (stage).
//   Then it carries out the newest command: Reference, Analyze, Pause, the
//   configuration change, Defaults, Recorder, Calibrate, LoadReference, or
//   Quit (WorkerState).
// - Commands that stop capture on behalf of a window (Apply, Defaults) wait
//   for the worker's acknowledgement, with a limit: the window writes new
//   sampling values once notify returns.
// - The rest of the class: AudioCapture.cpp (the capture run and the five
//   recording buffers), AudioPlayback.cpp (the copies on their way through
//   the playback device), AudioSettings.cpp (defaults and the registry),
//   AudioTools.cpp (the external tools), AudioEngineLevels.cpp (the trust of
//   the levels).
#include "audio/AudioEngine.h"

#include <cstring>
#include <mutex>
#include <utility>

#include "foundation/AnalysisSettings.h"
#include "foundation/DisplayHandover.h"
#include "foundation/Threads.h"
#include "foundation/SettingsTable.h"

AudioEngine::AudioEngine()
{
    std::memset(audioBuffers_, 0, sizeof(audioBuffers_));
    std::memset(playbackBuffers_, 0, sizeof(playbackBuffers_));
    for (auto& t : arrivalTicks_)
        t.store(0, std::memory_order_relaxed);
    setToolPrograms(0, nullptr, 0);
    setToolPrograms(1, nullptr, 0);
    buildFreeList();
}

AudioEngine::~AudioEngine()
{
    // Normally run() has stopped capture already. If not (the engine used
    // without run), stop it here, or device callbacks would reach a deleted
    // object.
    if (recordDevice_ || playbackDevice_ || captureThread_ || recyclerThread_) {
        ParameterStore* keep = store_;
        store_ = nullptr;
        if (stopEvent_)
            SetEvent(stopEvent_.get());
        joinAudioThreads();
        closeDevices();
        store_ = keep;
    }
    // The events, the threads' handles and the locks go with their owners. A
    // tool watcher uses nothing of the engine: it runs on (foundation/Threads.h).
}

// ---------------------------------------------------------------------------
// Small helpers

void AudioEngine::setParam(int id, intptr_t value)
{
    if (store_)
        store_->set(id, value);
}

int AudioEngine::param(int id) const
{
    return store_ ? store_->get(id) : 0;
}

// N, kept within what one buffer holds.
int AudioEngine::blockSamples() const
{
    int n = param(Param::NumSamples);
    if (n < 1)
        n = 1;
    if (n > MaxSamples)
        n = MaxSamples;
    return n;
}

void AudioEngine::parameterChanged(int) {}

// ---------------------------------------------------------------------------
// Commands

int AudioEngine::notify(const Notification& n)
{
    switch (n.code()) {
    case Code::Reference:
        postCommand(WorkerState::Reference);
        break;
    case Code::Analyze:
        postCommand(WorkerState::Analyze);
        break;
    case Code::Pause:
        postCommand(WorkerState::Pause);
        break;
    case Code::LineControl:
        launchVolumeControl();
        break;
    case Code::Recorder:
        postCommand(WorkerState::Recorder);
        break;
    case Code::Defaults:
        applyDisplayDefaults();
        // The window writes nothing more, but its next command must find
        // the sampling values in place.
        waitForCommand(postCommand(WorkerState::Defaults));
        break;
    case Code::Apply:
        // The window writes the new sampling values once this returns:
        // capture must have stopped by then.
        waitForCommand(postCommand(WorkerState::SamplingChanged));
        break;
    case Code::Save:
        return saveSettings() ? 1 : 0;
    case Code::Calibrate:
        postCommand(WorkerState::Calibrate);
        break;
    case Code::LoadReference:
        postCommand(WorkerState::LoadReference);
        break;
    default:
        break;
    }
    return 0;
}

// The state first, then the ticket: a worker that sees the ticket also sees
// the state (or a newer one), so its acknowledgement covers this command.
unsigned AudioEngine::postCommand(WorkerState state)
{
    pendingState_ = state;
    const unsigned ticket = commandTickets_.fetch_add(1) + 1;
    if (commandEvent_)
        SetEvent(commandEvent_.get());
    return ticket;
}

void AudioEngine::waitForCommand(unsigned ticket)
{
    if (!commandEvent_ || !commandDoneEvent_ || !workerThread_)
        return;  // no worker runs: nothing will carry the command out
    const ULONGLONG end = GetTickCount64() + CommandAckMs;
    while (static_cast<int>(commandsDone_.load() - ticket) < 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;  // a device that does not stop; go on as before
        WaitForSingleObject(commandDoneEvent_.get(), static_cast<DWORD>(end - now));
    }
}

void AudioEngine::attachUi(UserInterface* newUi)
{
    if (ui_)
        ui_->setNextHandler(nullptr);
    ui_ = newUi;
    if (ui_)
        ui_->setNextHandler(this);
}

// ---------------------------------------------------------------------------
// The worker

int AudioEngine::run()
{
    if (!ui_)
        return 0;
    commandEvent_ = createEvent(false, false);
    runFailedEvent_ = createEvent(false, false);
    if (!commandDoneEvent_)
        commandDoneEvent_ = createEvent(false, false);

    workerThread_ = startThread(&AudioEngine::workerEntry, this);
    if (workerThread_)
        ResumeThread(workerThread_.get());

    computeBandEdges();
    createAudioEvents();

    const int r = ui_->start();
    if (r == 0)
        ui_->waitFinished();
    ui_->stop();

    pendingState_ = WorkerState::Quit;
    SetEvent(commandEvent_.get());
    if (joinThread(workerThread_, workerJoinMs_) == JoinResult::Abandoned) {
        // The worker is still stopping (a device that does not answer): it
        // keeps the engine, the store and its events. Nothing it may touch
        // is freed; the end of the process takes them.
        abandoned_ = true;
        return r;
    }

    commandEvent_.reset();
    runFailedEvent_.reset();
    return r;
}

unsigned __stdcall AudioEngine::workerEntry(void* self)
{
    static_cast<AudioEngine*>(self)->workerMain();
    return 0;
}

void AudioEngine::workerMain()
{
    // A failure of the running capture is taken before the next command, so
    // it is reported for the run it belongs to.
    HANDLE waits[2] = {runFailedEvent_.get(), commandEvent_.get()};
    HANDLE* first = runFailedEvent_ ? waits : waits + 1;
    const DWORD count = runFailedEvent_ ? 2 : 1;
    for (;;) {
        const DWORD w = WaitForMultipleObjects(count, first, FALSE, INFINITE);
        if (count == 2 && w == WAIT_OBJECT_0) {
            handleRunFailure();
            continue;
        }
        if (w != WAIT_OBJECT_0 + count - 1)
            break;
        // Taking the state and clearing it is one step: a command stored
        // between a read and a clear would otherwise be lost. The ticket is
        // read first, so every command it counts is in the state taken.
        const unsigned ticket = commandTickets_.load();
        const WorkerState s = pendingState_.exchange(WorkerState::Idle);
        if (s == WorkerState::Quit) {
            stopCapture();
            break;
        }
        switch (s) {
        case WorkerState::Reference:
            stopCapture();
            setParam(Param::AnalyzeEnabled, 0);
            setParam(Param::RefMode, 1);
            setParam(Param::WaveFullScale, 0);
            if (startCapture())
                setParam(Param::PauseEnabled, 1);
            break;
        case WorkerState::Analyze:  // only while capturing or paused
            if (param(Param::CaptureActive) != 0 || paused_ != 0) {
                stopCapture();
                setParam(Param::RefMode, 0);
                if (startCapture())
                    setParam(Param::PauseEnabled, 1);
                else
                    paused_ = 1;  // a device not there yet: Analyze again once it is back
            }
            break;
        case WorkerState::Pause:
            if (param(Param::CaptureActive) != 0) {
                const int p8 = param(Param::IntCount);
                const int p7 = param(Param::IntLvl);
                const int p63 = param(Param::RefMode);
                paused_ = 1;
                stopCapture();
                setParam(Param::AnalyzeEnabled, (p8 < p7 && p63 != 0) ? 0 : 1);
                setParam(Param::PauseEnabled, 0);
            }
            break;
        case WorkerState::SamplingChanged:
            stopCapture();
            setParam(Param::DataPresent, 0);
            setParam(Param::AnalyzeEnabled, 0);
            setParam(Param::PauseEnabled, 0);
            break;
        case WorkerState::Defaults: {  // stop and forget the Reference only if a sampling value changes
            const int sampling[] = {Param::NumSamples, Param::SampFrq, Param::IntLvl,
                                    Param::Filter0,    Param::Filter1, Param::Filter2,
                                    Param::Filter3};
            bool stopped = false;
            for (int id : sampling) {
                const int factory = settings_table::factoryValue(id);
                if (param(id) == factory)
                    continue;
                if (!stopped) {
                    stopCapture();
                    stopped = true;
                }
                setParam(id, factory);
            }
            // A Reference taken with other settings is no Reference for
            // these: as after a configuration change, it must be taken anew.
            if (stopped) {
                setParam(Param::DataPresent, 0);
                setParam(Param::AnalyzeEnabled, 0);
                setParam(Param::PauseEnabled, 0);
            }
            break;
        }
        case WorkerState::Recorder:  // it may want the sound devices
            stopCapture();
            launchRecorder();
            break;
        case WorkerState::Calibrate:
            startCalibration();
            break;
        case WorkerState::LoadReference:
            loadReference();
            break;
        default:
            break;
        }
        commandsDone_.store(ticket);
        if (commandDoneEvent_)
            SetEvent(commandDoneEvent_.get());
    }
}

// Ends any capture and puts the imported spectrum where a measured Reference
// would be, so that the graph, the readouts and Analyze (which then runs as
// after a Pause) treat it as one. The user interface has already agreed to
// the file's sampling settings where they differ from the current ones.
void AudioEngine::loadReference()
{
    if (!store_)
        return;
    stopCapture();
    ReferenceImport& in = store_->referenceImport();
    std::lock_guard<std::mutex> hold(in.lock);
    if (in.bins < 1 || in.bins > MaxBins || in.numSamples != 2 * in.bins)
        return;
    const bool switched = param(Param::NumSamples) != in.numSamples || param(Param::SampFrq) != in.sampFrq;
    if (switched) {
        setParam(Param::NumSamples, in.numSamples);
        setParam(Param::SampFrq, in.sampFrq);
        // An Analysis of the old settings means nothing beside this Reference.
        std::memset(&workingBuffer_.analysis(), 0, sizeof(SpectrumSet));
        for (float& level : arrays_.analysisBandLevels)
            level = 0.0f;
        workingBuffer_.maxHoldBins = 0;
    }
    computeBandEdges();
    setParam(Param::RefMode, 1);
    setParam(Param::WaveFullScale, 0);
    ::loadReferenceSpectrum(*store_, arrays_, workingBuffer_, in.spectrum, in.bins, in.weighting);
    bufferWriteIndex_ = publishDisplayBuffer(*store_, frameLock_, workingBuffer_, bufferWriteIndex_, in.numSamples);
    // As after a paused, complete Reference: Analyze measures against it.
    paused_ = 1;
    setParam(Param::AnalyzeEnabled, 1);
}

void AudioEngine::reportRunFailure(int stage, int code)
{
    // Errors that a stop provokes are not failures.
    if (stopping_.load() != 0)
        return;
    // The first failure of a run is the one reported.
    int expected = 0;
    if (!runFailureStage_.compare_exchange_strong(expected, -1))
        return;
    runFailureCode_.store(code);
    runFailureStage_.store(stage);
    if (runFailedEvent_)
        SetEvent(runFailedEvent_.get());
}

void AudioEngine::handleRunFailure()
{
    const int stage = runFailureStage_.load();
    if (stage <= 0)
        return;  // cleared by a newer start of capture
    const int code = runFailureCode_.load();
    runFailureStage_.store(0);
    // What was measured stays, as after a Pause: once a device is back,
    // Analyze measures against the Reference (a lost device is opened by
    // name again at the next start).
    const bool completeReference =
        param(Param::RefMode) == 0 || param(Param::IntCount) >= param(Param::IntLvl);
    paused_ = 1;
    stopCapture();
    setParam(Param::AnalyzeEnabled, completeReference ? 1 : 0);
    reportSoundError(stage, code);
}

// The one way a device error reaches the user (see "How errors travel").
void AudioEngine::reportSoundError(int stage, int code)
{
    // The code first: the window reads it when the stage changes.
    setParam(Param::SoundErrorCode, code);
    setParam(Param::SoundErrorStage, stage);
}

bool AudioEngine::workerRunning() const
{
    return threadRunning(workerThread_);
}

// ---------------------------------------------------------------------------
// Analysis (the work itself lives in analysis/BlockAnalysis.cpp)

void AudioEngine::computeBandEdges()
{
    if (store_)
        ::computeBandEdges(*store_, arrays_.bandEdgeBins);
}

int AudioEngine::processBlock(int count, const int16_t* samples)
{
    if (!store_)
        return -1;
    const int r = ::processBlock(*store_, arrays_, workingBuffer_, count, samples);
    noteBlock(count, samples, r == 0 ? 1 : 0);
    return r;
}

void AudioEngine::conditionBlock(int count, float* samples)
{
    if (store_)
        ::conditionBlock(*store_, count, samples);
}
