// Scoped GDI state for painting code.
//
// Every widget borrows the store's pens, brushes and fonts and draws into a
// device context that other widgets use after it (the owner's paint buffer).
// Whatever a paint selects or sets must therefore be put back before it
// returns. These helpers remember the original state when they are made and
// restore it when they go out of scope, on every path out of the paint.
//
// They are uncopyable: a copy would restore twice, the second time putting
// back an object that the first restore has already replaced.
#pragma once

#include <windows.h>

// Selects GDI objects of one kind (pen, brush, font or bitmap) into a device
// context. The first successful selection remembers what was there; select()
// may switch objects any number of times; the destructor puts the original
// back. A null object is not selected (a style getter without a store returns
// null, and painting goes on with whatever the context holds).
class GdiSelection {
public:
    GdiSelection(HDC dc, HGDIOBJ object) : dc_(dc) { select(object); }
    ~GdiSelection() { restore(); }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

    void select(HGDIOBJ object)
    {
        if (!dc_ || !object || object == current_)
            return;
        HGDIOBJ previous = SelectObject(dc_, object);
        if (!previous || previous == HGDI_ERROR)
            return;
        if (!original_)
            original_ = previous;
        current_ = object;
    }

    void restore()
    {
        if (original_)
            SelectObject(dc_, original_);
        original_ = nullptr;
        current_ = nullptr;
    }

private:
    HDC dc_;
    HGDIOBJ original_ = nullptr;
    HGDIOBJ current_ = nullptr;
};

// The text colour, put back at the end of the scope.
class TextColourScope {
public:
    TextColourScope(HDC dc, COLORREF colour) : dc_(dc), old_(SetTextColor(dc, colour)) {}
    ~TextColourScope() { SetTextColor(dc_, old_); }
    void set(COLORREF colour) { SetTextColor(dc_, colour); }
    TextColourScope(const TextColourScope&) = delete;
    TextColourScope& operator=(const TextColourScope&) = delete;

private:
    HDC dc_;
    COLORREF old_;
};

// The background colour, put back at the end of the scope.
class BkColourScope {
public:
    BkColourScope(HDC dc, COLORREF colour) : dc_(dc), old_(SetBkColor(dc, colour)) {}
    ~BkColourScope() { SetBkColor(dc_, old_); }
    void set(COLORREF colour) { SetBkColor(dc_, colour); }
    BkColourScope(const BkColourScope&) = delete;
    BkColourScope& operator=(const BkColourScope&) = delete;

private:
    HDC dc_;
    COLORREF old_;
};

// The background mode, put back at the end of the scope.
class BkModeScope {
public:
    BkModeScope(HDC dc, int mode) : dc_(dc), old_(SetBkMode(dc, mode)) {}
    ~BkModeScope()
    {
        if (old_)
            SetBkMode(dc_, old_);
    }
    BkModeScope(const BkModeScope&) = delete;
    BkModeScope& operator=(const BkModeScope&) = delete;

private:
    HDC dc_;
    int old_;
};
