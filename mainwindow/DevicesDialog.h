// The "Microphone and Sound Card" dialog: the recording device, the
// playback of what is recorded, and the microphone's response file.
//
// How it works
// - A modal dialog from a template built in memory (DialogTemplate.h), so
//   the dialog manager gives it Tab, the mnemonics, Enter and Escape. The
//   main window opens it from its system menu (Ctrl+D) and carries out what
//   it returns (MainWindowDevices.cpp): the store, the registry, the engine.
// - The lists show what the system offers now, "Default device" first (and
//   "Off" first for playback). A remembered device that is not there now is
//   listed as "<name> (missing)", so keeping it costs nothing and the user
//   sees why the default device records.
// - "Load microphone file..." reads and checks the file at once; a file
//   that cannot be used is refused with its line and reason, and whatever
//   was loaded before stays. OK takes everything, Cancel nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/ResponseFile.h"

// A microphone response file read and checked.
struct MicFile {
    std::wstring path;
    std::vector<response_file::Point> points;
    std::string checksum;
};

// Reads and parses the file at `path`. False with `problem` set ("Line 7:
// ...", or why the file could not be read) when it cannot be used.
bool readMicFile(const std::wstring& path, MicFile& file, std::wstring& problem);

struct DevicesChoice {
    enum Mic : int { Keep = 0, Load = 1, Forget = 2 };
    bool ok = false;
    std::wstring recordDevice;    // empty: the default device
    bool playback = true;         // false: nothing is played
    std::wstring playbackDevice;  // empty: the default device
    int mic = Keep;
    MicFile loaded;               // for Load
};

// Control ids, for those who drive the dialog (tests).
namespace DevicesDialogId {
enum : int {
    RecordList = 1101,
    PlaybackList = 1102,
    MicName = 1103,
    LoadMic = 1104,
    ForgetMic = 1105,
};
}

// Runs the dialog over `owner` with the current choice, the name of the
// microphone file in use (empty: none) and the devices the system offers.
DevicesChoice runDevicesDialog(HWND owner, const DevicesChoice& current,
                               const std::wstring& micName,
                               const std::vector<std::wstring>& recording,
                               const std::vector<std::wstring>& playback);

extern const wchar_t* const kDevicesDialogTitle;

// What the main window shows of the devices (MainWindowDevices.cpp): the
// name of the device the newest capture run recorded from (the preferred
// one before any run), and the status line's text with the notices about
// the devices and the microphone file before it.
class ParameterStore;
std::wstring recordingDeviceInUse(const ParameterStore& store);
std::wstring withDeviceNotices(const ParameterStore& store, const std::wstring& status);
// What the sound-error box adds when a device failed while measuring: which
// device, and that what was measured stays (empty for other failures).
std::wstring deviceFailureNote(const ParameterStore& store, int stage);
