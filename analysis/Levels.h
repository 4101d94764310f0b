// Levels you can trust: the window function of the block analysis, the
// calibration offset, full-scale (clipped) samples, lost blocks and the
// source level behind a background. Portable: no <windows.h>.
//
// How it works
// - Window. A WindowTable holds the coefficients of one window function for
//   one block length, built once when the function or the length changes
//   (never per block). The analysis multiplies the DC-free samples by it
//   before the transform. Its coherent gain (mean coefficient) is divided
//   out of every magnitude, so a steady sine reads the same peak level under
//   each window; its equivalent noise bandwidth (in bins) is taken off the
//   mean level and the band levels, which average broadband noise, so those
//   agree between windows too. Rectangular has gain 1 and bandwidth 1: the
//   analysis then skips both steps and its numbers stay exactly the old ones.
// - Calibration. An offset in hundredths of a dB, applied with the coherent
//   gain as one factor on the integrated magnitudes. A calibration measures
//   the strongest tone of the spectrum (its power summed over the bins its
//   window spreads it to, so where the tone falls between two bins does not
//   matter) over a few seconds of blocks and sets the offset that makes that
//   level read the calibrator's level. It remembers the day and the sampling
//   settings it was made with; a calibration made with other sampling
//   settings than the current ones is stale.
// - Faults. Samples at full scale (-32768 or 32767) are counted per block;
//   blocks the device lost are estimated from the arrival times of the
//   blocks (LostBlockCounter).
// - Source level. With the Reference as the background and the Analysis as
//   background plus source, the source alone is 10 log10(10^(A/10) - 10^(R/10))
//   per band: no correction from a Difference of 10 dB up, corrected from
//   3 dB, and "< background" (not measurable) below 3 dB.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/Spectrum.h"

namespace WindowKind {
enum : int {
    Rectangular = 0,
    Hann = 1,
    FlatTop = 2,
    Count = 3,
};
}

// "Rectangular", "Hann", "Flat top"; "Rectangular" for an unknown kind.
const wchar_t* windowName(int kind);
// The same in ASCII, for saved files.
const char* windowNameAscii(int kind);

struct WindowTable {
    int kind = WindowKind::Rectangular;
    int length = 0;        // 0: not built
    double coherentGain = 1.0;  // mean of the coefficients
    double noiseBandwidth = 1.0;  // equivalent noise bandwidth in bins
    float coefficients[MaxSamples] = {};
};

// Fills the table for the kind (unknown kinds count as Rectangular) and a
// length of 2 .. MaxSamples; does nothing when it already holds them.
void buildWindow(WindowTable& table, int kind, int length);

// 20 log10(1 / coherent gain) and 10 log10(noise bandwidth) of a kind, in dB,
// computed from the coefficients for the length.
double coherentGainDb(const WindowTable& table);
double noiseBandwidthDb(const WindowTable& table);

// Samples at full scale in a block.
int countFullScale(const int16_t* samples, int count);

// Estimates blocks the recording device lost from the times the blocks
// arrived. Each block has its time on the schedule that the first block and
// the block duration give. When a block is later than half a block plus the
// callbacks' jitter, and the next block that comes at the normal pace after
// it is late as well, the whole blocks missing before them (rounded) are
// lost, and the schedule moves on by them. Late callbacks that the following
// ones make up for (a burst) count nothing, however late; a lost block
// hidden in the jitter (possible with blocks shorter than the jitter) is not
// seen.
class LostBlockCounter {
public:
    void reset() { blocks_ = 0; lost_ = 0; pending_ = 0; }
    // The arrival time of the next block, in ticks; ticksPerBlock > 0.
    // Returns the blocks found lost by this arrival.
    int onBlock(int64_t ticks, int64_t ticksPerBlock, int64_t jitterTicks);
    int lost() const { return lost_; }

private:
    int64_t first_ = 0;
    int64_t blocks_ = 0;  // blocks arrived or counted lost since first_
    int lost_ = 0;
    int64_t pending_ = 0;  // blocks missing before the last, late, block
    int64_t lastLate_ = 0; // when that block came
};

// The level of the strongest tone in a dB spectrum of bins 0 .. h (bin 0,
// the DC, is passed over): the power of the bins within `halfWidth` of the
// highest bin, summed, less 10 log10(noise bandwidth). For a tone this is
// its peak level under the coherent gain, wherever it falls between bins.
float strongestToneLevel(const float* spectrumDb, int h, double noiseBandwidthDb, int halfWidth = 8);

