// A whole measurement through the window of the real program, with a known
// signal in the virtual microphone, and the program without a sound server.
//
// The signal: a tone at 3000 Hz, which at 12000 Hz and 1024 samples falls
// exactly on bin 256, over faint white noise. The band limits are saved as
// 100, 3000, 3012 and 4000 Hz, so band 2 is bin 256 alone: its level is the
// tone's bin, 20 log10(A * 32767 * 1024 / 2) dB for amplitude A (an
// unwindowed transform of a bin-centred sine, not scaled by N). Bands 1 and 3
// hold noise only: uniform noise of amplitude a has a standard deviation of
// a * 32767 / sqrt(3) at 48000 Hz; a quarter of its power survives the
// resampling to 12000 Hz, and the mean magnitude of a bin of Gaussian noise
// is sqrt(pi * N * sigma^2) / 2. The Reference takes A = 0.1, the Analysis
// A = 0.4: band 2 must rise by 20 log10(4) = 12.04 dB, bands 1 and 3 by
// nothing.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "Driver.h"
#include "Signal.h"
#include "audio/AudioEngine.h"

using namespace drive;

namespace {

constexpr double kPi = 3.14159265358979323846;

double toneBinDb(double amplitude) { return 20.0 * std::log10(amplitude * 32767.0 * 1024.0 / 2.0); }

double noiseBinDb(double amplitude)
{
    const double sigma48 = amplitude * 32767.0 / std::sqrt(3.0);
    const double sigma12 = sigma48 / 2.0;  // a quarter of the power
    return 20.0 * std::log10(std::sqrt(kPi * 1024.0) * sigma12 / 2.0);
}

// The gain in dB between what the feeder plays and what a program under Wine
// records at 12000 Hz, mono, 16 bits: the RMS of a recorded tone of
// amplitude A against A * 32767 / sqrt(2). NAN when recording fails.
double chainGainDb(double amplitude)
{
    WAVEFORMATEX f = AudioEngine::waveFormat(12000);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HWAVEIN in = nullptr;
    if (waveInOpen(&in, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR) {
        CloseHandle(done);
        return NAN;
    }
    static short samples[2][12000];
    WAVEHDR h[2]{};
    for (int i = 0; i < 2; ++i) {
        h[i].lpData = reinterpret_cast<LPSTR>(samples[i]);
        h[i].dwBufferLength = sizeof samples[i];
        waveInPrepareHeader(in, &h[i], sizeof h[i]);
        waveInAddBuffer(in, &h[i], sizeof h[i]);
    }
    waveInStart(in);
    waitFor([&] { return (h[1].dwFlags & WHDR_DONE) != 0; }, 5000);
    waveInReset(in);
    const bool ok = (h[1].dwFlags & WHDR_DONE) && h[1].dwBytesRecorded == sizeof samples[1];
    for (auto& hh : h)
        waveInUnprepareHeader(in, &hh, sizeof hh);
    waveInClose(in);
    CloseHandle(done);
    if (!ok)
        return NAN;
    double sum = 0;
    for (short v : samples[1])
        sum += static_cast<double>(v) * v;
    const double rms = std::sqrt(sum / 12000);
    return 20.0 * std::log10(rms / (amplitude * 32767.0 / std::sqrt(2.0)));
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Text colours of a readout, counted on the screen.
struct Ink {
    int red = 0;
    int black = 0;
};
Ink inkOf(HWND label)
{
    const Pixels p = capture(screenRectOf(label));
    Ink ink;
    ink.red = p.count([](COLORREF c) {
        return GetRValue(c) > 150 && GetGValue(c) < 110 && GetBValue(c) < 110;
    });
    ink.black = p.count([](COLORREF c) {
        return GetRValue(c) < 70 && GetGValue(c) < 70 && GetBValue(c) < 70;
    });
    return ink;
}

int countColour(const Pixels& p, COLORREF colour)
{
    return p.count([colour](COLORREF c) { return c == colour; });
}

int differingPixels(const Pixels& a, const Pixels& b)
{
    const std::vector<COLORREF> pa = a.colours(), pb = b.colours();
    int n = 0;
    for (size_t i = 0; i < pa.size() && i < pb.size(); ++i)
        if (pa[i] != pb[i])
            ++n;
    return n;
}

int streamsOfWine(const char* kind)
{
    // The program's recording stream is a source output of PulseAudio, its
    // playback a sink input; the feeder's pacat is not a Wine client.
    const std::string out = shellOutput(std::string("pactl list ") + kind +
                                        " | grep -c 'application.process.binary = .wine'");
    return std::atoi(out.c_str());
}

class MeasurementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings::toneBands(32);
    }
    void TearDown() override
    {
        feed({"silence"});
        settings::clear();
    }
};

}  // namespace

