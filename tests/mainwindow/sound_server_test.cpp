// The sound server goes away while the real program measures, in a sound
// world of its own (tests/audio/with_private_pulse.sh full): it is killed
// and started again at once. The program says so in one box, keeps the
// readouts it had, saves them, and measures again at the next Reference.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Driver.h"

using namespace drive;

TEST(SoundServerTest, KilledDuringAReferenceIsReportedOnceAndTheProgramGoesOn)
{
    if (environment("QX_FAULT") != "full")
        GTEST_SKIP() << "run by with_private_pulse.sh full";
    settings::toneBands(64);
    const std::wstring saved = windowsPath(environment("QX_PRIVATE_PULSE_PID")) + L".csv";
    DeleteFileW(saved.c_str());

    // A tone into the private microphone, for as long as this server lives.
    ASSERT_EQ(runShell("(sox -n -r 48000 -c 1 -b 16 -e signed -t raw - synth 600 sine 3000 vol 0.1 | "
                       "pacat -d feed --raw --format=s16le --rate=48000 --channels=1) "
                       ">/dev/null 2>&1 </dev/null &", 10000),
              0);
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    HWND reference = c[101], pause = c[103];
    click(reference);
    // Readouts of the tone while the Reference still integrates.
    ASSERT_TRUE(waitFor([&] { return number(text(c[157])) > 20.0 && IsWindowEnabled(pause); }, 30000))
        << "band 2 shows " << number(text(c[157]));
    std::wstring shown[3];

    ASSERT_EQ(runShell("kill -KILL $(cat \"$QX_PRIVATE_PULSE_PID\") && $QX_PRIVATE_PULSE_START", 60000),
              0);
    MessageBoxInfo box;
    ASSERT_TRUE(waitForBox(p.processId(), L"Recording device failed", box, 20000) ||
                waitForBox(p.processId(), L"Playback device failed", box, 1000));
    for (int i = 0; i < 3; ++i)
        shown[i] = text(c[156 + i]);
    EXPECT_EQ(messageBoxes(p.processId()).size(), 1u) << "one box";
    std::printf("[ server killed ] \"%ls\" after %s dB in band 2\n", box.caption.c_str(),
                std::string(shown[1].begin(), shown[1].end()).c_str());
    ASSERT_TRUE(dismiss(box));
    EXPECT_TRUE(answers(p.window()));
    EXPECT_TRUE(messageBoxes(p.processId()).empty()) << "no second box";
    EXPECT_FALSE(IsWindowEnabled(pause));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(text(c[156 + i]), shown[i]) << "the readouts stay";

    // What was measured can be saved.
    PostMessageW(p.window(), WM_SYSCOMMAND, 0x7100, 0);
    ASSERT_TRUE(answerFileDialog(p.processId(), L"Save Measurement", saved));
    EXPECT_TRUE(waitFor([&] { return GetFileAttributesW(saved.c_str()) != INVALID_FILE_ATTRIBUTES; },
                        10000));
    DeleteFileW(saved.c_str());

    // The next Reference measures again, without a box.
    click(reference);
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 10000));
    EXPECT_TRUE(waitFor([&] { return messageBoxes(p.processId()).empty(); }, 1000));
    p.close();
    EXPECT_EQ(p.waitExit(35000), 0u);
    settings::clear();
}
