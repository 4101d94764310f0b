// AudioEngine: the capture run and the five recording buffers.
//
// How it works
// - Capture run. startCapture rebuilds the header lists, opens the recording
//   device (started at once, with no buffers) and the playback device, both
//   through the wave mapper with function callbacks, and starts the recycler
//   and capture threads, which wait for startEvent.
// - Buffers. Five recording buffers, each behind a wave header, live in
//   lists, each list under its own lock:
//     free list: recording headers not yet queued in this run; the
//       recycler's first pass queues all five at the recording device;
//     record list: recording headers queued at the recording device; the
//       recording callback (WIM_DATA) sets bufferRecordedEvent;
//     capture thread: takes the recorded headers off the record list and,
//       for each: copies the block into an idle playback buffer, queues the
//       recording header again at once, analyses the copy, publishes the
//       working buffer into a display buffer under the frame lock (event
//       100) and hands the copy to the playback side (AudioPlayback.cpp).
//   A header is in one list at a time, or held for a moment by one thread.
//   If every playback buffer is still at the playback device, the block is
//   analysed from the recording buffer and not played (counted as skipped).
//   A slow playback device costs what is heard, never what is measured. The
//   cycle allocates nothing.
// - Stop. stopCapture sets stopEvent, sets `stopping_` (from then on the
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
//   them wait there (stage 5, same code). Until a device has answered once
//   in the run, the limit is StartupStallMs: a freshly opened stream (a
//   sound server just back, an idle device waking) may be slow to begin.
#include "audio/AudioEngine.h"

#include <cstring>

#include "foundation/DisplayHandover.h"
#include "foundation/Threads.h"
#include "audio/AudioEngineParts.h"

using audio_engine::listAndGive;
using audio_engine::moveDoneHeaders;
using audio_engine::performanceTicks;
using audio_engine::shutDevice;

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
        std::memset(&headers_[i].wave, 0, sizeof(WAVEHDR));
        headers_[i].wave.lpData = audioBuffers_[i];
        headers_[i].next = i + 1 < BufferCount ? &headers_[i + 1] : nullptr;
    }
    freeList_ = &headers_[0];
    const int count = playbackBuffersFor(param(Param::SampFrq), blockSamples());
    for (int i = 0; i < PlaybackBufferCount; ++i) {
        std::memset(&playbackHeaders_[i].wave, 0, sizeof(WAVEHDR));
        playbackHeaders_[i].wave.lpData = playbackBuffers_[i];
        playbackHeaders_[i].next = i + 1 < count ? &playbackHeaders_[i + 1] : nullptr;
    }
    idlePlaybackList_ = &playbackHeaders_[0];
}

// ---------------------------------------------------------------------------
// Start and stop

bool AudioEngine::startCapture()
{
    if (!store_ || param(Param::CaptureActive) != 0)
        return false;
    paused_ = 0;
    resetBuffers();
    computeBandEdges();
    prepareMicCorrection();
    setParam(Param::IntCount, 1);
    resetFaultCounts();
    if (createAudioEvents() && openDevices() && createAudioThreads()) {
        setParam(Param::ProgressHidden, 0);
        setParam(Param::CaptureActive, 1);
        SetEvent(bufferPlayedEvent_.get());
        SetEvent(startEvent_.get());
        return true;
    }
    stopCapture();
    return false;
}

void AudioEngine::stopCapture()
{
    if (stopEvent_)
        SetEvent(stopEvent_.get());
    joinAudioThreads();
    closeDevices();
    setParam(Param::CaptureActive, 0);
    setParam(Param::ProgressHidden, 1);
    setParam(Param::PauseEnabled, 0);
}

void AudioEngine::joinAudioThreads()
{
    if (stopEvent_)
        WaitForSingleObject(stopEvent_.get(), INFINITE);  // set by the caller: returns at once
    stopping_ = 1;
    // A thread that outlives its limit is left running (foundation/Threads.h); the
    // engine it uses is then never deleted (abandonedThreads()). Its handle
    // goes with the devices: closing it does not end the thread.
    UniqueHandle* threads[] = {&recyclerThread_, &captureThread_};
    for (UniqueHandle* t : threads)
        if (joinThread(*t, ThreadJoinMs) == JoinResult::Abandoned)
            abandoned_ = true;
}

bool AudioEngine::createAudioEvents()
{
    UniqueHandle* events[] = {&stopEvent_,         &startEvent_,         &bufferRecordedEvent_,
                              &bufferPlayedEvent_};
    for (UniqueHandle* e : events) {
        if (*e)
            continue;  // made by an earlier run; they live as long as the engine
        *e = createEvent(true, false);
        if (!*e)
            return false;
    }
    return true;
}

bool AudioEngine::createAudioThreads()
{
    recyclerThread_ = startThread(&AudioEngine::recyclerEntry, this);
    if (!recyclerThread_)
        return false;
    captureThread_ = startThread(&AudioEngine::captureEntry, this);
    if (!captureThread_) {
        // Never resumed: ending it is safe, it has not run a single step.
        TerminateThread(recyclerThread_.get(), 0);
        recyclerThread_.reset();
        return false;
    }
    ResumeThread(recyclerThread_.get());
    ResumeThread(captureThread_.get());
    return true;
}

