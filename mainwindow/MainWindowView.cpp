// The main window's view group: the View menu's frequency axis (linear or
// logarithmic) and band view (narrow band, octave or third-octave bands).
//
// How it works
// - The menu items (and Ctrl+L, Ctrl+1 .. Ctrl+3) set the FrequencyAxis and
//   BandView options, which are saved at once ("FrequencyAxis",
//   "BandView"); the store tells the window of the change like any other,
//   and followViewOptions shows it: the check marks, the labels under the
//   graph (the linear axis's five, or the logarithmic axis's strip), the
//   graph, and the status line.
// - In a band view the bands narrower than octave::kMinBandBins bins (the
//   lowest ones: the bands widen with frequency) are hatched in the graph
//   and the status line says which and why ("Hatched: < 3 bins to 125 Hz").
#include <string>

#include "analysis/OctaveBands.h"
#include "foundation/Settings.h"
#include "mainwindow/MainMenu.h"
#include "mainwindow/MainWindow.h"
#include "resources/resource.h"

bool MainWindow::createViewGroup(HWND w)
{
    if (!logScale_.create(43, 418, 584, 20, nullptr, IdLogFrequencyScale, w))
        return false;
    followViewOptions();
    return true;
}

bool MainWindow::viewCommand(int id)
{
    ParameterStore* s = parameterStore();
    if (!s)
        return false;
    switch (id) {
    case ID_CMD_LOG_AXIS:
        s->set(Option::FrequencyAxis, s->get(Option::FrequencyAxis) == 1 ? 0 : 1);
        break;
    case ID_CMD_VIEW_NARROW:
    case ID_CMD_VIEW_OCTAVES:
    case ID_CMD_VIEW_THIRDS:
        s->set(Option::BandView, id - ID_CMD_VIEW_NARROW);
        break;
    default:
        return false;
    }
    saveSettings(*s, settings_table::Writer::View);
    return true;
}

void MainWindow::followViewOptions()
{
    ParameterStore* s = parameterStore();
    if (!s || !handle_)
        return;
    const bool log = s->get(Option::FrequencyAxis) == 1;
    const int view = s->get(Option::BandView);
    if (HMENU menu = GetMenu(handle_)) {
        CheckMenuItem(menu, ID_CMD_LOG_AXIS, MF_BYCOMMAND | (log ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuRadioItem(menu, ID_CMD_VIEW_NARROW, ID_CMD_VIEW_THIRDS,
                           ID_CMD_VIEW_NARROW + (view >= 0 && view <= 2 ? view : 0), MF_BYCOMMAND);
    }
    for (GuiLabel& label : frequencyScale_)
        if (HWND h = label.handle())
            ShowWindow(h, log ? SW_HIDE : SW_SHOWNA);
    if (HWND h = logScale_.handle())
        ShowWindow(h, log ? SW_SHOWNA : SW_HIDE);
    invalidate(logScale_);
    invalidate(graph_);
    rebuildStatusLine();
}

std::wstring MainWindow::narrowBandsNote() const
{
    const ParameterStore* s = const_cast<MainWindow*>(this)->parameterStore();
    const int view = s ? s->get(Option::BandView) : 0;
    if (view != 1 && view != 2)
        return std::wstring();
    const int fs = s->get(Param::SampFrq);
    const int n = s->get(Param::NumSamples);
    const std::vector<octave::Band> bands = octave::bandsFor(view == 1 ? 1 : 3, fs, n);
    const octave::Band* highest = nullptr;  // the highest narrow band
    for (const octave::Band& band : bands)
        if (!band.measurable)
            highest = &band;
    if (!highest)
        return std::wstring();
    // Short enough for the status line: "Hatched: < 3 bins to 125 Hz".
    const std::string text = "Hatched: < " + std::to_string(octave::kMinBandBins) + " bins to " +
                             octave::frequencyLabel(highest->nominal) + " Hz";
    return std::wstring(text.begin(), text.end());
}
