#include "foundation/Settings.h"

#include <windows.h>

#include "foundation/Owned.h"

const wchar_t* const SettingsKey = L"SOFTWARE\\Tevra\\QX-700";

int readSetting(const wchar_t* name)
{
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG result = RegQueryValueExW(key.get(), name, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    // A larger value of another type fails with ERROR_MORE_DATA; a shorter
    // one succeeds with a smaller size. Both count as missing.
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value))
        return -1;
    return static_cast<int>(value);
}

bool writeSetting(const wchar_t* name, int value)
{
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD data = static_cast<DWORD>(value);
    return RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof(data)) == ERROR_SUCCESS;
}