int64_t AudioEngine::audioThreadCpuTime() const
{
    int64_t total = 0;
    HANDLE threads[2] = {captureThread_.get(), recyclerThread_.get()};
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
// Devices

void AudioEngine::resetBuffers()
{
    stopping_ = 0;
    // stopCapture has closed them already.
    recordDevice_ = nullptr;
    playbackDevice_ = nullptr;
    buildFreeList();
    recordList_ = nullptr;
    playbackList_ = nullptr;
    lastPlayedTicks_ = performanceTicks();
    const UniqueHandle* events[] = {&stopEvent_,         &startEvent_,         &bufferRecordedEvent_,
                                    &bufferPlayedEvent_};
    for (const UniqueHandle* e : events)
        if (*e)
            ResetEvent(e->get());
    runFailureStage_ = 0;
    runFailureCode_ = 0;
    for (auto& t : arrivalTicks_)
        t.store(0, std::memory_order_relaxed);
    runCounters_.queued = 0;
    runCounters_.recorded = 0;
    runCounters_.analysed = 0;
    runCounters_.published = 0;
    runCounters_.written = 0;
    runCounters_.played = 0;
    runCounters_.skipped = 0;
}

WAVEFORMATEX AudioEngine::waveFormat(int rate)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = static_cast<DWORD>(2 * rate);
    return f;
}

