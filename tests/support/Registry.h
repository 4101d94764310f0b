// The program's settings in the registry of the current user, read and
// written directly with the registry API, independent of the program's own
// code.
#pragma once

#include <windows.h>

#include <string>

namespace qxsupport {

// HKCU subkey of the settings.
extern const wchar_t* const kSettingsKey;
// The fifteen settings values, in the program's saving order.
extern const wchar_t* const kSettingNames[15];

// Deletes the settings key with every value.
void clearSettings();
// A REG_DWORD setting (0 to 0xFFFFFFFF), or -1 when missing or not a
// 4-byte DWORD.
long long readSettingValue(const wchar_t* name);
void writeSettingValue(const wchar_t* name, DWORD value);
// A REG_SZ setting.
void writeSettingText(const wchar_t* name, const std::wstring& text);
// How many values the key holds (0 when the key is missing).
int settingValueCount();

}  // namespace qxsupport
