// The gallery: one window holding every widget of the toolkit in typical
// states, laid out like the analyzer's main window (left) and configuration
// window (right), with synthetic measurement data. It writes screenshots to
// $QX_SCREENSHOTS: gallery_n1024.png, gallery_n16384.png (the whole window
// after a measurement at each block size) and crops of the graph and the
// buttons. Look at them: this is what users see.
//
// Run it with  scripts/run gallery  (a private X display; the pictures land
// in build/screenshots). It is no test: it only makes the pictures, and says
// so when a widget drew nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
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

constexpr int kLeft = 0;     // main-window part
constexpr int kRight = 650;  // configuration part

class Gallery {
public:
    explicit Gallery(TestHost& host) : host_(host) {}

    template <class T>
    T& add(T* widget, int x, int y, int w, int h, const wchar_t* caption, int id)
    {
        T& made = host_.adopt(widget);
        if (!made.create(x, y, w, h, caption, id, host_.window()))
            ok = false;
        return made;
    }
    GuiLabel& label(int x, int y, int w, int h, const wchar_t* text, int format, int id = 0)
    {
        return add(new GuiLabel(&host_, format), x, y, w, h, text, id);
    }

    bool ok = true;
    GuiSpectrumGraph* graph = nullptr;
    GuiWaveformView* view = nullptr;
    GuiButton* buttons[7] = {};
    GuiReferenceMeter* refMeter = nullptr;
    GuiAnalysisMeter* anaMeter = nullptr;

private:
    TestHost& host_;
};

// A measurement: a room's background noise as the Reference, the same with
// two tones as the Analysis.
void makeData(Spectra& s, int n, int fs)
{
    std::mt19937 random(7);
    std::normal_distribution<float> jitter(0.0f, 2.5f);
    const int half = n / 2;
    auto tone = [&](int b, float f, float level) {
        const float binHz = static_cast<float>(fs) / n;
        const float d = (b * binHz - f) / binHz;
        return level - 6.0f * d * d;
    };
    for (int b = 0; b <= half; ++b) {
        const float hz = static_cast<float>(b) * fs / n;
        const float floor = 58.0f - 14.0f * std::log10(1.0f + hz / 60.0f);
        s.ref()[b] = floor + jitter(random);
        float a = floor + 3.0f + jitter(random);
        a = std::max(a, tone(b, 1000.0f, 88.0f));
        a = std::max(a, tone(b, 2500.0f, 72.0f));
        a = std::max(a, tone(b, 440.0f, 64.0f));
        s.ana()[b] = a;
    }
    std::normal_distribution<float> noise(0.0f, 300.0f);
    const float pi = 3.14159265f;
    for (int i = 0; i < n; ++i) {
        s.refSamples()[i] = 2500.0f * std::sin(2 * pi * 180.0f * i / fs) + noise(random);
        s.anaSamples()[i] = 5200.0f * std::sin(2 * pi * 1000.0f * i / fs) +
                            1800.0f * std::sin(2 * pi * 2500.0f * i / fs) + noise(random);
    }
}

std::wstring kHz(int f)
{
    wchar_t text[32];
    swprintf(text, 32, L"%d.%d kHz", f / 1000, (f / 100) % 10);
    return text;
}

}  // namespace

