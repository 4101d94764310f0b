#include "ConfigHost.h"

#include "Wait.h"

#include "app/UiThread.h"
#include "audio/AudioEngine.h"

ConfigHost::ConfigHost() : GuiWindow(nullptr), store_(std::make_unique<ParameterStore>())
{
    setOwner(this);
    registerGuiWindowClass(GetModuleHandleW(nullptr));
    engine_ = new AudioEngine();
    engine_->attachStore(store_.get());
    store_->addObserver(this);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_VISIBLE;
    createOwnWindow(WS_EX_CONTROLPARENT, style, 150, 60, 640, 660, L"Configuration test host", 0,
                    nullptr);
    SetForegroundWindow(handle_);
    UpdateWindow(handle_);
    pump();
}

ConfigHost::~ConfigHost()
{
    if (HWND c = configWindow())
        DestroyWindow(c);
    config_.reset();
    if (handle_)
        DestroyWindow(handle_);
    pump(5, 500);
    store_->removeObserver(this);
    engine_->attachStore(nullptr);
    delete engine_;
    buffer_.release();
    store_->deleteGdiObjects();
}

bool ConfigHost::open()
{
    if (config_) {
        if (HWND old = config_->handle())
            DestroyWindow(old);
        config_.reset();
    }
    config_ = std::make_unique<ConfigWindow>(static_cast<GuiOwner*>(this));
    if (!config_->create(handle_))
        return false;
    HWND c = config_->handle();
    RECT cr, mr;
    GetWindowRect(c, &cr);
    GetWindowRect(handle_, &mr);
    const int w = cr.right - cr.left;
    const int h = cr.bottom - cr.top;
    MoveWindow(c, mr.left + ((mr.right - mr.left) - w) / 2, mr.top + ((mr.bottom - mr.top) - h) / 2,
               w, h, FALSE);
    ShowWindow(c, SW_SHOWNORMAL);
    EnableWindow(handle_, FALSE);
    UpdateWindow(c);
    pump();
    return true;
}

bool ConfigHost::preTranslateLoop(MSG* m)
{
    if (config_ && config_->preTranslate(m))
        return true;
    // The main window consumes every Enter and Space key-down.
    if (m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_SPACE))
        return true;
    return false;
}

void ConfigHost::pump(int quietMs, int limitMs)
{
    qxsupport::pumpMessages(quietMs, limitMs, [this](MSG* m) { return preTranslateLoop(m); });
}

std::vector<int> ConfigHost::codes() const
{
    std::vector<int> out;
    for (const Event& e : log)
        if (e.kind == Event::Notify)
            out.push_back(e.value);
    return out;
}

std::vector<int> ConfigHost::writes() const
{
    std::vector<int> out;
    for (const Event& e : log)
        if (e.kind == Event::Write)
            out.push_back(e.value);
    return out;
}

int ConfigHost::firstIndex(Event::Kind kind, int value) const
{
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].kind == kind && log[i].value == value)
            return static_cast<int>(i);
    return -1;
}

int ConfigHost::firstWriteIndex() const
{
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].kind == Event::Write)
            return static_cast<int>(i);
    return -1;
}

int ConfigHost::notify(const Notification& n)
{
    log.push_back({Event::Notify, n.code()});
    if (n.code() == ConfigCode::Closed) {
        ++closedCount;
        if (handle_) {
            InvalidateRect(handle_, nullptr, TRUE);
            EnableWindow(handle_, TRUE);
            SetFocus(handle_);
        }
        return 0;
    }
    return engine_->notify(n);
}

void ConfigHost::parameterChanged(int id)
{
    log.push_back({Event::Write, id});
    if (handle_)
        PostMessageW(handle_, WM_QX_PARAMETER, static_cast<WPARAM>(id), 0);
}

LRESULT ConfigHost::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
    case WM_SIZE:
        buffer_.rebuild(window);
        break;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(window, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, store_->handle<HBRUSH>(Param::LabelBrush));
        return 1;
    }
    case WM_QX_PARAMETER:
        if (HWND c = configWindow())
            SendMessageW(c, message, wParam, lParam);
        break;
    default:
        break;
    }
    return GuiWindow::windowProc(window, message, wParam, lParam);
}
