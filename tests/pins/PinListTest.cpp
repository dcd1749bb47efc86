#include "pins/VokComponent.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"
#include "pins/VokStateDispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr TVokGuid kOtherStateType = TVokGuid::Parse("{C4E81A09-5D2B-4F7E-A613-9B0D27E4F85C}");

class TTestSource : public TVokSourcePin {
  public:
    explicit TTestSource(TVokComponent* owner) : TVokSourcePin(owner) {
        AddStreamTypeId(kVokRealType);
    }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kVokRealType; }
};

// A real sink; with `stateToo` it also takes boolean state values and counts them.
class TTestSink : public TVokSinkPin {
  public:
    explicit TTestSink(TVokComponent* owner, bool stateToo = false)
        : TVokSinkPin(owner), m_stateToo(stateToo) {
        AddStreamTypeId(kVokRealType);
        if (stateToo) {
            AddStreamTypeId(kVokBoolType);
        }
    }
    bool QueryType(const TVokGuid& typeId) const override {
        return typeId == kVokRealType || (m_stateToo && typeId == kVokBoolType);
    }
    TVokNotifyResults Receive(const TVokGuid& /*typeId*/, TVokNotifyOperation* operation,
                              TVokNotifyFlags /*flags*/) override {
        if (OperationAs<TVokSuppliedBoolOperation>(operation) != nullptr) {
            ++m_stateValues;
        }
        return {};
    }

    int m_stateValues = 0;

  private:
    const bool m_stateToo;
};

// A boolean state pin: sends its value on link changes, passes value operations on, and takes
// the value of any value operation it receives.
class TTestBoolPin : public TVokStatePin {
  public:
    TTestBoolPin(TVokComponent* owner, bool value, const TVokGuid& typeId = kVokBoolType)
        : TVokStatePin(owner), m_typeId(typeId), m_value(value) {
        AddStreamType(typeId, TVokLinkHandler::Of<&TTestBoolPin::DispatchState>(this));
    }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == m_typeId; }
    TVokNotifyResults Receive(const TVokGuid& /*typeId*/, TVokNotifyOperation* operation,
                              TVokNotifyFlags /*flags*/) override {
        if (const auto* value = OperationAs<TVokSuppliedBoolOperation>(operation)) {
            m_value = value->GetValue();
            ++m_received;
        }
        return {};
    }
    bool GetValue() const { return m_value; }
    void SetValue(bool value) {
        if (value == m_value) {
            return;
        }
        m_value = value;
        TRef<TVokSuppliedBoolOperation> operation = MakeRef<TVokSuppliedBoolOperation>(value);
        Notify(operation.Get());
    }

    int m_received = 0;

  private:
    TVokNotifyResults DispatchState(TVokBasicPin* receiver, const TVokGuid& typeId,
                                    TVokNotifyFlags flags, TVokNotifyOperation* operation) {
        if (const auto* value = OperationAs<TVokSuppliedBoolOperation>(operation)) {
            m_value = value->GetValue();
        }
        if (!receiver->QueryType(m_typeId)) {
            return {};
        }
        if (flags.Contains(nfLinkChanged)) {
            TRef<TVokSuppliedBoolOperation> current = MakeRef<TVokSuppliedBoolOperation>(m_value);
            return receiver->Receive(typeId, current.Get(), flags);
        }
        return receiver->Receive(typeId, operation, flags);
    }

    const TVokGuid m_typeId;
    bool m_value;
};

// Stands for a pin named by a form description before it exists.
class TTestPlaceholder : public TVokBasicPin {
  public:
    TVokPinKind GetPinKind() const override { return vpkSink; }
    bool IsPlaceholder() const override { return true; }
    void SetHeldByList(bool held) override { m_held = held; }
    void HandOverTo(TVokBasicPin* pin) override { m_handedTo = pin; }

    bool m_held = false;
    TVokBasicPin* m_handedTo = nullptr;
};

