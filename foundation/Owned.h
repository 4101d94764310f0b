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
// - WindowDc: a window's device context (GetDC), released with ReleaseDC;
//   ScreenDc: the same for the whole screen.
// - ComPtr<T>: a COM interface, released with Release() once.
// - ComScope: COM initialised on this thread (CoInitializeEx) for one scope,
//   uninitialised at its end when the initialisation succeeded.
// - GlobalMemory: a global memory block, freed with GlobalFree unless it has
//   been released (handed to the clipboard). GlobalLockScope: the block
//   locked for one scope; whether GlobalLock succeeded is asked of it.
// - AcceleratorTable: an accelerator table, destroyed with
//   DestroyAcceleratorTable.
//
// A thread's handle is a UniqueHandle too; how threads start and end is in
// foundation/Threads.h.
#pragma once

#include <windows.h>
#include <objbase.h>

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

// A handle whose "none" is null, freed by the system function Free.
template <class T, auto Free>
struct NullableTraits {
    using Value = T;
    static T empty() { return nullptr; }
    static bool isEmpty(T value) { return value == nullptr; }
    static void free(T value) { Free(value); }
};
using GlobalMemory = UniqueOwner<NullableTraits<HGLOBAL, &GlobalFree>>;
using AcceleratorTable = UniqueOwner<NullableTraits<HACCEL, &DestroyAcceleratorTable>>;

template <class T>
struct ComTraits {
    using Value = T*;
    static T* empty() { return nullptr; }
    static bool isEmpty(T* object) { return object == nullptr; }
    static void free(T* object) { object->Release(); }
};
// A COM interface pointer that holds one reference. receive() is the slot
// for a function that answers with an interface (cast to void** where asked).
template <class T>
class ComPtr : public UniqueOwner<ComTraits<T>> {
public:
    using UniqueOwner<ComTraits<T>>::UniqueOwner;
    T* operator->() const { return this->get(); }
};

// COM initialised for the calling thread for one scope. A failed
// initialisation (also RPC_E_CHANGED_MODE) is not undone at the end.
class ComScope {
public:
    explicit ComScope(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

// A window's device context (the screen's for a null window), released
// with ReleaseDC when the owner goes.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { reset(); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    WindowDc(WindowDc&& other) noexcept : window_(other.window_), dc_(other.dc_) { other.dc_ = nullptr; }
    WindowDc& operator=(WindowDc&& other) noexcept
    {
        if (this != &other) {
            reset();
            window_ = other.window_;
            dc_ = other.dc_;
            other.dc_ = nullptr;
        }
        return *this;
    }

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
    void reset()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
        dc_ = nullptr;
    }

private:
    HWND window_;
    HDC dc_;
};

// The device context of the whole screen, for as long as the owner lives.
class ScreenDc : public WindowDc {
public:
    ScreenDc() : WindowDc(nullptr) {}
};

// A global memory block locked for one scope. data() is null when the lock
// failed (a null or discarded block); error() then holds GetLastError().
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL memory)
        : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr),
          error_(data_ ? ERROR_SUCCESS : memory ? GetLastError() : ERROR_INVALID_HANDLE)
    {
        if (!data_ && error_ == ERROR_SUCCESS)
            error_ = ERROR_NOT_ENOUGH_MEMORY;
    }
    ~GlobalLockScope()
    {
        if (data_)
            GlobalUnlock(memory_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;

    void* data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }
    DWORD error() const { return error_; }

private:
    HGLOBAL memory_;
    void* data_;
    DWORD error_;
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
