#include "TestHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void applyEngineDefaults(ParameterStore& store)
{
    store.set(Param::NumSamples, 1024);
    store.set(Param::SampFrq, 12000);
    store.set(Param::DisplayDb, 1);
    store.set(Param::IntLvl, 16);
    store.set(Param::IntCount, 1);
    store.set(Param::BackColor, 0x808080);
    store.set(Param::GridColor, 0xFFFF00);
    store.set(Param::RefColor, 0xFF0000);
    store.set(Param::NoiseColor, 0x00FF00);
    store.set(Param::ThreshColor, 0x0000FF);
    store.set(Param::FilterColor, 0xFFFFFF);
    struct Fixed {
        int id;
        COLORREF colour;
    };
    const Fixed fixed[] = {{15, 0xA08080}, {16, 0xFFFFFF}, {17, 0x606060}, {18, 0xC0C0C0},
                           {19, 0xA0C0C0}, {20, 0x000000}, {21, 0x2020E0}, {22, 0x002080},
                           {23, 0xA0C0C0}, {24, 0x1030A0}, {25, 0x0000FF}, {26, 0x000080},
                           {72, 0xC04000}};
    HDC screen = GetDC(nullptr);
    for (const Fixed& f : fixed)
        store.set(f.id, static_cast<int>(GetNearestColor(screen, f.colour)));
    ReleaseDC(nullptr, screen);
    store.set(Param::DbDiff, 50);
    store.set(Param::Filter0, 100);
    store.set(Param::Filter1, 500);
    store.set(Param::Filter2, 1500);
    store.set(Param::Filter3, 4000);
    store.set(Param::ProgressHidden, 1);
    store.set(Param::RefMode, 1);
    for (int id = Param::Marker1; id <= Param::Marker5; ++id)
        store.set(id, -1);
}

TestHost::TestHost(int clientWidth, int clientHeight, const wchar_t* title)
    : GuiWindow(nullptr), store_(std::make_unique<ParameterStore>())
{
    setOwner(this);
    registerGuiWindowClass(GetModuleHandleW(nullptr));
    applyEngineDefaults(*store_);
    store_->set(Param::BufferLock, reinterpret_cast<intptr_t>(&lock_));
    store_->set(Param::BandEdges, reinterpret_cast<intptr_t>(bandEdges));
    store_->set(Param::RefBandLevels, reinterpret_cast<intptr_t>(refBands));
    store_->set(Param::AnaBandLevels, reinterpret_cast<intptr_t>(anaBands));
    store_->createGdiObjects();

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    createOwnWindow(0, style, 0, 0, frame.right - frame.left, frame.bottom - frame.top, title, 0,
                    nullptr);
    SetForegroundWindow(handle_);
    UpdateWindow(handle_);
    pumpMessages();
}

TestHost::~TestHost()
{
    close();
    for (auto& destroy : owned_)
        destroy();
    buffer_.release();
    store_->deleteGdiObjects();
}

void TestHost::close()
{
    if (handle_)
        DestroyWindow(handle_);
    pumpMessages(5, 200);
}

int TestHost::notify(const Notification& n)
{
    notifications.push_back(n.code());
    return onNotify ? onNotify(n.code()) : 0;
}

LRESULT TestHost::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        buffer_.rebuild(window);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        HBRUSH brush = store_->handle<HBRUSH>(Param::LabelBrush);
        if (buffer_.dc()) {
            FillRect(buffer_.dc(), &rc, brush);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, buffer_.dc(), 0, 0, SRCCOPY);
        } else {
            FillRect(dc, &rc, brush);
        }
        EndPaint(window, &ps);
        return 0;
    }
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}

void TestHost::publish(const DisplayBuffer& working, int n)
{
    writeIndex_ = publishDisplayBuffer(*store_, lock_, working, writeIndex_, n);
    store_->set(Param::DataPresent, 1);
}

Image captureBuffer(TestHost& host, int x, int y, int width, int height)
{
    return Image(host.bufferDc(), x, y, width, height);
}

void repaint(HWND window)
{
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void clickAt(HWND window, int clientX, int clientY, bool right)
{
    POINT p{clientX, clientY};
    ClientToScreen(window, &p);
    qxsupport::mouseEvent(p, 0);
    pumpMessages(10, 200);
    qxsupport::mouseEvent(p, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    qxsupport::mouseEvent(p, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    pumpMessages();
}

void doubleClickAt(HWND window, int clientX, int clientY)
{
    POINT p{clientX, clientY};
    ClientToScreen(window, &p);
    qxsupport::mouseEvent(p, 0);
    pumpMessages(10, 200);
    Sleep(GetDoubleClickTime() + 50);  // apart from any earlier click
    for (int i = 0; i < 2; ++i) {
        qxsupport::mouseEvent(p, MOUSEEVENTF_LEFTDOWN);
        qxsupport::mouseEvent(p, MOUSEEVENTF_LEFTUP);
    }
    pumpMessages();
}

void pressKey(WORD vk)
{
    qxsupport::pressKey(vk);
    pumpMessages();
}

void typeText(const wchar_t* text)
{
    qxsupport::typeCharacters(text);
    pumpMessages();
}
