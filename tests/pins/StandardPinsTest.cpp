#include "pins/VokComponent.h"
#include "pins/VokStandardPins.h"
#include "pins/VokStateDispatcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

/// A sink that implements the given receiving types and records what reaches `Receive`.
class TRecordingSink : public TVokSinkPin {
  public:
    struct TDelivery {
        TVokGuid m_type;
        TRef<TVokNotifyOperation> m_operation;
        TVokNotifyFlags m_flags;
    };

    TRecordingSink(TVokComponent* owner, std::vector<TVokGuid> types)
        : TVokSinkPin(owner), m_types(std::move(types)) {
        for (const TVokGuid& type : m_types) {
            AddStreamTypeId(type);
        }
        // Value sources implement no receiving interface, so no upstream type exists.
        SetUpstreamTypeFree(true);
    }
    bool QueryType(const TVokGuid& typeId) const override {
        return std::find(m_types.begin(), m_types.end(), typeId) != m_types.end();
    }
    TVokNotifyResults Receive(const TVokGuid& typeId, TVokNotifyOperation* operation,
                              TVokNotifyFlags flags) override {
        m_deliveries.push_back({typeId, TRef<TVokNotifyOperation>(operation), flags});
        return {};
    }

    std::vector<TDelivery> m_deliveries;

  private:
    std::vector<TVokGuid> m_types;
};

class StandardPinsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_form.SetName("Form1");
        m_pinsBefore = TVokBasicPin::LiveCount();
        m_operationsBefore = TVokNotifyOperation::LiveCount();
    }
    void TearDown() override {
        m_pins.clear();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_pinsBefore);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_operationsBefore);
        EXPECT_EQ(TVokStateDispatcher::LiveCount(), 0);
    }
    template <class T, class... Args> T* Make(Args&&... args) {
        auto pin = MakePin<T>(&m_form, std::forward<Args>(args)...);
        T* raw = pin.get();
        m_pins.emplace_back(std::move(pin));
        return raw;
    }

    TVokForm m_form;
    std::vector<TVokPinPtr<TVokBasicPin>> m_pins;
    int64_t m_pinsBefore = 0;
    int64_t m_operationsBefore = 0;
};

TEST_F(StandardPinsTest, ClockSinkTicksOncePerClockOperationAndNeverOnLinkOrStart) {
    int ticks = 0;
    auto* source = Make<TVokClockSourcePin>();
    auto* sink = Make<TVokClockSinkPin>(7, [&](TVokClockSinkPin& pin) {
        EXPECT_EQ(pin.GetTag(), 7);
        ++ticks;
    });
    ASSERT_TRUE(source->Connect(sink));
    EXPECT_EQ(source->GetLinkType(sink), kVokClockType);
    EXPECT_EQ(ticks, 0) << "the link notification must not tick";

    const TRef<TVokNotifyOperation> operations[] = {
        MakeRef<TVokClockOperation>(), MakeRef<TVokSuppliedRealOperation>(1.0),
        MakeRef<TVokStartOperation>(), MakeRef<TVokStopOperation>(),
        MakeRef<TVokSuppliedBoolOperation>(true)};
    for (const auto& operation : operations) {
        source->Notify(operation.Get());
    }
    EXPECT_EQ(ticks, 3) << "clock, supplied real and supplied bool tick; start and stop do not";
}

