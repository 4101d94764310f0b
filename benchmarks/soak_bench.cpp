// The real qx700.exe for MINUTES minutes (60 unless told), driven from
// outside as a user drives it, to see what it holds on to over time.
//
//   soak_bench.exe [MINUTES]      (scripts/bench soak [MINUTES])
//
// How it works
// - Every minute, in turn at 48000 Hz / 16384 samples and 4000 Hz / 1024:
//   the measurement of the minute before is saved, opened again as the
//   Reference and its readouts copied; the Configuration window is opened,
//   the sampling switched, applied and the window closed; a Reference is
//   measured to the end and an Analysis runs for the rest of the minute.
// - At the start of every minute, and at the end: the program's kernel
//   handles (the system handle table; GetProcessHandleCount is a stub under
//   Wine), GDI objects (its GDI handle table, read from its memory;
//   GetGuiResources is a stub too), USER objects (its windows) and private
//   bytes (GetProcessMemoryInfo: PrivateUsage, or PagefileUsage, the same
//   commit charge, where Wine leaves the first 0). The handles are also
//   counted by object type, so a slope can be traced to its kind.
// - The yardstick: file_dialog_host.exe runs the program's own Save and Open
//   dialogs (fileDialog) and nothing else. Every minute its two dialogs are
//   answered as the program's are, and its handles are counted with the
//   program's. The system's file dialog may keep something per dialog (Wine
//   keeps a registry key open for each one answered with OK, in any
//   program); that part of the program's slope is the yardstick's, and the
//   rest, the program's own, is printed beside it.
// - Blocks lost: the "Lost N" of the status line, which counts from the
//   start of each run: the highest seen in a run, summed over the runs.
// - Gaps between blocks: the waveform view shows every block; its pixels are
//   looked at every 20 ms while a run measures, and the longest time without
//   a change is the largest gap (as the user sees it: block period plus the
//   window's delay). The start of a run, up to its first block, is not a gap.
// - Printed: one line per minute, then the least-squares slope of each
//   resource per hour over the samples after the fifth minute (0 when
//   nothing leaks), the blocks lost and the largest gap per sampling
//   setting. Figures only: the exit code is 0 when the program could be
//   driven throughout.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Driver.h"
#include "Handles.h"
#include "file_dialog_host.h"

using namespace drive;

namespace {

// Main window controls and commands, and the Configuration window's.
constexpr int kReference = 101, kAnalyze = 102, kConfig = 104, kWaveform = 116, kStatus = 169;
constexpr int kSave = 0x7100, kOpen = 0x7110, kCopyReadouts = 0x7120;
constexpr int kRateList = 103, kSizeList = 105, kApply = 135, kCancel = 139;

struct Sampling {
    int rate, size, rateIndex, sizeIndex;
};
constexpr Sampling kSamplings[2] = {{48000, 16384, 4, 4}, {4000, 1024, 0, 0}};

struct Sample {
    double minute;
    double handles, gdi, user, privateKb;
    std::map<std::wstring, int> handleTypes;
    double yardstickHandles;
};

// file_dialog_host.exe, started beside this program.
struct DialogHost {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    bool start()
    {
        wchar_t self[MAX_PATH];
        std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"file_dialog_host.exe";
        std::wstring commandLine = qxsupport::quoteArgument(path);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            return false;
        return waitFor(
            [&] {
                for (HWND w : qxsupport::topLevelWindows(process.dwProcessId, file_dialog_host::kWindowClass))
                    window = w;
                return window != nullptr;
            },
            20000);
    }

