// Reading the numbers typed into the configuration window and writing the
// texts it shows. Expected values are worked out by hand from the rules:
// three fraction places kept by truncation, tenths for the threshold, whole
// Hz for the band limits, milliseconds shown as seconds with three places.
#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <string>

#include "foundation/ConfigText.h"

namespace {

using namespace config_text;

struct Parsed {
    bool ok;
    int whole, thousandths, hasPoint, digits;
};

Parsed parse(const wchar_t* text)
{
    Parsed p{false, -7, -7, -7, -7};
    p.ok = parseDecimal(text, &p.whole, &p.thousandths, &p.hasPoint, &p.digits);
    return p;
}

TEST(ConfigParse, WorkedExamples)
{
    struct Case {
        const wchar_t* text;
        int whole, thousandths, hasPoint, digits;
    };
    const Case cases[] = {
        {L"12.34", 12, 340, 1, 2},  {L"7,5", 7, 500, 1, 1},   {L"1.23456", 1, 234, 1, 5},
        {L"1.", 1, 0, 1, 0},        {L"1.999", 1, 999, 1, 3}, {L"0.0019", 0, 1, 1, 4},  // truncated
        {L".5", 0, 500, 1, 1},      {L"", 0, 0, 0, 0},  // empty: zero without a separator
    };
    for (const Case& k : cases) {
        const Parsed p = parse(k.text);
        SCOPED_TRACE(std::string(k.text, k.text + std::wcslen(k.text)));
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(p.whole, k.whole);
        EXPECT_EQ(p.thousandths, k.thousandths);
        EXPECT_EQ(p.hasPoint, k.hasPoint);
        EXPECT_EQ(p.digits, k.digits);
    }
    EXPECT_EQ(parseTenths(L""), 0);
    EXPECT_EQ(parseWhole(L""), 0);
}

TEST(ConfigParse, RejectsSignsBlanksLettersAndSecondSeparator)
{
    for (const wchar_t* bad : {L"-1", L"+1", L" 1", L"1 ", L"5.0x", L"a", L"1.2.3", L"1,2.3",
                               L"1..", L"1e3", L"\t"}) {
        Parsed p = parse(bad);
        EXPECT_FALSE(p.ok) << std::string(bad, bad + std::wcslen(bad));
        // A rejected text leaves the outputs alone.
        EXPECT_EQ(p.whole, -7);
        EXPECT_EQ(p.thousandths, -7);
        EXPECT_EQ(parseTenths(bad), -1);
        EXPECT_EQ(parseWhole(bad), -1);
    }
}

TEST(ConfigParse, NullOutputsAreAllowed)
{
    EXPECT_TRUE(parseDecimal(L"3.5", nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(parseDecimal(L"3.5.", nullptr, nullptr, nullptr, nullptr));
}

TEST(ConfigParse, Tenths)
{
    EXPECT_EQ(parseTenths(L"12.34"), 123);
    EXPECT_EQ(parseTenths(L"7"), 70);
    EXPECT_EQ(parseTenths(L"7.25"), 72);
    EXPECT_EQ(parseTenths(L"7,29"), 72);
    EXPECT_EQ(parseTenths(L"0.0"), 0);
    EXPECT_EQ(parseTenths(L"999.9"), 9999);
    EXPECT_EQ(parseTenths(L"12.5"), 125);
    EXPECT_EQ(parseTenths(L"5."), 50);
}

TEST(ConfigParse, Whole)
{
    EXPECT_EQ(parseWhole(L"1500"), 1500);
    EXPECT_EQ(parseWhole(L"1500.9"), 1500);
    EXPECT_EQ(parseWhole(L"99999"), 99999);
    EXPECT_EQ(parseWhole(L"0"), 0);
    EXPECT_EQ(parseWhole(L"4000,"), 4000);
}

TEST(ConfigParse, HugeNumbersDoNotOverflow)
{
    EXPECT_GT(parseTenths(L"99999999999999999999"), 0);
    EXPECT_GT(parseWhole(L"99999999999999999999.99"), 0);
}

TEST(ConfigText, ThresholdTextRebuildsWhatWasTyped)
{
    ThresholdState s;
    EXPECT_EQ(thresholdText(s), L"");  // nothing accepted yet

    const struct {
        const wchar_t *typed, *shown;
    } cases[] = {
        {L"5.0", L"5.0"},       {L"5.", L"5."},           {L"12,75", L"12.75"},  // a comma comes back as a point
        {L"0.125", L"0.125"},   {L"1.23456", L"1.234"},   {L"42", L"42"},
        {L".7", L"0.7"},
    };
    for (const auto& k : cases) {
        ASSERT_TRUE(parseDecimal(k.typed, &s.whole, &s.thousandths, &s.hasPoint, &s.fractionDigits));
        EXPECT_EQ(thresholdText(s), k.shown);
    }

    ThresholdState partial;
    partial.whole = 3;  // only the whole part known
    partial.hasPoint = 1;
    partial.fractionDigits = 2;
    EXPECT_EQ(thresholdText(partial), L"3.");
}

TEST(ConfigText, FieldTexts)
{
    EXPECT_EQ(tenthsText(50), L"5.0");
    EXPECT_EQ(tenthsText(125), L"12.5");
    EXPECT_EQ(tenthsText(0), L"0.0");
    EXPECT_EQ(tenthsText(9999), L"999.9");
    EXPECT_EQ(tenthsText(7), L"0.7");
    EXPECT_EQ(wholeText(100), L"100");
    EXPECT_EQ(wholeText(99999), L"99999");
    EXPECT_EQ(wholeText(-1), L"-1");
}

TEST(ConfigText, Milliseconds)
{
    EXPECT_EQ(millisecondsText(85), L"0.085");
    EXPECT_EQ(millisecondsText(1360), L"1.360");
    EXPECT_EQ(millisecondsText(0), L"0.000");
    EXPECT_EQ(millisecondsText(4096000), L"4096.000");
    EXPECT_EQ(millisecondsText(1005), L"1.005");
}

TEST(ConfigText, SampleWindowLine)
{
    // 1024 / 12000 s = 85.33 ms -> 85; 85 * 16 = 1360.
    EXPECT_EQ(sampleWindowText(1024, 12000, 16),
              L"Sample window 0.085    Integration Time 1.360 sec");
    // 16384 / 4000 s = 4096 ms; 4096 * 1000.
    EXPECT_EQ(sampleWindowText(16384, 4000, 1000),
              L"Sample window 4.096    Integration Time 4096.000 sec");
    // 2048 / 48000 s = 42.67 ms -> 42.
    EXPECT_EQ(sampleWindowText(2048, 48000, 1),
              L"Sample window 0.042    Integration Time 0.042 sec");
    // 8192 / 24000 s = 341.33 ms -> 341; * 250 = 85250.
    EXPECT_EQ(sampleWindowText(8192, 24000, 250),
              L"Sample window 0.341    Integration Time 85.250 sec");
    EXPECT_EQ(sampleWindowText(1024, 0, 16),
              L"Sample window 0.000    Integration Time 0.000 sec");
}

}  // namespace
