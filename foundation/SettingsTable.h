// SettingsTable: the one list of what the user can set and keep.
//
// How it works
// - kSaved names the fifteen settings kept in the registry (value name,
//   parameter id, factory value), in the order they are loaded and saved.
//   The engine sets the factory values and loads and saves through it, the
//   Configuration window's Defaults shows them, and nothing else writes a
//   factory value down.
// - The choices of the lists (sampling frequency, number of samples,
//   integration level, display range) are kept here with their captions, and
//   the isRate / isSize / isLevel / isRange checks read them: a stored or
//   imported value is accepted exactly when the window could have chosen it.
// - Colours are COLORREF values (0x00BBGGRR).
//
// Portable: no <windows.h>, so it builds and is tested natively as well.
#pragma once

namespace settings_table {

struct Setting {
    const wchar_t* name;  // the registry value
    int id;               // the parameter
    int factory;          // the value Defaults restores
};

constexpr int kSavedCount = 15;
extern const Setting kSaved[kSavedCount];

// One entry of a list: its caption and the value it stands for.
struct Choice {
    const wchar_t* caption;
    int value;
};

constexpr int kRateCount = 5;
constexpr int kSizeCount = 5;
constexpr int kLevelCount = 11;
constexpr int kRangeCount = 3;
extern const Choice kRates[kRateCount];    // Hz, captioned in kHz
extern const Choice kSizes[kSizeCount];    // samples per block
extern const Choice kLevels[kLevelCount];  // spectra averaged
extern const Choice kRanges[kRangeCount];  // display range selector

bool isRate(long long value);
bool isSize(long long value);
bool isLevel(long long value);
bool isRange(long long value);

// The factory value of a saved setting's parameter, or `otherwise` for a
// parameter that is not one of them.
int factoryValue(int id, int otherwise = -1);

}  // namespace settings_table
