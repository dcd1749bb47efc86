#include "components/ZemMultiInput.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {
/// Blocks an input may hold while the output cannot take them (see `KeepBuffer`).
constexpr uint64_t kMaxQueuedBlocks = 256;
} // namespace

uint32_t ZemNearestBlockSamples(double value) {
    if (!(value > 0.0)) {
        return 0; // also NaN
    }
    if (value >= static_cast<double>(kZemMaxBlockSamples)) {
        return kZemMaxBlockSamples;
    }
    // lrint follows the current rounding mode, which is to nearest with ties to even.
    return static_cast<uint32_t>(std::lrint(value));
}

// ---- TZemVokQueuedRealSinkPin -----------------------------------------------------------------

TZemVokQueuedRealSinkPin::TZemVokQueuedRealSinkPin(TVokComponent* owner, TZemPinHandler dataHandler)
    : TZemVokRealSinkPin(owner, dataHandler) {
}

bool TZemVokQueuedRealSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kZemQueuedRealSinkPinInterface || TZemVokRealSinkPin::QueryType(typeId);
}

void TZemVokQueuedRealSinkPin::TakeStart(const TVokStartSampleRateOperation& start) {
    const double rate = start.GetSampleRate();
    m_inputRate = std::isfinite(rate) && rate > 0.0 ? rate : 0.0;
    m_inputBlockLength = start.GetBlockSize();
    m_started = true;
    m_stopped = false;
}

void TZemVokQueuedRealSinkPin::KeepBuffer(TRef<IZemDataBuffer> buffer, bool outputRunning) {
    const uint64_t limit = kMaxQueuedBlocks * std::max<uint64_t>(GetBlockSamples(), 1024);
    if (!outputRunning || m_queue.GetAvailable() > limit) {
        m_queue.Clear();
    }
    m_queue.AddBuffer(std::move(buffer));
}

bool TZemVokQueuedRealSinkPin::ExtractBlock(TZemRealBuffer& destination) {
    const uint32_t blockSamples = m_blockSamples;
    const uint32_t size = destination.GetSize();
    if (blockSamples == 0) {
        return false;
    }
    if (blockSamples == size) {
        return m_queue.ExtractSamples(destination);
    }
    if (m_queue.GetAvailable() < blockSamples) {
        return false;
    }
    if (!m_scratch || m_scratch->GetSize() != blockSamples) {
        m_scratch = MakeRef<TZemRealBuffer>(blockSamples);
    }
    if (!m_queue.ExtractSamples(*m_scratch)) {
        return false;
    }
    const double* input = m_scratch->GetReadPointer();
    double* output = destination.GetWritePointer();
    const uint32_t last = blockSamples - 1;
    const double step = static_cast<double>(last) / size;
    // The position is accumulated, not multiplied out, so that every block picks the same
    // input samples as the rule states; it stays below 2^27, where lrint is exact.
    double position = 0.0;
    for (uint32_t k = 0; k < size; ++k) {
        const auto index = static_cast<uint32_t>(std::lrint(position));
        output[k] = input[std::min(last, index)];
        position += step;
    }
    return true;
}

// ---- TZemMultiInput ---------------------------------------------------------------------------

TZemMultiInput::TZemMultiInput(TVokComponent* owner) : TVokComponent(owner) {
}

TZemMultiInput::~TZemMultiInput() = default;

const TVokClassInfo& TZemMultiInput::ClassInfo() {
    using T = TZemMultiInput;
    static const TVokClassInfo info(
        "TZemMultiInput", &TVokComponent::ClassInfo(), nullptr,
        {
            TVokProp::Integer("BufferSize", &T::GetBufferSize, &T::SetBufferSize, 1024),
        });
    return info;
}

int32_t TZemMultiInput::GetBufferSize() const {
    TVokReadLockSection section(const_cast<TVokObject&>(m_lock));
    return m_bufferSize;
}

void TZemMultiInput::SetBufferSize(int32_t bufferSize) {
    if (bufferSize < 1 || static_cast<uint32_t>(bufferSize) > kZemMaxBlockSamples) {
        throw std::invalid_argument(
            "BufferSize of " + (GetName().empty() ? GetClassInfo().GetClassName() : GetName()) +
            " must lie in 1 … " + std::to_string(kZemMaxBlockSamples) + ", not " +
            std::to_string(bufferSize));
    }
    TVokWriteLockSection section(m_lock);
    if (bufferSize == m_bufferSize) {
        return;
    }
    m_bufferSize = bufferSize;
    if (m_started) {
        TryStart();
    }
}

