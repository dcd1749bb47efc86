#pragma once

// Small components in the style of the main window's processing graph, for the form reader
// and writer tests and the reader's fuzz harness: the same published pins, pin lists and
// settings, without any processing. Class names carry "FormTest" so they never clash with the
// real classes in the registry.

#include "pins/VokComponent.h"
#include "pins/VokExtCollection.h"
#include "pins/VokPin.h"
#include "pins/VokPinList.h"
#include "pins/VokStandardPins.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace formtest {

class TSource : public TVokSourcePin {
  public:
    explicit TSource(TVokComponent* owner) : TVokSourcePin(owner) { AddStreamTypeId(kVokRealType); }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kVokRealType; }
};

class TSink : public TVokSinkPin {
  public:
    explicit TSink(TVokComponent* owner) : TVokSinkPin(owner) { AddStreamTypeId(kVokRealType); }
    bool QueryType(const TVokGuid& typeId) const override { return typeId == kVokRealType; }
};

inline TVokPinListOwner::TCreateCallback CreateSources() {
    return [](TVokPinListOwner& list) -> TVokBasicPin* { return new TSource(list.GetOwner()); };
}
inline TVokPinListOwner::TCreateCallback CreateSinks() {
    return [](TVokPinListOwner& list) -> TVokBasicPin* { return new TSink(list.GetOwner()); };
}

enum TSpeaker : uint8_t { spFrontLeft, spFrontRight, spFrontCenter };
using TSpeakers = TVokSet<TSpeaker>;

