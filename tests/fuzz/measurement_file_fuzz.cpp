// Fuzz target: the saved measurement (foundation/MeasurementFile).
//
// Any bytes go to parse(). A refusal must name a line of the file (or 0) and
// a reason, and leave the caller's measurement alone. An accepted file is
// saved with format() and parsed again: the copy must be accepted with the
// same values (levels to the three decimals written, texts with their line
// breaks made blanks as the writer does), and saving the copy must give the
// same bytes. The header's level options, the microphone response and the
// maximum hold (a fourth spectrum column) read back too.
#include <algorithm>
#include <cmath>
#include <string>

#include "FuzzCheck.h"
#include "foundation/MeasurementFile.h"

namespace mf = measurement_file;

namespace {

std::string blanked(std::string s)
{
    std::replace(s.begin(), s.end(), '\r', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

// The date and the window function are read without blanks around them.
std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return std::string();
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

bool sameLevels(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (!(std::fabs(a[k] - b[k]) <= 0.0005f + 1e-4f * std::fabs(a[k])))
            return false;
    return true;
}

void checkSame(const mf::Measurement& a, const mf::Measurement& b)
{
    FUZZ_CHECK(a.sampFrq == b.sampFrq && a.numSamples == b.numSamples && a.intLvl == b.intLvl,
               "the settings read back");
    FUZZ_CHECK(std::equal(a.filters, a.filters + 4, b.filters), "the band limits read back");
    FUZZ_CHECK(a.dbDiff == b.dbDiff, "the threshold reads back");
    FUZZ_CHECK(blanked(a.program) == b.program && trimmed(blanked(a.date)) == b.date &&
                   blanked(a.device) == b.device && trimmed(blanked(a.window)) == b.window,
               "the texts read back");
    FUZZ_CHECK(a.weighting == b.weighting && trimmed(blanked(a.averaging)) == b.averaging &&
                   std::fabs(a.leqSeconds - b.leqSeconds) <= 0.05 + 1e-9 * a.leqSeconds,
               "the level options read back");
    FUZZ_CHECK(a.micChecksum.empty() ? b.micFile.empty() && b.micChecksum.empty()
                                     : blanked(a.micFile) == b.micFile && a.micChecksum == b.micChecksum,
               "the microphone response reads back");
    FUZZ_CHECK(sameLevels(a.reference, b.reference), "the Reference spectrum reads back");
    FUZZ_CHECK(sameLevels(a.maxHold, b.maxHold), "the maximum hold reads back");
    FUZZ_CHECK(sameLevels(a.analysis, b.analysis), "the Analysis spectrum reads back");
    FUZZ_CHECK(a.fractionalBands.size() == b.fractionalBands.size() &&
                   (a.fractionalBands.empty() || a.bandsPerOctave == b.bandsPerOctave),
               "the octave or third-octave table reads back");
    for (size_t i = 0; i < a.fractionalBands.size() && i < b.fractionalBands.size(); ++i) {
        const mf::FractionalBand& x = a.fractionalBands[i];
        const mf::FractionalBand& y = b.fractionalBands[i];
        FUZZ_CHECK(x.nominal == y.nominal && x.measurable == y.measurable &&
                       sameLevels({x.reference}, {y.reference}) &&
                       (!a.hasAnalysis() || sameLevels({x.analysis}, {y.analysis})),
                   "each band of the table reads back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    mf::Measurement m;
    m.sampFrq = -7;  // a value parse never gives: must survive a refusal
    mf::ParseError error;
    if (!mf::parse(text, size, m, error)) {
        const long lines = 1 + std::count(text, text + size, '\n');
        FUZZ_CHECK(!error.message.empty(), "a refusal says why");
        FUZZ_CHECK(error.line >= 0 && error.line <= lines, "a refusal names a line of the file");
        FUZZ_CHECK(!mf::errorText(error).empty(), "a refusal has a text");
        FUZZ_CHECK(m.sampFrq == -7 && m.reference.empty(), "a refusal leaves the result alone");
        return 0;
    }
    FUZZ_CHECK(static_cast<int>(m.reference.size()) == m.numSamples / 2,
               "one Reference level per bin");
    FUZZ_CHECK(m.analysis.empty() || m.analysis.size() == m.reference.size(),
               "the Analysis is complete or absent");

    const std::string saved = mf::format(m);
    mf::Measurement copy;
    const bool reread = mf::parse(saved.data(), saved.size(), copy, error);
    if (!reread)
        std::fprintf(stderr, "saved copy refused: %s\n", mf::errorText(error).c_str());
    FUZZ_CHECK(reread, "what is saved parses back");
    checkSame(m, copy);
    FUZZ_CHECK(mf::format(copy) == saved, "saving what was read back gives the same file");
    return 0;
}