TEST(Gallery, EveryWidgetInTypicalStates)
{
    TestHost host(980, 620, L"Toolkit gallery");
    ParameterStore& s = host.params();
    Gallery g(host);
    const int fs = 12000;

    // ---- the main window's widgets, at their places in it
    g.add(new GuiLogo(&host, DT_VCENTER | DT_SINGLELINE), kLeft + 8, 8, 165, 52,
          L"Tevra Audio Spectrum Analyzer", 112);
    const wchar_t* captions[7] = {L"&Reference", L"&Analyze", L"&Pause", L"&Line Control",
                                  L"R&ecorder", L"&Config", L"&Defaults"};
    const int codes[7] = {101, 102, 103, 105, 106, 104, 107};
    const int bx[7] = {188, 261, 334, 188, 261, 334, 407};
    const int by[7] = {8, 8, 8, 35, 35, 35, 35};
    for (int i = 0; i < 7; ++i)
        g.buttons[i] = &g.add(new GuiButton(&host, codes[i]), kLeft + bx[i], by[i], 70, 25, captions[i], codes[i]);
    g.label(kLeft + 487, 8, 55, 25, L"Reference", 38, 110);
    g.label(kLeft + 487, 35, 55, 25, L"Analyze", 38, 111);
    g.refMeter = &g.add(new GuiReferenceMeter(&host), kLeft + 545, 11, 82, 19, nullptr, 113);
    g.anaMeter = &g.add(new GuiAnalysisMeter(&host), kLeft + 545, 38, 82, 19, nullptr, 114);
    g.label(kLeft + 43, 62, 75, 20, L"Audio", 40, 115);
    g.label(kLeft + 121, 62, 300, 20, L"Sample Window 0.085    Integration Time 1.360 sec", 40, 167);
    g.view = &g.add(new GuiWaveformView(&host), kLeft + 43, 84, 584, 100, nullptr, 116);
    g.label(kLeft + 43, 194, 75, 20, L"Frequency", 40, 117);
    g.label(kLeft + 121, 194, 360, 20, L"Band Frequencies = 100 - 500, 500 - 1500, 1500 - 4000 Hz", 40, 118);
    auto& progress = g.add(new GuiIntegrationProgress(&host, 40), kLeft + 477, 194, 150, 20, L"Integrating", 119);
    progress.setRange(0, 100);
    g.graph = &g.add(new GuiSpectrumGraph(&host), kLeft + 43, 216, 584, 200, nullptr, 120);
    g.label(kLeft + 5, 306, 15, 20, L"dB", 36, 122);
    for (int i = 0; i <= 6; ++i) {
        const int y = i == 0 ? 216 : i == 6 ? 396 : 216 + static_cast<int>(i * 33.333333333333336 - 10);
        wchar_t text[8];
        swprintf(text, 8, L"%d", 120 - 20 * i);
        g.label(kLeft + 20, y, 20, 20, text, i == 0 ? 34 : i == 6 ? 42 : 38, 123 + i);
    }
    for (int i = 0; i <= 4; ++i) {
        const int x = i == 0 ? 43 : i == 4 ? 547 : 43 + (i * 146 - 40);
        const std::wstring text = i == 0 ? L"0 kHz" : kHz(fs / 8 * i);
        g.label(kLeft + x, 418, 80, 20, text.c_str(), i == 0 ? 32 : i == 4 ? 34 : 33, 140 + i);
    }
    const wchar_t* bands[3] = {L"Band 1", L"Band 2", L"Band 3"};
    const wchar_t* rows[3] = {L"Reference dB", L"Analysis dB", L"Difference"};
    const wchar_t* values[3][3] = {{L"52.4", L"47.1", L"43.9"}, {L"61.0", L"79.6", L"45.2"}, {L"8.6", L"32.5", L"1.3"}};
    for (int i = 0; i < 3; ++i) {
        g.label(kLeft + 86 + 50 * i, 440, 45, 20, bands[i], 38, 150 + i);
        g.label(kLeft + 8, 462 + 22 * i, 75, 20, rows[i], 36, 153 + i);
        g.label(kLeft + 76 + 50 * i, 462, 45, 20, values[0][i], 38, 156 + i);
        g.label(kLeft + 76 + 50 * i, 484, 45, 20, values[1][i], 38, 159 + i);
        auto& diff = g.add(new GuiDifferenceLabel(&host, 38), kLeft + 76 + 50 * i, 506, 45, 20, values[2][i], 162 + i);
        diff.setBelowThreshold(i == 2);
    }
    g.add(new GuiFooterLabel(&host, 36), kLeft + 241, 440, 386, 20, L"Analysis running: band 3 is below the threshold.", 165);
    g.add(new GuiNoteText(&host, 8272), kLeft + 241, 462, 386, 64,
          L"Magnitudes are based on the levels reported by the sound recording device.  Due to effects "
          L"caused by automatic gain control, adjustable volume controls, internal computer noise, and "
          L"other factors, these numbers should only be used as a general reference.",
          166);

    // ---- the configuration window's widgets
    const int R = kRight;
    g.label(R + 8, 8, 100, 20, L"Sampling", 36, 301);
    const wchar_t* listLabels[3] = {L"Frequency", L"Number of Samples", L"Integration Level"};
    for (int i = 0; i < 3; ++i) {
        g.label(R + 70, 31 + 23 * i, 110, 21, listLabels[i], 36, 302 + i);
        auto& combo = g.add(new GuiComboBox(&host, 206 + i), R + 183, 31 + 23 * i, 120, 21, nullptr, 310 + i);
        const wchar_t* items[3][3] = {{L"8", L"12", L"24"}, {L"1024", L"2048", L"4096"}, {L"8", L"16", L"32"}};
        for (const wchar_t* item : items[i])
            SendMessageW(combo.handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        SendMessageW(combo.handle(), CB_SETCURSEL, 1, 0);
    }
    g.add(new GuiPanel(&host), R + 8, 108, 295, 2, nullptr, 320);
    g.label(R + 8, 118, 100, 20, L"Decibels", 36, 321);
    g.label(R + 70, 141, 110, 21, L"Threshold", 36, 322);
    g.add(new GuiEdit(&host, 209, 0x82, 5), R + 183, 143, 120, 20, L"5.0", 323);
    g.add(new GuiPanel(&host), R + 8, 172, 295, 2, nullptr, 324);
    g.label(R + 8, 182, 110, 21, L"Display Colors", 36, 325);
    const wchar_t* colourNames[6] = {L"Background", L"Grid Lines", L"Reference", L"Analysis", L"Threshold", L"Bands"};
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 6; ++i) {
        g.label(R + 70, 205 + 23 * i, 110, 21, colourNames[i], 36, 330 + i);
        auto& swatch = g.add(new GuiColorSwatch(&host, 215 + i), R + 183, 205 + 23 * i, 120, 21, nullptr, 340 + i);
        brushes.push_back(CreateSolidBrush(static_cast<COLORREF>(s.get(Param::BackColor + i))));
        swatch.setBrush(brushes.back());
    }
    g.add(new GuiPanel(&host), R + 8, 348, 295, 2, nullptr, 350);
    g.label(R + 8, 358, 100, 20, L"Bands", 36, 351);
    for (int i = 0; i < 3; ++i) g.label(R + 47 + 78 * i + (i == 2), 380, 60, 20, bands[i], 41, 352 + i);
    g.add(new GuiBandDiagram(&host), R + 0, 402, 311, 10, nullptr, 355);
    const wchar_t* limits[4] = {L"100", L"500", L"1500", L"4000"};
    const int lx[4] = {8, 86, 165, 243};
    for (int i = 0; i < 4; ++i)
        g.add(new GuiEdit(&host, 211 + i, 0x2082, 5), R + lx[i], 414, 60, 20, limits[i], 360 + i);
    g.add(new GuiPanel(&host), R + 8, 444, 295, 2, nullptr, 365);
    const wchar_t* cfgButtons[5] = {L"Apply", L"Save", L"Defaults", L"Okay", L"Cancel"};
    const int cx[5] = {28, 118, 208, 73, 163};
    const int cy[5] = {456, 456, 456, 491, 491};
    for (int i = 0; i < 5; ++i) g.add(new GuiButton(&host, 201 + i), R + cx[i], cy[i], 75, 25, cfgButtons[i], 370 + i);
    g.add(new GuiTitleLabel(&host, 37), R + 8, 530, 300, 30, L"A title label", 380);
    ASSERT_TRUE(g.ok);

    // ---- states
    EnableWindow(g.buttons[1]->handle(), FALSE);  // Analyze: disabled
    SetFocus(g.buttons[0]->handle());              // Reference: focused
    SendMessageW(g.buttons[2]->handle(), BM_SETSTATE, TRUE, 0);  // Pause: pressed
    s.set(Param::SampFrq, fs);
    s.set(Param::IntLvl, 16);
    s.set(Param::IntCount, 4);
    s.set(Param::RefMeanLevel, 72);
    s.set(Param::AnaMeanLevel, 96);
    s.set(Param::WaveFullScale, 8000);
    s.set(Param::RefMode, 0);
    s.set(Param::Marker1, 1000);
    s.set(Param::Marker2, 2500);
    s.set(Param::Marker3, 5950);
    s.set(Param::Marker4, 60);
    const float bandHz[4] = {100, 500, 1500, 4000};
    host.refBands[0] = 52.4f;
    host.refBands[1] = 47.1f;
    host.refBands[2] = 43.9f;

    const std::wstring dir = screenshotPath(L"");
    for (int n : {1024, 16384}) {
        s.set(Param::NumSamples, n);
        for (int k = 0; k < 4; ++k) host.bandEdges[k] = bandHz[k] * n / fs;
        Spectra data;
        makeData(data, n, fs);
        host.publish(*data.buffer, n);
        RedrawWindow(host.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pumpMessages(100, 2000);

        // What reached the screen: the graph shows both traces and the band
        // outlines, the waveform both blocks, the meters their segments.
        const Image graph = captureClient(g.graph->handle());
        EXPECT_GT(graph.count(0xFF0000), 300) << n;   // Reference trace
        EXPECT_GT(graph.count(0x00FF00), 30) << n;    // Analysis above the threshold
        EXPECT_GT(graph.count(0x0000FF), 100) << n;   // Analysis below it
        EXPECT_GT(graph.count(0xFFFFFF), 100) << n;   // bands, markers, labels
        const Image wave = captureClient(g.view->handle());
        EXPECT_GT(wave.count(0xFF0000), 300) << n;
        EXPECT_GT(wave.count(0x00FF00), 300) << n;
        EXPECT_GT(captureClient(g.refMeter->handle()).count(0xFF0000), 10) << n;

        if (!dir.empty()) {
            wchar_t name[64];
            swprintf(name, 64, L"gallery_n%d.png", n);
            const Image whole = qxsupport::captureWindow(host.window());
            EXPECT_TRUE(whole.writePng(dir + name)) << n;
            swprintf(name, 64, L"gallery_graph_n%d.png", n);
            EXPECT_TRUE(graph.writePng(dir + name)) << n;
        }
    }
    if (!dir.empty()) {
        RECT r;
        GetWindowRect(g.buttons[0]->handle(), &r);
        POINT topLeft{r.left, r.top};
        ScreenToClient(host.window(), &topLeft);
        HDC dc = GetDC(host.window());
        const Image buttons(dc, topLeft.x - 4, topLeft.y - 4, 300, 60);
        ReleaseDC(host.window(), dc);
        EXPECT_TRUE(buttons.writePng(dir + L"gallery_buttons.png"));
        printf("screenshots written to %ls\n", dir.c_str());
    } else {
        printf("QX_SCREENSHOTS is not set: no screenshots written\n");
    }
    host.close();
    for (HBRUSH b : brushes) DeleteObject(b);
}
