// The owners of foundation/Owned.h and the thread policy of foundation/Threads.h, on real
// kernel, GDI, COM, memory and accelerator objects: what "empty" means, who
// closes a handle (once, and never a moved-from owner), and how a join ends
// for a thread that ends and for one that does not.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

#include "foundation/Owned.h"
#include "foundation/Threads.h"

namespace {

// True while the process holds h open.
bool isOpen(HANDLE h)
{
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

TEST(UniqueHandle, NullAndInvalidHandleValueAreBothEmpty)
{
    UniqueHandle none;
    EXPECT_FALSE(none.valid());
    EXPECT_FALSE(static_cast<bool>(none));
    UniqueHandle invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.valid());
    EXPECT_EQ(invalid.get(), nullptr) << "one empty value, whatever the system answered";
    invalid.reset(INVALID_HANDLE_VALUE);
    EXPECT_EQ(invalid.get(), nullptr);
    // A failed CreateFile answers INVALID_HANDLE_VALUE: the owner is empty.
    UniqueHandle file(CreateFileW(L"C:\\no-such-folder-qx\\file.txt", GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file);
}

TEST(UniqueHandle, ClosesOnResetAndOnItsEndButNotAfterRelease)
{
    HANDLE first;
    HANDLE second;
    {
        UniqueHandle event = createEvent(true, false);
        ASSERT_TRUE(event.valid());
        first = event.get();
        EXPECT_TRUE(isOpen(first));
        event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        EXPECT_FALSE(isOpen(first)) << "reset closes what was held";
        second = event.get();
        EXPECT_TRUE(isOpen(second));
    }
    EXPECT_FALSE(isOpen(second)) << "the owner's end closes it";

    UniqueHandle kept = createEvent(false, false);
    const HANDLE raw = kept.release();
    EXPECT_FALSE(kept.valid());
    EXPECT_TRUE(isOpen(raw)) << "released: the caller owns it now";
    CloseHandle(raw);
}

TEST(UniqueHandle, MovesHandOwnershipOver)
{
    UniqueHandle a = createEvent(true, true);
    const HANDLE h = a.get();
    UniqueHandle b(std::move(a));
    EXPECT_FALSE(a.valid());
    EXPECT_EQ(b.get(), h);
    UniqueHandle c = createEvent(true, false);
    const HANDLE replaced = c.get();
    c = std::move(b);
    EXPECT_FALSE(isOpen(replaced)) << "the target's own handle is closed";
    EXPECT_EQ(c.get(), h);
    EXPECT_EQ(WaitForSingleObject(c.get(), 0), WAIT_OBJECT_0) << "the event made set";
}

TEST(RegistryKey, ReceivesAKeyAndClosesIt)
{
    RegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.receive()),
              ERROR_SUCCESS);
    EXPECT_TRUE(key.valid());
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    key.reset();
    EXPECT_FALSE(key.valid());
}

TEST(GdiObject, DeletesTheObjectItHolds)
{
    HBRUSH raw;
    {
        GdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
        ASSERT_TRUE(brush.valid());
        raw = brush.get();
        EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_BRUSH));
    }
    EXPECT_EQ(GetObjectType(raw), 0u) << "deleted with its owner";
}

TEST(ComPtr, ReleasesItsOneReferenceOnceWhereverItWasMoved)
{
    IStream* raw = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &raw), S_OK);
    raw->AddRef();  // the test's own reference, so the object outlives the owners
    {
        ComPtr<IStream> a(raw);
        ComPtr<IStream> b(std::move(a));
        ComPtr<IStream> c;
        c = std::move(b);
        EXPECT_FALSE(a);
        EXPECT_FALSE(b);
        EXPECT_EQ(c.get(), raw);
        STATSTG stat{};
        EXPECT_EQ(c->Stat(&stat, STATFLAG_NONAME), S_OK);
    }
    EXPECT_EQ(raw->Release(), 0u) << "the owners gave back exactly one reference";
}

TEST(ComScope, UninitialisesOnlyWhatItInitialised)
{
    // On a thread of its own, which starts without COM.
    HRESULT first = E_FAIL, second = E_FAIL, inside = E_FAIL, after = E_FAIL;
    std::thread([&] {
        {
            const ComScope apartment;
            first = apartment.result();
            {
                const ComScope other(COINIT_MULTITHREADED);
                second = other.result();
            }
            // Still the apartment: initialising it again only counts.
            inside = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            CoUninitialize();
        }
        after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(after))
            CoUninitialize();
    }).join();
    EXPECT_EQ(first, S_OK);
    EXPECT_EQ(second, RPC_E_CHANGED_MODE);
    EXPECT_EQ(inside, S_FALSE) << "the failed scope left the apartment alone";
    EXPECT_EQ(after, S_OK) << "COM was left at the scope's end";
}

