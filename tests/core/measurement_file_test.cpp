// The measurement file: what format() writes, that parse() reads it back to
// the same numbers, and that every kind of damaged or foreign file is refused
// with the line and the reason.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/MeasurementFile.h"

namespace {

using namespace measurement_file;

Measurement sample(int n = 1024, int rate = 12000, bool analysis = true)
{
    Measurement m;
    m.program = "QX-700 1.0.0";
    m.date = "2026-12-08T10:40:12+01:00";
    m.sampFrq = rate;
    m.numSamples = n;
    m.intLvl = 16;
    m.filters[0] = 100;
    m.filters[1] = 500;
    m.filters[2] = 1500;
    m.filters[3] = 4000;
    m.dbDiff = 50;
    m.device = "Mikrofon \"Büro\", links";
    m.window = "Hann";
    m.levelUnit = "dB SPL";
    m.calibration = "offset -52.08 dB, 2026-12-08";
    m.clippedSamples = 12;
    m.lostBlocks = 3;
    for (int b = 0; b < 3; ++b) {
        m.referenceBands[b] = 40.0f + b + 0.125f;
        m.analysisBands[b] = 47.5f - b;
        if (analysis) {
            m.sourceCells[b] = b == 2 ? "< background" : "47.4";
            m.sourceValidity[b] = b == 2 ? "below background" : "corrected";
        }
    }
    for (int k = 0; k < n / 2; ++k) {
        m.reference.push_back(static_cast<float>(30.0 + 20.0 * std::sin(k * 0.01)));
        if (analysis)
            m.analysis.push_back(static_cast<float>(k % 97) * 0.731f);
    }
    return m;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find("\r\n", at);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(at, nl - at));
        at = nl + 2;
    }
    return out;
}

bool parseText(const std::string& text, Measurement& m, ParseError& e)
{
    return parse(text.data(), text.size(), m, e);
}

// The error for a text that must be refused; fails the test when it is taken.
ParseError refused(const std::string& text)
{
    Measurement m;
    m.sampFrq = -5;
    ParseError e;
    EXPECT_FALSE(parseText(text, m, e)) << text.substr(0, 200);
    EXPECT_EQ(m.sampFrq, -5) << "a refused file changed the result";
    EXPECT_FALSE(e.message.empty());
    return e;
}

// A good file with line `index` (0-based) replaced.
std::string withLine(const std::string& text, size_t index, const std::string& replacement)
{
    auto l = lines(text);
    l.at(index) = replacement;
    std::string out;
    for (auto& s : l)
        out += s + "\r\n";
    return out;
}

size_t firstRowIndex(const std::string& text)
{
    auto l = lines(text);
    for (size_t i = 0; i < l.size(); ++i)
        if (l[i].rfind("Frequency (Hz),", 0) == 0)
            return i + 1;
    ADD_FAILURE() << "no spectrum table";
    return 0;
}

TEST(MeasurementFile, LayoutOfTheWrittenFile)
{
    const std::string text = format(sample());
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    auto l = lines(text.substr(3));
    ASSERT_GE(l.size(), 10u + 6 + 512);
    EXPECT_EQ(l[0], "QX-700 Measurement,1");
    EXPECT_EQ(l[1], "Program,QX-700 1.0.0");
    EXPECT_EQ(l[2], "Date,2026-12-08T10:40:12+01:00");
    EXPECT_EQ(l[3], "Sampling frequency (Hz),12000");
    EXPECT_EQ(l[4], "Samples,1024");
    EXPECT_EQ(l[5], "Integration,16");
    EXPECT_EQ(l[6], "Band limits (Hz),100,500,1500,4000");
    EXPECT_EQ(l[7], "Threshold (dB),5.0");
    EXPECT_EQ(l[8], "Recording device,\"Mikrofon \"\"Büro\"\", links\"");
    EXPECT_EQ(l[9], "Window function,Hann");
    EXPECT_EQ(l[10], "Level unit,dB SPL");
    EXPECT_EQ(l[11], "Calibration,\"offset -52.08 dB, 2026-12-08\"");
    EXPECT_EQ(l[12], "Clipped samples,12");
    EXPECT_EQ(l[13], "Lost blocks,3");
    EXPECT_EQ(l[14], "Frequency weighting,Z");
    EXPECT_EQ(l[15], "Averaging,Exponential");
    EXPECT_EQ(l[16], "");
    EXPECT_EQ(l[17], "Band,Reference dB,Analysis dB,Difference dB,Source dB,Source");
    EXPECT_EQ(l[18], "Band 1 (100-500 Hz),40.125,47.500,7.375,47.4,corrected");
    EXPECT_EQ(l[20], "Band 3 (1500-4000 Hz),42.125,45.500,3.375,< background,below background");
    EXPECT_EQ(l[21], "");
    EXPECT_EQ(l[22], "Frequency (Hz),Reference dB,Analysis dB");
    EXPECT_EQ(l[23], "0,30.000,0.000");
    // 12000 / 1024 Hz per bin, written exactly.
    EXPECT_EQ(l[24].substr(0, 9), "11.71875,");
    EXPECT_EQ(l[23 + 511].substr(0, 11), "5988.28125,");
    EXPECT_EQ(l.size(), 23u + 512);
}

