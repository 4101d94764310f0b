#include "Handles.h"

#include <winternl.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace qxsupport {

namespace {

struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR handleAttributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};

struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

namespace {

// Every entry of the system handle table that belongs to the process, or
// false when the table cannot be read.
bool handlesOf(DWORD pid, std::vector<HandleEntry>& out)
{
    static const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return false;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 16; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(needed > buffer.size() ? needed + 65536 : buffer.size() * 2);
            continue;
        }
        if (status != 0)
            return false;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        out.clear();
        for (ULONG i = 0; i < table->count; ++i)
            if (table->entries[i].processId == static_cast<USHORT>(pid))
                out.push_back(table->entries[i]);
        return true;
    }
    return false;
}

// The name of an object type ("Key", "Event", ...), through a copy of one of
// the process's handles of that type.
std::wstring typeName(HANDLE process, USHORT handle)
{
    using QueryObject = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    HANDLE mine = nullptr;
    if (!query || !DuplicateHandle(process, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)),
                                   GetCurrentProcess(), &mine, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return std::wstring();
    alignas(8) unsigned char buffer[1024] = {};
    std::wstring name;
    if (query(mine, 2, buffer, sizeof(buffer), nullptr) == 0) {  // ObjectTypeInformation
        const auto* s = reinterpret_cast<const UNICODE_STRING*>(buffer);
        name.assign(s->Buffer, s->Length / sizeof(wchar_t));
    }
    CloseHandle(mine);
    return name;
}

}  // namespace

int kernelHandleCount(DWORD pid)
{
    std::vector<HandleEntry> handles;
    return handlesOf(pid, handles) ? static_cast<int>(handles.size()) : -1;
}

std::map<std::wstring, int> kernelHandlesByType(DWORD pid)
{
    std::map<std::wstring, int> counts;
    std::vector<HandleEntry> handles;
    HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
    if (!process || !handlesOf(pid, handles)) {
        if (process)
            CloseHandle(process);
        return counts;
    }
    std::map<int, std::wstring> names;
    for (const HandleEntry& h : handles) {
        auto known = names.find(h.objectTypeIndex);
        if (known == names.end())
            known = names.emplace(h.objectTypeIndex, typeName(process, h.handleValue)).first;
        ++counts[known->second.empty() ? L"type " + std::to_wstring(h.objectTypeIndex) : known->second];
    }
    CloseHandle(process);
    return counts;
}

namespace {

// One entry of the GDI handle table (24 bytes): object, owner, unique, type,
// flags, user pointer.
struct GdiEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(GdiEntry) == 24, "GDI handle table entry");
constexpr int kGdiEntries = 0x10000;
constexpr size_t kPebTableOffset = 0xF8;  // PEB.GdiSharedHandleTable on x86-64

int liveEntries(const GdiEntry* table)
{
    int live = 0;
    for (int i = 0; i < kGdiEntries; ++i)
        if (table[i].type != 0)
            ++live;
    return live;
}

}  // namespace

int gdiObjectCount()
{
    const unsigned char* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
    const GdiEntry* table = *reinterpret_cast<const GdiEntry* const*>(peb + kPebTableOffset);
    return table ? liveEntries(table) : -1;
}

int gdiObjectCount(HANDLE process)
{
    struct BasicInformation {
        LONG exitStatus;
        PVOID peb;
        ULONG_PTR affinity;
        LONG basePriority;
        ULONG_PTR processId;
        ULONG_PTR parentId;
    } info{};
    using QueryProcess = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || query(process, 0, &info, sizeof(info), nullptr) != 0 || !info.peb)
        return -1;
    uint64_t tableAddress = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, static_cast<const char*>(info.peb) + kPebTableOffset,
                           &tableAddress, sizeof(tableAddress), &read) || !tableAddress)
        return -1;
    std::vector<GdiEntry> table(kGdiEntries);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(tableAddress), table.data(),
                           table.size() * sizeof(GdiEntry), &read) ||
        read != table.size() * sizeof(GdiEntry))
        return -1;
    return liveEntries(table.data());
}

int gdiProbeIndex()
{
    // More probes than the table can have free below its high-water mark: the
    // last of them comes from fresh slots, so its index is the number of live
    // objects plus the probes, whatever order freed slots are handed out in.
    constexpr int kProbes = 3000;
    std::vector<HBRUSH> probes;
    probes.reserve(kProbes);
    int highest = 0;
    for (int i = 0; i < kProbes; ++i) {
        HBRUSH b = CreateSolidBrush(RGB(i & 0xFF, 1, 2));
        if (!b)
            break;
        probes.push_back(b);
        const int index = static_cast<int>(reinterpret_cast<uintptr_t>(b) & 0xFFFF);
        if (index > highest)
            highest = index;
    }
    for (HBRUSH b : probes)
        DeleteObject(b);
    return highest;
}

namespace {

BOOL CALLBACK countDescendant(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK countWindowsOf(HWND window, LPARAM param)
{
    auto* q = reinterpret_cast<std::pair<DWORD, int>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == q->first) {
        ++q->second;
        EnumChildWindows(window, countDescendant, reinterpret_cast<LPARAM>(&q->second));
    }
    return TRUE;
}

}  // namespace

int windowCount(DWORD pid)
{
    std::pair<DWORD, int> q{pid, 0};
    EnumWindows(countWindowsOf, reinterpret_cast<LPARAM>(&q));
    return q.second;
}

}  // namespace qxsupport
