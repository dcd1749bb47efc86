#include "pins/VokComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- small test classes

std::vector<std::string>* g_destroyed = nullptr;

/// Records its name in g_destroyed when destroyed.
class TLogged : public TVokComponent {
  public:
    TLogged(TVokComponent* owner, const std::string& name) : TVokComponent(owner) { SetName(name); }
    ~TLogged() override {
        if (g_destroyed != nullptr) {
            g_destroyed->push_back(GetName());
        }
    }
};

class TLoadCounting : public TVokComponent {
  public:
    using TVokComponent::TVokComponent;
    void Loaded() override {
        ++m_loadedCalls;
        TVokComponent::Loaded();
    }
    int m_loadedCalls = 0;
};

/// A published sub-object that is not a component, like a pin or a format object.
class TTestPin : public TVokPersistent, public IVokPublished {
  public:
    static const TVokClassInfo& ClassInfo() {
        static const TVokClassInfo info("TTestPin", nullptr, nullptr,
                                        {TVokProp::Object("Inner", &TTestPin::m_inner)});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    TTestPin* m_inner = nullptr;
};

enum TTestShape : uint8_t { tsTone, tsTriangle, tsSquare };
enum TTestColour : uint8_t { tcRed, tcGreen, tcBlue };
using TTestColours = TVokSet<TTestColour>;
using TTestEvent = std::function<int(int)>;

/// One property of every kind, through getters/setters and data members.
class TTestGen : public TVokComponent {
  public:
    explicit TTestGen(TVokComponent* owner) : TVokComponent(owner) {}

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int32_t GetAmplitude() const { return m_amplitude; }
    void SetAmplitude(int32_t value) { m_amplitude = std::clamp(value, 0, 32767); }
    TTestShape GetShape() const { return m_shape; }
    void SetShape(TTestShape value) { m_shape = value; }
    TTestPin* GetOutputPin() const { return m_outputPin.get(); }
    TTestPin* GetSpare() const { return nullptr; }
    TTestPin* GetChannels() const { return m_channels.get(); }

    int16_t m_small = 0;
    float m_phase = 0.0F;
    double m_frequency = 500.0;
    bool m_enabled = true;
    std::string m_caption = "Gen";
    TTestColours m_colours{tcRed, tcBlue};
    uint32_t m_mask = 0;
    TTestEvent m_onResult;
    std::unique_ptr<TTestPin> m_outputPin = std::make_unique<TTestPin>();
    std::unique_ptr<TTestPin> m_channels = std::make_unique<TTestPin>();

