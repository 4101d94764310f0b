// The worker's command state machine with real capture runs on the virtual
// devices: refused commands, Pause before and after a complete integration,
// Defaults with and without changes, quick successions, closing while
// capturing, and the Recorder command.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "Environment.h"

using namespace qxtest;

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveFeeder())
            GTEST_SKIP() << "needs the virtual devices of scripts/test";
        clearSettingsKey();
        feed({"noise 0.05"});
    }
    void TearDown() override { feed({"silence"}); }

    // Capture runs and the worker has finished starting it (PauseEnabled is
    // its last write).
    static bool capturing(EngineSession& s)
    {
        return waitUntil(
            [&] {
                return s.store->get(Param::CaptureActive) == 1 &&
                       s.store->get(Param::PauseEnabled) == 1;
            },
            5000, 1);
    }
    // Capture ends inside the Pause (or a failure): what is enabled
    // afterwards is written after CaptureActive, so a test waits for the
    // command to be carried out (commandDone) before it reads them.
    static bool idle(EngineSession& s)
    {
        return waitUntil([&] { return s.store->get(Param::CaptureActive) == 0; }, 5000, 1);
    }
};

int countValue(const std::vector<int>& values, int v)
{
    return static_cast<int>(std::count(values.begin(), values.end(), v));
}

}  // namespace

