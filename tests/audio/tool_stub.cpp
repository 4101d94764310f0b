// A harmless stand-in for an external tool: it appends its own path and
// command line to the file named by QX_TOOL_LOG, then waits until the event
// "QxToolStubQuit" is set (or a minute has passed) and ends.
#include <windows.h>

#include <cstdio>

extern "C" int wmain()
{
    wchar_t log[MAX_PATH];
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (GetEnvironmentVariableW(L"QX_TOOL_LOG", log, MAX_PATH) > 0) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            wchar_t line[2 * MAX_PATH + 64];
            const int n = swprintf(line, sizeof(line) / sizeof(line[0]), L"%ls|%ls\n", self,
                                   GetCommandLineW());
            DWORD written = 0;
            WriteFile(file, line, static_cast<DWORD>(n * sizeof(wchar_t)), &written, nullptr);
            CloseHandle(file);
        }
    }
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, L"QxToolStubQuit");
    WaitForSingleObject(quit, 60000);
    CloseHandle(quit);
    return 0;
}