  private:
    int32_t m_amplitude = 20000;
    TTestShape m_shape = tsTone;
};

const TVokClassInfo& TTestGen::ClassInfo() {
    using T = TTestGen;
    static const TVokClassInfo info(
        "TTestGen", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
        {
            TVokProp::Integer("Amplitude", &T::GetAmplitude, &T::SetAmplitude, 20000),
            TVokProp::Integer("Small", &T::m_small, &T::m_small, 0),
            TVokProp::Float("Phase", &T::m_phase, &T::m_phase, 0.0),
            TVokProp::Float("Frequency", &T::m_frequency, &T::m_frequency, 500.0),
            TVokProp::Bool("Enabled", &T::m_enabled, &T::m_enabled, true),
            TVokProp::String("Caption", &T::m_caption, &T::m_caption, "Gen"),
            TVokProp::Enum("Shape", {"tsTone", "tsTriangle", "tsSquare"}, &T::GetShape,
                           &T::SetShape, tsTone),
            TVokProp::Set("Colours", {"tcRed", "tcGreen", "tcBlue"}, &T::m_colours, &T::m_colours,
                          TTestColours{tcRed, tcBlue}),
            TVokProp::Set("Mask", {"mA", "mB", "mC"}, &T::m_mask, &T::m_mask, 0U),
            TVokProp::Object("OutputPin", &T::GetOutputPin),
            TVokProp::Object("Spare", &T::GetSpare),
            TVokProp::Collection("Channels", &T::GetChannels),
            TVokProp::Event("OnResult", &T::m_onResult, &T::m_onResult),
        });
    return info;
}

/// Adds a property and re-declares an inherited one with another default.
class TTestGenChild : public TTestGen {
  public:
    using TTestGen::TTestGen;
    static const TVokClassInfo& ClassInfo() {
        using T = TTestGenChild;
        static const TVokClassInfo info(
            "TTestGenChild", &TTestGen::ClassInfo(), nullptr,
            {TVokProp::Integer("Extra", &T::m_extra, &T::m_extra, 7),
             TVokProp::Object("Link", &T::m_link, &T::m_link),
             TVokProp::Integer("Amplitude", &T::GetAmplitude, &T::SetAmplitude, 100)});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    int m_extra = 7;
    TTestPin* m_link = nullptr;
};

class ComponentTest : public ::testing::Test {
  protected:
    void SetUp() override { g_destroyed = &m_destroyed; }
    void TearDown() override { g_destroyed = nullptr; }
    std::vector<std::string> m_destroyed;
};

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

// ---------------------------------------------------------------- ownership

TEST_F(ComponentTest, OwnerDestroysChildrenNewestFirstAndDepthFirst) {
    auto* root = new TLogged(nullptr, "Root");
    new TLogged(root, "A");
    auto* b = new TLogged(root, "B");
    new TLogged(b, "B1");
    new TLogged(b, "B2");
    new TLogged(root, "C");
    ASSERT_EQ(root->GetComponentCount(), 3);
    EXPECT_EQ(b->GetOwner(), root);
    delete root;
    // The derived destructor runs before the base destroys the children.
    EXPECT_EQ(m_destroyed, (std::vector<std::string>{"Root", "C", "B", "B2", "B1", "A"}));
}

TEST_F(ComponentTest, ChildDestroyedFirstLeavesItsOwner) {
    TVokComponent root(nullptr);
    new TLogged(&root, "A");
    auto* b = new TLogged(&root, "B");
    new TLogged(&root, "C");
    delete b;
    ASSERT_EQ(root.GetComponentCount(), 2);
    EXPECT_EQ(root.GetComponent(0)->GetName(), "A");
    EXPECT_EQ(root.GetComponent(1)->GetName(), "C");
    EXPECT_EQ(root.FindComponent("B"), nullptr);
    root.DestroyComponents();
    EXPECT_EQ(root.GetComponentCount(), 0);
    EXPECT_EQ(m_destroyed, (std::vector<std::string>{"B", "C", "A"}));
}

TEST_F(ComponentTest, GetComponentRejectsBadIndices) {
    TVokComponent root(nullptr);
    new TVokComponent(&root);
    EXPECT_NE(root.GetComponent(0), nullptr);
    EXPECT_EQ(ErrorOf([&] { root.GetComponent(1); }), "Index out of range = 1");
    EXPECT_THROW(root.GetComponent(-1), std::out_of_range);
}

// ---------------------------------------------------------------- names

class ComponentNameTest : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(ComponentNameTest, OnlyIdentifiersOrEmptyAreAccepted) {
    const auto& [name, valid] = GetParam();
    TVokComponent component(nullptr);
    component.SetName("Old");
    if (valid) {
        component.SetName(name);
        EXPECT_EQ(component.GetName(), name);
    } else {
        const std::string message = ErrorOf([&] { component.SetName(name); });
        EXPECT_NE(message.find("\"" + name + "\""), std::string::npos) << message;
        EXPECT_EQ(component.GetName(), "Old");
    }
}

INSTANTIATE_TEST_SUITE_P(Names, ComponentNameTest,
                         ::testing::Values(std::pair{"", true}, std::pair{"Form1", true},
                                           std::pair{"_x9", true}, std::pair{"a", true},
                                           std::pair{"DruSpectrum1", true},
                                           std::pair{"1Gen", false}, std::pair{"Gen 1", false},
                                           std::pair{"Gen.1", false}, std::pair{"Gen-1", false},
                                           std::pair{" ", false}, std::pair{"Ä", false}));

TEST_F(ComponentTest, SiblingsMayNotShareANonEmptyName) {
    TVokComponent root(nullptr);
    TVokComponent other(nullptr);
    auto* first = new TVokComponent(&root);
    auto* second = new TVokComponent(&root);
    auto* elsewhere = new TVokComponent(&other);
    EXPECT_NO_THROW(first->SetName(""));
    EXPECT_NO_THROW(second->SetName("")); // empty names may repeat
    first->SetName("Gen1");
    EXPECT_EQ(ErrorOf([&] { second->SetName("Gen1"); }), "A component named Gen1 already exists");
    EXPECT_EQ(second->GetName(), "");
    EXPECT_NO_THROW(first->SetName("Gen1"));     // renaming to its own name
    EXPECT_NO_THROW(elsewhere->SetName("Gen1")); // another owner
    EXPECT_NO_THROW(second->SetName("gen1"));    // names are case-sensitive
    // The name is free again once its holder is renamed.
    first->SetName("Gen2");
    EXPECT_NO_THROW(second->SetName("Gen1"));
    EXPECT_EQ(root.FindComponent("Gen1"), second);
    EXPECT_EQ(root.FindComponent("Gen2"), first);
    EXPECT_EQ(root.FindComponent(""), nullptr);
    EXPECT_EQ(root.FindComponent("Gen3"), nullptr);
}

TEST_F(ComponentTest, NameIsAPublishedStringProperty) {
    TVokComponent root(nullptr);
    auto* child = new TVokComponent(&root);
    new TVokComponent(&root);
    root.GetComponent(1)->SetName("Taken");
    TVokPersistent* asPersistent = child;
    const TVokClassInfo* info = ClassInfoOf(asPersistent);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->GetProperty("Name").IsDefault(asPersistent));
    info->SetValue(asPersistent, "Name", std::string("Scope1"));
    EXPECT_EQ(child->GetName(), "Scope1");
    // The setter's own checks apply when writing through the table.
    EXPECT_THROW(info->SetValue(asPersistent, "Name", std::string("Taken")), std::invalid_argument);
}

// ---------------------------------------------------------------- state and roots

TEST_F(ComponentTest, LoadedClearsLoadingAndDesigningReachesChildren) {
    TLoadCounting component(nullptr);
    auto* child = new TVokComponent(&component);
    EXPECT_TRUE(component.GetComponentState().IsEmpty());
    component.BeginLoading();
    EXPECT_TRUE(component.IsLoading());
    component.Loaded();
    EXPECT_FALSE(component.IsLoading());
    EXPECT_EQ(component.m_loadedCalls, 1);

    component.SetDesigning(true);
    EXPECT_TRUE(component.IsDesigning());
    EXPECT_TRUE(child->IsDesigning());
    component.SetDesigning(false);
    EXPECT_FALSE(child->IsDesigning());
}

TEST_F(ComponentTest, ChildrenSeeTheirOwnerDestroying) {
    class TProbe : public TVokComponent {
      public:
        TProbe(TVokComponent* owner, bool& ownerDestroying)
            : TVokComponent(owner), m_ownerDestroying(ownerDestroying) {}
        ~TProbe() override { m_ownerDestroying = GetOwner()->IsDestroying(); }

      private:
        bool& m_ownerDestroying;
    };
    bool ownerDestroying = false;
    {
        TVokComponent root(nullptr);
        new TProbe(&root, ownerDestroying);
    }
    EXPECT_TRUE(ownerDestroying);
}

TEST_F(ComponentTest, RootIsTopmostOwnerOrTheNearestForm) {
    TVokComponent application(nullptr);
    auto* form = new TVokForm(&application);
    auto* gen = new TVokComponent(form);
    auto* nested = new TVokComponent(gen);
    EXPECT_EQ(nested->GetRoot(), form);
    EXPECT_EQ(gen->GetRoot(), form);
    EXPECT_EQ(form->GetRoot(), form);
    EXPECT_EQ(application.GetRoot(), &application);
    auto* plain = new TVokComponent(&application);
    EXPECT_EQ((new TVokComponent(plain))->GetRoot(), &application);
}

// ---------------------------------------------------------------- property tables

TEST(PropertyTableTest, InheritedPropertiesComeFirstInDeclarationOrder) {
    std::vector<std::string> names;
    for (const TVokPropertyInfo* property : TTestGenChild::ClassInfo().GetProperties()) {
        names.push_back(property->GetName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Amplitude", "Small", "Phase", "Frequency",
                                               "Enabled", "Caption", "Shape", "Colours", "Mask",
                                               "OutputPin", "Spare", "Channels", "OnResult",
                                               "Extra", "Link"}));
    // The re-declared Amplitude keeps its place but carries the new default.
    const TVokPropertyInfo& amplitude = TTestGenChild::ClassInfo().GetProperty("Amplitude");
    EXPECT_EQ(amplitude.GetClassName(), "TTestGenChild");
    EXPECT_EQ(amplitude.GetDefault(), TVokValue(int64_t{100}));
    EXPECT_EQ(TTestGen::ClassInfo().GetProperty("Amplitude").GetDefault(),
              TVokValue(int64_t{20000}));
    EXPECT_EQ(TTestGen::ClassInfo().GetProperty("Name").GetClassName(), "TVokComponent");
    EXPECT_EQ(TTestGen::ClassInfo().FindProperty("Extra"), nullptr);
    EXPECT_TRUE(TTestGenChild::ClassInfo().InheritsFrom(TVokComponent::ClassInfo()));
    EXPECT_FALSE(TTestGen::ClassInfo().InheritsFrom(TTestGenChild::ClassInfo()));
}

