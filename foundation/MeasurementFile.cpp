#include "foundation/MeasurementFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "analysis/Levels.h"
#include "foundation/SettingsTable.h"

namespace measurement_file {

const char* const kSignature = "QX-700 Measurement";
const char* const kKeyProgram = "Program";
const char* const kKeyDate = "Date";
const char* const kKeySampFrq = "Sampling frequency (Hz)";
const char* const kKeyNumSamples = "Samples";
const char* const kKeyIntLvl = "Integration";
const char* const kKeyBandLimits = "Band limits (Hz)";
const char* const kKeyThreshold = "Threshold (dB)";
const char* const kKeyDevice = "Recording device";
const char* const kKeyWindow = "Window function";
const char* const kKeyMicFile = "Microphone file";
const char* const kKeyMicChecksum = "Microphone checksum";
const char* const kKeyLevelUnit = "Level unit";
const char* const kKeyCalibration = "Calibration";
const char* const kKeyClipped = "Clipped samples";
const char* const kKeyLost = "Lost blocks";
const char* const kKeyWeighting = "Frequency weighting";
const char* const kKeyAveraging = "Averaging";
const char* const kKeyLeqTime = "Leq time (s)";
const char* const kBandTableHeader = "Band";
const char* const kSpectrumTableHeader = "Frequency (Hz)";
const char* const kOctaveTableHeader = "Octave band (Hz)";
const char* const kThirdOctaveTableHeader = "Third-octave band (Hz)";
const char* const kNarrowNote = "narrow";

namespace {

const char* const kEol = "\r\n";

void appendInt(std::string& out, long long v)
{
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Fixed point with `places` decimals; '.' whatever the locale.
void appendFixed(std::string& out, double v, int places)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, places);
    if (r.ec != std::errc())
        return;  // cannot happen for the finite levels written here
    // "-0.000" reads oddly in a spreadsheet.
    std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string_view::npos)
        s.remove_prefix(1);
    out.append(s);
}

// A level cell: three decimals, empty for a value that is not finite.
void appendLevel(std::string& out, float v)
{
    if (std::isfinite(v))
        appendFixed(out, v, 3);
}

// A text field, quoted when it holds a separator or a quote.
void appendText(std::string& out, const std::string& text)
{
    std::string clean = text;
    for (char& c : clean)
        if (c == '\r' || c == '\n')
            c = ' ';
    if (clean.find_first_of(",\"") == std::string::npos && (clean.empty() || clean[0] != ' ')) {
        out += clean;
        return;
    }
    out += '"';
    for (char c : clean) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void keyLine(std::string& out, const char* key)
{
    out += key;
    out += ',';
}

std::string trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t'))
        --b;
    return s.substr(a, b - a);
}

