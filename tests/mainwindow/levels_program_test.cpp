// Levels you can trust in the real program, driven as a user drives it: the
// Measurement dialog from the keyboard, a calibration with a known tone in
// the virtual microphone, the units that follow it, clipping shown in the
// status line and marked on the readouts, the source row.
//
// 48000 Hz and 4096 samples, so the virtual microphone's signal reaches the
// program without resampling: a 1000 Hz tone of amplitude 0.3 has the level
// 20 log10(0.3 * 32767 * 4096 / 2) = 146.08 dB in the sound card's scale,
// whatever the window; a 94.0 dB calibrator therefore gives the offset
// 94.0 - 146.08 = -52.08 dB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Driver.h"

using namespace drive;

namespace {

std::string narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

HWND dialogOf(DWORD processId)
{
    for (const MessageBoxInfo& b : messageBoxes(processId))
        if (b.caption == L"Measurement")
            return b.box;
    return nullptr;
}

class LevelsProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings::clear();
        settings::set(L"SampFrq", 48000);
        settings::set(L"NumSamples", 4096);
        // Every block on its own, so the calibration's strongest block is one
        // the sound server delivered whole.
        settings::set(L"IntLvl", 1);
    }
    void TearDown() override
    {
        feed({"silence"});
        settings::clear();
    }
};

}  // namespace

TEST_F(LevelsProgramTest, CalibrateFromTheKeyboardThenClipping)
{
    const double toneDb = 20.0 * std::log10(0.3 * 32767.0 * 4096 / 2.0);
    const long long expectedOffset = std::llround(100.0 * (94.0 - toneDb));
    ASSERT_TRUE(feed({"sine 1000 0.3"}));
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    ASSERT_TRUE(c.count(168) && c.count(169) && c.count(170) && c.count(171));
    EXPECT_EQ(text(c[168]), L"&Measure...");
    EXPECT_EQ(text(c[170]), L"Source dB");
    EXPECT_FALSE(IsWindowVisible(c[169])) << "nothing to report yet";
    EXPECT_EQ(text(c[153]), L"Reference dB");

    // Alt+M opens the dialog; the window list and the level field are in it.
    ASSERT_TRUE(key("alt+m"));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = dialogOf(p.processId())) != nullptr; }, 10000));
    HWND list = GetDlgItem(dialog, 1001);
    HWND level = GetDlgItem(dialog, 1002);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0) << "Rectangular by default";
    EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(text(level), L"94.00");
    EXPECT_EQ(text(GetDlgItem(dialog, 1003)), L"Not calibrated");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1005))) << "no calibration to forget";
    // Hann, by the keyboard: the list has the focus first.
    ASSERT_TRUE(key("Down"));
    ASSERT_TRUE(waitFor([&] { return SendMessageW(list, CB_GETCURSEL, 0, 0) == 1; }, 5000));
    screenshot(dialog, "levels_measure_dialog");
    // Calibrate (Alt+C in the dialog).
    ASSERT_TRUE(key("alt+c"));
    ASSERT_TRUE(waitFor([&] { return dialogOf(p.processId()) == nullptr; }, 10000));

    // The calibration runs as a Reference for about three seconds.
    ASSERT_TRUE(waitFor([&] { return settings::get(L"CalDate") > 20200101; }, 40000))
        << "the calibration ends and is stored";
    EXPECT_NEAR(static_cast<double>(settings::get(L"CalOffset")), static_cast<double>(expectedOffset), 30.0)
        << "computed " << expectedOffset;
    EXPECT_EQ(settings::get(L"CalSampFrq"), 48000);
    EXPECT_EQ(settings::get(L"CalSamples"), 4096);
    EXPECT_EQ(settings::get(L"WindowFn"), 1);
    // Calibrated band means are no sound pressure levels: named for what they are.
    ASSERT_TRUE(waitFor([&] { return text(c[184]) == L"dB mean"; }, 5000));
    EXPECT_TRUE(IsWindowVisible(c[184]));
    EXPECT_EQ(text(c[153]), L"Reference");
    EXPECT_EQ(text(c[154]), L"Analysis");
    EXPECT_EQ(text(c[170]), L"Src. total");
    EXPECT_EQ(text(c[122]), L"dB SPL");
    EXPECT_TRUE(waitFor([&] { return text(c[169]) == L"Calibrated: 94.0 dB at 1000 Hz"; }, 5000))
        << narrow(text(c[169]));
    // The picture after a few blocks with the offset applied (nothing is
    // judged from the timing).
    const std::wstring before = text(c[157]);
    waitFor([&] { return text(c[157]) != before; }, 3000);
    // Nothing clipped (a busy machine may lose a block, which the line would
    // rightly report).
    EXPECT_TRUE(!IsWindowVisible(c[169]) || text(c[169]).find(L"Clip") == std::wstring::npos)
        << narrow(text(c[169]));
    screenshot(p.window(), "levels_calibrated");
    // Now there is a calibration to forget.
    ASSERT_TRUE(key("alt+m"));
    ASSERT_TRUE(waitFor([&] { return (dialog = dialogOf(p.processId())) != nullptr; }, 10000));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1005)));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(waitFor([&] { return dialogOf(p.processId()) == nullptr; }, 10000));

    // Beyond full scale: the status line says so, and the reference row is
    // marked.
    ASSERT_TRUE(feed({"sine 1000 1.2"}));
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(c[169]) != 0; }, 15000));
    EXPECT_TRUE(waitFor([&] { return text(c[169]).find(L"CLIPPING ") != std::wstring::npos; }, 5000))
        << narrow(text(c[169]));
    ASSERT_TRUE(waitFor([&] { return text(c[153]) == L"Reference*"; }, 5000));
    screenshot(p.window(), "levels_clipping");

    // The clipping stops; its count stays on the line until the next start.
    ASSERT_TRUE(feed({"sine 1000 0.3"}));
    ASSERT_TRUE(waitFor([&] { return text(c[169]).find(L"Clipped ") != std::wstring::npos; }, 15000));
    EXPECT_EQ(text(c[153]), L"Reference*");
    EXPECT_EQ(text(c[156]).find(L'*'), std::wstring::npos) << "the numbers stay plain";
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
}