// Calibration states shown to the user.
namespace CalibrationState {
enum : int {
    None = 0,      // no calibration: levels in the sound card's dB
    Valid = 1,     // made with the current sampling settings
    Stale = 2,     // made with other sampling settings
};
}
// The calibration as kept in the settings: CalOffset, CalDate, CalSampFrq,
// CalSamples.
struct Calibration {
    int offset = 0;      // hundredths of a dB
    int date = 0;        // yyyymmdd; 0 or less: none
    int sampFrq = 0;     // the sampling settings it was made with
    int numSamples = 0;
};
int calibrationState(const Calibration& calibration, int sampFrq, int numSamples);

// The new offset, in hundredths of a dB, after a calibration that read
// `measured` (dB, with `currentOffset` already applied) for a calibrator of
// `target` hundredths of a dB. Held to +-20000.
int calibrationOffset(int currentOffset, float measured, int target);

// The source's level from the background R and background plus source A.
namespace SourceValidity {
enum : int {
    Uncorrected = 0,      // A - R >= 10 dB: the source level is A
    Corrected = 1,        // 3 <= A - R < 10 dB
    BelowBackground = 2,  // A - R < 3 dB: not measurable
};
}
struct SourceLevel {
    float level;   // dB; meaningless when BelowBackground
    int validity;
};
SourceLevel sourceLevel(float reference, float analysis);
// "62.3" for a measurable level, "< background" otherwise.
std::wstring sourceLevelText(const SourceLevel& s);
// "uncorrected", "corrected", "below background".
const char* sourceValidityName(int validity);

// A readout with the mark of a measurement that cannot be trusted: "*" after
// the text when `faulty`.
std::wstring markedText(const std::wstring& text, bool faulty);

// The status line of the main window: "Calibrating...", "Calibration stale",
// "CLIPPING 123" while the newest block clipped (else "Clipped 123" once any
// did), "Lost 2"; the parts that apply, joined by two spaces; empty when
// none does.
// After a calibration found its tone at calResultHz (above 0), and while it
// is valid, the line starts "Calibrated: 94.0 dB at 1000 Hz" (calLevel in
// hundredths of a dB) instead.
std::wstring statusText(int clipping, int clipCount, int lostBlocks, int calState, int calRunning,
                        int calResultHz = 0, int calLevel = 0);

// "Not calibrated", or "Calibrated 2026-12-08: +23.75 dB" with " (stale:
// other sampling settings)" when stale.
std::wstring calibrationText(int state, int offset, int date);

// "dB SPL" for a valid calibration; "dB" without one or with a stale one.
const wchar_t* levelUnit(int calState);

// The calibrator's level in hundredths of a dB from the text the user typed
// ("94", "94.0", "114,5"), or -1 when it is not a number from 1 to 200 dB.
int parseCalibratorLevel(const wchar_t* text);

// Hundredths of a dB as text with two decimals: 9400 -> "94.00", -5 -> "-0.05".
std::wstring hundredthsText(int hundredths);

// Everything a saved measurement file needs about the trust of its levels.
struct MeasurementRecord {
    const char* windowName;       // "Rectangular", "Hann", "Flat top"
    int calibrationOffset;        // hundredths of a dB, 0 when none
    int calibrationDate;          // yyyymmdd, 0 when none
    int calibrationState;         // CalibrationState
    const char* levelUnit;        // "dB SPL" with a valid calibration, else "dB"
    int clippedSamples;           // since the last Reference or Analyze started
    int lostBlocks;               // same
    int referenceFaults;          // Fault bits of the reference measurement
    int analysisFaults;           // Fault bits of the analysis measurement
    float reference[3];           // band levels
    float analysis[3];
    SourceLevel source[3];        // background-corrected band totals
};
// What measurementRecord reads: the settings and counters of the measurement
// and its band levels (null: none).
struct MeasurementState {
    int windowKind = 0;
    Calibration calibration;
    int sampFrq = 0;
    int numSamples = 0;
    int clipCount = 0;
    int lostBlocks = 0;
    int referenceFaults = 0;
    int analysisFaults = 0;
    const float* referenceBands = nullptr;  // three levels
    const float* analysisBands = nullptr;
    // The band totals behind the source level (null: the band levels).
    const float* referenceTotals = nullptr;
    const float* analysisTotals = nullptr;
};
MeasurementRecord measurementRecord(const MeasurementState& state);

// Bits of RefFaults and AnaFaults.
namespace Fault {
enum : int {
    Clipped = 1,
    Lost = 2,
};
}
