// AudioEngine: commands, the worker's state machine, the capture run and
// the five-buffer cycle.
//
// How it works
// - Worker. run() starts the worker thread, which waits for the command event
//   (set by notify after it stored `pendingState`) and for the run-failure
//   event (set by an audio thread whose device failed). A failure is taken
//   first: the worker stops capture and reports 76 (code) then 75 (stage).
//   Then it carries out the newest command: Reference, Analyze, Pause, the
//   configuration change, Defaults, Recorder, or 10 = quit.
// - Capture run. startCapture rebuilds the header lists, opens the recording
//   device (started at once, with no buffers) and the playback device, both
//   through the wave mapper with function callbacks, and starts the recycler
//   and capture threads, which wait for startEvent.
// - Buffers. Five recording buffers, each behind a wave header, and sixteen
//   playback buffers live in lists, each list under its own lock:
//     free list: recording headers not yet queued in this run; the
//       recycler's first pass queues all five at the recording device;
//     record list: recording headers queued at the recording device; the
//       recording callback (WIM_DATA) sets bufferRecordedEvent;
//     capture thread: takes the recorded headers off the record list and,
//       for each: copies the block into an idle playback buffer, queues the
//       recording header again at once, analyses the copy, publishes the
//       working buffer into a display buffer under the frame lock (event
//       100) and writes the copy to the playback device (playback list);
//     playback callback (WOM_DONE): sets bufferPlayedEvent; the recycler
//       moves the played buffers back to the idle playback list.
//   A header is in one list at a time, or held for a moment by one thread.
//   If every playback buffer is still at the playback device, the block is
//   analysed from the recording buffer and not played (counted as skipped);
//   the blocks already queued for playback play on. A slow playback device
//   costs what is heard, never what is measured. The cycle allocates
//   nothing.
// - Stop. stopCapture sets stopEvent, sets `stopping` (from then on the
//   callbacks set no events and the threads move no header), waits for both
//   threads, then resets and closes the devices. Every wait has a limit, and a
//   device that no longer answers (its reset fails and keeps some headers) is
//   closed anyway: nothing on a stop path waits for a device.
// - Failures while capture runs. A queue error (prepare, add, write) ends the
//   pass of the thread that saw it; that thread records the stage and code and
//   sets stopEvent, so both threads end, and wakes the worker. A device that
//   vanishes sends no error at all: the capture thread's wait for a recorded
//   block has a limit of several block durations, after which it treats the
//   recording device as gone (stage 4, code MMSYSERR_NODRIVER); likewise a
//   playback device that has given no buffer back for as long while all of
//   them wait there (stage 5, same code).
#include "audio/AudioEngine.h"

#include <process.h>

#include <cstring>
#include <mutex>
#include <cwchar>
#include <string>
#include <utility>

#include "app/DisplayHandover.h"
#include "app/Settings.h"
#include "app/UiThread.h"
#include "config/ConfigText.h"

namespace {

constexpr COLORREF DefaultColours[6] = {
    RGB(128, 128, 128),  // backColor: grey
    RGB(0, 255, 255),    // gridColor: cyan
    RGB(0, 0, 255),      // refColor: blue
    RGB(0, 255, 0),      // noiseColor: green
    RGB(255, 0, 0),      // threshColor: red
    RGB(255, 255, 255),  // filterColor: white
};

// The fixed interface colours 15..26 (23 repeats 19) and 72.
constexpr COLORREF InterfaceColours[11] = {
    RGB(128, 128, 160), RGB(255, 255, 255), RGB(96, 96, 96),  RGB(192, 192, 192),
    RGB(192, 192, 160), RGB(0, 0, 0),       RGB(224, 32, 32), RGB(128, 32, 0),
    RGB(160, 48, 16),   RGB(255, 0, 0),     RGB(128, 0, 0),
};
constexpr COLORREF NoticeColour = RGB(0, 64, 192);

// The settings kept in the registry, in load and save order.
struct SettingSlot {
    const wchar_t* name;
    int id;
};
constexpr SettingSlot SavedSettings[15] = {
    {L"SampFrq", Param::SampFrq},         {L"NumSamples", Param::NumSamples},
    {L"IntLvl", Param::IntLvl},           {L"Filter0", Param::Filter0},
    {L"Filter1", Param::Filter1},         {L"Filter2", Param::Filter2},
    {L"Filter3", Param::Filter3},         {L"dbDiff", Param::DbDiff},
    {L"backColor", Param::BackColor},     {L"gridColor", Param::GridColor},
    {L"refColor", Param::RefColor},       {L"noiseColor", Param::NoiseColor},
    {L"threshColor", Param::ThreshColor}, {L"filterColor", Param::FilterColor},
    {L"displaydb", Param::DisplayDb},
};

template <size_t K>
bool isOneOf(int value, const int (&accepted)[K])
{
    for (int a : accepted)
        if (value == a)
            return true;
    return false;
}
constexpr int AcceptedRates[] = {4000, 8000, 12000, 24000, 48000};
constexpr int AcceptedSizes[] = {1024, 2048, 4096, 8192, 16384};
constexpr int AcceptedIntLvls[] = {1, 2, 4, 8, 16, 32, 64, 100, 250, 500, 1000};

// The external tools, each tried in order from the tool directory. The first
// entry of each is the classic program; the others are what Windows 10/11
// and Wine actually have.
constexpr ToolProgram VolumePrograms[] = {
    {L"sndvol32.exe", L"/r", nullptr},
    {L"sndvol.exe", nullptr, nullptr},  // Windows Vista and later
    {L"winecfg.exe", nullptr, nullptr}, // Wine: its Audio page
};
constexpr ToolProgram RecorderPrograms[] = {
    {L"sndrec32.exe", nullptr, nullptr},
    {L"SoundRecorder.exe", nullptr, nullptr},  // Windows Vista to 8.1
    // Windows 10/11: the Sound control panel on its Recording page.
    {L"rundll32.exe", L"shell32.dll,Control_RunDLL mmsys.cpl,,1", L"mmsys.cpl"},
    {L"winecfg.exe", nullptr, nullptr},  // Wine: its Audio page
};

int64_t performanceTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

bool isFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueHandle startThreadSuspended(unsigned(__stdcall* entry)(void*), void* argument)
{
    unsigned id = 0;
    return UniqueHandle(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, entry, argument, CREATE_SUSPENDED, &id)));
}

}  // namespace

