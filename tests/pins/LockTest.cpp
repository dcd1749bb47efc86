#include "pins/VokObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Every wait in these tests is bounded: "blocked" means not done after kBlocked, "proceeds"
// means done within kWatchdog (generous, for sanitizer builds on a loaded machine).
constexpr auto kBlocked = 100ms;
constexpr auto kWatchdog = 20s;

template <class T> bool Finishes(std::future<T>& f) {
    return f.wait_for(kWatchdog) == std::future_status::ready;
}
template <class T> bool Blocks(std::future<T>& f) {
    return f.wait_for(kBlocked) == std::future_status::timeout;
}

// A helper thread that takes a lock, reports it, and gives it back when told.
class THolder {
  public:
    THolder(std::function<void()> begin, std::function<void()> end) {
        m_takenFuture = m_taken.get_future();
        std::shared_future<void> release = m_release.get_future().share();
        m_thread = std::thread([this, begin, end, release] {
            begin();
            m_taken.set_value();
            release.wait();
            end();
        });
    }
    ~THolder() {
        Release();
        m_thread.join();
    }
    std::future<void>& Taken() { return m_takenFuture; }
    void Release() {
        if (!m_released) {
            m_released = true;
            m_release.set_value();
        }
    }

  private:
    std::promise<void> m_taken;
    std::promise<void> m_release;
    std::future<void> m_takenFuture;
    bool m_released = false;
    std::thread m_thread;
};

class SynchronizerTest : public ::testing::Test {
  protected:
    TVokMultiReadExclusiveWriteSynchronizer m_sync;
};

TEST_F(SynchronizerTest, ReaderUpgradesAloneAndWaitsForAnotherReader) {
    m_sync.BeginRead();
    m_sync.BeginWrite(); // alone: no wait
    EXPECT_TRUE(m_sync.IsWriter());
    m_sync.EndWrite();
    EXPECT_FALSE(m_sync.IsWriter());
    EXPECT_EQ(m_sync.ReadDepth(), 1u);
    m_sync.EndRead();

    THolder other([this] { m_sync.BeginRead(); }, [this] { m_sync.EndRead(); });
    ASSERT_TRUE(Finishes(other.Taken()));
    auto upgrade = std::async(std::launch::async, [this] {
        m_sync.BeginRead();
        m_sync.BeginWrite();
        m_sync.EndWrite();
        m_sync.EndRead();
    });
    EXPECT_TRUE(Blocks(upgrade));
    other.Release();
    EXPECT_TRUE(Finishes(upgrade));
}

TEST_F(SynchronizerTest, WaitingWriterBlocksFirstReadsButNotReentrantOnes) {
    THolder first([this] { m_sync.BeginRead(); }, [this] { m_sync.EndRead(); });
    std::promise<void> secondReads;
    std::promise<void> writerWaits;
    std::promise<void> reentrantDone;
    std::promise<void> letSecondGo;
    std::thread second([&] {
        m_sync.BeginRead();
        secondReads.set_value();
        writerWaits.get_future().wait();
        m_sync.BeginRead(); // re-entrant while the writer waits: must not block
        m_sync.EndRead();
        reentrantDone.set_value();
        letSecondGo.get_future().wait();
        m_sync.EndRead();
    });
    ASSERT_TRUE(Finishes(first.Taken()));
    auto secondReadsFuture = secondReads.get_future();
    ASSERT_TRUE(Finishes(secondReadsFuture));

    auto writer = std::async(std::launch::async, [this] {
        m_sync.BeginWrite();
        m_sync.EndWrite();
    });
    EXPECT_TRUE(Blocks(writer));
    auto newReader = std::async(std::launch::async, [this] {
        m_sync.BeginRead();
        m_sync.EndRead();
    });
    EXPECT_TRUE(Blocks(newReader));
    writerWaits.set_value();

    auto reentrant = reentrantDone.get_future();
    EXPECT_TRUE(Finishes(reentrant));
    EXPECT_TRUE(Blocks(writer));
    first.Release();
    letSecondGo.set_value();
    EXPECT_TRUE(Finishes(writer));
    EXPECT_TRUE(Finishes(newReader));
    second.join();
}

TEST_F(SynchronizerTest, WriterReadsFreelyAndExcludesOthers) {
    m_sync.BeginWrite();
    m_sync.BeginWrite();
    for (int i = 0; i < 5; ++i) {
        m_sync.BeginRead();
    }
    for (int i = 0; i < 5; ++i) {
        m_sync.EndRead();
    }
    auto reader = std::async(std::launch::async, [this] {
        m_sync.BeginRead();
        m_sync.EndRead();
    });
    EXPECT_TRUE(Blocks(reader));
    m_sync.EndWrite();
    EXPECT_TRUE(Blocks(reader)); // still held once
    m_sync.EndWrite();
    EXPECT_TRUE(Finishes(reader));
}

