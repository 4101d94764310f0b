// The sound devices by name (SoundDevices.h).
#include "foundation/SoundDevices.h"

#include <mmsystem.h>

#ifndef DRVM_MAPPER_PREFERRED_GET
#define DRVM_MAPPER_PREFERRED_GET (0x2000 + 21)
#endif

namespace sound_devices {

namespace {

template <class Caps, class GetCaps>
std::vector<std::wstring> deviceNames(UINT count, GetCaps getCaps)
{
    std::vector<std::wstring> names;
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        names.push_back(getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname
                                                                           : std::wstring());
    }
    return names;
}

UINT idOf(const std::vector<std::wstring>& names, const std::wstring& name, bool* found)
{
    *found = name.empty();
    if (name.empty())
        return WAVE_MAPPER;
    for (size_t id = 0; id < names.size(); ++id) {
        if (names[id] == name) {
            *found = true;
            return static_cast<UINT>(id);
        }
    }
    return WAVE_MAPPER;
}

}  // namespace

std::vector<std::wstring> recordingDevices()
{
    return deviceNames<WAVEINCAPSW>(waveInGetNumDevs(), waveInGetDevCapsW);
}

std::vector<std::wstring> playbackDevices()
{
    return deviceNames<WAVEOUTCAPSW>(waveOutGetNumDevs(), waveOutGetDevCapsW);
}

UINT recordingDeviceId(const std::wstring& name, bool* found)
{
    return idOf(recordingDevices(), name, found);
}

UINT playbackDeviceId(const std::wstring& name, bool* found)
{
    return idOf(playbackDevices(), name, found);
}

std::wstring recordingDeviceName(UINT id)
{
    if (id == WAVE_MAPPER) {
        DWORD flags = 0;
        if (waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(WAVE_MAPPER)),
                          DRVM_MAPPER_PREFERRED_GET, reinterpret_cast<DWORD_PTR>(&id),
                          reinterpret_cast<DWORD_PTR>(&flags)) != MMSYSERR_NOERROR)
            id = 0;
    }
    WAVEINCAPSW caps{};
    if (waveInGetDevCapsW(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return std::wstring();
    return caps.szPname;
}

std::wstring missingDeviceNotice(const std::wstring& name)
{
    return L"No \"" + name + L"\": default used";
}

}  // namespace sound_devices