TEST_F(CommandsTest, AnalyzeBeforeAnyCaptureDoesNothing)
{
    EngineSession s;
    s.start();
    s.log->clear();
    ASSERT_TRUE(s.commandDone(Code::Analyze));
    EXPECT_EQ(s.log->count(Param::CaptureActive), 0);
    EXPECT_EQ(s.log->count(Param::RefMode), 0);
    EXPECT_EQ(s.store->get(Param::RefMode), 1);
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    // Pause without capture does nothing either.
    ASSERT_TRUE(s.commandDone(Code::Pause));
    EXPECT_EQ(s.log->count(Param::AnalyzeEnabled), 0);
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, PauseBeforeTheIntegrationIsCompleteLeavesAnalyzeDisabled)
{
    EngineSession s;  // 12000 Hz, N = 1024: a block every 85 ms; IntLvl 16
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::IntCount) >= 5; }, 5000, 1));
    ASSERT_TRUE(s.commandDone(Code::Pause));
    ASSERT_TRUE(idle(s));
    const int reached = s.store->get(Param::IntCount);
    EXPECT_LT(reached, 16) << "the test paused too late";
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 0);
    EXPECT_EQ(s.store->get(Param::PauseEnabled), 0);
    EXPECT_EQ(s.store->get(Param::ProgressHidden), 1);
    // Analyze is still accepted after a Pause (the window decides whether it
    // offers it), and captures into the analysis half.
    s.log->clear();
    s.command(Code::Analyze);
    ASSERT_TRUE(capturing(s));
    EXPECT_EQ(s.store->get(Param::RefMode), 0);
    EXPECT_EQ(s.store->get(Param::PauseEnabled), 1);
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, PauseAtSixteenOfSixteenEnablesAnalyze)
{
    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::IntCount) >= 16; }, 5000, 1));
    ASSERT_TRUE(s.commandDone(Code::Pause));
    ASSERT_TRUE(idle(s));
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 1);
    EXPECT_EQ(s.store->get(Param::PauseEnabled), 0);
    // An analysis paused early still enables Analyze: only an incomplete
    // reference disables it.
    s.command(Code::Analyze);
    ASSERT_TRUE(capturing(s));
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::IntCount) >= 3; }, 5000, 1));
    ASSERT_TRUE(s.commandDone(Code::Pause));
    ASSERT_TRUE(idle(s));
    EXPECT_LT(s.store->get(Param::IntCount), 16);
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 1);
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, DefaultsAtTheDefaultsKeepCaptureRunning)
{
    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(capturing(s));
    s.store->set(Param::DisplayDb, 2);
    s.store->set(Param::DbDiff, 80);
    s.store->setColours(0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666);
    const int before = s.engine->counters().published.load();
    s.log->clear();
    // Defaults returns once the worker has carried it out.
    s.command(Code::Defaults);
    EXPECT_EQ(s.engine->commandsCarriedOut(), s.engine->commandsIssued());
    EXPECT_EQ(s.log->count(Param::CaptureActive), 0) << "capture was disturbed";
    EXPECT_EQ(s.store->get(Param::CaptureActive), 1);
    EXPECT_TRUE(waitUntil(
        [&] { return s.engine->counters().published.load() >= before + 5; }, 3000));
    EXPECT_EQ(s.store->get(Param::DisplayDb), 1);
    EXPECT_EQ(s.store->get(Param::DbDiff), 50);
    EXPECT_EQ(s.store->get(Param::BackColor), 0x808080);
    EXPECT_EQ(s.store->get(Param::FilterColor), 0xFFFFFF);
    for (int id : {Param::NumSamples, Param::SampFrq, Param::IntLvl, Param::Filter0,
                   Param::Filter1, Param::Filter2, Param::Filter3})
        EXPECT_EQ(s.log->count(id), 0) << "parameter " << id;
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, DefaultsWithAnotherBlockSizeStopCaptureOnce)
{
    EngineSession s;
    s.store->set(Param::NumSamples, 2048);
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(capturing(s));
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= 2; }, 5000));
    s.log->clear();
    s.command(Code::Defaults);
    EXPECT_EQ(s.engine->commandsCarriedOut(), s.engine->commandsIssued());
    ASSERT_TRUE(idle(s));
    EXPECT_EQ(s.log->values(Param::CaptureActive), std::vector<int>{0}) << "stopped once";
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0) << "and stays stopped";
    EXPECT_EQ(s.store->get(Param::NumSamples), 1024);
    EXPECT_EQ(s.log->values(Param::NumSamples), std::vector<int>{1024});
    for (int id : {Param::SampFrq, Param::IntLvl, Param::Filter0, Param::Filter1,
                   Param::Filter2, Param::Filter3})
        EXPECT_EQ(s.log->count(id), 0) << "parameter " << id;
    // The capture stop came before the new block size.
    const auto entries = s.log->entries();
    const auto stop = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.id == Param::CaptureActive;
    });
    const auto size = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.id == Param::NumSamples;
    });
    EXPECT_LT(stop - entries.begin(), size - entries.begin());
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, ConfigurationChangeStopsCaptureAndClearsTheData)
{
    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::DataPresent) == 1; }, 5000));
    s.store->set(Param::AnalyzeEnabled, 1);
    s.command(Code::Apply);
    // The sender waits until the worker has stopped capture.
    EXPECT_EQ(s.engine->commandsCarriedOut(), s.engine->commandsIssued());
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_EQ(s.store->get(Param::DataPresent), 0);
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 0);
    EXPECT_EQ(s.store->get(Param::PauseEnabled), 0);
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, OnlyTheLaterOfTwoQuickCommandsIsCarriedOut)
{
    EngineSession s;
    s.start();
    // Hold the worker inside a command (it writes DataPresent = 0 for a
    // configuration change) while two more commands arrive.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> armed{0}, held{0};
    s.log->onWrite = [&](int id) {
        if (id == Param::DataPresent && armed.exchange(0) == 1) {
            held = 1;
            WaitForSingleObject(release, 10000);
        }
    };
    auto holdAndSend = [&](int first, int second) {
        ResetEvent(release);
        s.store->set(Param::DataPresent, 1);
        held = 0;
        armed = 1;
        std::thread apply([&] { s.command(Code::Apply); });
        const bool ok = waitUntil([&] { return held.load() == 1; }, 5000, 1);
        s.command(first);
        s.command(second);
        SetEvent(release);
        apply.join();
        return ok;
    };

    // Reference, then Analyze at once: only Analyze runs, and it is refused
    // because nothing was captured or paused.
    s.log->clear();
    ASSERT_TRUE(holdAndSend(Code::Reference, Code::Analyze));
    ASSERT_TRUE(waitUntil(
        [&] { return s.engine->commandsCarriedOut() == s.engine->commandsIssued(); }, 10000));
    EXPECT_EQ(countValue(s.log->values(Param::CaptureActive), 1), 0)
        << "the earlier Reference was carried out";
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);

    // The other way round: the Reference wins.
    ASSERT_TRUE(holdAndSend(Code::Analyze, Code::Reference));
    EXPECT_TRUE(capturing(s));
    EXPECT_EQ(s.store->get(Param::RefMode), 1);
    CloseHandle(release);
    s.log->onWrite = nullptr;
    EXPECT_TRUE(s.finish());
}

