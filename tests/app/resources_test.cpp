// Checks the resources of the program as the running module sees them.
//
// This test program must be linked with resources/qx700.rc (${QX_RESOURCE_RC}
// in CMake), exactly as qx700.exe is: every resource is looked up in the
// test's own module. It creates one hidden window, so it needs the display.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gui/GuiDpi.h"
#include "gui/GuiLabels.h"
#include "qx_version.h"
#include "resources/resource.h"

namespace {

// The window class background of the labels, 0xA0C0C0 as a COLORREF.
constexpr uint8_t kBackgroundR = 192;
constexpr uint8_t kBackgroundG = 192;
constexpr uint8_t kBackgroundB = 160;

struct Raw {
    const uint8_t* data = nullptr;
    DWORD size = 0;
};

Raw rawResource(LPCWSTR type, int id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return {};
    return {static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

uint16_t u16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

int32_t i32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The accelerators of the seven command buttons, in table order.
struct Accelerator {
    char key;
    uint16_t command;
};
constexpr Accelerator kAccelerators[] = {
    {'A', 32773}, {'C', 32775}, {'L', 32776}, {'P', 32774},
    {'R', 32772}, {'E', 32780}, {'D', 32781},
};
constexpr BYTE kAcceleratorFlags = FVIRTKEY | FNOINVERT | FALT;  // 0x13
constexpr BYTE kEndOfTable = 0x80;
// After them, F1 alone for the user guide.
constexpr BYTE kAboutFlags = FVIRTKEY | FNOINVERT;

}  // namespace

// The code finds each resource under the id it names it by, and the compiled
// accelerator table sends each Alt key to the command id the code handles.
// (The numbers themselves are checked against the resources below.)
TEST(ResourceIds, EachResourceAndCommandIsFoundUnderTheIdTheCodeUses) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDI_APP_LARGE), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDI_APP_SMALL), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDR_ACCELERATORS), RT_ACCELERATOR), nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDB_LOGO), RT_BITMAP), nullptr);

    HACCEL table = LoadAcceleratorsW(self, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_NE(table, nullptr);
    ACCEL entries[16] = {};
    const int count = CopyAcceleratorTableW(table, entries, 16);
    DestroyAcceleratorTable(table);
    std::map<WORD, WORD> commandOfKey;
    for (int i = 0; i < count; ++i)
        if (entries[i].fVirt & FALT)
            commandOfKey[entries[i].key] = entries[i].cmd;
    EXPECT_EQ(commandOfKey['R'], ID_CMD_REFERENCE);
    EXPECT_EQ(commandOfKey['A'], ID_CMD_ANALYZE);
    EXPECT_EQ(commandOfKey['P'], ID_CMD_PAUSE);
    EXPECT_EQ(commandOfKey['C'], ID_CMD_CONFIG);
    EXPECT_EQ(commandOfKey['L'], ID_CMD_LINECONTROL);
    EXPECT_EQ(commandOfKey['E'], ID_CMD_RECORDER);
    EXPECT_EQ(commandOfKey['D'], ID_CMD_DEFAULTS);
}

// ---------------------------------------------------------------------------
// Accelerators

TEST(AcceleratorTable, StoredEntriesAreTheSevenAltKeysInOrderThenF1) {
    Raw raw = rawResource(RT_ACCELERATOR, 133);
    ASSERT_NE(raw.data, nullptr);
    // Each stored entry: flags, key, command, padding (four 16-bit words).
    ASSERT_EQ(raw.size, 8u * 8u);
    for (int i = 0; i < 7; ++i) {
        const uint8_t* e = raw.data + 8 * i;
        SCOPED_TRACE(i);
        EXPECT_EQ(u16(e), kAcceleratorFlags);
        EXPECT_EQ(u16(e + 2), static_cast<uint16_t>(kAccelerators[i].key));
        EXPECT_EQ(u16(e + 4), kAccelerators[i].command);
    }
    const uint8_t* last = raw.data + 8 * 7;
    EXPECT_EQ(u16(last), kAboutFlags | kEndOfTable);
    EXPECT_EQ(u16(last + 2), VK_F1);
    EXPECT_EQ(u16(last + 4), ID_CMD_USER_GUIDE);
}

namespace {

std::vector<WPARAM> g_commands;

LRESULT CALLBACK recordCommands(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND) g_commands.push_back(wp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Offers a key-down to the table with the Alt key held or released.
bool translate(HWND hwnd, HACCEL table, WORD key, bool alt) {
    BYTE state[256] = {};
    if (alt) state[VK_MENU] = state[VK_LMENU] = 0x80;
    SetKeyboardState(state);
    MSG msg = {};
    msg.hwnd = hwnd;
    msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = 1 | (alt ? (1 << 29) : 0);
    bool done = TranslateAcceleratorW(hwnd, table, &msg) != 0;
    BYTE none[256] = {};
    SetKeyboardState(none);
    return done;
}

}  // namespace

TEST(AcceleratorTable, AltWithTheLetterBecomesTheCommand) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = recordCommands;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QxResourceTestWindow";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    HACCEL table = LoadAcceleratorsW(wc.hInstance, MAKEINTRESOURCEW(133));
    ASSERT_NE(table, nullptr);