TEST_F(MeasurementTest, ReferenceThenAnalysisWithAKnownTone)
{
    ASSERT_TRUE(feed({"sine 3000 0.1"}));
    const double gain = chainGainDb(0.1);
    ASSERT_FALSE(std::isnan(gain)) << "the virtual microphone records";
    std::printf("gain of the sound path: %.2f dB\n", gain);
    ASSERT_TRUE(feed({"sine 3000 0.1", "noise 0.05"}));
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    HWND reference = c[101], analyze = c[102], pause = c[103], progress = c[119];
    HWND refMeter = c[113], anaMeter = c[114], waveform = c[116], graph = c[120];
    HWND refOut[3] = {c[156], c[157], c[158]};
    HWND anaOut[3] = {c[159], c[160], c[161]};
    HWND diffOut[3] = {c[162], c[163], c[164]};
    EXPECT_EQ(text(c[118]), L"Band Frequencies = 100 - 3000, 3000 - 3012, 3012 - 4000 Hz");
    const std::string before = screenshot(p.window(), "main_before");
    std::printf("screenshot before a measurement: %s\n", before.c_str());

    // Nothing measured yet: the views show their grid only.
    const Pixels idleGraph = capture(screenRectOf(graph));
    EXPECT_EQ(countColour(idleGraph, RGB(0, 0, 255)), 0) << "no reference trace before Reference";

    // --- Reference, by a click on the button.
    click(reference);
    ASSERT_TRUE(waitFor([&] { return IsWindowVisible(progress) != 0; }, 3000))
        << "the integration progress shows while the reference integrates";
    // 32 blocks of 85 ms take 2.7 s: Analyze waits for their end. (Pause is
    // offered just after the progress shows.)
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000));
    EXPECT_FALSE(IsWindowEnabled(analyze)) << "Analyze waits for the end of the integration";
    const std::string integrating = screenshot(p.window(), "main_integrating");
    std::printf("screenshot while integrating: %s\n", integrating.c_str());
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(progress); }, 15000))
        << "the progress disappears when the integration is complete";
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(analyze) != 0; }, 2000))
        << "Analyze is offered at the end of the integration";

    const double refTone = toneBinDb(0.1) + gain, floor = noiseBinDb(0.05) + gain;
    std::printf("predicted: tone bin %.2f dB, noise floor %.2f dB\n", refTone, floor);
    // The exponential average settles on the tone and the noise. (A busy
    // machine may tear a block now and then, which splashes over every bin
    // for a while; the average forgets it.)
    waitFor(
        [&] {
            return std::fabs(number(text(refOut[1])) - refTone) < 0.3 &&
                   std::fabs(number(text(refOut[0])) - floor) < 1.0 &&
                   std::fabs(number(text(refOut[2])) - floor) < 1.0;
        },
        15000);
    double ref[3];
    for (int i = 0; i < 3; ++i) {
        ref[i] = number(text(refOut[i]));
        std::printf("reference band %d: %s\n", i + 1, narrow(text(refOut[i])).c_str());
        EXPECT_TRUE(text(anaOut[i]).empty()) << "no analysis readout while the reference runs";
        EXPECT_TRUE(text(diffOut[i]).empty());
    }
    EXPECT_NEAR(ref[1], refTone, 0.5) << "band 2 is the tone's bin";
    EXPECT_NEAR(ref[0], floor, 1.5) << "band 1 is noise";
    EXPECT_NEAR(ref[2], floor, 1.5) << "band 3 is noise";

    // Meters and graphs show the measurement.
    EXPECT_GT(countColour(capture(screenRectOf(refMeter)), RGB(255, 255, 0)), 20)
        << "the reference meter lights its low segments";
    const Pixels g1 = capture(screenRectOf(graph));
    EXPECT_GT(countColour(g1, RGB(0, 0, 255)), 200) << "the reference trace is drawn";
    EXPECT_GT(countColour(g1, RGB(255, 255, 255)), 50) << "band outlines are drawn";
    const Pixels w1 = capture(screenRectOf(waveform));
    EXPECT_GT(countColour(w1, RGB(0, 0, 255)), 200) << "the waveform is drawn";
    EXPECT_TRUE(waitFor(
        [&] { return differingPixels(w1, capture(screenRectOf(waveform))) > 50; }, 5000))
        << "the waveform repaints with every block";
    const std::string during = screenshot(p.window(), "main_reference");
    std::printf("screenshot during the reference: %s\n", during.c_str());

    // --- Pause: capture stops, Analyze stays, Pause goes grey.
    click(pause);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000));
    EXPECT_TRUE(IsWindowEnabled(analyze));
    // Capture has stopped: the recording stream is gone, no block follows.
    EXPECT_TRUE(waitFor([&] { return streamsOfWine("source-outputs") == 0; }, 5000, 100))
        << "still recording while paused";
    answers(p.window());  // the window has taken what came before
    for (int i = 0; i < 3; ++i)
        ref[i] = number(text(refOut[i]));  // the reference as it stood at the pause

    // --- Analysis, with Alt+A, of a four times louder tone.
    ASSERT_TRUE(feed({"sine 3000 0.4", "noise 0.05"}));
    ASSERT_TRUE(key("alt+a"));
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(pause) != 0; }, 5000));
    EXPECT_TRUE(waitFor([&] { return IsWindowVisible(progress) != 0; }, 3000));
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(progress); }, 15000));
    // The exponential average settles on the louder tone and the noise.
    waitFor(
        [&] {
            return std::fabs(number(text(anaOut[1])) - (toneBinDb(0.4) + gain)) < 0.3 &&
                   std::fabs(number(text(diffOut[0]))) < 0.4 &&
                   std::fabs(number(text(diffOut[2]))) < 0.4;
        },
        15000);

    double ana[3], diff[3];
    for (int i = 0; i < 3; ++i) {
        ana[i] = number(text(anaOut[i]));
        diff[i] = number(text(diffOut[i]));
        std::printf("band %d: reference %s, analysis %s, difference %s\n", i + 1,
                    narrow(text(refOut[i])).c_str(), narrow(text(anaOut[i])).c_str(),
                    narrow(text(diffOut[i])).c_str());
        EXPECT_EQ(number(text(refOut[i])), ref[i]) << "the reference stays as measured";
    }
    EXPECT_NEAR(ana[1], toneBinDb(0.4) + gain, 0.5);
    EXPECT_NEAR(diff[1], 20.0 * std::log10(4.0), 0.3);
    // The noise bands stay level within a dB: Wine's capture path tears a
    // block now and then on a loaded machine, which moves an average of
    // noise by more than its own spread.
    EXPECT_NEAR(diff[0], 0.0, 1.0);
    EXPECT_NEAR(diff[2], 0.0, 1.0);
    // The difference is the analysis readout minus the reference readout, to
    // the rounding of each.
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(diff[i], ana[i] - ref[i], 0.11) << "band " << i + 1;

    // Colour by threshold (5.0 dB): band 2 rose by 12 dB and stays black;
    // bands 1 and 3 did not rise and turn red.
    const Ink ink1 = inkOf(diffOut[0]), ink2 = inkOf(diffOut[1]), ink3 = inkOf(diffOut[2]);
    EXPECT_GT(ink1.red, 5);
    EXPECT_EQ(ink1.black, 0);
    EXPECT_GT(ink3.red, 5);
    EXPECT_GT(ink2.black, 5);
    EXPECT_EQ(ink2.red, 0);
    EXPECT_EQ(inkOf(refOut[1]).red, 0) << "only difference readouts change colour";

    // The analysis trace: above the threshold at the tone (analysis pen),
    // below it in the noise (threshold pen); the analysis meter lights.
    const Pixels g2 = capture(screenRectOf(graph));
    EXPECT_GT(countColour(g2, RGB(0, 255, 0)), 3) << "the tone's column is drawn as risen";
    EXPECT_GT(countColour(g2, RGB(255, 0, 0)), 200) << "the noise is drawn as not risen";
    EXPECT_GT(countColour(g2, RGB(0, 0, 255)), 100) << "the reference trace is still there";
    EXPECT_GT(countColour(capture(screenRectOf(anaMeter)), RGB(0, 255, 0)), 20)
        << "the analysis meter lights its middle segments";
    EXPECT_TRUE(
        waitFor([&] { return differingPixels(g2, capture(screenRectOf(graph))) > 20; }, 5000))
        << "the graph repaints";
    const std::string analysis = screenshot(p.window(), "main_during");
    std::printf("screenshot during the analysis: %s\n", analysis.c_str());

    // --- Closing while capturing: both devices close, exit code 0, the
    // position is kept.
    EXPECT_GE(streamsOfWine("source-outputs"), 1) << "recording while measuring";
    EXPECT_GE(streamsOfWine("sink-inputs"), 1) << "playing back while measuring";
    RECT r{};
    GetWindowRect(p.window(), &r);
    p.close();
    EXPECT_EQ(p.waitExit(35000), 0u);
    EXPECT_EQ(streamsOfWine("source-outputs"), 0);
    EXPECT_EQ(streamsOfWine("sink-inputs"), 0);
    EXPECT_EQ(settings::get(L"XPos"), r.left);
    EXPECT_EQ(settings::get(L"YPos"), r.top);
}

