#include "EngineHarness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace qxtest {

// ---------------------------------------------------------------------------

TestUi::TestUi()
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
    WAVEFORMATEX format = AudioEngine::waveFormat(rate_);
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