TEST_F(StandardPinsTest, RealSourceConvertsPerReceiver) {
    auto* source = Make<TVokRealSourcePin>();
    auto* realSink = Make<TRecordingSink>(std::vector{kVokRealType});
    auto* floatSink = Make<TRecordingSink>(std::vector{kVokFloatType});
    source->SetValue(0.5);
    ASSERT_TRUE(source->Connect(realSink));
    ASSERT_TRUE(source->Connect(floatSink));
    EXPECT_EQ(source->GetLinkType(realSink), kVokRealType);
    EXPECT_EQ(source->GetLinkType(floatSink), kVokFloatType);

    // Link notifications carry the current value in the receiver's type. (Linking the second
    // sink, of another type, tells the first one again.)
    ASSERT_FALSE(realSink->m_deliveries.empty());
    const auto* linkedReal =
        OperationAs<TVokSuppliedRealOperation>(realSink->m_deliveries.back().m_operation.Get());
    ASSERT_NE(linkedReal, nullptr);
    EXPECT_EQ(linkedReal->GetValue(), 0.5);
    EXPECT_TRUE(realSink->m_deliveries.back().m_flags.Contains(nfLinkChanged));
    ASSERT_EQ(floatSink->m_deliveries.size(), 1u);
    const auto* linkedSingle =
        OperationAs<TVokSuppliedSingleOperation>(floatSink->m_deliveries[0].m_operation.Get());
    ASSERT_NE(linkedSingle, nullptr);
    EXPECT_EQ(linkedSingle->GetValue(), 0.5f);
    realSink->m_deliveries.clear();
    floatSink->m_deliveries.clear();

    const double value = 1.0 / 3.0;
    source->SetValue(value);
    source->SetValue(value); // equal values send nothing
    ASSERT_EQ(realSink->m_deliveries.size(), 1u);
    ASSERT_EQ(floatSink->m_deliveries.size(), 1u);
    const auto* real =
        OperationAs<TVokSuppliedRealOperation>(realSink->m_deliveries[0].m_operation.Get());
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->GetValue(), value);
    const auto* single =
        OperationAs<TVokSuppliedSingleOperation>(floatSink->m_deliveries[0].m_operation.Get());
    ASSERT_NE(single, nullptr) << "a float-only receiver gets a single, not the real";
    EXPECT_EQ(single->GetValue(), static_cast<float>(value));

    // Other operations pass unchanged to both.
    const TRef<TVokNotifyOperation> start = MakeRef<TVokStartOperation>();
    source->Notify(start.Get());
    EXPECT_EQ(realSink->m_deliveries.back().m_operation.Get(), start.Get());
    EXPECT_EQ(floatSink->m_deliveries.back().m_operation.Get(), start.Get());
}

TEST_F(StandardPinsTest, CustomLinkHandlerReplacesTheConversion) {
    auto* source = Make<TVokRealSourcePin>();
    auto* sink = Make<TRecordingSink>(std::vector{kVokFloatType});
    int calls = 0;
    struct TContext {
        int* m_calls;
    } context{&calls};
    source->SetCustomLinkHandler(
        {[](void* raw, TVokBasicPin*, const TVokGuid&, TVokNotifyFlags, TVokNotifyOperation*) {
             ++*static_cast<TContext*>(raw)->m_calls;
             return TVokNotifyResults{};
         },
         &context});
    ASSERT_TRUE(source->Connect(sink));
    source->SetValue(2.0);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(sink->m_deliveries.empty());
}

TEST_F(StandardPinsTest, BoolStatePinsSynchroniseAndSendOnlyChanges) {
    std::vector<std::pair<int, bool>> changes;
    auto record = [&](TVokBoolStatePin& pin, bool value) {
        changes.emplace_back(pin.GetTag(), value);
    };
    auto* a = Make<TVokBoolStatePin>(1, record);
    auto* b = Make<TVokBoolStatePin>(2, record);
    a->SetValue(true);
    ASSERT_TRUE(a->Connect(b));
    EXPECT_TRUE(a->GetValue());
    EXPECT_TRUE(b->GetValue());
    changes.clear();

    a->SetValue(true);
    EXPECT_TRUE(changes.empty()) << "the current value sends nothing";
    a->SetValue(false);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], std::make_pair(2, false));

    // A third pin joining takes the group's value.
    auto* c = Make<TVokBoolStatePin>(3, record);
    c->SetValue(true);
    ASSERT_TRUE(c->JoinDispatcher(a->GetDispatcher(0)));
    EXPECT_FALSE(a->GetValue());
    EXPECT_FALSE(b->GetValue());
    EXPECT_FALSE(c->GetValue());
    changes.clear();
    b->SetValue(true);
    EXPECT_EQ(changes.size(), 2u) << "one delivery to each other member";
    EXPECT_TRUE(a->GetValue());
    EXPECT_TRUE(c->GetValue());
}

class FloatToIntegerTest : public StandardPinsTest,
                           public ::testing::WithParamInterface<std::pair<float, int32_t>> {};

TEST_P(FloatToIntegerTest, IntegerReceiversGetTheNearestIntegerHalvesToEven) {
    const auto [value, expected] = GetParam();
    auto* state = Make<TVokFloatIntStatePin>(0, nullptr);
    auto* integerSink = Make<TRecordingSink>(std::vector{kVokIntegerType});
    auto* floatSink = Make<TRecordingSink>(std::vector{kVokFloatType});
    ASSERT_TRUE(state->Connect(integerSink));
    ASSERT_TRUE(state->Connect(floatSink));
    integerSink->m_deliveries.clear();
    floatSink->m_deliveries.clear();

    state->SetValue(value);
    ASSERT_EQ(integerSink->m_deliveries.size(), 1u);
    const auto* integer =
        OperationAs<TVokSuppliedIntegerOperation>(integerSink->m_deliveries[0].m_operation.Get());
    ASSERT_NE(integer, nullptr);
    EXPECT_EQ(integer->GetValue(), expected);
    ASSERT_EQ(floatSink->m_deliveries.size(), 1u);
    const auto* single =
        OperationAs<TVokSuppliedSingleOperation>(floatSink->m_deliveries[0].m_operation.Get());
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->GetValue(), value);
}