TEST_F(CommandsTest, ClosingWhileCapturingClosesTheDevicesBeforeRunReturns)
{
    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(capturing(s));
    ASSERT_TRUE(waitUntil([&] { return s.engine->counters().published.load() >= 3; }, 5000));
    s.log->clear();
    ASSERT_TRUE(s.finish(40000)) << "run() did not return";
    std::printf("[ close ] run returned %.0f ms after the user interface ended\n", s.runMs);
    EXPECT_EQ(s.runResult, 0);
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_FALSE(s.engine->recordDeviceOpen());
    EXPECT_FALSE(s.engine->playbackDeviceOpen());
    const auto entries = s.log->entries();
    const auto stop = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.id == Param::CaptureActive && e.value == 0;
    });
    ASSERT_NE(stop, entries.end());
    EXPECT_LT(ticksToMs(stop->ticks), s.runReturnedMs);
    // The sound server agrees: no stream of ours is left.
    std::string streams;
    EXPECT_EQ(unixCommand("pactl list short source-outputs", &streams), 0);
    EXPECT_EQ(streams, "") << streams;
}

TEST_F(CommandsTest, RecorderStopsCaptureBeforeItStarts)
{
    // The stand-in tool (scripts cannot run the real recorder under Wine).
    const std::wstring stubPath = qxsupport::windowsPathFromEnv("QX_TOOL_STUB");
    if (stubPath.empty())
        GTEST_SKIP() << "QX_TOOL_STUB is not set";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"qx-recorder-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring tool = folder + L"\\sndrec32.exe";
    const std::wstring logFile = folder + L"\\started.log";
    ASSERT_TRUE(CopyFileW(stubPath.c_str(), tool.c_str(), FALSE));
    SetEnvironmentVariableW(L"QX_TOOL_LOG", logFile.c_str());
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, L"QxToolStubQuit");

    EngineSession s;
    s.engine->setToolDirectory(folder.c_str());
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(capturing(s));
    int captureAtStart = -1;
    s.command(Code::Recorder);
    const bool startedTool = waitUntil(
        [&] {
            if (GetFileAttributesW(logFile.c_str()) == INVALID_FILE_ATTRIBUTES)
                return false;
            captureAtStart = s.store->get(Param::CaptureActive);
            return true;
        },
        10000);
    EXPECT_TRUE(startedTool);
    EXPECT_EQ(captureAtStart, 0) << "the recorder started while capture ran";
    EXPECT_TRUE(s.engine->toolRunning(1));
    // Capture does not come back by itself, not even when the recorder ends.
    SetEvent(quit);
    EXPECT_TRUE(waitUntil([&] { return !s.engine->toolRunning(1); }, 10000));
    EXPECT_EQ(s.engine->commandsCarriedOut(), s.engine->commandsIssued());
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_TRUE(s.finish());
    CloseHandle(quit);
    DeleteFileW(tool.c_str());
    DeleteFileW(logFile.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(CommandsTest, TheFallbackVolumeToolOfThisSystemRunsOnce)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const bool wine = GetFileAttributesW((std::wstring(system) + L"\\winecfg.exe").c_str()) !=
                      INVALID_FILE_ATTRIBUTES;
    const bool classic = GetFileAttributesW((std::wstring(system) + L"\\sndvol32.exe").c_str()) !=
                         INVALID_FILE_ATTRIBUTES;
    if (!wine || classic)
        GTEST_SKIP() << "checks the Wine fallback only";
    terminateProcessesNamed(L"winecfg.exe");
    auto engine = std::make_unique<AudioEngine>();
    engine->launchVolumeControl();
    ASSERT_TRUE(waitUntil([] { return processesNamed(L"winecfg.exe") == 1; }, 15000));
    EXPECT_TRUE(engine->toolRunning(0));
    // A program is started in the call itself: a second copy would exist now.
    engine->launchVolumeControl();
    EXPECT_EQ(processesNamed(L"winecfg.exe"), 1);
    // The user closes it; the next press starts it again.
    terminateProcessesNamed(L"winecfg.exe");
    ASSERT_TRUE(waitUntil([&] { return !engine->toolRunning(0); }, 10000));
    engine->launchVolumeControl();
    EXPECT_TRUE(waitUntil([] { return processesNamed(L"winecfg.exe") == 1; }, 15000));
    terminateProcessesNamed(L"winecfg.exe");
    EXPECT_TRUE(waitUntil([&] { return !engine->toolRunning(0); }, 10000));
}