// A whole decimal integer, nothing else around it but blanks.
bool toInt(const std::string& field, long long& value)
{
    const std::string t = trim(field);
    if (t.empty())
        return false;
    auto r = std::from_chars(t.data(), t.data() + t.size(), value);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

enum class Number { Ok, Empty, Malformed, NotFinite, TooLarge };

Number toNumber(const std::string& field, double limit, double& value)
{
    const std::string t = trim(field);
    if (t.empty())
        return Number::Empty;
    const char* first = t.data();
    if (*first == '+')
        ++first;  // what some spreadsheets write
    auto r = std::from_chars(first, t.data() + t.size(), value);
    if (r.ec == std::errc::result_out_of_range)
        return Number::TooLarge;
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return Number::Malformed;
    if (!std::isfinite(value))
        return Number::NotFinite;
    if (std::fabs(value) > limit)
        return Number::TooLarge;
    return Number::Ok;
}

bool isSupportedRate(long long f) { return settings_table::isRate(f); }
bool isSupportedLength(long long n) { return settings_table::isSize(n); }

std::string quoted(const std::string& s)
{
    std::string shown = s.size() > 40 ? s.substr(0, 40) + "..." : s;
    return "\"" + shown + "\"";
}

std::string numberProblem(Number n, const char* what, const std::string& field)
{
    switch (n) {
    case Number::Empty:
        return std::string("the ") + what + " is missing.";
    case Number::NotFinite:
        return std::string("the ") + what + " " + quoted(trim(field)) + " is not a finite number.";
    case Number::TooLarge:
        return std::string("the ") + what + " " + quoted(trim(field)) + " is out of range.";
    default:
        return std::string("the ") + what + " " + quoted(trim(field)) + " is not a number.";
    }
}

// Lines of a text: each with its number and whether a line end followed it.
struct LineReader {
    const char* p;
    const char* end;
    int number = 0;

    bool next(std::string& line, bool& terminated)
    {
        if (p >= end)
            return false;
        const char* start = p;
        while (p < end && *p != '\n')
            ++p;
        terminated = p < end;
        const char* stop = p;
        if (terminated)
            ++p;
        if (stop > start && stop[-1] == '\r')
            --stop;
        line.assign(start, stop);
        ++number;
        return true;
    }
};

bool isBlank(const std::string& line) { return trim(line).empty(); }

}  // namespace

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        field.clear();
        if (i < n && line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            // Anything between the closing quote and the comma is kept.
            while (i < n && line[i] != ',')
                field += line[i++];
        } else {
            while (i < n && line[i] != ',')
                field += line[i++];
        }
        fields.push_back(field);
        if (i >= n)
            break;
        ++i;  // the comma
    }
    return fields;
}

namespace {

// The rows of an octave (b = 1) or third-octave (b = 3) table after its
// header line, up to the blank line that ends it, into m. False with the
// error set for a row that is not one.
bool readFractionalBands(LineReader& reader, int b, Measurement& m, ParseError& error)
{
    m.bandsPerOctave = b;
    m.fractionalBands.clear();
    std::string line;
    bool terminated = false;
    while (reader.next(line, terminated) && !isBlank(line)) {
        const auto f = splitFields(line);
        FractionalBand band;
        double nominal = 0, reference = 0, analysis = 0;
        if (f.size() < 2 || toNumber(f[0], 1e6, nominal) != Number::Ok || !(nominal > 0) ||
            toNumber(f[1], kLevelLimit, reference) != Number::Ok) {
            error.line = reader.number;
            error.message = "a band table row needs a frequency and a Reference level.";
            return false;
        }
        band.nominal = nominal;
        band.reference = static_cast<float>(reference);
        if (f.size() > 2 && toNumber(f[2], kLevelLimit, analysis) == Number::Ok)
            band.analysis = static_cast<float>(analysis);
        band.measurable = f.size() < 7 || trim(f[6]) != kNarrowNote;
        m.fractionalBands.push_back(band);
    }
    return true;
}

}  // namespace

// "key,text" and "key,number" header lines, each with its line end.
static void textLine(std::string& out, const char* key, const std::string& text)
{
    keyLine(out, key);
    appendText(out, text);
    out += kEol;
}

static void intLine(std::string& out, const char* key, long long value)
{
    keyLine(out, key);
    appendInt(out, value);
    out += kEol;
}

