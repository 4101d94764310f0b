// The microphone's response file: every dialect microphones ship with reads
// the same points, in any locale; every file that cannot be used is refused
// with its line and reason; the response between and beyond the points.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "foundation/ResponseFile.h"

namespace {

using namespace response_file;
using namespace std::string_literals;

// Each holds the points 20 Hz -0.5 dB, 1000 Hz 0.58 dB, 20000 Hz 2.25 dB.
const struct { const char* name; std::string text; } Dialects[] = {
    {"quoted header, tabs, CRLF",
     "\"Sens Factor =-1.378dB, AGain =18dB, SERNO: 7001234\"\r\n20\t-0.5\r\n1000\t0.58\r\n20000\t2.25\r\n"},
    {"star header, spaces, LF", "*1000Hz\t-36.0\n  20   -.5\n1000 .58\n20000 +2.25\n"},
    {"commas, no last line end", "\"Freq\",\"dB\"\n20,-0.5\n1000 , 5.8e-1\n20000,2.25,"},
    {"semicolons and phase", "20;-0.5;12.5\n1000;0.58;0\n20000; 2.25 ;-90\n"},
    {"BOM, blank lines, UTF-8 comment",
     "\xEF\xBB\xBF\n\"Mikrofon f\xC3\xBCr B\xC3\xBCro\"\n\t\n20 -0.5 \n\n1000\t.58\t1\n\n20000 2.25\n\n"},
};

TEST(ResponseFile, ReadsEveryDialectInAnyLocale)
{
    const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!set)
        set = std::setlocale(LC_NUMERIC, "German_Germany.1252");
    for (const auto& d : Dialects) {
        const ParseResult r = parse(d.text);
        ASSERT_TRUE(r.ok()) << d.name << ": " << errorText(r.error);
        ASSERT_EQ(r.points.size(), 3u) << d.name;
        const double hz[] = {20, 1000, 20000}, db[] = {-0.5, 0.58, 2.25};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(r.points[i].hz, hz[i]) << d.name;
            EXPECT_EQ(r.points[i].db, db[i]) << d.name;
        }
    }
    std::setlocale(LC_NUMERIC, "C");
}

std::string lines(size_t count)
{
    std::string s;
    for (size_t i = 1; i <= count; ++i)
        s += std::to_string(i) + " 0\n";
    return s;
}

TEST(ResponseFile, RefusesWhatCannotBeUsed)
{
    const struct { std::string text; int line; const char* reason; } cases[] = {
        {"", 0, "fewer than two frequency points"},
        {"\"only a header\"\n20 1\n", 0, "fewer than two frequency points"},
        {"20 1\n1000 2\n500 3\n", 3, "frequency 500 does not increase over 1000"},
        {"20 1\n\n20.0 2\n", 3, "frequency 20.0 does not increase over 20"},
        {"0 1\n20 2\n", 1, "frequency 0 is not above 0"},
        {"20 1\nabc 2\n", 2, "not a number: \"abc\""},
        {"20 1\n1000Hz 2\n", 2, "not a number: \"1000Hz\""},
        {"20 1\n1000 2 x\n", 2, "not a number: \"x\""},
        {"20 1\n1000 +-2\n", 2, "not a number: \"+-2\""},
        {"20 1\n1000 nan\n", 2, "not a finite number: \"nan\""},
        {"20 1\n1000 -inf\n", 2, "not a finite number: \"-inf\""},
        {"20 1\n1000 1e999\n", 2, "number out of range: \"1e999\""},
        {"20 1\n1000 -1000.5\n", 2, "level -1000.5 dB is out of range"},
        {"20 1e77\n1000 2\n", 1, "level 1e77 dB is out of range"},
        {"20 1\n1000\n", 2, "1 column: expected frequency, level and perhaps phase"},
        {"20 1 0 0\n", 1, "4 columns: expected frequency, level and perhaps phase"},
        {"20,,1\n", 1, "empty column"},
        {",20,1\n", 1, "empty column"},
        {"20 1\n1000 2,5\n", 2, "columns separated in different ways (a decimal comma?)"},
        {"20;1\n1000;2,5\n", 2, "columns separated in different ways (a decimal comma?)"},
        {"20 1\n1000 2\0\n"s, 2, "binary file: NUL byte"},
        {"20 1\x01\n", 1, "binary file: control character 0x01"},
        {"20 1\r1000 2\r", 1, "binary file: control character 0x0D"},
        {"20 1\n\"\xFF\xFE\"\n", 2, "not UTF-8 text: byte 0xFF"},
        {"\xFF\xFE\"\0S\0"s, 1, "UTF-16 text: save the file as UTF-8"},
        {"\"\xC0\xAF\"\n", 1, "not UTF-8 text: byte 0xC0"},      // overlong
        {"\"\xED\xA0\x80\"\n", 1, "not UTF-8 text: byte 0xED"},  // surrogate
        {"\"\xE2\x82\"", 1, "not UTF-8 text: byte 0xE2"},        // cut short
        {lines(kMaxPoints + 1), static_cast<int>(kMaxPoints) + 1, "more than 20000 points"},
        {std::string(kMaxFileBytes + 1, '*'), 0, "larger than 1 MiB"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse(c.text);
        const std::string shown = c.text.substr(0, 40);
        EXPECT_FALSE(r.ok()) << shown;
        EXPECT_TRUE(r.points.empty()) << shown;
        EXPECT_EQ(r.error.line, c.line) << shown;
        EXPECT_EQ(r.error.reason, c.reason) << shown;
    }
    EXPECT_TRUE(parse(lines(kMaxPoints)).ok());
    EXPECT_TRUE(parse(std::string(kMaxFileBytes - 8, '*') + "\n1 0\n2 0").ok());
    EXPECT_EQ(errorText(parse("1 0\n1 0").error), "Line 2: frequency 1 does not increase over 1");
}

// Linear in log frequency between the points, the end values beyond them.
TEST(ResponseFile, Interpolation)
{
    const std::vector<Point> points = {{100, 0}, {1000, 10}, {10000, -10}};
    const struct { double hz, db; } cases[] = {
        {0, 0}, {50, 0}, {100, 0}, {316.227766, 5}, {1000, 10}, {2000, 10 - 20 * std::log10(2.0)},
        {3162.27766, 0}, {10000, -10}, {24000, -10},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(correctionAt(points, c.hz), c.db, 1e-6) << c.hz;
    // Bins of 8 samples at 8000 Hz: 0, 1000, 2000, 3000 and 4000 Hz.
    float table[5];
    fillCorrection(points, 8, 8000, table);
    const double expected[5] = {0, 10, 10 - 20 * std::log10(2.0), 10 - 20 * std::log10(3.0),
                                10 - 20 * std::log10(4.0)};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(table[k], expected[k], 1e-5) << k;
    // Points further apart than a double's range: still halfway in log
    // frequency at their geometric mean.
    const std::vector<Point> far = {{1e-300, 0}, {1e300, 10}};
    EXPECT_NEAR(correctionAt(far, 1.0), 5, 1e-9);
    EXPECT_NEAR(correctionAt(far, 1e150), 7.5, 1e-9);
}

TEST(ResponseFile, ChecksumIsFnv1a64)
{
    EXPECT_EQ(checksum(""), "cbf29ce484222325");
    EXPECT_EQ(checksum("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(checksum("foobar"), "85944171f73967e8");
}

}  // namespace