AudioEngine::AudioEngine()
{
    std::memset(audioBuffers, 0, sizeof(audioBuffers));
    std::memset(playbackBuffers, 0, sizeof(playbackBuffers));
    for (auto& t : arrivalTicks)
        t.store(0, std::memory_order_relaxed);
    toolPrograms[0] = VolumePrograms;
    toolProgramCount[0] = static_cast<int>(sizeof(VolumePrograms) / sizeof(VolumePrograms[0]));
    toolPrograms[1] = RecorderPrograms;
    toolProgramCount[1] =
        static_cast<int>(sizeof(RecorderPrograms) / sizeof(RecorderPrograms[0]));
    buildFreeList();
}

AudioEngine::~AudioEngine()
{
    // Normally run() has stopped capture already. If not (the engine used
    // without run), stop it here, or device callbacks would reach a deleted
    // object.
    if (recordDevice || playbackDevice || captureThread || recyclerThread) {
        ParameterStore* keep = store;
        store = nullptr;
        if (stopEvent)
            SetEvent(stopEvent.get());
        joinAudioThreads();
        closeDevices();
        store = keep;
    }
    // A watcher copies its process handle from this object as it starts; give
    // a watcher that has not started yet the moment it needs.
    UniqueHandle* watchers[2] = {&volumeWatcher, &recorderWatcher};
    std::atomic<int>* watching[2] = {&volumeWatching, &recorderWatching};
    for (int i = 0; i < 2; ++i) {
        if (!*watchers[i])
            continue;
        for (int waited = 0; waited < 1000 && watching[i]->load() == 0; waited += 10)
            if (WaitForSingleObject(watchers[i]->get(), 10) == WAIT_OBJECT_0)
                break;
        watchers[i]->reset();
    }
    // The events, the worker's handle and the locks go with their owners.
}

// ---------------------------------------------------------------------------
// Small helpers

void AudioEngine::setParam(int id, intptr_t value)
{
    if (store)
        store->set(id, value);
}

int AudioEngine::param(int id) const
{
    return store ? store->get(id) : 0;
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

void AudioEngine::clearHeader(Header* h, int length)
{
    h->wave.dwBufferLength = static_cast<DWORD>(length);
    h->wave.dwFlags = 0;
    h->wave.dwLoops = 0;
    h->wave.dwUser = 0;
    h->wave.lpNext = nullptr;
    h->wave.reserved = 0;
}

void AudioEngine::buildFreeList()
{
    for (int i = 0; i < BufferCount; ++i) {
        std::memset(&headers[i].wave, 0, sizeof(WAVEHDR));
        headers[i].wave.lpData = audioBuffers[i];
        headers[i].next = i + 1 < BufferCount ? &headers[i + 1] : nullptr;
    }
    freeList = &headers[0];
    const int count = playbackBuffersFor(param(Param::SampFrq), blockSamples());
    for (int i = 0; i < PlaybackBufferCount; ++i) {
        std::memset(&playbackHeaders[i].wave, 0, sizeof(WAVEHDR));
        playbackHeaders[i].wave.lpData = playbackBuffers[i];
        playbackHeaders[i].next = i + 1 < count ? &playbackHeaders[i + 1] : nullptr;
    }
    idlePlaybackList = &playbackHeaders[0];
}

int AudioEngine::playbackBuffersFor(int rate, int samples)
{
    if (rate <= 0 || samples <= 0)
        return MinPlaybackBuffers;
    const long long wanted =
        (static_cast<long long>(PlaybackBacklogMs) * rate + 1000LL * samples - 1) /
        (1000LL * samples);
    if (wanted < MinPlaybackBuffers)
        return MinPlaybackBuffers;
    return wanted > PlaybackBufferCount ? PlaybackBufferCount : static_cast<int>(wanted);
}

void AudioEngine::parameterChanged(int) {}

// ---------------------------------------------------------------------------
// Commands

int AudioEngine::notify(const Notification& n)
{
    switch (n.code()) {
    case Code::Reference:
        postCommand(1);
        break;
    case Code::Analyze:
        postCommand(2);
        break;
    case Code::Pause:
        postCommand(3);
        break;
    case Code::LineControl:
        launchVolumeControl();
        break;
    case Code::Recorder:
        postCommand(6);
        break;
    case Code::Defaults:
        setParam(Param::DisplayDb, 1);
        setParam(Param::DbDiff, 50);
        if (store)
            store->setColours(DefaultColours[0], DefaultColours[1], DefaultColours[2],
                              DefaultColours[3], DefaultColours[4], DefaultColours[5]);
        // The window writes nothing more, but its next command must find
        // the sampling values in place.
        waitForCommand(postCommand(5));
        break;
    case Code::Apply:
        // The window writes the new sampling values once this returns:
        // capture must have stopped by then.
        waitForCommand(postCommand(4));
        break;
    case Code::Save:
        return saveSettings();
    case Code::Calibrate:
        postCommand(7);
        break;
    case Code::LoadReference:
        postCommand(8);
        break;
    default:
        break;
    }
    return 0;
}

// The state first, then the ticket: a worker that sees the ticket also sees
// the state (or a newer one), so its acknowledgement covers this command.
unsigned AudioEngine::postCommand(int state)
{
    pendingState = state;
    const unsigned ticket = commandTickets.fetch_add(1) + 1;
    if (commandEvent)
        SetEvent(commandEvent.get());
    return ticket;
}

void AudioEngine::waitForCommand(unsigned ticket)
{
    if (!commandEvent || !commandDoneEvent || !workerThread)
        return;  // no worker runs: nothing will carry the command out
    const ULONGLONG end = GetTickCount64() + CommandAckMs;
    while (static_cast<int>(commandsDone.load() - ticket) < 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;  // a device that does not stop; go on as before
        WaitForSingleObject(commandDoneEvent.get(), static_cast<DWORD>(end - now));
    }
}

void AudioEngine::attachStore(ParameterStore* newStore)
{
    if (store)
        store->removeObserver(this);
    store = newStore;
    if (!store)
        return;

    const std::pair<int, int> defaults[] = {
        {Param::NumSamples, 1024}, {Param::SampFrq, 12000},  {Param::IntLvl, 16},
        {Param::DisplayDb, 1},     {Param::RefMeanLevel, 0}, {Param::AnaMeanLevel, 0},
        {Param::DbDiff, 50},       {Param::Filter0, 100},    {Param::Filter1, 500},
        {Param::Filter2, 1500},    {Param::Filter3, 4000},   {Param::AnalyzeEnabled, 0},
        {Param::PauseEnabled, 0},  {Param::ProgressHidden, 1}, {Param::IntCount, 1},
    };
    for (const auto& d : defaults)
        store->set(d.first, d.second);
    store->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(arrays.referenceBandLevels));
    store->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(arrays.analysisBandLevels));
    store->set(Param::RefMode, 1);
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store->set(id, -1);
    store->set(Param::WaveFullScale, 0);
    store->set(Param::CaptureActive, 0);
    store->set(Param::DataPresent, 0);
    store->set(Param::BufferLock, reinterpret_cast<intptr_t>(&frameLock));
    store->set(Param::BandEdges, reinterpret_cast<intptr_t>(arrays.bandEdgeBins));
    for (int i = 0; i < 6; ++i)
        store->set(Param::BackColor + i, static_cast<int>(DefaultColours[i]));
    writeMeasurementDefaults();

    // The colours the screen can actually show.
    {
        const ScreenDc screen;
        auto nearest = [&screen](COLORREF c) -> int {
            if (!screen)
                return static_cast<int>(c);
            const COLORREF n = GetNearestColor(screen.get(), c);
            return static_cast<int>(n == CLR_INVALID ? c : n);
        };
        int k = 0;
        for (int id = Param::UiColor15; id <= Param::UiColor26; ++id) {
            if (id == Param::UiColor23) {
                store->set(id, store->get(Param::UiColor19));
                continue;
            }
            store->set(id, nearest(InterfaceColours[k++]));
        }
        store->set(Param::UiColor72, nearest(NoticeColour));
    }

    loadSettings();
    store->createGdiObjects();
    store->addObserver(this);
}

