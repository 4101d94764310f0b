// Owned: owners of the system's handles and locks. Each owner frees what it
// holds when it goes; none can be copied; all but the critical section can be
// moved (a critical section lives at one address for its whole life).
//
// - UniqueHandle: a kernel handle (event, thread, process). Null and
//   INVALID_HANDLE_VALUE both mean "none": whichever one a system function
//   answers a failure with, the owner is empty, and nothing outside it asks
//   which. valid() (or the bool conversion) is the one test for "has one".
// - createEvent(manualReset, initiallySet): an unnamed event in a UniqueHandle.
// - CriticalSection with ScopedLock: a lock, and holding it for one scope.
// - GdiObject<T>: a pen, brush, font, bitmap or region, deleted with
//   DeleteObject.
// - MemoryDc: a memory device context, deleted with DeleteDC.
// - RegistryKey: an open registry key, closed with RegCloseKey.
// - ScreenDc: the screen's device context, released with ReleaseDC.
//
// A thread's handle is a UniqueHandle too; how threads start and end is in
// foundation/Threads.h.
#pragma once

#include <windows.h>

#include <mutex>

// The common part of the owners of one value: what "none" is, how a value is
// freed. Traits gives Value, empty(), isEmpty(value) and free(value).
template <class Traits>
class UniqueOwner {
public:
    using Value = typename Traits::Value;

    UniqueOwner() = default;
    explicit UniqueOwner(Value value) : value_(normal(value)) {}
    ~UniqueOwner() { reset(); }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : value_(other.release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Value get() const { return value_; }
    bool valid() const { return !Traits::isEmpty(value_); }
    explicit operator bool() const { return valid(); }

    // Frees the value held (if any) and holds `value` instead.
    void reset(Value value = Traits::empty())
    {
        const Value old = value_;
        value_ = normal(value);
        if (!Traits::isEmpty(old))
            Traits::free(old);
    }
    // Gives the value up without freeing it: the caller owns it now.
    Value release()
    {
        const Value value = value_;
        value_ = Traits::empty();
        return value;
    }
    // For a system function that answers with the value through a pointer:
    // frees what is held and lends the empty slot.
    Value* receive()
    {
        reset();
        return &value_;
    }

private:
    static Value normal(Value value) { return Traits::isEmpty(value) ? Traits::empty() : value; }

    Value value_ = Traits::empty();
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static HANDLE empty() { return nullptr; }
    static bool isEmpty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static void free(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueOwner<KernelHandleTraits>;

// An unnamed event; empty when the system refused one.
inline UniqueHandle createEvent(bool manualReset, bool initiallySet)
{
    return UniqueHandle(CreateEventW(nullptr, manualReset ? TRUE : FALSE,
                                     initiallySet ? TRUE : FALSE, nullptr));
}

template <class T>
struct GdiObjectTraits {
    using Value = T;
    static T empty() { return nullptr; }
    static bool isEmpty(T object) { return object == nullptr; }
    static void free(T object) { DeleteObject(object); }
};
template <class T>
using GdiObject = UniqueOwner<GdiObjectTraits<T>>;

struct MemoryDcTraits {
    using Value = HDC;
    static HDC empty() { return nullptr; }
    static bool isEmpty(HDC dc) { return dc == nullptr; }
    static void free(HDC dc) { DeleteDC(dc); }
};
// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
using MemoryDc = UniqueOwner<MemoryDcTraits>;

struct RegistryKeyTraits {
    using Value = HKEY;
    static HKEY empty() { return nullptr; }
    static bool isEmpty(HKEY key) { return key == nullptr; }
    static void free(HKEY key) { RegCloseKey(key); }
};
using RegistryKey = UniqueOwner<RegistryKeyTraits>;

// The device context of the whole screen, for as long as the owner lives.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a CriticalSection from its construction to the end of its scope.
using ScopedLock = std::lock_guard<CriticalSection>;
