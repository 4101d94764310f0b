// MeasurementFile: a measurement as one UTF-8 CSV file, written and read back.
//
// How it works
// - format() turns a Measurement into the whole file text: a UTF-8 byte-order
//   mark (so spreadsheets take the text as UTF-8), a signature line, a header
//   block of "key,value" lines that ends at a blank line, the band table
//   (Reference, Analysis and Difference per band), a blank line, in an
//   octave or third-octave view that view's band table and a blank line,
//   and the spectrum table, one row per bin: frequency in Hz, Reference dB, Analysis
//   dB (and the maximum hold, when one was kept). A cell without data is
//   empty. Numbers are written with
//   std::to_chars, which knows no locale: the decimal point is always '.'.
// - parse() reads such a text back. It checks everything before it gives a
//   result, and on the first fault names the line and what is wrong. It
//   ignores header keys it does not know (later versions add keys) and
//   any lines between the header and the spectrum table; it needs the
//   sampling frequency, the number of samples and exactly one row per bin
//   with a finite Reference level in a plausible range.
// - Fields follow RFC 4180 quoting ("a ""b""" for a "b"); no field holds a
//   line break (the writer replaces them with blanks).
// - The octave or third-octave table ("Third-octave band (Hz),Reference
//   dB,...") has a row per band: its nominal frequency as a number, the
//   Reference, the Analysis, their Difference, the source level and how it
//   was found, and "narrow" for a band too narrow to be measured honestly.
//   fractionalBandCells() gives the same cells to the file and to Copy
//   Readouts. parse() reads the table back (older files have none).
// - copyText() joins the cells of the band table as the main window shows
//   it, tab separated, for the clipboard: a grid in a spreadsheet.
//
// Portable: no <windows.h>. Paths, dialogs and the file system are the main
// window's business (MainWindowFiles.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace measurement_file {

// The first field of the signature line, and the format version written.
extern const char* const kSignature;
constexpr int kFormatVersion = 1;

// Header keys written by format() and read by parse().
extern const char* const kKeyProgram;
extern const char* const kKeyDate;
extern const char* const kKeySampFrq;
extern const char* const kKeyNumSamples;
extern const char* const kKeyIntLvl;
extern const char* const kKeyBandLimits;
extern const char* const kKeyThreshold;
extern const char* const kKeyDevice;
extern const char* const kKeyWindow;
extern const char* const kKeyMicFile;
extern const char* const kKeyMicChecksum;
extern const char* const kKeyLevelUnit;
extern const char* const kKeyCalibration;
extern const char* const kKeyClipped;
extern const char* const kKeyLost;
extern const char* const kKeyWeighting;
extern const char* const kKeyAveraging;
extern const char* const kKeyLeqTime;
// First fields of the two table header lines.
extern const char* const kBandTableHeader;
extern const char* const kSpectrumTableHeader;
// The first field of the octave and third-octave tables' header lines.
extern const char* const kOctaveTableHeader;
extern const char* const kThirdOctaveTableHeader;
// The note of a band too narrow to be measured.
extern const char* const kNarrowNote;

// Levels outside this range (dB) are taken as a damaged file.
constexpr double kLevelLimit = 1000.0;
// A measurement file is a few hundred kilobytes; anything far larger is not one.
constexpr size_t kMaxFileBytes = 16u * 1024u * 1024u;

// One band of an octave or third-octave table.
struct FractionalBand {
    double nominal = 0.0;  // Hz
    float reference = 0.0f;
    float analysis = 0.0f;
    bool measurable = true;
};

