// Threads: how every thread of the program starts and ends.
//
// The one policy
// - startThread makes a thread suspended, in a UniqueHandle; its starter
//   resumes it once everything the thread uses is in place.
// - A thread is asked to end (an event, a command, a quit message) and then
//   joined with joinThread: a wait on the thread itself, with a limit, never
//   on an event the thread sets on its way out.
// - A thread that outlives its limit is abandoned: joinThread answers
//   Abandoned and leaves the handle open, so whether the thread still runs
//   can still be asked. The caller records it (AudioEngine's
//   abandonedThreads(), UiThread's abandonedThread()) and from then on frees
//   nothing the thread may still use: the object that owns the thread is
//   deliberately left to the end of the process (runProgram then deletes
//   none of the three long-lived objects).
// - The one thread never joined is a tool watcher: it is handed the process
//   handle it waits on and owns it, and touches nothing else, so nothing of
//   its starter can be freed under it. Closing its handle lets it go.
//
// Threads under this policy: the engine's worker, the capture and recycler
// threads of each capture run, the tool watchers, the UI thread.
#pragma once

#include <windows.h>
#include <process.h>

#include "foundation/Owned.h"

enum class JoinResult { Joined, Abandoned };

// A new thread running entry(argument), not yet resumed; empty when the
// system refused one.
inline UniqueHandle startThread(unsigned(__stdcall* entry)(void*), void* argument,
                                DWORD* threadId = nullptr)
{
    unsigned id = 0;
    UniqueHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, entry, argument, CREATE_SUSPENDED, &id)));
    if (threadId)
        *threadId = thread ? id : 0;
    return thread;
}

// Waits up to limitMs for the thread to end. Joined (and the handle closed)
// when it has ended, or when there is none; Abandoned when it still runs
// (or the wait failed): the handle stays as it was.
inline JoinResult joinThread(UniqueHandle& thread, DWORD limitMs)
{
    if (!thread)
        return JoinResult::Joined;
    if (WaitForSingleObject(thread.get(), limitMs) != WAIT_OBJECT_0)
        return JoinResult::Abandoned;
    thread.reset();
    return JoinResult::Joined;
}

// The thread has not ended yet (false when there is none).
inline bool threadRunning(const UniqueHandle& thread)
{
    DWORD code = 0;
    return thread && GetExitCodeThread(thread.get(), &code) && code == STILL_ACTIVE;
}
