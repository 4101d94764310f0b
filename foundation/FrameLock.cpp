#include "foundation/FrameLock.h"

#include <new>

#ifdef _WIN32
#include "foundation/Owned.h"

static_assert(sizeof(CriticalSection) <= 64, "FrameLock storage too small");

static CriticalSection* section(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CriticalSection*>(storage));
}

FrameLock::FrameLock() { new (storage_) CriticalSection(); }
FrameLock::~FrameLock() { section(storage_)->~CriticalSection(); }
void FrameLock::enter() { section(storage_)->lock(); }
void FrameLock::leave() { section(storage_)->unlock(); }

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
