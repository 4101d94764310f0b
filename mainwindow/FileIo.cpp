#include "mainwindow/FileIo.h"

#include <commdlg.h>

#include <vector>

#include "foundation/Owned.h"
#include "foundation/SystemError.h"

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
    UniqueHandle f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        reason = systemErrorText(GetLastError());
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
        DWORD written = 0;
        ok = WriteFile(f.get(), bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    if (ok)
        ok = FlushFileBuffers(f.get()) != 0;
    DWORD error = ok ? 0 : GetLastError();
    f.reset();
    if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        reason = systemErrorText(error ? error : ERROR_WRITE_FAULT);
    }
    return ok;
}

bool readWholeFile(const std::wstring& path, std::string& bytes, std::wstring& reason, size_t limit)
{
    UniqueHandle f(CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        reason = systemErrorText(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size)) {
        reason = systemErrorText(GetLastError());
        return false;
    }
    const LONGLONG most = static_cast<LONGLONG>(limit);
    bytes.assign(static_cast<size_t>(size.QuadPart < most ? size.QuadPart : most), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(f.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
            reason = systemErrorText(GetLastError());
            return false;
        }
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

std::string utf8(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n, nullptr,
                            nullptr);
    return out;
}

std::wstring wide(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}


std::wstring fileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}


// Runs the standard dialog; the chosen path, or empty when cancelled.
std::wstring fileDialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const wchar_t* extension, const std::wstring& initialName)
{
    std::vector<wchar_t> buffer(32768, L'\0');
    initialName.copy(buffer.data(), buffer.size() - 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = extension;
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return chosen ? std::wstring(buffer.data()) : std::wstring();
}