// A published sub-object that is neither a component nor a pin list (like a channel item).
class TTestChannel : public TVokPersistent, public IVokPublished {
  public:
    static const TVokClassInfo& ClassInfo() {
        static const TVokClassInfo info("TPinListTestChannel", nullptr, nullptr,
                                        {TVokProp::Object("Pin", &TTestChannel::GetPin)});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    TVokBasicPin* GetPin() const { return m_pin.get(); }

    TVokPinPtr<TVokBasicPin> m_pin;
};

// A component publishing whichever of its pins and pin lists a test fills in.
class TTestNode : public TVokComponent {
  public:
    TTestNode(TVokComponent* owner, const std::string& name) : TVokComponent(owner) {
        SetName(name);
    }

    static const TVokClassInfo& ClassInfo() {
        using T = TTestNode;
        static const TVokClassInfo info("TPinListTestNode", &TVokComponent::ClassInfo(), nullptr,
                                        {
                                            TVokProp::Object("Channel", &T::GetChannel),
                                            TVokProp::Object("InputPin", &T::GetInputPin),
                                            TVokProp::Object("OutputPin", &T::GetOutputPin),
                                            TVokProp::Object("InputPins", &T::GetInputPins),
                                            TVokProp::Object("OutputPins", &T::GetOutputPins),
                                        });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TTestChannel* GetChannel() const { return m_channel.get(); }
    TVokBasicPin* GetInputPin() const { return m_inputPin.get(); }
    TVokBasicPin* GetOutputPin() const { return m_outputPin.get(); }
    TVokPinList* GetInputPins() const { return m_inputPins.get(); }
    TVokPinList* GetOutputPins() const { return m_outputPins.get(); }

    std::unique_ptr<TTestChannel> m_channel;
    TVokPinPtr<TVokBasicPin> m_inputPin;
    TVokPinPtr<TVokBasicPin> m_outputPin;
    TVokPinPtr<TVokBasicPin> m_unpublishedPin;
    std::unique_ptr<TVokPinList> m_inputPins;
    std::unique_ptr<TVokPinListOwner> m_outputPins;
};

TVokPinListOwner::TCreateCallback CreateSources() {
    return [](TVokPinListOwner& list) -> TVokBasicPin* { return new TTestSource(list.GetOwner()); };
}

class PinListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_livePins = TVokBasicPin::LiveCount();
        m_liveOperations = TVokNotifyOperation::LiveCount();
        m_liveDispatchers = TVokStateDispatcher::LiveCount();
        m_form = std::make_unique<TVokForm>();
        m_form->SetName("Form1");
    }
    void TearDown() override {
        m_form.reset();
        EXPECT_EQ(TVokBasicPin::LiveCount(), m_livePins);
        EXPECT_EQ(TVokNotifyOperation::LiveCount(), m_liveOperations);
        EXPECT_EQ(TVokStateDispatcher::LiveCount(), m_liveDispatchers);
    }
    TTestNode* Node(const std::string& name) { return new TTestNode(m_form.get(), name); }

    std::unique_ptr<TVokForm> m_form;
    int64_t m_livePins = 0;
    int64_t m_liveOperations = 0;
    int64_t m_liveDispatchers = 0;
};

// ---------------------------------------------------------------- pin lists

TEST_F(PinListTest, DefaultDisplayNameIsStoredEmpty) {
    TTestNode* scope = Node("ZemScope1");
    scope->m_inputPins = std::make_unique<TVokPinList>(scope, true);
    TVokPinList& list = *scope->m_inputPins;
    list.Add(new TTestSink(scope));
    list.Add(new TTestSink(scope));
    list.SetPinDisplayName(0, "Pin [0]");
    EXPECT_EQ(list.GetPinDisplayName(0), "Pin [0]");
    // At index 1 the same text is not the default and is stored as given.
    list.SetPinDisplayName(1, "Pin [0]");
    list.Exchange(0, 1);
    EXPECT_EQ(list.GetPinDisplayName(1), "Pin [1]"); // the empty name follows the index
    EXPECT_EQ(list.GetPinDisplayName(0), "Pin [0]");
    list.SetPinDisplayName(0, "Pin [5]");
    list.Exchange(0, 1);
    EXPECT_EQ(list.GetPinDisplayName(1), "Pin [5]");
    // Out of range: renaming is ignored, reading raises.
    list.SetPinDisplayName(2, "X");
    list.SetPinDisplayName(-1, "X");
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_THROW(list.GetPinDisplayName(2), std::out_of_range);
    EXPECT_THROW(list.GetPin(2), std::out_of_range);
    EXPECT_THROW(list.Exchange(0, 2), std::out_of_range);
    EXPECT_THROW(list.Delete(-1), std::out_of_range);
    EXPECT_THROW(list.Add(nullptr), std::invalid_argument);
}

