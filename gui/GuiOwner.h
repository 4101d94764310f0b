// GuiOwner: how a widget reaches the object that owns it, and through it the
// parameter store, the module instance, the owner's paint buffer and the DPI
// of the owner's top-level window.
#pragma once

#include <windows.h>

#include "foundation/Notification.h"
#include "foundation/ParameterStore.h"
#include "gui/GuiSpans.h"

class GuiOwner {
public:
    virtual int notify(const Notification& n) = 0;
    virtual ParameterStore* parameterStore() = 0;
    virtual HINSTANCE instanceHandle() = 0;
    // The owner's off-screen device context, or null.
    virtual HDC paintBuffer() = 0;
    // The pixels of the bitmap in that device context, for drawing into
    // them directly; no pixels (null) when there are none to lend.
    virtual GuiSpans::Picture paintPixels() { return GuiSpans::Picture{}; }
    // The DPI of the owner's top-level window, at which its widgets are laid
    // out and draw with the store's fonts made for it. An owner that does not
    // keep its own is at the store's (Param::Dpi, the main window's), 96
    // without a store.
    virtual int widgetDpi()
    {
        ParameterStore* s = parameterStore();
        return s ? s->dpi() : 96;
    }
    // Its top-level window has moved to `dpi` (WM_DPICHANGED, see
    // GuiPaintBuffer::topLevelMessage); called before the window is laid out
    // again there. An owner that keeps its own DPI takes it here.
    virtual void dpiChanged(int) {}

protected:
    ~GuiOwner() = default;
};
