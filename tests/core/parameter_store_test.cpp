// The parameter store's table, observers and the display-buffer hand-over,
// including a real concurrent writer thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/DisplayHandover.h"
#include "foundation/FrameLock.h"
#include "foundation/ParameterStore.h"

namespace {

struct Recorder : ParameterObserver {
    std::vector<int> ids;
    void parameterChanged(int id) override { ids.push_back(id); }
};

struct Tagger : ParameterObserver {
    std::vector<int>* log;
    int tag;
    Tagger(std::vector<int>* l, int t) : log(l), tag(t) {}
    void parameterChanged(int) override { log->push_back(tag); }
};

TEST(ParameterStore, ConstructionZeroesTableExceptBufferSlots)
{
    auto store = std::make_unique<ParameterStore>();
    for (int id = 0; id < 100; ++id) {
        if (id == Param::DisplayBuffers || id == Param::LatestBuffer)
            continue;
        EXPECT_EQ(store->get(id), 0) << "id " << id;
    }
    EXPECT_EQ(store->get(Param::LatestBuffer), -1);
    EXPECT_EQ(store->pointer<DisplayBuffer*>(Param::DisplayBuffers), store->displayBuffers());
}

TEST(ParameterStore, OutOfRangeIdsStoreNothingButNotify)
{
    auto store = std::make_unique<ParameterStore>();
    Recorder r;
    store->addObserver(&r);
    EXPECT_EQ(store->get(-1), 0);
    EXPECT_EQ(store->get(100), 0);
    store->set(100, 0);
    store->set(100, 0);  // events notify every time
    store->set(-5, 7);
    EXPECT_EQ(store->get(100), 0);
    EXPECT_EQ(store->get(-5), 0);
    EXPECT_EQ(r.ids, (std::vector<int>{100, 100, -5}));
}

TEST(ParameterStore, SameValueNotifiesNobody)
{
    auto store = std::make_unique<ParameterStore>();
    Recorder r;
    store->addObserver(&r);
    store->set(Param::IntLvl, 16);
    store->set(Param::IntLvl, 16);
    store->set(Param::IntLvl, 32);
    EXPECT_EQ(r.ids, (std::vector<int>{Param::IntLvl, Param::IntLvl}));
    EXPECT_EQ(store->get(Param::IntLvl), 32);
}

TEST(ParameterStore, ObserverListHeadFirstNoDuplicatesSafeRemoval)
{
    auto store = std::make_unique<ParameterStore>();
    std::vector<int> log;
    Tagger a(&log, 1), b(&log, 2);
    store->addObserver(nullptr);
    store->addObserver(&a);
    store->addObserver(&b);
    store->addObserver(&a);  // already present: not added again
    store->set(5, 1);
    EXPECT_EQ(log, (std::vector<int>{2, 1}));  // newest first

    Recorder stranger;
    store->removeObserver(&stranger);  // not in the list: nothing changes
    log.clear();
    store->set(5, 2);
    EXPECT_EQ(log, (std::vector<int>{2, 1}));

    store->removeObserver(&b);
    log.clear();
    store->set(5, 3);
    EXPECT_EQ(log, (std::vector<int>{1}));
    store->removeObserver(&a);
    log.clear();
    store->set(5, 4);
    EXPECT_TRUE(log.empty());
}

// Options live beside the slots under ids of their own: an int option is
// stored and notified like a slot, a text under the store's lock; neither
// touches a slot or event 100.
TEST(ParameterStore, OptionsAreStoredAndNotifiedUnderTheirOwnIds)
{
    auto store = std::make_unique<ParameterStore>();
    Recorder r;
    store->addObserver(&r);
    store->set(Option::Weighting, 2);
    store->set(Option::Weighting, 2);  // unchanged: nobody hears of it
    store->set(Option::Averaging, 1);
    store->setText(Option::RecordDevice, L"Microphone (USB)");
    store->setText(Option::RecordDevice, L"Microphone (USB)");
    EXPECT_EQ(store->get(Option::Weighting), 2);
    EXPECT_EQ(store->get(static_cast<int>(Option::Averaging)), 1) << "read by its plain id";
    EXPECT_EQ(store->text(Option::RecordDevice), L"Microphone (USB)");
    EXPECT_EQ(r.ids, (std::vector<int>{Option::Weighting, Option::Averaging, Option::RecordDevice}));
    for (int id : r.ids)
        EXPECT_GT(id, Param::NewDisplayData);
    for (int id = 0; id < Param::Count; ++id) {
        if (id == Param::DisplayBuffers || id == Param::LatestBuffer)
            continue;
        EXPECT_EQ(store->get(id), 0) << "a slot changed: " << id;
    }
    // Ids beyond the options are still events that store nothing.
    store->set(Option::IntEnd, 5);
    EXPECT_EQ(store->get(Option::IntEnd), 0);
    EXPECT_EQ(store->text(Option::TextEnd), L"");
}

// A text written by another thread while this one reads: every read is one
// of the texts written, whole, and each change is heard once, on the writer.
TEST(ParameterStore, ATextSetOnAnotherThreadIsReadWhole)
{
    auto store = std::make_unique<ParameterStore>();
    struct Counter : ParameterObserver {
        std::atomic<int> changes{0};
        std::atomic<std::thread::id> thread;
        void parameterChanged(int id) override
        {
            if (id == Option::RecordDevice) {
                changes.fetch_add(1);
                thread.store(std::this_thread::get_id());
            }
        }
    } counter;
    store->addObserver(&counter);
    const std::wstring a(200, L'a');
    const std::wstring b(3, L'b');
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            store->setText(Option::RecordDevice, i % 2 ? b : a);
        done.store(true);
    });
    const std::thread::id writerId = writer.get_id();
    long torn = 0;
    while (!done.load()) {
        const std::wstring t = store->text(Option::RecordDevice);
        torn += !(t.empty() || t == a || t == b);
    }
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(counter.changes.load(), 2000);
    EXPECT_EQ(counter.thread.load(), writerId);
    EXPECT_EQ(store->text(Option::RecordDevice), b);
}