// Third octaves with the real keys: Ctrl+3 and Ctrl+L (kept in the
// registry), a Reference of the 1000 Hz tone (Alt+R), and Copy Readouts
// (Ctrl+C): the table's 1 kHz band holds the tone's level, its neighbours
// far less, the lowest bands (narrower than three 11.7 Hz bins) are noted
// narrow and the status line says why they are hatched.
TEST_F(LevelsProgramTest, ThirdOctavesOfAToneFromTheKeyboard)
{
    const double toneDb = 20.0 * std::log10(0.3 * 32767.0 * 4096 / 2.0);
    ASSERT_TRUE(feed({"sine 1000 0.3"}));
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    ASSERT_TRUE(c.count(140) && c.count(185) && c.count(169));
    EXPECT_FALSE(IsWindowVisible(c[185])) << "the linear axis's labels by default";
    ASSERT_TRUE(key("ctrl+3"));
    ASSERT_TRUE(waitFor([] { return settings::get(L"BandView") == 2; }, 5000));
    ASSERT_TRUE(key("ctrl+l"));
    ASSERT_TRUE(waitFor([] { return settings::get(L"FrequencyAxis") == 1; }, 5000));
    EXPECT_TRUE(IsWindowVisible(c[185]));
    EXPECT_FALSE(IsWindowVisible(c[140]));
    ASSERT_TRUE(key("alt+r"));

    // The band's level once the Reference has it (each copy a new reading).
    std::vector<std::wstring> rows;
    auto band = [&](const std::wstring& nominal) {
        for (const std::wstring& row : rows)
            if (row.rfind(nominal + L"\t", 0) == 0)
                return splitOn(row, L"\t");
        return std::vector<std::wstring>();
    };
    const bool measured = waitFor(
        [&] {
            clearClipboard();
            if (!key("ctrl+c"))
                return false;
            std::wstring copied;
            if (!waitFor([&] { return !(copied = clipboardText()).empty(); }, 3000))
                return false;
            rows = splitOn(copied, L"\r\n");
            const auto cells = band(L"1000");
            return cells.size() == 7 && std::fabs(number(cells[1]) - toneDb) < 0.3;
        },
        30000);
    ASSERT_TRUE(measured) << narrow(band(L"1000").empty() ? L"no 1000 Hz row" : band(L"1000")[1]);
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        L"Third-octave band (Hz)\tReference dB\tAnalysis dB\tDifference dB\tSource dB\tSource\tNote"),
              rows.end());
    for (const wchar_t* neighbour : {L"800", L"1250"})
        EXPECT_LT(number(band(neighbour).at(1)), toneDb - 20.0) << narrow(neighbour);
    EXPECT_EQ(band(L"25").at(6), L"narrow");
    EXPECT_EQ(band(L"200").at(6), L"");
    EXPECT_NE(text(c[169]).find(L"Hatched: < 3 bins to 125 Hz"), std::wstring::npos) << narrow(text(c[169]));
    screenshot(p.window(), "octave_thirds_log");
    ASSERT_TRUE(key("ctrl+2"));
    ASSERT_TRUE(waitFor([] { return settings::get(L"BandView") == 1; }, 5000));
    screenshot(p.window(), "octave_octaves_log");
    ASSERT_TRUE(key("ctrl+1"));
    ASSERT_TRUE(waitFor([] { return settings::get(L"BandView") == 0; }, 5000));
    screenshot(p.window(), "octave_narrow_log");
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
}