TEST(PropertyTableTest, KindsValueNamesAndDefaults) {
    const TVokClassInfo& info = TTestGen::ClassInfo();
    const std::vector<std::pair<std::string, TVokPropertyKind>> kinds = {
        {"Amplitude", pkInteger}, {"Phase", pkFloat},         {"Enabled", pkBool},
        {"Caption", pkString},    {"Shape", pkEnum},          {"Colours", pkSet},
        {"OutputPin", pkObject},  {"Channels", pkCollection}, {"OnResult", pkEvent}};
    for (const auto& [name, kind] : kinds) {
        EXPECT_EQ(info.GetProperty(name).GetKind(), kind) << name;
    }
    EXPECT_EQ(info.GetProperty("Shape").GetValueNames(),
              (std::vector<std::string>{"tsTone", "tsTriangle", "tsSquare"}));
    EXPECT_EQ(info.GetProperty("Colours").GetDefault(),
              TVokValue(TVokSetValue{{"tcRed", "tcBlue"}}));
    EXPECT_FALSE(info.GetProperty("OutputPin").GetDefault().has_value());
    EXPECT_TRUE(info.GetProperty("OutputPin").IsReadOnly());

    // A fresh object holds every default; a changed value no longer does.
    TTestGen gen(nullptr);
    for (const TVokPropertyInfo* property : info.GetProperties()) {
        if (property->GetDefault().has_value()) {
            EXPECT_TRUE(property->IsDefault(&gen)) << property->GetName();
        }
    }
    gen.m_frequency = 440.0;
    EXPECT_FALSE(info.GetProperty("Frequency").IsDefault(&gen));
}

