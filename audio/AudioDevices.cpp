// The sound devices by name (AudioDevices.h), and the engine's part of them:
// which devices a capture run opens, and the microphone correction it runs
// with.
#include "audio/AudioDevices.h"

#include <mmsystem.h>

#include "audio/AudioEngine.h"

#ifndef DRVM_MAPPER_PREFERRED_GET
#define DRVM_MAPPER_PREFERRED_GET (0x2000 + 21)
#endif

namespace audio_devices {

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

}  // namespace audio_devices

// ---------------------------------------------------------------------------
// The engine's devices

UINT AudioEngine::chooseRecordDevice()
{
    const std::wstring wanted = store_->text(Option::RecordDevice);
    bool found = false;
    const UINT id = audio_devices::recordingDeviceId(wanted, &found);
    std::wstring notice;
    if (!found)
        notice = audio_devices::missingDeviceNotice(wanted);
    store_->setText(Option::RecordDeviceInUse, audio_devices::recordingDeviceName(id));
    // The playback side adds its own word, if any.
    if (param(Option::Playback) != 0) {
        const std::wstring playback = store_->text(Option::PlaybackDevice);
        audio_devices::playbackDeviceId(playback, &found);
        if (!found)
            notice += (notice.empty() ? L"" : L"  ") + audio_devices::missingDeviceNotice(playback);
    }
    store_->setText(Option::DeviceNotice, notice);
    return id;
}

// WAVE_MAPPER for the default device or one that is missing (said by
// chooseRecordDevice); only asked when something is played.
UINT AudioEngine::choosePlaybackDevice()
{
    bool found = false;
    return audio_devices::playbackDeviceId(store_->text(Option::PlaybackDevice), &found);
}

void AudioEngine::prepareMicCorrection()
{
    arrays_.binCorrectionDb =
        micCorrection_.prepare(store_->micResponse(), blockSamples(), param(Param::SampFrq));
}
