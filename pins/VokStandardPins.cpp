#include "pins/VokStandardPins.h"

#include <cmath>
#include <limits>

namespace {

/// Passes `operation` to `receiver`'s interface of `typeId`.
TVokNotifyResults Deliver(TVokBasicPin* receiver, const TVokGuid& typeId,
                          TVokNotifyOperation* operation, TVokNotifyFlags flags) {
    return receiver->Receive(typeId, operation, flags);
}

template <class TOperation, class TValue>
TVokNotifyResults DeliverNew(TVokBasicPin* receiver, const TVokGuid& typeId, TValue value,
                             TVokNotifyFlags flags) {
    TRef<TVokNotifyOperation> operation = MakeRef<TOperation>(value);
    return receiver->Receive(typeId, operation.Get(), flags);
}

} // namespace

int32_t VokRoundToInteger(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double rounded = std::nearbyint(static_cast<double>(value));
    if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(rounded);
}

// ---- clock pins ------------------------------------------------------------------------------

TVokClockSourcePin::TVokClockSourcePin(TVokComponent* owner) : TVokSourcePin(owner) {
    AddStreamType(kVokClockType, TVokLinkHandler::Of<&TVokClockSourcePin::DispatchClock>(this));
}

TVokNotifyResults TVokClockSourcePin::DispatchClock(TVokBasicPin* receiver,
                                                    const TVokGuid& /*typeId*/,
                                                    TVokNotifyFlags flags,
                                                    TVokNotifyOperation* operation) {
    if (receiver->QueryType(kVokClockType) && !flags.Contains(nfLinkChanged) &&
        OperationAs<TVokClockOperation>(operation) != nullptr) {
        receiver->Clock();
    }
    return {};
}

TVokClockSinkPin::TVokClockSinkPin(TVokComponent* owner, int tag, TClockHandler clockHandler)
    : TVokSinkPin(owner), m_tag(tag), m_clockHandler(std::move(clockHandler)) {
}

bool TVokClockSinkPin::QueryType(const TVokGuid& typeId) const {
    return typeId == kVokClockType || TVokSinkPin::QueryType(typeId);
}

void TVokClockSinkPin::Clock() {
    if (m_clockHandler) {
        m_clockHandler(*this);
    }
}

// ---- TVokRealSourcePin -----------------------------------------------------------------------

TVokRealSourcePin::TVokRealSourcePin(TVokComponent* owner) : TVokClockSourcePin(owner) {
    const TVokLinkHandler real = TVokLinkHandler::Of<&TVokRealSourcePin::DispatchReal>(this);
    AddStreamType(kVokFloatType, real);
    AddStreamType(kVokRealType, real);
}

void TVokRealSourcePin::SetValue(double value) {
    {
        TVokWriteLockSection section(*this);
        if (value == m_value) {
            return;
        }
        m_value = value;
    }
    TRef<TVokNotifyOperation> operation = MakeRef<TVokSuppliedRealOperation>(value);
    Notify(operation.Get());
}

double TVokRealSourcePin::GetValue() const {
    TVokReadLockSection section(const_cast<TVokRealSourcePin&>(*this));
    return m_value;
}

void TVokRealSourcePin::SetCustomLinkHandler(TVokLinkHandler handler) {
    TVokWriteLockSection section(*this);
    m_customLinkHandler = handler;
}

TVokNotifyResults TVokRealSourcePin::DispatchReal(TVokBasicPin* receiver, const TVokGuid& typeId,
                                                  TVokNotifyFlags flags,
                                                  TVokNotifyOperation* operation) {
    const bool linkChanged = flags.Contains(nfLinkChanged);
    if (receiver->QueryType(kVokRealType)) {
        if (m_customLinkHandler.IsAssigned()) {
            return m_customLinkHandler(receiver, typeId, flags, operation);
        }
        if (linkChanged) {
            DeliverNew<TVokSuppliedRealOperation>(receiver, kVokRealType, m_value, flags);
        } else {
            Deliver(receiver, kVokRealType, operation, flags);
        }
        return {};
    }
    if (receiver->QueryType(kVokFloatType)) {
        if (m_customLinkHandler.IsAssigned()) {
            return m_customLinkHandler(receiver, typeId, flags, operation);
        }
        if (linkChanged) {
            DeliverNew<TVokSuppliedSingleOperation>(receiver, kVokFloatType,
                                                    static_cast<float>(m_value), flags);
        } else if (const auto* real = OperationAs<TVokSuppliedRealOperation>(operation)) {
            DeliverNew<TVokSuppliedSingleOperation>(receiver, kVokFloatType,
                                                    static_cast<float>(real->GetValue()), flags);
        } else {
            Deliver(receiver, kVokFloatType, operation, flags);
        }
    }
    return {};
}

// ---- TVokBoolStatePin ------------------------------------------------------------------------

TVokBoolStatePin::TVokBoolStatePin(TVokComponent* owner, int tag, TChangeHandler changeHandler)
    : TVokStatePin(owner), m_tag(tag), m_changeHandler(std::move(changeHandler)) {
    AddStreamType(kVokBoolType, TVokLinkHandler::Of<&TVokBoolStatePin::DispatchState>(this));
}

bool TVokBoolStatePin::QueryType(const TVokGuid& typeId) const {
    return typeId == kVokBoolType || TVokStatePin::QueryType(typeId);
}