/// An audio format sub-object (`AudioFormat.SampleRate = 44100`).
class TFormat : public TVokPersistent, public IVokPublished {
  public:
    static const TVokClassInfo& ClassInfo() {
        using T = TFormat;
        static const TVokClassInfo info(
            "TFormTestFormat", nullptr, nullptr,
            {
                TVokProp::Integer("SampleRate", &T::m_sampleRate, &T::m_sampleRate, 11025),
                TVokProp::Integer("Channels", &T::m_channels, &T::m_channels, 2),
                TVokProp::Set("ChannelMask", {"spFrontLeft", "spFrontRight", "spFrontCenter"},
                              &T::m_mask, &T::m_mask, TSpeakers{spFrontLeft, spFrontRight}),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    uint32_t m_sampleRate = 11025;
    uint32_t m_channels = 2;
    TSpeakers m_mask{spFrontLeft, spFrontRight};
};

/// Names of the components whose `Loaded` ran, in order (cleared by the tests).
inline std::vector<std::string>& LoadedLog() {
    static std::vector<std::string> s_log;
    return s_log;
}

/// Base of the test components: logs `Loaded`.
class TNode : public TVokComponent {
  public:
    using TVokComponent::TVokComponent;
    void Loaded() override {
        TVokComponent::Loaded();
        LoadedLog().push_back(GetName());
    }
};

/// Stands for the capture component: one output pin, an enable state pin, a format.
class TAudioIn : public TNode {
  public:
    explicit TAudioIn(TVokComponent* owner) : TNode(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TAudioIn;
        static const TVokClassInfo info(
            "TFormTestAudioIn", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Bool("Enabled", &T::m_enabled, &T::m_enabled, true),
                TVokProp::Object("AudioFormat", &T::GetAudioFormat),
                TVokProp::Object("OutputPin", &T::GetOutputPin),
                TVokProp::Object("EnablePin", &T::GetEnablePin),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Loaded() override {
        m_sinksAtLoaded = m_outputPin->GetSinkCount();
        TNode::Loaded();
    }

    TFormat* GetAudioFormat() const { return m_format.get(); }
    TSource* GetOutputPin() const { return m_outputPin.get(); }
    TVokBoolStatePin* GetEnablePin() const { return m_enablePin.get(); }

    bool m_enabled = true;
    int m_sinksAtLoaded = -1;
    std::unique_ptr<TFormat> m_format = std::make_unique<TFormat>();
    TVokPinPtr<TSource> m_outputPin = MakePin<TSource>(this);
    TVokPinPtr<TVokBoolStatePin> m_enablePin = MakePin<TVokBoolStatePin>(this, 0, nullptr);
};

enum TClockSource : uint8_t { csInternal, csExternal };
enum TSignalType : uint8_t { atTone, atTriangle, atSquare };

/// Stands for the signal generator: clock input, output depending on it, enable state.
class TSignalGen : public TNode {
  public:
    explicit TSignalGen(TVokComponent* owner) : TNode(owner) {
        m_outputPin->FunctionSinkPins().Add(m_clockPin.get(), true);
    }
    static const TVokClassInfo& ClassInfo() {
        using T = TSignalGen;
        static const TVokClassInfo info(
            "TFormTestSignalGen", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Bool("Enabled", &T::m_enabled, &T::m_enabled, true),
                TVokProp::Integer("PumpPriority", &T::m_pumpPriority, &T::m_pumpPriority, 1),
                TVokProp::Enum("ClockSource", {"csInternal", "csExternal"}, &T::m_clockSource,
                               &T::m_clockSource, csInternal),
                TVokProp::Enum("SignalType", {"atTone", "atTriangle", "atSquare"}, &T::m_signalType,
                               &T::m_signalType, atTone),
                TVokProp::Object("AudioFormat", &T::GetAudioFormat),
                TVokProp::Integer("Amplitude", &T::m_amplitude, &T::m_amplitude, 20000),
                TVokProp::Float("Frequency", &T::m_frequency, &T::m_frequency, 500.0),
                TVokProp::Object("ClockPin", &T::GetClockPin),
                TVokProp::Object("OutputPin", &T::GetOutputPin),
                TVokProp::Object("EnablePin", &T::GetEnablePin),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TFormat* GetAudioFormat() const { return m_format.get(); }
    TSink* GetClockPin() const { return m_clockPin.get(); }
    TSource* GetOutputPin() const { return m_outputPin.get(); }
    TVokBoolStatePin* GetEnablePin() const { return m_enablePin.get(); }

    bool m_enabled = true;
    int m_pumpPriority = 1;
    TClockSource m_clockSource = csInternal;
    TSignalType m_signalType = atTone;
    int32_t m_amplitude = 20000;
    double m_frequency = 500.0;
    std::unique_ptr<TFormat> m_format = std::make_unique<TFormat>();
    TVokPinPtr<TSink> m_clockPin = MakePin<TSink>(this);
    TVokPinPtr<TSource> m_outputPin = MakePin<TSource>(this);
    TVokPinPtr<TVokBoolStatePin> m_enablePin = MakePin<TVokBoolStatePin>(this, 0, nullptr);
};

/// Stands for the splitter: one input, `CountChannels` outputs.
class TAudioToReal : public TNode {
  public:
    explicit TAudioToReal(TVokComponent* owner) : TNode(owner) { m_outputPins->SetCount(2); }
    static const TVokClassInfo& ClassInfo() {
        using T = TAudioToReal;
        static const TVokClassInfo info(
            "TFormTestAudioToReal", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Integer("CountChannels", &T::GetCountChannels, &T::SetCountChannels, 2),
                TVokProp::Object("InputPin", &T::GetInputPin),
                TVokProp::Object("OutputPins", &T::GetOutputPins),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int GetCountChannels() const { return m_outputPins->GetCount(); }
    void SetCountChannels(int count) { m_outputPins->SetCount(count); }
    TSink* GetInputPin() const { return m_inputPin.get(); }
    TVokPinListOwner* GetOutputPins() const { return m_outputPins.get(); }

    TVokPinPtr<TSink> m_inputPin = MakePin<TSink>(this);
    std::unique_ptr<TVokPinListOwner> m_outputPins =
        std::make_unique<TVokPinListOwner>(this, nullptr, CreateSources(), 32, 1);
};

/// Stands for the spectrum analyser: outputs and frequency outputs per channel.
class TSpectrum : public TNode {
  public:
    explicit TSpectrum(TVokComponent* owner) : TNode(owner) { SetCountChannels(2); }
    static const TVokClassInfo& ClassInfo() {
        using T = TSpectrum;
        static const TVokClassInfo info(
            "TFormTestSpectrum", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Integer("CountChannels", &T::GetCountChannels, &T::SetCountChannels, 2),
                TVokProp::Integer("SamplingWindowStep", &T::m_step, &T::m_step, 128),
                TVokProp::Object("InputPin", &T::GetInputPin),
                TVokProp::Object("OutputPins", &T::GetOutputPins),
                TVokProp::Object("FrequencyOutputPins", &T::GetFrequencyOutputPins),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    int GetCountChannels() const { return m_outputPins->GetCount(); }
    void SetCountChannels(int count) {
        m_outputPins->SetCount(count);
        m_frequencyPins->SetCount(count);
    }
    TSink* GetInputPin() const { return m_inputPin.get(); }
    TVokPinListOwner* GetOutputPins() const { return m_outputPins.get(); }
    TVokPinListOwner* GetFrequencyOutputPins() const { return m_frequencyPins.get(); }

    int m_step = 128;
    TVokPinPtr<TSink> m_inputPin = MakePin<TSink>(this);
    std::unique_ptr<TVokPinListOwner> m_outputPins =
        std::make_unique<TVokPinListOwner>(this, nullptr, CreateSources(), 32, 1);
    std::unique_ptr<TVokPinListOwner> m_frequencyPins =
        std::make_unique<TVokPinListOwner>(this, nullptr, CreateSources(), 32, 1);
};

/// Stands for the adder and the merger: several inputs, one output.
class TAdd : public TNode {
  public:
    explicit TAdd(TVokComponent* owner) : TNode(owner) { m_inputPins->SetCount(2); }
    static const TVokClassInfo& ClassInfo() {
        using T = TAdd;
        static const TVokClassInfo info("TFormTestAdd", &TVokComponent::ClassInfo(),
                                        TVokClassInfo::FactoryOf<T>,
                                        {
                                            TVokProp::Object("InputPins", &T::GetInputPins),
                                            TVokProp::Object("OutputPin", &T::GetOutputPin),
                                        });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokPinListOwner* GetInputPins() const { return m_inputPins.get(); }
    TSource* GetOutputPin() const { return m_outputPin.get(); }

    std::unique_ptr<TVokPinListOwner> m_inputPins =
        std::make_unique<TVokPinListOwner>(this, nullptr, CreateSinks(), 16, 1);
    TVokPinPtr<TSource> m_outputPin = MakePin<TSource>(this);
};

class TScope;

/// A display channel: owns the input pin it adds to its scope's `InputPins`.
class TChannel : public TVokExtCollectionItem {
  public:
    explicit TChannel(TVokExtCollection* collection);
    static const TVokClassInfo& ClassInfo() {
        using T = TChannel;
        static const TVokClassInfo info(
            "TFormTestChannel", &TVokExtCollectionItem::ClassInfo(), nullptr,
            {
                TVokProp::String("Name", &T::GetName, &T::SetName, ""),
                TVokProp::Integer("Color", &T::m_color, &T::m_color, 255),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name);

    std::string m_name;
    int32_t m_color = 255;
    TVokPinPtr<TSink> m_pin;
    TScope* m_scope = nullptr;
};

/// Stands for a scope: a channel collection whose pins make up the plain list `InputPins`.
class TScope : public TNode {
  public:
    explicit TScope(TVokComponent* owner) : TNode(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TScope;
        static const TVokClassInfo info("TFormTestScope", &TVokComponent::ClassInfo(),
                                        TVokClassInfo::FactoryOf<T>,
                                        {
                                            TVokProp::Collection("Channels", &T::GetChannels),
                                            TVokProp::Object("InputPins", &T::GetInputPins),
                                        });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TVokExtCollection* GetChannels() const { return m_channels.get(); }
    TVokPinList* GetInputPins() const { return m_inputPins.get(); }

    std::unique_ptr<TVokPinList> m_inputPins = std::make_unique<TVokPinList>(this, false);
    std::unique_ptr<TVokExtCollection> m_channels =
        std::make_unique<TVokExtCollection>(this, TVokCollectionItemClass::Of<TChannel>());
};

inline TChannel::TChannel(TVokExtCollection* collection) : TVokExtCollectionItem(collection) {
    m_scope = dynamic_cast<TScope*>(collection != nullptr ? collection->GetOwner() : nullptr);
    m_name = "Channel" + std::to_string(GetIndex());
    if (m_scope != nullptr) {
        m_pin = MakePin<TSink>(m_scope);
        m_pin->SetUpstreamTypeFree(true);
        m_scope->m_inputPins->AddNamed(m_pin.get(), m_name);
    }
}

inline void TChannel::SetName(const std::string& name) {
    m_name = name;
    if (m_scope != nullptr) {
        const int index = m_scope->m_inputPins->IndexOf(m_pin.get());
        if (index >= 0) {
            m_scope->m_inputPins->SetPinDisplayName(index, name);
        }
    }
}

/// Stands for the waterfall: one input pin.
class TWaterfall : public TNode {
  public:
    explicit TWaterfall(TVokComponent* owner) : TNode(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TWaterfall;
        static const TVokClassInfo info("TFormTestWaterfall", &TVokComponent::ClassInfo(),
                                        TVokClassInfo::FactoryOf<T>,
                                        {TVokProp::Object("InputPin", &T::GetInputPin)});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    TSink* GetInputPin() const { return m_inputPin.get(); }
    TVokPinPtr<TSink> m_inputPin = MakePin<TSink>(this);
};

/// One item of `TKinds::Items`.
class TItem : public TVokExtCollectionItem {
  public:
    using TVokExtCollectionItem::TVokExtCollectionItem;
    static const TVokClassInfo& ClassInfo() {
        using T = TItem;
        static const TVokClassInfo info("TFormTestItem", &TVokExtCollectionItem::ClassInfo(),
                                        nullptr,
                                        {
                                            TVokProp::Integer("Value", &T::m_value, &T::m_value, 0),
                                            TVokProp::String("Label", &T::m_label, &T::m_label, ""),
                                        });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    int32_t m_value = 0;
    std::string m_label;
};

using TChangeEvent = std::function<void()>;

/// A property of every kind: integer, float, bool, string, enum, set, sub-object, reference to
/// another component, collection and event. `Fail` throws from its setter when set to a
/// non-zero value; `FailLoaded` makes `Loaded` throw.
class TKinds : public TNode {
  public:
    explicit TKinds(TVokComponent* owner) : TNode(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TKinds;
        static const TVokClassInfo info(
            "TFormTestKinds", &TVokComponent::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {
                TVokProp::Integer("Count", &T::m_count, &T::m_count, 0),
                TVokProp::Integer("Small", &T::m_small, &T::m_small, 0),
                TVokProp::Float("Ratio", &T::m_ratio, &T::m_ratio, 1.0),
                TVokProp::Bool("Active", &T::m_active, &T::m_active, false),
                TVokProp::String("Caption", &T::m_caption, &T::m_caption, "Kinds"),
                TVokProp::Enum("Shape", {"atTone", "atTriangle", "atSquare"}, &T::m_shape,
                               &T::m_shape, atTone),
                TVokProp::Set("Speakers", {"spFrontLeft", "spFrontRight", "spFrontCenter"},
                              &T::m_speakers, &T::m_speakers, TSpeakers{}),
                TVokProp::Object("Format", &T::GetFormat),
                TVokProp::Object("Partner", &T::m_partner, &T::m_partner),
                TVokProp::Collection("Items", &T::GetItems),
                TVokProp::Event("OnChange", &T::m_onChange, &T::m_onChange),
                TVokProp::Integer("Fail", &T::m_fail, &T::SetFail, 0),
                TVokProp::Bool("FailLoaded", &T::m_failLoaded, &T::m_failLoaded, false),
            });
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Loaded() override {
        if (m_failLoaded) {
            throw std::runtime_error("Loaded refused by " + GetName());
        }
        TNode::Loaded();
    }

    TFormat* GetFormat() const { return m_format.get(); }
    TVokExtCollection* GetItems() const { return m_items.get(); }
    void SetFail(int32_t value) {
        if (value != 0) {
            throw std::invalid_argument("Fail refuses " + std::to_string(value));
        }
        m_fail = value;
    }

    int64_t m_count = 0;
    int16_t m_small = 0;
    double m_ratio = 1.0;
    bool m_active = false;
    std::string m_caption = "Kinds";
    TSignalType m_shape = atTone;
    TSpeakers m_speakers;
    TVokComponent* m_partner = nullptr;
    TChangeEvent m_onChange;
    int32_t m_fail = 0;
    bool m_failLoaded = false;
    std::unique_ptr<TFormat> m_format = std::make_unique<TFormat>();
    std::unique_ptr<TVokExtCollection> m_items =
        std::make_unique<TVokExtCollection>(this, TVokCollectionItemClass::Of<TItem>());
};

/// The window's root class of the test descriptions.
class TForm : public TVokForm {
  public:
    explicit TForm(TVokComponent* owner = nullptr) : TVokForm(owner) {}
    static const TVokClassInfo& ClassInfo() {
        using T = TForm;
        static const TVokClassInfo info(
            "TFormTestForm", &TVokForm::ClassInfo(), TVokClassInfo::FactoryOf<T>,
            {TVokProp::String("Caption", &T::m_caption, &T::m_caption, "")});
        return info;
    }
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    void Loaded() override {
        TVokForm::Loaded();
        LoadedLog().push_back(GetName());
    }
    std::string m_caption;
};

/// Registers every test class (harmless to call again).
inline void RegisterFormTestClasses() {
    RegisterVokClass(TAudioIn::ClassInfo());
    RegisterVokClass(TSignalGen::ClassInfo());
    RegisterVokClass(TAudioToReal::ClassInfo());
    RegisterVokClass(TSpectrum::ClassInfo());
    RegisterVokClass(TAdd::ClassInfo());
    RegisterVokClass(TScope::ClassInfo());
    RegisterVokClass(TWaterfall::ClassInfo());
    RegisterVokClass(TKinds::ClassInfo());
    RegisterVokClass(TForm::ClassInfo());
}

} // namespace formtest
