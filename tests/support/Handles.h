// Counting what a process holds, for the leak tests.
//
// How it works
// - Kernel handles: the system handle table (NtQuerySystemInformation, class
//   16) filtered by process id; GetProcessHandleCount is a stub under Wine.
// - GDI objects of a process, exactly: Wine keeps its GDI handle table in
//   process memory, published in the PEB like Windows' own, and a freed
//   entry has type 0 (GetGuiResources is a stub under Wine); another
//   process's table is read with ReadProcessMemory.
// - GDI objects, by probing: a burst of fresh probe objects uses up the free
//   slots of the table and runs into new ones, so the highest slot index it
//   reaches is the number of live objects plus the burst: it moves one for
//   one with the objects the process holds.
// - Windows: the process's top-level windows and all their descendants.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace qxsupport {

// Kernel handles the process holds; -1 when the table cannot be read.
int kernelHandleCount(DWORD pid = GetCurrentProcessId());
// The same by object type ("Key", "Event", "Thread", ...); empty when the
// table cannot be read.
std::map<std::wstring, int> kernelHandlesByType(DWORD pid);
// Live GDI objects of this process; -1 when it cannot be known.
int gdiObjectCount();
// The same for another process, read from its memory (PROCESS_VM_READ and
// PROCESS_QUERY_INFORMATION).
int gdiObjectCount(HANDLE process);
// Highest GDI table slot reached by a burst of fresh probe objects.
int gdiProbeIndex();
// Windows (top-level and all their descendants) that a process owns.
int windowCount(DWORD pid);

}  // namespace qxsupport
