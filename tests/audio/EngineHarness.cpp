#include "EngineHarness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Signal.h"
#include "app/Settings.h"

namespace qxtest {

// ---------------------------------------------------------------------------

TestUi::TestUi() : UiThread(GetModuleHandleW(nullptr))
{
    finished_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

TestUi::~TestUi()
{
    CloseHandle(finished_);
}

int TestUi::start()
{
    started = 1;
    if (startResult != 0)
        SetEvent(finished_);
    return startResult;
}

void TestUi::waitFinished()
{
    WaitForSingleObject(finished_, INFINITE);
}

void TestUi::stop()
{
    stopped = 1;
}

// ---------------------------------------------------------------------------

void ParamLog::parameterChanged(int id)
{
    if (onWrite)
        onWrite(id);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const int value = id < Param::Count ? store_.get(id) : 0;
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.push_back({id, value, now.QuadPart});
    if (id == Param::NewDisplayData && engine_) {
        const int64_t arrival = engine_->blockArrivalTicks();
        if (arrival > 0)
            latencies_.push_back(ticksToMs(now.QuadPart - arrival));
    }
}

std::vector<ParamLog::Entry> ParamLog::entries() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return entries_;
}

void ParamLog::clear()
{
    std::lock_guard<std::mutex> hold(mutex_);
    entries_.clear();
    latencies_.clear();
}

int ParamLog::count(int id) const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return static_cast<int>(
        std::count_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; }));
}

std::vector<int> ParamLog::values(int id) const
{
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<int> out;
    for (const Entry& e : entries_)
        if (e.id == id)
            out.push_back(e.value);
    return out;
}

std::vector<double> ParamLog::publishLatencies() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return latencies_;
}

// ---------------------------------------------------------------------------

EngineSession::EngineSession()
{
    store = std::make_unique<ParameterStore>();
    ui = std::make_unique<TestUi>();
    engine = std::make_unique<AudioEngine>();
    engine->attachStore(store.get());
    engine->attachUi(ui.get());
    log = std::make_unique<ParamLog>(*store, engine.get());
    store->addObserver(log.get());
}

EngineSession::~EngineSession()
{
    if (running_.load())
        finish();
    store->removeObserver(log.get());
    engine->attachStore(nullptr);
    engine->attachUi(nullptr);
    store->deleteGdiObjects();
    // The order of the entry function: store, UiThread, engine.
    store.reset();
    ui.reset();
    engine.reset();
}

void EngineSession::start()
{
    running_ = 1;
    runner_ = std::thread([this] {
        runResult = engine->run();
        runReturnedMs = nowMs();
    });
    waitUntil([this] { return ui->started.load() != 0; }, 10000);
    // run() creates its events before it starts the user interface.
}

bool EngineSession::finish(DWORD limitMs)
{
    if (!running_.load())
        return true;
    const double t0 = nowMs();
    ui->end();
    std::atomic<int> done{0};
    std::thread waiter([&] {
        runner_.join();
        done = 1;
    });
    const bool ok = waitUntil([&] { return done.load() != 0; }, limitMs, 2);
    runMs = nowMs() - t0;
    if (!ok) {
        // run() hangs: nothing sane can follow; leave the threads to the end
        // of the process so the failure is reported rather than a crash.
        waiter.detach();
        running_ = 0;
        return false;
    }
    waiter.join();
    running_ = 0;
    return true;
}

void EngineSession::command(int code)
{
    ui->notify(Notification(code));
}

bool EngineSession::commandDone(int code, DWORD limitMs)
{
    ui->notify(Notification(code));
    const unsigned ticket = engine->commandsIssued();
    return waitUntil(
        [&] { return static_cast<int>(engine->commandsCarriedOut() - ticket) >= 0; }, limitMs);
}

// ---------------------------------------------------------------------------

bool waitUntil(const std::function<bool()>& pred, DWORD limitMs, DWORD stepMs)
{
    const double end = nowMs() + limitMs;
    for (;;) {
        if (pred())
            return true;
        if (nowMs() >= end)
            return pred();
        Sleep(stepMs);
    }
}

