#include "foundation/DisplayHandover.h"

#include <cstring>

int publishDisplayBuffer(ParameterStore& store, FrameLock& lock, const DisplayBuffer& working,
                         int writeIndex, int n)
{
    if (n < 0)
        n = 0;
    if (n > MaxSamples)
        n = MaxSamples;
    const size_t sampleBytes = sizeof(float) * static_cast<size_t>(n);
    const size_t spectrumBytes = sizeof(float) * static_cast<size_t>(n / 2);

    FrameLockGuard hold(lock);
    store.set(Param::LatestBuffer, writeIndex);
    auto* buffers = store.pointer<DisplayBuffer*>(Param::DisplayBuffers);
    DisplayBuffer& target = buffers[writeIndex];
    for (int half = 0; half < 2; ++half) {
        std::memcpy(target.set[half].samples, working.set[half].samples, sampleBytes);
        std::memcpy(target.set[half].spectrum, working.set[half].spectrum, spectrumBytes);
    }
    int holdBins = working.maxHoldBins;
    holdBins = holdBins < 0 ? 0 : (holdBins > MaxBins ? MaxBins : holdBins);
    target.maxHoldBins = holdBins;
    if (holdBins > 0)
        std::memcpy(target.maxHold, working.maxHold, sizeof(float) * static_cast<size_t>(holdBins));
    int next = (writeIndex + 1) % 3;
    if (buffers[next].inUse.load(std::memory_order_acquire) != 0)
        next = (next + 1) % 3;
    store.set(Param::NewDisplayData, 0);
    return next;
}
