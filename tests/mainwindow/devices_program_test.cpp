// The microphone and the sound card in the real program, driven as a user
// drives it: what the status line says about a remembered device and a
// microphone file that are missing, and the "Microphone and Sound Card"
// dialog from the keyboard (Ctrl+D), its choices kept in the registry, the
// microphone file named in the Measurement dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Driver.h"
#include "Environment.h"

using namespace drive;

namespace {

HWND dialogOf(DWORD processId, const wchar_t* caption)
{
    for (const MessageBoxInfo& b : messageBoxes(processId))
        if (b.caption == caption)
            return b.box;
    return nullptr;
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

class DevicesProgramTest : public ::testing::Test {
protected:
    void SetUp() override { settings::clear(); }
    void TearDown() override
    {
        feed({"silence"});
        settings::clear();
    }
};

}  // namespace

TEST_F(DevicesProgramTest, AMissingDeviceAndMicrophoneFileAreSaidOnTheStatusLine)
{
    settings::setText(L"RecordDevice", L"Gone Mic");
    settings::setText(L"MicFile", L"C:\\nowhere\\mic.txt");
    ASSERT_TRUE(feed({"sine 3000 0.3"}));
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(c[169]) != 0; }, 5000));
    EXPECT_EQ(text(c[169]), L"No mic file") << "said at start";
    click(c[101]);  // Reference
    ASSERT_TRUE(waitFor([&] { return text(c[169]).find(L"Gone Mic") != std::wstring::npos; }, 15000))
        << narrow(text(c[169]));
    EXPECT_EQ(text(c[169]).rfind(L"No \"Gone Mic\": default used  No mic file", 0), 0u)
        << narrow(text(c[169]));
    screenshot(p.window(), "devices_missing");
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
}

TEST_F(DevicesProgramTest, TheDialogFromTheKeyboard)
{
    // A microphone file of the common kind, kept from the last session.
    const std::string unixPath = "/tmp/qx-devices-test-mic.txt";
    {
        std::ofstream f(qxsupport::windowsPath(unixPath).c_str(), std::ios::binary);
        f << "\"Sens Factor =-1.4dB, SERNO: 7001234\"\r\n20\t-2.5\r\n1000\t0.0\r\n20000\t3.0\r\n";
    }
    settings::setText(L"MicFile", qxsupport::windowsPath(unixPath));
    Program p;
    ASSERT_TRUE(p.start());

    ASSERT_TRUE(key("ctrl+d"));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitFor([&] {
        return (dialog = dialogOf(p.processId(), L"Microphone and Sound Card")) != nullptr;
    }, 10000));
    HWND record = GetDlgItem(dialog, 1101);
    HWND playback = GetDlgItem(dialog, 1102);
    EXPECT_EQ(text(GetDlgItem(dialog, 1103)), L"qx-devices-test-mic.txt");
    EXPECT_EQ(SendMessageW(record, CB_GETCURSEL, 0, 0), 0);
    wchar_t first[64] = {};
    SendMessageW(record, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ(first, L"Default device");
    EXPECT_GE(SendMessageW(record, CB_GETCOUNT, 0, 0), 2) << "the virtual microphone is listed";
    EXPECT_EQ(SendMessageW(playback, CB_GETCURSEL, 0, 0), 1) << "playback to the default device";
    // Playback off by its mnemonic and the Home key, then Enter for OK.
    ASSERT_TRUE(key("alt+p"));
    ASSERT_TRUE(key("Home"));
    ASSERT_TRUE(waitFor([&] { return SendMessageW(playback, CB_GETCURSEL, 0, 0) == 0; }, 5000));
    screenshot(dialog, "devices_dialog");
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(waitFor([&] { return !IsWindow(dialog); }, 10000));
    EXPECT_TRUE(waitFor([&] { return settings::get(L"Playback") == 0; }, 5000));

    // The Measurement dialog names the file beside the calibration.
    ASSERT_TRUE(key("alt+m"));
    HWND measure = nullptr;
    ASSERT_TRUE(waitFor([&] { return (measure = dialogOf(p.processId(), L"Measurement")) != nullptr; }, 10000));
    EXPECT_EQ(text(GetDlgItem(measure, 1003)),
              L"Not calibrated\nMicrophone file: qx-devices-test-mic.txt");
    screenshot(measure, "devices_measure_dialog");
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return !IsWindow(measure); }, 10000));
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
    DeleteFileW(qxsupport::windowsPath(unixPath).c_str());
}
