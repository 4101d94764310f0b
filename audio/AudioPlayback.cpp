// AudioEngine: the copies of recorded blocks on their way through the
// playback device.
//
// How it works
// - Up to PlaybackBufferCount playback buffers (as many as make
//   PlaybackBacklogMs of sound, at least MinPlaybackBuffers), each behind a
//   wave header, live in two lists under playbackListLock:
//     idle list: buffers free for a copy; the capture thread takes one per
//       recorded block (AudioCapture.cpp) and writes it to the playback
//       device with playCopy;
//     playback list: buffers at the playback device; the playback callback
//       (WOM_DONE) notes the time and sets bufferPlayedEvent, and the
//       recycler thread moves the played ones back to the idle list, in
//       playback order.
// - The recycler's first pass also queues the five recording headers of the
//   free list at the recording device.
// - A block that finds no idle buffer is not played; what the device holds
//   plays on. When the device has given nothing back for several block
//   durations, the capture thread treats it as gone (stage 5).
#include "audio/AudioEngine.h"

#include "audio/AudioEngineParts.h"

using audio_engine::listAndGive;
using audio_engine::moveDoneHeaders;
using audio_engine::performanceTicks;

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

AudioEngine::Header* AudioEngine::takeIdlePlaybackBuffer()
{
    ScopedLock hold(playbackListLock_);
    Header* p = idlePlaybackList_;
    if (p) {
        idlePlaybackList_ = p->next;
        p->next = nullptr;
    }
    return p;
}

// Writes a copy to the playback device (playback list first: the callback
// may come before waveOutWrite returns). A buffer the device refuses goes
// back to the idle list, and the failure is reported (stage 5).
bool AudioEngine::playCopy(Header* p, int bytes)
{
    clearHeader(p, bytes);
    MMRESULT e;
    {
        ScopedLock hold(playbackListLock_);
        e = listAndGive(playbackDevice_, &playbackList_, p);
        if (e != MMSYSERR_NOERROR) {
            p->next = idlePlaybackList_;
            idlePlaybackList_ = p;
        }
    }
    if (e != MMSYSERR_NOERROR) {
        reportRunFailure(SoundStage::PlaybackFailed, static_cast<int>(e));
        return false;
    }
    runCounters_.written.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void AudioEngine::returnToIdle(Header* p)
{
    ScopedLock hold(playbackListLock_);
    p->next = idlePlaybackList_;
    idlePlaybackList_ = p;
}

void CALLBACK AudioEngine::playbackCallback(HWAVEOUT, UINT message, DWORD_PTR instance,
                                            DWORD_PTR, DWORD_PTR)
{
    reinterpret_cast<AudioEngine*>(instance)->onPlaybackDeviceMessage(message);
}

void AudioEngine::onPlaybackDeviceMessage(UINT message)
{
    if (message != WOM_DONE || stopping_.load() != 0)
        return;
    lastPlayedTicks_.store(performanceTicks(), std::memory_order_relaxed);
    runCounters_.played.fetch_add(1, std::memory_order_relaxed);
    SetEvent(bufferPlayedEvent_.get());
}

unsigned __stdcall AudioEngine::recyclerEntry(void* self)
{
    static_cast<AudioEngine*>(self)->recyclerThreadMain();
    return 0;
}

void AudioEngine::recyclerThreadMain()
{
    const int n = blockSamples();
    HANDLE waitStart[2] = {stopEvent_.get(), startEvent_.get()};
    HANDLE waitPlayed[2] = {stopEvent_.get(), bufferPlayedEvent_.get()};

    while (stopping_.load() == 0) {
        if (WaitForMultipleObjects(2, waitStart, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForMultipleObjects(2, waitPlayed, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (WaitForSingleObject(stopEvent_.get(), 0) == WAIT_OBJECT_0)
            break;
        ResetEvent(bufferPlayedEvent_.get());

        // Played buffers become idle again, in playback order.
        {
            ScopedLock hold(playbackListLock_);
            moveDoneHeaders(playbackDevice_, &playbackList_, &idlePlaybackList_);
        }

        // Recording headers never queued since the start (the first pass
        // only) go to the recording device, in order.
        freeListLock_.lock();
        Header* local = freeList_;
        freeList_ = nullptr;
        freeListLock_.unlock();
        while (local && stopping_.load() == 0) {
            Header* h = local;
            local = h->next;
            if (!queueForRecording(h, n)) {
                local = h;
                break;
            }
        }
        if (local)
            SetEvent(stopEvent_.get());
    }
}