double ticksToMs(int64_t ticks)
{
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    return static_cast<double>(ticks) / perMs;
}

double nowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return ticksToMs(now.QuadPart);
}

static std::string envVar(const char* name)
{
    char buffer[4096];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (n == 0 || n >= sizeof(buffer))
        return std::string();
    return std::string(buffer, n);
}

bool haveFeeder()
{
    return qxsupport::haveFeeder();
}

bool feed(const std::vector<std::string>& lines)
{
    return qxsupport::feedSignal(lines);
}

// Unix programs started from Wine give no process handle to wait on: the
// script writes its status into a file when it ends, and we poll for it.
int unixCommand(const std::string& command, std::string* output, DWORD limitMs)
{
    static std::atomic<int> serial{0};
    const int n = serial.fetch_add(1);
    char base[128];
    std::snprintf(base, sizeof(base), "/tmp/qx-audio-test-%lu-%d",
                  static_cast<unsigned long>(GetCurrentProcessId()), n);
    const std::string script = std::string(base) + ".sh";
    const std::string out = std::string(base) + ".out";
    const std::string done = std::string(base) + ".done";
    auto windowsPath = [](std::string p) {
        std::replace(p.begin(), p.end(), '/', '\\');
        return "Z:" + p;
    };
    {
        std::ofstream s(windowsPath(script), std::ios::trunc | std::ios::binary);
        s << "#!/bin/sh\n";
        s << "export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin\n";
        for (const char* v : {"PULSE_SERVER", "PULSE_CLIENTCONFIG", "XDG_RUNTIME_DIR", "HOME",
                              "QX_ENV", "QX_PRIVATE_PULSE_PID", "QX_PRIVATE_PULSE_START"}) {
            const std::string value = envVar(v);
            if (!value.empty())
                s << "export " << v << "='" << value << "'\n";
        }
        s << "( " << command << " ) >" << out << " 2>&1 </dev/null\n";
        s << "echo $? >" << done << ".tmp && mv " << done << ".tmp " << done << "\n";
    }
    std::wstring commandLine = L"/bin/sh " + std::wstring(script.begin(), script.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return -1;
    if (info.hProcess)
        CloseHandle(info.hProcess);
    if (info.hThread)
        CloseHandle(info.hThread);
    const std::string doneWin = windowsPath(done);
    int status = -1;
    if (waitUntil([&] { return GetFileAttributesA(doneWin.c_str()) != INVALID_FILE_ATTRIBUTES; },
                  limitMs, 10)) {
        std::ifstream d(doneWin);
        d >> status;
    }
    if (output) {
        std::ifstream o(windowsPath(out));
        std::stringstream text;
        text << o.rdbuf();
        *output = text.str();
    }
    DeleteFileA(windowsPath(script).c_str());
    DeleteFileA(windowsPath(out).c_str());
    DeleteFileA(doneWin.c_str());
    return status;
}

int kernelHandleCount()
{
    struct Entry {
        USHORT processId;
        USHORT creatorBackTraceIndex;
        UCHAR objectTypeIndex;
        UCHAR handleAttributes;
        USHORT handleValue;
        PVOID object;
        ULONG grantedAccess;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const Query query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // length mismatch
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status != 0)
            return -1;
        const auto* table = reinterpret_cast<const Table*>(buffer.data());
        const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
        int count = 0;
        for (ULONG i = 0; i < table->count; ++i)
            if (table->entries[i].processId == self)
                ++count;
        return count;
    }
    return -1;
}

static int forProcessesNamed(const wchar_t* name, bool terminate)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) != 0)
            continue;
        ++count;
        if (terminate) {
            HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            if (p) {
                TerminateProcess(p, 1);
                CloseHandle(p);
            }
        }
    }
    CloseHandle(snapshot);
    return count;
}

int processesNamed(const wchar_t* name)
{
    return forProcessesNamed(name, false);
}

int terminateProcessesNamed(const wchar_t* name)
{
    return forProcessesNamed(name, true);
}

void clearSettingsKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, SettingsKey);
}

