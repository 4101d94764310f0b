#include "Registry.h"

namespace qxsupport {

const wchar_t* const kSettingsKey = L"SOFTWARE\\Tevra\\QX-700";
const wchar_t* const kSettingNames[15] = {
    L"SampFrq",    L"NumSamples", L"IntLvl",      L"Filter0",     L"Filter1",
    L"Filter2",    L"Filter3",    L"dbDiff",      L"backColor",   L"gridColor",
    L"refColor",   L"noiseColor", L"threshColor", L"filterColor", L"displaydb"};

void clearSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
}

long long readSettingValue(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return -1;
    return value;
}

namespace {

void writeValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

}  // namespace

void writeSettingValue(const wchar_t* name, DWORD value)
{
    writeValue(name, REG_DWORD, &value, sizeof value);
}

void writeSettingText(const wchar_t* name, const std::wstring& text)
{
    writeValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

int settingValueCount()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(values);
}

}  // namespace qxsupport
