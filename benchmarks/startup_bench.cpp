// Start-up time: from starting a program to its first painted window, for
// the analyzer and for a minimal window program (minimal_window.exe) started
// the same way, as medians over several runs each, and their ratio.
//
// How it works
// - Each run starts the program with CreateProcess and polls every
//   millisecond for a visible top-level window of that process whose update
//   region is empty: the system has had it painted (BeginPaint/EndPaint
//   validate it), which is what the user sees as the window appearing.
// - Then the program is asked to close (WM_CLOSE to that window) and waited
//   for; one that does not end within 10 s is terminated.
// - The two programs take turns, one warm-up run each first (not counted),
//   so that whatever else the machine is doing hits both alike.
//
//   startup_bench.exe PROGRAM.exe [RUNS]
//
// prints one line per run and then
//   startup program_ms=... minimal_ms=... ratio=...
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Wait.h"
#include "WindowQuery.h"

namespace {

using namespace qxsupport;

// Milliseconds from CreateProcess to the first painted window, or a
// negative value when the program did not show one within 60 s.
double runOnce(const std::wstring& path)
{
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = nowMs();
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", path.c_str(), GetLastError());
        return -1.0;
    }
    // A visible top-level window (not owned by another) whose update region
    // is empty.
    HWND window = nullptr;
    const auto painted = [&] {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            return true;
        for (HWND w : topLevelWindows(process.dwProcessId, nullptr))
            if (IsWindowVisible(w) && !GetWindow(w, GW_OWNER) && !GetUpdateRect(w, nullptr, FALSE)) {
                window = w;
                return true;
            }
        return false;
    };
    const bool shown = waitFor(painted, 60000, 1) && window;
    const double elapsed = shown ? nowMs() - start : -1.0;
    if (window)
        PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

std::wstring besideThisProgram(const wchar_t* name)
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    const size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash + 1) + name;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: startup_bench PROGRAM.exe [RUNS]\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const std::wstring minimal = besideThisProgram(L"minimal_window.exe");
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 9;
    std::vector<double> programMs, minimalMs;
    for (int run = -1; run < runs; ++run) {
        const double p = runOnce(program);
        const double m = runOnce(minimal);
        if (p < 0.0 || m < 0.0) {
            std::printf("startup run %d failed (program %.1f ms, minimal %.1f ms)\n", run, p, m);
            return 1;
        }
        std::printf("startup run %d: program %.1f ms, minimal %.1f ms%s\n", run, p, m,
                    run < 0 ? " (warm-up, not counted)" : "");
        std::fflush(stdout);
        if (run >= 0) {
            programMs.push_back(p);
            minimalMs.push_back(m);
        }
    }
    const double p = median(programMs), m = median(minimalMs);
    std::printf("startup program_ms=%.1f minimal_ms=%.1f ratio=%.2f (medians of %d runs each)\n", p,
                m, p / m, runs);
    return 0;
}
