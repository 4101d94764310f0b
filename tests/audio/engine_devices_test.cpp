// The recording device chosen by name, playback off, and the microphone's
// response, through the real wave devices. with_second_microphone.sh runs
// this program with a second virtual microphone ("Monitor of Mic2", a null
// sink "mic2" with a 1500 Hz sine playing into it) that exists from the
// program's start, as a plugged-in microphone would: the wave devices are
// listed once per process.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "foundation/SoundDevices.h"
#include "foundation/ResponseFile.h"

using namespace qxtest;

namespace {

const wchar_t* const kMic2 = L"Monitor of Mic2";
// At 12000 Hz and 1024 samples, bin k is k * 11.71875 Hz: 1500 Hz is bin 128.
constexpr int kMic2ToneBin = 128;

std::vector<float> spectrum(ParameterStore& store, bool reference)
{
    const int n = store.get(Param::NumSamples);
    std::vector<float> out;
    const int index = store.acquireLatestDisplayBuffer();
    if (index >= 0) {
        const SpectrumSet& half = reference ? store.displayBuffers()[index].reference()
                                            : store.displayBuffers()[index].analysis();
        out.assign(half.spectrum, half.spectrum + n / 2);
    }
    store.releaseDisplayBuffers();
    return out;
}

int peakBin(const std::vector<float>& s)
{
    return static_cast<int>(std::max_element(s.begin() + 1, s.end()) - s.begin());
}

// Runs a capture of `code` until `blocks` more blocks were published.
bool measure(EngineSession& s, int code, int blocks)
{
    s.command(code);
    const bool measured =
        waitUntil([&] { return s.store->get(Param::CaptureActive) == 1; }, 20000) &&
        waitUntil([&] { return s.engine->counters().published.load() >= blocks; }, 30000);
    if (!measured)
        std::printf("[ not measured ] capture %d, published %d, sound error stage %d code %d\n",
                    s.store->get(Param::CaptureActive), s.engine->counters().published.load(),
                    s.store->get(Param::SoundErrorStage), s.store->get(Param::SoundErrorCode));
    return measured;
}

// The "mic2" null sink and the sine playing into it, unloaded and loaded.
int mic2(const char* what)
{
    std::string out;
    const int r = unixCommand(std::string("\"$QX_MIC2\" ") + what, &out);
    std::printf("[ mic2 %s ] %s", what, out.c_str());
    return r;
}

// Streams the sound server plays to the speakers ("out").
int streamsToSpeakers()
{
    std::string out;
    unixCommand("i=$(pactl list short sinks | awk '$2==\"out\"{print $1}'); "
                "pactl list short sink-inputs | awk -v i=\"$i\" '$2==i' | wc -l",
                &out);
    return std::atoi(out.c_str());
}

class DevicesTest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        if (GetEnvironmentVariableA("QX_MIC2", nullptr, 0) == 0)
            GTEST_SKIP() << "run by with_second_microphone.sh";
    }
};

}  // namespace

TEST_F(DevicesTest, ASecondMicrophoneByNameGoneMidMeasurementAndBack)
{
    const std::vector<std::wstring> listed = sound_devices::recordingDevices();
    ASSERT_NE(std::find(listed.begin(), listed.end(), kMic2), listed.end())
        << "the second microphone is not listed";
    ASSERT_TRUE(feed({"sine 3000 0.3"}));  // the default microphone has another tone

    EngineSession s;
    s.store->set(Param::IntLvl, 4);
    s.store->setText(Option::RecordDevice, kMic2);
    s.start();
    ASSERT_TRUE(measure(s, Code::Reference, 10));
    EXPECT_EQ(s.store->text(Option::RecordDeviceInUse), kMic2);
    EXPECT_EQ(s.store->text(Option::DeviceNotice), L"");
    EXPECT_EQ(peakBin(spectrum(*s.store, true)), kMic2ToneBin) << "measured another microphone";

    // Unplugged while measuring: reported, the measurement kept.
    ASSERT_EQ(mic2("unload"), 0);
    ASSERT_TRUE(waitUntil([&] { return s.store->get(Param::SoundErrorStage) != 0; }, 20000));
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), SoundStage::RecordFailed);
    EXPECT_EQ(s.store->get(Param::CaptureActive), 0);
    EXPECT_EQ(s.store->get(Param::DataPresent), 1);
    EXPECT_EQ(s.store->get(Param::AnalyzeEnabled), 1) << "the Reference was complete";
    EXPECT_EQ(peakBin(spectrum(*s.store, true)), kMic2ToneBin) << "what was measured stays";
    s.store->set(Param::SoundErrorStage, 0);  // as the main window does

    // Still unplugged: Analyze does not measure silence. Wine keeps listing
    // a device that has gone and refuses to open it; Windows no longer lists
    // it, and the default device measures, with a notice.
    ASSERT_TRUE(s.commandDone(Code::Analyze));
    ASSERT_TRUE(waitUntil([&] {
        return s.store->get(Param::SoundErrorStage) == SoundStage::RecordOpen ||
               !s.store->text(Option::DeviceNotice).empty();
    }, 20000));
    s.store->set(Param::SoundErrorStage, 0);

    // Plugged in again: Analyze opens it again by name, without a restart
    // (the sound server's monitor of a fresh sink gives its first block
    // after a second or two).
    ASSERT_EQ(mic2("load"), 0);
    ASSERT_TRUE(measure(s, Code::Analyze, 10));
    std::printf("[ mic2 back ] analysis peak at bin %d\n", peakBin(spectrum(*s.store, false)));
    EXPECT_EQ(s.store->text(Option::RecordDeviceInUse), kMic2);
    EXPECT_EQ(s.store->text(Option::DeviceNotice), L"");
    EXPECT_EQ(peakBin(spectrum(*s.store, false)), kMic2ToneBin) << "measured the returned microphone";
    EXPECT_EQ(peakBin(spectrum(*s.store, true)), kMic2ToneBin) << "against the Reference kept";
    EXPECT_EQ(s.store->get(Param::SoundErrorStage), 0);
    EXPECT_TRUE(s.finish(10000));
}

