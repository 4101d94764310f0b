// Fuzz target: the saved settings as the registry gives them back, written
// by an older build or by hand (foundation/SettingsTable).
//
// The input is the stored int values of the table's entries in Key order,
// four bytes each (little-endian); values the input does not reach are
// missing (-1, as the registry reader reports them). They are loaded with
// takeStored over the factory values, as the engine loads them at start-up.
// What is loaded must be accepted by each entry's rule (band limits in order
// and within half the rate loaded with them), every value the Configuration
// window could have written must come back as it was saved, and saving what
// was loaded and loading it again must change nothing.
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "foundation/SettingsTable.h"

namespace st = settings_table;

namespace {

struct Loaded {
    int values[st::Count];
    bool operator==(const Loaded& o) const
    {
        return std::memcmp(values, o.values, sizeof values) == 0;
    }
};

Loaded factory()
{
    Loaded l;
    for (int k = 0; k < st::Count; ++k)
        l.values[k] = st::kEntries[k].factory;
    return l;
}

Loaded load(const int stored[st::Count])
{
    Loaded l = factory();
    st::takeStored(stored, l.values);
    return l;
}

bool isInt(const st::Entry& e) { return e.rule != st::Rule::Text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int stored[st::Count];
    for (int k = 0; k < st::Count; ++k) {
        stored[k] = -1;
        if (size_t(k * 4 + 4) <= size) {
            const uint8_t* b = data + k * 4;
            stored[k] = static_cast<int>(uint32_t(b[0]) | uint32_t(b[1]) << 8 |
                                         uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        }
    }
    const Loaded v = load(stored);

    for (int k = 0; k < st::Count; ++k) {
        const st::Entry& e = st::kEntries[k];
        if (isInt(e) && e.id >= 0)
            FUZZ_CHECK(v.values[k] == e.factory || st::accepts(e, v.values[k]),
                       "every loaded value is its factory value or keeps its entry's rule");
    }
    const int rate = v.values[st::SampFrq];
    const int* limits = &v.values[st::Filter0];
    FUZZ_CHECK(st::bandLimitsValid(limits, rate), "the band limits fit the rate loaded");

    // Limits the window would refuse are refused with a reason.
    const int* saved = &stored[st::Filter0];
    if (!st::bandLimitsValid(saved, rate))
        FUZZ_CHECK(!st::bandLimitsProblem(saved, rate).empty(), "refused limits have a reason");
    else
        for (int k = 0; k < 4; ++k)
            FUZZ_CHECK(limits[k] == saved[k], "valid band limits load as saved");

    // A value outside any group that its rule accepts loads as saved.
    for (int k = 0; k < st::Count; ++k) {
        const st::Entry& e = st::kEntries[k];
        if (isInt(e) && e.id >= 0 && e.group == st::Group::None && stored[k] != -1 &&
            st::accepts(e, stored[k]))
            FUZZ_CHECK(v.values[k] == stored[k], "a value its rule accepts loads as saved");
    }
    FUZZ_CHECK(load(v.values) == v, "saving and loading again changes nothing");
    return 0;
}