int waveInDeviceByName(const wchar_t* name)
{
    const UINT n = waveInGetNumDevs();
    const size_t length = wcslen(name);
    for (UINT i = 0; i < n; ++i) {
        WAVEINCAPSW caps{};
        if (waveInGetDevCapsW(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR &&
            wcsncmp(caps.szPname, name, length) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// ---------------------------------------------------------------------------

WaveCapture::WaveCapture(int device, int rate) : device_(device), rate_(rate)
{
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

WaveCapture::~WaveCapture()
{
    stop();
    CloseHandle(event_);
}

void CALLBACK WaveCapture::callback(HWAVEIN, UINT msg, DWORD_PTR self, DWORD_PTR, DWORD_PTR)
{
    if (msg == WIM_DATA)
        SetEvent(reinterpret_cast<WaveCapture*>(self)->event_);
}

bool WaveCapture::start()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate_;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 2 * rate_;
    if (waveInOpen(&in_, static_cast<UINT>(device_), &format,
                   reinterpret_cast<DWORD_PTR>(&WaveCapture::callback),
                   reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        in_ = nullptr;
        return false;
    }
    for (int i = 0; i < Buffers; ++i) {
        data_[i].assign(BufferSamples, 0);
        headers_[i] = WAVEHDR{};
        headers_[i].lpData = reinterpret_cast<LPSTR>(data_[i].data());
        headers_[i].dwBufferLength = BufferSamples * 2;
        waveInPrepareHeader(in_, &headers_[i], sizeof(WAVEHDR));
        waveInAddBuffer(in_, &headers_[i], sizeof(WAVEHDR));
    }
    stop_ = 0;
    pump_ = std::thread([this] { pump(); });
    waveInStart(in_);
    return true;
}

void WaveCapture::pump()
{
    std::vector<double> offsets;  // buffer end time minus its sample position
    int next = 0;
    while (!stop_.load()) {
        WaitForSingleObject(event_, 50);
        while (headers_[next].dwFlags & WHDR_DONE) {
            const double t = nowMs();
            WAVEHDR& h = headers_[next];
            {
                std::lock_guard<std::mutex> hold(mutex_);
                const int16_t* p = data_[next].data();
                recorded_.insert(recorded_.end(), p, p + h.dwBytesRecorded / 2);
                offsets.push_back(t - 1000.0 * recorded_.size() / rate_);
                std::vector<double> sorted = offsets;
                std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
                firstSampleMs_ = sorted[sorted.size() / 2];
            }
            if (stop_.load())
                return;
            waveInUnprepareHeader(in_, &h, sizeof(WAVEHDR));
            h.dwFlags = 0;
            h.dwBytesRecorded = 0;
            waveInPrepareHeader(in_, &h, sizeof(WAVEHDR));
            waveInAddBuffer(in_, &h, sizeof(WAVEHDR));
            next = (next + 1) % Buffers;
        }
    }
}

void WaveCapture::stop()
{
    if (!in_)
        return;
    stop_ = 1;
    if (pump_.joinable())
        pump_.join();
    waveInReset(in_);
    for (auto& h : headers_)
        waveInUnprepareHeader(in_, &h, sizeof(WAVEHDR));
    waveInClose(in_);
    in_ = nullptr;
}

std::vector<int16_t> WaveCapture::samples() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return recorded_;
}

double WaveCapture::firstSampleMs() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return firstSampleMs_;
}

double toneAmplitude(const std::vector<int16_t>& samples, size_t from, size_t to, double freq,
                     int rate)
{
    if (to > samples.size())
        to = samples.size();
    if (to <= from)
        return 0.0;
    const double w = 2.0 * 3.14159265358979323846 * freq / rate;
    double re = 0.0, im = 0.0;
    for (size_t i = from; i < to; ++i) {
        re += samples[i] * std::cos(w * i);
        im -= samples[i] * std::sin(w * i);
    }
    const double length = static_cast<double>(to - from);
    return 2.0 * std::sqrt(re * re + im * im) / length / 32767.0;
}

}  // namespace qxtest