std::string format(const Measurement& m)
{
    const size_t bins = m.reference.size();
    std::string out;
    out.reserve(512 + bins * 32);
    out += "\xEF\xBB\xBF";  // UTF-8 byte-order mark

    out += kSignature;
    out += ',';
    appendInt(out, kFormatVersion);
    out += kEol;
    textLine(out, kKeyProgram, m.program);
    textLine(out, kKeyDate, m.date);
    intLine(out, kKeySampFrq, m.sampFrq);
    intLine(out, kKeyNumSamples, m.numSamples);
    intLine(out, kKeyIntLvl, m.intLvl);
    keyLine(out, kKeyBandLimits);
    for (int i = 0; i < 4; ++i) {
        if (i)
            out += ',';
        appendInt(out, m.filters[i]);
    }
    out += kEol;
    keyLine(out, kKeyThreshold);
    appendFixed(out, m.dbDiff / 10.0, 1);
    out += kEol;
    textLine(out, kKeyDevice, m.device);
    textLine(out, kKeyWindow, m.window);
    textLine(out, kKeyLevelUnit, m.levelUnit);
    textLine(out, kKeyCalibration, m.calibration);
    intLine(out, kKeyClipped, m.clippedSamples);
    intLine(out, kKeyLost, m.lostBlocks);
    textLine(out, kKeyWeighting, m.weighting);
    textLine(out, kKeyAveraging, m.averaging);
    // Written to a tenth of a second: a time written as 0.0 is none, as it
    // reads back.
    std::string leq;
    appendFixed(leq, m.leqSeconds, 1);
    if (m.leqSeconds > 0.0 && leq != "0.0") {
        keyLine(out, kKeyLeqTime);
        out += leq;
        out += kEol;
    }
    if (!m.micChecksum.empty()) {
        textLine(out, kKeyMicFile, m.micFile);
        textLine(out, kKeyMicChecksum, m.micChecksum);
    }
    out += kEol;

    out += kBandTableHeader;
    out += ",Reference dB,Analysis dB,Difference dB,Source dB,Source";
    if (m.hasTotals)
        out += ",Reference total dB,Analysis total dB";
    out += kEol;
    // The totals' cells of a row (a leading comma each).
    auto appendTotals = [&](float reference, float analysis) {
        if (!m.hasTotals)
            return;
        out += ',';
        appendLevel(out, reference);
        out += ',';
        if (m.hasAnalysis())
            appendLevel(out, analysis);
    };
    for (int b = 0; b < 3; ++b) {
        out += "Band ";
        appendInt(out, b + 1);
        out += " (";
        appendInt(out, m.filters[b]);
        out += '-';
        appendInt(out, m.filters[b + 1]);
        out += " Hz),";
        appendLevel(out, m.referenceBands[b]);
        out += ',';
        if (m.hasAnalysis()) {
            appendLevel(out, m.analysisBands[b]);
            out += ',';
            appendLevel(out, m.analysisBands[b] - m.referenceBands[b]);
            out += ',';
            appendText(out, m.sourceCells[b]);
            out += ',';
            appendText(out, m.sourceValidity[b]);
        } else {
            out += ",,,";
        }
        appendTotals(m.referenceTotals[b], m.analysisTotals[b]);
        out += kEol;
    }
    if (m.hasTotals) {
        // The overall levels are totals only: no mean of their dB bins.
        static const char* const kOverall[3] = {"Overall LZ", "Overall LA", "Overall LC"};
        for (int w = 0; w < 3; ++w) {
            out += kOverall[w];
            out += ",,,";
            if (m.hasAnalysis())
                appendLevel(out, m.analysisOverall[w] - m.referenceOverall[w]);
            out += ",,";
            appendTotals(m.referenceOverall[w], m.analysisOverall[w]);
            out += kEol;
        }
    }
    out += kEol;

    const std::vector<std::vector<std::string>> fractional =
        fractionalBandCells(m.bandsPerOctave, m.fractionalBands, m.hasAnalysis());
    for (const std::vector<std::string>& row : fractional) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c)
                out += ',';
            appendText(out, row[c]);
        }
        out += kEol;
    }
    if (!fractional.empty())
        out += kEol;

    out += kSpectrumTableHeader;
    out += ",Reference dB,Analysis dB";
    const bool maxHold = !m.maxHold.empty() && m.maxHold.size() == bins;
    if (maxHold)
        out += ",Max hold dB";
    out += kEol;
    const bool analysis = m.analysis.size() == bins;
    const double hzPerBin = m.numSamples > 0 ? static_cast<double>(m.sampFrq) / m.numSamples : 0.0;
    char buf[64];
    for (size_t k = 0; k < bins; ++k) {
        // Shortest text that reads back as the same double: 11.71875, 0, 6000.
        auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(k) * hzPerBin);
        out.append(buf, r.ptr);
        out += ',';
        appendLevel(out, m.reference[k]);
        out += ',';
        if (analysis)
            appendLevel(out, m.analysis[k]);
        if (maxHold) {
            out += ',';
            appendLevel(out, m.maxHold[k]);
        }
        out += kEol;
    }
    return out;
}

