// The two sets of settings settings_saver.exe saves in turn, and the test
// that kills it expects whole.
#pragma once

#include <string>

#include "foundation/ParameterStore.h"

namespace qxtest {

struct SaverSet {
    int rate, size, level, limits[4], threshold, backColour;
    const wchar_t* device;
};
constexpr SaverSet kSaverSets[2] = {
    {48000, 16384, 64, {100, 500, 15000, 20000}, 70, 0x102030, L"Microphone A"},
    {4000, 1024, 4, {50, 300, 1000, 2000}, 20, 0x405060, L""},
};

inline void applySaverSet(ParameterStore& store, const SaverSet& s)
{
    store.set(Param::SampFrq, s.rate);
    store.set(Param::NumSamples, s.size);
    store.set(Param::IntLvl, s.level);
    for (int k = 0; k < 4; ++k)
        store.set(Param::Filter0 + k, s.limits[k]);
    store.set(Param::DbDiff, s.threshold);
    store.set(Param::BackColor, s.backColour);
    store.setText(Option::RecordDevice, s.device);
}

}  // namespace qxtest
