// The drawing arithmetic on its own: ranges, column mapping, meter segments,
// integration progress, marker rules and label text.
#include <gtest/gtest.h>

#include <string>

#include "gui/GuiGeometry.h"

using namespace GuiGeometry;

TEST(Geometry, LayoutLengthsScaleAsMulDivRounds)
{
    for (int v : {0, 1, 2, 3, 5, 15, 20, 165, 574, 639, -7})
        EXPECT_EQ(scaleForDpi(v, 96), v) << v;
    EXPECT_EQ(scaleForDpi(165, 120), 206);  // 206.25
    EXPECT_EQ(scaleForDpi(2, 120), 3);      // 2.5 rounds up
    EXPECT_EQ(scaleForDpi(165, 144), 248);  // 247.5 rounds up
    EXPECT_EQ(scaleForDpi(52, 144), 78);
    EXPECT_EQ(scaleForDpi(1, 144), 2);      // 1.5
    EXPECT_EQ(scaleForDpi(584, 192), 1168);
    EXPECT_EQ(scaleForDpi(-5, 144), -8);    // -7.5: away from zero, as MulDiv
    EXPECT_EQ(scaleForDpi(-3, 120), -4);    // -3.75
    EXPECT_EQ(scaleForDpi(7, 168), 12);     // 12.25
}

TEST(Geometry, DisplayRanges)
{
    EXPECT_EQ(displayRange(1).bottom, 0);
    EXPECT_EQ(displayRange(1).top, 120);
    EXPECT_EQ(displayRange(2).bottom, 40);
    EXPECT_EQ(displayRange(2).top, 100);
    EXPECT_EQ(displayRange(3).bottom, -30);
    EXPECT_EQ(displayRange(3).top, 90);
    for (int other : {0, 4, -1, 99}) {
        EXPECT_EQ(displayRange(other).bottom, 0) << other;
        EXPECT_EQ(displayRange(other).top, 120) << other;
    }
}

TEST(Geometry, ColumnMapping)
{
    // N = 1024 on 580 pixels: 511 columns, 580/512 apart, one bin each.
    ColumnMapping m = columnMapping(1024, 580);
    EXPECT_EQ(m.columns, 511);
    EXPECT_FLOAT_EQ(m.xStep, 580.0f / 512.0f);
    EXPECT_FLOAT_EQ(m.binsPerColumn, 1.0f);
    // N = 16384: 579 columns one pixel apart, about 14 bins each.
    m = columnMapping(16384, 580);
    EXPECT_EQ(m.columns, 579);
    EXPECT_FLOAT_EQ(m.xStep, 1.0f);
    EXPECT_NEAR(m.binsPerColumn, 14.124, 0.001);
    // Exactly as many bins as pixels: one bin per column.
    m = columnMapping(1160, 580);
    EXPECT_EQ(m.columns, 579);
    EXPECT_FLOAT_EQ(m.xStep, 1.0f);
    EXPECT_FLOAT_EQ(m.binsPerColumn, 1.0f);
}

TEST(Geometry, MeterSegments)
{
    // The level from which each segment lights.
    const int thresholds[20] = {10, 20, 30, 40, 45, 48, 51, 54, 57, 60,
                                63, 66, 69, 72, 76, 85, 92, 100, 115, 130};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(meterLitSegments(thresholds[i] - 1), i) << thresholds[i];
        EXPECT_EQ(meterLitSegments(thresholds[i]), i + 1) << thresholds[i];
    }
    EXPECT_EQ(meterLitSegments(1000), 20);
    EXPECT_EQ(meterLitSegments(-100), 0);
    EXPECT_EQ(meterGeometry(82).pitch, 4);
    EXPECT_EQ(meterGeometry(82).margin, 1);
    EXPECT_EQ(meterGeometry(100).pitch, 4);
    EXPECT_EQ(meterGeometry(100).margin, 10);
    EXPECT_EQ(meterGeometry(21).pitch, 1);
    EXPECT_EQ(meterGeometry(21).margin, 0);
}

TEST(Geometry, IntegrationProgress)
{
    EXPECT_EQ(integrationProgressValue(0, 100, 16, 4), 25);
    EXPECT_EQ(integrationProgressValue(0, 100, 16, 16), 100);
    EXPECT_EQ(integrationProgressValue(0, 100, 16, 17), 100);
    EXPECT_EQ(integrationProgressValue(0, 100, 0, 0), 100);
    EXPECT_EQ(integrationProgressValue(0, 100, 0, -1), 0);   // target <= 0, not reached
    EXPECT_EQ(integrationProgressValue(0, 100, 3, 1), 33);   // integer arithmetic
    EXPECT_EQ(integrationProgressValue(10, 20, 4, 2), 15);
}