TEST(MeasurementFile, WeightedLeqWithTotalsAndMaxHoldRoundTrips)
{
    Measurement m = sample();
    m.weighting = "A";
    m.averaging = "Linear (Leq)";
    m.leqSeconds = 600.0;
    m.hasTotals = true;
    for (int b = 0; b < 3; ++b) {
        m.referenceTotals[b] = 50.25f + b;
        m.analysisTotals[b] = 60.5f + b;
        m.referenceOverall[b] = 55.0f + b;
        m.analysisOverall[b] = 65.125f + b;
    }
    m.maxHold.assign(m.reference.size(), 0.0f);
    for (size_t k = 0; k < m.maxHold.size(); ++k)
        m.maxHold[k] = 70.0f + static_cast<float>(k % 7);
    const std::string text = format(m);
    auto l = lines(text.substr(3));
    EXPECT_EQ(l[14], "Frequency weighting,A");
    EXPECT_EQ(l[15], "Averaging,Linear (Leq)");
    EXPECT_EQ(l[16], "Leq time (s),600.0");
    EXPECT_EQ(l[18], "Band,Reference dB,Analysis dB,Difference dB,Source dB,Source,"
                     "Reference total dB,Analysis total dB");
    EXPECT_EQ(l[19], "Band 1 (100-500 Hz),40.125,47.500,7.375,47.4,corrected,50.250,60.500");
    EXPECT_EQ(l[23], "Overall LA,,,10.125,,,56.000,66.125");
    EXPECT_EQ(l[26], "Frequency (Hz),Reference dB,Analysis dB,Max hold dB");
    EXPECT_EQ(l[27], "0,30.000,0.000,70.000");

    Measurement back;
    ParseError e;
    ASSERT_TRUE(parseText(text, back, e)) << errorText(e);
    EXPECT_EQ(back.weighting, "A");
    EXPECT_EQ(back.averaging, "Linear (Leq)");
    EXPECT_DOUBLE_EQ(back.leqSeconds, 600.0);
    EXPECT_EQ(back.maxHold, m.maxHold);

    // A weighting the analyzer does not know cannot be converted: refused.
    std::string other = text;
    other.replace(other.find("Frequency weighting,A"), 21, "Frequency weighting,B");
    EXPECT_FALSE(parseText(other, back, e));
    EXPECT_EQ(e.line, 15);
}

