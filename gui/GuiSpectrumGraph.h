// GuiSpectrumGraph: the grid, the Reference and Analysis spectra, the band
// outlines and the frequency markers.
//
// How it works
// - Each paint (WM_PAINT, or WM_QX_DRAWNOW with every block) copies the
//   background picture: the erased graph and a grid of six rows and four
//   columns (drawBackground). The picture is kept in a bitmap of the
//   graph's own (GuiBackground) and drawn again only when something it
//   shows changes: everything it depends on is in one BackgroundKey,
//   compared with every paint. Once the engine has processed data the band
//   outlines are drawn over it (drawOutlines): they follow the Reference's
//   levels, which change with every block while the Reference is measured.
//   Then the paint acquires the newest display buffer from the store
//   and draws from it: a first pass with the Reference trace and the
//   markers; while the Analysis is measured a second pass with the Analysis
//   over the Reference. The maximum hold of the running measurement, when
//   the engine keeps one, lies between the Reference and the Analysis, in a
//   colour of its own (amber).
// - Bins map to pixel columns through the frequency axis (FrequencyAxis:
//   linear as GuiGeometry::columnMapping, or logarithmic with the
//   FrequencyAxis option): when there are more bins than pixels each column
//   shows its largest bin, so at most one line segment per column is drawn
//   whatever the block size. Grid, band outlines and markers use the same
//   axis. The BandView option draws octave or third-octave bands in place
//   of the traces (GuiBandView.cpp).
// - columnCache[t] keeps the level last drawn at column t. While the Analysis
//   is drawn it still holds the Reference level of the column, so each
//   Analysis segment is coloured by (Analysis - Reference) against the
//   threshold without a second pass over the spectra.
// - Markers are drawn after the last trace: each label reads the frequency
//   and the levels at its bin ("1000 Hz  R 62.1  A 84.3 dB") and sits above
//   every trace over its width (below them all when there is no room above),
//   joined to the trace by a short line.
// - Left click adds a marker at the highest bin within four layout pixels
//   (Shift+click: exactly where clicked); with five in use the oldest goes
//   and the owner is told (kMarkerReplaced). Right click removes the nearest
//   one within 1 % of fs / 2. The marker list, oldest first, lives in store
//   parameters 81..85.
#pragma once

#include <functional>

#include "foundation/Owned.h"
#include "gui/GuiFrequencyAxis.h"
#include "gui/GuiGeometry.h"
#include "gui/GuiWindow.h"

struct FractionalBands;
struct Readings;

class GuiSpectrumGraph final : public GuiWindow {
public:
    // A place for each column of a graph up to 4096 pixels wide: the 584
    // layout pixels of the main window's graph at up to 700 %.
    static constexpr int kColumnCacheSize = 4096;

    // Told to the owner when a sixth marker replaced the oldest.
    static constexpr int kMarkerReplaced = 180;

    explicit GuiSpectrumGraph(GuiOwner* owner);

    // The markers from the keyboard (the Edit menu's commands): one at the
    // highest bin shown, the newest moved by `columns` pixel columns, the
    // newest removed.
    void addMarkerAtPeak();
    void moveNewestMarker(int columns);
    void removeNewestMarker();

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Sunken pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HBRUSH eraseBrush() const;          // 27
    virtual HPEN gridPen() const;               // 28
    virtual HPEN referencePen() const;          // 29
    virtual HPEN analysisPen() const;           // 30
    virtual HPEN bandPen() const;               // 32
    virtual HPEN belowThresholdPen() const;     // 31
    // Band outlines, traces and (first pass) markers from display buffer
    // bufferIndex into target. Called by the graph's own WM_PAINT.
    virtual void drawSpectra(HWND window, HDC target, int firstPass, int bufferIndex);
    virtual COLORREF labelBackgroundColour() const;  // 9
    virtual COLORREF labelTextColour() const;        // 14
    virtual HFONT labelFont() const;                 // 45

