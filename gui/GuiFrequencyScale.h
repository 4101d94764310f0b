// The frequency labels under the spectrum graph on its logarithmic axis.
//
// How it works
// - One label as wide as the graph, in place of the linear axis's five
//   (the main window shows one or the other). It asks the graph where its
//   client area lies (the axis is the graph's client width) and places the
//   labels of the grid lines with log_axis::placeLabels, measured with
//   GetTextExtentPoint32W in the labels' font at the window's DPI, so no two
//   ever overlap, at any DPI or rate.
// - It paints as every label does (GuiLabel), its content being those
//   labels instead of its window text.
#pragma once

#include <vector>

#include "analysis/LogAxis.h"
#include "gui/GuiLabels.h"

class GuiFrequencyScale final : public GuiLabel {
public:
    GuiFrequencyScale(GuiOwner* owner, const GuiWindow& graph)
        : GuiLabel(owner, DT_LEFT | DT_TOP | DT_SINGLELINE), graph_(graph)
    {
    }

    // The labels as they are drawn, measured in `dc` with the labels' font;
    // `left` in the strip's client coordinates.
    std::vector<log_axis::Label> labels(HDC dc) const;
    // The labels' gap in pixels at the window's DPI.
    int gap() const { return scaled(6); }

protected:
    void drawContent(HDC dc, const RECT& box) override;

private:
    const GuiWindow& graph_;
};
