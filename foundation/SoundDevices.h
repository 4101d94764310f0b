// The sound devices the system offers, by name.
//
// How it works
// - The recording (waveIn) and playback (waveOut) devices are listed by the
//   names their drivers give (at most 31 characters). The program remembers
//   a device by that name, never by its number: numbers change when devices
//   come and go, names stay.
// - The engine looks the remembered names up at every start of capture
//   (AudioEngine::openDevices): a name that is no longer listed records or
//   plays through the default device, and the engine says so in the store
//   (Option::DeviceNotice), which the main window shows on its status line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sound_devices {

std::vector<std::wstring> recordingDevices();
std::vector<std::wstring> playbackDevices();

// The number of the first device of that name, or WAVE_MAPPER when the
// name is empty (the default device) or not listed (*found = false then).
UINT recordingDeviceId(const std::wstring& name, bool* found);
UINT playbackDeviceId(const std::wstring& name, bool* found);

// The name of recording device `id`; for WAVE_MAPPER, the device the
// system prefers. Empty when there is none.
std::wstring recordingDeviceName(UINT id);

// What the status line says about a remembered device that is missing:
// No "Mic 2": default used.
std::wstring missingDeviceNotice(const std::wstring& name);

}  // namespace sound_devices
