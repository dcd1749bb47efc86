#include "components/ZemAdd.h"

TZemAdd::TZemAdd(TVokComponent* owner) : TZemRealMultiInput(owner) {
    m_inputPins = std::make_unique<TVokPinListOwner>(
        this,
        [this](TVokPinListOwner& /*list*/, TVokBasicPin* pin) {
            if (auto* input = dynamic_cast<TZemVokQueuedRealSinkPin*>(pin)) {
                RemoveInputPin(input);
            }
        },
        [this](TVokPinListOwner& /*list*/) -> TVokBasicPin* { return CreateInputPin(); }, 100, 2);
    TVokObject::LinkObjects(&m_lock, m_inputPins.get());
}

TZemAdd::~TZemAdd() {
    // The pins go while this object is still whole: each unlink tells its input that the
    // stream stopped, which may end the output.
    m_inputPins.reset();
}

const TVokClassInfo& TZemAdd::ClassInfo() {
    using T = TZemAdd;
    static const TVokClassInfo info("TZemAdd", &TZemRealMultiInput::ClassInfo(),
                                    TVokClassInfo::FactoryOf<T>,
                                    {
                                        TVokProp::Object("InputPins", &T::GetInputPins),
                                    });
    return info;
}

void TZemAdd::ProcessBlock() {
    const auto size = static_cast<uint32_t>(m_bufferSize);
    TRef<TZemRealBuffer> result = MakeRef<TZemRealBuffer>(size);
    if (!m_temporary || m_temporary->GetSize() != size) {
        m_temporary = MakeRef<TZemRealBuffer>(size);
    }
    bool filled = false;
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (!input->IsConnected() || !input->IsStarted()) {
            continue;
        }
        // An input that cannot supply its block contributes nothing.
        if (!filled) {
            filled = input->ExtractBlock(*result);
        } else if (input->ExtractBlock(*m_temporary)) {
            result->Add(*m_temporary);
        }
    }
    if (filled) {
        m_outputPin->SendBuffer(result);
    }
}
