// Fuzz target: the microphone response file (foundation/ResponseFile).
//
// Any bytes go to parse(). A refusal must name a line of the file (or 0), a
// reason, and keep no points. An accepted file must hold two to kMaxPoints
// finite points at rising frequencies above 0; written back as text (one
// "frequency<TAB>level" line per point, shortest exact form) it must parse to
// the same points. The correction it gives must lie between the levels of
// the points around each frequency, and every bin of a transform must get a
// finite one.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "FuzzCheck.h"
#include "foundation/ResponseFile.h"

namespace rf = response_file;

namespace {

void appendNumber(std::string& out, double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const rf::ParseResult r = rf::parse(bytes);
    if (!r.ok()) {
        const long lines = 1 + std::count(bytes.begin(), bytes.end(), '\n');
        FUZZ_CHECK(!r.error.reason.empty(), "a refusal says why");
        FUZZ_CHECK(r.error.line >= 0 && r.error.line <= lines, "a refusal names a line of the file");
        FUZZ_CHECK(r.points.empty(), "a refusal keeps no points");
        return 0;
    }
    const auto& p = r.points;
    FUZZ_CHECK(p.size() >= 2 && p.size() <= rf::kMaxPoints, "two to kMaxPoints points");
    for (size_t i = 0; i < p.size(); ++i) {
        FUZZ_CHECK(std::isfinite(p[i].hz) && std::isfinite(p[i].db), "finite points");
        FUZZ_CHECK(p[i].hz > 0 && (i == 0 || p[i].hz > p[i - 1].hz), "rising frequencies above 0");
    }

    std::string text;
    for (const rf::Point& q : p) {
        appendNumber(text, q.hz);
        text += '\t';
        appendNumber(text, q.db);
        text += '\n';
    }
    const rf::ParseResult again = rf::parse(text);
    FUZZ_CHECK(again.ok() && again.points.size() == p.size(), "the points written back parse");
    for (size_t i = 0; i < p.size(); ++i)
        FUZZ_CHECK(again.points[i].hz == p[i].hz && again.points[i].db == p[i].db,
                   "the points written back read the same");

    // Between each pair of points (and beyond the ends) the correction lies
    // between their levels.
    for (size_t i = 0; i + 1 < p.size() && i < 64; ++i) {
        const double mid = p[i].hz + (p[i + 1].hz - p[i].hz) / 2;
        const double c = rf::correctionAt(p, mid);
        const double lo = std::min(p[i].db, p[i + 1].db), hi = std::max(p[i].db, p[i + 1].db);
        FUZZ_CHECK(c >= lo && c <= hi, "the correction lies between its points' levels");
    }
    FUZZ_CHECK(rf::correctionAt(p, 0.0) == p.front().db, "below the first point: its level");
    FUZZ_CHECK(rf::correctionAt(p, p.back().hz * 2) == p.back().db, "above the last: its level");
    float table[1024 / 2 + 1];
    rf::fillCorrection(p, 1024, 48000, table);
    for (float v : table)
        FUZZ_CHECK(std::isfinite(v), "a finite correction for every bin");
    return 0;
}