TEST_F(DevicesTest, AMissingMicrophoneMeasuresWithTheDefaultAndSaysSo)
{
    ASSERT_TRUE(feed({"sine 3000 0.3"}));
    EngineSession s;
    s.store->setText(Option::RecordDevice, L"Gone Mic");
    s.start();
    ASSERT_TRUE(measure(s, Code::Reference, 5));
    EXPECT_EQ(s.store->text(Option::DeviceNotice), L"No \"Gone Mic\": default used");
    EXPECT_EQ(peakBin(spectrum(*s.store, true)), 256) << "3000 Hz from the default microphone";
    EXPECT_TRUE(s.finish(10000));
}

// Playback off opens no playback device and plays nothing; on, the same
// check sees the stream (so it can fail).
TEST_F(DevicesTest, PlaybackOffReachesNoSpeaker)
{
    ASSERT_TRUE(feed({"sine 3000 0.3"}));
    for (int playback : {0, 1}) {
        SCOPED_TRACE(playback);
        EngineSession s;
        s.store->set(Option::Playback, playback);
        s.start();
        ASSERT_TRUE(measure(s, Code::Reference, 20));
        EXPECT_EQ(s.engine->playbackDeviceOpen(), playback == 1);
        EXPECT_EQ(s.engine->counters().written.load() > 0, playback == 1);
        EXPECT_EQ(streamsToSpeakers() > 0, playback == 1);
        EXPECT_EQ(peakBin(spectrum(*s.store, true)), 256);
        EXPECT_TRUE(s.finish(10000));
    }
}

// Three tones measured without and with a response file: each level drops by
// the response at its frequency, interpolated in log frequency.
TEST_F(DevicesTest, AResponseFileComesOffTheMeasuredLevels)
{
    // 48000 Hz (as the sound server runs, so nothing is resampled) and 1024
    // samples: 750, 3000 and 4687.5 Hz.
    const int bins[3] = {16, 64, 100};
    std::vector<std::string> signal = {"noise 0.002"};
    for (int b : bins)
        signal.push_back("sine " + std::to_string(b * 48000.0 / 1024) + " 0.1");
    ASSERT_TRUE(feed(signal));
    const response_file::ParseResult file =
        response_file::parse("\"Sens Factor =-1.4dB\n500\t-2.0\n2000\t1.0\n8000\t4.0\n");
    ASSERT_TRUE(file.ok());

    // One run without the response, one with. The sound server's level
    // differs between runs by a few tenths of a dB, the same at every
    // frequency: the shape of the response (each tone against the first)
    // is checked closely, its level loosely.
    double measured[2][3];
    for (int run = 0; run < 2; ++run) {
        EngineSession s;
        s.store->set(Param::SampFrq, 48000);
        s.store->set(Param::IntLvl, 16);
        if (run == 1)
            s.store->micResponse().set(file.points, L"mic.txt", "1");
        s.start();
        ASSERT_TRUE(measure(s, Code::Reference, 150));
        const std::vector<float> db = spectrum(*s.store, true);
        for (int i = 0; i < 3; ++i)
            measured[run][i] = db[bins[i]];
        EXPECT_TRUE(s.finish(10000));
    }
    double computed[3], off[3];
    for (int i = 0; i < 3; ++i) {
        const double hz = bins[i] * 48000.0 / 1024;
        computed[i] = response_file::correctionAt(file.points, hz);
        off[i] = measured[0][i] - measured[1][i];
        std::printf("[ mic file ] %.1f Hz: %.2f dB without, %.2f dB with: %.2f dB off, "
                    "response %.2f dB\n",
                    hz, measured[0][i], measured[1][i], off[i], computed[i]);
        EXPECT_NEAR(off[i], computed[i], 0.6) << hz << " Hz";
        EXPECT_NEAR(off[i] - off[0], computed[i] - computed[0], 0.2) << hz << " Hz";
    }
}