TEST_F(PinListTest, ExchangeSwapsNamesAndPins) {
    TTestNode* scope = Node("ZemScope1");
    scope->m_inputPins = std::make_unique<TVokPinList>(scope, true);
    TVokPinList& list = *scope->m_inputPins;
    auto* left = new TTestSink(scope);
    auto* right = new TTestSink(scope);
    list.AddNamed(left, "Left");
    list.AddNamed(right, "Right");
    list.Exchange(0, 1);
    EXPECT_EQ(list.GetPin(0), right);
    EXPECT_EQ(list.GetPin(1), left);
    EXPECT_EQ(list.GetPinDisplayName(0), "Right");
    EXPECT_EQ(list.GetPinDisplayName(1), "Left");
    EXPECT_EQ(list.IndexOf(left), 1);
    EXPECT_EQ(left->GetFullName(true), "Form1.ZemScope1.InputPins.Left");
    EXPECT_EQ(left->GetFullIndexName(true), "Form1.ZemScope1.InputPins._Pin1");
}

TEST_F(PinListTest, OwnerListKeepsItsCountBetweenMinimumAndMaximum) {
    TTestNode* spectrum = Node("DruSpectrum1");
    std::vector<TVokBasicPin*> removed;
    std::vector<bool> aliveWhenRemoved;
    auto onRemove = [&](TVokPinListOwner& list, TVokBasicPin* pin) {
        removed.push_back(pin);
        aliveWhenRemoved.push_back(list.IndexOf(pin) >= 0 && pin->GetPinList() == &list);
    };
    const int64_t before = TVokBasicPin::LiveCount();
    spectrum->m_outputPins =
        std::make_unique<TVokPinListOwner>(spectrum, onRemove, CreateSources(), 8, 1);
    TVokPinListOwner& list = *spectrum->m_outputPins;
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_TRUE(list.OwnsPins());
    list.SetCount(0);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_TRUE(removed.empty());
    list.SetCount(20);
    EXPECT_EQ(list.GetCount(), 8);
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(list.GetPin(i)->GetPinList(), &list);
    }
    const std::vector<TVokBasicPin*> last{list.GetPin(7), list.GetPin(6), list.GetPin(5)};
    // The published Count property goes through SetCount.
    TVokPinListOwner::ClassInfo().SetValue(&list, "Count", int64_t{5});
    EXPECT_EQ(std::get<int64_t>(TVokPinListOwner::ClassInfo().GetValue(&list, "Count")), 5);
    EXPECT_EQ(removed, last); // from the end
    EXPECT_EQ(aliveWhenRemoved, std::vector<bool>(3, true));
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 5);
    // The list frees every pin when it goes, minimum or not, unlinking them first.
    TVokPinPtr<TTestSink> sink = MakePin<TTestSink>(spectrum);
    ASSERT_TRUE(list.GetPin(0)->Connect(sink.get()));
    spectrum->m_outputPins.reset();
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 1);
    EXPECT_EQ(sink->GetSourcePin(), nullptr);
}