bool AudioEngine::openDevices()
{
    if (!store_)
        return false;
    recordFormat_ = waveFormat(param(Param::SampFrq));

    // The devices chosen by name, looked up anew at each start.
    HWAVEIN in = nullptr;
    MMRESULT e = waveInOpen(&in, chooseRecordDevice(), &recordFormat_,
                            reinterpret_cast<DWORD_PTR>(&AudioEngine::recordCallback),
                            reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (e != MMSYSERR_NOERROR)
        return openFailed(SoundStage::RecordOpen, e);
    recordDevice_ = in;
    openDeviceFlags_.fetch_or(1);

    e = waveInStart(recordDevice_);
    if (e != MMSYSERR_NOERROR)
        return openFailed(SoundStage::RecordStart, e);

    // Playback off: no playback device at all, and the capture thread
    // analyses each block straight from its recording buffer.
    if (param(Option::Playback) == 0)
        return true;
    playbackFormat_ = recordFormat_;
    HWAVEOUT out = nullptr;
    e = waveOutOpen(&out, choosePlaybackDevice(), &playbackFormat_,
                    reinterpret_cast<DWORD_PTR>(&AudioEngine::playbackCallback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (e != MMSYSERR_NOERROR)
        return openFailed(SoundStage::PlaybackOpen, e);
    playbackDevice_ = out;
    openDeviceFlags_.fetch_or(2);
    return true;
}

void AudioEngine::closeDevices()
{
    // Only headers the device has given back are unprepared. After a device
    // has vanished its reset fails and keeps some headers (their unprepare
    // would fail with WAVERR_STILLPLAYING); those are left as they are, and
    // resetBuffers clears them for the next run. Each list walk is bounded by
    // the number of headers.
    if (recordDevice_) {
        shutDevice(recordDevice_, recordListLock_, &recordList_, BufferCount);
        openDeviceFlags_.fetch_and(~1);
    }
    if (playbackDevice_) {
        shutDevice(playbackDevice_, playbackListLock_, &playbackList_, PlaybackBufferCount);
        openDeviceFlags_.fetch_and(~2);
    }
    recyclerThread_.reset();
    captureThread_.reset();
}

// A device that cannot be opened or started: reported, and capture stopped.
bool AudioEngine::openFailed(int stage, MMRESULT code)
{
    reportSoundError(stage, static_cast<int>(code));
    stopCapture();
    return false;
}

void CALLBACK AudioEngine::recordCallback(HWAVEIN, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR)
{
    reinterpret_cast<AudioEngine*>(instance)->onRecordDeviceMessage(message, param1);
}

// On the system's callback thread: no wave function may be called here, and
// nothing may wait. The arrival time only feeds the latency figures.
void AudioEngine::onRecordDeviceMessage(UINT message, DWORD_PTR param)
{
    if (message != WIM_DATA || stopping_.load() != 0)
        return;
    auto* h = reinterpret_cast<Header*>(param);
    if (h >= headers_ && h < headers_ + BufferCount)
        arrivalTicks_[h - headers_].store(performanceTicks(), std::memory_order_relaxed);
    runCounters_.recorded.fetch_add(1, std::memory_order_relaxed);
    SetEvent(bufferRecordedEvent_.get());
}

// ---------------------------------------------------------------------------
// The capture thread

unsigned __stdcall AudioEngine::captureEntry(void* self)
{
    static_cast<AudioEngine*>(self)->captureThreadMain();
    return 0;
}

// Clears a recording header and queues it at the recording device (record
// list first: the callback may come before waveInAddBuffer returns).
bool AudioEngine::queueForRecording(Header* h, int n)
{
    clearHeader(h, 2 * n);
    h->wave.dwBytesRecorded = 0;
    h->next = nullptr;
    MMRESULT e;
    {
        ScopedLock hold(recordListLock_);
        e = listAndGive(recordDevice_, &recordList_, h);
    }
    if (e != MMSYSERR_NOERROR) {
        reportRunFailure(SoundStage::RecordFailed, static_cast<int>(e));
        return false;
    }
    runCounters_.queued.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void AudioEngine::captureThreadMain()
{
    HANDLE waitStart[2] = {stopEvent_.get(), startEvent_.get()};
    HANDLE waitBlock[2] = {stopEvent_.get(), bufferRecordedEvent_.get()};

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
    // Until a device has answered once in this run it gets longer: a sound
    // server that has just (re)started, or one waking an idle device, can
    // take seconds to deliver the first block or take back the first copy.
    const DWORD startMs = stallMs > StartupStallMs ? stallMs : StartupStallMs;
    const int64_t startTicks = frequency.QuadPart * startMs / 1000;

    const bool playing = playbackDevice_ != nullptr;
    bool failed = false;
    while (stopping_.load() == 0 && !failed) {
        if (WaitForMultipleObjects(2, waitStart, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        const bool recordAnswered = runCounters_.recorded.load(std::memory_order_relaxed) > 0;
        const DWORD w = WaitForMultipleObjects(2, waitBlock, FALSE, recordAnswered ? stallMs : startMs);
        if (w == WAIT_TIMEOUT) {
            // No block for several block durations: the recording device
            // has gone without a word.
            if (stopping_.load() == 0 && WaitForSingleObject(stopEvent_.get(), 0) != WAIT_OBJECT_0) {
                reportRunFailure(SoundStage::RecordFailed, MMSYSERR_NODRIVER);
                SetEvent(stopEvent_.get());
            }
            break;
        }
        if (w != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForSingleObject(stopEvent_.get(), 0) == WAIT_OBJECT_0)
            break;
        ResetEvent(bufferRecordedEvent_.get());

        // Take the recorded headers, in queue order.
        Header* ready = nullptr;
        {
            ScopedLock hold(recordListLock_);
            moveDoneHeaders(recordDevice_, &recordList_, &ready);
        }

        const int n = blockSamples();
        while (ready && stopping_.load() == 0 && !failed) {
            Header* h = ready;
            ready = h->next;
            h->next = nullptr;
            const DWORD recorded = h->wave.dwBytesRecorded;
            const DWORD bytes = recorded < PlaybackBufferBytes ? recorded : PlaybackBufferBytes;

            // Copy the block out and give the recording buffer back at once
            // (with playback off there is nothing to copy for).
            Header* p = playing ? takeIdlePlaybackBuffer() : nullptr;
            const int16_t* samples = reinterpret_cast<const int16_t*>(h->wave.lpData);
            if (p) {
                std::memcpy(p->wave.lpData, h->wave.lpData, bytes);
                samples = reinterpret_cast<const int16_t*>(p->wave.lpData);
            }
            currentArrival_.store(arrivalTicks_[h - headers_].load(std::memory_order_relaxed),
                                 std::memory_order_release);
            if (p && !queueForRecording(h, n)) {
                failed = true;
                returnToIdle(p);
                break;
            }

            if (processBlock(static_cast<int>(bytes / 2), samples) == 0)
                runCounters_.analysed.fetch_add(1, std::memory_order_relaxed);
            bufferWriteIndex_ =
                publishDisplayBuffer(*store_, frameLock_, workingBuffer_, bufferWriteIndex_, n);
            runCounters_.published.fetch_add(1, std::memory_order_relaxed);

            if (!playing) {
                if (!queueForRecording(h, n))
                    failed = true;
                continue;
            }
            if (!p) {
                // Every playback buffer is still at the playback device, so
                // this one block is not played; what the device holds plays
                // on, and the next block is written as soon as a buffer comes
                // back. If that device has given nothing back for several
                // block durations, it is gone.
                runCounters_.skipped.fetch_add(1, std::memory_order_relaxed);
                const bool playAnswered = runCounters_.played.load(std::memory_order_relaxed) > 0;
                if (performanceTicks() - lastPlayedTicks_.load() > (playAnswered ? stallTicks : startTicks)) {
                    reportRunFailure(SoundStage::PlaybackFailed, MMSYSERR_NODRIVER);
                    failed = true;
                    continue;
                }
                if (!queueForRecording(h, n))
                    failed = true;
                continue;
            }

            if (!playCopy(p, static_cast<int>(bytes)))
                failed = true;
        }
        // An error, or a stop: both threads end. Recorded headers not yet
        // handled stay out of every list; the next start rebuilds them.
        if (failed || ready)
            SetEvent(stopEvent_.get());
    }
}
