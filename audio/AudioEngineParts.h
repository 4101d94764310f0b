// What the parts of AudioEngine (AudioEngine.cpp, AudioCapture.cpp,
// AudioPlayback.cpp, AudioSettings.cpp, AudioTools.cpp) share and nobody
// else needs.
#pragma once

#include <windows.h>

#include <cstdint>

namespace audio_engine {

inline int64_t performanceTicks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace audio_engine
