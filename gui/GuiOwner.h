// GuiOwner: how a widget reaches the object that owns it, and through it the
// parameter store, the module instance and the owner's paint buffer.
#pragma once

#include <windows.h>

#include "foundation/Notification.h"
#include "gui/GuiSpans.h"

class ParameterStore;

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

protected:
    ~GuiOwner() = default;
};
