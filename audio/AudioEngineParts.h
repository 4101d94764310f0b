// What the parts of AudioEngine (AudioEngine.cpp, AudioCapture.cpp,
// AudioPlayback.cpp, AudioSettings.cpp, AudioTools.cpp) share and nobody
// else needs.
#pragma once

#include <windows.h>
#include <process.h>

#include <cstdint>

#include "app/Owned.h"

namespace audio_engine {

inline int64_t performanceTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline UniqueHandle startThreadSuspended(unsigned(__stdcall* entry)(void*), void* argument)
{
    unsigned id = 0;
    return UniqueHandle(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, entry, argument, CREATE_SUSPENDED, &id)));
}

}  // namespace audio_engine
