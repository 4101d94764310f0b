// Painting leaves the shared paint buffer as it found it, never deletes the
// store's objects, and leaks nothing, however often it runs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestHost.h"
#include "gui/GuiControls.h"
#include "gui/GuiDecorations.h"
#include "gui/GuiLabels.h"
#include "gui/GuiLevelMeter.h"
#include "gui/GuiSpectrumGraph.h"
#include "gui/GuiWaveformView.h"

namespace {

// One of every drawing widget, in the states that draw the most.
struct Everything {
    explicit Everything(TestHost& host) : host(host)
    {
        HWND w = host.window();
        graph = &host.adopt(new GuiSpectrumGraph(&host));
        view = &host.adopt(new GuiWaveformView(&host));
        refMeter = &host.adopt(new GuiReferenceMeter(&host));
        anaMeter = &host.adopt(new GuiAnalysisMeter(&host));
        button = &host.adopt(new GuiButton(&host, 101));
        disabled = &host.adopt(new GuiButton(&host, 102));
        label = &host.adopt(new GuiLabel(&host, DT_RIGHT | DT_VCENTER | DT_SINGLELINE));
        note = &host.adopt(new GuiNoteText(&host, DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL));
        footer = &host.adopt(new GuiFooterLabel(&host, DT_VCENTER | DT_SINGLELINE));
        diff = &host.adopt(new GuiDifferenceLabel(&host, DT_RIGHT | DT_VCENTER | DT_SINGLELINE));
        title = &host.adopt(new GuiTitleLabel(&host, DT_VCENTER | DT_SINGLELINE));
        logo = &host.adopt(new GuiLogo(&host, DT_VCENTER | DT_SINGLELINE));
        progress = &host.adopt(new GuiIntegrationProgress(&host, DT_BOTTOM | DT_SINGLELINE));
        panel = &host.adopt(new GuiPanel(&host));
        diagram = &host.adopt(new GuiBandDiagram(&host));
        swatch = &host.adopt(new GuiColorSwatch(&host, 215));
        edit = &host.adopt(new GuiEdit(&host, 209, 0x82, 5));
        combo = &host.adopt(new GuiComboBox(&host, 206));
        ok = graph->create(43, 216, 584, 204, nullptr, 120, w) && view->create(43, 84, 584, 104, nullptr, 116, w) &&
             refMeter->create(545, 11, 82, 19, nullptr, 113, w) && anaMeter->create(545, 38, 82, 19, nullptr, 114, w) &&
             button->create(188, 8, 70, 25, L"&Reference", 101, w) &&
             disabled->create(261, 8, 70, 25, L"&Analyze", 102, w) &&
             label->create(487, 8, 55, 25, L"Reference", 110, w) &&
             note->create(241, 462, 386, 64, L"Magnitudes are based on the levels reported.", 166, w) &&
             footer->create(241, 440, 386, 20, L"Ready", 165, w) && diff->create(176, 506, 45, 20, L"-1.5", 164, w) &&
             title->create(650, 8, 165, 30, L"Title", 200, w) && logo->create(8, 8, 165, 52, L"Logo", 112, w) &&
             progress->create(477, 194, 150, 20, L"Integrating", 119, w) &&
             panel->create(650, 100, 295, 2, nullptr, 108, w) && diagram->create(650, 120, 311, 10, nullptr, 112, w) &&
             swatch->create(650, 140, 120, 21, nullptr, 124, w) && edit->create(650, 170, 120, 20, L"5.0", 119, w) &&
             combo->create(650, 200, 120, 21, nullptr, 103, w);
        EnableWindow(disabled->handle(), FALSE);
        diff->setBelowThreshold(1);
        brush = CreateSolidBrush(0x00FF00);
        swatch->setBrush(brush);

        ParameterStore& s = host.params();
        s.set(Param::RefMeanLevel, 80);
        s.set(Param::AnaMeanLevel, 120);
        s.set(Param::IntCount, 5);
        s.set(Param::WaveFullScale, 8000);
        s.set(Param::Marker1, 1000);
        s.set(Param::Marker2, 5990);
        s.set(Param::Marker3, 20);
        s.set(Param::NumSamples, 16384);
        s.set(Param::RefMode, 0);
        for (int k = 0; k < 4; ++k) host.bandEdges[k] = (k + 1) * 1000.0f;
        host.refBands[0] = 40.0f;
        host.refBands[1] = 50.0f;
        host.refBands[2] = 60.0f;
        Spectra data;
        for (int i = 0; i < MaxBins; ++i) {
            data.ref()[i] = 50.0f + 20.0f * static_cast<float>((i * 7) % 13) / 13.0f;
            data.ana()[i] = 45.0f + 30.0f * static_cast<float>((i * 5) % 11) / 11.0f;
        }
        for (int i = 0; i <= MaxSamples; ++i) {
            data.refSamples()[i] = static_cast<float>((i * 37) % 16000 - 8000);
            data.anaSamples()[i] = static_cast<float>((i * 53) % 16000 - 8000);
        }
        host.publish(*data.buffer, 16384);
    }
    ~Everything() { DeleteObject(brush); }

    std::vector<HWND> painted() const
    {
        return {graph->handle(), view->handle(),   refMeter->handle(), anaMeter->handle(), button->handle(),
                disabled->handle(), label->handle(), note->handle(),     footer->handle(),   diff->handle(),
                title->handle(),  logo->handle(),   progress->handle(), panel->handle(),    diagram->handle(),
                swatch->handle(), edit->handle(),   combo->handle()};
    }
    void paintAll() const
    {
        for (HWND w : painted()) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        // A marker click, as a user would add one.
        SendMessageW(graph->handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 50));
        UpdateWindow(graph->handle());
    }

