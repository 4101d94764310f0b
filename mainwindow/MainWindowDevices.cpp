// The main window's part of the microphone and the sound card: the
// "Microphone and Sound Card" dialog's choices carried out, the microphone
// file loaded at start, and what the status line says about both.
//
// How it works
// - The choices go to the store (the engine opens the devices by name at
//   the next start of capture) and to the registry at once, as the
//   Measurement dialog's do.
// - A new or forgotten microphone response changes every level: a Reference
//   taken without it is no Reference for levels taken with it. So, as after
//   a change of the sampling settings, the measurement stops and what was
//   measured is forgotten (command 201).
// - At start the file named by MicFile is read again; one that is missing or
//   no longer readable is not used, and the status line says so (MicNotice).
#include "mainwindow/MainWindow.h"

#include <mmsystem.h>

#include "foundation/SoundDevices.h"
#include "foundation/ParameterStore.h"
#include "foundation/Settings.h"
#include "foundation/SettingsTable.h"
#include "mainwindow/DevicesDialog.h"
#include "mainwindow/FileIo.h"
#include "mainwindow/MainWindowGlue.h"

namespace {

// The stages of SoundErrorStage (75) of a device that failed while capture
// ran: the recording side, the playback side.
constexpr int kRecordFailed = 4;
constexpr int kPlaybackFailed = 5;

void useMicFile(ParameterStore& store, MicFile& file)
{
    store.micResponse().set(std::move(file.points), fileNameOf(file.path), file.checksum);
    store.setText(Option::MicFile, file.path);
}

}  // namespace

std::wstring recordingDeviceInUse(const ParameterStore& store)
{
    const std::wstring used = store.text(Option::RecordDeviceInUse);
    return used.empty() ? sound_devices::recordingDeviceName(WAVE_MAPPER) : used;
}

std::wstring withDeviceNotices(const ParameterStore& store, const std::wstring& status)
{
    std::wstring text;
    for (const std::wstring& part :
         {store.text(Option::DeviceNotice), store.text(Option::MicNotice), status}) {
        if (!part.empty())
            text += (text.empty() ? L"" : L"  ") + part;
    }
    return text;
}

std::wstring deviceFailureNote(const ParameterStore& store, int stage)
{
    std::wstring device;
    if (stage == kRecordFailed)
        device = L"The recording device \"" + recordingDeviceInUse(store) + L"\" stopped";
    else if (stage == kPlaybackFailed)
        device = L"The playback device stopped";
    else
        return std::wstring();
    return L"\n\n" + device +
           L" while measuring: it may have been unplugged. What was measured stays on screen "
           L"and can be saved. Reference or Analyze opens the device again once it is back.";
}

void MainWindow::loadMicFileAtStart()
{
    ParameterStore* s = parameterStore();
    if (!s)
        return;
    const std::wstring path = s->text(Option::MicFile);
    if (path.empty())
        return;
    MicFile file;
    std::wstring problem;
    if (readMicFile(path, file, problem)) {
        useMicFile(*s, file);
        s->setText(Option::MicNotice, L"");
    } else {
        s->micResponse().clear();
        s->setText(Option::MicNotice, L"No mic file");
    }
    // Made while the window is being made: no change reaches it as a message yet.
    rebuildStatusLine();
}

void MainWindow::openDevicesDialog()
{
    ParameterStore* s = parameterStore();
    if (!s || !handle_)
        return;
    DevicesChoice now;
    now.recordDevice = s->text(Option::RecordDevice);
    now.playback = s->get(Option::Playback) != 0;
    now.playbackDevice = s->text(Option::PlaybackDevice);
    DevicesChoice c = runDevicesDialog(handle_, now, s->micResponse().name(),
                                       sound_devices::recordingDevices(),
                                       sound_devices::playbackDevices());
    if (!c.ok)
        return;
    if (c.mic != DevicesChoice::Keep) {
        // Levels with and without a response are not compared.
        if (owner_ && (s->get(Param::CaptureActive) != 0 || s->get(Param::DataPresent) != 0))
            owner_->notify(Notification(Code::Apply));
        if (c.mic == DevicesChoice::Load) {
            useMicFile(*s, c.loaded);
        } else {
            s->micResponse().clear();
            s->setText(Option::MicFile, L"");
        }
        s->setText(Option::MicNotice, L"");
    }
    s->setText(Option::RecordDevice, c.recordDevice);
    s->set(Option::Playback, c.playback ? 1 : 0);
    s->setText(Option::PlaybackDevice, c.playbackDevice);
    // Kept at once; a registry that refuses leaves the choice for this session.
    writeSettingText(settings_table::nameOf(settings_table::RecordDevice), c.recordDevice);
    saveSettings(*s, settings_table::Writer::Devices);
}
