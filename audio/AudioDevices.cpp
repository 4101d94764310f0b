// The engine's part of the sound devices (foundation/SoundDevices.h): which
// devices a capture run opens, and the microphone correction it runs with.
#include "audio/AudioEngine.h"

#include "foundation/SoundDevices.h"


// ---------------------------------------------------------------------------
// The engine's devices

UINT AudioEngine::chooseRecordDevice()
{
    const std::wstring wanted = store_->text(Option::RecordDevice);
    bool found = false;
    const UINT id = sound_devices::recordingDeviceId(wanted, &found);
    std::wstring notice;
    if (!found)
        notice = sound_devices::missingDeviceNotice(wanted);
    store_->setText(Option::RecordDeviceInUse, sound_devices::recordingDeviceName(id));
    // The playback side adds its own word, if any.
    if (param(Option::Playback) != 0) {
        const std::wstring playback = store_->text(Option::PlaybackDevice);
        sound_devices::playbackDeviceId(playback, &found);
        if (!found)
            notice += (notice.empty() ? L"" : L"  ") + sound_devices::missingDeviceNotice(playback);
    }
    store_->setText(Option::DeviceNotice, notice);
    return id;
}

// WAVE_MAPPER for the default device or one that is missing (said by
// chooseRecordDevice); only asked when something is played.
UINT AudioEngine::choosePlaybackDevice()
{
    bool found = false;
    return sound_devices::playbackDeviceId(store_->text(Option::PlaybackDevice), &found);
}

void AudioEngine::prepareMicCorrection()
{
    micCorrection_.prepare(store_->micResponse(), blockSamples(), param(Param::SampFrq));
    arrays_.binCorrectionGain = micCorrection_.gains();
    arrays_.binCorrectionAmplitude = micCorrection_.amplitudes();
}
