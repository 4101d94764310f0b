// SettingsTable: the one list of every value the program keeps in the
// registry, and what each of them accepts.
//
// How it works
// - kEntries holds one Entry per registry value, indexed by Key: its value
//   name, the store id it loads into (a Param slot or an Option; none for the
//   window position), its factory value, who writes it back, and its rule.
//   Nothing else writes a name or a factory value down.
// - Rules: a list of choices (the lists of the Configuration window, with
//   their captions), a range, a COLORREF (any value but the -1 of a missing
//   one), a window position (any value) or a text of a bounded length.
// - Two groups are judged whole. The band limits are taken all or none, in
//   order and none above half the rate loaded with them; otherwise the limits
//   held stay, pulled down to half that rate. A calibration (offset, date,
//   rate, block size) is taken all or none; a missing offset reads as 0.
// - takeStored applies these rules to the values read from the registry;
//   the engine's load and Save, the window position and the Configuration
//   window's messages about band limits all go through this table.
// - Colours are COLORREF values (0x00BBGGRR).
//
// Portable: no <windows.h>, so it builds and is tested natively as well.
#pragma once

#include <string>

namespace settings_table {

// One entry of a list: its caption and the value it stands for.
struct Choice {
    const wchar_t* caption;
    int value;
};

constexpr int kRateCount = 5;
constexpr int kSizeCount = 5;
constexpr int kLevelCount = 11;
constexpr int kRangeCount = 3;
constexpr int kLeqMinutesCount = 6;
extern const Choice kRates[kRateCount];    // Hz, captioned in kHz
extern const Choice kSizes[kSizeCount];    // samples per block
extern const Choice kLevels[kLevelCount];  // spectra averaged
extern const Choice kRanges[kRangeCount];  // display range selector
extern const Choice kLeqMinutes[kLeqMinutesCount];  // the Leq's durations

enum class Rule {
    Choice,    // one of `choices`
    Range,     // low..high
    Colour,    // a COLORREF: any value but -1, which reads as missing
    Position,  // a screen coordinate: any value (-1 and -1: centred)
    Text,      // a text of at most `high` characters (REG_SZ)
};

// Who writes the value back to the registry.
enum class Writer {
    Save,         // the engine's Save (the Configuration window)
    Measurement,  // the Measurement dialog, on OK
    Calibration,  // the end of a calibration, and the dialog's Clear
    Position,     // the main window, when it closes
    Devices,      // the Microphone and Sound Card dialog, on OK
    View,         // the View menu, when a choice changes
};

// Values judged together rather than one by one.
enum class Group { None, BandLimits, Calibration };

struct Entry {
    const wchar_t* name;  // the registry value
    int id;               // Param slot or Option id; -1: kept by its writer alone
    Rule rule;
    Writer writer;
    Group group;
    int factory;               // ints: the value Defaults and a missing value give
    const wchar_t* factoryText;  // texts
    long long low, high;       // Range: bounds; Text: high is the longest length
    const Choice* choices;
    int choiceCount;
};

enum Key : int {
    SampFrq, NumSamples, IntLvl,
    Filter0, Filter1, Filter2, Filter3,
    DbDiff,
    BackColor, GridColor, RefColor, NoiseColor, ThreshColor, FilterColor,
    DisplayDb,
    WindowFn, CalLevel,
    CalOffset, CalDate, CalSampFrq, CalSamples,
    XPos, YPos,
    Weighting, Averaging, RecordDevice,
    BandReading, LeqMinutes, HoldComplete, MaxHold, OverallLevels,
    Playback, PlaybackDevice, MicFile,
    FrequencyAxis, BandView,
    Count,
};
extern const Entry kEntries[Count];

inline const Entry& entry(Key key) { return kEntries[key]; }
inline const wchar_t* nameOf(Key key) { return kEntries[key].name; }

// A single value against its entry's rule (group rules aside); texts are
// judged by their length.
bool accepts(const Entry& e, long long value);
bool acceptsText(const Entry& e, const std::wstring& text);

// Stored values over held ones, by the rules: `stored` holds what the
// registry gave for each int entry (-1 where missing), `values` the values
// held (the factory ones at start-up) and receives the values to use.
// Texts and entries without a store id keep `values` as given.
void takeStored(const int stored[Count], int values[Count]);

// The factory value of the entry loading into `id`, or `otherwise` for an id
// without one.
int factoryValue(int id, int otherwise = -1);

bool isRate(long long value);
bool isSize(long long value);

// The band-limit rule: 0 <= limit 0 <= limit 1 <= limit 2 <= limit 3 and
// none above half the rate (a limit of exactly half the rate is the last
// bin). The Configuration window's "Invalid Data" text for limits that break
// it, empty for limits that keep it.
bool bandLimitsValid(const int limits[4], int rate);
std::wstring bandLimitsProblem(const int limits[4], int rate);

}  // namespace settings_table