TVokNotifyResults TZemMultiInput::HandleInput(TVokBasicPin* pin, const TVokGuid& /*typeId*/,
                                              TVokNotifyFlags /*flags*/,
                                              TVokNotifyOperation* operation) {
    auto* input = dynamic_cast<TZemVokQueuedRealSinkPin*>(pin);
    if (input == nullptr || operation == nullptr) {
        return {};
    }
    return ProcessInputOperation(*input, operation);
}

TVokNotifyResults TZemMultiInput::HandleOutput(TVokBasicPin* /*pin*/, const TVokGuid& /*typeId*/,
                                               TVokNotifyFlags /*flags*/,
                                               TVokNotifyOperation* operation) {
    if (operation == nullptr) {
        return {};
    }
    return ProcessOutputOperation(operation);
}

TVokNotifyResults TZemMultiInput::ProcessInputOperation(TZemVokQueuedRealSinkPin& pin,
                                                        TVokNotifyOperation* operation) {
    if (auto* start = OperationAs<TVokStartSampleRateOperation>(operation)) {
        pin.TakeStart(*start);
        pin.SetIgnoring(false);
        TryStart();
        return {};
    }
    if (OperationAs<TVokStopOperation>(operation) != nullptr) {
        pin.SetStopped(true);
        pin.SetIgnoring(true);
        pin.SetQueryEnabled(false);
        if (StopsWithAnyInput()) {
            pin.SetStarted(false);
            // What is left belongs to a stream that has ended; it will never be taken.
            pin.GetQueue().Clear();
        }
        const bool anyStarted = std::any_of(m_inputs.begin(), m_inputs.end(),
                                            [](const auto* input) { return input->IsStarted(); });
        // An output that never started has no stream to end.
        if (!anyStarted && m_started) {
            StopOutput();
        }
        return {};
    }
    if (OperationAs<TVokStartPumpOperation>(operation) != nullptr && !m_started) {
        m_pumpRequested = true;
        return {};
    }
    if (OperationAs<TVokIgnoreStreamOperation>(operation) != nullptr) {
        pin.SetIgnoring(true);
        return GetOutputPin()->Notify(operation);
    }
    if (auto* supplied = OperationAs<TVokSuppliedBufferOperation>(operation)) {
        auto* buffer = BufferCast<TZemRealBuffer>(supplied->GetBuffer());
        // Samples are kept only where they can be used: an input that has not started never
        // contributes, and one whose block length is 0 contributes nothing while the output
        // runs. Before the output starts only the newest buffer is kept, so that an input
        // waiting for the others cannot pile up samples without bound.
        if (buffer == nullptr || !pin.IsStarted() || (m_started && pin.GetBlockSamples() == 0)) {
            return {};
        }
        pin.KeepBuffer(TRef<IZemDataBuffer>(buffer), m_started);
        TryProcess();
        return {};
    }
    if (OperationAs<TVokPumpRequestOperation>(operation) != nullptr) {
        return {};
    }
    return GetOutputPin()->Notify(operation);
}

TVokNotifyResults TZemMultiInput::ProcessOutputOperation(TVokNotifyOperation* operation) {
    bool anyConnected = false;
    for (size_t i = 0; i < m_inputs.size(); ++i) {
        TZemVokQueuedRealSinkPin* input = m_inputs[i];
        if (input->IsConnected()) {
            anyConnected = true;
            input->Notify(operation);
        }
    }
    if (!anyConnected) {
        if (OperationAs<TVokStartOperation>(operation) != nullptr) {
            TRef<TVokNotifyOperation> pump = MakeRef<TVokPumpRequestOperation>();
            GetOutputPin()->Notify(pump.Get());
        }
        GetOutputPin()->Notify(operation);
    }
    return {};
}

void TZemMultiInput::StopOutput() {
    m_started = false;
    m_ratesKnown = false;
}

bool TZemMultiInput::IsReadyToStart(TZemVokQueuedRealSinkPin& pin) {
    if (pin.IsStarted() || !pin.IsConnected() || !pin.IsQueryEnabled()) {
        return true;
    }
    // Ask the source whether it will deliver; a source that will not answers with an ignore
    // operation, which arrives at this pin during the call.
    pin.SetIgnoring(false);
    TRef<TVokNotifyOperation> query = MakeRef<TVokQueryStreamOperation>();
    pin.Notify(query.Get());
    return pin.IsIgnoring();
}

bool TZemMultiInput::IsReadyForBlock(const TZemVokQueuedRealSinkPin& pin) const {
    if (!pin.IsConnected()) {
        return true;
    }
    if (!pin.IsStarted()) {
        // A pin that has not started does not hold the others back.
        return pin.IsIgnoring() || pin.IsStopped() || pin.IsQueryEnabled();
    }
    return pin.GetQueue().GetAvailable() >= pin.GetBlockSamples();
}

