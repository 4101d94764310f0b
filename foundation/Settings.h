// Settings kept in the registry of the current user.
//
// A save of several values goes through a staging subkey and counts with
// one final write (foundation/SettingsJournal.h); single values are written
// as they are.
//
// Every value lives under HKEY_CURRENT_USER\SOFTWARE\Tevra\QX-700, numbers
// as a REG_DWORD of 4 bytes, texts as a REG_SZ of UTF-16 characters. The key
// is opened and closed anew for every single value, so no registry handle
// survives between calls. Which values exist, and what they accept, is the
// table of settings (foundation/SettingsTable.h).
#pragma once

#include <string>

#include "foundation/SettingsTable.h"

class ParameterStore;

// HKEY_CURRENT_USER subkey of every value.
extern const wchar_t* const SettingsKey;
// Its subkey "Saving": a save in progress (foundation/SettingsJournal.h).
extern const wchar_t* const SettingsStagingKey;

// The value, or -1 when the key or the value is missing, or the value is not
// a REG_DWORD of 4 bytes. A stored -1 is therefore the same as a missing one.
int readSetting(const wchar_t* name);

// Creates the key if needed, opens it for writing only and writes the value
// as a REG_DWORD. False when the key could not be opened or the value not
// written; the caller decides whether the user hears of it.
bool writeSetting(const wchar_t* name, int value);

// The text of a REG_SZ value of at most maxLength characters (a terminating
// zero, or the first one inside it, ends it). False, and `text` unchanged,
// when the key or the value is missing, the value is of another type, or its
// text is longer.
bool readSettingText(const wchar_t* name, int maxLength, std::wstring& text);

// Writes the text as a REG_SZ with its terminating zero; false as writeSetting.
bool writeSettingText(const wchar_t* name, const std::wstring& text);

// Finishes or forgets a save that a crash interrupted, so that the key holds
// the old or the new values of every save. loadSettings does it first.
void recoverSettings();

// Every value of the table that loads into the store, read and judged by the
// table's rules: what they accept replaces the store's value, the rest
// leaves it as it is (the factory value at start-up).
void loadSettings(ParameterStore& store);

// Writes, from the store, every value of the table that `writer` writes back,
// as one save: through the subkey "Saving", so that a crash at any point
// leaves all of them old or all new (foundation/SettingsJournal.h). False
// when the registry refused any.
bool saveSettings(const ParameterStore& store, settings_table::Writer writer);
