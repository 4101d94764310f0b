// The main window's computed texts, checked against the worked examples that
// define them (sample window, band line, scales, readout rounding, the
// sound-error boxes).
#include <gtest/gtest.h>

#include "mainwindow/MainWindowText.h"

using namespace mainwindow_text;

TEST(SampleWindowText, WorkedExamples)
{
    struct Case {
        int samples, rate, integration;
        const wchar_t* text;
    };
    const Case cases[] = {
        {1024, 12000, 16, L"Sample Window 0.085    Integration Time 1.360 sec"},  // defaults
        {16384, 48000, 1000, L"Sample Window 0.341    Integration Time 341.000 sec"},
        {16384, 4000, 1000, L"Sample Window 4.096    Integration Time 4096.000 sec"},
        // 2048 / 24000 s = 85.33 ms -> 85 ms; 85 x 250 = 21250 ms, not 21333.
        {2048, 24000, 250, L"Sample Window 0.085    Integration Time 21.250 sec"},
        // A zero rate shows zero instead of failing.
        {1024, 0, 16, L"Sample Window 0.000    Integration Time 0.000 sec"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(sampleWindowText(k.samples, k.rate, k.integration), k.text) << k.samples << " " << k.rate;
}

TEST(BandFrequencyText, Defaults)
{
    EXPECT_EQ(bandFrequencyText(100, 500, 1500, 4000),
              L"Band Frequencies = 100 - 500, 500 - 1500, 1500 - 4000 Hz");
}

TEST(FrequencyScale, FifthsOfHalfTheRateWithTenthsTruncated)
{
    using Scale = std::array<std::wstring, 5>;
    EXPECT_EQ(frequencyScaleTexts(12000), (Scale{L"0 kHz", L"1.5 kHz", L"3.0 kHz", L"4.5 kHz", L"6.0 kHz"}));
    EXPECT_EQ(frequencyScaleTexts(4000), (Scale{L"0 kHz", L"0.5 kHz", L"1.0 kHz", L"1.5 kHz", L"2.0 kHz"}));
    EXPECT_EQ(frequencyScaleTexts(24000), (Scale{L"0 kHz", L"3.0 kHz", L"6.0 kHz", L"9.0 kHz", L"12.0 kHz"}));
    EXPECT_EQ(kiloHertzText(1850), L"1.8 kHz");
    EXPECT_EQ(kiloHertzText(1999), L"1.9 kHz");
}

TEST(DbScale, ThreeRangesAndUnknownSelector)
{
    const std::array<std::wstring, 7> range1{L"120", L"100", L"80", L"60", L"40", L"20", L"0"};
    const std::array<std::wstring, 7> range2{L"100", L"90", L"80", L"70", L"60", L"50", L"40"};
    const std::array<std::wstring, 7> range3{L"90", L"70", L"50", L"30", L"10", L"-10", L"-30"};
    EXPECT_EQ(dbScaleTexts(1), range1);
    EXPECT_EQ(dbScaleTexts(2), range2);
    EXPECT_EQ(dbScaleTexts(3), range3);
    EXPECT_EQ(dbScaleTexts(0), range1);
    EXPECT_EQ(dbScaleTexts(7), range1);
}

TEST(Readout, WorkedExamples)
{
    EXPECT_EQ(readoutText(12.349f), L"12.3");
    EXPECT_EQ(readoutText(12.35f), L"12.4");
    EXPECT_EQ(readoutText(-12.37f), L"-12.4");
    EXPECT_EQ(readoutText(-0.4f), L"-0.4");
    EXPECT_EQ(readoutText(0.0f), L"0.0");
    EXPECT_EQ(readoutText(124.49f), L"124.5");
    EXPECT_EQ(readoutText(99.94f), L"99.9");
    EXPECT_EQ(readoutText(99.95f), L"100.0");
}

TEST(Readout, TenthsUsedForTheThresholdTest)
{
    EXPECT_EQ(readoutTenths(5.0f), 50);
    EXPECT_EQ(readoutTenths(4.96f), 50);
    EXPECT_EQ(readoutTenths(4.94f), 49);
    EXPECT_EQ(readoutTenths(-0.05f), -1);
    EXPECT_EQ(readoutTenths(-0.04f), 0);
}

TEST(Readout, NonFiniteLevelsStayDefined)
{
    const float inf = 1.0f / 0.0f;
    EXPECT_EQ(readoutTenths(inf), 10000000);
    EXPECT_EQ(readoutTenths(-inf), -10000000);
    EXPECT_EQ(readoutTenths(inf - inf), 0);
}

TEST(TenthsText, Signs)
{
    EXPECT_EQ(tenthsText(0), L"0.0");
    EXPECT_EQ(tenthsText(-4), L"-0.4");
    EXPECT_EQ(tenthsText(-124), L"-12.4");
    EXPECT_EQ(tenthsText(1200), L"120.0");
}

TEST(SoundError, Captions)
{
    EXPECT_EQ(soundErrorCaption(1), L"Error opening recording device");
    EXPECT_EQ(soundErrorCaption(2), L"Error opening playback device");
    EXPECT_EQ(soundErrorCaption(3), L"Error starting recording device");
    EXPECT_EQ(soundErrorCaption(4), L"Recording device failed");
    EXPECT_EQ(soundErrorCaption(5), L"Playback device failed");
    EXPECT_EQ(soundErrorCaption(7), L"Sound Error 7");
}

TEST(SoundError, TextsSayWhichDeviceWhatWentWrongAndWhatToCheck)
{
    struct Case {
        int stage;
        int code;
        const wchar_t* device;
        const wchar_t* problem;
        bool privacy;  // a microphone: its privacy setting is named
    };
    const Case cases[] = {
        {1, 2, L"recording device", L"no usable", true},
        {3, 6, L"recording device", L"no usable", true},
        {2, 8, L"playback device", L"no usable", false},
        {1, 4, L"recording device", L"in use by another program", false},
        {5, 32, L"playback device", L"in use by another program", false},
        {4, 1, L"recording device", L"reported an error", true},
        {2, 33, L"playback device", L"reported an error", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.stage * 100 + k.code);
        const std::wstring t = soundErrorText(k.stage, k.code);
        EXPECT_NE(t.find(k.device), std::wstring::npos);
        EXPECT_NE(t.find(k.problem), std::wstring::npos);
        EXPECT_NE(t.find(L"(error " + std::to_wstring(k.code) + L")"), std::wstring::npos);
        EXPECT_EQ(t.find(L"Privacy") != std::wstring::npos, k.privacy);
    }
}

TEST(NoticeLine, IsOneShortLine)
{
    for (const std::wstring notice : {kNoticeText, kStartHint}) {
        EXPECT_FALSE(notice.empty());
        EXPECT_EQ(notice.find(L'\n'), std::wstring::npos);
        // 386 pixels of 14-pixel Arial hold about 64 average characters.
        EXPECT_LE(notice.size(), 64u);
    }
}

// The level captions by calibration, weighting and reading: the plain rows
// of the default, a unit line otherwise, "SPL" for calibrated totals only.
TEST(LevelCaptions, FollowCalibrationWeightingAndReading)
{
    struct Case {
        bool spl;
        int weighting, reading;
        const wchar_t *reference, *source, *unit, *axis;
    } cases[] = {
        {false, 0, 0, L"Reference dB", L"Source dB", L"", L"dB"},
        {true, 0, 0, L"Reference", L"Src. total", L"dB mean", L"dB SPL"},
        {true, 0, 1, L"Reference", L"Source", L"dB SPL", L"dB SPL"},
        {false, 1, 1, L"Reference", L"Source", L"dB(A) total", L"dB(A)"},
        {true, 2, 1, L"Reference", L"Source", L"dB(C) SPL", L"dB(C) SPL"},
        {false, 1, 0, L"Reference", L"Src. total", L"dB(A) mean", L"dB(A)"},
        {false, 7, 0, L"Reference dB", L"Source dB", L"", L"dB"},  // unknown: Z
    };
    for (const Case& c : cases) {
        const LevelCaptions got = levelCaptions(c.spl, c.weighting, c.reading);
        EXPECT_EQ(got.reference, c.reference) << c.weighting << c.reading;
        EXPECT_EQ(got.source, c.source) << c.weighting << c.reading;
        EXPECT_EQ(got.unit, c.unit) << c.weighting << c.reading;
        EXPECT_EQ(got.axis, c.axis) << c.weighting << c.reading;
    }
    EXPECT_EQ(overallCaption(1, true), L"LAeq");
    EXPECT_EQ(overallCaption(0, false), L"LZ");
    EXPECT_EQ(overallWeightings(0), (std::array<int, 2>{0, 1}));
    EXPECT_EQ(overallWeightings(2), (std::array<int, 2>{1, 2}));
    EXPECT_EQ(leqTimeText(600.4), L"Leq 00:10:00");
    EXPECT_EQ(leqTimeText(3600.0 * 101 + 61), L"Leq 101:01:01");
    EXPECT_EQ(leqTimeText(-5.0), L"Leq 00:00:00");
}
