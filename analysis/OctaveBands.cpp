#include "analysis/OctaveBands.h"

#include "analysis/BandPower.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace octave {

namespace {

constexpr double kReferenceHz = 1000.0;
// The R10 series: nominal mid-band frequencies of the third octaves of a
// decade.
constexpr double kR10[10] = {1.0, 1.25, 1.6, 2.0, 2.5, 3.15, 4.0, 5.0, 6.3, 8.0};

// Band edges and mid-band frequencies all lie on the half-band grid
// 1000 Hz * G^(e / 2b); computing both edges of a pair of neighbours from
// the same e keeps them exactly equal.
double onGrid(int e, int b) { return kReferenceHz * std::pow(kOctaveRatio, e / (2.0 * b)); }

// Rounds to three significant digits; returns the decimals that shows.
double threeDigits(double v, int& decimals)
{
    decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(v))));
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

}  // namespace

double midFrequency(int x, int b) { return onGrid(2 * x, b); }
double lowerEdge(int x, int b) { return onGrid(2 * x - 1, b); }
double upperEdge(int x, int b) { return onGrid(2 * x + 1, b); }

double nominalFrequency(int x, int b)
{
    if (b != 1 && b != 3) {
        int decimals;
        return threeDigits(midFrequency(x, b), decimals);
    }
    const int i = b == 1 ? 3 * x : x;  // the third octave an octave sits on
    const int r = ((i % 10) + 10) % 10;
    return kR10[r] * std::pow(10.0, 3 + (i - r) / 10);
}

std::string frequencyLabel(double hz)
{
    if (!(hz > 0.0) || !std::isfinite(hz))
        return "0";
    int decimals;
    const double rounded = threeDigits(hz, decimals);
    const bool kilo = rounded >= 1000.0;
    const double v = threeDigits(kilo ? rounded / 1000.0 : rounded, decimals);
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return kilo ? s + "k" : s;
}

std::vector<Band> bandsFor(int b, int fs, int n)
{
    std::vector<Band> bands;
    if (b < 1 || b % 2 == 0 || fs <= 0 || n <= 0)
        return bands;
    const double binHz = static_cast<double>(fs) / n;
    int x = -20 * b;  // below 10 Hz for every b
    while (upperEdge(x, b) <= kLowestBandHz || lowerEdge(x, b) < binHz)
        ++x;
    for (; upperEdge(x, b) < fs / 2.0; ++x) {
        Band band;
        band.index = x;
        band.mid = midFrequency(x, b);
        band.lower = lowerEdge(x, b);
        band.upper = upperEdge(x, b);
        band.nominal = nominalFrequency(x, b);
        band.loBin = band.lower / binHz;
        band.hiBin = band.upper / binHz;
        band.measurable = band.hiBin - band.loBin >= kMinBandBins;
        bands.push_back(band);
    }
    return bands;
}

std::string narrowReason(const Band& band, int fs, int n)
{
    if (band.measurable)
        return std::string();
    return "narrower than " + std::to_string(kMinBandBins) + " bins at " + std::to_string(fs) +
           " Hz / " + std::to_string(n) + " samples";
}

double powerLevel(double power, double noiseBandwidthBins)
{
    const double p = power / noiseBandwidthBins;
    return p > 0.0 ? std::max(kSilentLevel, 10.0 * std::log10(p)) : kSilentLevel;
}

std::vector<double> bandLevels(const std::vector<Band>& bands, const float* power, int bins,
                               double noiseBandwidthBins, const float* gain)
{
    std::vector<double> levels;
    levels.reserve(bands.size());
    for (const Band& band : bands)
        levels.push_back(powerLevel(bandEnergy(power, gain, bins - 1, band.loBin, band.hiBin),
                                    noiseBandwidthBins));
    return levels;
}

}  // namespace octave
