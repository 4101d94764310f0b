#include "Environment.h"

#include <windows.h>

#include <vector>

namespace qxsupport {

std::string environment(const char* name)
{
    std::vector<char> buffer(4096);
    DWORD n = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (n == 0 || n >= buffer.size())
        return std::string();
    return std::string(buffer.data(), n);
}

std::wstring widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::wstring windowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return widen(path);
    std::wstring w = L"Z:" + widen(path);
    for (auto& c : w)
        if (c == L'/')
            c = L'\\';
    return w;
}

std::wstring windowsPathFromEnv(const char* name)
{
    const std::string value = environment(name);
    return value.empty() ? std::wstring() : windowsPath(value);
}

std::wstring quoteArgument(const std::wstring& arg)
{
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += L'"';
        } else {
            out.append(backslashes, L'\\');
            out += c;
        }
        backslashes = 0;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

}  // namespace qxsupport