    // The level last drawn at each column (index = column number).
    const float* columnCache() const { return columnCache_; }
    // The axis of the newest paint.
    const FrequencyAxis& axis() const { return axis_; }
    // Whether the background picture is kept between paints (by default);
    // off, every paint draws everything again, the Reference twice while the
    // Analysis is measured: the graph's cost without it, for comparison.
    void setBackgroundKept(bool kept) { background_.setKept(kept); }
    int backgroundDrawings() const { return background_.drawings(); }

private:
    // Everything the background picture shows depends on, and the band
    // outlines drawn over it.
    struct BackgroundKey {
        GuiBackgroundKey basics;
        HPEN band = nullptr;
        int samples = 0;
        int range = 0;             // Param::DisplayDb
        bool outlines = false;     // data are drawn: the band outlines with them
        bool logarithmic = false;  // the frequency axis
        int sampFrq = 0;
        float edges[4] = {};
        float refBands[3] = {};
        bool operator==(const BackgroundKey& o) const;
    };
    BackgroundKey backgroundKey(HWND window, bool outlines) const;
    // The background and grid for `key` into dc.
    void drawBackground(HDC dc, const BackgroundKey& key);
    // The band outlines of `key` (when it has them) into dc.
    void drawOutlines(HDC dc, const BackgroundKey& key);
    // The background picture into target: copied, or drawn there without a
    // paint buffer.
    void showBackground(HWND window, HDC target, bool buffered, bool outlines);

    LRESULT paint(HWND window, bool now = false);
    // The axis for the current settings and a graph `width` pixels wide.
    void updateAxis(int width);
    // The logarithmic axis's grid (GuiBandView.cpp).
    void drawLogGrid(HDC dc, const RECT& rc);
    // The band view's bars and boxes; false (nothing drawn) in the
    // narrow-band view (GuiBandView.cpp).
    bool drawBands(HDC dc, const RECT& rc, bool analysisShown, const std::function<int(float)>& yOf,
                   double threshold);
    void mouseDown(HWND window, bool add, WPARAM keys, LPARAM lParam);
    float snappedFrequency(float freq, int width);

    // The trace's column values of `spectrum` (bins 0 .. n/2) into points_,
    // each column's largest bin, `floor` where it has none higher.
    void traceColumns(const float* spectrum, float floor, float bottomDb, float pxPerDb, int bottom);
    // Row y of set `set` (0 first) at column t into traceTop_, traceBottom_.
    void noteTraceRow(int set, int t, int y);
    HPEN maxHoldPen();
    // A marker at `freq` Hz in the first free place, or in place of the
    // oldest (and the owner told).
    void placeMarker(float freq);
    // The place of the newest marker, -1 without one.
    int newestMarker() const;

    GdiObject<HPEN> maxHoldPen_;
    FrequencyAxis axis_;
    // The band view's brushes (GuiBandView.cpp): Reference, Analysis,
    // threshold; solid and hatched; and the colours they were made in.
    GdiObject<HBRUSH> solid_[3], hatched_[3];
    COLORREF bandBrushColour_[3] = {};
    GuiBackground<BackgroundKey> background_;
    float columnCache_[kColumnCacheSize] = {};
    POINT points_[kColumnCacheSize] = {};  // the trace being drawn
    bool below_[kColumnCacheSize] = {};    // column t of the Analysis is below the threshold
    // The highest and the lowest row of the traces drawn at column t (their
    // levels held at 0 dB and above): where a marker's label finds room.
    int traceTop_[kColumnCacheSize] = {};
    int traceBottom_[kColumnCacheSize] = {};
    // The paint whose rows traceTop_ and traceBottom_ hold at column t, in
    // the band view (they are worked out there only as labels need them).
    unsigned rowsNoted_[kColumnCacheSize] = {};
    unsigned rowsPaint_ = 0;
};