TEST_F(PinListTest, OwnerListWithoutCreateCallbackCannotGrow) {
    TTestNode* node = Node("Comp1");
    TVokPinListOwner list(node, nullptr, nullptr, 8, 2);
    EXPECT_EQ(list.GetCount(), 0);
    list.SetCount(4);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(PinListTest, OwningListFreesAndSharingListForgets) {
    TTestNode* node = Node("Comp1");
    TVokPinList owning(node, true);
    TVokPinList sharing(node, false);
    const int64_t before = TVokBasicPin::LiveCount();
    auto* a = new TTestSink(node);
    auto* b = new TTestSink(node);
    auto* c = new TTestSink(node);
    owning.Add(a);
    owning.Add(b);
    owning.Add(c);
    owning.Delete(1);
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 2);
    owning.Remove(c);
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 1);
    EXPECT_EQ(owning.GetCount(), 1);
    owning.Clear();
    EXPECT_EQ(TVokBasicPin::LiveCount(), before);

    TVokPinPtr<TTestSink> kept = MakePin<TTestSink>(node);
    sharing.Add(kept.get());
    EXPECT_EQ(kept->GetPinList(), &sharing);
    sharing.Clear();
    EXPECT_EQ(kept->GetPinList(), nullptr);
    EXPECT_EQ(TVokBasicPin::LiveCount(), before + 1);
    // A pin destroyed while listed leaves the list.
    sharing.Add(kept.get());
    kept.reset();
    EXPECT_EQ(sharing.GetCount(), 0);
}

TEST_F(PinListTest, OnlyPinsOfTheListsOwnerRecordTheList) {
    TTestNode* scope = Node("ZemScope1");
    TTestNode* other = Node("Comp1");
    TVokPinPtr<TTestSink> own = MakePin<TTestSink>(scope);
    TVokPinPtr<TTestSink> foreign = MakePin<TTestSink>(other);
    TVokPinList list(scope, false);
    list.Add(own.get());
    list.Add(foreign.get());
    EXPECT_EQ(own->GetPinList(), &list);
    EXPECT_EQ(foreign->GetPinList(), nullptr);
    EXPECT_EQ(list.GetRootName(), "Form1");
    // Destroyed first, the foreign pin still leaves the list (no dangling entry).
    foreign.reset();
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetPin(0), own.get());
}

TEST_F(PinListTest, RealPinFillsTheFirstPendingPlaceholder) {
    TTestNode* adder = Node("ZemAdd1");
    TVokPinList list(adder, false);
    TVokPinPtr<TTestPlaceholder> first = MakePin<TTestPlaceholder>();
    TVokPinPtr<TTestPlaceholder> second = MakePin<TTestPlaceholder>();
    TVokPinPtr<TTestSink> real = MakePin<TTestSink>(adder);
    adder->BeginLoading();
    list.Add(first.get());
    list.Add(second.get());
    EXPECT_TRUE(first->m_held);
    EXPECT_EQ(list.GetPendingCount(), 2);
    EXPECT_EQ(list.GetCount(), 0);
    list.Add(real.get());
    EXPECT_EQ(first->m_handedTo, real.get());
    EXPECT_FALSE(first->m_held);
    EXPECT_EQ(second->m_handedTo, nullptr);
    EXPECT_EQ(list.GetPin(0), real.get());
    EXPECT_EQ(list.GetCount(), 1);
    // Once loading is over, slots nobody filled are dropped.
    adder->Loaded();
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetPendingCount(), 0);
    EXPECT_FALSE(second->m_held);
    EXPECT_THROW(list.GetPin(1), std::out_of_range);
}

// ---------------------------------------------------------------- names

TEST_F(PinListTest, NamesOfAPinInAnOwnedList) {
    TTestNode* spectrum = Node("DruSpectrum1");
    spectrum->m_outputPins =
        std::make_unique<TVokPinListOwner>(spectrum, nullptr, CreateSources(), 8, 2);
    TVokBasicPin* pin = spectrum->m_outputPins->GetPin(0);
    EXPECT_EQ(pin->GetFullName(true), "Form1.DruSpectrum1.OutputPins.Pin [0]");
    EXPECT_EQ(pin->GetFullName(false), "DruSpectrum1.OutputPins.Pin [0]");
    EXPECT_EQ(pin->GetFullIndexName(true), "Form1.DruSpectrum1.OutputPins._Pin0");
    EXPECT_EQ(pin->GetFullIndexName(false), "DruSpectrum1.OutputPins._Pin0");
    EXPECT_EQ(pin->GetPinName(), "OutputPins.Pin [0]");
    EXPECT_EQ(pin->GetPinIndexName(), "OutputPins._Pin0");
    EXPECT_EQ(pin->GetOwnerPath(), "DruSpectrum1.OutputPins");
    EXPECT_EQ(pin->GetRootName(), "Form1");
    EXPECT_EQ(pin->GetRoot(), m_form.get());
    EXPECT_EQ(spectrum->m_outputPins->GetPin(1)->GetFullIndexName(true),
              "Form1.DruSpectrum1.OutputPins._Pin1");
}

