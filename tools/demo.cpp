// The demonstration that scripts/run gives on a machine without a display:
// a whole measurement made through the analyzer's window, as a user makes
// it, with a demo signal in the virtual microphone.
//
// 1. Steady noise plays; the user clicks "Reference" and waits for the
//    integration to finish (the "Analyze" button comes alive), then "Pause".
// 2. The same noise with a 1000 Hz tone added plays; the user clicks
//    "Analyze" and waits for that integration too.
// 3. The window is photographed, the three bands' readouts are printed, and
//    the window is closed.
//
// Usage: demo [qx700.exe]   (or QX_EXE); scripts/run starts it in a private
// world. Needs DISPLAY, the feeder
// of scripts/lib.sh (QX_FEED_SIGNAL_WIN) and QX_SCREENSHOTS.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "Driver.h"

using namespace drive;

namespace {

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A click with the mouse in the middle of a button, through the X server;
// if xdotool is missing, the button is clicked by message.
void press(HWND button)
{
    const RECT r = screenRectOf(button);
    if (!mouseClick((r.left + r.right) / 2, (r.top + r.bottom) / 2))
        click(button);
}

bool isNumber(const std::wstring& t) { return !std::isnan(number(t)); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        setProgramPath(argv[1]);
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (!feed({"noise 0.05"})) {
        std::printf("demo: no feeder (QX_FEED_SIGNAL_WIN is not set)\n");
        return 1;
    }
    Program p;
    if (!p.start()) {
        std::printf("demo: the analyzer's window did not open\n");
        return 1;
    }
    auto c = children(p.window());
    HWND reference = c[101], analyze = c[102], pause = c[103];

    std::printf("demo: steady noise in the microphone; clicking Reference\n");
    press(reference);
    if (!waitFor([&] { return IsWindowEnabled(analyze) != 0; }, 20000)) {
        std::printf("demo: the reference integration did not finish\n");
        return 1;
    }
    Sleep(1500);
    std::printf("demo: reference integrated; clicking Pause\n");
    press(pause);
    waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000);

    std::printf("demo: the same noise plus a 1000 Hz tone; clicking Analyze\n");
    feed({"noise 0.05", "sine 1000 0.3"});
    press(analyze);
    if (!waitFor([&] { return IsWindowEnabled(pause) != 0; }, 10000) ||
        !waitFor([&] { return !IsWindowVisible(c[119]); }, 20000)) {
        std::printf("demo: the analysis did not run\n");
        return 1;
    }
    Sleep(2000);

    const std::string picture = screenshot(p.window(), "demo");
    bool allNumbers = true;
    std::printf("\n%-14s %10s %10s %10s\n", "", "Band 1", "Band 2", "Band 3");
    const char* rows[3] = {"Reference dB", "Analysis dB", "Difference"};
    for (int row = 0; row < 3; ++row) {
        std::printf("%-14s", rows[row]);
        for (int band = 0; band < 3; ++band) {
            const std::wstring t = text(c[156 + 3 * row + band]);
            allNumbers = allNumbers && isNumber(t);
            std::printf(" %10s", narrow(t).c_str());
        }
        std::printf("\n");
    }
    std::printf("(%s)\n", narrow(text(c[118])).c_str());
    if (!picture.empty())
        std::printf("\ndemo: picture of the window: %s\n", picture.c_str());
    else
        std::printf("\ndemo: no picture (QX_SCREENSHOTS not set, or no screen grabber)\n");

    p.close();
    const DWORD code = p.waitExit(35000);
    std::printf("demo: the analyzer closed with exit code %lu\n", code);
    feed({"silence"});
    return allNumbers && !picture.empty() && code == 0 ? 0 : 1;
}