// A third-octave table: its rows between the band table and the spectrum,
// the frequency a plain number, a narrow band noted; read back as written,
// and the same table as Copy Readouts' cells; without an Analysis its cells
// are empty; a file without the table (an older one) reads as before.
TEST(MeasurementFile, TheThirdOctaveTableRoundTrips)
{
    for (bool analysis : {true, false}) {
        Measurement m = sample(1024, 12000, analysis);
        m.bandsPerOctave = 3;
        m.fractionalBands = {{31.5, 30.25f, 45.5f, false}, {1000.0, 40.0f, 42.0f, true},
                             {12500.0, 20.125f, 50.0f, true}};
        const std::string text = format(m);
        auto l = lines(text.substr(3));
        EXPECT_EQ(l[22], "Third-octave band (Hz),Reference dB,Analysis dB,Difference dB,Source dB,Source,Note");
        EXPECT_EQ(l[23], analysis ? "31.5,30.250,45.500,15.250,45.5,uncorrected,narrow"
                                  : "31.5,30.250,,,,,narrow");
        EXPECT_EQ(l[24], analysis ? "1000,40.000,42.000,2.000,< background,below background,"
                                  : "1000,40.000,,,,,");
        EXPECT_EQ(l[25], analysis ? "12500,20.125,50.000,29.875,50.0,uncorrected," : "12500,20.125,,,,,");
        EXPECT_EQ(l[26], "");
        const auto cells = fractionalBandCells(m.bandsPerOctave, m.fractionalBands, analysis);
        ASSERT_EQ(cells.size(), 4u);
        EXPECT_EQ(copyText({cells[1]}), analysis ? "31.5\t30.250\t45.500\t15.250\t45.5\tuncorrected\tnarrow\r\n"
                                                 : "31.5\t30.250\t\t\t\t\tnarrow\r\n");
        Measurement back;
        ParseError e;
        ASSERT_TRUE(parseText(text, back, e)) << errorText(e);
        EXPECT_EQ(back.bandsPerOctave, 3);
        ASSERT_EQ(back.fractionalBands.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(back.fractionalBands[i].nominal, m.fractionalBands[i].nominal);
            EXPECT_EQ(back.fractionalBands[i].reference, m.fractionalBands[i].reference);
            EXPECT_EQ(back.fractionalBands[i].analysis, analysis ? m.fractionalBands[i].analysis : 0.0f);
            EXPECT_EQ(back.fractionalBands[i].measurable, m.fractionalBands[i].measurable);
        }
        const auto again = lines(format(back).substr(3));
        EXPECT_EQ(std::vector<std::string>(again.begin() + 22, again.begin() + 27),
                  std::vector<std::string>(l.begin() + 22, l.begin() + 27));
    }
    Measurement old;
    ParseError e;
    ASSERT_TRUE(parseText(format(sample()), old, e));
    EXPECT_EQ(old.bandsPerOctave, 0);
    EXPECT_TRUE(old.fractionalBands.empty());
}

TEST(MeasurementFile, EmptyCellsWithoutAnAnalysis)
{
    const std::string text = format(sample(1024, 12000, false));
    auto l = lines(text.substr(3));
    EXPECT_EQ(l[18], "Band 1 (100-500 Hz),40.125,,,,");
    EXPECT_EQ(l[23], "0,30.000,");
    Measurement m;
    ParseError e;
    ASSERT_TRUE(parseText(text, m, e)) << errorText(e);
    EXPECT_FALSE(m.hasAnalysis());
}

TEST(MeasurementFile, TheWindowTravelsAndAFileThatNamesNoneMeansRectangular)
{
    Measurement m;
    ParseError e;
    ASSERT_TRUE(parseText(format(sample()), m, e)) << errorText(e);
    EXPECT_EQ(m.window, "Hann");
    // A file of the first version has no window line: its levels were
    // taken without a window.
    std::string old;
    for (const std::string& line : lines(format(sample()))) {
        if (line.rfind("Window function,", 0) == 0)
            continue;
        old += line + "\r\n";
    }
    Measurement o;
    o.window = "Flat top";
    ASSERT_TRUE(parseText(old, o, e)) << errorText(e);
    EXPECT_EQ(o.window, "Rectangular");
}

TEST(MeasurementFile, TheMicrophoneFileTravelsOnlyWhenOneWasUsed)
{
    Measurement m = sample();
    for (const std::string& line : lines(format(m)))
        EXPECT_NE(line.rfind("Microphone", 0), 0u) << "no microphone file: no line";
    m.micFile = "Mikro, \"M 30\".txt";
    m.micChecksum = "00112233aabbccdd";
    Measurement back;
    ParseError e;
    ASSERT_TRUE(parseText(format(m), back, e)) << errorText(e);
    EXPECT_EQ(back.micFile, m.micFile);
    EXPECT_EQ(back.micChecksum, m.micChecksum);
}

