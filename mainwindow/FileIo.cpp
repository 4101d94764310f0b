#include "mainwindow/FileIo.h"

std::wstring systemReason(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = n && text ? std::wstring(text, n) : std::wstring(L"Unknown error.");
    if (text)
        LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return reason + L" (error " + std::to_wstring(error) + L")";
}

std::wstring systemPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

bool writeFileAtomically(const std::wstring& path, const std::string& bytes, std::wstring& reason)
{
    const std::wstring target = systemPath(path);
    const std::wstring temp = systemPath(path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        reason = systemReason(GetLastError());
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
        DWORD written = 0;
        ok = WriteFile(f, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    if (ok)
        ok = FlushFileBuffers(f) != 0;
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(f);
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        reason = systemReason(error ? error : ERROR_WRITE_FAULT);
    }
    return ok;
}

bool readWholeFile(const std::wstring& path, std::string& bytes, std::wstring& reason, size_t limit)
{
    HANDLE f = CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        reason = systemReason(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f, &size)) {
        reason = systemReason(GetLastError());
        CloseHandle(f);
        return false;
    }
    const LONGLONG most = static_cast<LONGLONG>(limit);
    bytes.assign(static_cast<size_t>(size.QuadPart < most ? size.QuadPart : most), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(f, &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
            reason = systemReason(GetLastError());
            CloseHandle(f);
            return false;
        }
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    CloseHandle(f);
    return true;
}