struct TRoundTrip {
    std::string m_property;
    TVokValue m_written;
    TVokValue m_readBack;
};

class PropertyRoundTripTest : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(PropertyRoundTripTest, SetThenGetThroughTheBasePointer) {
    const TRoundTrip& trip = GetParam();
    TTestGen gen(nullptr);
    TVokPersistent* object = &gen;
    const TVokClassInfo* info = ClassInfoOf(object);
    ASSERT_EQ(info, &TTestGen::ClassInfo());
    info->SetValue(object, trip.m_property, trip.m_written);
    EXPECT_EQ(info->GetValue(object, trip.m_property), trip.m_readBack);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, PropertyRoundTripTest,
    ::testing::Values(TRoundTrip{"Amplitude", int64_t{1234}, int64_t{1234}},
                      TRoundTrip{"Amplitude", int64_t{-5}, int64_t{0}}, // the setter clamps
                      TRoundTrip{"Small", int64_t{-32768}, int64_t{-32768}},
                      TRoundTrip{"Phase", 0.25, 0.25}, TRoundTrip{"Frequency", int64_t{440}, 440.0},
                      TRoundTrip{"Frequency", 1e-300, 1e-300}, TRoundTrip{"Enabled", false, false},
                      TRoundTrip{"Caption", std::string("It's"), std::string("It's")},
                      TRoundTrip{"Shape", TVokEnumValue{"tsSquare"}, TVokEnumValue{"tsSquare"}},
                      TRoundTrip{
                          "Colours", TVokSetValue{{"tcBlue", "tcGreen"}},
                          TVokSetValue{{"tcGreen", "tcBlue"}}}, // members come back in enum order
                      TRoundTrip{"Colours", TVokSetValue{}, TVokSetValue{}},
                      TRoundTrip{"Mask", TVokSetValue{{"mC"}}, TVokSetValue{{"mC"}}},
                      TRoundTrip{"OnResult", TVokEventValue{}, TVokEventValue{}}));