bool parse(const char* data, size_t size, Measurement& out, ParseError& error)
{
    error = ParseError{};
    auto fail = [&error](int line, const std::string& message) {
        error.line = line;
        error.message = message;
        return false;
    };
    if (size == 0)
        return fail(0, "The file is empty.");
    if (size > kMaxFileBytes)
        return fail(0, "The file is too large to be a measurement.");
    const void* nul = std::memchr(data, 0, size);
    if (nul) {
        // The line that holds the first NUL byte.
        int line = 1;
        for (const char* c = data; c < static_cast<const char*>(nul); ++c)
            line += *c == '\n';
        return fail(line, "binary data: this is not a text file.");
    }
    const char* start = data;
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        start += 3;

    LineReader reader{start, data + size};
    std::string line;
    bool terminated = false;
    auto readLine = [&]() -> bool {
        if (!reader.next(line, terminated))
            return false;
        return true;
    };
    auto incomplete = [&]() {
        return fail(reader.number, "the line is incomplete: the file ends in the middle of it.");
    };

    // Signature.
    if (!readLine())
        return fail(0, "The file is empty.");
    {
        const auto f = splitFields(line);
        if (trim(f[0]) != kSignature)
            return fail(1, std::string("not a measurement file (it does not start with \"") +
                               kSignature + "\").");
        long long version = 0;
        if (f.size() < 2 || !toInt(f[1], version) || version < 1)
            return fail(1, "the format version is missing or not a number.");
        if (version > kFormatVersion)
            return fail(1, "the file was written in a newer format (version " +
                               std::to_string(version) + ").");
        if (!terminated)
            return incomplete();
    }

    Measurement m;
    bool haveRate = false, haveLength = false;
    // Header block: "key,value" lines up to the first blank line.
    for (;;) {
        if (!readLine())
            return fail(reader.number, "the file ends inside the header: the spectrum table is missing.");
        if (!terminated)
            return incomplete();
        if (isBlank(line))
            break;
        const auto f = splitFields(line);
        const std::string key = trim(f[0]);
        const std::string value = f.size() > 1 ? f[1] : std::string();
        const int at = reader.number;
        long long v = 0;
        if (key == kKeySampFrq) {
            if (!toInt(value, v))
                return fail(at, "the sampling frequency " + quoted(trim(value)) + " is not a whole number.");
            if (!isSupportedRate(v))
                return fail(at, "the sampling frequency " + std::to_string(v) +
                                    " Hz is not one the analyzer uses (4000, 8000, 12000, 24000 or 48000).");
            m.sampFrq = static_cast<int>(v);
            haveRate = true;
        } else if (key == kKeyNumSamples) {
            if (!toInt(value, v))
                return fail(at, "the number of samples " + quoted(trim(value)) + " is not a whole number.");
            if (!isSupportedLength(v))
                return fail(at, "the number of samples " + std::to_string(v) +
                                    " is not one the analyzer uses (1024 to 16384, a power of two).");
            m.numSamples = static_cast<int>(v);
            haveLength = true;
        } else if (key == kKeyIntLvl) {
            if (toInt(value, v) && v > 0 && v <= 100000)
                m.intLvl = static_cast<int>(v);
        } else if (key == kKeyBandLimits) {
            for (int i = 0; i < 4 && i + 1 < static_cast<int>(f.size()); ++i)
                if (toInt(f[i + 1], v) && v >= 0 && v <= 1000000)
                    m.filters[i] = static_cast<int>(v);
        } else if (key == kKeyThreshold) {
            double d = 0;
            if (toNumber(value, 1000.0, d) == Number::Ok)
                m.dbDiff = static_cast<int>(std::lround(d * 10.0));
        } else if (key == kKeyProgram) {
            m.program = value;
        } else if (key == kKeyDate) {
            m.date = trim(value);
        } else if (key == kKeyDevice) {
            m.device = value;
        } else if (key == kKeyWindow) {
            m.window = trim(value);
        } else if (key == kKeyWeighting) {
            const std::string w = trim(value);
            if (w != "Z" && w != "A" && w != "C")
                return fail(at, "the frequency weighting " + quoted(w) + " is not Z, A or C.");
            m.weighting = w;
        } else if (key == kKeyAveraging) {
            m.averaging = trim(value);
        } else if (key == kKeyLeqTime) {
            double d = 0;
            if (toNumber(value, 1e9, d) == Number::Ok && d >= 0.0)
                m.leqSeconds = d;
        } else if (key == kKeyMicFile) {
            m.micFile = value;
        } else if (key == kKeyMicChecksum) {
            m.micChecksum = trim(value);
        }
        // Any other key belongs to a later version: ignored.
    }

    // Whatever lies between the header and the spectrum table (the band
    // table, sections of later versions) is skipped.
    for (;;) {
        if (!readLine())
            return fail(reader.number, std::string("the spectrum table (a line starting with \"") +
                                           kSpectrumTableHeader + "\") is missing.");
        if (!terminated)
            return incomplete();
        const auto f = splitFields(line);
        const std::string first = trim(f[0]);
        if (first == kOctaveTableHeader || first == kThirdOctaveTableHeader) {
            if (!readFractionalBands(reader, first == kOctaveTableHeader ? 1 : 3, m, error))
                return false;
            continue;
        }
        if (first != kSpectrumTableHeader)
            continue;
        if (f.size() < 2 || trim(f[1]) != "Reference dB")
            return fail(reader.number, "the spectrum table's second column is not \"Reference dB\".");
        break;
    }
    const int tableLine = reader.number;
    if (!haveRate)
        return fail(tableLine, std::string("the header has no \"") + kKeySampFrq + "\" line.");
    if (!haveLength)
        return fail(tableLine, std::string("the header has no \"") + kKeyNumSamples + "\" line.");

    const int bins = m.numSamples / 2;
    const double hzPerBin = static_cast<double>(m.sampFrq) / m.numSamples;
    m.reference.assign(static_cast<size_t>(bins), 0.0f);
    std::vector<float> analysis(static_cast<size_t>(bins), 0.0f);
    int analysisCells = 0;
    std::vector<float> held(static_cast<size_t>(bins), 0.0f);
    int heldCells = 0;
    for (int k = 0; k < bins; ++k) {
        if (!readLine() || isBlank(line))
            return fail(reader.number, "the spectrum table ends after " + std::to_string(k) + " of " +
                                           std::to_string(bins) + " rows: the file is truncated.");
        if (!terminated)
            return incomplete();
        const int at = reader.number;
        const auto f = splitFields(line);
        if (f.size() < 2 || f.size() > 4)
            return fail(at, "expected 3 columns (frequency, Reference dB, Analysis dB) and "
                            "perhaps the maximum hold, found " +
                                std::to_string(f.size()) + ".");
        double hz = 0;
        Number n = toNumber(f[0], 1e6, hz);
        if (n != Number::Ok)
            return fail(at, numberProblem(n, "frequency", f[0]));
        const double expected = k * hzPerBin;
        if (std::fabs(hz - expected) > 0.01)
            return fail(at, "the frequency " + quoted(trim(f[0])) + " Hz is not that of bin " +
                                std::to_string(k) + " at these settings.");
        double level = 0;
        n = toNumber(f[1], kLevelLimit, level);
        if (n != Number::Ok)
            return fail(at, numberProblem(n, "Reference level", f[1]));
        m.reference[static_cast<size_t>(k)] = static_cast<float>(level);
        if (f.size() == 3) {
            n = toNumber(f[2], kLevelLimit, level);
            if (n == Number::Ok) {
                analysis[static_cast<size_t>(k)] = static_cast<float>(level);
                ++analysisCells;
            } else if (n != Number::Empty) {
                return fail(at, numberProblem(n, "Analysis level", f[2]));
            }
        }
        if (f.size() == 4) {
            n = toNumber(f[3], kLevelLimit, level);
            if (n == Number::Ok) {
                held[static_cast<size_t>(k)] = static_cast<float>(level);
                ++heldCells;
            } else if (n != Number::Empty) {
                return fail(at, numberProblem(n, "maximum hold", f[3]));
            }
        }
    }
    while (readLine()) {
        if (!isBlank(line))
            return fail(reader.number, "more rows than the " + std::to_string(bins) + " bins of " +
                                           std::to_string(m.numSamples) + " samples.");
    }
    // The Analysis column counts only when it is complete.
    if (analysisCells == bins)
        m.analysis.swap(analysis);
    if (heldCells == bins)
        m.maxHold.swap(held);
    // The band table is the reader's to recompute; it is informative only.
    out = std::move(m);
    return true;
}