TEST_F(SynchronizerTest, ReadsTakenWhileWritingOutliveTheWrite) {
    // Read inside the write, end the write first: the thread stays a reader and a writer on
    // another thread must wait for its EndRead.
    m_sync.BeginWrite();
    m_sync.BeginRead();
    m_sync.EndWrite();
    auto writer = std::async(std::launch::async, [this] {
        m_sync.BeginWrite();
        m_sync.EndWrite();
    });
    EXPECT_TRUE(Blocks(writer));
    m_sync.EndRead();
    EXPECT_TRUE(Finishes(writer));
    // Read, upgrade, end the read first: after EndWrite the thread holds nothing.
    m_sync.BeginRead();
    m_sync.BeginWrite();
    m_sync.EndRead();
    m_sync.EndWrite();
    EXPECT_EQ(m_sync.ReadDepth(), 0u);
    auto writer2 = std::async(std::launch::async, [this] {
        m_sync.BeginWrite();
        m_sync.EndWrite();
    });
    EXPECT_TRUE(Finishes(writer2));
}

TEST_F(SynchronizerTest, UnpairedEndsThrow) {
    EXPECT_THROW(m_sync.EndWrite(), std::logic_error);
    EXPECT_THROW(m_sync.EndRead(), std::logic_error);
    m_sync.BeginRead();
    EXPECT_THROW(m_sync.EndWrite(), std::logic_error);
    m_sync.EndRead();
    THolder writer([this] { m_sync.BeginWrite(); }, [this] { m_sync.EndWrite(); });
    ASSERT_TRUE(Finishes(writer.Taken()));
    EXPECT_THROW(m_sync.EndWrite(), std::logic_error); // foreign thread's write lock
}

// ---- groups ----------------------------------------------------------------------------------

class GroupTest : public ::testing::Test {
  protected:
    void SetUp() override { m_liveAtStart = TVokLockObject::LiveCount(); }
    void TearDown() override {
        m_objects.clear();
        EXPECT_EQ(TVokLockObject::LiveCount(), m_liveAtStart);
    }
    TVokObject* Make() { return m_objects.emplace_back(std::make_unique<TVokObject>()).get(); }

    // Whether another thread can write-lock `object` right now; if it blocks, waits until the
    // caller's `release` lets it through.
    static std::future<void> LockElsewhere(TVokObject* object) {
        return std::async(std::launch::async, [object] { TVokWriteLockSection section(*object); });
    }

    int64_t m_liveAtStart = 0;
    std::vector<std::unique_ptr<TVokObject>> m_objects;
};

TEST_F(GroupTest, LinkMergesAndUnlinkSplitsGroups) {
    TVokObject* a = Make();
    TVokObject* b = Make();
    EXPECT_NE(a->GetLockObject(), b->GetLockObject());
    ASSERT_TRUE(TVokObject::LinkObjects(a, b));
    EXPECT_FALSE(TVokObject::LinkObjects(a, b)); // already linked
    EXPECT_FALSE(TVokObject::LinkObjects(a, nullptr));
    EXPECT_EQ(a->GetLockObject(), b->GetLockObject());
    {
        TVokWriteLockSection held(*a);
        auto other = LockElsewhere(b);
        EXPECT_TRUE(Blocks(other));
        held.Release();
        EXPECT_TRUE(Finishes(other));
    }
    ASSERT_TRUE(TVokObject::UnlinkObjects(a, b));
    EXPECT_FALSE(TVokObject::UnlinkObjects(a, b));
    EXPECT_NE(a->GetLockObject(), b->GetLockObject());
    TVokWriteLockSection held(*a);
    auto other = LockElsewhere(b);
    EXPECT_TRUE(Finishes(other));
}

TEST_F(GroupTest, HoldsSurviveRegroup) {
    TVokObject* a = Make();
    TVokObject* b = Make();
    TVokObject* c = Make();
    TVokWriteLockSection held(*a);
    {
        TVokReadLockSection nested(*a); // a read hold moves along too
        ASSERT_TRUE(TVokObject::LinkObjects(a, b));
    }
    auto other = LockElsewhere(b);
    EXPECT_TRUE(Blocks(other)); // the merged lock is still held through a
    held.Release();             // one EndWrite releases it
    EXPECT_TRUE(Finishes(other));

    // And through a split: hold b, unlink, a is free and b still held.
    TVokWriteLockSection heldB(*b);
    ASSERT_TRUE(TVokObject::LinkObjects(b, c));
    ASSERT_TRUE(TVokObject::UnlinkObjects(a, b));
    auto onA = LockElsewhere(a);
    auto onC = LockElsewhere(c);
    EXPECT_TRUE(Finishes(onA));
    EXPECT_TRUE(Blocks(onC));
    heldB.Release();
    EXPECT_TRUE(Finishes(onC));
}

TEST_F(GroupTest, ClosureThroughChainsAndSplitInTheMiddle) {
    TVokObject* a = Make();
    TVokObject* b = Make();
    TVokObject* c = Make();
    TVokObject* d = Make();
    TVokObject::LinkObjects(a, b);
    TVokObject::LinkObjects(c, b); // b is joined from two sides
    TVokObject::LinkObjects(c, d);
    EXPECT_EQ(a->GetLockObject(), d->GetLockObject());
    TVokObject::UnlinkObjects(a, b); // a leaves; b-c-d stay together
    EXPECT_NE(a->GetLockObject(), b->GetLockObject());
    EXPECT_EQ(b->GetLockObject(), d->GetLockObject());
    TVokObject::UnlinkObjects(c, d);
    EXPECT_EQ(b->GetLockObject(), c->GetLockObject());
    EXPECT_NE(c->GetLockObject(), d->GetLockObject());
    {
        TVokWriteLockSection held(*d);
        auto onB = LockElsewhere(b);
        EXPECT_TRUE(Finishes(onB));
    }
}

