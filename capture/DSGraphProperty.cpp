#include "capture/DSGraphProperty.h"

#include "pins/VokFiler.h"

#include <cstdio>
#include <utility>

namespace {

std::string FormatDSError(const std::string& errorText, int32_t errorCode) {
    const auto code = static_cast<uint32_t>(errorCode);
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, " - %u - %x", code, code);
    return errorText + numbers;
}

} // namespace

EDSException::EDSException(const std::string& errorText, int32_t errorCode)
    : std::runtime_error(FormatDSError(errorText, errorCode)), m_errorText(errorText),
      m_errorCode(errorCode) {
}

// ---- additional filters ----------------------------------------------------------------------

TDSFilterItem::TDSFilterItem(TVokExtCollection* collection) : TVokExtCollectionItem(collection) {
}

const TVokClassInfo& TDSFilterItem::ClassInfo() {
    using T = TDSFilterItem;
    static const TVokClassInfo info(
        "TDSFilterItem", &TVokExtCollectionItem::ClassInfo(), nullptr,
        {
            // Stored with the moniker name in "Data".
            TVokProp::String("FilterName", &T::GetFilterName, &T::SetFilterName, "None")
                .NotStored(),
        });
    return info;
}

void TDSFilterItem::SetFilterName(const std::string& name) {
    if (name == m_filterName) {
        return;
    }
    if (name.empty()) {
        m_filterName.clear();
        m_monikerName.clear();
        Changed(false);
        return;
    }
    THoxDSCapDeviceList list;
    list.FillFilters();
    if (std::optional<std::string> moniker = list.FindMonikerName(name)) {
        m_monikerName = *moniker;
        m_filterName = name;
        Changed(false);
    }
}

std::string TDSFilterItem::GetDisplayName() const {
    return "Filter " + std::to_string(GetIndex() + 1);
}

void TDSFilterItem::DefineProperties(TVokFiler& filer) {
    filer.DefineProperty(
        "Data",
        [this](TVokReader& reader) {
            reader.ReadListBegin();
            std::string moniker = reader.ReadString();
            std::string name = reader.ReadString();
            reader.ReadListEnd();
            m_monikerName = std::move(moniker);
            m_filterName = std::move(name);
        },
        [this](TVokWriter& writer) {
            writer.WriteListBegin();
            writer.WriteString(m_monikerName);
            writer.WriteString(m_filterName);
            writer.WriteListEnd();
        },
        HoxUpperCase(m_filterName) != "NONE");
}

void TDSFilterItem::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TDSFilterItem*>(source);
    if (other == nullptr) {
        TVokExtCollectionItem::Assign(source);
        return;
    }
    m_filterName = other->m_filterName;
    m_monikerName = other->m_monikerName;
    Changed(false);
}

TDSFilterItems::TDSFilterItems(TVokPersistent* owner)
    : TVokExtCollection(owner, TVokCollectionItemClass::Of<TDSFilterItem>()) {
}

const TVokClassInfo& TDSFilterItems::ClassInfo() {
    static const TVokClassInfo info("TDSFilterItems", &TVokExtCollection::ClassInfo(), nullptr, {});
    return info;
}

// ---- input sources -----------------------------------------------------------------------------

void TDSSwitches::Collect(const THoxCaptureFilter* capture) {
    Clear();
    // The capture services expose no crossbar and no input mixer: nothing to collect.
    (void)capture;
}

// ---- graph --------------------------------------------------------------------------------------

TDSGraph::TDSGraph(TVokComponent* owner, TVokObject* lock, TDSGraphEventCallback callback)
    : m_owner(owner), m_lock(lock), m_callback(std::move(callback)),
      m_additionalFilters(std::make_unique<TDSFilterItems>(this)) {
    if (owner == nullptr || !owner->IsDesigning()) {
        m_window = CreateMessageWindow([this](const TVokMessage& message) {
            if (message.Message == kHoxGraphNotifyMessage) {
                ProcessGraphEvents();
            }
        });
    }
}

TDSGraph::~TDSGraph() {
    // The filter graph goes first: its stream's threads end before the window does.
    m_filterGraph.reset();
    m_window.reset();
}

const TVokClassInfo& TDSGraph::ClassInfo() {
    using T = TDSGraph;
    static const TVokClassInfo info(
        "TDSGraph", nullptr, nullptr,
        {
            TVokProp::Collection("AdditionalFilters", &T::GetAdditionalFilters),
            TVokProp::Bool("Register", &T::GetRegister, &T::SetRegister, false),
            TVokProp::Event("OnError", &T::GetOnError, &T::SetOnError),
            TVokProp::Event("OnWarning", &T::GetOnWarning, &T::SetOnWarning),
            TVokProp::Event("OnGraphBuilt", &T::GetOnGraphBuilt, &T::SetOnGraphBuilt),
            TVokProp::Event("OnDeviceLost", &T::GetOnDeviceLost, &T::SetOnDeviceLost),
            TVokProp::Event("OnAborted", &T::GetOnAborted, &T::SetOnAborted),
            TVokProp::Event("OnStarvation", &T::GetOnStarvation, &T::SetOnStarvation),
        });
    return info;
}

