#include "BareLoop.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "Wait.h"
#include "audio/AudioEngine.h"

BareLoopResult bareCaptureAndPlayback(int rate, int samples, double seconds)
{
    BareLoopResult result;
    WAVEFORMATEX format = AudioEngine::waveFormat(rate);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWAVEIN in = nullptr;
    HWAVEOUT out = nullptr;
    if (waveInOpen(&in, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event), 0,
                   CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        CloseHandle(event);
        return result;
    }
    if (waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        waveInClose(in);
        CloseHandle(event);
        return result;
    }
    const DWORD bytes = static_cast<DWORD>(2 * samples);
    constexpr int Buffers = 5;
    const int playBuffers = AudioEngine::playbackBuffersFor(rate, samples);
    std::vector<std::vector<char>> data(Buffers + playBuffers, std::vector<char>(bytes));
    std::vector<WAVEHDR> recordHeaders(Buffers), playHeaders(playBuffers);
    for (int i = 0; i < Buffers; ++i) {
        recordHeaders[i].lpData = data[i].data();
        recordHeaders[i].dwBufferLength = bytes;
        waveInPrepareHeader(in, &recordHeaders[i], sizeof(WAVEHDR));
        waveInAddBuffer(in, &recordHeaders[i], sizeof(WAVEHDR));
    }
    for (int i = 0; i < playBuffers; ++i) {
        playHeaders[i].lpData = data[Buffers + i].data();
        playHeaders[i].dwBufferLength = bytes;
        waveOutPrepareHeader(out, &playHeaders[i], sizeof(WAVEHDR));
        playHeaders[i].dwFlags |= WHDR_DONE;  // free until written
    }
    std::atomic<int> stop{0}, received{0}, played{0};
    std::thread taker([&] {
        while (!stop.load()) {
            WaitForSingleObject(event, 100);
            for (WAVEHDR& h : recordHeaders) {
                if (!(h.dwFlags & WHDR_DONE))
                    continue;
                received.fetch_add(1);
                for (WAVEHDR& p : playHeaders) {
                    if (!(p.dwFlags & WHDR_DONE))
                        continue;
                    std::memcpy(p.lpData, h.lpData, h.dwBytesRecorded < bytes ? h.dwBytesRecorded : bytes);
                    p.dwFlags &= ~WHDR_DONE;
                    if (waveOutWrite(out, &p, sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
                        played.fetch_add(1);
                    break;
                }
                h.dwFlags &= ~WHDR_DONE;
                waveInAddBuffer(in, &h, sizeof(WAVEHDR));
            }
        }
    });
    waveInStart(in);
    Sleep(1000);  // past the start of the streams; not measured
    const int64_t cpu0 = qxsupport::processCpuTime();
    const double t0 = qxsupport::nowMs();
    const int received0 = received.load(), played0 = played.load();
    Sleep(static_cast<DWORD>(seconds * 1000));
    const int64_t cpu1 = qxsupport::processCpuTime();
    const double wall = qxsupport::nowMs() - t0;
    result.blocks = received.load() - received0;
    result.played = played.load() - played0;
    stop = 1;
    taker.join();
    waveInReset(in);
    waveOutReset(out);
    for (WAVEHDR& h : recordHeaders)
        waveInUnprepareHeader(in, &h, sizeof(WAVEHDR));
    for (WAVEHDR& h : playHeaders)
        waveOutUnprepareHeader(out, &h, sizeof(WAVEHDR));
    waveInClose(in);
    waveOutClose(out);
    CloseHandle(event);
    result.cpuShare = 100.0 * (cpu1 - cpu0) / 10000.0 / wall;
    return result;
}
