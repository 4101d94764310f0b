// GuiLevelMeter: a bar of twenty segments showing a mean level in whole dB;
// GuiReferenceMeter and GuiAnalysisMeter show the Reference and the Analysis
// level and differ only in that parameter and the brush of their middle
// segments.
//
// How it works
// - pitch = (w - 1) / 20 and the bar of 20 pitches is centred in the meter,
//   three pixels in from the top and bottom. A segment is lit when the level
//   reaches its threshold (GuiGeometry::kMeterThresholds); segments are
//   pitch - 1 pixels wide, so a one-pixel gap of the bar brush separates
//   them. Segments 1..4 use the low brush, 5..14 the middle brush, 15..20
//   the high brush.
#pragma once

#include "gui/GuiWindow.h"

class GuiLevelMeter : public GuiWindow {
public:
    explicit GuiLevelMeter(GuiOwner* owner) : GuiWindow(owner) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Plain pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HBRUSH eraseBrush() const;                // 40
    virtual HBRUSH middleSegmentBrush() const = 0;
    virtual HBRUSH lowSegmentBrush() const;           // 41
    virtual HBRUSH highSegmentBrush() const;          // 44
    virtual HBRUSH barBrush() const;                  // 73
    // The level shown, in whole dB; 0 without owner or store.
    virtual int level() const = 0;

protected:
    ~GuiLevelMeter() = default;

private:
    LRESULT paint(HWND window, bool now = false);
};

class GuiReferenceMeter final : public GuiLevelMeter {
public:
    explicit GuiReferenceMeter(GuiOwner* owner) : GuiLevelMeter(owner) {}
    HBRUSH middleSegmentBrush() const override;  // 42
    int level() const override;                  // 0 RefMeanLevel, 0 without data
};

class GuiAnalysisMeter final : public GuiLevelMeter {
public:
    explicit GuiAnalysisMeter(GuiOwner* owner) : GuiLevelMeter(owner) {}
    HBRUSH middleSegmentBrush() const override;  // 43
    int level() const override;                  // 1 AnaMeanLevel, 0 without data
};