    for (const Accelerator& a : kAccelerators) {
        SCOPED_TRACE(a.key);
        g_commands.clear();
        EXPECT_FALSE(translate(hwnd, table, a.key, false)) << "the letter alone is typing";
        EXPECT_TRUE(g_commands.empty());
        EXPECT_TRUE(translate(hwnd, table, a.key, true));
        ASSERT_EQ(g_commands.size(), 1u);
        EXPECT_EQ(LOWORD(g_commands[0]), a.command);
        EXPECT_EQ(HIWORD(g_commands[0]), 1) << "accelerators report 1 in the high word";
    }
    g_commands.clear();
    EXPECT_FALSE(translate(hwnd, table, 'X', true)) << "Alt+X is not a command";
    EXPECT_TRUE(g_commands.empty());

    // F1 alone asks for the user guide; Alt+F1 is nothing.
    g_commands.clear();
    EXPECT_TRUE(translate(hwnd, table, VK_F1, false));
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(LOWORD(g_commands[0]), ID_CMD_USER_GUIDE);
    g_commands.clear();
    EXPECT_FALSE(translate(hwnd, table, VK_F1, true));
    EXPECT_TRUE(g_commands.empty());

    DestroyAcceleratorTable(table);
    DestroyWindow(hwnd);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

// ---------------------------------------------------------------------------
// Logo

// The logo is drawn at 100, 125, 150 and 200 %: resource, DPI, size.
struct LogoDrawing {
    int id;
    int dpi;
    int width;
    int height;
};
const LogoDrawing kLogos[] = {
    {136, 96, 165, 52}, {137, 120, 206, 65}, {138, 144, 248, 78}, {139, 192, 330, 104}};

TEST(Logo, EachDrawingIsABottomUp24BitPictureOfItsScaledSize) {
    for (const LogoDrawing& d : kLogos) {
        SCOPED_TRACE(d.id);
        Raw raw = rawResource(RT_BITMAP, d.id);
        ASSERT_NE(raw.data, nullptr);
        ASSERT_GE(raw.size, 40u);
        const uint8_t* h = raw.data;
        EXPECT_EQ(u32(h), 40u);            // BITMAPINFOHEADER
        EXPECT_EQ(i32(h + 4), d.width);    // width
        EXPECT_EQ(i32(h + 8), d.height);   // height, positive: bottom-up
        EXPECT_EQ(u16(h + 12), 1);         // planes
        EXPECT_EQ(u16(h + 14), 24);        // bits per pixel
        EXPECT_EQ(u32(h + 16), 0u);        // BI_RGB
        EXPECT_EQ(u32(h + 32), 0u);        // no colour table
        const DWORD stride = (d.width * 3 + 3) & ~3u;
        EXPECT_GE(raw.size, 40u + stride * d.height);
        // Each is the layout box of the logo (165 x 52) at its DPI.
        EXPECT_EQ(GuiDpi::scale(165, d.dpi), d.width);
        EXPECT_EQ(GuiDpi::scale(52, d.dpi), d.height);
    }
}

TEST(Logo, EachDrawingBlendsIntoTheWindowAndIsNotBlank) {
    for (const LogoDrawing& d : kLogos) {
        SCOPED_TRACE(d.id);
        Raw raw = rawResource(RT_BITMAP, d.id);
        ASSERT_NE(raw.data, nullptr);
        const DWORD stride = (d.width * 3 + 3) & ~3u;
        ASSERT_GE(raw.size, 40u + stride * d.height);
        const uint8_t* pixels = raw.data + 40;
        auto isBackground = [&](int x, int row) {
            const uint8_t* p = pixels + row * stride + 3 * x;  // blue, green, red
            return p[0] == kBackgroundB && p[1] == kBackgroundG && p[2] == kBackgroundR;
        };
        // The edges are the window's colour, so the logo has no visible frame.
        int edge = 0;
        for (int x = 0; x < d.width; ++x)
            edge += !isBackground(x, 0) + !isBackground(x, d.height - 1);
        for (int row = 0; row < d.height; ++row)
            edge += !isBackground(0, row) + !isBackground(d.width - 1, row);
        EXPECT_EQ(edge, 0) << "pixels of the edge that are not the background";
        // Something is drawn on it: at least a tenth of the area, on the left
        // half and on the right half.
        int drawn = 0, left = 0, right = 0;
        for (int row = 0; row < d.height; ++row) {
            for (int x = 0; x < d.width; ++x) {
                if (!isBackground(x, row)) {
                    ++drawn;
                    (x < d.width / 2 ? left : right) += 1;
                }
            }
        }
        EXPECT_GE(drawn, d.width * d.height / 10);
        EXPECT_GT(left, 0);
        EXPECT_GT(right, 0);
    }
}

TEST(Logo, TheWidgetShowsTheLargestDrawingThatFitsItsBox) {
    EXPECT_EQ(GuiLogo::bitmapResourceFor(96, 165, 52), 136);
    EXPECT_EQ(GuiLogo::bitmapResourceFor(120, 165, 52), 137);
    EXPECT_EQ(GuiLogo::bitmapResourceFor(144, 165, 52), 138);
    EXPECT_EQ(GuiLogo::bitmapResourceFor(168, 165, 52), 138);  // 175 %: between two
    EXPECT_EQ(GuiLogo::bitmapResourceFor(192, 165, 52), 139);
    EXPECT_EQ(GuiLogo::bitmapResourceFor(288, 165, 52), 139);  // 300 %: the largest
    EXPECT_EQ(GuiLogo::bitmapResourceFor(192, 100, 30), 136);  // a small box: the smallest
}

TEST(Logo, LoadsTheWayTheLogoWidgetLoadsIt) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const LogoDrawing& d : kLogos) {
        SCOPED_TRACE(d.id);
        HANDLE image =
            LoadImageW(instance, MAKEINTRESOURCEW(d.id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
        ASSERT_NE(image, nullptr);
        BITMAP bm = {};
        ASSERT_EQ(GetObjectW(image, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, d.width);
        EXPECT_EQ(bm.bmHeight, d.height);
        DeleteObject(image);
    }

}

// ---------------------------------------------------------------------------
// Icons

namespace {

struct IconEntry {
    int width;
    int height;
    int bits;
    uint32_t bytes;
    uint16_t id;
};

std::vector<IconEntry> iconGroup(int id) {
    std::vector<IconEntry> out;
    Raw raw = rawResource(RT_GROUP_ICON, id);
    if (!raw.data || raw.size < 6) return out;
    const int count = u16(raw.data + 4);
    if (raw.size < 6u + 14u * count) return out;
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = raw.data + 6 + 14 * i;
        out.push_back({e[0] ? e[0] : 256, e[1] ? e[1] : 256, u16(e + 6), u32(e + 8), u16(e + 12)});
    }
    return out;
}

// Checks one image of a group and returns its alpha values (empty for PNG).
void checkIconImage(const IconEntry& entry, std::vector<uint8_t>* alpha) {
    Raw raw = rawResource(RT_ICON, entry.id);
    ASSERT_NE(raw.data, nullptr);
    ASSERT_EQ(raw.size, entry.bytes);
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (raw.size >= 24 && std::memcmp(raw.data, kPng, 8) == 0) {
        // PNG: the IHDR chunk comes first, width and height big-endian.
        auto be32 = [](const uint8_t* p) {
            return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        };
        EXPECT_EQ(std::memcmp(raw.data + 12, "IHDR", 4), 0);
        EXPECT_EQ(be32(raw.data + 16), uint32_t(entry.width));
        EXPECT_EQ(be32(raw.data + 20), uint32_t(entry.height));
        EXPECT_GE(entry.width, 256) << "only the largest image may be PNG";
        return;
    }
    ASSERT_GE(raw.size, 40u);
    EXPECT_EQ(u32(raw.data), 40u);
    EXPECT_EQ(i32(raw.data + 4), entry.width);
    EXPECT_EQ(i32(raw.data + 8), 2 * entry.height);  // colour and mask
    EXPECT_EQ(u16(raw.data + 14), 32);
    const uint32_t colour = uint32_t(entry.width) * entry.height * 4;
    const uint32_t mask = ((entry.width + 31) / 32) * 4 * uint32_t(entry.height);
    ASSERT_GE(raw.size, 40u + colour + mask);
    alpha->clear();
    for (uint32_t i = 0; i < colour; i += 4) alpha->push_back(raw.data[40 + i + 3]);
}

void checkGroup(int id, const std::vector<int>& requiredSizes) {
    std::vector<IconEntry> group = iconGroup(id);
    ASSERT_FALSE(group.empty()) << "icon group " << id;
    for (int size : requiredSizes) {
        bool found = false;
        for (const IconEntry& e : group) found = found || (e.width == size && e.height == size);
        EXPECT_TRUE(found) << "icon " << id << " lacks " << size << " x " << size;
    }
    for (const IconEntry& e : group) {
        SCOPED_TRACE(e.width);
        EXPECT_EQ(e.width, e.height);
        EXPECT_EQ(e.bits, 32);
        std::vector<uint8_t> alpha;
        checkIconImage(e, &alpha);
        if (alpha.empty()) continue;
        // Rows run bottom-up; the middle must be opaque and the outline must
        // use the alpha channel (rounded corners), or the icon would show as
        // a square or not at all.
        const int n = e.width;
        EXPECT_EQ(alpha[(n / 2) * n + n / 2], 255);
        EXPECT_LT(alpha[0], 255);
        EXPECT_LT(alpha[n * n - 1], 255);
    }
}

SIZE iconSize(HICON icon) {
    SIZE size = {0, 0};
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return size;
    EXPECT_TRUE(info.fIcon);
    EXPECT_NE(info.hbmColor, nullptr) << "a colour icon, not a monochrome mask";
    BITMAP bm = {};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bm, &bm)) size = {bm.bmWidth, bm.bmHeight};
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

}  // namespace

