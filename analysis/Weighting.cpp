// Frequency weightings (see Weighting.h).
#include "analysis/Weighting.h"

#include <cmath>
#include <limits>

namespace {

constexpr double F1 = 20.598997;
constexpr double F2 = 107.65265;
constexpr double F3 = 737.86223;
constexpr double F4 = 12194.217;
constexpr double A1000 = -2.000;
constexpr double C1000 = -0.062;

}  // namespace

const char* weightingName(int kind)
{
    switch (kind) {
    case WeightingKind::A:
        return "A";
    case WeightingKind::C:
        return "C";
    default:
        return "Z";
    }
}

double weightingDb(int kind, double hz)
{
    if (kind != WeightingKind::A && kind != WeightingKind::C)
        return 0.0;
    const double f2 = hz * hz;
    if (!(f2 > 0.0))
        return -std::numeric_limits<double>::infinity();
    // Both share the poles at f1 and f4; A has two more and a second zero
    // at 0 Hz. Each factor is taken as a ratio so nothing overflows.
    const double c = (F4 * F4 / (f2 + F4 * F4)) * (f2 / (f2 + F1 * F1));
    if (kind == WeightingKind::C)
        return 20.0 * std::log10(c) - C1000;
    const double a = c * std::sqrt(f2 / (f2 + F2 * F2)) * std::sqrt(f2 / (f2 + F3 * F3));
    return 20.0 * std::log10(a) - A1000;
}

void buildWeighting(WeightingTable& table, int kind, int length, int rate)
{
    if (kind < 0 || kind >= WeightingKind::Count)
        kind = WeightingKind::Z;
    if (length < 2 || length > MaxSamples || rate <= 0)
        return;
    if (table.kind == kind && table.length == length && table.rate == rate)
        return;
    const double hzPerBin = static_cast<double>(rate) / length;
    for (int k = 0; k <= length / 2; ++k) {
        const double db = weightingDb(kind, k * hzPerBin);
        const bool floor = !(db > WeightingFloorDb);
        table.db[k] = static_cast<float>(floor ? WeightingFloorDb : db);
        table.gain[k] = floor ? 0.0f : static_cast<float>(std::pow(10.0, db / 10.0));
    }
    table.kind = kind;
    table.length = length;
    table.rate = rate;
}
