// Fractional-octave bands and the logarithmic axis: the bands' frequencies
// and nominal labels, which bands a transform resolves, their levels for
// white noise and tones, and axis labels that never overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/LogAxis.h"
#include "analysis/OctaveBands.h"

namespace {

using namespace octave;

const char* const ThirdOctaves[] = {"25", "31.5", "40", "50", "63", "80", "100", "125", "160",
                                    "200", "250", "315", "400", "500", "630", "800", "1k",
                                    "1.25k", "1.6k", "2k", "2.5k", "3.15k", "4k", "5k", "6.3k",
                                    "8k", "10k", "12.5k", "16k", "20k"};
const char* const Octaves[] = {"31.5", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};

// At 48000 Hz and 16384 samples the bands run from 25 Hz (31.5 Hz for
// octaves) to 20 kHz (16 kHz); fm = 10^(3 + 3x / 10b), edges a factor of
// 10^(3 / 20b) away.
TEST(OctaveBands, FrequenciesEdgesAndNominalLabels)
{
    for (int b : {1, 3}) {
        const std::vector<Band> bands = bandsFor(b, 48000, 16384);
        const auto* names = b == 3 ? ThirdOctaves : Octaves;
        ASSERT_EQ(bands.size(), b == 3 ? 30u : 10u);
        for (size_t i = 0; i < bands.size(); ++i) {
            const Band& band = bands[i];
            const double fm = std::pow(10.0, 3.0 + 0.3 * band.index / b);
            const double half = std::pow(10.0, 0.15 / b);
            EXPECT_NEAR(band.mid, fm, 0.01) << names[i];
            EXPECT_NEAR(band.lower, fm / half, 0.01) << names[i];
            EXPECT_NEAR(band.upper, fm * half, 0.01) << names[i];
            EXPECT_EQ(frequencyLabel(band.nominal), names[i]);
            EXPECT_NEAR(band.nominal / fm, 1.0, 0.03) << names[i];
            EXPECT_EQ(band.lower, i > 0 ? bands[i - 1].upper : band.lower) << names[i];
        }
    }
    const struct { double hz; const char* text; } labels[] = {
        {2.5, "2.5"}, {46.875, "46.9"}, {999.7, "1k"}, {1258.9, "1.26k"}, {24000, "24k"}, {0, "0"}};
    for (const auto& c : labels)
        EXPECT_EQ(frequencyLabel(c.hz), c.text) << c.hz;
}

// Bands start at 25 Hz or the first whose lower edge is a bin above DC, end
// below fs/2, and count as measurable from 3 bins wide.
TEST(OctaveBands, BandsOfATransformAndTheNarrowOnes)
{
    const struct { int b, fs, n; const char *first, *firstMeasurable, *last; } cases[] = {
        {3, 4000, 1024, "25", "63", "1.6k"},    {1, 4000, 1024, "31.5", "31.5", "1k"},
        {3, 48000, 1024, "63", "630", "20k"},   {1, 48000, 1024, "125", "250", "16k"},
        {3, 48000, 16384, "25", "40", "20k"},   {3, 11025, 2048, "25", "80", "4k"},
    };
    for (const auto& c : cases) {
        const std::vector<Band> bands = bandsFor(c.b, c.fs, c.n);
        ASSERT_FALSE(bands.empty()) << c.fs << " " << c.n;
        EXPECT_EQ(frequencyLabel(bands.front().nominal), c.first) << c.fs << " " << c.n;
        EXPECT_EQ(frequencyLabel(bands.back().nominal), c.last) << c.fs << " " << c.n;
        const auto measurable = std::find_if(bands.begin(), bands.end(), [](const Band& b) { return b.measurable; });
        ASSERT_NE(measurable, bands.end());
        EXPECT_EQ(frequencyLabel(measurable->nominal), c.firstMeasurable) << c.fs << " " << c.n;
        EXPECT_TRUE(std::all_of(measurable, bands.end(), [](const Band& b) { return b.measurable; }));
    }
    EXPECT_EQ(narrowReason(bandsFor(3, 4000, 1024).front(), 4000, 1024),
              "narrower than 3 bins at 4000 Hz / 1024 samples");
}

// White noise (the same power in every bin, under Hann's noise bandwidth of
// 1.5 bins) rises 10 log10 G / b per band: 1 dB per third, 3 dB per octave;
// a tone at a mid-band frequency, in one bin or spread over three as Hann
// spreads it, reads its level in its band and nothing in the others.
TEST(OctaveBands, WhiteNoiseAndTones)
{
    const struct { int fs, n; } settings[] = {{4000, 1024}, {48000, 16384}, {48000, 1024}, {8000, 4096}};
    for (const auto& s : settings) {
        const int bins = s.n / 2 + 1;
        for (int b : {1, 3}) {
            const std::vector<Band> bands = bandsFor(b, s.fs, s.n);
            std::vector<float> flat(bins, 1.0f);
            const std::vector<double> noise = bandLevels(bands, flat.data(), bins, 1.5);
            for (size_t i = 1; i < bands.size(); ++i) {
                if (bands[i - 1].measurable) {
                    EXPECT_NEAR(noise[i] - noise[i - 1], 3.0 / b, b == 3 ? 0.05 : 0.1) << bands[i].nominal;
                }
            }
            for (size_t i = 0; i < bands.size(); ++i) {
                if (!bands[i].measurable)
                    continue;
                const int k = static_cast<int>(std::lround(bands[i].mid * s.n / s.fs));
                const bool spread = k - 1.5 >= bands[i].loBin && k + 1.5 <= bands[i].hiBin;
                std::vector<float> tone(bins, 0.0f);
                tone[k] = 1000.0f;
                if (spread)
                    tone[k - 1] = tone[k + 1] = 250.0f;
                const std::vector<double> levels = bandLevels(bands, tone.data(), bins, spread ? 1.5 : 1.0);
                for (size_t j = 0; j < bands.size(); ++j)
                    EXPECT_NEAR(levels[j], j == i ? 30.0 : kSilentLevel, 0.1)
                        << s.fs << "/" << s.n << " tone " << bands[i].nominal << " band " << bands[j].nominal;
            }
        }
    }
}

// At the extremes of the settings and from a narrow to a wide graph, the grid
// is 1-2-5 per decade over the whole axis, and labels (7 pixels a character)
// lie inside the axis without overlapping, decades first.
TEST(LogAxis, GridAndLabels)
{
    using namespace log_axis;
    const auto sevenPerChar = [](const std::string& s) { return 7 * static_cast<int>(s.size()); };
    const struct { int fs, n; double fmin; int decades; } settings[] = {
        {4000, 1024, 10.0, 3}, {48000, 16384, 10.0, 4}, {48000, 1024, 46.875, 3}};
    for (const auto& s : settings) {
        for (int width : {40, 120, 300, 700, 2400}) {
            const Axis axis = axisFor(s.fs, s.n, width);
            EXPECT_EQ(axis.fmin, s.fmin);
            EXPECT_NEAR(axis.x(axis.fmin), 0.0, 1e-9);
            EXPECT_NEAR(axis.x(s.fs / 2.0), width - 1, 1e-9);
            EXPECT_NEAR(axis.frequency(axis.x(1234.5)), 1234.5, 1e-6);
            const std::vector<GridLine> lines = gridLines(axis);
            ASSERT_FALSE(lines.empty());
            // 1 -> 2 -> 5 -> 10: the factor to the next line, and from the one before.
            const auto up = [](int m) { return m == 2 ? 2.5 : 2.0; };
            const auto down = [](int m) { return m == 5 ? 2.5 : 2.0; };
            EXPECT_LT(lines.front().hz / down(lines.front().mantissa), axis.fmin);
            EXPECT_GT(lines.back().hz * up(lines.back().mantissa), axis.fmax);
            for (size_t i = 1; i < lines.size(); ++i) {
                EXPECT_NEAR(lines[i].hz / lines[i - 1].hz, up(lines[i - 1].mantissa), 1e-9);
                EXPECT_GT(lines[i].x, lines[i - 1].x);
            }
            const std::vector<Label> labels = placeLabels(axis, lines, sevenPerChar, 4);
            int end = 0, decades = 0;  // the right edge of the last label
            for (const Label& l : labels) {
                EXPECT_GE(l.left, end) << width << ": " << l.text << " overlaps";
                EXPECT_LE(l.left + l.width, width) << l.text;
                end = l.left + l.width + 4;
                decades += l.text == "10" || l.text == "100" || l.text == "1k" || l.text == "10k";
            }
            // At 120 pixels and wider every decade is labelled, at 2400 every line.
            if (width >= 120) {
                EXPECT_EQ(decades, s.decades) << width;
            }
            if (width >= 2400) {
                EXPECT_EQ(labels.size(), lines.size());
            }
        }
    }
}

}  // namespace
