// "About QX-700..." of the real qx700.exe, reached from the keyboard both
// ways a user has: the Help menu (Alt+H, its last item) and the system menu
// (Alt+Space, its last item); and F1, which opens the user guide beside the
// program, or says where it looked when there is none (as beside the
// build's program).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "qx_version.h"

using namespace drive;

namespace {

// The About box of the process, once it is open; null when none came.
bool waitForAbout(DWORD processId, MessageBoxInfo& out)
{
    return waitFor(
        [&] {
            for (const MessageBoxInfo& box : messageBoxes(processId))
                if (box.caption == L"About QX-700") {
                    out = box;
                    return true;
                }
            return false;
        },
        10000);
}

bool noBoxes(DWORD processId) { return messageBoxes(processId).empty(); }

std::string narrowed(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A popup menu (class "#32768") is showing.
bool menuOpen()
{
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu);
}

}  // namespace

TEST(AboutBox, TheHelpMenuAndTheSystemMenuShowVersionCommitAndLicence)
{
    settings::clear();
    feed({"silence"});
    Program p;
    ASSERT_TRUE(p.start());

    // F1: the user guide, not installed beside the build's program.
    ASSERT_TRUE(key("F1"));
    MessageBoxInfo guide;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const MessageBoxInfo& box : messageBoxes(p.processId()))
                if (box.caption == L"User Guide") {
                    guide = box;
                    return true;
                }
            return false;
        },
        10000))
        << "F1 asks for the user guide";
    EXPECT_NE(guide.text.find(L"\\UserGuide.html"), std::wstring::npos) << narrowed(guide.text);
    dismiss(guide);
    ASSERT_TRUE(waitFor([&] { return noBoxes(p.processId()); }, 10000));

    ASSERT_TRUE(key("alt+h"));
    ASSERT_TRUE(waitFor(menuOpen, 10000)) << "Alt+H opens the Help menu";
    screenshot(FindWindowW(L"#32768", nullptr), "about_help_menu");
    ASSERT_TRUE(key("Up Return"));
    MessageBoxInfo about;
    ASSERT_TRUE(waitForAbout(p.processId(), about)) << "Help, About opens the About box";
    EXPECT_EQ(GetWindow(about.box, GW_OWNER), p.window()) << "owned by the main window";
    EXPECT_FALSE(IsWindowEnabled(p.window())) << "modal";
    const std::wstring header = L"QX-700 Spectrum Analyzer\nVersion " QX_VERSION_TEXT
                                L"\nBuild " QX_COMMIT_TEXT L"\n\nMIT License\n\nCopyright";
    EXPECT_EQ(about.text.compare(0, header.size(), header), 0) << narrowed(about.text);
    EXPECT_NE(about.text.find(L"Permission is hereby granted, free of charge, to any person "
                              L"obtaining a copy of this software"),
              std::wstring::npos)
        << "a paragraph is one line";
    screenshot(about.box, "about");

    // Enter closes it; the window works on.
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([&] { return noBoxes(p.processId()); }, 10000));
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(p.window()) != 0; }, 5000));

    // The system menu's last item, by its mnemonic.
    ASSERT_TRUE(key("alt+space"));
    ASSERT_TRUE(waitFor(menuOpen, 10000)) << "Alt+Space opens the system menu";
    screenshot(FindWindowW(L"#32768", nullptr), "about_system_menu");
    // The item is the menu's last: Up from the top wraps round to it. (Its
    // mnemonic, A, is not unique under Wine, which adds "About Wine".)
    ASSERT_TRUE(key("Up Return"));
    ASSERT_TRUE(waitForAbout(p.processId(), about)) << "Alt+Space, Up, Enter opens the About box";
    dismiss(about);
    ASSERT_TRUE(waitFor([&] { return noBoxes(p.processId()); }, 10000));

    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
    settings::clear();
}