INSTANTIATE_TEST_SUITE_P(Values, FloatToIntegerTest,
                         ::testing::Values(std::pair{2.5f, 2}, std::pair{3.5f, 4},
                                           std::pair{-2.5f, -2}, std::pair{1.25f, 1},
                                           std::pair{1e10f, std::numeric_limits<int32_t>::max()},
                                           std::pair{-1e10f, std::numeric_limits<int32_t>::min()}));

TEST(VokRoundToIntegerTest, NanGivesZero) {
    EXPECT_EQ(VokRoundToInteger(std::nanf("")), 0);
}

TEST_F(StandardPinsTest, FloatIntStatePinReceivesBothKinds) {
    std::vector<float> seen;
    auto* a =
        Make<TVokFloatIntStatePin>(0, [&](TVokFloatIntStatePin&, float v) { seen.push_back(v); });
    const TRef<TVokNotifyOperation> integer = MakeRef<TVokSuppliedIntegerOperation>(7);
    const TRef<TVokNotifyOperation> single = MakeRef<TVokSuppliedSingleOperation>(1.5f);
    const TRef<TVokNotifyOperation> other = MakeRef<TVokSuppliedRealOperation>(9.0);
    a->Receive(kVokIntegerType, integer.Get(), {});
    a->Receive(kVokFloatType, single.Get(), {});
    a->Receive(kVokFloatType, other.Get(), {});
    EXPECT_EQ(seen, (std::vector<float>{7.0f, 1.5f}));
    EXPECT_EQ(a->GetValue(), 1.5f);
}

TEST(OperationTest, IdentifiersFollowEachOtherAndClassTestsSeeBases) {
    const TRef<TVokNotifyOperation> first = MakeRef<TVokEndStopOperation>();
    const TRef<TVokNotifyOperation> second = MakeRef<TVokSuppliedSingleOperation>(1.0f);
    EXPECT_EQ(second->GetId(), first->GetId() + 1);
    EXPECT_NE(OperationAs<TVokStopOperation>(first.Get()), nullptr);
    EXPECT_NE(OperationAs<TVokClockOperation>(second.Get()), nullptr);
    EXPECT_EQ(OperationAs<TVokStartOperation>(first.Get()), nullptr);
    EXPECT_EQ(first->GetOperation(), first.Get());
}

TEST(StreamTypeRegistryTest, StandardNamesAreRegisteredAsStored) {
    VokInitializeFramework();
    const auto& registry = TVokStreamTypeRegistry::Instance();
    EXPECT_EQ(registry.GetName(kVokIntegerType), "Integer single");
    EXPECT_EQ(registry.GetName(kVokFloatType), "Float single");
    EXPECT_EQ(registry.GetName(kVokRealType), "Real single");
    EXPECT_EQ(registry.GetName(kVokRealComplexType), "Real Complex single");
    EXPECT_EQ(registry.GetName(kVokBoolType), "Boolean single");
    EXPECT_EQ(registry.GetName(kVokCharacterType), "Character single");
    EXPECT_EQ(registry.GetName(kVokStringType), "Sting");
    EXPECT_EQ(registry.GetName(kVokClockType), "");
}

TEST(GuidTest, ParsesAndPrintsRegistryText) {
    constexpr const char* text = "{48CDAF9F-00C7-4B45-999D-4EE25353A952}";
    EXPECT_EQ(TVokGuid::Parse(text).ToString(), text);
    EXPECT_EQ(TVokGuid::Parse("{48cdaf9f-00c7-4b45-999d-4ee25353a952}"), kVokClockType);
    EXPECT_TRUE(kVokNullType.IsNull());
    EXPECT_THROW(TVokGuid::Parse("{48CDAF9F-00C7-4B45-999D-4EE25353A95}"), std::invalid_argument);
    EXPECT_THROW(TVokGuid::Parse("{48CDAF9F-00C7-4B45-999D-4EE25353A95X}"), std::invalid_argument);
}

} // namespace
