// AudioEngine: the external tools behind the two tool buttons (the volume
// control and the sound recorder).
//
// How it works
// - Each tool has a list of programs, tried in order from the tool
//   directory (the Windows system directory unless set): the classic
//   program first, then what Windows 10/11 and Wine have. A program is
//   started by its full path only, never by a bare name.
// - A started program is watched by a thread of its own, which takes its
//   process handle over and waits for it to end. While that watcher runs,
//   the button starts nothing: the tool runs once.
// - Nothing to start is not an error: the press does nothing.
#include "audio/AudioEngine.h"

#include <string>
#include <utility>

#include "audio/AudioEngineParts.h"

using audio_engine::startThreadSuspended;

namespace {

// The external tools, each tried in order from the tool directory. The first
// entry of each is the classic program; the others are what Windows 10/11
// and Wine actually have.
constexpr ToolProgram VolumePrograms[] = {
    {L"sndvol32.exe", L"/r", nullptr},
    {L"sndvol.exe", nullptr, nullptr},  // Windows Vista and later
    {L"winecfg.exe", nullptr, nullptr}, // Wine: its Audio page
};
constexpr ToolProgram RecorderPrograms[] = {
    {L"sndrec32.exe", nullptr, nullptr},
    {L"SoundRecorder.exe", nullptr, nullptr},  // Windows Vista to 8.1
    // Windows 10/11: the Sound control panel on its Recording page.
    {L"rundll32.exe", L"shell32.dll,Control_RunDLL mmsys.cpl,,1", L"mmsys.cpl"},
    {L"winecfg.exe", nullptr, nullptr},  // Wine: its Audio page
};

bool isFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void AudioEngine::setToolDirectory(const wchar_t* directory)
{
    toolDirectory = directory;
}

void AudioEngine::setToolPrograms(int tool, const ToolProgram* programs, int count)
{
    if (tool < 0 || tool > 1)
        return;
    if (!programs) {
        programs = tool == 0 ? VolumePrograms : RecorderPrograms;
        count = tool == 0 ? static_cast<int>(sizeof(VolumePrograms) / sizeof(VolumePrograms[0]))
                          : static_cast<int>(sizeof(RecorderPrograms) /
                                             sizeof(RecorderPrograms[0]));
    }
    toolPrograms[tool] = programs;
    toolProgramCount[tool] = count;
}

bool AudioEngine::toolRunning(int tool) const
{
    HANDLE watcher = tool == 0 ? volumeWatcher.get() : recorderWatcher.get();
    DWORD code = 0;
    return watcher && GetExitCodeThread(watcher, &code) && code == STILL_ACTIVE;
}

void AudioEngine::launchVolumeControl()
{
    launchTool(0, volumeProcess, volumeWatcher, volumeWatching,
               &AudioEngine::volumeWatcherEntry);
}

void AudioEngine::launchRecorder()
{
    launchTool(1, recorderProcess, recorderWatcher, recorderWatching,
               &AudioEngine::recorderWatcherEntry);
}

// Starts the first program of the tool's list that exists in the tool
// directory, by its full path only: a bare name would first find a program of
// that name in the current directory. Nothing happens while the watcher of an
// earlier copy still runs.
bool AudioEngine::launchTool(int tool, UniqueHandle& process, UniqueHandle& watcher,
                             std::atomic<int>& watching, unsigned(__stdcall* entry)(void*))
{
    if (watcher) {
        DWORD code = 0;
        if (GetExitCodeThread(watcher.get(), &code) && code == STILL_ACTIVE)
            return false;
        watcher.reset();
    }

    std::wstring directory;
    if (toolDirectory) {
        directory = toolDirectory;
    } else {
        wchar_t system[261];
        const UINT length = GetSystemDirectoryW(system, 261);
        if (length == 0 || length >= 261)
            return false;
        directory.assign(system, length);
    }
    if (!directory.empty() && directory.back() == L'\\')
        directory.pop_back();

    UniqueHandle started;
    for (int i = 0; i < toolProgramCount[tool] && !started; ++i) {
        const ToolProgram& p = toolPrograms[tool][i];
        const std::wstring path = directory + L"\\" + p.file;
        if (!isFile(path))
            continue;
        if (p.needs && !isFile(directory + L"\\" + p.needs))
            continue;
        std::wstring commandLine = L"\"" + path + L"\"";
        if (p.arguments && *p.arguments)
            commandLine += std::wstring(L" ") + p.arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            started.reset(info.hProcess);
        }
    }
    if (!started)
        return false;

    process = std::move(started);
    watching = 0;
    watcher = startThreadSuspended(entry, this);
    if (!watcher) {
        // Unwatched, a second copy could be started later; it is better to
        // forget this one than to keep a handle nobody closes.
        process.reset();
        return false;
    }
    ResumeThread(watcher.get());
    return true;
}

unsigned __stdcall AudioEngine::volumeWatcherEntry(void* self)
{
    static_cast<AudioEngine*>(self)->volumeWatcherMain();
    return 0;
}

unsigned __stdcall AudioEngine::recorderWatcherEntry(void* self)
{
    static_cast<AudioEngine*>(self)->recorderWatcherMain();
    return 0;
}

void AudioEngine::volumeWatcherMain()
{
    watchTool(volumeProcess, volumeWatching);
}

void AudioEngine::recorderWatcherMain()
{
    watchTool(recorderProcess, recorderWatching);
}

// The watcher takes the handle over, so it never touches the engine again
// once it has it: the tool may outlive the engine.
void AudioEngine::watchTool(UniqueHandle& process, std::atomic<int>& watching)
{
    UniqueHandle own(process.release());
    watching = 1;
    if (own)
        WaitForSingleObject(own.get(), INFINITE);
}