void AudioEngine::attachUi(UiThread* newUi)
{
    if (ui)
        ui->setNextHandler(nullptr);
    ui = newUi;
    if (ui)
        ui->setNextHandler(this);
}

int AudioEngine::run()
{
    if (!ui)
        return 0;
    commandEvent = createEvent(false, false);
    workerEndedEvent = createEvent(true, false);
    runFailedEvent = createEvent(false, false);
    if (!commandDoneEvent)
        commandDoneEvent = createEvent(false, false);

    workerThread = startThreadSuspended(&AudioEngine::workerEntry, this);
    if (workerThread)
        ResumeThread(workerThread.get());
    else if (workerEndedEvent)
        SetEvent(workerEndedEvent.get());

    computeBandEdges();
    createAudioEvents();

    const int r = ui->start();
    if (r == 0)
        ui->waitFinished();
    ui->stop();

    pendingState = 10;
    SetEvent(commandEvent.get());
    if (workerEndedEvent && WaitForSingleObject(workerEndedEvent.get(), workerJoinMs) != WAIT_OBJECT_0) {
        // The worker is still stopping (a device that does not answer): it
        // keeps the engine, the store and its events. Nothing it may touch
        // is freed; the end of the process takes them.
        abandoned = true;
        return r;
    }

    workerThread.reset();
    commandEvent.reset();
    workerEndedEvent.reset();
    runFailedEvent.reset();
    return r;
}

int AudioEngine::createAudioEvents()
{
    UniqueHandle* events[] = {&stopEvent,         &startEvent,         &bufferRecordedEvent,
                              &bufferPlayedEvent, &recyclerEndedEvent, &captureEndedEvent};
    for (UniqueHandle* e : events) {
        if (*e)
            continue;  // made by an earlier run; they live as long as the engine
        *e = createEvent(true, false);
        if (!*e)
            return 0;
    }
    return 1;
}

