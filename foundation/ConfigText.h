// Reading and writing the texts of the configuration window: the numbers the
// user types, the numbers the window shows, and the sample-window line.
//
// How it works
// - parseDecimal reads an unsigned decimal number with '.' or ',' as the
//   separator and keeps the fraction to exactly three places (thousandths),
//   truncating: "12.34" is 12 and 340, "1.23456" is 1 and 234. An empty text
//   is 0. Any other character, or a second separator, rejects the text.
// - parseTenths and parseWhole build on it: the threshold field is read in
//   tenths of a dB, the band-limit fields in whole Hz; -1 means "not a
//   number" and the caller falls back to the value it already has.
// - The threshold field keeps the last text that parsed (ThresholdState);
//   thresholdText rebuilds that text when a keystroke made it unreadable.
//
// Portable: no <windows.h>, so it builds and is tested natively as well.
#pragma once

#include <string>

// Parses text up to its terminating zero. True, with the outputs filled
// (any may be null), when the text is a number; false, leaving them alone,
// when it is not.
bool parseDecimal(const wchar_t* text, int* whole, int* thousandths, int* hasPoint,
                  int* fractionDigits);

// Tenths of the number (12.34 -> 123), or -1 when the text is not a number.
int parseTenths(const wchar_t* text);

// Whole units of the number (1500.9 -> 1500), or -1 when not a number.
int parseWhole(const wchar_t* text);

namespace config_text {

// The last accepted form of the threshold text; -1 = nothing accepted yet.
struct ThresholdState {
    int whole = -1;
    int thousandths = -1;
    int hasPoint = 0;
    int fractionDigits = 0;
};

// The text that ThresholdState stands for: the whole part, the separator as
// '.', and as many of the three fraction digits as had been typed.
std::wstring thresholdText(const ThresholdState& state);

// "%d.%d" of tenths / 10 and tenths % 10: 50 -> "5.0", 125 -> "12.5".
std::wstring tenthsText(int tenths);

// "%d" of a whole number.
std::wstring wholeText(int value);

// Milliseconds m as seconds with three decimals: m / 1000 "." then the digits
// (m % 1000) / 100, (m % 100) / 10, m % 10.
std::wstring millisecondsText(int milliseconds);

// "Sample window 0.085    Integration Time 1.360 sec" for 1024 samples at
// 12000 Hz integrated 16 times: window = samples * 1000 / frequency whole
// milliseconds, total = window * level. A frequency of 0 or less gives a
// window of 0.
std::wstring sampleWindowText(int samples, int frequency, int level);

}  // namespace config_text
