// ResponseFile: a microphone's frequency response, read from the text file
// that comes with the microphone, to be taken off every level.
//
// How it works
// - parse() takes the whole file. It accepts the dialects microphones ship
//   with: a UTF-8 byte-order mark; CRLF or LF line ends; blank lines;
//   comment and header lines that begin with '"' or '*' (such as
//   "Sens Factor =-1.378dB, AGain =18dB, SERNO: 7001234" or *1000Hz<TAB>-36);
//   a frequency in Hz and a level in dB per line, separated by blanks (tabs
//   or spaces), a comma or a semicolon, the same between all columns of a
//   line (so that a decimal comma is refused, never read as a column); an
//   optional third column (the phase), which must be a number and is
//   ignored. Numbers are read with std::from_chars, which knows no locale:
//   the decimal point is always '.', and ".58", "-.5", "+3" and "1e3" are
//   numbers.
// - It checks everything before it gives a result, and keeps nothing from a
//   file it refuses: it names the line (1 for the first; 0 for the file as a
//   whole) and the reason. Refused: files larger than kMaxFileBytes; binary
//   files (NUL bytes, invalid UTF-8, control characters other than tab and
//   the line ends; UTF-16 with a word on how to save it); non-numbers, NaN
//   and infinity; levels beyond kMaxLevel either way; frequencies that are
//   not above 0 or do not increase; more than kMaxPoints points, or fewer
//   than two.
// - correctionAt() interpolates linearly in log10 of the frequency between
//   the points and holds the end values beyond them; fillCorrection() does
//   that for each bin of a transform.
// - checksum() is the FNV-1a 64-bit hash of the file's bytes as 16 hex
//   digits, which a saved measurement keeps to name the response it used.
//
// Portable: no <windows.h>. Opening the file is the caller's business (it
// should refuse a file larger than kMaxFileBytes before reading it).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace response_file {

constexpr size_t kMaxFileBytes = 1024 * 1024;
constexpr size_t kMaxPoints = 20000;
// A level further from 0 dB than this is no microphone's response: beyond
// it a file is refused (it would not even fit the float of a correction).
constexpr double kMaxLevel = 1000.0;

struct Point {
    double hz = 0.0;
    double db = 0.0;
};

struct ParseError {
    int line = 0;        // 1-based; 0: the file as a whole
    std::string reason;  // "frequency 900 does not increase over 1000"
};
// "Line 7: <reason>", or the reason alone for the file as a whole.
std::string errorText(const ParseError& error);

// Either the points (frequencies increasing, at least two) or the error.
struct ParseResult {
    std::vector<Point> points;
    ParseError error;
    bool ok() const { return error.reason.empty(); }
};

ParseResult parse(const std::string& bytes);

// The response at a frequency: linear in log10(hz) between the points (which
// must increase and be at least one), the end values beyond them; hz <= 0
// counts as below the first point.
double correctionAt(const std::vector<Point>& points, double hz);

// table[k] = correctionAt(bin k's frequency, k * fs / n) for k = 0 .. n / 2;
// table holds n / 2 + 1 values.
void fillCorrection(const std::vector<Point>& points, int n, int fs, float* table);

// The FNV-1a 64-bit hash of the bytes, as 16 lower-case hex digits.
std::string checksum(const std::string& bytes);

}  // namespace response_file
