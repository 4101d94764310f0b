// Number parsing and text formatting of the configuration window (see
// ConfigText.h for how it works).
#include "foundation/ConfigText.h"

#include <climits>
#include <cwchar>

namespace {

// Whole parts beyond this are held here, so that whole * 10 + 9 still fits an
// int; the fields take at most 5 characters, so only other callers get near.
constexpr long long kWholeLimit = (INT_MAX - 9) / 10;

}  // namespace

bool parseDecimal(const wchar_t* text, int* whole, int* thousandths, int* hasPoint,
                  int* fractionDigits)
{
    long long w = 0;
    int fraction = 0;  // the first three fraction digits only
    int digits = 0;
    bool point = false;
    for (const wchar_t* p = text ? text : L""; *p; ++p) {
        const wchar_t c = *p;
        if (c >= L'0' && c <= L'9') {
            const int d = c - L'0';
            if (!point) {
                w = w * 10 + d;
                if (w > kWholeLimit) w = kWholeLimit;
            } else {
                // Dividing by ten for every digit beyond the third, truncating,
                // leaves exactly the first three digits: keep only those.
                if (digits < 3) fraction = fraction * 10 + d;
                ++digits;
            }
        } else if (c == L'.' || c == L',') {
            if (point) return false;
            point = true;
        } else {
            return false;
        }
    }
    for (int k = digits; k < 3; ++k) fraction *= 10;
    if (whole) *whole = static_cast<int>(w);
    if (thousandths) *thousandths = fraction;
    if (hasPoint) *hasPoint = point ? 1 : 0;
    if (fractionDigits) *fractionDigits = digits;
    return true;
}

int parseTenths(const wchar_t* text)
{
    int whole = 0, thousandths = 0;
    if (!parseDecimal(text, &whole, &thousandths, nullptr, nullptr)) return -1;
    return whole * 10 + thousandths / 100;
}

int parseWhole(const wchar_t* text)
{
    const int tenths = parseTenths(text);
    return tenths < 0 ? -1 : tenths / 10;
}

namespace config_text {

std::wstring thresholdText(const ThresholdState& s)
{
    std::wstring text;
    if (s.whole != -1) text += std::to_wstring(s.whole);
    if (s.hasPoint) text += L'.';
    if (s.thousandths != -1) {
        if (s.fractionDigits > 0) text += static_cast<wchar_t>(L'0' + (s.thousandths / 100) % 10);
        if (s.fractionDigits > 1) text += static_cast<wchar_t>(L'0' + (s.thousandths / 10) % 10);
        if (s.fractionDigits > 2) text += static_cast<wchar_t>(L'0' + s.thousandths % 10);
    }
    return text;
}

std::wstring tenthsText(int tenths)
{
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%d.%d", tenths / 10, tenths % 10);
    return buffer;
}

std::wstring wholeText(int value)
{
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%d", value);
    return buffer;
}

std::wstring millisecondsText(int m)
{
    wchar_t buffer[48];
    std::swprintf(buffer, 48, L"%d.%d%d%d", m / 1000, (m % 1000) / 100, (m % 100) / 10, m % 10);
    return buffer;
}

std::wstring sampleWindowText(int samples, int frequency, int level)
{
    const long long window = frequency > 0 ? static_cast<long long>(samples) * 1000 / frequency : 0;
    const long long total = window * level;
    auto clamp = [](long long v) {
        return static_cast<int>(v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : v));
    };
    return L"Sample window " + millisecondsText(clamp(window)) + L"    Integration Time " +
           millisecondsText(clamp(total)) + L" sec";
}

}  // namespace config_text