void TVokBoolStatePin::SetValue(bool value) {
    if (m_value.exchange(value) == value) {
        return;
    }
    TRef<TVokNotifyOperation> operation = MakeRef<TVokSuppliedBoolOperation>(value);
    Notify(operation.Get());
}

bool TVokBoolStatePin::GetValue() const {
    return m_value.load();
}

void TVokBoolStatePin::SetCustomLinkHandler(TVokLinkHandler handler) {
    TVokWriteLockSection section(*this);
    m_customLinkHandler = handler;
}

TVokNotifyResults TVokBoolStatePin::DispatchState(TVokBasicPin* receiver, const TVokGuid& typeId,
                                                  TVokNotifyFlags flags,
                                                  TVokNotifyOperation* operation) {
    if (const auto* supplied = OperationAs<TVokSuppliedBoolOperation>(operation)) {
        m_value = supplied->GetValue();
    }
    if (!receiver->QueryType(kVokBoolType)) {
        return {};
    }
    if (m_customLinkHandler.IsAssigned()) {
        return m_customLinkHandler(receiver, typeId, flags, operation);
    }
    if (flags.Contains(nfLinkChanged)) {
        DeliverNew<TVokSuppliedBoolOperation>(receiver, kVokBoolType, m_value.load(), flags);
    } else {
        Deliver(receiver, kVokBoolType, operation, flags);
    }
    return {};
}

TVokNotifyResults TVokBoolStatePin::Receive(const TVokGuid& /*typeId*/,
                                            TVokNotifyOperation* operation,
                                            TVokNotifyFlags /*flags*/) {
    const auto* supplied = OperationAs<TVokSuppliedBoolOperation>(operation);
    if (supplied == nullptr) {
        return {};
    }
    m_value = supplied->GetValue();
    if (m_changeHandler) {
        m_changeHandler(*this, supplied->GetValue());
    }
    return {};
}

// ---- TVokFloatIntStatePin --------------------------------------------------------------------

TVokFloatIntStatePin::TVokFloatIntStatePin(TVokComponent* owner, int tag,
                                           TChangeHandler changeHandler)
    : TVokStatePin(owner), m_tag(tag), m_changeHandler(std::move(changeHandler)) {
    const TVokLinkHandler state = TVokLinkHandler::Of<&TVokFloatIntStatePin::DispatchState>(this);
    AddStreamType(kVokFloatType, state);
    AddStreamType(kVokIntegerType, state);
}

bool TVokFloatIntStatePin::QueryType(const TVokGuid& typeId) const {
    return typeId == kVokFloatType || typeId == kVokIntegerType || TVokStatePin::QueryType(typeId);
}

void TVokFloatIntStatePin::SetValue(float value) {
    if (m_value.exchange(value) == value) {
        return;
    }
    TRef<TVokNotifyOperation> operation = MakeRef<TVokSuppliedMulticastOperation>();
    Notify(operation.Get());
}

float TVokFloatIntStatePin::GetValue() const {
    return m_value.load();
}

void TVokFloatIntStatePin::SetCustomFloatLinkHandler(TVokLinkHandler handler) {
    TVokWriteLockSection section(*this);
    m_customFloatLinkHandler = handler;
}

void TVokFloatIntStatePin::SetCustomIntegerLinkHandler(TVokLinkHandler handler) {
    TVokWriteLockSection section(*this);
    m_customIntegerLinkHandler = handler;
}

TVokNotifyResults TVokFloatIntStatePin::DispatchState(TVokBasicPin* receiver,
                                                      const TVokGuid& typeId, TVokNotifyFlags flags,
                                                      TVokNotifyOperation* operation) {
    const bool refresh = flags.Contains(nfLinkChanged) ||
                         OperationAs<TVokSuppliedMulticastOperation>(operation) != nullptr;
    if (receiver->QueryType(kVokFloatType)) {
        if (m_customFloatLinkHandler.IsAssigned()) {
            return m_customFloatLinkHandler(receiver, typeId, flags, operation);
        }
        if (refresh) {
            return DeliverNew<TVokSuppliedSingleOperation>(receiver, kVokFloatType, m_value.load(),
                                                           flags);
        }
        return Deliver(receiver, kVokFloatType, operation, flags);
    }
    if (receiver->QueryType(kVokIntegerType)) {
        if (m_customIntegerLinkHandler.IsAssigned()) {
            return m_customIntegerLinkHandler(receiver, typeId, flags, operation);
        }
        if (refresh) {
            return DeliverNew<TVokSuppliedIntegerOperation>(
                receiver, kVokIntegerType, VokRoundToInteger(m_value.load()), flags);
        }
        return Deliver(receiver, kVokIntegerType, operation, flags);
    }
    return {};
}

TVokNotifyResults TVokFloatIntStatePin::Receive(const TVokGuid& /*typeId*/,
                                                TVokNotifyOperation* operation,
                                                TVokNotifyFlags /*flags*/) {
    float value;
    if (const auto* integer = OperationAs<TVokSuppliedIntegerOperation>(operation)) {
        value = static_cast<float>(integer->GetValue());
    } else if (const auto* single = OperationAs<TVokSuppliedSingleOperation>(operation)) {
        value = single->GetValue();
    } else {
        return {};
    }
    m_value = value;
    if (m_changeHandler) {
        m_changeHandler(*this, value);
    }
    return {};
}
