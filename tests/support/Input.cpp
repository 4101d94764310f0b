#include "Input.h"

#include "Shell.h"

namespace qxsupport {

namespace {

void sendKey(WORD vk, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
}

}  // namespace

void keyDown(WORD vk) { sendKey(vk, false); }

void keyUp(WORD vk) { sendKey(vk, true); }

void pressKey(WORD vk)
{
    keyDown(vk);
    keyUp(vk);
}

void pressKeyWith(WORD modifier, WORD vk)
{
    keyDown(modifier);
    pressKey(vk);
    keyUp(modifier);
}

void typeKeys(const wchar_t* text)
{
    for (const wchar_t* p = text; *p; ++p) {
        const SHORT scan = VkKeyScanW(*p);
        const WORD vk = LOBYTE(scan);
        if (HIBYTE(scan) & 1)
            pressKeyWith(VK_SHIFT, vk);
        else
            pressKey(vk);
    }
}

void typeCharacters(const wchar_t* text)
{
    for (const wchar_t* c = text; *c; ++c) {
        INPUT in[2]{};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = *c;
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof in[0]);
    }
}

void mouseEvent(POINT at, DWORD flags)
{
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(at.x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(at.y) * 65536 + h - 1) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

bool xdoKey(const std::string& keys)
{
    return runShell("xdotool key --delay 40 " + keys) == 0;
}

bool xdoType(const std::string& text)
{
    return runShell("xdotool type --delay 60 '" + text + "'") == 0;
}

bool xdoClick(int x, int y, int clicks)
{
    std::string command = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                          " sleep 0.1 click";
    if (clicks > 1)
        command += " --repeat " + std::to_string(clicks) + " --delay 60";
    return runShell(command + " 1") == 0;
}

}  // namespace qxsupport