TEST_F(PinListTest, NamesOfAPropertyPin) {
    TTestNode* audioIn = Node("DruDSAudioIn1");
    audioIn->m_outputPin = MakePin<TTestSource>(audioIn);
    TVokBasicPin* pin = audioIn->m_outputPin.get();
    EXPECT_EQ(pin->GetFullName(true), "Form1.DruDSAudioIn1.OutputPin");
    EXPECT_EQ(pin->GetFullIndexName(true), "Form1.DruDSAudioIn1.OutputPin");
    EXPECT_EQ(pin->GetFullName(false), "DruDSAudioIn1.OutputPin");
    EXPECT_EQ(pin->GetPinName(), "OutputPin");
    EXPECT_EQ(pin->GetPinIndexName(), "OutputPin");
    EXPECT_EQ(pin->GetOwnerPath(), "DruDSAudioIn1");
    // The first published property holding the pin names it.
    audioIn->m_inputPin = MakePin<TTestSink>(audioIn);
    EXPECT_EQ(audioIn->m_inputPin->GetPinName(), "InputPin");
}

TEST_F(PinListTest, NamesOfAPinWithAStoredDisplayName) {
    TTestNode* scope = Node("ZemScope1");
    scope->m_inputPins = std::make_unique<TVokPinList>(scope, true);
    auto* pin = new TTestSink(scope);
    scope->m_inputPins->AddNamed(pin, "Channel0");
    EXPECT_EQ(pin->GetFullName(true), "Form1.ZemScope1.InputPins.Channel0");
    EXPECT_EQ(pin->GetFullIndexName(true), "Form1.ZemScope1.InputPins._Pin0");
    EXPECT_EQ(pin->GetPinName(), "InputPins.Channel0");
    scope->m_inputPins->SetPinDisplayName(0, "Left");
    EXPECT_EQ(pin->GetFullName(true), "Form1.ZemScope1.InputPins.Left");
}

TEST_F(PinListTest, NamesThroughAPublishedSubObject) {
    TTestNode* node = Node("Comp2");
    node->m_channel = std::make_unique<TTestChannel>();
    node->m_channel->m_pin = MakePin<TTestSink>(node);
    EXPECT_EQ(node->m_channel->m_pin->GetFullName(true), "Form1.Comp2.Channel.Pin");
    EXPECT_EQ(node->m_channel->m_pin->GetOwnerPath(), "Comp2.Channel");
}

TEST_F(PinListTest, NamesOfUnpublishedAndOwnerlessPins) {
    TTestNode* node = Node("Comp1");
    node->m_unpublishedPin = MakePin<TTestSink>(node);
    TVokBasicPin* pin = node->m_unpublishedPin.get();
    EXPECT_EQ(pin->GetFullName(true), "Form1.Comp1.");
    EXPECT_EQ(pin->GetFullIndexName(true), "Form1.Comp1.");
    EXPECT_EQ(pin->GetPinName(), "");
    EXPECT_EQ(pin->GetOwnerPath(), "Comp1");

    TVokPinPtr<TTestSink> ownerless = MakePin<TTestSink>(nullptr);
    EXPECT_EQ(ownerless->GetFullName(true), "(No owner)");
    EXPECT_EQ(ownerless->GetFullName(false), "(No owner)");
    EXPECT_EQ(ownerless->GetFullIndexName(true), "(No owner)");
    EXPECT_EQ(ownerless->GetRoot(), nullptr);
}

// ---------------------------------------------------------------- state dispatchers

