// Fractional-octave bands (octave and third octave, base-10 system) and
// their levels from a power spectrum. Portable: no <windows.h>.
//
// How it works
// - Band x of the 1/b-octave system (b odd) has the exact mid-band frequency
//   fm = 1000 Hz * G^(x/b), G = 10^(3/10), and its edges at fm * G^(-1/(2b))
//   and fm * G^(+1/(2b)); neighbouring bands share an edge. It is labelled
//   with its nominal frequency (31.5, 1k, 12.5k): the R10 series 1, 1.25,
//   1.6, 2, 2.5, 3.15, 4, 5, 6.3, 8 times a power of ten, every third member
//   for octaves.
// - The bands of a transform of N samples at fs Hz run from the 25 Hz band
//   (the first octave band holding 25 Hz, 31.5 Hz) or the first band whose
//   lower edge is at least one bin (fs/N) above DC, whichever is higher, to
//   the last band whose upper edge lies below fs/2.
// - Bin k of the spectrum covers the frequencies [k - 0.5, k + 0.5) bins; a
//   band covers [lower, upper) * N / fs bins. Its power is the sum of the
//   bins' powers, each times the part of the bin that lies in the band (the
//   bins at its edges count in part), each optionally times a weighting
//   gain. Its level is 10 log10 of that power over the window's equivalent
//   noise bandwidth in bins, so white noise and a tone read the same under
//   each window.
// - A band fewer than kMinBandBins bins wide holds too few bins for its
//   level to mean much (a tone's spread over neighbouring bins leaks across
//   its edges); it is listed but marked not measurable, with the reason.
#pragma once

#include <string>
#include <vector>

namespace octave {

// G = 10^(3/10), the octave ratio of the base-10 system.
constexpr double kOctaveRatio = 1.9952623149688795;
// Where the list of bands starts at the lowest: the band holding 25 Hz.
constexpr double kLowestBandHz = 25.0;
// Narrower bands are not measurable honestly.
constexpr int kMinBandBins = 3;
// The level of a band without power, in dB.
constexpr double kSilentLevel = -200.0;

struct Band {
    int index = 0;        // x: fm = 1000 Hz * G^(x/b)
    double mid = 0.0;     // exact mid-band frequency, Hz
    double lower = 0.0;   // edges, Hz
    double upper = 0.0;
    double nominal = 0.0; // nominal mid-band frequency, Hz
    double loBin = 0.0;   // the edges in bins of the transform it was listed for
    double hiBin = 0.0;
    bool measurable = true;  // at least kMinBandBins bins wide
};

// The exact mid-band frequency and the edges of band x of the 1/b-octave
// system (b odd: 1, 3).
double midFrequency(int x, int b);
double lowerEdge(int x, int b);
double upperEdge(int x, int b);
// The nominal frequency of band x: from the R10 series for b = 1 and b = 3,
// the mid-band frequency to three significant digits for other b.
double nominalFrequency(int x, int b);

// "25", "31.5", "800", "1k", "1.25k", "12.5k": a frequency as the axis and
// the tables write it (up to three significant digits, "k" from 1000 Hz).
// Knows no locale: the decimal point is always '.'.
std::string frequencyLabel(double hz);

// The bands of the 1/b-octave system for a transform of n samples at fs Hz,
// lowest first (see the header comment); empty when none fits.
std::vector<Band> bandsFor(int b, int fs, int n);

// Why a band is not measurable, for a tooltip or the status line: "narrower
// than 3 bins at 4000 Hz / 1024 samples"; empty when it is measurable.
std::string narrowReason(const Band& band, int fs, int n);

// 10 log10(power / noiseBandwidthBins), kSilentLevel when there is no power.
double powerLevel(double power, double noiseBandwidthBins);

// The level of each band (same order) from a per-bin power spectrum of
// `bins` bins, with the window's equivalent noise bandwidth in bins and an
// optional per-bin power gain. A band's power is bandEnergy's (BandPower.h):
// the bins at its edges count in proportion to their overlap.
std::vector<double> bandLevels(const std::vector<Band>& bands, const float* power, int bins,
                               double noiseBandwidthBins, const float* gain = nullptr);

}  // namespace octave