TEST(MeasurementFile, DecimalPointIsAlwaysAPoint)
{
    // A locale with a decimal comma must not leak into the file.
    const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!set)
        set = std::setlocale(LC_NUMERIC, "German_Germany.1252");
    const std::string text = format(sample());
    Measurement m;
    ParseError e;
    const bool ok = parseText(text, m, e);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_NE(text.find("Band 1 (100-500 Hz),40.125,47.500,7.375"), std::string::npos);
    EXPECT_TRUE(ok) << errorText(e);
}

TEST(MeasurementFile, ReadsBackTheSameMeasurement)
{
    for (int n : {1024, 16384}) {
        for (int rate : {4000, 48000}) {
            const Measurement in = sample(n, rate);
            Measurement out;
            ParseError e;
            ASSERT_TRUE(parseText(format(in), out, e)) << errorText(e);
            EXPECT_EQ(out.sampFrq, rate);
            EXPECT_EQ(out.numSamples, n);
            EXPECT_EQ(out.intLvl, 16);
            EXPECT_EQ(out.filters[3], 4000);
            EXPECT_EQ(out.dbDiff, 50);
            EXPECT_EQ(out.device, in.device);
            EXPECT_EQ(out.date, in.date);
            ASSERT_EQ(out.reference.size(), static_cast<size_t>(n / 2));
            ASSERT_TRUE(out.hasAnalysis());
            float worst = 0;
            for (size_t k = 0; k < out.reference.size(); ++k) {
                worst = std::fmax(worst, std::fabs(out.reference[k] - in.reference[k]));
                worst = std::fmax(worst, std::fabs(out.analysis[k] - in.analysis[k]));
            }
            EXPECT_LE(worst, 0.0006f);
        }
    }
}

TEST(MeasurementFile, UnknownKeysAndSectionsAreIgnored)
{
    std::string text = format(sample());
    // A later version adds header keys and a section before the spectrum.
    text = withLine(text, 7, "Threshold (dB),5.0\r\nWindow function,Hann\r\nCalibration (dB),\"1,5\"");
    const size_t table = text.find("Frequency (Hz),");
    text.insert(table, "Corrected levels,1,2,3\r\nSomething new\r\n\r\n");
    Measurement m;
    ParseError e;
    ASSERT_TRUE(parseText(text, m, e)) << errorText(e);
    EXPECT_EQ(m.numSamples, 1024);
    // Without BOM and with plain LF line ends it reads as well.
    std::string lf;
    for (char c : format(sample()).substr(3))
        if (c != '\r')
            lf += c;
    ASSERT_TRUE(parseText(lf, m, e)) << errorText(e);
}

TEST(MeasurementFile, RefusesEmptyBinaryAndForeignFiles)
{
    ParseError e = refused("");
    EXPECT_EQ(errorText(e), "The file is empty.");

    std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    e = refused(binary);
    EXPECT_EQ(e.line, 3);  // after the two line feeds of the PNG signature
    EXPECT_NE(e.message.find("binary"), std::string::npos);

    e = refused("Name,Age\r\nAda,36\r\n");
    EXPECT_EQ(e.line, 1);
    EXPECT_NE(e.message.find("not a measurement file"), std::string::npos);

    e = refused("QX-700 Measurement,2\r\n");
    EXPECT_NE(e.message.find("newer"), std::string::npos);
}

TEST(MeasurementFile, RefusesTruncatedFiles)
{
    const std::string text = format(sample());
    // Cut in the header, in the table, inside the last row, and a whole row short.
    ParseError e = refused(text.substr(0, text.find("Samples,")));
    EXPECT_NE(e.message.find("missing"), std::string::npos);

    const size_t rowStart = text.find("\r\n", text.find("Frequency (Hz),")) + 2;
    e = refused(text.substr(0, rowStart + 100));
    EXPECT_NE(e.message.find("incomplete"), std::string::npos);

    e = refused(text.substr(0, text.size() - 3));
    EXPECT_EQ(e.line, static_cast<int>(lines(text.substr(3)).size()));
    EXPECT_NE(e.message.find("incomplete"), std::string::npos);

    const size_t lastRow = text.rfind("\r\n", text.size() - 3) + 2;
    e = refused(text.substr(0, lastRow));
    EXPECT_NE(e.message.find("511 of 512"), std::string::npos);
    EXPECT_NE(errorText(e).find("Line "), std::string::npos);

    e = refused(text + "6000,1.0,2.0\r\n");
    EXPECT_NE(e.message.find("more rows"), std::string::npos);
}