TEST(ParameterStore, PointerSlotsKeepFullWidthAddresses)
{
    auto store = std::make_unique<ParameterStore>();
    // An address above 4 GiB must survive the slot whole.
    const intptr_t wide = static_cast<intptr_t>(0x12345678ABCDEF0ull & INTPTR_MAX);
    for (int id : {27, 52, 61, 62, 69, 71, 73, 74}) {
        store->set(id, wide + id);
        EXPECT_EQ(store->address(id), wide + id) << "id " << id;
    }
    store->set(Param::SampFrq, 48000);
    EXPECT_EQ(store->address(Param::SampFrq), 48000);
    store->set(Param::Marker1, -1);
    EXPECT_EQ(store->get(Param::Marker1), -1);
}

TEST(ParameterStore, AcquireWithoutLockOrBufferReturnsNone)
{
    auto store = std::make_unique<ParameterStore>();
    EXPECT_EQ(store->acquireLatestDisplayBuffer(), -1);  // no lock published yet
    FrameLock lock;
    store->set(Param::BufferLock, reinterpret_cast<intptr_t>(&lock));
    EXPECT_EQ(store->acquireLatestDisplayBuffer(), -1);  // nothing published yet
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store->displayBuffers()[i].inUse.load(), 0);
}

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<ParameterStore>();
        working = std::make_unique<DisplayBuffer>();
        store->set(Param::BufferLock, reinterpret_cast<intptr_t>(&lock));
    }
    void fill(float value, int n)
    {
        for (int h = 0; h < 2; ++h) {
            for (int i = 0; i < n; ++i)
                working->set[h].samples[i] = value;
            for (int i = 0; i < n / 2; ++i)
                working->set[h].spectrum[i] = value;
        }
    }
    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<DisplayBuffer> working;
    FrameLock lock;
};

TEST_F(HandoverTest, PublishCopiesValidPartNamesBufferAndAnnounces)
{
    Recorder r;
    store->addObserver(&r);
    fill(7.0f, 1024);
    working->set[0].samples[1024] = 99.0f;  // beyond N: not copied
    working->set[0].spectrum[512] = 99.0f;  // bin N/2: not copied to a display buffer
    int next = publishDisplayBuffer(*store, lock, *working, 0, 1024);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(store->get(Param::LatestBuffer), 0);
    const DisplayBuffer& b = store->displayBuffers()[0];
    EXPECT_EQ(b.set[1].samples[1023], 7.0f);
    EXPECT_EQ(b.set[1].spectrum[511], 7.0f);
    EXPECT_EQ(b.set[0].samples[1024], 0.0f);
    EXPECT_EQ(b.set[0].spectrum[512], 0.0f);
    EXPECT_EQ(r.ids, (std::vector<int>{Param::LatestBuffer, Param::NewDisplayData}));

    EXPECT_EQ(store->acquireLatestDisplayBuffer(), 0);
    EXPECT_EQ(store->displayBuffers()[0].inUse.load(), 1);
    store->releaseDisplayBuffers();
    EXPECT_EQ(store->displayBuffers()[0].inUse.load(), 0);
}