TEST(Icons, LargeIconHasTheShellSizesAndSmallIconIsDrawnForSixteen) {
    checkGroup(108, {16, 32, 48});
    checkGroup(109, {16});
}

TEST(Icons, LoadTheWayTheWindowClassLoadsThem) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const int large = GetSystemMetrics(SM_CXICON);
    for (int id : {108, 109}) {
        SCOPED_TRACE(id);
        HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(id));
        ASSERT_NE(icon, nullptr);
        SIZE s = iconSize(icon);
        EXPECT_EQ(s.cx, large);
        EXPECT_EQ(s.cy, large);
    }
}

TEST(Icons, EachDrawnSizeLoadsAtItsOwnSize) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const struct {
        int id, size;
    } cases[] = {{108, 16}, {108, 32}, {108, 48}, {109, 16}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.id * 1000 + k.size);
        HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(k.id), IMAGE_ICON,
                                                   k.size, k.size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr);
        SIZE s = iconSize(icon);
        EXPECT_EQ(s.cx, k.size);
        EXPECT_EQ(s.cy, k.size);
        DestroyIcon(icon);
    }
}

// ---------------------------------------------------------------------------
// Version and manifest

TEST(VersionInfo, NamesTheProgramAndItsVersion) {
    Raw raw = rawResource(RT_VERSION, 1);
    ASSERT_NE(raw.data, nullptr);
    // The fixed part follows the key "VS_VERSION_INFO" at the first 32-bit
    // boundary; find it by its signature.
    const VS_FIXEDFILEINFO* fixed = nullptr;
    for (DWORD off = 0; off + sizeof(VS_FIXEDFILEINFO) <= raw.size; off += 4) {
        if (u32(raw.data + off) == 0xFEEF04BDu) {
            fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(raw.data + off);
            break;
        }
    }
    ASSERT_NE(fixed, nullptr);
    // The project version of CMakeLists.txt, as cmake/version.cmake hands it on.
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(QX_VERSION_MAJOR << 16 | QX_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(QX_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    // The strings are UTF-16 inside the block.
    auto contains = [&](const std::wstring& text) {
        const size_t bytes = text.size() * sizeof(wchar_t);
        for (DWORD off = 0; off + bytes <= raw.size; off += 2)
            if (std::memcmp(raw.data + off, text.data(), bytes) == 0) return true;
        return false;
    };
    EXPECT_TRUE(contains(L"CompanyName"));
    EXPECT_TRUE(contains(L"Tevra"));
    EXPECT_TRUE(contains(L"QX-700 Spectrum Analyzer"));
    EXPECT_TRUE(contains(L"qx700.exe"));
    EXPECT_TRUE(contains(L"" QX_VERSION_QUAD_TEXT));
}

TEST(Manifest, IsEmbeddedAndInForce) {
    Raw raw = rawResource(RT_MANIFEST, 1);  // the process's own manifest
    ASSERT_NE(raw.data, nullptr);
    std::string xml(reinterpret_cast<const char*>(raw.data), raw.size);
    EXPECT_NE(xml.find("asInvoker"), std::string::npos);
    EXPECT_NE(xml.find("name=\"Tevra.QX700\" version=\"" QX_VERSION_QUAD_TEXT "\""),
              std::string::npos);

    // The loader built the process's activation context from it at start-up:
    // its settings say per-monitor DPI aware (v2), and system DPI aware to
    // the Windows versions before it...
    WCHAR value[64] = {};
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxSettingsW(0, nullptr, nullptr, L"dpiAware", value,
                                     sizeof value / sizeof value[0], &written));
    EXPECT_STREQ(value, L"true");
    ASSERT_TRUE(QueryActCtxSettingsW(0, nullptr, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                     L"dpiAwareness", value, sizeof value / sizeof value[0],
                                     &written));
    EXPECT_STREQ(value, L"PerMonitorV2, System");

    // ...and the standard controls come from Common Controls 6.
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_WINDOW_CLASS_REDIRECTION,
                                         L"Edit", &data));
}
