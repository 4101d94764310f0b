#include "foundation/ResponseFile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>

namespace response_file {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSeparator(char c) { return c == ',' || c == ';'; }

// The length of the UTF-8 sequence that starts at s[i] (a byte of 0x80 or
// more), or 0 when it is not a valid one (stray continuation bytes, overlong
// forms, surrogates, beyond U+10FFFF, cut short).
size_t utf8Length(const std::string& s, size_t i)
{
    const unsigned char c = s[i];
    size_t length;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char b = s[i + k];
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return 0;
    }
    return length;
}

std::string hexByte(unsigned char c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

// Where the text stops being text: the line and the reason, or line 0.
ParseError checkText(const std::string& bytes, size_t start)
{
    int line = 1;
    for (size_t i = start; i < bytes.size(); ++i) {
        const unsigned char c = bytes[i];
        if (c == '\n')
            ++line;
        else if (c == 0)
            return {line, "binary file: NUL byte"};
        else if (c >= 0x80) {
            const size_t length = utf8Length(bytes, i);
            if (length == 0)
                return {line, "not UTF-8 text: byte " + hexByte(c)};
            i += length - 1;
        } else if ((c < 0x20 && c != '\t' && !(c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) ||
                   c == 0x7F)
            return {line, "binary file: control character " + hexByte(c)};
    }
    return {};
}

std::string quoted(const std::string& s)
{
    return "\"" + (s.size() > 24 ? s.substr(0, 24) + "..." : s) + "\"";
}

// Why a line cannot be split into columns, or empty: runs of blanks, or one
// comma or semicolon with blanks around it, separate them, the same kind
// between all columns of a line (a decimal comma would otherwise pass as a
// column); one separator may end the line.
std::string splitColumns(const std::string& line, std::vector<std::string>& columns)
{
    columns.clear();
    char kind = 0;       // of the line's separators: ' ', ',' or ';'
    char gap = ' ';      // of the separator since the last column
    int separators = 0;  // commas and semicolons since the last column
    for (size_t i = 0; i < line.size();) {
        if (isBlank(line[i])) {
            ++i;
        } else if (isSeparator(line[i])) {
            if (columns.empty() || ++separators > 1)
                return "empty column";
            gap = line[i++];
        } else {
            if (!columns.empty() && kind != 0 && gap != kind)
                return "columns separated in different ways (a decimal comma?)";
            if (!columns.empty())
                kind = gap;
            size_t j = i;
            while (j < line.size() && !isBlank(line[j]) && !isSeparator(line[j]))
                ++j;
            columns.push_back(line.substr(i, j - i));
            separators = 0;
            gap = ' ';
            i = j;
        }
    }
    return std::string();
}

// A number and nothing else; the reason why not otherwise.
std::string toNumber(const std::string& field, double& value)
{
    const char* first = field.data();
    const char* last = first + field.size();
    if (first != last && *first == '+' && !(last - first > 1 && (first[1] == '-' || first[1] == '+')))
        ++first;
    const auto r = std::from_chars(first, last, value);
    if (r.ec == std::errc::result_out_of_range)
        return "number out of range: " + quoted(field);
    if (r.ec != std::errc() || r.ptr != last)
        return "not a number: " + quoted(field);
    if (!std::isfinite(value))
        return "not a finite number: " + quoted(field);
    return std::string();
}

ParseResult refuse(int line, std::string reason)
{
    ParseResult r;
    r.error = {line, std::move(reason)};
    return r;
}

}  // namespace

std::string errorText(const ParseError& error)
{
    if (error.line <= 0)
        return error.reason;
    return "Line " + std::to_string(error.line) + ": " + error.reason;
}

ParseResult parse(const std::string& bytes)
{
    if (bytes.size() > kMaxFileBytes)
        return refuse(0, "larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB");
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        return refuse(1, "UTF-16 text: save the file as UTF-8");
    const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const ParseError text = checkText(bytes, start);
    if (!text.reason.empty())
        return refuse(text.line, text.reason);

    ParseResult result;
    std::vector<std::string> columns;
    std::string previous;  // the last frequency as written
    int line = 0;
    for (size_t at = start; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        std::string s = bytes.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!s.empty() && s.back() == '\r')
            s.pop_back();
        const size_t first = s.find_first_not_of(" \t");
        if (first == std::string::npos || s[first] == '"' || s[first] == '*')
            continue;  // blank, comment or header
        const std::string split = splitColumns(s, columns);
        if (!split.empty())
            return refuse(line, split);
        if (columns.size() < 2 || columns.size() > 3)
            return refuse(line, std::to_string(columns.size()) +
                                    (columns.size() == 1 ? " column" : " columns") +
                                    ": expected frequency, level and perhaps phase");
        double values[3];
        for (size_t c = 0; c < columns.size(); ++c) {
            const std::string problem = toNumber(columns[c], values[c]);
            if (!problem.empty())
                return refuse(line, problem);
        }
        if (std::fabs(values[1]) > kMaxLevel)
            return refuse(line, "level " + columns[1] + " dB is out of range");
        if (values[0] <= 0.0)
            return refuse(line, "frequency " + columns[0] + " is not above 0");
        if (!result.points.empty() && values[0] <= result.points.back().hz)
            return refuse(line, "frequency " + columns[0] + " does not increase over " + previous);
        if (result.points.size() == kMaxPoints)
            return refuse(line, "more than " + std::to_string(kMaxPoints) + " points");
        result.points.push_back({values[0], values[1]});
        previous = columns[0];
    }
    if (result.points.size() < 2)
        return refuse(0, "fewer than two frequency points");
    return result;
}

double correctionAt(const std::vector<Point>& points, double hz)
{
    if (hz <= points.front().hz)
        return points.front().db;
    if (hz >= points.back().hz)
        return points.back().db;
    const auto above = std::upper_bound(points.begin(), points.end(), hz,
                                        [](double f, const Point& p) { return f < p.hz; });
    const Point& a = above[-1];
    const Point& b = above[0];
    // The ratios keep neighbouring frequencies apart; between frequencies
    // too far apart for a double's range the logarithms are taken one by one.
    double part = std::log10(hz / a.hz), span = std::log10(b.hz / a.hz);
    if (!std::isfinite(part) || !std::isfinite(span)) {
        part = std::log10(hz) - std::log10(a.hz);
        span = std::log10(b.hz) - std::log10(a.hz);
    }
    const double t = std::min(1.0, std::max(0.0, part / span));
    return a.db + t * (b.db - a.db);
}

void fillCorrection(const std::vector<Point>& points, int n, int fs, float* table)
{
    for (int k = 0; k <= n / 2; ++k)
        table[k] = static_cast<float>(correctionAt(points, static_cast<double>(k) * fs / n));
}

std::string checksum(const std::string& bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[i] = "0123456789abcdef"[h & 15];
    return hex;
}

}  // namespace response_file