TEST_F(GroupTest, DestroyingAnObjectUnlinksIt) {
    TVokObject* a = Make();
    auto middle = std::make_unique<TVokObject>();
    TVokObject* c = Make();
    TVokObject::LinkObjects(a, middle.get());
    TVokObject::LinkObjects(middle.get(), c);
    EXPECT_EQ(a->GetLockObject(), c->GetLockObject());
    middle.reset();
    EXPECT_TRUE(a->LinkedObjects().empty());
    EXPECT_TRUE(c->BackLinks().empty());
    EXPECT_NE(a->GetLockObject(), c->GetLockObject());
}

TEST_F(GroupTest, SectionsReturnedByValueHoldTheirLocks) {
    TVokObject* a = Make();
    TVokLockSection section = a->WriteSection();
    EXPECT_TRUE(section.Holds());
    TVokLockSection moved = std::move(section);
    EXPECT_FALSE(section.Holds());
    auto other = LockElsewhere(a);
    EXPECT_TRUE(Blocks(other));
    // A structural change waits for the section's global read.
    auto writer = std::async(std::launch::async, [] { TVokGlobalWriteLockSection global; });
    EXPECT_TRUE(Blocks(writer));
    moved = TVokLockSection();
    EXPECT_TRUE(Finishes(other));
    EXPECT_TRUE(Finishes(writer));

    TRef<TVokLockObject> lock = a->GetLockObject();
    TVokLockSection stream = lock->WriteSection();
    auto viaObject = LockElsewhere(a);
    EXPECT_TRUE(Blocks(viaObject));
    stream.Release();
    EXPECT_TRUE(Finishes(viaObject));
}

// Several threads read, write and upgrade on the global lock and on objects that other threads
// link and unlink. Each counter is changed only under the lock that protects it; a torn update
// shows up as a wrong total (and as a race under ThreadSanitizer).
TEST_F(GroupTest, Stress) {
    constexpr int kObjects = 6;
    std::vector<TVokObject*> objects;
    for (int i = 0; i < kObjects; ++i) {
        objects.push_back(Make());
    }
    int64_t globalCounter = 0;                       // under the global write lock
    std::vector<int64_t> objectCounter(kObjects, 0); // under the object's group lock
    std::atomic<int64_t> globalWrites{0};
    std::atomic<int64_t> objectWrites{0};
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

    auto worker = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (!stop.load(std::memory_order_relaxed)) {
            const int pick = static_cast<int>(rng() % kObjects);
            TVokObject* object = objects[static_cast<size_t>(pick)];
            switch (rng() % 6) {
            case 0: { // write, with reads nested inside
                TVokGlobalWriteLockSection global;
                TVokGlobalReadLockSection nested;
                ++globalCounter;
                globalWrites.fetch_add(1, std::memory_order_relaxed);
                break;
            }
            case 1: { // upgrade
                TVokGlobalReadLockSection read;
                const int64_t seen = globalCounter;
                TVokGlobalWriteLockSection write;
                if (globalCounter < seen) {
                    failures.fetch_add(1);
                }
                ++globalCounter;
                globalWrites.fetch_add(1, std::memory_order_relaxed);
                break;
            }
            case 2: { // re-entrant reads see a stable value
                TVokGlobalReadLockSection read;
                const int64_t seen = globalCounter;
                TVokGlobalReadLockSection again;
                std::this_thread::yield();
                if (globalCounter != seen) {
                    failures.fetch_add(1);
                }
                break;
            }
            case 3: { // group write, nested group read
                TVokWriteLockSection write(*object);
                TVokReadLockSection read(*object);
                ++objectCounter[static_cast<size_t>(pick)];
                objectWrites.fetch_add(1, std::memory_order_relaxed);
                break;
            }
            case 4: {
                TVokObject::LinkObjects(object, objects[rng() % kObjects]);
                break;
            }
            default: {
                TVokObject::UnlinkObjects(object, objects[rng() % kObjects]);
                break;
            }
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < 4; ++i) {
        threads.emplace_back(worker, 1000 + i);
    }
    std::this_thread::sleep_for(1500ms);
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(globalCounter, globalWrites.load());
    int64_t objectTotal = 0;
    for (int64_t count : objectCounter) {
        objectTotal += count;
    }
    EXPECT_EQ(objectTotal, objectWrites.load());
    for (TVokObject* object : objects) { // linked state is consistent both ways
        for (TVokObject* linked : object->LinkedObjects()) {
            EXPECT_NE(std::find(linked->BackLinks().begin(), linked->BackLinks().end(), object),
                      linked->BackLinks().end());
            EXPECT_EQ(linked->GetLockObject(), object->GetLockObject());
        }
    }
}

} // namespace
