// Settings kept in the registry of the current user.
//
// Every value lives under HKEY_CURRENT_USER\SOFTWARE\Tevra\QX-700 as a
// REG_DWORD of 4 bytes. The key is opened and closed anew for every single
// value, so no registry handle survives between calls.
#pragma once

// HKEY_CURRENT_USER subkey of every value.
extern const wchar_t* const SettingsKey;

// The value, or -1 when the key or the value is missing, or the value is not
// a REG_DWORD of 4 bytes. A stored -1 is therefore the same as a missing one.
int readSetting(const wchar_t* name);

// Creates the key if needed, opens it for writing only and writes the value
// as a REG_DWORD. False when the key could not be opened or the value not
// written; the caller decides whether the user hears of it.
bool writeSetting(const wchar_t* name, int value);