TEST(PropertyTableTest, TypedValuesReachTheObject) {
    TTestGen gen(nullptr);
    const TVokClassInfo& info = TTestGen::ClassInfo();
    info.SetValue(&gen, "Shape", TVokEnumValue{"tsTriangle"});
    EXPECT_EQ(gen.GetShape(), tsTriangle);
    info.SetValue(&gen, "Colours", TVokSetValue{{"tcGreen"}});
    EXPECT_EQ(gen.m_colours, TTestColours{tcGreen});
    info.SetValue(&gen, "Mask", TVokSetValue{{"mA", "mC"}});
    EXPECT_EQ(gen.m_mask, 5U);
    info.SetValue(&gen, "OnResult", TVokEventValue{TTestEvent([](int x) { return x * 3; })});
    ASSERT_TRUE(gen.m_onResult);
    EXPECT_EQ(gen.m_onResult(7), 21);
    const TVokValue handler = info.GetValue(&gen, "OnResult");
    EXPECT_EQ(std::any_cast<TTestEvent>(std::get<TVokEventValue>(handler).m_handler)(2), 6);
    EXPECT_EQ(info.GetValue(&gen, "OutputPin"), TVokValue(gen.m_outputPin.get()));
}

TEST(PropertyTableTest, ErrorsNameClassPropertyAndProblem) {
    TTestGen gen(nullptr);
    TVokForm form;
    const TVokClassInfo& info = TTestGen::ClassInfo();
    struct TCase {
        std::function<void()> m_action;
        std::vector<std::string> m_expected; // fragments of the message
    };
    const std::vector<TCase> cases = {
        {[&] { info.SetValue(&gen, "Volume", int64_t{1}); }, {"TTestGen", "'Volume'"}},
        {[&] { info.GetValue(&gen, "Volume"); }, {"TTestGen", "'Volume'"}},
        {[&] { info.SetValue(&gen, "Amplitude", std::string("1")); },
         {"TTestGen.Amplitude", "an integer", "a string"}},
        {[&] { info.SetValue(&gen, "Enabled", int64_t{1}); }, {"TTestGen.Enabled", "a bool"}},
        {[&] { info.SetValue(&gen, "Shape", std::string("tsTone")); }, {"Shape", "an enum"}},
        {[&] { info.SetValue(&gen, "Shape", TVokEnumValue{"tsSine"}); }, {"Shape", "'tsSine'"}},
        {[&] { info.SetValue(&gen, "Colours", TVokSetValue{{"tcPink"}}); }, {"'tcPink'"}},
        {[&] { info.SetValue(&gen, "Small", int64_t{40000}); }, {"Small", "40000", "range"}},
        {[&] { info.SetValue(&gen, "OutputPin", static_cast<TVokPersistent*>(nullptr)); },
         {"OutputPin", "read-only"}},
        {[&] { info.SetValue(&gen, "OnResult", TVokEventValue{std::any(1)}); }, {"OnResult"}},
        {[&] { info.GetValue(&form, "Amplitude"); },
         {"TTestGen.Amplitude", "TVokForm", "declaring class"}},
        {[&] { info.GetValue(nullptr, "Amplitude"); }, {"TTestGen.Amplitude"}},
    };
    for (size_t index = 0; index < cases.size(); ++index) {
        std::string message = "(no error)";
        try {
            cases[index].m_action();
        } catch (const std::invalid_argument& error) {
            message = error.what();
        }
        for (const std::string& fragment : cases[index].m_expected) {
            EXPECT_NE(message.find(fragment), std::string::npos)
                << "case " << index << ": " << message;
        }
    }
    // Failed writes leave the object unchanged.
    EXPECT_EQ(gen.GetAmplitude(), 20000);
    EXPECT_EQ(gen.m_small, 0);
    EXPECT_EQ(gen.GetShape(), tsTone);
    EXPECT_EQ(gen.m_colours, (TTestColours{tcRed, tcBlue}));
}

