// The store's shared GDI objects: creation, deletion and colour changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/ParameterStore.h"

namespace {

struct Recorder : ParameterObserver {
    std::vector<int> ids;
    void parameterChanged(int id) override { ids.push_back(id); }
};

std::vector<int> gdiIds()
{
    std::vector<int> ids;
    for (int id = 27; id <= 52; ++id) ids.push_back(id);
    ids.push_back(73);
    return ids;
}

TEST(StoreGdi, CreateAndDeleteNotifyNobodyAndFillEverySlot)
{
    auto store = std::make_unique<ParameterStore>();
    store->set(Param::BackColor, 0x808080);
    store->set(Param::UiColor19, 0xA0C0C0);
    Recorder r;
    store->addObserver(&r);
    store->createGdiObjects();
    for (int id : gdiIds()) {
        HGDIOBJ h = store->handle<HGDIOBJ>(id);
        ASSERT_NE(h, nullptr) << "id " << id;
        const DWORD type = GetObjectType(h);
        if (id == 38 || id == 39 || id == 45 || id == 48 || id == 49 || id == 52)
            EXPECT_EQ(type, static_cast<DWORD>(OBJ_FONT)) << id;
        else if (id == 28 || id == 29 || id == 30 || id == 31 || id == 32 || id == 35 || id == 36 || id == 51)
            EXPECT_EQ(type, static_cast<DWORD>(OBJ_PEN)) << id;
        else
            EXPECT_EQ(type, static_cast<DWORD>(OBJ_BRUSH)) << id;
    }
    // The background brush is made from the colour slot.
    LOGBRUSH lb{};
    GetObjectW(store->handle<HGDIOBJ>(Param::BackBrush), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, 0x808080u);
    LOGFONTW lf{};
    GetObjectW(store->handle<HGDIOBJ>(Param::MarkerFont), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, 20);
    EXPECT_STREQ(lf.lfFaceName, L"Arial");
    GetObjectW(store->handle<HGDIOBJ>(Param::TitleFont), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, 17);
    EXPECT_STREQ(lf.lfFaceName, L"Arial Bold");

    std::vector<HGDIOBJ> made;
    for (int id : gdiIds()) made.push_back(store->handle<HGDIOBJ>(id));
    store->deleteGdiObjects();
    for (int id : gdiIds()) EXPECT_EQ(store->address(id), 0) << id;
    for (HGDIOBJ h : made) EXPECT_EQ(GetObjectType(h), 0u);  // really deleted
    EXPECT_TRUE(r.ids.empty());
}

TEST(StoreGdi, SetColoursNotifiesHandleThenColourInOrder)
{
    auto store = std::make_unique<ParameterStore>();
    store->createGdiObjects();
    Recorder r;
    store->addObserver(&r);
    store->setColours(0x010101, 0x020202, 0x030303, 0x040404, 0x050505, 0x060606);
    EXPECT_EQ(r.ids, (std::vector<int>{27, 9, 28, 10, 29, 11, 30, 12, 31, 13, 32, 14}));
    EXPECT_EQ(store->get(Param::FilterColor), 0x060606);
    LOGPEN lp{};
    GetObjectW(store->handle<HGDIOBJ>(Param::ThreshPen), sizeof lp, &lp);
    EXPECT_EQ(lp.lopnColor, 0x050505u);
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_SOLID));

    // Same colours again: new objects, but colour slots unchanged, so only
    // handle slots whose value changed are announced.
    r.ids.clear();
    store->setColours(0x010101, 0x020202, 0x030303, 0x040404, 0x050505, 0x060606);
    for (int id : r.ids) EXPECT_TRUE(id >= 27 && id <= 32) << id;
    store->deleteGdiObjects();
}

// Changing the colours many times must not leak GDI objects: the old object
// of each slot is deleted. Wine reuses freed GDI table entries, so a probe
// object's handle index stays put unless objects leak.
TEST(StoreGdi, RepeatedColourChangesLeakNothing)
{
    auto store = std::make_unique<ParameterStore>();
    store->createGdiObjects();
    auto probeIndex = [] {
        HBRUSH probe = CreateSolidBrush(0x123456);
        auto index = reinterpret_cast<uintptr_t>(probe) & 0xFFFF;
        DeleteObject(probe);
        return index;
    };
    for (int i = 0; i < 50; ++i)
        store->setColours(i, i + 1, i + 2, i + 3, i + 4, i + 5);
    const auto before = probeIndex();
    for (int i = 0; i < 1000; ++i)
        store->setColours(i, i + 1, i + 2, i + 3, i + 4, i + 5);
    const auto after = probeIndex();
    EXPECT_LE(after, before + 8);

    // The same probe catches a deliberate leak of 1000 brushes.
    std::vector<HBRUSH> leaked;
    for (int i = 0; i < 1000; ++i) leaked.push_back(CreateSolidBrush(i));
    EXPECT_GT(probeIndex(), after + 500);
    for (HBRUSH b : leaked) DeleteObject(b);
    store->deleteGdiObjects();
}

}  // namespace