TEST_F(PinListTest, ConnectingTwoStatePinsCreatesANamedDispatcher) {
    TTestNode* gen = Node("Gen1");
    TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, false);
    ASSERT_TRUE(a->Connect(b.get()));
    ASSERT_TRUE(a->IsInDispatcher());
    TVokStateDispatcher* dispatcher = a->GetDispatcher(0);
    EXPECT_EQ(dispatcher->GetName(), "Form1Link1");
    EXPECT_EQ(TVokStateDispatcher::Find("Form1Link1", false), dispatcher);
    ASSERT_EQ(dispatcher->GetPinCount(), 2);
    EXPECT_EQ(dispatcher->GetPin(0), a.get());
    EXPECT_EQ(dispatcher->GetPin(1), b.get());
    EXPECT_TRUE(b->IsDispatcher(dispatcher));
    EXPECT_TRUE(a->IsInSameDispatcher(b.get()));
    EXPECT_TRUE(a->IsConnectedTo(b.get()));
    EXPECT_EQ(a->GetStateLinkCount(), 2);
    EXPECT_EQ(a->GetLinkType(b.get()), kVokBoolType);
    EXPECT_TRUE(a->GetValue());
    EXPECT_TRUE(b->GetValue());

    // A change reaches the other member once.
    const int received = b->m_received;
    a->SetValue(false);
    EXPECT_FALSE(b->GetValue());
    EXPECT_EQ(b->m_received, received + 1);
    a->SetValue(false);
    EXPECT_EQ(b->m_received, received + 1);
}

class PinDispatcherJoinTest : public PinListTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PinDispatcherJoinTest, ThirdPinEndsWithTheGroupsValue) {
    const bool joinerConnects = GetParam();
    TTestNode* gen = Node("Gen1");
    for (const bool groupValue : {true, false}) {
        SCOPED_TRACE(groupValue);
        TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, groupValue);
        TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, !groupValue);
        TVokPinPtr<TTestBoolPin> c = MakePin<TTestBoolPin>(gen, !groupValue);
        ASSERT_TRUE(a->Connect(b.get()));
        ASSERT_TRUE(joinerConnects ? c->Connect(b.get()) : b->Connect(c.get()));
        TVokStateDispatcher* dispatcher = a->GetDispatcher(0);
        ASSERT_EQ(dispatcher->GetPinCount(), 3);
        EXPECT_EQ(dispatcher->GetPin(2), c.get());
        EXPECT_TRUE(c->IsDispatcher(dispatcher));
        EXPECT_EQ(a->GetValue(), groupValue);
        EXPECT_EQ(b->GetValue(), groupValue);
        EXPECT_EQ(c->GetValue(), groupValue);
        // Joining the same dispatcher again changes nothing.
        EXPECT_FALSE(c->JoinDispatcher(dispatcher));
        EXPECT_EQ(dispatcher->GetPinCount(), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(FromEitherEnd, PinDispatcherJoinTest, ::testing::Bool());

TEST_F(PinListTest, DispatcherGoesWhenOneMemberWouldRemain) {
    TTestNode* gen = Node("Gen1");
    const int64_t before = TVokStateDispatcher::LiveCount();
    TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, false);
    TVokPinPtr<TTestBoolPin> c = MakePin<TTestBoolPin>(gen, false);
    ASSERT_TRUE(a->Connect(b.get()));
    EXPECT_EQ(TVokStateDispatcher::LiveCount(), before + 1);
    b->Disconnect();
    EXPECT_FALSE(a->IsInDispatcher());
    EXPECT_FALSE(b->IsInDispatcher());
    EXPECT_EQ(a->GetStateLinkCount(), 0);
    EXPECT_EQ(TVokStateDispatcher::LiveCount(), before);
    EXPECT_EQ(TVokStateDispatcher::Find("Form1Link1", false), nullptr);

    // Three members: destroying one keeps the other two joined.
    ASSERT_TRUE(a->Connect(b.get()));
    ASSERT_TRUE(c->Connect(a.get()));
    b.reset();
    ASSERT_TRUE(a->IsInSameDispatcher(c.get()));
    EXPECT_EQ(a->GetDispatcher(0)->GetPinCount(), 2);
    c.reset();
    EXPECT_FALSE(a->IsInDispatcher());
    EXPECT_EQ(TVokStateDispatcher::LiveCount(), before);
}