std::vector<std::vector<std::string>> fractionalBandCells(int bandsPerOctave,
                                                          const std::vector<FractionalBand>& bands,
                                                          bool analysis)
{
    std::vector<std::vector<std::string>> rows;
    if ((bandsPerOctave != 1 && bandsPerOctave != 3) || bands.empty())
        return rows;
    rows.push_back({bandsPerOctave == 1 ? kOctaveTableHeader : kThirdOctaveTableHeader,
                    "Reference dB", "Analysis dB", "Difference dB", "Source dB", "Source", "Note"});
    auto level = [](float v) {
        std::string cell;
        appendLevel(cell, v);
        return cell;
    };
    char buf[32];
    for (const FractionalBand& band : bands) {
        // Shortest text that reads back as the same number: 31.5, 1000, 12500.
        auto r = std::to_chars(buf, buf + sizeof buf, band.nominal);
        std::vector<std::string> row{std::string(buf, r.ptr), level(band.reference)};
        if (analysis) {
            const SourceLevel source = sourceLevel(band.reference, band.analysis);
            const std::wstring sourceText = sourceLevelText(source);
            row.push_back(level(band.analysis));
            row.push_back(level(band.analysis - band.reference));
            row.push_back(std::string(sourceText.begin(), sourceText.end()));
            row.push_back(sourceValidityName(source.validity));
        } else {
            row.insert(row.end(), {"", "", "", ""});
        }
        row.push_back(band.measurable ? "" : kNarrowNote);
        rows.push_back(row);
    }
    return rows;
}

