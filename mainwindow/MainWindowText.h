// Texts of the main window that are computed from settings and measurements:
// the sample-window line, the band-frequency line, the dB and frequency
// scale labels and the band readouts. Portable: no <windows.h>, so these
// rules are tested on their own, natively and under Wine alike.
#pragma once

#include <array>
#include <string>

namespace mainwindow_text {

// "Sample Window 0.085    Integration Time 1.360 sec" for 1024 samples at
// 12000 Hz and 16 spectra. The window is truncated to whole milliseconds
// before it is multiplied by the integration count.
std::wstring sampleWindowText(int numSamples, int sampFrq, int intLvl);

// "Band Frequencies = 100 - 500, 500 - 1500, 1500 - 4000 Hz".
std::wstring bandFrequencyText(int filter0, int filter1, int filter2, int filter3);

// A frequency in Hz as "%d.%d kHz" with the tenths truncated: 1500 -> "1.5 kHz".
std::wstring kiloHertzText(int hertz);

// The five labels under the graph: "0 kHz", sampFrq/8 x 1, 2, 3, sampFrq/2.
std::array<std::wstring, 5> frequencyScaleTexts(int sampFrq);

// Top and bottom of the display range for the selector (parameter 6).
struct DbRange {
    int top;
    int bottom;
};
DbRange dbRange(int displayDb);

// The seven labels beside the graph, top to bottom.
std::array<std::wstring, 7> dbScaleTexts(int displayDb);

// A level in dB as whole tenths, rounded half away from zero on the second
// decimal: 12.349 -> 123, 12.35 -> 124, -12.37 -> -124. Non-finite and
// absurd inputs are held to +-1e6 dB so the integer arithmetic stays defined.
int readoutTenths(float level);

// Tenths as "%d.%d" with a leading minus sign when negative: -4 -> "-0.4".
std::wstring tenthsText(int tenths);

inline std::wstring readoutText(float level) { return tenthsText(readoutTenths(level)); }

// The warning box for a failed sound operation: its caption by the failing
// stage (1 opening the recording device, 2 opening the playback device,
// 3 starting the recording device, 4 and 5 the recording and playback device
// failing later) and its text by the stage and the multimedia error code:
// which device, what went wrong in a user's words, what to check (connected,
// in use by another program, the microphone's privacy setting), the number.
std::wstring soundErrorCaption(int stage);
std::wstring soundErrorText(int stage, int code);

// The captions that name the levels: the Reference, Analysis and Source
// rows, the unit over the row captions, and the graph's level axis, by the
// calibration (spl), the frequency weighting (WeightingKind) and the band
// reading (0 the mean of the dB bins, 1 band totals). Uncalibrated means
// under Z weighting keep the plain "Reference dB" rows and no unit line;
// otherwise the unit line names the readouts ("dB(A) SPL", "dB mean") and
// the rows are "Reference", "Analysis", and "Source", or "Src. total" when
// the readouts are means (the source level is always an energy difference).
// "SPL" names band totals only: a mean of dB values is no sound pressure
// level.
struct LevelCaptions {
    std::wstring reference, analysis, source, unit, axis;
};
LevelCaptions levelCaptions(bool spl, int weighting, int reading);

// The overall levels' columns: the chosen weighting's, then A or C beside
// it (Z: LZ and LA; A and C: LA and LC).
std::array<int, 2> overallWeightings(int weighting);
// "LA", or "LAeq" for a Leq.
std::wstring overallCaption(int weighting, bool leq);

// The running Leq's time, "Leq 00:10:00" (hours may pass 99).
std::wstring leqTimeText(double seconds);

// The wording of the notice line under the graph.
extern const wchar_t* const kNoticeText;
// The same beside the overall levels' columns, where the line is shorter.
extern const wchar_t* const kNoticeTextShort;
// What the notice line says while nothing is measured: what to press first.
extern const wchar_t* const kStartHint;
// The notice line when a sixth marker replaced the oldest.
extern const wchar_t* const kMarkerReplaced;
// The status line while the recording device delivers only zeros.
extern const wchar_t* const kNoSignal;
// The user guide's file name, installed beside the program (F1 opens it).
extern const wchar_t* const kUserGuideFile;
// A readout without a measurement behind it (an en dash).
extern const wchar_t* const kNoValue;
// The note under the readouts, exactly as shown.
extern const wchar_t* const kNoteText;

}  // namespace mainwindow_text