TEST(Geometry, MarkerLabelPlace)
{
    // Centred when there is room.
    EXPECT_EQ(markerLabelLeft(290, 40, 0, 580), 270);
    // Two pixels in at the left edge.
    EXPECT_EQ(markerLabelLeft(1, 40, 0, 580), 2);
    EXPECT_EQ(markerLabelLeft(21, 40, 0, 580), 2);
    EXPECT_EQ(markerLabelLeft(22, 40, 0, 580), 2);
    EXPECT_EQ(markerLabelLeft(23, 40, 0, 580), 3);
    // Flush with the right edge.
    EXPECT_EQ(markerLabelLeft(579, 40, 0, 580), 540);
    EXPECT_EQ(markerLabelLeft(560, 40, 0, 580), 540);
    EXPECT_EQ(markerLabelLeft(559, 40, 0, 580), 539);
    // At 200 % the label keeps four pixels from the left edge.
    EXPECT_EQ(markerLabelLeft(10, 80, 0, 1160, 4), 4);
    EXPECT_EQ(markerLabelLeft(100, 80, 0, 1160, 4), 60);
}

TEST(Geometry, MarkerPlaces)
{
    const int empty[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(markerPlaceForAdd(empty), 0);
    const int two[5] = {100, 200, -1, -1, -1};
    EXPECT_EQ(markerPlaceForAdd(two), 2);
    const int four[5] = {100, 200, 300, 400, -1};
    EXPECT_EQ(markerPlaceForAdd(four), 4);
    const int full[5] = {100, 200, 300, 400, 500};
    EXPECT_EQ(markerPlaceForAdd(full), kMarkerReplacesOldest);
}

TEST(Geometry, MarkerRemoval)
{
    const int m[5] = {600, 1200, 1800, 2400, -1};
    // fs = 12000: within 60 Hz.
    EXPECT_EQ(markerToRemove(m, 1241.0, 12000), 1);
    EXPECT_EQ(markerToRemove(m, 1260.0, 12000), 1);    // exactly 1 %
    EXPECT_EQ(markerToRemove(m, 1260.5, 12000), -1);
    EXPECT_EQ(markerToRemove(m, 1500.0, 12000), -1);
    // A tie goes to the earlier marker.
    const int tie[5] = {1000, 1040, -1, -1, -1};
    EXPECT_EQ(markerToRemove(tie, 1020.0, 12000), 0);
    // The walk stops at the first empty place.
    const int gap[5] = {600, -1, 1800, -1, -1};
    EXPECT_EQ(markerToRemove(gap, 1800.0, 12000), -1);
    const int none[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(markerToRemove(none, 0.0, 12000), -1);
}

TEST(Geometry, MarkerLabelText)
{
    wchar_t text[64];
    const float a = 84.26f;
    EXPECT_EQ(formatMarkerLabel(1000, 62.14f, &a, text, 64), 26);
    EXPECT_EQ(std::wstring(text), L"1000 Hz  R 62.1  A 84.3 dB");
    EXPECT_EQ(formatMarkerLabel(20, -3.0f, nullptr, text, 64), 16);
    EXPECT_EQ(std::wstring(text), L"20 Hz  R -3.0 dB");
    formatMarkerLabel(1000, 62.14f, &a, text, 64, L"dB(A) SPL");
    EXPECT_EQ(std::wstring(text), L"1000 Hz  R 62.1  A 84.3 dB(A) SPL");
}

TEST(Geometry, AClickSnapsToTheHighestBinWithinReach)
{
    const float s[10] = {99, 1, 5, 2, 3, 9, 2, 2, 8, 1};
    EXPECT_EQ(snapToPeak(s, 3, 2, 9), 5);   // 9 two bins up, not the DC
    EXPECT_EQ(snapToPeak(s, 3, 1, 9), 2);
    EXPECT_EQ(snapToPeak(s, 7, 1, 9), 8);
    EXPECT_EQ(snapToPeak(s, 7, 0, 9), 7);   // no reach: exact
    EXPECT_EQ(snapToPeak(s, 0, 1, 9), 2);   // never the DC bin
    EXPECT_EQ(snapToPeak(s, 12, 1, 9), 8);  // held to the last bin
}
