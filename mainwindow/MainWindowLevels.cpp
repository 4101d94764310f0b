// The main window's levels group: the overall levels beside the band
// readouts, and the Leq's time in the progress bar.
//
// How it works
// - With the OverallLevels option, two columns follow the three bands: the
//   whole-band level of the Reference, the Analysis, their difference and
//   the source under the chosen weighting, and A or C beside it (LA and LC
//   side by side, the low-frequency check). While they are shown the notice
//   and the note under the graph move right by the two columns' width (the
//   notice in shorter words, the note down to the source's row); without
//   the option the window is laid out as it always was.
// - With Linear averaging the progress bar names the Leq's time
//   ("Leq 00:10:00") and fills with its duration's share; a Leq without a
//   duration keeps the bar of the first IntLvl blocks.
// - The values come from the engine's Readings (Param::Readings), read
//   with the band readouts while the newest display buffer is held.
#include "mainwindow/MainWindow.h"

#include <utility>

#include "analysis/BlockAnalysis.h"
#include "foundation/ParameterStore.h"
#include "mainwindow/MainWindowText.h"

namespace text = mainwindow_text;

namespace {

// The columns' left edges and the rows' tops, in 96-DPI pixels.
constexpr int kOverallColumns[2] = {226, 276};
constexpr int kOverallCaptionLeft[2] = {236, 286};
constexpr int kRows[4] = {462, 484, 506, 528};
// Where the notice and the note start with and without the columns.
constexpr int kNoteLeft = 241;
constexpr int kNoteLeftBeside = 341;
constexpr int kNoteRight = 627;

}  // namespace

bool MainWindow::createLevelsGroup(HWND w)
{
    // The unit of the readouts, over the row captions (shown when they are
    // not the plain "Reference dB").
    if (!unitCaption_.create(8, 440, 75, 20, L"", IdUnitCaption, w))
        return false;
    ShowWindow(unitCaption_.handle(), SW_HIDE);
    for (int c = 0; c < 2; ++c) {
        if (!overallCaptions_[c].create(kOverallCaptionLeft[c], 440, 45, 20, L"",
                                         IdOverallCaption0 + c, w))
            return false;
        for (int r = 0; r < 4; ++r)
            if (!overallReadouts_[r][c].create(kOverallColumns[c], kRows[r], 45, r == 3 ? 18 : 20,
                                                L"", IdOverallReadout0 + 2 * r + c, w))
                return false;
    }
    followLevelOptions();
    return true;
}

void MainWindow::followLevelOptions()
{
    ParameterStore* s = parameterStore();
    if (!s || !overallCaptions_[0].handle())
        return;
    const bool shown = s->get(Option::OverallLevels) != 0;
    const int weighting = s->get(Option::Weighting);
    const bool leq = s->get(Option::Averaging) == AveragingKind::Linear;
    const auto columns = text::overallWeightings(weighting);
    for (int c = 0; c < 2; ++c) {
        setText(overallCaptions_[c], text::overallCaption(columns[c], leq).c_str());
        ShowWindow(overallCaptions_[c].handle(), shown ? SW_SHOWNA : SW_HIDE);
        for (int r = 0; r < 4; ++r)
            ShowWindow(overallReadouts_[r][c].handle(), shown ? SW_SHOWNA : SW_HIDE);
    }
    if (shown != overallShownLayout_) {
        overallShownLayout_ = shown;
        // Beside the columns the marker hint does not fit: the note takes its
        // place and the rows down to the source's.
        // The notice and the note start right of the columns; the note
        // takes the rows down to the source's. Their places at the smallest
        // size, which a larger window moves down and widens
        // (MainWindowLayout.cpp).
        const int left = shown ? kNoteLeftBeside : kNoteLeft;
        const RECT notice{left, 440, kNoteRight, 460};
        const RECT note{left, 462, kNoteRight, shown ? 546 : 526};
        for (Anchored& a : anchors_) {
            if (a.widget == &notice_)
                a.base = notice;
            if (a.widget == &note_)
                a.base = note;
        }
        const std::pair<GuiWindow*, RECT> placed[2] = {{&notice_, notice}, {&note_, note}};
        for (const auto& p : placed)
            p.first->moveTo(p.second.left, p.second.top + extraY_,
                            p.second.right - p.second.left + extraX_, p.second.bottom - p.second.top);
        rebuildNotice();
    }
    rebuildUnitCaptions(captionRefFaulty_, captionAnaFaulty_);
    refreshDisplay();
}

void MainWindow::updateLevelReadouts(const Readings* readings, bool noAnalysis)
{
    ParameterStore* s = parameterStore();
    if (!s)
        return;
    // The Leq's time, while a Leq runs or holds.
    if (s->get(Option::Averaging) == AveragingKind::Linear && readings) {
        const std::wstring time = text::leqTimeText(readings->elapsedSeconds);
        if (time != progressShown_) {
            progressShown_ = time;
            setText(progress_, time.c_str());
            if (readings->durationSeconds > 0.0f)
                progress_.setFraction(readings->elapsedSeconds / readings->durationSeconds);
            else
                progress_.setFraction(-1.0);
        }
    } else if (!progressShown_.empty()) {
        progressShown_.clear();
        setText(progress_, L"Integrating");
        progress_.setFraction(-1.0);
    }

    if (!readings || s->get(Option::OverallLevels) == 0)
        return;
    const auto columns = text::overallWeightings(s->get(Option::Weighting));
    for (int c = 0; c < 2; ++c) {
        const float ref = readings->half[0].overall[columns[c]];
        const float ana = readings->half[1].overall[columns[c]];
        std::wstring cells[4] = {text::readoutText(ref)};
        if (!noAnalysis) {
            cells[1] = text::readoutText(ana);
            cells[2] = text::tenthsText(text::readoutTenths(ana - ref));
            const SourceLevel source = sourceLevel(ref, ana);
            cells[3] = source.validity == SourceValidity::BelowBackground
                           ? std::wstring(L"< bg")
                           : sourceLevelText(source);
        }
        for (int r = 0; r < 4; ++r)
            setReadout(overallReadouts_[r][c], overallShown_[r][c], cells[r]);
    }
}