    TestHost& host;
    bool ok = false;
    HBRUSH brush = nullptr;
    GuiSpectrumGraph* graph;
    GuiWaveformView* view;
    GuiReferenceMeter* refMeter;
    GuiAnalysisMeter* anaMeter;
    GuiButton* button;
    GuiButton* disabled;
    GuiLabel* label;
    GuiNoteText* note;
    GuiFooterLabel* footer;
    GuiDifferenceLabel* diff;
    GuiTitleLabel* title;
    GuiLogo* logo;
    GuiIntegrationProgress* progress;
    GuiPanel* panel;
    GuiBandDiagram* diagram;
    GuiColorSwatch* swatch;
    GuiEdit* edit;
    GuiComboBox* combo;
};

struct DcState {
    HGDIOBJ pen, brush, font;
    COLORREF text, back;
    int mode;
    bool operator==(const DcState& o) const
    {
        return pen == o.pen && brush == o.brush && font == o.font && text == o.text && back == o.back &&
               mode == o.mode;
    }
};

DcState stateOf(HDC dc)
{
    return {GetCurrentObject(dc, OBJ_PEN), GetCurrentObject(dc, OBJ_BRUSH), GetCurrentObject(dc, OBJ_FONT),
            GetTextColor(dc), GetBkColor(dc), GetBkMode(dc)};
}

}  // namespace

TEST(GdiHygiene, EveryWidgetPutsBackWhatItSelectsAndSets)
{
    TestHost host;
    Everything all(host);
    ASSERT_TRUE(all.ok);
    pumpMessages();
    HDC buffer = host.bufferDc();
    ASSERT_NE(buffer, nullptr);
    HPEN pen = CreatePen(PS_DOT, 1, 0x123456);
    HBRUSH brush = CreateSolidBrush(0x654321);
    HFONT font = CreateFontW(11, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Courier New");
    HGDIOBJ oldPen = SelectObject(buffer, pen);
    HGDIOBJ oldBrush = SelectObject(buffer, brush);
    HGDIOBJ oldFont = SelectObject(buffer, font);
    for (int mode : {OPAQUE, TRANSPARENT}) {
        SetBkMode(buffer, mode);
        SetTextColor(buffer, 0x0A0B0C);
        SetBkColor(buffer, 0x0C0B0A);
        const DcState before = stateOf(buffer);
        for (HWND w : all.painted()) {
            RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            EXPECT_TRUE(stateOf(buffer) == before) << "after " << GetDlgCtrlID(w) << " mode " << mode;
        }
        // A button in its pressed and focused looks.
        SetFocus(all.button->handle());
        SendMessageW(all.button->handle(), BM_SETSTATE, TRUE, 0);
        UpdateWindow(all.button->handle());
        EXPECT_TRUE(stateOf(buffer) == before) << "pressed button";
        SendMessageW(all.button->handle(), BM_SETSTATE, FALSE, 0);
        UpdateWindow(all.button->handle());
        EXPECT_TRUE(stateOf(buffer) == before) << "focused button";
    }
    SelectObject(buffer, oldPen);
    SelectObject(buffer, oldBrush);
    SelectObject(buffer, oldFont);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(font);
}

TEST(GdiHygiene, SharedObjectsSurviveAndNothingLeaksPerPaint)
{
    std::vector<HGDIOBJ> shared;
    int leakedByCheck = 0;
    {
        TestHost host;
        for (int id = 27; id <= 52; ++id) shared.push_back(host.params().handle<HGDIOBJ>(id));
        shared.push_back(host.params().handle<HGDIOBJ>(73));
        {
            Everything all(host);
            ASSERT_TRUE(all.ok);
            pumpMessages();
            for (int i = 0; i < 20; ++i) all.paintAll();  // warm up: caches, the logo's DC
            pumpMessages();
            const int before = gdiObjectCount();
            ASSERT_GT(before, 0) << "the GDI handle table cannot be read";
            for (int i = 0; i < 200; ++i) all.paintAll();
            pumpMessages();
            const int after = gdiObjectCount();
            EXPECT_EQ(after, before) << "GDI objects leaked by painting";

            // The check itself: a deliberate leak of a few objects shows up,
            // exactly.
            std::vector<HGDIOBJ> leak;
            for (int i = 0; i < 8; ++i) leak.push_back(CreatePen(PS_SOLID, 1, RGB(i, 0, 0)));
            leak.push_back(CreateCompatibleDC(host.bufferDc()));
            leakedByCheck = gdiObjectCount() - after;
            for (HGDIOBJ p : leak) GetObjectType(p) == OBJ_MEMDC ? DeleteDC(static_cast<HDC>(p)) : DeleteObject(p);
            EXPECT_EQ(gdiObjectCount(), after);

            // No widget deleted a shared object while painting.
            for (HGDIOBJ h : shared) EXPECT_NE(GetObjectType(h), 0u) << h;
        }
        host.close();
        // Nor when the windows went.
        for (HGDIOBJ h : shared) EXPECT_NE(GetObjectType(h), 0u) << h;
    }
    EXPECT_EQ(leakedByCheck, 9);
}

TEST(GdiHygiene, WidgetsCreatedAndDestroyedLeakNothing)
{
    // Each round makes a top-level window with its store's objects and paint
    // buffer, and one of every widget, paints, and destroys it all. The first
    // round warms what Wine makes once per process.
    auto round = [] {
        TestHost host;
        Everything all(host);
        EXPECT_TRUE(all.ok);
        all.paintAll();
        pumpMessages();
    };
    round();
    const int before = gdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 5; ++i) round();
    EXPECT_EQ(gdiObjectCount(), before);
}