TEST(MeasurementFile, RefusesWrongColumnsAndBadNumbers)
{
    const std::string text = format(sample());
    const size_t row = firstRowIndex(text.substr(3));
    const int rowLine = static_cast<int>(row) + 1 + 1;  // 1-based, second row

    struct Case {
        std::string line;
        const char* expect;
    } cases[] = {
        {"11.71875,30.1,2.0,9.9,1", "found 5"},
        {"11.71875,30.1,2.0,nan", "not a finite number"},
        {"11.71875", "found 1"},
        {"11.71875;30.1;2.0", "found 1"},
        {"11.71875,nan,2.0", "not a finite number"},
        {"11.71875,inf,2.0", "not a finite number"},
        {"11.71875,1e308,2.0", "out of range"},
        {"11.71875,1e999,2.0", "out of range"},
        {"11.71875,30.1,-123456789", "out of range"},
        {"11.71875,30.1,NaN", "not a finite number"},
        {"11.71875,,2.0", "Reference level is missing"},
        {"11.71875,30,1,2.0,7", "found 5"},
        {"11.71875,thirty,2.0", "not a number"},
        {"12.5,30.1,2.0", "not that of bin 1"},
    };
    for (const Case& c : cases) {
        ParseError e = refused(withLine(text.substr(3), row + 1, c.line));
        EXPECT_EQ(e.line, rowLine) << c.line;
        EXPECT_NE(e.message.find(c.expect), std::string::npos) << c.line << " -> " << e.message;
    }

    // Header values that the analyzer cannot use.
    ParseError e = refused(withLine(text, 3, "Sampling frequency (Hz),44100"));
    EXPECT_EQ(e.line, 4);
    EXPECT_NE(e.message.find("44100"), std::string::npos);
    e = refused(withLine(text, 4, "Samples,1000"));
    EXPECT_EQ(e.line, 5);
    e = refused(withLine(text, 4, "Samples,99999999999999999999"));
    EXPECT_EQ(e.line, 5);
    e = refused(withLine(text, 4, "Nothing,1"));
    EXPECT_NE(e.message.find("no \"Samples\""), std::string::npos);
    e = refused(withLine(text.substr(3), row - 1, "Frequency (Hz),Analysis dB,Reference dB"));
    EXPECT_EQ(e.line, static_cast<int>(row));
}

TEST(MeasurementFile, FieldsAndSmallTexts)
{
    EXPECT_EQ(splitFields("a,\"b,c\",\"d \"\"e\"\"\","),
              (std::vector<std::string>{"a", "b,c", "d \"e\"", ""}));
    EXPECT_EQ(splitFields(""), (std::vector<std::string>{""}));

    EXPECT_EQ(isoDateTime(2026, 12, 8, 9, 5, 7, 60), "2026-12-08T09:05:07+01:00");
    EXPECT_EQ(isoDateTime(2026, 1, 2, 23, 59, 59, -330), "2026-01-02T23:59:59-05:30");
    EXPECT_EQ(defaultFileName(2026, 12, 8, 9, 5, 7), "Measurement 2026-12-08 09-05-07.csv");
    EXPECT_EQ(shortDate("2026-12-08T09:05:07+01:00"), "2026-12-08 09:05");
    EXPECT_EQ(shortDate("yesterday"), "");

    EXPECT_EQ(copyText({{"", "Band 1", "Band 2"}, {"Reference dB*", "40.1", ""}, {"a\tb\r\nc"}}),
              "\tBand 1\tBand 2\r\n"
              "Reference dB*\t40.1\t\r\n"
              "a b  c\r\n");
}

}  // namespace