    // Saves as `path` and opens it again, as the program's dialogs are answered.
    bool saveAndOpen(const std::wstring& path)
    {
        DeleteFileW(path.c_str());
        PostMessageW(window, WM_COMMAND, file_dialog_host::kSaveDialog, 0);
        if (!answerFileDialog(process.dwProcessId, L"Save Measurement", path) ||
            !waitFor([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000))
            return false;
        PostMessageW(window, WM_COMMAND, file_dialog_host::kOpenDialog, 0);
        return answerFileDialog(process.dwProcessId, L"Open Reference", path) && answers(window, 10000);
    }

    void stop()
    {
        if (!process.hProcess)
            return;
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

struct Soak {
    Program program;
    HANDLE process = nullptr;
    DialogHost yardstick;
    std::map<int, HWND> controls;
    int lostTotal = 0;
    int lostInRun = 0;
    double largestGapMs[2] = {0, 0};
    int setting = 0;
    int unexpectedBoxes = 0;
    int failures = 0;

    HWND control(int id) { return controls[id]; }

    Sample sample(double minute)
    {
        PROCESS_MEMORY_COUNTERS_EX m{};
        m.cb = sizeof(m);
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof(m));
        return {minute, static_cast<double>(qxsupport::kernelHandleCount(program.processId())),
                static_cast<double>(qxsupport::gdiObjectCount(process)),
                static_cast<double>(qxsupport::windowCount(program.processId())),
                static_cast<double>(m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage) / 1024.0,
                qxsupport::kernelHandlesByType(program.processId()),
                static_cast<double>(qxsupport::kernelHandleCount(yardstick.process.dwProcessId))};
    }

    void failed(const char* what)
    {
        ++failures;
        std::printf("soak: %s\n", what);
        std::fflush(stdout);
    }

    // Any message box the program shows is answered (and counted).
    void dismissBoxes()
    {
        for (const MessageBoxInfo& b : messageBoxes(program.processId())) {
            if (b.text.empty())
                continue;  // a file dialog on its way out, not a message
            ++unexpectedBoxes;
            std::printf("soak: box \"%ls\": %ls\n", b.caption.c_str(), b.text.c_str());
            dismiss(b);
        }
    }

    int shownLost()
    {
        const std::wstring s = text(control(kStatus));
        const size_t at = s.find(L"Lost ");
        return at == std::wstring::npos ? 0 : _wtoi(s.c_str() + at + 5);
    }

    void endRun()
    {
        lostTotal += lostInRun;
        lostInRun = 0;
    }

    // Watches the running measurement until `until` (GetTickCount64) or
    // until done() holds: lost blocks from the status line, gaps from the
    // waveform view's pixels.
    template <class Done>
    bool watch(ULONGLONG until, Done done)
    {
        const RECT wave = screenRectOf(control(kWaveform));
        std::vector<COLORREF> last;
        double lastChange = -1.0;
        int polls = 0;
        while (GetTickCount64() < until) {
            if (done())
                return true;
            Sleep(20);
            const std::vector<COLORREF> now = capture(wave).colours();
            const double t = qxsupport::nowMs();
            if (!last.empty() && now != last) {
                if (lastChange >= 0)
                    largestGapMs[setting] = std::max(largestGapMs[setting], t - lastChange);
                lastChange = t;
            }
            last = now;
            if (++polls % 10 == 0) {
                lostInRun = std::max(lostInRun, shownLost());
                dismissBoxes();
            }
        }
        return false;
    }

    bool fileCommand(int id, const wchar_t* caption, const std::wstring& path)
    {
        PostMessageW(program.window(), WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
        return answerFileDialog(program.processId(), caption, path);
    }

    void saveOpenCopy(const std::wstring& path)
    {
        DeleteFileW(path.c_str());
        if (!fileCommand(kSave, L"Save Measurement", path) ||
            !waitFor([&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000))
            failed("the measurement was not saved");
        answers(program.window());
        if (!fileCommand(kOpen, L"Open Reference", path))
            failed("the measurement was not opened");
        answers(program.window());
        dismissBoxes();
        PostMessageW(program.window(), WM_SYSCOMMAND, kCopyReadouts, 0);
        answers(program.window());
    }

    void switchSampling(const Sampling& s)
    {
        DWORD_PTR r;
        SendMessageTimeoutW(control(kConfig), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
        HWND config = qxsupport::waitForTopLevel(program.processId(), L"P2GUIWindow",
                                                  L"Configuration", 10000);
        if (!config) {
            failed("the Configuration window did not open");
            return;
        }
        const std::pair<int, int> picks[] = {{kRateList, s.rateIndex}, {kSizeList, s.sizeIndex}};
        for (const auto& pick : picks) {
            HWND list = qxsupport::findDescendant(config, pick.first, L"ComboBox");
            SendMessageTimeoutW(list, CB_SHOWDROPDOWN, TRUE, 0, SMTO_NORMAL, 5000, &r);
            SendMessageTimeoutW(list, CB_SETCURSEL, pick.second, 0, SMTO_NORMAL, 5000, &r);
            SendMessageTimeoutW(list, CB_SHOWDROPDOWN, FALSE, 0, SMTO_NORMAL, 5000, &r);
            SendMessageTimeoutW(list, CB_SETCURSEL, pick.second, 0, SMTO_NORMAL, 5000, &r);
        }
        const int buttons[] = {kApply, kCancel};
        for (int id : buttons)
            SendMessageTimeoutW(qxsupport::findDescendant(config, id, L"Button"), BM_CLICK, 0, 0,
                                SMTO_NORMAL, 15000, &r);
        if (!waitFor([&] { return !IsWindow(config); }, 10000))
            failed("the Configuration window did not close");
        dismissBoxes();
    }
};

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y)
{
    const double n = static_cast<double>(x.size());
    if (n < 2)
        return 0.0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    const double perUnit = d == 0 ? 0.0 : (n * sxy - sx * sy) / d;
    // Rounding leaves a flat series a slope of the order of 1e-13 ("-0.0").
    return std::fabs(perUnit) < 1e-9 ? 0.0 : perUnit;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int minutes = argc > 1 ? std::max(1, _wtoi(argv[1])) : 60;
    settings::clear();
    settings::set(L"SampFrq", kSamplings[1].rate);
    settings::set(L"NumSamples", kSamplings[1].size);
    settings::set(L"IntLvl", 16);
    const DWORD limits[] = {100, 300, 700, 1500};  // within half of either rate
    const wchar_t* names[] = {L"Filter0", L"Filter1", L"Filter2", L"Filter3"};
    for (int k = 0; k < 4; ++k)
        settings::set(names[k], limits[k]);
    if (!feed({"sine 1000 0.3", "noise 0.05"}))
        std::printf("soak: the microphone does not hear the feeder\n");

    Soak soak;
    if (!soak.program.start()) {
        std::printf("soak: qx700.exe did not start\n");
        return 1;
    }
    soak.process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                               soak.program.processId());
    soak.controls = children(soak.program.window());
    if (!soak.yardstick.start())
        soak.failed("file_dialog_host.exe did not start");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"qx-soak.csv";
    const std::wstring yardstickFile = std::wstring(temp) + L"qx-soak-yardstick.csv";

    std::vector<Sample> samples;
    std::printf("soak: %d minutes, alternately %d Hz / %d and %d Hz / %d\n", minutes,
                kSamplings[0].rate, kSamplings[0].size, kSamplings[1].rate, kSamplings[1].size);
    std::printf("minute  handles  gdi  user  private_kb  lost  largest_gap_ms  yardstick_handles\n");
    const ULONGLONG start = GetTickCount64();
    for (int minute = 0; minute < minutes && soak.program.running(); ++minute) {
        const Sample s = soak.sample(minute);
        samples.push_back(s);
        std::printf("%6d  %7.0f  %3.0f  %4.0f  %10.0f  %4d  %6.0f / %.0f  %5.0f\n", minute, s.handles,
                    s.gdi, s.user, s.privateKb, soak.lostTotal, soak.largestGapMs[0],
                    soak.largestGapMs[1], s.yardstickHandles);
        std::fflush(stdout);
        const ULONGLONG end = start + 60000ULL * (minute + 1);
        if (minute > 0) {
            soak.saveOpenCopy(file);
            if (!soak.yardstick.saveAndOpen(yardstickFile))
                soak.failed("the yardstick's file dialogs were not answered");
        }
        soak.setting = minute % 2;
        soak.switchSampling(kSamplings[soak.setting]);
        click(soak.control(kReference));
        if (!soak.watch(end, [&] { return IsWindowEnabled(soak.control(kAnalyze)) != 0; }))
            soak.failed("the Reference did not come to its end within the minute");
        soak.endRun();
        click(soak.control(kAnalyze));
        soak.watch(end, [] { return false; });
        soak.endRun();
    }
    const Sample last = soak.sample(minutes);
    samples.push_back(last);
    std::printf("%6d  %7.0f  %3.0f  %4.0f  %10.0f  %4d  %6.0f / %.0f  %5.0f\n", minutes, last.handles,
                last.gdi, last.user, last.privateKb, soak.lostTotal, soak.largestGapMs[0],
                soak.largestGapMs[1], last.yardstickHandles);

    std::vector<double> x, handles, gdi, user, privateKb, yardstick, own;
    for (const Sample& s : samples) {
        if (s.minute < 5)
            continue;
        x.push_back(s.minute / 60.0);
        handles.push_back(s.handles);
        gdi.push_back(s.gdi);
        user.push_back(s.user);
        privateKb.push_back(s.privateKb);
        yardstick.push_back(s.yardstickHandles);
        own.push_back(s.handles - s.yardstickHandles);
    }
    std::printf("soak: slope per hour after minute 5 (%zu samples): handles %+.1f, GDI objects %+.1f, "
                "USER objects %+.1f, private bytes %+.0f KB\n",
                x.size(), slope(x, handles), slope(x, gdi), slope(x, user), slope(x, privateKb));
    std::printf("soak: handles slope per hour after minute 5: the file dialogs alone "
                "(file_dialog_host.exe) %+.1f, the program less them %+.1f\n",
                slope(x, yardstick), slope(x, own));
    // Which kinds of handle the slope is made of.
    std::map<std::wstring, int> types;
    for (const Sample& s : samples)
        for (const auto& t : s.handleTypes)
            types[t.first] = 0;
    std::printf("soak: handles by type, slope per hour after minute 5:");
    for (const auto& t : types) {
        std::vector<double> y;
        for (const Sample& s : samples)
            if (s.minute >= 5) {
                const auto n = s.handleTypes.find(t.first);
                y.push_back(n == s.handleTypes.end() ? 0.0 : n->second);
            }
        const double perHour = slope(x, y);
        if (perHour > 0.05 || perHour < -0.05)
            std::printf(" %ls %+.1f", t.first.c_str(), perHour);
    }
    std::printf("\n");
    std::printf("soak: blocks lost %d\n", soak.lostTotal);
    for (int i = 0; i < 2; ++i)
        std::printf("soak: largest gap between blocks at %d Hz / %d: %.0f ms (a block is %.0f ms)\n",
                    kSamplings[i].rate, kSamplings[i].size, soak.largestGapMs[i],
                    1000.0 * kSamplings[i].size / kSamplings[i].rate);
    std::printf("soak: message boxes answered %d, failures %d\n", soak.unexpectedBoxes, soak.failures);
    soak.program.close();
    soak.program.waitExit(35000);
    soak.yardstick.stop();
    CloseHandle(soak.process);
    DeleteFileW(file.c_str());
    DeleteFileW(yardstickFile.c_str());
    settings::clear();
    return soak.failures == 0 && soak.unexpectedBoxes == 0 ? 0 : 1;
}