void TZemMultiInput::ComputeBlockSamples() {
    for (TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (input->IsConnected() && input->IsStarted()) {
            const double samples = m_outputRate > 0.0 ? static_cast<double>(m_bufferSize) *
                                                            input->GetInputRate() / m_outputRate
                                                      : 0.0;
            input->SetBlockSamples(ZemNearestBlockSamples(samples));
        } else {
            input->SetStopped(true);
        }
    }
}

void TZemMultiInput::TryStart() {
    if (m_started) {
        ComputeBlockSamples();
        return;
    }
    if (!m_ratesKnown) {
        m_outputRate = 0.0;
        for (size_t i = 0; i < m_inputs.size(); ++i) {
            const bool ready = IsReadyToStart(*m_inputs[i]);
            if (m_started || m_ratesKnown) {
                return; // an operation that arrived during the query finished the negotiation
            }
            if (!ready) {
                return; // the start waits for the next start operation
            }
        }
        double rate = 0.0;
        for (const TZemVokQueuedRealSinkPin* input : m_inputs) {
            if (input->IsConnected() && input->IsStarted()) {
                rate = std::max(rate, input->GetInputRate());
            }
        }
        if (rate <= 0.0) {
            return; // no started input announced a usable rate
        }
        m_outputRate = rate;
        m_ratesKnown = true;
    }
    ComputeBlockSamples();
    m_outputRate = std::nearbyint(m_outputRate);
    // Marked before the start goes out, so that anything the start provokes downstream sees a
    // running output and does not start it a second time.
    m_started = true;
    TRef<TVokNotifyOperation> start =
        MakeRef<TVokStartSampleRateOperation>(m_bufferSize, m_outputRate);
    GetOutputPin()->Notify(start.Get());
    if (m_pumpRequested) {
        m_pumpRequested = false;
        TRef<TVokNotifyOperation> pump = MakeRef<TVokPumpRequestOperation>();
        GetOutputPin()->Notify(pump.Get());
    }
}

void TZemMultiInput::TryProcess() {
    if (m_busy || !m_started) {
        return;
    }
    // Every complete block is made now. The count queued on entry bounds the loop, so that
    // producers on other threads cannot keep it running.
    uint64_t blocks = std::numeric_limits<uint64_t>::max();
    bool anyContributes = false;
    for (const TZemVokQueuedRealSinkPin* input : m_inputs) {
        if (input->IsStarted() && input->GetBlockSamples() > 0 && input->IsConnected()) {
            anyContributes = true;
            blocks = std::min(blocks, input->GetQueue().GetAvailable() / input->GetBlockSamples());
        }
    }
    if (!anyContributes) {
        return;
    }
    m_busy = true;
    try {
        for (uint64_t block = 0; block < blocks && m_started; ++block) {
            const bool ready =
                std::all_of(m_inputs.begin(), m_inputs.end(),
                            [this](const auto* input) { return IsReadyForBlock(*input); });
            if (!ready) {
                break;
            }
            ProcessBlock();
        }
    } catch (...) {
        m_busy = false;
        throw;
    }
    m_busy = false;
}

TZemVokQueuedRealSinkPin* TZemMultiInput::CreateInputPin() {
    TVokGlobalWriteLockSection global;
    auto pin = MakePin<TZemVokQueuedRealSinkPin>(
        this, TZemPinHandler::Of<&TZemMultiInput::HandleInput>(this));
    TVokObject::LinkObjects(&m_lock, pin.get());
    if (TZemVokSourcePin* output = GetOutputPin()) {
        output->FunctionSinkPins().Add(pin.get(), true);
    }
    m_inputs.push_back(pin.get());
    return pin.release();
}

void TZemMultiInput::RemoveInputPin(TZemVokQueuedRealSinkPin* pin) {
    TVokGlobalWriteLockSection global;
    m_inputs.erase(std::remove(m_inputs.begin(), m_inputs.end(), pin), m_inputs.end());
}

// ---- TZemRealMultiInput -----------------------------------------------------------------------

TZemRealMultiInput::TZemRealMultiInput(TVokComponent* owner)
    : TZemMultiInput(owner), m_outputPin(MakePin<TZemVokRealSourcePin>(this, OutputHandler())) {
    TVokObject::LinkObjects(&m_lock, m_outputPin.get());
}

TZemRealMultiInput::~TZemRealMultiInput() = default;

const TVokClassInfo& TZemRealMultiInput::ClassInfo() {
    using T = TZemRealMultiInput;
    static const TVokClassInfo info("TZemRealMultiInput", &TZemMultiInput::ClassInfo(), nullptr,
                                    {
                                        TVokProp::Object("OutputPin", &T::GetRealOutputPin),
                                    });
    return info;
}

void TZemRealMultiInput::StopOutput() {
    TZemMultiInput::StopOutput();
    m_outputPin->SendStop();
}
