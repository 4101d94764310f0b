// The progress widgets, the plain panel and the band diagram.
//
// How it works
// - GuiProgress draws its window text (if any) at the left and a bar after
//   it, five pixels on: the bar is filled in the empty brush and, from its
//   left edge, in the fill brush for value / (maximum - minimum) of its
//   width. Text wider than the widget leaves no room and fills no bar.
//   GuiIntegrationProgress computes its value from the store: IntCount
//   spectra integrated of IntLvl.
// - GuiPanel is an area in one brush (two pixels high it is a separating
//   rule). GuiBandDiagram draws the bracket that joins the band captions to
//   the band-limit fields of the configuration window.
#pragma once

#include "gui/GuiWindow.h"

class GuiProgress : public GuiWindow {
public:
    GuiProgress(GuiOwner* owner, int format) : GuiWindow(owner), format_(format) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Stores minimum and maximum; no redraw.
    virtual void setRange(int minimum, int maximum);
    // Stores the value and redraws the widget.
    virtual void setValue(int value);
    // Plain pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual int minimum();
    virtual int maximum();
    virtual int value();
    virtual COLORREF backgroundColour() const;  // 19
    virtual COLORREF textColour() const;        // 20
    virtual HBRUSH eraseBrush() const;          // 37
    virtual HBRUSH fillBrush() const;           // 46
    virtual HBRUSH emptyBrush() const;          // 47
    virtual HFONT font() const;                 // 49

    int format() const { return format_; }

protected:
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;

private:
    LRESULT paint(HWND window);

    int format_;
};

// How far the integration of spectra has come: IntCount (8) of IntLvl (7).
class GuiIntegrationProgress final : public GuiProgress {
public:
    GuiIntegrationProgress(GuiOwner* owner, int format) : GuiProgress(owner, format) {}
    // minimum + (maximum - minimum) * done / target while done < target,
    // maximum once it is reached; the stored value without a store. A
    // fraction set from 0 to 1 (a Leq's share of its duration) takes its
    // place; a negative one gives the integration back.
    int value() override;
    void setFraction(double fraction);

private:
    double fraction_ = -1.0;
};

class GuiPanel final : public GuiWindow {
public:
    explicit GuiPanel(GuiOwner* owner) : GuiWindow(owner) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Plain pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HBRUSH eraseBrush() const;  // 50
};

class GuiBandDiagram final : public GuiWindow {
public:
    explicit GuiBandDiagram(GuiOwner* owner) : GuiWindow(owner) {}

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Plain pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HPEN pen() const;           // 51
    virtual HBRUSH eraseBrush() const;  // 37

private:
    LRESULT paint(HWND window);
};
