// FrameLock: the lock that guards the hand-over of display buffers between
// the capture thread and the user interface.
//
// On Windows it is a CriticalSection (foundation/Owned.h); in the native build
// (benchmarks, sanitizers) it is a std::mutex. The storage lives inside the
// object so the engine can keep it as a plain field and publish its address
// in the store; this header stays free of <windows.h> so the store and the
// analysis build natively too.
#pragma once

#include <cstddef>
#include <mutex>

class FrameLock {
public:
    FrameLock();
    ~FrameLock();
    FrameLock(const FrameLock&) = delete;
    FrameLock& operator=(const FrameLock&) = delete;

    void enter();
    void leave();
    // The same, under the names std::lock_guard uses.
    void lock() { enter(); }
    void unlock() { leave(); }

private:
    alignas(16) unsigned char storage_[64];
};

// Holds a FrameLock for the life of a scope.
using FrameLockGuard = std::lock_guard<FrameLock>;
