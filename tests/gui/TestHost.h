// What the toolkit's display tests share: a top-level host window that owns
// widgets the way the program's windows do, pixel capture, input, and
// synthetic display data published the way the engine publishes it.
//
// How it works
// - TestHost is a "P2GUIWindow" top-level window implementing GuiOwner with
//   a real ParameterStore (engine defaults, shared GDI objects made by
//   createGdiObjects) and a real paint buffer rebuilt on WM_SIZE. It records
//   every Notification it receives.
// - Image (the support library's Picture) holds a 32-bit copy of a rectangle
//   of any device context: the paint buffer (what a widget composed) or a
//   window's DC (what reached the screen). Pixels come back as COLORREF
//   values.
// - Spectra builds a working DisplayBuffer; TestHost::publish hands it over
//   with publishDisplayBuffer under a real FrameLock published in slot 69,
//   exactly as the capture thread does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/DisplayHandover.h"
#include "foundation/FrameLock.h"
#include "foundation/ParameterStore.h"
#include "gui/GuiWindow.h"

#include "Handles.h"
#include "Input.h"
#include "Picture.h"
#include "Wait.h"

// The store as the engine leaves it after attaching: default settings, fixed
// interface colours (nearest screen colours), markers empty.
void applyEngineDefaults(ParameterStore& store);

class TestHost : public GuiWindow, public GuiOwner {
public:
    TestHost(int clientWidth = 1000, int clientHeight = 700, const wchar_t* title = L"Toolkit test");
    ~TestHost();

    ParameterStore& params() { return *store_; }
    HWND window() const { return handle_; }

    // GuiOwner
    int notify(const Notification& n) override;
    ParameterStore* parameterStore() override { return store_.get(); }
    HINSTANCE instanceHandle() override { return GetModuleHandleW(nullptr); }
    HDC paintBuffer() override { return lendBuffer_ ? buffer_.dc() : nullptr; }
    GuiSpans::Picture paintPixels() override
    {
        return lendBuffer_ ? buffer_.pixels() : GuiSpans::Picture{};
    }

    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Takes a widget object: it is deleted after the host's window (and with
    // it the widget's window) is destroyed, as the program's owners do.
    template <class T>
    T& adopt(T* widget)
    {
        // Deleted through its own class, as the toolkit's destructors are not
        // virtual.
        owned_.push_back([widget] { std::unique_ptr<T> gone(widget); });
        return *widget;
    }
    // Destroys the host window and with it every child window.
    void close();

    // Whether widgets get the paint buffer (false: they paint on the screen).
    void lendBuffer(bool lend) { lendBuffer_ = lend; }
    HDC bufferDc() const { return buffer_.dc(); }

    // Publishes a working buffer of n samples per half, as the engine does,
    // and marks data present.
    void publish(const DisplayBuffer& working, int n);

    std::vector<int> notifications;
    std::function<int(int)> onNotify;  // optional reply to notify

    // Band edges (fractional bins) and band levels (dB) the store points to.
    float bandEdges[4] = {0, 0, 0, 0};
    float refBands[3] = {0, 0, 0};
    float anaBands[3] = {0, 0, 0};

private:
    std::vector<std::function<void()>> owned_;
    std::unique_ptr<ParameterStore> store_;
    FrameLock lock_;
    int writeIndex_ = 0;
    GuiPaintBuffer buffer_;
    bool lendBuffer_ = true;
};

// A working display buffer to fill and publish.
struct Spectra {
    std::unique_ptr<DisplayBuffer> buffer = std::make_unique<DisplayBuffer>();
    float* ref() { return buffer->set[0].spectrum; }
    float* ana() { return buffer->set[1].spectrum; }
    float* refSamples() { return buffer->set[0].samples; }
    float* anaSamples() { return buffer->set[1].samples; }
    void fillRef(float level) { fill(ref(), MaxBins, level); }
    void fillAna(float level) { fill(ana(), MaxBins, level); }
    static void fill(float* p, int count, float v)
    {
        for (int i = 0; i < count; ++i) p[i] = v;
    }
};

// A 32-bit copy of part of a device context.
using Image = qxsupport::Picture;
using qxsupport::captureClient;
using qxsupport::pixelsOf;
using qxsupport::pictureOf;
using qxsupport::writePng;
// A rectangle of the paint buffer.
Image captureBuffer(TestHost& host, int x, int y, int width, int height);

// Dispatches waiting messages until the queue has been quiet for quietMs.
using qxsupport::pumpMessages;
// Invalidates the whole window (no erase) and paints it now.
void repaint(HWND window);

// Real input through SendInput, in screen coordinates or a window's client
// coordinates.
void clickAt(HWND window, int clientX, int clientY, bool right = false);
// Two left clicks on one spot in one burst of input: a double-click.
void doubleClickAt(HWND window, int clientX, int clientY);
// A key or Unicode characters, then the messages they cause.
void pressKey(WORD vk);
void typeText(const wchar_t* text);

// $QX_SCREENSHOTS (a Unix path) as a Windows path, with a file name appended;
// empty when the variable is not set.
using qxsupport::screenshotPath;

// The number of live GDI objects of the process, -1 when it cannot be
// known.
using qxsupport::gdiObjectCount;

// The colours the graph tests give the store, and the graph's client size.
namespace graph_colours {
constexpr COLORREF kBack = 0x808080;
constexpr COLORREF kGrid = 0xFFFF00;
constexpr COLORREF kRef = 0xFF0000;
constexpr COLORREF kAna = 0x00FF00;
constexpr COLORREF kBelow = 0x0000FF;
constexpr COLORREF kBand = 0xFFFFFF;
constexpr int kW = 580;
constexpr int kH = 200;
}  // namespace graph_colours
