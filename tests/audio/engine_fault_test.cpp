// Sound-device faults, each in a sound world of its own made by
// with_private_pulse.sh, which says which one in QX_FAULT:
//   none    no sound server at all;
//   nosink  a server with a recording source but no playback device;
//   full    a working server that the test kills and starts again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "EngineHarness.h"

using namespace qxtest;

namespace {

std::string fault()
{
    char buffer[64];
    const DWORD n = GetEnvironmentVariableA("QX_FAULT", buffer, sizeof(buffer));
    return n && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

// What the wave mapper answers when opened directly, as the engine opens it.
template <typename Handle, typename Open, typename Close>
MMRESULT openResult(Open open, Close close)
{
    WAVEFORMATEX f = AudioEngine::waveFormat(12000);
    Handle device = nullptr;
    const MMRESULT r = open(&device, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
    if (r == MMSYSERR_NOERROR)
        close(device);
    return r;
}
MMRESULT recordOpenResult() { return openResult<HWAVEIN>(waveInOpen, waveInClose); }
MMRESULT playbackOpenResult() { return openResult<HWAVEOUT>(waveOutOpen, waveOutClose); }

}  // namespace

TEST(SoundFaults, NoSoundServer)
{
    if (fault() != "none")
        GTEST_SKIP() << "run by with_private_pulse.sh none";
    const MMRESULT code = recordOpenResult();
    ASSERT_NE(code, static_cast<MMRESULT>(MMSYSERR_NOERROR)) << "there is a recording device";

    EngineSession s;
    s.start();
    for (int attempt = 0; attempt < 2; ++attempt) {
        s.log->clear();
        s.command(Code::Reference);
        ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 10000));
        EXPECT_EQ(s.store->get(Param::SoundErrorStage), SoundStage::RecordOpen);
        EXPECT_EQ(s.store->get(Param::SoundErrorCode), static_cast<int>(code));
        EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
        EXPECT_EQ(s.store->get(Param::PauseEnabled), 0);
        EXPECT_EQ(s.log->count(Param::CaptureActive), 0) << "capture never ran";
        EXPECT_FALSE(s.engine->recordDeviceOpen());
        EXPECT_FALSE(s.engine->playbackDeviceOpen());
        std::printf("[ no server ] stage %d code %d\n", s.store->get(Param::SoundErrorStage),
                    s.store->get(Param::SoundErrorCode));
        // As the main window does once it has shown the message.
        s.store->set(Param::SoundErrorStage, 0);
    }
    // After the failed start, Analyze is refused.
    ASSERT_TRUE(s.commandDone(Code::Analyze));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), 0);
    EXPECT_EQ(s.store->get(Param::RefMode), 1);
    EXPECT_TRUE(s.finish(10000));
}

TEST(SoundFaults, RecordingWorksButPlaybackDoesNot)
{
    if (fault() != "nosink")
        GTEST_SKIP() << "run by with_private_pulse.sh nosink";
    ASSERT_EQ(recordOpenResult(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const MMRESULT code = playbackOpenResult();
    ASSERT_NE(code, static_cast<MMRESULT>(MMSYSERR_NOERROR)) << "there is a playback device";

    EngineSession s;
    s.start();
    s.command(Code::Reference);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 10000));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), SoundStage::PlaybackOpen);
    EXPECT_EQ(s.store->get(Param::SoundErrorCode), static_cast<int>(code));
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    // Both devices are closed again (the report comes first, the closing
    // right after it): the engine's and the server's view.
    EXPECT_TRUE(waitUntil(
        [&] { return !s.engine->recordDeviceOpen() && !s.engine->playbackDeviceOpen(); }, 5000));
    std::string streams;
    EXPECT_EQ(unixCommand("pactl list short source-outputs", &streams), 0);
    EXPECT_EQ(streams, "") << "the recording stream is still open: " << streams;
    std::printf("[ no playback ] stage %d code %d\n", s.store->get(Param::SoundErrorStage),
                s.store->get(Param::SoundErrorCode));
    EXPECT_TRUE(s.finish(10000));
}