// Moving is the common owner's, tested with UniqueHandle above; what differs
// from owner to owner is how the value is freed.
TEST(GlobalMemory, FreesOnceAndNotAfterRelease)
{
    HGLOBAL raw;
    {
        GlobalMemory a(GlobalAlloc(GMEM_MOVEABLE, 64));
        ASSERT_TRUE(a);
        raw = a.get();
        EXPECT_EQ(GlobalSize(raw), 64u);
    }
    EXPECT_EQ(GlobalSize(raw), 0u) << "freed with its owner";

    GlobalMemory kept(GlobalAlloc(GMEM_MOVEABLE, 16));
    raw = kept.release();
    kept.reset();
    EXPECT_EQ(GlobalSize(raw), 16u) << "released: the caller owns it now";
    EXPECT_EQ(GlobalFree(raw), nullptr);
}

TEST(GlobalLockScope, LocksForTheScopeAndReportsAFailedLock)
{
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, 8));
    ASSERT_TRUE(block);
    {
        const GlobalLockScope locked(block.get());
        ASSERT_TRUE(locked);
        EXPECT_NE(locked.data(), nullptr);
        EXPECT_EQ(GlobalFlags(block.get()) & GMEM_LOCKCOUNT, 1u);
    }
    EXPECT_EQ(GlobalFlags(block.get()) & GMEM_LOCKCOUNT, 0u) << "unlocked at the scope's end";

    // A moveable block of no bytes is discarded: it cannot be locked.
    GlobalMemory discarded(GlobalAlloc(GMEM_MOVEABLE, 0));
    ASSERT_TRUE(discarded);
    for (HGLOBAL memory : {discarded.get(), static_cast<HGLOBAL>(nullptr)}) {
        const GlobalLockScope failed(memory);
        EXPECT_FALSE(failed);
        EXPECT_EQ(failed.data(), nullptr);
        EXPECT_NE(failed.error(), static_cast<DWORD>(ERROR_SUCCESS));
    }
}

TEST(AcceleratorTableOwner, DestroysTheTableOnce)
{
    ACCEL entry{FVIRTKEY | FCONTROL, 'S', 1};
    HACCEL raw;
    {
        AcceleratorTable a(CreateAcceleratorTableW(&entry, 1));
        ASSERT_TRUE(a);
        raw = a.get();
        EXPECT_EQ(CopyAcceleratorTableW(raw, nullptr, 0), 1);
    }
    EXPECT_FALSE(DestroyAcceleratorTable(raw)) << "already destroyed by its owner";
}

struct LockProbe {
    CriticalSection* section;
    HANDLE arrived;
    std::atomic<int> entered{0};
};

unsigned __stdcall enterAndNote(void* argument)
{
    auto* probe = static_cast<LockProbe*>(argument);
    SetEvent(probe->arrived);
    ScopedLock hold(*probe->section);
    probe->entered.store(1);
    return 0;
}

TEST(CriticalSection, ScopedLockHoldsItForTheScope)
{
    CriticalSection section;
    UniqueHandle arrived = createEvent(true, false);
    LockProbe probe{&section, arrived.get()};
    UniqueHandle thread;
    {
        ScopedLock hold(section);
        thread = startThread(&enterAndNote, &probe);
        ASSERT_TRUE(thread.valid());
        ResumeThread(thread.get());
        ASSERT_EQ(WaitForSingleObject(arrived.get(), 30000), WAIT_OBJECT_0);
        // However long it is given, the other thread cannot enter while this
        // scope holds the lock.
        EXPECT_EQ(joinThread(thread, 200), JoinResult::Abandoned);
        EXPECT_EQ(probe.entered.load(), 0);
    }
    EXPECT_EQ(joinThread(thread, 30000), JoinResult::Joined);
    EXPECT_EQ(probe.entered.load(), 1);
}

unsigned __stdcall waitForEvent(void* event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 7;
}

TEST(JoinThread, AThreadPastItsLimitIsAbandonedWithItsHandleKept)
{
    UniqueHandle release = createEvent(true, false);
    DWORD id = 0;
    UniqueHandle thread = startThread(&waitForEvent, release.get(), &id);
    ASSERT_TRUE(thread.valid());
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(threadRunning(thread)) << "made suspended: not ended";
    ResumeThread(thread.get());

    EXPECT_EQ(joinThread(thread, 0), JoinResult::Abandoned);
    EXPECT_TRUE(thread.valid()) << "the handle stays, to ask about the thread";
    EXPECT_TRUE(threadRunning(thread));

    SetEvent(release.get());
    const HANDLE raw = thread.get();
    DWORD code = 0;
    ASSERT_EQ(WaitForSingleObject(raw, 30000), WAIT_OBJECT_0);
    EXPECT_FALSE(threadRunning(thread));
    ASSERT_TRUE(GetExitCodeThread(raw, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(joinThread(thread, 0), JoinResult::Joined);
    EXPECT_FALSE(thread.valid()) << "a joined thread's handle is closed";
    EXPECT_EQ(joinThread(thread, 0), JoinResult::Joined) << "no thread: nothing to wait for";
    EXPECT_FALSE(threadRunning(thread));
}

}  // namespace
