// Fuzz target: the typed texts of the configuration window
// (foundation/ConfigText: parseDecimal, parseTenths, parseWhole and the
// threshold field's text).
//
// The input is a series of field texts, one per line, each byte one
// character. Every text is read as the window reads it: a number must come
// out in range and, formatted back (tenthsText, wholeText, thresholdText),
// read as itself; a text that is not a number must be refused by all three
// readers alike and leave the outputs alone. The threshold field is followed
// as the window follows it: the last text that parsed is kept, and the text
// put back after a refused keystroke must read as that state.
#include <string>

#include "FuzzCheck.h"
#include "foundation/ConfigText.h"

namespace {

using config_text::ThresholdState;

ThresholdState read(const std::wstring& text, int& ok)
{
    ThresholdState s{-5, -5, -5, -5};
    ok = parseDecimal(text.c_str(), &s.whole, &s.thousandths, &s.hasPoint, &s.fractionDigits);
    return s;
}

// What a state reads as once thresholdText wrote it: the same number, with
// at most the three fraction digits it keeps.
bool readsAs(const std::wstring& written, const ThresholdState& s)
{
    int ok = 0;
    const ThresholdState r = read(written, ok);
    return ok && r.whole == s.whole && r.thousandths == s.thousandths && r.hasPoint == s.hasPoint &&
           r.fractionDigits == (s.fractionDigits < 3 ? s.fractionDigits : 3);
}

void checkText(const std::wstring& text, ThresholdState& held)
{
    int ok = 0;
    const ThresholdState s = read(text, ok);
    const int tenths = parseTenths(text.c_str());
    const int whole = parseWhole(text.c_str());
    if (!ok) {
        FUZZ_CHECK(s.whole == -5 && s.thousandths == -5 && s.hasPoint == -5 && s.fractionDigits == -5,
                   "a refused text leaves the outputs alone");
        FUZZ_CHECK(tenths == -1 && whole == -1, "a refused text is -1 to every reader");
        // The window puts the last accepted text back; it must read as it.
        const std::wstring back = config_text::thresholdText(held);
        FUZZ_CHECK(held.whole == -1 ? back.empty() : readsAs(back, held),
                   "the text put back reads as the state held");
        return;
    }
    FUZZ_CHECK(s.whole >= 0 && s.thousandths >= 0 && s.thousandths <= 999, "parts in range");
    FUZZ_CHECK((s.hasPoint == 0 || s.hasPoint == 1) && s.fractionDigits >= 0, "flags in range");
    FUZZ_CHECK(s.hasPoint || s.fractionDigits == 0, "no fraction digits without a point");
    FUZZ_CHECK(tenths == s.whole * 10 + s.thousandths / 100 && whole == tenths / 10,
               "tenths and whole units follow the number");

    // Formatted back, each reads as itself.
    FUZZ_CHECK(parseTenths(config_text::tenthsText(tenths).c_str()) == tenths,
               "tenthsText reads back");
    FUZZ_CHECK(parseWhole(config_text::wholeText(whole).c_str()) == whole, "wholeText reads back");
    FUZZ_CHECK(readsAs(config_text::thresholdText(s), s), "thresholdText reads back");
    held = s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ThresholdState held;
    std::wstring text;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            checkText(text, held);
            text.clear();
        } else {
            text += static_cast<wchar_t>(data[i]);
        }
    }
    return 0;
}
