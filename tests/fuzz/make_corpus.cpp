// Writes the seed corpora that are made by the program's own code: saved
// measurements by measurement_file::format(), saved settings as the registry
// keeps them (the int values of settings_table::kEntries in Key order, four
// bytes each).
// Usage: fuzz_make_corpus CORPUS_DIR (tests/fuzz/corpus). The other seeds
// (response files, typed texts) are written by hand.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/MeasurementFile.h"
#include "foundation/SettingsTable.h"

namespace mf = measurement_file;

namespace {

void write(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

mf::Measurement measurement(int rate, int n, bool analysis)
{
    mf::Measurement m;
    m.program = "QX-700 1.0.0";
    m.date = mf::isoDateTime(2026, 12, 8, 10, 40, 12, 60);
    m.sampFrq = rate;
    m.numSamples = n;
    m.intLvl = 16;
    const int filters[4] = {100, 500, 1500, rate / 2};
    for (int i = 0; i < 4; ++i)
        m.filters[i] = filters[i];
    m.dbDiff = 50;
    m.device = "Microphone (USB Audio)";
    for (int k = 0; k < n / 2; ++k) {
        m.reference.push_back(static_cast<float>(40.0 + 20.0 * std::sin(k * 0.05)));
        if (analysis)
            m.analysis.push_back(static_cast<float>(55.0 - 0.01 * k));
    }
    for (int b = 0; b < 3; ++b) {
        m.referenceBands[b] = 50.0f + b;
        m.analysisBands[b] = 60.0f - b;
        if (analysis) {
            m.sourceCells[b] = b == 2 ? "< background" : "62.3";
            m.sourceValidity[b] = b == 2 ? "below background" : "corrected";
        }
    }
    return m;
}

std::string settings(const std::vector<int>& values)
{
    std::string bytes;
    for (int v : values)
        for (int s = 0; s < 32; s += 8)
            bytes += static_cast<char>((static_cast<unsigned>(v) >> s) & 0xFF);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    const auto saved = dir / "measurement_file";
    write(saved / "with-analysis.csv", mf::format(measurement(48000, 1024, true)));
    mf::Measurement odd = measurement(4000, 1024, true);
    odd.program = " leading blank, comma";
    odd.device = "Mic \"Studio\", line\r\nbreak";
    odd.window = "Hann";
    odd.levelUnit = "dB SPL";
    odd.calibration = "+1.25 dB 2026-12-01";
    odd.dbDiff = -15;
    odd.reference[3] = -0.0001f;
    odd.analysis[5] = NAN;  // an empty cell: the Analysis is then incomplete
    write(saved / "quoted-texts.csv", mf::format(odd));
    // The level options: weighting, Leq, band totals, overall levels, the
    // maximum hold (a fourth column), a microphone response, and a
    // third-octave view's table with its lowest bands too narrow to measure.
    mf::Measurement levels = measurement(48000, 1024, true);
    levels.weighting = "A";
    levels.averaging = "Linear (Leq)";
    levels.leqSeconds = 30.5;
    levels.micFile = "mic 1234.txt";
    levels.micChecksum = "8d2f0a1c";
    levels.hasTotals = true;
    for (int b = 0; b < 3; ++b) {
        levels.referenceTotals[b] = 61.0f + b;
        levels.analysisTotals[b] = 70.5f - b;
        levels.referenceOverall[b] = 66.0f + b;
        levels.analysisOverall[b] = 74.0f + b;
    }
    for (float r : levels.reference)
        levels.maxHold.push_back(r + 3.0f);
    levels.bandsPerOctave = 3;
    for (double hz : {63.0, 80.0, 100.0, 1000.0, 1250.0, 16000.0, 20000.0})
        levels.fractionalBands.push_back({hz, static_cast<float>(30.0 + hz / 1000.0),
                                          static_cast<float>(45.0 - hz / 2000.0), hz >= 1000.0});
    write(saved / "levels.csv", mf::format(levels));

    std::vector<int> factory;
    for (const auto& e : settings_table::kEntries)
        factory.push_back(e.factory);
    const auto out = dir / "settings_load";
    write(out / "factory.bin", settings(factory));
    std::vector<int> hand = factory;
    hand[0] = 4000;       // a low rate: the factory band limits do not fit it
    hand[6] = 1900;
    hand[7] = 999990;     // the largest threshold
    hand[8] = 0;          // black
    write(out / "low-rate.bin", settings(hand));
    hand = factory;
    hand[0] = 44100;      // an older build's rate
    hand[1] = 1000;       // not a power of two
    hand[3] = 600;        // band limits out of order
    hand[7] = -1;
    hand[14] = 4;
    write(out / "older-build.bin", settings(hand));
    write(out / "missing-tail.bin", settings({24000, 16384, 1000, 0, 0, 12000}));
    return 0;
}
