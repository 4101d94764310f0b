// A dialog template built in memory, for the program's small modal
// dialogs: the dialog manager then gives them Tab, the arrow keys, the
// mnemonics, Enter (OK) and Escape (Cancel).
#pragma once

#include <windows.h>

#include <vector>

namespace dialog_template {

// DLGTEMPLATE, then each DLGITEMTEMPLATE on a
// DWORD boundary, with their strings as WORDs.
class TemplateBuilder {
public:
    void header(DWORD style, short cx, short cy, const wchar_t* title, int items)
    {
        words_.clear();
        addDword(style | DS_SETFONT | DS_MODALFRAME);
        addDword(0);  // extended style
        words_.push_back(static_cast<WORD>(items));
        words_.push_back(0);  // x
        words_.push_back(0);  // y
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the standard dialog class
        addString(title);
        words_.push_back(8);  // point size of the font
        addString(L"MS Shell Dlg");
    }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom,
              const wchar_t* text)
    {
        if (words_.size() % 2)
            words_.push_back(0);
        addDword(style | WS_CHILD | WS_VISIBLE);
        addDword(0);
        words_.push_back(static_cast<WORD>(x));
        words_.push_back(static_cast<WORD>(y));
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(classAtom);
        addString(text);
        words_.push_back(0);  // no creation data
    }
    const DLGTEMPLATE* data() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void addDword(DWORD v)
    {
        words_.push_back(LOWORD(v));
        words_.push_back(HIWORD(v));
    }
    void addString(const wchar_t* s)
    {
        for (; s && *s; ++s)
            words_.push_back(static_cast<WORD>(*s));
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

// Centres a dialog over its owner (on WM_INITDIALOG).
inline void centreOverOwner(HWND dialog)
{
    RECT d, o;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && GetWindowRect(dialog, &d) && GetWindowRect(owner, &o))
        SetWindowPos(dialog, nullptr, o.left + ((o.right - o.left) - (d.right - d.left)) / 2,
                     o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
}

inline constexpr WORD kButton = 0x0080;
inline constexpr WORD kEdit = 0x0081;
inline constexpr WORD kStatic = 0x0082;
inline constexpr WORD kComboBox = 0x0085;

}  // namespace dialog_template
