#include "app/FrameLock.h"

#include <new>

#ifdef _WIN32
#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "FrameLock storage too small");

static CRITICAL_SECTION* section(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

FrameLock::FrameLock() { InitializeCriticalSection(section(storage_)); }
FrameLock::~FrameLock() { DeleteCriticalSection(section(storage_)); }
void FrameLock::enter() { EnterCriticalSection(section(storage_)); }
void FrameLock::leave() { LeaveCriticalSection(section(storage_)); }

#else
#include <mutex>

static_assert(sizeof(std::mutex) <= 64, "FrameLock storage too small");

static std::mutex* mutexOf(unsigned char* storage)
{
    return std::launder(reinterpret_cast<std::mutex*>(storage));
}

FrameLock::FrameLock() { new (storage_) std::mutex(); }
FrameLock::~FrameLock() { mutexOf(storage_)->~mutex(); }
void FrameLock::enter() { mutexOf(storage_)->lock(); }
void FrameLock::leave() { mutexOf(storage_)->unlock(); }
#endif