TEST_F(MeasurementTest, NoSoundServerIsReportedOnceEachTimeAndTheWindowGoesOn)
{
    // This program alone sees no PulseAudio: its sound driver finds no device.
    Program p;
    ASSERT_TRUE(p.start({"PULSE_SERVER=unix:/nonexistent/qx-no-server"}));
    auto c = children(p.window());
    HWND reference = c[101], analyze = c[102], pause = c[103];

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        click(reference);
        std::vector<MessageBoxInfo> boxes;
        const bool reported =
            waitFor([&] { return !(boxes = messageBoxes(p.processId())).empty(); }, 8000);
        if (!reported)
            std::printf("no report; screen: %s\n", screenshot(p.window(), "no_sound_failure").c_str());
        ASSERT_TRUE(reported) << "the failure is reported";
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, L"Error opening recording device");
        EXPECT_NE(boxes[0].text.find(L"Windows has no usable sound recording device"),
                  std::wstring::npos);
        EXPECT_EQ(GetWindow(boxes[0].box, GW_OWNER), p.window()) << "owned by the main window";
        if (round == 0)
            screenshot(p.window(), "main_sound_error");
        dismiss(boxes[0]);
        ASSERT_TRUE(waitFor([&] { return messageBoxes(p.processId()).empty(); }, 5000));
        // The second round shows the report was reset: a new failure is a
        // new change of its parameter, and gets one box again.
        EXPECT_FALSE(IsWindowEnabled(pause));
        EXPECT_FALSE(IsWindowEnabled(analyze));
    }
    // The window still answers and still works.
    EXPECT_EQ(text(c[167]), L"Sample Window 0.085    Integration Time 2.720 sec");
    click(c[107]);  // Defaults
    EXPECT_TRUE(answers(p.window()));
    EXPECT_TRUE(messageBoxes(p.processId()).empty());
    p.close();
    EXPECT_EQ(p.waitExit(35000), 0u);
}

