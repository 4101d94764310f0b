#include "gui/GuiTips.h"

#include <commctrl.h>

namespace GuiTips {

namespace {

TTTOOLINFOW toolOf(HWND control, wchar_t* text)
{
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    return tool;
}

}  // namespace

HWND create(HWND owner)
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX classes{};
        classes.dwSize = sizeof classes;
        classes.dwICC = ICC_WIN95_CLASSES;
        return InitCommonControlsEx(&classes) != FALSE;
    }();
    if (!registered || !owner)
        return nullptr;
    HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                                nullptr);
    if (tips)
        SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);  // long tips wrap
    return tips;
}

bool add(HWND tips, HWND control, const wchar_t* text)
{
    if (!tips || !control)
        return false;
    TTTOOLINFOW tool = toolOf(control, const_cast<wchar_t*>(text));
    return SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
}

std::wstring textOf(HWND tips, HWND control)
{
    wchar_t text[512] = L"";
    TTTOOLINFOW tool = toolOf(control, text);
    SendMessageW(tips, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    return text;
}

}  // namespace GuiTips