struct Measurement {
    std::string program;      // "QX-700 1.0.0"
    std::string date;         // ISO 8601, "2026-12-08T10:40:12+01:00"
    int sampFrq = 0;          // Hz
    int numSamples = 0;       // samples per transform
    int intLvl = 0;           // spectra integrated
    int filters[4] = {};      // band limits, Hz
    int dbDiff = 0;           // threshold, tenths of a dB
    std::string device;       // recording device name, UTF-8
    // How the levels were taken: the window function ("Rectangular" in files
    // that do not say), the unit ("dB", or "dB SPL" when calibrated), the
    // calibration as text ("none", or its offset and date, "stale" when
    // made at other sampling settings), and the samples at full scale and
    // blocks lost since the measurement shown started.
    std::string window = "Rectangular";
    std::string levelUnit = "dB";
    std::string calibration = "none";
    int clippedSamples = 0;
    int lostBlocks = 0;
    // The microphone response file the levels were corrected with: its name
    // (UTF-8) and checksum (response_file::checksum); both empty without one,
    // and then not written.
    std::string micFile;
    std::string micChecksum;
    // The frequency weighting of every level ("Z" in files that do not
    // say), the averaging ("Exponential" or "Linear (Leq)") and a Leq's
    // time in seconds (0: none).
    std::string weighting = "Z";
    std::string averaging = "Exponential";
    double leqSeconds = 0.0;
    // The band readings: the means of the dB bins, and (hasTotals) the
    // band totals and the overall levels under Z, A and C, each of the
    // Reference and the Analysis.
    float referenceBands[3] = {};
    float analysisBands[3] = {};
    bool hasTotals = false;
    float referenceTotals[3] = {};
    float analysisTotals[3] = {};
    float referenceOverall[3] = {};
    float analysisOverall[3] = {};
    // The source level behind the background per band ("62.3", or
    // "< background") and how it was found ("uncorrected", "corrected",
    // "below background"); empty without an Analysis.
    std::string sourceCells[3];
    std::string sourceValidity[3];
    // The octave or third-octave bands of a band view (bandsPerOctave 1 or
    // 3; 0: none), lowest first; each band's analysis is read only when
    // the measurement has an Analysis.
    int bandsPerOctave = 0;
    std::vector<FractionalBand> fractionalBands;
    // dB per bin, numSamples / 2 entries (bins 0 .. N/2 - 1). analysis is
    // empty when there is no Analysis.
    std::vector<float> reference;
    std::vector<float> analysis;
    // The maximum hold in dB per bin, as many as reference; empty: none.
    std::vector<float> maxHold;

    bool hasAnalysis() const { return !analysis.empty(); }
};

// The whole file.
std::string format(const Measurement& m);

struct ParseError {
    int line = 0;          // 1-based; 0 = the file as a whole
    std::string message;   // what was wrong, one sentence
};

// true and `out` filled, or false with `error` set and `out` untouched.
bool parse(const char* data, size_t size, Measurement& out, ParseError& error);

// "Line 7: ..." or the message alone when the error concerns no line.
std::string errorText(const ParseError& error);

// An octave (bandsPerOctave 1) or third-octave (3) table as cells: a header
// row, then one row per band, the Analysis's cells empty without one; no
// rows without bands.
std::vector<std::vector<std::string>> fractionalBandCells(int bandsPerOctave,
                                                          const std::vector<FractionalBand>& bands,
                                                          bool analysis);

// Rows of cells as tab-separated text with CR LF line ends (the main
// window's band table, as it shows it, for the clipboard). A tab or line
// break inside a cell becomes a blank, so the grid keeps its shape.
std::string copyText(const std::vector<std::vector<std::string>>& rows);

// ISO 8601 date and time with the offset from UTC: "2026-12-08T10:40:12+01:00".
std::string isoDateTime(int year, int month, int day, int hour, int minute, int second,
                        int utcOffsetMinutes);
// The default file name of a measurement: "Measurement 2026-12-08 10-40-12.csv".
std::string defaultFileName(int year, int month, int day, int hour, int minute, int second);
// "2026-12-08 10:40" from an ISO date, for the window title; empty when the
// text does not start like one.
std::string shortDate(const std::string& isoDate);

// One CSV line split into fields (quotes removed). Exposed for the tests.
std::vector<std::string> splitFields(const std::string& line);

}  // namespace measurement_file
