#include "gui/GuiFrequencyScale.h"

#include <string>

#include "gui/GdiScope.h"

std::vector<log_axis::Label> GuiFrequencyScale::labels(HDC dc) const
{
    ParameterStore* s = store();
    HWND self = handle();
    HWND graph = graph_.handle();
    RECT area{};
    if (!s || !self || !graph || !GetClientRect(graph, &area) || area.right < 2)
        return {};
    MapWindowPoints(graph, self, reinterpret_cast<POINT*>(&area), 2);
    const int fs = s->get(Param::SampFrq);
    const int n = s->get(Param::NumSamples);
    if (fs <= 0 || n < 2)
        return {};
    const log_axis::Axis axis = log_axis::axisFor(fs, n, area.right - area.left);
    GdiSelection selected(dc, font());
    auto width = [dc](const std::string& text) {
        const std::wstring wide(text.begin(), text.end());
        SIZE extent{};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        return static_cast<int>(extent.cx);
    };
    std::vector<log_axis::Label> placed =
        log_axis::placeLabels(axis, log_axis::gridLines(axis), width, gap());
    for (log_axis::Label& label : placed)
        label.left += area.left;
    return placed;
}

void GuiFrequencyScale::drawContent(HDC dc, const RECT& box)
{
    for (const log_axis::Label& label : labels(dc)) {
        const std::wstring wide(label.text.begin(), label.text.end());
        TextOutW(dc, box.left + label.left, box.top, wide.c_str(), static_cast<int>(wide.size()));
    }
}