TEST_F(HandoverTest, WriterPassesOverTheBufferAReaderHolds)
{
    fill(1.0f, 1024);
    int next = publishDisplayBuffer(*store, lock, *working, 0, 1024);  // writes 0, next 1
    ASSERT_EQ(store->acquireLatestDisplayBuffer(), 0);                // reader holds 0
    next = publishDisplayBuffer(*store, lock, *working, next, 1024);    // writes 1, next 2
    EXPECT_EQ(next, 2);
    fill(2.0f, 1024);
    next = publishDisplayBuffer(*store, lock, *working, next, 1024);    // writes 2; 0 held: next 1
    EXPECT_EQ(next, 1);
    EXPECT_EQ(store->displayBuffers()[0].set[0].samples[0], 1.0f);  // held buffer untouched
    store->releaseDisplayBuffers();
    next = publishDisplayBuffer(*store, lock, *working, next, 1024);
    EXPECT_EQ(next, 2);
}

// A reader that holds a buffer must never see it change, while a real writer
// thread publishes as fast as it can. Each publication fills the whole buffer
// with one value; a held buffer with mixed values, or one that changes while
// held, is a torn read.
TEST_F(HandoverTest, ConcurrentWriterNeverWritesIntoAHeldBuffer)
{
    const int n = 2048;
    std::atomic<bool> done{false};
    std::atomic<long> published{0};
    std::thread writer([&] {
        int index = 0;
        float value = 1.0f;
        auto local = std::make_unique<DisplayBuffer>();
        while (!done.load()) {
            for (int h = 0; h < 2; ++h) {
                std::fill(local->set[h].samples, local->set[h].samples + n, value);
                std::fill(local->set[h].spectrum, local->set[h].spectrum + n / 2, value);
            }
            index = publishDisplayBuffer(*store, lock, *local, index, n);
            value += 1.0f;
            published.fetch_add(1);
        }
    });

    long torn = 0;
    while (published.load() < 5) std::this_thread::yield();
    for (int round = 0; round < 1000; ++round) {
        int index = store->acquireLatestDisplayBuffer();
        ASSERT_GE(index, 0);
        const DisplayBuffer& b = store->displayBuffers()[index];
        const float first = b.set[0].samples[0];
        long before = published.load();
        // Hold the buffer while the writer publishes a few more times.
        while (published.load() < before + 3) std::this_thread::yield();
        for (int h = 0; h < 2; ++h) {
            for (int i = 0; i < n; i += 7)
                torn += b.set[h].samples[i] != first;
            for (int i = 0; i < n / 2; i += 7)
                torn += b.set[h].spectrum[i] != first;
        }
        store->releaseDisplayBuffers();
    }
    done.store(true);
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_GT(published.load(), 3000);
}

// The engine's pattern across threads: the writer announces each publication
// (event 100) to an observer on its own thread, and the reader thread, on that
// word, takes the newest buffer. It gets one publication whole, never one
// older than the announcement. Run under ThreadSanitizer as well.
TEST_F(HandoverTest, AReaderThreadGetsTheAnnouncedBufferWhole)
{
    const int n = 1024, rounds = 200;
    struct Announcements : ParameterObserver {
        std::atomic<int> count{0};
        void parameterChanged(int id) override
        {
            if (id == Param::NewDisplayData)
                count.fetch_add(1);
        }
    } announced;
    store->addObserver(&announced);
    std::thread writer([&] {
        auto local = std::make_unique<DisplayBuffer>();
        for (int r = 1, index = 0; r <= rounds; ++r) {
            for (auto& half : local->set) {
                std::fill(half.samples, half.samples + n, float(r));
                std::fill(half.spectrum, half.spectrum + n / 2, float(r));
            }
            index = publishDisplayBuffer(*store, lock, *local, index, n);
        }
    });
    int seen = 0, torn = 0, stale = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (seen < rounds && std::chrono::steady_clock::now() < limit) {
        const int announcedNow = announced.count.load();
        if (announcedNow == seen) {
            std::this_thread::yield();
            continue;
        }
        seen = announcedNow;
        const int index = store->acquireLatestDisplayBuffer();
        if (index < 0) {
            ADD_FAILURE() << "nothing to acquire after announcement " << seen;
            break;
        }
        const DisplayBuffer& b = store->displayBuffers()[index];
        const float value = b.set[0].samples[0];
        stale += value < float(seen);
        for (const auto& half : b.set) {
            torn += std::count(half.samples, half.samples + n, value) != n;
            torn += std::count(half.spectrum, half.spectrum + n / 2, value) != n / 2;
        }
        store->releaseDisplayBuffers();
    }
    writer.join();
    store->removeObserver(&announced);
    EXPECT_EQ(seen, rounds);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(stale, 0);
}

}  // namespace