int AudioEngine::createAudioThreads()
{
    recyclerThread = startThreadSuspended(&AudioEngine::recyclerEntry, this);
    if (!recyclerThread)
        return 0;
    captureThread = startThreadSuspended(&AudioEngine::captureEntry, this);
    if (!captureThread) {
        // Never resumed: ending it is safe, it has not run a single step.
        TerminateThread(recyclerThread.get(), 0);
        recyclerThread.reset();
        return 0;
    }
    ResumeThread(recyclerThread.get());
    ResumeThread(captureThread.get());
    return 1;
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
    HANDLE waits[2] = {runFailedEvent.get(), commandEvent.get()};
    HANDLE* first = runFailedEvent ? waits : waits + 1;
    const DWORD count = runFailedEvent ? 2 : 1;
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
        const unsigned ticket = commandTickets.load();
        const int s = pendingState.exchange(0);
        if (s == 10) {
            stopCapture();
            break;
        }
        switch (s) {
        case 1:  // Reference
            stopCapture();
            setParam(Param::AnalyzeEnabled, 0);
            setParam(Param::RefMode, 1);
            setParam(Param::WaveFullScale, 0);
            if (startCapture())
                setParam(Param::PauseEnabled, 1);
            break;
        case 2:  // Analyze: only while capturing or paused
            if (param(Param::CaptureActive) != 0 || paused != 0) {
                stopCapture();
                setParam(Param::RefMode, 0);
                if (startCapture())
                    setParam(Param::PauseEnabled, 1);
            }
            break;
        case 3:  // Pause
            if (param(Param::CaptureActive) != 0) {
                const int p8 = param(Param::IntCount);
                const int p7 = param(Param::IntLvl);
                const int p63 = param(Param::RefMode);
                paused = 1;
                stopCapture();
                setParam(Param::AnalyzeEnabled, (p8 < p7 && p63 != 0) ? 0 : 1);
                setParam(Param::PauseEnabled, 0);
            }
            break;
        case 4:  // the configuration changes the sampling
            stopCapture();
            setParam(Param::DataPresent, 0);
            setParam(Param::AnalyzeEnabled, 0);
            setParam(Param::PauseEnabled, 0);
            break;
        case 5: {  // Defaults: stop and forget the Reference only if a sampling value changes
            const std::pair<int, int> values[] = {
                {Param::NumSamples, 1024}, {Param::SampFrq, 12000}, {Param::IntLvl, 16},
                {Param::Filter0, 100},     {Param::Filter1, 500},   {Param::Filter2, 1500},
                {Param::Filter3, 4000},
            };
            bool stopped = false;
            for (const auto& v : values) {
                if (param(v.first) == v.second)
                    continue;
                if (!stopped) {
                    stopCapture();
                    stopped = true;
                }
                setParam(v.first, v.second);
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
        case 6:  // Recorder: it may want the sound devices
            stopCapture();
            launchRecorder();
            break;
        case 7:  // Calibrate: a Reference capture that measures the calibrator
            startCalibration();
            break;
        case 8:  // a saved Reference from the store's ReferenceImport
            loadReference();
            break;
        default:
            break;
        }
        commandsDone.store(ticket);
        if (commandDoneEvent)
            SetEvent(commandDoneEvent.get());
    }
    SetEvent(workerEndedEvent.get());
}

// Ends any capture and puts the imported spectrum where a measured Reference
// would be, so that the graph, the readouts and Analyze (which then runs as
// after a Pause) treat it as one. The user interface has already agreed to
// the file's sampling settings where they differ from the current ones.
void AudioEngine::loadReference()
{
    if (!store)
        return;
    stopCapture();
    ReferenceImport& in = store->referenceImport();
    std::lock_guard<std::mutex> hold(in.lock);
    if (in.bins < 1 || in.bins > MaxBins || in.numSamples != 2 * in.bins)
        return;
    const bool switched = param(Param::NumSamples) != in.numSamples || param(Param::SampFrq) != in.sampFrq;
    if (switched) {
        setParam(Param::NumSamples, in.numSamples);
        setParam(Param::SampFrq, in.sampFrq);
        // An Analysis of the old settings means nothing beside this Reference.
        std::memset(&workingBuffer.analysis(), 0, sizeof(SpectrumSet));
        for (float& level : arrays.analysisBandLevels)
            level = 0.0f;
    }
    computeBandEdges();
    setParam(Param::RefMode, 1);
    setParam(Param::WaveFullScale, 0);
    ::loadReferenceSpectrum(*store, arrays, workingBuffer, in.spectrum, in.bins);
    bufferWriteIndex = publishDisplayBuffer(*store, frameLock, workingBuffer, bufferWriteIndex, in.numSamples);
    // As after a paused, complete Reference: Analyze measures against it.
    paused = 1;
    setParam(Param::AnalyzeEnabled, 1);
}

void AudioEngine::reportRunFailure(int stage, int code)
{
    // Errors that a stop provokes are not failures.
    if (stopping.load() != 0)
        return;
    // The first failure of a run is the one reported.
    int expected = 0;
    if (!runFailureStage.compare_exchange_strong(expected, -1))
        return;
    runFailureCode.store(code);
    runFailureStage.store(stage);
    if (runFailedEvent)
        SetEvent(runFailedEvent.get());
}

void AudioEngine::handleRunFailure()
{
    const int stage = runFailureStage.load();
    if (stage <= 0)
        return;  // cleared by a newer start of capture
    const int code = runFailureCode.load();
    runFailureStage.store(0);
    stopCapture();
    // The code first: the window reads it when the stage changes.
    setParam(Param::SoundErrorCode, code);
    setParam(Param::SoundErrorStage, stage);
}

int AudioEngine::startCapture()
{
    if (!store || param(Param::CaptureActive) != 0)
        return 0;
    paused = 0;
    resetBuffers();
    computeBandEdges();
    setParam(Param::IntCount, 1);
    resetFaultCounts();
    if (openDevices() && createAudioThreads()) {
        setParam(Param::ProgressHidden, 0);
        setParam(Param::CaptureActive, 1);
        SetEvent(bufferPlayedEvent.get());
        SetEvent(startEvent.get());
        return 1;
    }
    stopCapture();
    return 0;
}

void AudioEngine::stopCapture()
{
    if (stopEvent)
        SetEvent(stopEvent.get());
    joinAudioThreads();
    closeDevices();
    setParam(Param::CaptureActive, 0);
    setParam(Param::ProgressHidden, 1);
    setParam(Param::PauseEnabled, 0);
}

void AudioEngine::joinAudioThreads()
{
    if (stopEvent)
        WaitForSingleObject(stopEvent.get(), INFINITE);  // set by the caller: returns at once
    stopping = 1;
    // A thread that outlives its limit is left running; the engine it uses
    // is then never deleted (abandonedThreads()).
    if (recyclerThread) {
        if (WaitForSingleObject(recyclerEndedEvent.get(), ThreadJoinMs) != WAIT_OBJECT_0)
            abandoned = true;
        recyclerThread.reset();
    }
    if (captureThread) {
        if (WaitForSingleObject(captureEndedEvent.get(), ThreadJoinMs) != WAIT_OBJECT_0)
            abandoned = true;
        captureThread.reset();
    }
}

bool AudioEngine::workerRunning() const
{
    DWORD code = 0;
    return workerThread && GetExitCodeThread(workerThread.get(), &code) && code == STILL_ACTIVE;
}

int64_t AudioEngine::audioThreadCpuTime() const
{
    int64_t total = 0;
    HANDLE threads[2] = {captureThread.get(), recyclerThread.get()};
    for (HANDLE t : threads) {
        FILETIME created, ended, kernel, user;
        if (t && GetThreadTimes(t, &created, &ended, &kernel, &user)) {
            total += (static_cast<int64_t>(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime;
            total += (static_cast<int64_t>(user.dwHighDateTime) << 32) | user.dwLowDateTime;
        }
    }
    return total;
}

// ---------------------------------------------------------------------------
// Analysis (the work itself lives in analysis/BlockAnalysis.cpp)

void AudioEngine::computeBandEdges()
{
    if (store)
        ::computeBandEdges(*store, arrays.bandEdgeBins);
}

int AudioEngine::processBlock(int count, const int16_t* samples)
{
    if (!store)
        return -1;
    const int r = ::processBlock(*store, arrays, workingBuffer, count, samples);
    noteBlock(count, samples, r == 0 ? 1 : 0);
    return r;
}

void AudioEngine::conditionBlock(int count, float* samples)
{
    if (store)
        ::conditionBlock(*store, count, samples);
}

// ---------------------------------------------------------------------------
// Devices

void AudioEngine::resetBuffers()
{
    stopping = 0;
    recordError = 0;
    playbackError = 0;
    // stopCapture has closed them already.
    recyclerThread.reset();
    captureThread.reset();
    recordDevice = nullptr;
    playbackDevice = nullptr;
    buildFreeList();
    recordList = nullptr;
    playbackList = nullptr;
    lastPlayedTicks = performanceTicks();
    const UniqueHandle* events[] = {&stopEvent,         &startEvent,         &bufferRecordedEvent,
                                    &bufferPlayedEvent, &recyclerEndedEvent, &captureEndedEvent};
    for (const UniqueHandle* e : events)
        if (*e)
            ResetEvent(e->get());
    runFailureStage = 0;
    runFailureCode = 0;
    for (auto& t : arrivalTicks)
        t.store(0, std::memory_order_relaxed);
    runCounters.queued = 0;
    runCounters.recorded = 0;
    runCounters.analysed = 0;
    runCounters.published = 0;
    runCounters.written = 0;
    runCounters.played = 0;
    runCounters.skipped = 0;
}

int AudioEngine::openDevices()
{
    if (!store)
        return 0;
    const int rate = param(Param::SampFrq);
    recordFormat.wFormatTag = WAVE_FORMAT_PCM;
    recordFormat.nChannels = 1;
    recordFormat.nSamplesPerSec = static_cast<DWORD>(rate);
    recordFormat.wBitsPerSample = 16;
    recordFormat.nBlockAlign = 2;
    recordFormat.nAvgBytesPerSec = static_cast<DWORD>(2 * rate);
    recordFormat.cbSize = 0;

    HWAVEIN in = nullptr;
    MMRESULT e = waveInOpen(&in, WAVE_MAPPER, &recordFormat,
                            reinterpret_cast<DWORD_PTR>(&AudioEngine::recordCallback),
                            reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (e != MMSYSERR_NOERROR) {
        setParam(Param::SoundErrorCode, static_cast<int>(e));
        setParam(Param::SoundErrorStage, SoundStage::RecordOpen);
        recordError = static_cast<int>(e);
        stopCapture();
        return 0;
    }
    recordDevice = in;
    openDeviceFlags.fetch_or(1);

    e = waveInStart(recordDevice);
    if (e != MMSYSERR_NOERROR) {
        setParam(Param::SoundErrorCode, static_cast<int>(e));
        setParam(Param::SoundErrorStage, SoundStage::RecordStart);
        recordError = static_cast<int>(e);
        stopCapture();
        return 0;
    }

    playbackFormat = recordFormat;
    HWAVEOUT out = nullptr;
    e = waveOutOpen(&out, WAVE_MAPPER, &playbackFormat,
                    reinterpret_cast<DWORD_PTR>(&AudioEngine::playbackCallback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (e != MMSYSERR_NOERROR) {
        setParam(Param::SoundErrorCode, static_cast<int>(e));
        setParam(Param::SoundErrorStage, SoundStage::PlaybackOpen);
        playbackError = static_cast<int>(e);
        stopCapture();
        return 0;
    }
    playbackDevice = out;
    openDeviceFlags.fetch_or(2);
    return 1;
}

void AudioEngine::closeDevices()
{
    // Only headers the device has given back are unprepared. After a device
    // has vanished its reset fails and keeps some headers (their unprepare
    // would fail with WAVERR_STILLPLAYING); those are left as they are, and
    // resetBuffers clears them for the next run. Each list walk is bounded by
    // the number of headers.
    if (recordDevice) {
        waveInReset(recordDevice);
        waveInStop(recordDevice);
        recordListLock.lock();
        Header* h = recordList;
        for (int i = 0; h && i < BufferCount; ++i, h = h->next)
            if ((h->wave.dwFlags & WHDR_PREPARED) && !(h->wave.dwFlags & WHDR_INQUEUE))
                waveInUnprepareHeader(recordDevice, &h->wave, sizeof(WAVEHDR));
        recordListLock.unlock();
        waveInClose(recordDevice);
        recordDevice = nullptr;
        openDeviceFlags.fetch_and(~1);
    }
    if (playbackDevice) {
        waveOutReset(playbackDevice);
        playbackListLock.lock();
        Header* h = playbackList;
        for (int i = 0; h && i < PlaybackBufferCount; ++i, h = h->next)
            if ((h->wave.dwFlags & WHDR_PREPARED) && !(h->wave.dwFlags & WHDR_INQUEUE))
                waveOutUnprepareHeader(playbackDevice, &h->wave, sizeof(WAVEHDR));
        playbackListLock.unlock();
        waveOutClose(playbackDevice);
        playbackDevice = nullptr;
        openDeviceFlags.fetch_and(~2);
    }
    recyclerThread.reset();
    captureThread.reset();
}

void CALLBACK AudioEngine::recordCallback(HWAVEIN, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR)
{
    reinterpret_cast<AudioEngine*>(instance)->onRecordDeviceMessage(message, param1);
}

void CALLBACK AudioEngine::playbackCallback(HWAVEOUT, UINT message, DWORD_PTR instance,
                                            DWORD_PTR, DWORD_PTR)
{
    reinterpret_cast<AudioEngine*>(instance)->onPlaybackDeviceMessage(message);
}

// On the system's callback thread: no wave function may be called here, and
// nothing may wait. The arrival time only feeds the latency figures.
void AudioEngine::onRecordDeviceMessage(UINT message, DWORD_PTR param)
{
    if (message != WIM_DATA || stopping.load() != 0)
        return;
    auto* h = reinterpret_cast<Header*>(param);
    if (h >= headers && h < headers + BufferCount)
        arrivalTicks[h - headers].store(performanceTicks(), std::memory_order_relaxed);
    runCounters.recorded.fetch_add(1, std::memory_order_relaxed);
    SetEvent(bufferRecordedEvent.get());
}

void AudioEngine::onPlaybackDeviceMessage(UINT message)
{
    if (message != WOM_DONE || stopping.load() != 0)
        return;
    lastPlayedTicks.store(performanceTicks(), std::memory_order_relaxed);
    runCounters.played.fetch_add(1, std::memory_order_relaxed);
    SetEvent(bufferPlayedEvent.get());
}

unsigned __stdcall AudioEngine::captureEntry(void* self)
{
    static_cast<AudioEngine*>(self)->captureThreadMain();
    return 0;
}

unsigned __stdcall AudioEngine::recyclerEntry(void* self)
{
    static_cast<AudioEngine*>(self)->recyclerThreadMain();
    return 0;
}

// Clears a recording header and queues it at the recording device (record
// list first: the callback may come before waveInAddBuffer returns).
bool AudioEngine::queueForRecording(Header* h, int n)
{
    clearHeader(h, 2 * n);
    h->wave.dwBytesRecorded = 0;
    h->next = nullptr;
    recordListLock.lock();
    MMRESULT e = waveInPrepareHeader(recordDevice, &h->wave, sizeof(WAVEHDR));
    if (e == MMSYSERR_NOERROR) {
        Header** tail = &recordList;
        while (*tail)
            tail = &(*tail)->next;
        *tail = h;
        e = waveInAddBuffer(recordDevice, &h->wave, sizeof(WAVEHDR));
        if (e != MMSYSERR_NOERROR) {
            *tail = nullptr;
            waveInUnprepareHeader(recordDevice, &h->wave, sizeof(WAVEHDR));
            h->wave.dwFlags = 0;
        }
    }
    recordListLock.unlock();
    if (e != MMSYSERR_NOERROR) {
        reportRunFailure(SoundStage::RecordFailed, static_cast<int>(e));
        return false;
    }
    runCounters.queued.fetch_add(1, std::memory_order_relaxed);
    return true;
}

AudioEngine::Header* AudioEngine::takeIdlePlaybackBuffer()
{
    playbackListLock.lock();
    Header* p = idlePlaybackList;
    if (p) {
        idlePlaybackList = p->next;
        p->next = nullptr;
    }
    playbackListLock.unlock();
    return p;
}

void AudioEngine::captureThreadMain()
{
    HANDLE waitStart[2] = {stopEvent.get(), startEvent.get()};
    HANDLE waitBlock[2] = {stopEvent.get(), bufferRecordedEvent.get()};

    // How long without a recorded block (or a played one) means the device
    // is gone.
    const int rate = param(Param::SampFrq);
    DWORD stallMs = StallMinimumMs;
    if (rate > 0) {
        const DWORD blockMs = static_cast<DWORD>(1000LL * blockSamples() / rate) + 1;
        if (StallBlocks * blockMs + 1000 > stallMs)
            stallMs = StallBlocks * blockMs + 1000;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const int64_t stallTicks = frequency.QuadPart * stallMs / 1000;

    bool failed = false;
    while (stopping.load() == 0 && !failed) {
        if (WaitForMultipleObjects(2, waitStart, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        const DWORD w = WaitForMultipleObjects(2, waitBlock, FALSE, stallMs);
        if (w == WAIT_TIMEOUT) {
            // No block for several block durations: the recording device
            // has gone without a word.
            if (stopping.load() == 0 && WaitForSingleObject(stopEvent.get(), 0) != WAIT_OBJECT_0) {
                reportRunFailure(SoundStage::RecordFailed, MMSYSERR_NODRIVER);
                SetEvent(stopEvent.get());
            }
            break;
        }
        if (w != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForSingleObject(stopEvent.get(), 0) == WAIT_OBJECT_0)
            break;
        ResetEvent(bufferRecordedEvent.get());

        // Take the recorded headers, in queue order.
        Header* ready = nullptr;
        Header** readyTail = &ready;
        recordListLock.lock();
        for (Header** link = &recordList; *link;) {
            Header* h = *link;
            if (h->wave.dwFlags & WHDR_DONE) {
                waveInUnprepareHeader(recordDevice, &h->wave, sizeof(WAVEHDR));
                h->wave.dwFlags = 0;
                *link = h->next;
                h->next = nullptr;
                *readyTail = h;
                readyTail = &h->next;
            } else {
                link = &h->next;
            }
        }
        recordListLock.unlock();

        const int n = blockSamples();
        while (ready && stopping.load() == 0 && !failed) {
            Header* h = ready;
            ready = h->next;
            h->next = nullptr;
            const DWORD recorded = h->wave.dwBytesRecorded;
            const DWORD bytes = recorded < PlaybackBufferBytes ? recorded : PlaybackBufferBytes;

            // Copy the block out and give the recording buffer back at once.
            Header* p = takeIdlePlaybackBuffer();
            const int16_t* samples = reinterpret_cast<const int16_t*>(h->wave.lpData);
            if (p) {
                std::memcpy(p->wave.lpData, h->wave.lpData, bytes);
                samples = reinterpret_cast<const int16_t*>(p->wave.lpData);
            }
            currentArrival.store(arrivalTicks[h - headers].load(std::memory_order_relaxed),
                                 std::memory_order_release);
            if (p && !queueForRecording(h, n)) {
                failed = true;
                returnToIdle(p);
                break;
            }

            if (processBlock(static_cast<int>(bytes / 2), samples) == 0)
                runCounters.analysed.fetch_add(1, std::memory_order_relaxed);
            bufferWriteIndex =
                publishDisplayBuffer(*store, frameLock, workingBuffer, bufferWriteIndex, n);
            runCounters.published.fetch_add(1, std::memory_order_relaxed);

            if (!p) {
                // Every playback buffer is still at the playback device, so
                // this one block is not played; what the device holds plays
                // on, and the next block is written as soon as a buffer comes
                // back. If that device has given nothing back for several
                // block durations, it is gone.
                runCounters.skipped.fetch_add(1, std::memory_order_relaxed);
                if (performanceTicks() - lastPlayedTicks.load() > stallTicks) {
                    reportRunFailure(SoundStage::PlaybackFailed, MMSYSERR_NODRIVER);
                    failed = true;
                    continue;
                }
                if (!queueForRecording(h, n))
                    failed = true;
                continue;
            }

            clearHeader(p, static_cast<int>(bytes));
            playbackListLock.lock();
            MMRESULT e = waveOutPrepareHeader(playbackDevice, &p->wave, sizeof(WAVEHDR));
            if (e == MMSYSERR_NOERROR) {
                // Listed before the write: the callback may come first.
                Header** tail = &playbackList;
                while (*tail)
                    tail = &(*tail)->next;
                *tail = p;
                e = waveOutWrite(playbackDevice, &p->wave, sizeof(WAVEHDR));
                if (e != MMSYSERR_NOERROR) {
                    *tail = nullptr;
                    waveOutUnprepareHeader(playbackDevice, &p->wave, sizeof(WAVEHDR));
                    p->wave.dwFlags = 0;
                }
            }
            if (e != MMSYSERR_NOERROR) {
                p->next = idlePlaybackList;
                idlePlaybackList = p;
            }
            playbackListLock.unlock();
            if (e != MMSYSERR_NOERROR) {
                reportRunFailure(SoundStage::PlaybackFailed, static_cast<int>(e));
                failed = true;
            } else {
                runCounters.written.fetch_add(1, std::memory_order_relaxed);
            }
        }
        // An error, or a stop: both threads end. Recorded headers not yet
        // handled stay out of every list; the next start rebuilds them.
        if (failed || ready)
            SetEvent(stopEvent.get());
    }
    SetEvent(captureEndedEvent.get());
}

void AudioEngine::returnToIdle(Header* p)
{
    playbackListLock.lock();
    p->next = idlePlaybackList;
    idlePlaybackList = p;
    playbackListLock.unlock();
}

void AudioEngine::recyclerThreadMain()
{
    const int n = blockSamples();
    HANDLE waitStart[2] = {stopEvent.get(), startEvent.get()};
    HANDLE waitPlayed[2] = {stopEvent.get(), bufferPlayedEvent.get()};

    while (stopping.load() == 0) {
        if (WaitForMultipleObjects(2, waitStart, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForMultipleObjects(2, waitPlayed, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForSingleObject(stopEvent.get(), 0) == WAIT_OBJECT_0)
            break;
        ResetEvent(bufferPlayedEvent.get());

        // Played buffers become idle again, in playback order.
        playbackListLock.lock();
        Header** idleTail = &idlePlaybackList;
        while (*idleTail)
            idleTail = &(*idleTail)->next;
        for (Header** link = &playbackList; *link;) {
            Header* h = *link;
            if (h->wave.dwFlags & WHDR_DONE) {
                waveOutUnprepareHeader(playbackDevice, &h->wave, sizeof(WAVEHDR));
                h->wave.dwFlags = 0;
                *link = h->next;
                h->next = nullptr;
                *idleTail = h;
                idleTail = &h->next;
            } else {
                link = &h->next;
            }
        }
        playbackListLock.unlock();

        // Recording headers never queued since the start (the first pass
        // only) go to the recording device, in order.
        freeListLock.lock();
        Header* local = freeList;
        freeList = nullptr;
        freeListLock.unlock();
        while (local && stopping.load() == 0) {
            Header* h = local;
            local = h->next;
            if (!queueForRecording(h, n)) {
                local = h;
                break;
            }
        }
        if (local)
            SetEvent(stopEvent.get());
    }
    SetEvent(recyclerEndedEvent.get());
}

// ---------------------------------------------------------------------------
// Settings

int AudioEngine::saveSettings()
{
    if (!store)
        return 0;
    int saved = 1;
    for (const SettingSlot& s : SavedSettings)
        if (!writeSetting(s.name, store->get(s.id)))
            saved = 0;
    return saved;
}

void AudioEngine::loadSettings()
{
    if (!store)
        return;
    // Whatever the configuration window accepts and Save writes is restored
    // as it was saved; the band limits are judged against the rate loaded
    // with them.
    const int rate = readSetting(L"SampFrq");
    if (isOneOf(rate, AcceptedRates))
        store->set(Param::SampFrq, rate);
    const int size = readSetting(L"NumSamples");
    if (isOneOf(size, AcceptedSizes))
        store->set(Param::NumSamples, size);
    const int intLvl = readSetting(L"IntLvl");
    if (isOneOf(intLvl, AcceptedIntLvls))
        store->set(Param::IntLvl, intLvl);

    // Band limits: all four or none. Limits that do not fit the rate give
    // way to the ones held, pulled down to half the rate where needed, so no
    // band ever reaches above what the rate can measure.
    const int s = store->get(Param::SampFrq);
    int f[4];
    for (int k = 0; k < 4; ++k)
        f[k] = readSetting(SavedSettings[3 + k].name);
    if (!config_text::bandLimitsValid(f, s)) {
        for (int k = 0; k < 4; ++k)
            f[k] = store->get(Param::Filter0 + k);
        config_text::fitBandLimits(f, s);
    }
    for (int k = 0; k < 4; ++k)
        store->set(Param::Filter0 + k, f[k]);

    const int dbDiff = readSetting(L"dbDiff");
    if (dbDiff >= 0 && dbDiff <= config_text::kMaxThresholdTenths)
        store->set(Param::DbDiff, dbDiff);

    // Any colour, black (0) included; -1 means missing.
    for (int i = 0; i < 6; ++i) {
        const SettingSlot& c = SavedSettings[8 + i];
        const int colour = readSetting(c.name);
        if (colour >= 0)
            store->set(c.id, colour);
    }

    const int displayDb = readSetting(L"displaydb");
    if (displayDb >= 1 && displayDb <= 3)
        store->set(Param::DisplayDb, displayDb);
    loadMeasurementSettings();
}

// ---------------------------------------------------------------------------
// External tools

void AudioEngine::setToolDirectory(const wchar_t* directory)
{
    toolDirectory = directory;
}

void AudioEngine::setToolPrograms(int tool, const ToolProgram* programs, int count)
{
    if (tool < 0 || tool > 1)
        return;
    if (!programs) {
        programs = tool == 0 ? VolumePrograms : RecorderPrograms;
        count = tool == 0 ? static_cast<int>(sizeof(VolumePrograms) / sizeof(VolumePrograms[0]))
                          : static_cast<int>(sizeof(RecorderPrograms) /
                                             sizeof(RecorderPrograms[0]));
    }
    toolPrograms[tool] = programs;
    toolProgramCount[tool] = count;
}

bool AudioEngine::toolRunning(int tool) const
{
    HANDLE watcher = tool == 0 ? volumeWatcher.get() : recorderWatcher.get();
    DWORD code = 0;
    return watcher && GetExitCodeThread(watcher, &code) && code == STILL_ACTIVE;
}

void AudioEngine::launchVolumeControl()
{
    launchTool(0, volumeProcess, volumeWatcher, volumeWatching,
               &AudioEngine::volumeWatcherEntry);
}

void AudioEngine::launchRecorder()
{
    launchTool(1, recorderProcess, recorderWatcher, recorderWatching,
               &AudioEngine::recorderWatcherEntry);
}

// Starts the first program of the tool's list that exists in the tool
// directory, by its full path only: a bare name would first find a program of
// that name in the current directory. Nothing happens while the watcher of an
// earlier copy still runs.
bool AudioEngine::launchTool(int tool, UniqueHandle& process, UniqueHandle& watcher,
                             std::atomic<int>& watching, unsigned(__stdcall* entry)(void*))
{
    if (watcher) {
        DWORD code = 0;
        if (GetExitCodeThread(watcher.get(), &code) && code == STILL_ACTIVE)
            return false;
        watcher.reset();
    }

    std::wstring directory;
    if (toolDirectory) {
        directory = toolDirectory;
    } else {
        wchar_t system[261];
        const UINT length = GetSystemDirectoryW(system, 261);
        if (length == 0 || length >= 261)
            return false;
        directory.assign(system, length);
    }
    if (!directory.empty() && directory.back() == L'\\')
        directory.pop_back();

    UniqueHandle started;
    for (int i = 0; i < toolProgramCount[tool] && !started; ++i) {
        const ToolProgram& p = toolPrograms[tool][i];
        const std::wstring path = directory + L"\\" + p.file;
        if (!isFile(path))
            continue;
        if (p.needs && !isFile(directory + L"\\" + p.needs))
            continue;
        std::wstring commandLine = L"\"" + path + L"\"";
        if (p.arguments && *p.arguments)
            commandLine += std::wstring(L" ") + p.arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            started.reset(info.hProcess);
        }
    }
    if (!started)
        return false;

    process = std::move(started);
    watching = 0;
    watcher = startThreadSuspended(entry, this);
    if (!watcher) {
        // Unwatched, a second copy could be started later; it is better to
        // forget this one than to keep a handle nobody closes.
        process.reset();
        return false;
    }
    ResumeThread(watcher.get());
    return true;
}

unsigned __stdcall AudioEngine::volumeWatcherEntry(void* self)
{
    static_cast<AudioEngine*>(self)->volumeWatcherMain();
    return 0;
}

unsigned __stdcall AudioEngine::recorderWatcherEntry(void* self)
{
    static_cast<AudioEngine*>(self)->recorderWatcherMain();
    return 0;
}

void AudioEngine::volumeWatcherMain()
{
    watchTool(volumeProcess, volumeWatching);
}

void AudioEngine::recorderWatcherMain()
{
    watchTool(recorderProcess, recorderWatching);
}

// The watcher takes the handle over, so it never touches the engine again
// once it has it: the tool may outlive the engine.
void AudioEngine::watchTool(UniqueHandle& process, std::atomic<int>& watching)
{
    UniqueHandle own(process.release());
    watching = 1;
    if (own)
        WaitForSingleObject(own.get(), INFINITE);
}