// A Reference taken at 2048 samples is no Reference for 1024: Defaults that
// change the sampling forget it, as a configuration change does, so no
// Difference compares spectra taken with different settings.
TEST_F(MeasurementTest, DefaultsThatChangeTheSamplingForgetTheReference)
{
    settings::set(L"NumSamples", 2048);
    settings::set(L"IntLvl", 2);
    ASSERT_TRUE(feed({"sine 3000 0.1", "noise 0.05"}));
    Program p;
    ASSERT_TRUE(p.start());
    auto c = children(p.window());
    HWND reference = c[101], analyze = c[102], pause = c[103], defaults = c[107];
    HWND graph = c[120];
    click(reference);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(analyze) != 0; }, 15000))
        << "the reference integrates";
    click(pause);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(pause) == 0; }, 5000));
    ASSERT_TRUE(IsWindowEnabled(analyze)) << "paused with a complete reference";
    ASSERT_TRUE(waitFor(
        [&] { return countColour(capture(screenRectOf(graph)), RGB(0, 0, 255)) > 200; }, 5000));

    click(defaults);
    EXPECT_TRUE(waitFor([&] { return text(c[167]).find(L"0.085") != std::wstring::npos; }, 5000))
        << "Defaults set 1024 samples at 12000 Hz";
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(analyze) == 0; }, 5000))
        << "Analyze still offered against a 2048-point reference";
    EXPECT_TRUE(waitFor(
        [&] { return countColour(capture(screenRectOf(graph)), RGB(0, 0, 255)) == 0; }, 5000))
        << "the stale reference trace is still drawn";
    p.close();
    EXPECT_EQ(p.waitExit(15000), 0u);
}
