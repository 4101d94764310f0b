// The interactive widgets: an owner-drawn push button, a single-line edit
// field and a drop-down list, each wrapping a standard control, and a
// clickable colour swatch.
//
// How it works
// - Button, edit and drop-down list use the wrapped-control pattern: a
//   "P2GUIWindow" container (id + 10000) whose object is the wrapper holds
//   the standard control (the id asked for). The control reports to its
//   parent, so its WM_COMMAND and WM_DRAWITEM arrive in the wrapper's
//   windowProc, which turns them into Notifications carrying the wrapper's
//   command code, or paints the button face.
// - The owner reads texts and selections from the control itself through
//   handle(); the focus, pressed and disabled states are the control's own.
// - The swatch is a bordered "P2GUIWindow" window that shows a borrowed
//   brush as its background and reports every left click.
#pragma once

#include "gui/GuiWindow.h"

class GuiButton final : public GuiWindow {
public:
    GuiButton(GuiOwner* owner, int commandCode);

    // WM_DRAWITEM paints the face; every WM_COMMAND of the button is given to
    // the owner as a Notification with the command code.
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Wrapped pattern: an owner-drawn "button".
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HFONT font() const;                          // 38
    virtual HPEN shadowPen() const;                      // 36
    virtual HPEN highlightPen() const;                   // 35
    virtual COLORREF backgroundColour() const;           // 15
    virtual COLORREF textColour() const;                 // 16
    virtual COLORREF disabledBackgroundColour() const;   // 17
    virtual COLORREF disabledTextColour() const;         // 18
    virtual HBRUSH faceBrush() const;                    // 33
    virtual HBRUSH disabledFaceBrush() const;            // 34
    // Paints the face for the item's state: disabled, pressed, focused or
    // released. Returns 0.
    virtual int drawItem(const DRAWITEMSTRUCT* item);

    int commandCode() const { return commandCode_; }

private:
    int commandCode_;
};

class GuiEdit final : public GuiWindow {
public:
    // extraStyle is combined with WS_CHILD | WS_VISIBLE | WS_BORDER |
    // WS_TABSTOP (e.g. ES_RIGHT | ES_AUTOHSCROLL | ES_NUMBER); textLimit is
    // the most characters the field takes.
    GuiEdit(GuiOwner* owner, int commandCode, DWORD extraStyle, int textLimit);

    // Every change of the text (EN_CHANGE) is given to the owner.
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HFONT font() const;  // 48

    int commandCode() const { return commandCode_; }

private:
    int commandCode_;
    int textLimit_;
    DWORD extraStyle_;
};

class GuiComboBox final : public GuiWindow {
public:
    static constexpr int kListHeight = 150;

    GuiComboBox(GuiOwner* owner, int commandCode);

    // Every closing of the list (CBN_CLOSEUP) is given to the owner.
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // The control is kListHeight high (its opened list) whatever the height
    // asked for; the container keeps the asked height.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    virtual HFONT font() const;  // 48
    // Moves as every widget does, then fits the container to the closed list.
    void applyDpi() override;

    int commandCode() const { return commandCode_; }

private:
    // The closed list's height follows its font. A container lower than the
    // closed list grows to its height, so that the list's frame is whole; a
    // higher one shows the window's background below it.
    void fitToContainer();

    int commandCode_;
};

class GuiColorSwatch final : public GuiWindow {
public:
    GuiColorSwatch(GuiOwner* owner, int commandCode);

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Bordered pattern.
    virtual bool create(int x, int y, int width, int height, const wchar_t* caption, int id,
                        HWND parent);
    // The brush is borrowed, never deleted. The new colour shows when the
    // background is next erased.
    virtual void setBrush(HBRUSH brush);

    HBRUSH brush() const { return brush_; }
    int commandCode() const { return commandCode_; }

private:
    HBRUSH brush_ = nullptr;
    int commandCode_;
};