TEST(PropertyTableTest, WritableObjectPropertyChecksTheObjectClass) {
    TTestGenChild gen(nullptr);
    TTestPin pin;
    TVokForm form;
    const TVokPropertyInfo& link = gen.GetClassInfo().GetProperty("Link");
    link.Set(&gen, &pin);
    EXPECT_EQ(gen.m_link, &pin);
    const std::string message = ErrorOf([&] { link.Set(&gen, &form); });
    EXPECT_NE(message.find("TTestGenChild.Link"), std::string::npos) << message;
    EXPECT_NE(message.find("TVokForm"), std::string::npos) << message;
    EXPECT_EQ(gen.m_link, &pin);
    link.Set(&gen, static_cast<TVokPersistent*>(nullptr));
    EXPECT_EQ(gen.m_link, nullptr);
}

TEST(PropertyTableTest, DuplicateOwnPropertyIsRefused) {
    using T = TTestGen;
    EXPECT_THROW(TVokClassInfo("TBad", nullptr, nullptr,
                               {TVokProp::Bool("Enabled", &T::m_enabled, &T::m_enabled, true),
                                TVokProp::Bool("Enabled", &T::m_enabled, nullptr, true)}),
                 std::invalid_argument);
}

// ---------------------------------------------------------------- object-valued entries

TEST(PropertyTableTest, PublishedObjectsAreListedInOrderWithoutNulls) {
    TTestGen gen(nullptr);
    const std::vector<TVokPublishedObject> objects = PublishedObjectsOf(&gen);
    ASSERT_EQ(objects.size(), 2U); // "Spare" is null
    EXPECT_EQ(objects[0].m_name, "OutputPin");
    EXPECT_EQ(objects[0].m_object, gen.m_outputPin.get());
    EXPECT_EQ(objects[1].m_name, "Channels");
    EXPECT_EQ(objects[1].m_object, gen.m_channels.get());

    // A sub-object publishes its own entries, which a name search descends into.
    TTestPin inner;
    gen.m_channels->m_inner = &inner;
    const std::vector<TVokPublishedObject> nested = PublishedObjectsOf(objects[1].m_object);
    ASSERT_EQ(nested.size(), 1U);
    EXPECT_EQ(nested[0].m_name, "Inner");
    EXPECT_EQ(nested[0].m_object, &inner);

    struct TUnpublished : TVokPersistent {};
    TUnpublished unpublished;
    EXPECT_EQ(ClassInfoOf(&unpublished), nullptr);
    EXPECT_EQ(ClassInfoOf(nullptr), nullptr);
    EXPECT_TRUE(PublishedObjectsOf(&unpublished).empty());
}

// ---------------------------------------------------------------- registry

TEST(ClassRegistryTest, FindsRegisteredClassesAndCreatesThroughTheFactory) {
    EXPECT_TRUE(RegisterVokClass(TTestGen::ClassInfo()));
    EXPECT_TRUE(RegisterVokClass(TTestGen::ClassInfo())); // again: harmless
    RegisterVokClass(TTestGenChild::ClassInfo());
    EXPECT_EQ(FindVokClass("TTestGen"), &TTestGen::ClassInfo());
    EXPECT_EQ(FindVokClass("TNoSuchClass"), nullptr);

    TVokForm form;
    TVokComponent* created = FindVokClass("TTestGen")->Create(&form);
    ASSERT_NE(dynamic_cast<TTestGen*>(created), nullptr);
    EXPECT_EQ(created->GetOwner(), &form);
    EXPECT_EQ(form.GetComponent(0), created);
    EXPECT_EQ(&created->GetClassInfo(), &TTestGen::ClassInfo());

    const std::string abstract = ErrorOf([&] { FindVokClass("TTestGenChild")->Create(&form); });
    EXPECT_NE(abstract.find("TTestGenChild"), std::string::npos) << abstract;

    static const TVokClassInfo impostor("TTestGen", nullptr, nullptr, {});
    EXPECT_THROW(RegisterVokClass(impostor), std::invalid_argument);
    EXPECT_EQ(FindVokClass("TTestGen"), &TTestGen::ClassInfo());
}

} // namespace