// The sound server goes away while a Reference runs: stopped and back only
// when a Reference has been refused, stopped and back at once, killed and
// back at once. Each time the engine reports it once, keeps what was measured
// and is idle, and the next Reference measures again: one engine throughout,
// as one program.
TEST(SoundFaults, SoundServerKilledDuringCaptureAndBack)
{
    if (fault() != "full")
        GTEST_SKIP() << "run by with_private_pulse.sh full";
    struct Case {
        const char* name;
        const char* signal;
        bool backAtOnce;
    };
    const Case cases[] = {
        {"stopped, away, back", "TERM", false},
        {"stopped and back at once", "TERM", true},
        {"killed and back at once", "KILL", true},
    };
    EngineSession s;
    s.start();
    auto measuring = [&](DWORD limitMs) {
        return waitUntil([&] { return s.engine->counters().published.load() >= 5; }, limitMs);
    };
    auto reports = [&] {
        const std::vector<int> v = s.log->values(Param::SoundErrorStage);
        return std::count_if(v.begin(), v.end(), [](int stage) { return stage != 0; });
    };
    std::string output;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The first blocks of a stream the server has just set up can take
        // seconds on a loaded machine.
        ASSERT_TRUE(s.commandDone(Code::Reference));
        ASSERT_TRUE(measuring(30000))
            << "published " << s.engine->counters().published.load() << ", sound error stage "
            << s.store->get(Param::SoundErrorStage) << " code " << s.store->get(Param::SoundErrorCode);
        s.log->clear();
        std::string command = std::string("kill -") + c.signal + " $(cat \"$QX_PRIVATE_PULSE_PID\")";
        if (c.backAtOnce)
            command += " && $QX_PRIVATE_PULSE_START";
        const double killed = nowMs();
        ASSERT_EQ(unixCommand(command, &output, 60000), 0) << output;
        ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 20000))
            << "the failure was never reported";
        const double took = nowMs() - killed;
        const int stage = s.store->get(Param::SoundErrorStage);
        EXPECT_TRUE(stage == SoundStage::RecordFailed || stage == SoundStage::PlaybackFailed) << stage;
        EXPECT_NE(s.store->get(Param::SoundErrorCode), 0);
        EXPECT_TRUE(waitUntil([&] {
            return !s.engine->recordDeviceOpen() && !s.engine->playbackDeviceOpen();
        }, 5000));
        EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
        EXPECT_EQ(s.store->get(Param::DataPresent), 1) << "what was measured is kept";
        EXPECT_EQ(reports(), 1) << "reported once";
        std::printf("[ %s ] stage %d code %d, reported after %.0f ms\n", c.name, stage,
                    s.store->get(Param::SoundErrorCode), took);
        s.store->set(Param::SoundErrorStage, 0);

        if (!c.backAtOnce) {
            // While the server is away, Reference fails cleanly, once.
            s.log->clear();
            ASSERT_TRUE(s.commandDone(Code::Reference));
            ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 10000));
            EXPECT_EQ(s.store->get(Param::SoundErrorStage), SoundStage::RecordOpen);
            EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
            EXPECT_EQ(reports(), 1);
            s.store->set(Param::SoundErrorStage, 0);
            ASSERT_EQ(unixCommand("$QX_PRIVATE_PULSE_START", &output, 60000), 0) << output;
        }
    }
    // The server is back: Reference measures again, without a word, also
    // when pressed again while it runs (the new stream's first block may
    // take seconds: the server has just woken its idle device).
    s.log->clear();
    for (int again = 0; again < 3; ++again) {
        ASSERT_TRUE(s.commandDone(Code::Reference));
        EXPECT_TRUE(measuring(30000)) << again << ": stage " << s.store->get(Param::SoundErrorStage)
                                      << " code " << s.store->get(Param::SoundErrorCode);
    }
    EXPECT_EQ(s.store->get(Param::CaptureActive), 1);
    EXPECT_EQ(reports(), 0);
    EXPECT_TRUE(s.finish(10000));
}