TEST_F(PinListTest, DispatcherNamesTakeTheSmallestFreeNumber) {
    TTestNode* gen = Node("Gen1");
    TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> c = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> d = MakePin<TTestBoolPin>(gen, true);
    ASSERT_TRUE(a->Connect(b.get()));
    ASSERT_TRUE(c->Connect(d.get()));
    EXPECT_EQ(a->GetDispatcher(0)->GetName(), "Form1Link1");
    EXPECT_EQ(c->GetDispatcher(0)->GetName(), "Form1Link2");
    a->Disconnect();
    ASSERT_TRUE(b->Connect(a.get()));
    EXPECT_EQ(b->GetDispatcher(0)->GetName(), "Form1Link1");
    // Joining another dispatcher leaves the old one first.
    ASSERT_TRUE(a->JoinDispatcher(c->GetDispatcher(0)));
    EXPECT_FALSE(b->IsInDispatcher());
    EXPECT_EQ(c->GetDispatcher(0)->GetPinCount(), 3);
}

TEST_F(PinListTest, IncompatibleStatePinsAreRefused) {
    TTestNode* gen = Node("Gen1");
    const int64_t before = TVokStateDispatcher::LiveCount();
    TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> other = MakePin<TTestBoolPin>(gen, false, kOtherStateType);
    TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, false);
    EXPECT_FALSE(a->Connect(other.get()));
    EXPECT_FALSE(other->Connect(a.get()));
    EXPECT_FALSE(a->IsInDispatcher());
    EXPECT_EQ(TVokStateDispatcher::LiveCount(), before);
    ASSERT_TRUE(a->Connect(b.get()));
    EXPECT_FALSE(other->JoinDispatcher(a->GetDispatcher(0)));
    EXPECT_FALSE(other->IsInDispatcher());
    EXPECT_EQ(a->GetDispatcher(0)->GetPinCount(), 2);
    EXPECT_TRUE(b->GetValue());
}

TEST_F(PinListTest, SinkJoiningAStatePinLeavesItsSource) {
    TTestNode* node = Node("Comp1");
    TVokPinPtr<TTestSource> source = MakePin<TTestSource>(node);
    TVokPinPtr<TTestSink> realOnly = MakePin<TTestSink>(node);
    TVokPinPtr<TTestSink> sink = MakePin<TTestSink>(node, true);
    TVokPinPtr<TTestBoolPin> state = MakePin<TTestBoolPin>(node, true);
    EXPECT_FALSE(realOnly->Connect(state.get()));
    ASSERT_TRUE(sink->Connect(source.get()));
    ASSERT_TRUE(sink->Connect(state.get()));
    EXPECT_EQ(sink->GetSourcePin(), nullptr);
    EXPECT_EQ(source->GetSinkCount(), 0);
    EXPECT_TRUE(sink->IsInSameDispatcher(state.get()));
    EXPECT_EQ(sink->GetLinkType(state.get()), kVokBoolType);
    EXPECT_EQ(sink->m_stateValues, 1); // the state pin sent its value to the new member
    // Linking to a source again leaves the dispatcher, which then goes.
    ASSERT_TRUE(sink->Connect(source.get()));
    EXPECT_FALSE(state->IsInDispatcher());
    EXPECT_EQ(sink->GetSourcePin(), source.get());
}

TEST_F(PinListTest, NamedDispatcherIsFoundOrCreated) {
    TTestNode* gen = Node("Gen1");
    TVokPinPtr<TTestBoolPin> a = MakePin<TTestBoolPin>(gen, true);
    TVokPinPtr<TTestBoolPin> b = MakePin<TTestBoolPin>(gen, false);
    ASSERT_TRUE(a->JoinNamedDispatcher("Form1Link7"));
    ASSERT_TRUE(b->JoinNamedDispatcher("Form1Link7"));
    ASSERT_TRUE(a->IsInSameDispatcher(b.get()));
    EXPECT_EQ(a->GetDispatcher(0), TVokStateDispatcher::Find("Form1Link7", false));
    EXPECT_EQ(a->GetDispatcher(0)->GetPin(1), b.get());
}

} // namespace
