// Where the children of both windows are at 96 DPI, as the windows are meant
// to look: one list for every test that checks places.
#pragma once

#include <windows.h>

namespace qxsupport {

struct LayoutPlace {
    int id;  // of the window's direct child: a wrapped control's container has id + 10000
    int x, y, w, h;
    const wchar_t* inner;  // class of the wrapped standard control, or null
    const wchar_t* text;   // caption (of the control for wrapped ones), null = not checked
};

// The main window's children (in no particular order).
constexpr int kMainWindowChildren = 67;
extern const LayoutPlace kMainWindowLayout[kMainWindowChildren];

// The Configuration window's children in creation order (the separators and
// the "Bands" heading share id 108).
constexpr int kConfigWindowChildren = 44;
extern const LayoutPlace kConfigWindowLayout[kConfigWindowChildren];

// A drop-down list's container is as high as the layout says, or as its
// closed list where that is higher (its height follows the font): the
// list's frame is never cut off. `height` is the layout's, at the DPI shown.
int containerHeight(HWND child, int height);

}  // namespace qxsupport
