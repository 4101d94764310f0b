// What the parts of AudioEngine (AudioEngine.cpp, AudioCapture.cpp,
// AudioPlayback.cpp, AudioSettings.cpp, AudioTools.cpp) share and nobody
// else needs.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <cstdint>

#include "audio/AudioEngine.h"

namespace audio_engine {

inline int64_t performanceTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The wave functions of both directions under one name each, so the header
// lists of both sides are walked by the same code.
inline MMRESULT prepareHeader(HWAVEIN device, AudioEngine::Header* h)
{
    return waveInPrepareHeader(device, &h->wave, sizeof(WAVEHDR));
}
inline MMRESULT prepareHeader(HWAVEOUT device, AudioEngine::Header* h)
{
    return waveOutPrepareHeader(device, &h->wave, sizeof(WAVEHDR));
}
inline MMRESULT unprepareHeader(HWAVEIN device, AudioEngine::Header* h)
{
    return waveInUnprepareHeader(device, &h->wave, sizeof(WAVEHDR));
}
inline MMRESULT unprepareHeader(HWAVEOUT device, AudioEngine::Header* h)
{
    return waveOutUnprepareHeader(device, &h->wave, sizeof(WAVEHDR));
}
inline MMRESULT giveHeader(HWAVEIN device, AudioEngine::Header* h)
{
    return waveInAddBuffer(device, &h->wave, sizeof(WAVEHDR));
}
inline MMRESULT giveHeader(HWAVEOUT device, AudioEngine::Header* h)
{
    return waveOutWrite(device, &h->wave, sizeof(WAVEHDR));
}

// Prepares h, appends it to `list` and gives it to the device: listed first,
// since the device's callback may come before the hand-over returns. A header
// the device refuses is taken off the list and unprepared again. The caller
// holds the list's lock.
template <class Device>
MMRESULT listAndGive(Device device, AudioEngine::Header** list, AudioEngine::Header* h)
{
    MMRESULT e = prepareHeader(device, h);
    if (e != MMSYSERR_NOERROR)
        return e;
    AudioEngine::Header** tail = list;
    while (*tail)
        tail = &(*tail)->next;
    *tail = h;
    e = giveHeader(device, h);
    if (e != MMSYSERR_NOERROR) {
        *tail = nullptr;
        unprepareHeader(device, h);
        h->wave.dwFlags = 0;
    }
    return e;
}

// Moves the headers the device has marked done from the list `from` to the
// end of the list `to`, in order, unpreparing each on the way. The caller
// holds the lock of both.
template <class Device>
void moveDoneHeaders(Device device, AudioEngine::Header** from, AudioEngine::Header** to)
{
    while (*to)
        to = &(*to)->next;
    for (AudioEngine::Header** link = from; *link;) {
        AudioEngine::Header* h = *link;
        if (h->wave.dwFlags & WHDR_DONE) {
            unprepareHeader(device, h);
            h->wave.dwFlags = 0;
            *link = h->next;
            h->next = nullptr;
            *to = h;
            to = &h->next;
        } else {
            link = &h->next;
        }
    }
}

inline void resetDevice(HWAVEIN device)
{
    waveInReset(device);
    waveInStop(device);
}
inline void resetDevice(HWAVEOUT device) { waveOutReset(device); }
inline void closeDevice(HWAVEIN device) { waveInClose(device); }
inline void closeDevice(HWAVEOUT device) { waveOutClose(device); }

// Resets the device, unprepares the headers of its list that it has given
// back (at most `limit`), closes it and forgets it. A header it keeps (a
// device that has vanished) is left as it is: its unprepare would fail.
template <class Device>
void shutDevice(Device& device, CriticalSection& listLock, AudioEngine::Header* const* list,
                int limit)
{
    resetDevice(device);
    {
        ScopedLock hold(listLock);
        AudioEngine::Header* h = *list;
        for (int i = 0; h && i < limit; ++i, h = h->next)
            if ((h->wave.dwFlags & WHDR_PREPARED) && !(h->wave.dwFlags & WHDR_INQUEUE))
                unprepareHeader(device, h);
    }
    closeDevice(device);
    device = nullptr;
}

}  // namespace audio_engine
