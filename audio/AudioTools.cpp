// AudioEngine: the external tools behind the two tool buttons (the volume
// control and the sound recorder).
//
// How it works
// - Each tool has a list of programs, tried in order from the tool
//   directory (the Windows system directory unless set): the classic
//   program first, then what Windows 10/11 and Wine have. A program is
//   started by its full path only, never by a bare name.
// - A started program is watched by a thread of its own, which is handed its
//   process handle and waits for it to end. While that watcher runs, the
//   button starts nothing: the tool runs once. The watcher touches nothing
//   of the engine, so the engine may go while a tool runs.
// - Nothing to start is not an error: the press does nothing.
#include "audio/AudioEngine.h"

#include <string>
#include <utility>

#include "foundation/Threads.h"

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
    toolDirectory_ = directory;
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
    toolPrograms_[tool] = programs;
    toolProgramCount_[tool] = count;
}

bool AudioEngine::toolRunning(int tool) const
{
    return tool >= 0 && tool <= 1 && threadRunning(toolWatchers_[tool]);
}

void AudioEngine::launchVolumeControl()
{
    launchTool(0);
}

void AudioEngine::launchRecorder()
{
    launchTool(1);
}

// Starts the first program of the tool's list that exists in the tool
// directory, by its full path only: a bare name would first find a program of
// that name in the current directory. Nothing happens while the watcher of an
// earlier copy still runs.
bool AudioEngine::launchTool(int tool)
{
    UniqueHandle& watcher = toolWatchers_[tool];
    if (threadRunning(watcher))
        return false;
    watcher.reset();

    std::wstring directory;
    if (toolDirectory_) {
        directory = toolDirectory_;
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
    for (int i = 0; i < toolProgramCount_[tool] && !started; ++i) {
        const ToolProgram& p = toolPrograms_[tool][i];
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

    // The watcher is handed the process handle and owns it from then on.
    watcher = startThread(&AudioEngine::toolWatcherEntry, started.get());
    if (!watcher) {
        // Unwatched, a second copy could be started later; it is better to
        // forget this one than to keep a handle nobody closes.
        return false;
    }
    started.release();
    ResumeThread(watcher.get());
    return true;
}

// Waits for the tool's process to end. It uses nothing of the engine, so the
// tool may outlive the engine.
unsigned __stdcall AudioEngine::toolWatcherEntry(void* process)
{
    const UniqueHandle own(static_cast<HANDLE>(process));
    WaitForSingleObject(own.get(), INFINITE);
    return 0;
}
