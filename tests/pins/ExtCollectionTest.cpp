#include "pins/VokExtCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- small test classes

/// Everything the collections and observers below report, in order.
std::vector<std::string>* g_log = nullptr;

void Log(const std::string& entry) {
    if (g_log != nullptr) {
        g_log->push_back(entry);
    }
}

/// An item with one integer and one string published property, plus a read-only one that
/// `Assign` must leave alone.
class TTestItem : public TVokExtCollectionItem {
  public:
    explicit TTestItem(TVokExtCollection* collection) : TVokExtCollectionItem(collection) {}
    ~TTestItem() override { Log("destroyed " + m_caption); }

    static const TVokClassInfo& ClassInfo() {
        using T = TTestItem;
        static const TVokClassInfo info(
            "TTestItem", &TVokExtCollectionItem::ClassInfo(), nullptr,
            {TVokProp::Integer("Level", &T::GetLevel, &T::SetLevel, 0),
             TVokProp::String("Caption", &T::m_caption, &T::m_caption, ""),
             TVokProp::Integer("Serial", &T::m_serial, nullptr, 0)});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    std::string GetDisplayName() const override { return m_caption; }

    int GetLevel() const { return m_level; }
    void SetLevel(int level) {
        m_level = level;
        Changed(false);
    }

    std::string m_caption;
    int m_serial = 0;

  private:
    int m_level = 0;
};

/// A different item class, for the class checks of `Assign`.
class TOtherItem : public TVokExtCollectionItem {
  public:
    using TVokExtCollectionItem::TVokExtCollectionItem;
    static const TVokClassInfo& ClassInfo() {
        static const TVokClassInfo info("TOtherItem", &TVokExtCollectionItem::ClassInfo(), nullptr,
                                        {});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// Whose constructor fails after the base has joined the collection.
class TFailingItem : public TVokExtCollectionItem {
  public:
    explicit TFailingItem(TVokExtCollection* collection) : TVokExtCollectionItem(collection) {
        throw std::runtime_error("no item today");
    }
    static const TVokClassInfo& ClassInfo() {
        static const TVokClassInfo info("TFailingItem", &TVokExtCollectionItem::ClassInfo(),
                                        nullptr, {});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
};

/// Logs its hooks; `ItemAdded` sees the item complete and can be made to fail.
class TTestCollection : public TVokExtCollection {
  public:
    explicit TTestCollection(
        TVokCollectionItemClass itemClass = TVokCollectionItemClass::Of<TTestItem>())
        : TVokExtCollection(nullptr, std::move(itemClass)) {}
    ~TTestCollection() override { DestroyItems(); }

    bool m_failItemAdded = false;

  protected:
    void ItemAdded(TVokExtCollectionItem* item) override {
        auto* testItem = dynamic_cast<TTestItem*>(item);
        Log("ItemAdded " + std::to_string(item->GetID()) + " at " +
            std::to_string(item->GetIndex()) + (testItem != nullptr ? " complete" : ""));
        if (m_failItemAdded) {
            throw std::runtime_error("refused");
        }
    }
    void Update(TVokExtCollectionItem* item) override {
        Log(item == nullptr ? "Update all" : "Update " + std::to_string(item->GetID()));
    }
};

class TTestObserver : public IVokCollectionObserver {
  public:
    TTestObserver(std::string name, TVokExtCollection& collection)
        : m_name(std::move(name)), m_collection(collection) {}

    void ItemAdded(TVokExtCollectionItem* item) override { Report("added", item); }
    void ItemRemoving(TVokExtCollectionItem* item) override { Report("removing", item); }

    bool m_throws = false;
    std::function<void()> m_onNotify;

  private:
    void Report(const std::string& what, TVokExtCollectionItem* item) {
        Log(m_name + " " + what + " " + std::to_string(item->GetID()) + " at " +
            std::to_string(m_collection.IndexOf(item)) + " marker " +
            std::to_string(m_collection.GetChangeMarker()));
        if (m_onNotify) {
            m_onNotify();
        }
        if (m_throws) {
            throw std::runtime_error("observer failed");
        }
    }

    std::string m_name;
    TVokExtCollection& m_collection;
};

class ExtCollectionTest : public ::testing::Test {
  protected:
    void SetUp() override { g_log = &m_log; }
    void TearDown() override { g_log = nullptr; }

    /// Adds `count` items captioned "A", "B", … and forgets what that logged.
    void Fill(int count) {
        for (int index = 0; index < count; ++index) {
            static_cast<TTestItem*>(m_collection.Add())->m_caption = std::string(1, 'A' + index);
        }
        m_log.clear();
    }
    std::string Captions() const {
        std::string result;
        for (int index = 0; index < m_collection.GetCount(); ++index) {
            result += static_cast<TTestItem*>(m_collection.GetItem(index))->m_caption;
        }
        return result;
    }

    std::vector<std::string> m_log;
    TTestCollection m_collection;
    TTestObserver m_first{"first", m_collection};
    TTestObserver m_second{"second", m_collection};
};

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

using TLog = std::vector<std::string>;

// ---------------------------------------------------------------- notification order

TEST_F(ExtCollectionTest, AddAndInsertAnnounceTheCompleteItemInPlaceThenUpdate) {
    Fill(2);
    m_collection.AddObserver(&m_first);
    m_collection.AddObserver(&m_second);
    m_collection.AddObserver(&m_first); // again: still told once
    m_collection.SetChangeMarker(0);

    TVokExtCollectionItem* item = m_collection.Insert(1);
    EXPECT_EQ(m_log, (TLog{"ItemAdded 2 at 1 complete", "first added 2 at 1 marker -1",
                           "second added 2 at 1 marker -1", "Update all"}));
    EXPECT_EQ(m_collection.GetItem(1), item);
    EXPECT_EQ(m_collection.GetChangeMarker(), -1);

    m_log.clear();
    m_collection.Add();
    EXPECT_EQ(m_log, (TLog{"ItemAdded 3 at 3 complete", "first added 3 at 3 marker -1",
                           "second added 3 at 3 marker -1", "Update all"}));
}

TEST_F(ExtCollectionTest, ExtractTellsObserversWhileInPlaceAndKeepsTheItemAlive) {
    Fill(3);
    m_collection.AddObserver(&m_first);
    TVokExtCollectionItem* middle = m_collection.GetItem(1);

    std::unique_ptr<TVokExtCollectionItem> extracted(m_collection.Extract(middle));
    EXPECT_EQ(m_log, (TLog{"first removing 1 at 1 marker -1", "Update all"}));
    EXPECT_EQ(Captions(), "AC");
    EXPECT_EQ(extracted->GetCollection(), nullptr);
    EXPECT_EQ(extracted->GetIndex(), -1);
    EXPECT_EQ(static_cast<TTestItem*>(extracted.get())->m_caption, "B");

    // Destroying it later no longer touches the collection.
    m_log.clear();
    extracted.reset();
    EXPECT_EQ(m_log, (TLog{"destroyed B"}));
    EXPECT_EQ(m_collection.GetCount(), 2);

    EXPECT_EQ(ErrorOf([&] { m_collection.Extract(nullptr); }),
              "Cannot extract an item that is not in this collection of TTestItem items");
}

TEST_F(ExtCollectionTest, DeleteTellsObserversThenFreesTheItem) {
    Fill(3);
    m_collection.AddObserver(&m_first);
    m_collection.Delete(0);
    EXPECT_EQ(m_log, (TLog{"first removing 0 at 0 marker -1", "destroyed A", "Update all"}));
    EXPECT_EQ(Captions(), "BC");
}

TEST_F(ExtCollectionTest, DestroyingAnItemRemovesItFromItsCollection) {
    Fill(3);
    m_collection.AddObserver(&m_first);
    m_collection.SetChangeMarker(0);
    delete m_collection.GetItem(1);
    EXPECT_EQ(m_log, (TLog{"destroyed B", "first removing 1 at 1 marker -1", "Update all"}));
    EXPECT_EQ(Captions(), "AC");
    EXPECT_EQ(m_collection.GetChangeMarker(), -1);
}

TEST_F(ExtCollectionTest, ThrowingObserversDoNotBreakTheChange) {
    m_collection.AddObserver(&m_first);
    m_collection.AddObserver(&m_second);
    m_first.m_throws = true;

    EXPECT_NO_THROW(m_collection.Add());
    EXPECT_EQ(m_collection.GetCount(), 1);
    EXPECT_NO_THROW(m_collection.Delete(0));
    EXPECT_EQ(m_collection.GetCount(), 0);
    EXPECT_EQ(m_log, (TLog{"ItemAdded 0 at 0 complete", "first added 0 at 0 marker -1",
                           "second added 0 at 0 marker -1", "Update all",
                           "first removing 0 at 0 marker -1", "second removing 0 at 0 marker -1",
                           "destroyed ", "Update all"}));
}

TEST_F(ExtCollectionTest, AnObserverMayUnregisterAnotherDuringANotification) {
    m_collection.AddObserver(&m_first);
    m_collection.AddObserver(&m_second);
    m_first.m_onNotify = [this] { m_collection.RemoveObserver(&m_second); };
    m_collection.Add();
    EXPECT_EQ(m_log,
              (TLog{"ItemAdded 0 at 0 complete", "first added 0 at 0 marker -1", "Update all"}));
}

TEST_F(ExtCollectionTest, FailingItemAddedOrConstructorLeavesNothingBehind) {
    m_collection.AddObserver(&m_first);
    m_collection.m_failItemAdded = true;
    EXPECT_EQ(ErrorOf([&] { m_collection.Add(); }), "refused");
    EXPECT_EQ(m_collection.GetCount(), 0);
    EXPECT_EQ(m_log, (TLog{"ItemAdded 0 at 0 complete", "destroyed "}));

    m_log.clear();
    TTestCollection failing(TVokCollectionItemClass::Of<TFailingItem>());
    failing.AddObserver(&m_first);
    EXPECT_EQ(ErrorOf([&] { failing.Add(); }), "no item today");
    EXPECT_EQ(failing.GetCount(), 0);
    // The half-built item was never announced, so observers hear nothing of it.
    EXPECT_EQ(m_log, (TLog{"Update all"}));
}

TEST_F(ExtCollectionTest, ItemChangesReportTheItemAndBatchesUpdateOnce) {
    Fill(2);
    auto* item = static_cast<TTestItem*>(m_collection.GetItem(1));
    m_collection.SetChangeMarker(0);
    item->SetLevel(5);
    EXPECT_EQ(m_log, (TLog{"Update 1"}));
    EXPECT_EQ(m_collection.GetChangeMarker(), -1);

    m_log.clear();
    m_collection.BeginUpdate();
    m_collection.BeginUpdate();
    m_collection.Add();
    item->SetLevel(6);
    m_collection.Delete(0);
    m_collection.EndUpdate();
    EXPECT_EQ(m_collection.GetUpdateCount(), 1);
    m_collection.EndUpdate();
    EXPECT_EQ(m_log, (TLog{"ItemAdded 2 at 2 complete", "destroyed A", "Update all"}));

    EXPECT_EQ(ErrorOf([&] { m_collection.EndUpdate(); }),
              "EndUpdate without BeginUpdate on a collection of TTestItem items");
}

TEST_F(ExtCollectionTest, ClearFreesNewestFirstInOneUpdate) {
    Fill(3);
    m_collection.Clear();
    EXPECT_EQ(m_log, (TLog{"destroyed C", "destroyed B", "destroyed A", "Update all"}));
    m_log.clear();
    m_collection.Clear();
    EXPECT_TRUE(m_log.empty());
}

TEST_F(ExtCollectionTest, DestroyingTheCollectionFreesItemsNewestFirstWithoutCallbacks) {
    {
        TTestCollection doomed;
        doomed.Add();
        static_cast<TTestItem*>(doomed.Add())->m_caption = "2";
        static_cast<TTestItem*>(doomed.GetItem(0))->m_caption = "1";
        doomed.AddObserver(&m_first);
        m_log.clear();
    }
    EXPECT_EQ(m_log, (TLog{"destroyed 2", "destroyed 1"}));
}

// ---------------------------------------------------------------- places and IDs

struct TMoveCase {
    int from;
    int to;
    const char* order;
};

class ExtCollectionMoveTest : public ExtCollectionTest,
                              public ::testing::WithParamInterface<TMoveCase> {};

TEST_P(ExtCollectionMoveTest, SetIndexMovesAndShiftsTheOthers) {
    Fill(4);
    TVokExtCollectionItem* item = m_collection.GetItem(GetParam().from);
    item->SetIndex(GetParam().to);
    EXPECT_EQ(Captions(), GetParam().order);
    EXPECT_EQ(item->GetIndex(), GetParam().to);
    for (int index = 0; index < m_collection.GetCount(); ++index) {
        EXPECT_EQ(m_collection.GetItem(index)->GetIndex(), index);
    }
    EXPECT_EQ(m_log, GetParam().from == GetParam().to ? TLog{} : TLog{"Update all"});
}

INSTANTIATE_TEST_SUITE_P(ExtCollectionMoves, ExtCollectionMoveTest,
                         ::testing::Values(TMoveCase{0, 3, "BCDA"}, TMoveCase{3, 0, "DABC"},
                                           TMoveCase{1, 2, "ACBD"}, TMoveCase{2, 1, "ACBD"},
                                           TMoveCase{2, 2, "ABCD"}));

TEST_F(ExtCollectionTest, IdsAreUniqueAndNeverGivenTwice) {
    Fill(3);
    m_collection.Delete(2);
    m_collection.Delete(0);
    EXPECT_EQ(m_collection.Add()->GetID(), 3);
    EXPECT_EQ(m_collection.Insert(0)->GetID(), 4);
    EXPECT_EQ(m_collection.FindItemID(1), m_collection.GetItem(1));
    EXPECT_EQ(m_collection.FindItemID(0), nullptr);
    EXPECT_EQ(m_collection.IndexOf(nullptr), -1);

    // An item moved to another collection gets that collection's next ID.
    TTestCollection other;
    other.Add();
    TVokExtCollectionItem* moved = m_collection.GetItem(0);
    m_log.clear();
    moved->SetCollection(&other);
    EXPECT_EQ(moved->GetID(), 1);
    EXPECT_EQ(moved->GetIndex(), 1);
    EXPECT_EQ(m_collection.GetCount(), 2);
    EXPECT_EQ(m_log, (TLog{"Update all", "ItemAdded 1 at 1 complete", "Update all"}));
}

struct TRangeCase {
    const char* operation;
    std::function<void(TVokExtCollection&)> action;
    const char* message;
};

class ExtCollectionRangeTest : public ExtCollectionTest,
                               public ::testing::WithParamInterface<TRangeCase> {};

TEST_P(ExtCollectionRangeTest, BadIndexThrowsNamingIndexAndCountAndChangesNothing) {
    Fill(3);
    m_collection.SetChangeMarker(0);
    try {
        GetParam().action(m_collection);
        FAIL() << "no error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), GetParam().message);
    }
    EXPECT_EQ(Captions(), "ABC");
    EXPECT_EQ(m_collection.GetChangeMarker(), 0);
    EXPECT_TRUE(m_log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ExtCollectionOperations, ExtCollectionRangeTest,
    ::testing::Values(
        TRangeCase{"GetItemNegative", [](auto& c) { c.GetItem(-1); },
                   "Index out of range = -1 (count 3)"},
        TRangeCase{"GetItemPastEnd", [](auto& c) { c.GetItem(3); },
                   "Index out of range = 3 (count 3)"},
        TRangeCase{"Delete", [](auto& c) { c.Delete(3); }, "Index out of range = 3 (count 3)"},
        TRangeCase{"Insert", [](auto& c) { c.Insert(4); }, "Index out of range = 4 (count 3)"},
        TRangeCase{"SetIndex", [](auto& c) { c.GetItem(0)->SetIndex(3); },
                   "Index out of range = 3 (count 3)"}),
    [](const auto& info) { return std::string(info.param.operation); });

// ---------------------------------------------------------------- assigning

TEST_F(ExtCollectionTest, AssignReplacesItemsAndCopiesWritablePublishedProperties) {
    TTestCollection source;
    auto* first = static_cast<TTestItem*>(source.Add());
    first->SetLevel(7);
    first->m_caption = "seven";
    first->m_serial = 99;
    static_cast<TTestItem*>(source.Add())->m_caption = "empty";
    Fill(3);

    m_collection.Assign(&source);
    ASSERT_EQ(m_collection.GetCount(), 2);
    auto* copy = static_cast<TTestItem*>(m_collection.GetItem(0));
    EXPECT_EQ(copy->GetLevel(), 7);
    EXPECT_EQ(copy->GetDisplayName(), "seven");
    EXPECT_EQ(copy->m_serial, 0); // read-only: not copied
    EXPECT_EQ(m_collection.GetItem(1)->GetDisplayName(), "empty");
    EXPECT_NE(m_collection.GetItem(0), first);
    // One update for the whole assignment, after the old items went and the new ones came.
    EXPECT_EQ(std::count(m_log.begin(), m_log.end(), "Update all"), 1);
    EXPECT_EQ(m_log.back(), "Update all");
}

TEST_F(ExtCollectionTest, AssignRefusesOtherItemClassesAndLeavesTheTargetAlone) {
    Fill(2);
    TTestCollection others(TVokCollectionItemClass::Of<TOtherItem>());
    others.Add();
    EXPECT_EQ(ErrorOf([&] { m_collection.Assign(&others); }),
              "Cannot assign a collection of TOtherItem items to a collection of TTestItem items");
    EXPECT_EQ(Captions(), "AB");

    EXPECT_EQ(ErrorOf([&] { m_collection.GetItem(0)->Assign(others.GetItem(0)); }),
              "Cannot assign a TOtherItem to a TTestItem");
    // An item of the base class shares no properties but is accepted.
    TVokExtCollectionItem plain(nullptr);
    EXPECT_NO_THROW(m_collection.GetItem(0)->Assign(&plain));
    EXPECT_EQ(plain.GetDisplayName(), "TVokExtCollectionItem");
}

} // namespace