std::string errorText(const ParseError& error)
{
    if (error.line <= 0)
        return error.message;
    return "Line " + std::to_string(error.line) + ": " + error.message;
}

std::string copyText(const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    for (const std::vector<std::string>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                out += '\t';
            for (char ch : row[c])
                out += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
        }
        out += "\r\n";
    }
    return out;
}

std::string isoDateTime(int year, int month, int day, int hour, int minute, int second,
                        int utcOffsetMinutes)
{
    const char sign = utcOffsetMinutes < 0 ? '-' : '+';
    const int off = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year, month, day,
                  hour, minute, second, sign, off / 60, off % 60);
    return buf;
}

std::string defaultFileName(int year, int month, int day, int hour, int minute, int second)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "Measurement %04d-%02d-%02d %02d-%02d-%02d.csv", year, month,
                  day, hour, minute, second);
    return buf;
}

std::string shortDate(const std::string& isoDate)
{
    // "YYYY-MM-DDTHH:MM..."
    if (isoDate.size() < 16 || isoDate[4] != '-' || isoDate[7] != '-' || isoDate[10] != 'T' ||
        isoDate[13] != ':')
        return std::string();
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15})
        if (isoDate[static_cast<size_t>(i)] < '0' || isoDate[static_cast<size_t>(i)] > '9')
            return std::string();
    return isoDate.substr(0, 10) + " " + isoDate.substr(11, 5);
}

}  // namespace measurement_file