void TDSGraph::SetRegister(bool value) {
    if (value == m_register) {
        return;
    }
    m_register = value;
    if (m_active) {
        if (value && !m_registered) {
            m_registered = true;
        } else if (!value) {
            m_registered = false;
        }
    }
}

THoxResult TDSGraph::CreateFilterGraph() {
    if (m_filterGraph != nullptr) {
        return kHoxOk;
    }
    try {
        m_filterGraph = std::make_shared<THoxFilterGraph>(HoxGetCaptureService());
    } catch (const std::bad_alloc&) {
        return kHoxErrorNoMemory;
    }
    return kHoxOk;
}

void TDSGraph::AddAdditionalFilters() {
    if (m_filterGraph == nullptr || m_additionalFilters->GetCount() == 0) {
        return;
    }
    // Every item stays as it is: there is nothing a capture stream could pass through, so no
    // filter is inserted even when the item's device exists.
}

void TDSGraph::Activate() {
    if (m_active) {
        return;
    }
    m_active = true;
    if (m_register && !m_registered) {
        m_registered = true;
    }
}

void TDSGraph::Deactivate() {
    m_registered = false;
    m_active = false;
}

bool TDSGraph::SetUpEventNotification() {
    if (m_filterGraph == nullptr) {
        return false;
    }
    m_filterGraph->SetNotifyWindow(
        m_window != nullptr ? m_window->GetPoster() : TVokMessagePoster(), kHoxGraphNotifyMessage);
    m_filterGraph->SetNotifyFlags(0);
    return true;
}

void TDSGraph::RemoveDownstream(THoxFilter& filter) {
    if (m_filterGraph == nullptr) {
        return;
    }
    THoxFilter* peer = nullptr;
    try {
        peer = m_filterGraph->ConnectedTo(filter);
    } catch (...) {
        peer = nullptr;
    }
    if (peer == nullptr || peer == &filter) {
        return;
    }
    try {
        m_filterGraph->Disconnect(filter);
    } catch (...) {
    }
    try {
        m_filterGraph->RemoveFilter(peer);
    } catch (...) {
    }
}

void TDSGraph::ReleaseFilterGraph() {
    m_filterGraph.reset();
}

void TDSGraph::ReportError(const std::string& errorText, int32_t errorCode) {
    bool handled = false;
    if (m_onError) {
        m_onError(m_owner, errorText, errorCode, handled);
    }
    if (!handled) {
        throw EDSException(errorText, errorCode);
    }
}

void TDSGraph::RaiseGraphBuilt() {
    RaiseNotify(m_onGraphBuilt);
}

void TDSGraph::RaiseNotify(const TDSNotifyEvent& handler) {
    if (handler) {
        handler(m_owner);
    }
}

void TDSGraph::ProcessGraphEvents() {
    TVokLockSection section;
    if (m_lock != nullptr) {
        section = TVokWriteLockSection(*m_lock);
    }
    int32_t code = 0;
    intptr_t param1 = 0;
    intptr_t param2 = 0;
    // Bounded: the queue only grows from the stream's loss report, at most once per run.
    for (int count = 0; count < 1000; ++count) {
        const std::shared_ptr<THoxFilterGraph> graph = m_filterGraph;
        if (graph == nullptr || !graph->GetEvent(code, param1, param2)) {
            break;
        }
        if (m_callback) {
            m_callback(code, param1, param2);
        }
        switch (code) {
        case kHoxEventErrorAbort:
            RaiseNotify(m_onAborted);
            break;
        case kHoxEventStarvation:
            RaiseNotify(m_onStarvation);
            break;
        case kHoxEventDeviceLost:
            RaiseNotify(m_onDeviceLost);
            break;
        default:
            break;
        }
    }
}

uint64_t TDSGraph::GetOverflowCount() const {
    return m_filterGraph != nullptr ? m_filterGraph->GetOverflowCount() : 0;
}

void TDSGraph::Assign(const TVokPersistent* source) {
    const auto* other = dynamic_cast<const TDSGraph*>(source);
    if (other == nullptr) {
        TVokPersistent::Assign(source);
        return;
    }
    if (other == this) {
        return;
    }
    m_additionalFilters->Assign(other->m_additionalFilters.get());
    SetRegister(other->m_register);
    m_onError = other->m_onError;
    m_onWarning = other->m_onWarning;
    m_onGraphBuilt = other->m_onGraphBuilt;
    m_onDeviceLost = other->m_onDeviceLost;
    m_onAborted = other->m_onAborted;
    m_onStarvation = other->m_onStarvation;
}
