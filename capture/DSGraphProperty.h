#pragma once

#include "capture/DSCaptureDevice.h"
#include "capture/HoxCaptureGraph.h"
#include "pins/VokComponent.h"
#include "pins/VokExtCollection.h"
#include "pins/VokObject.h"
#include "platform/VokMessageWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

/// The capture graph's settings and state: additional filters, registration, the events the
/// graph raises, its error report, and the input sources of the capture device.

/// A capture error. Its message is "%s - %u - %x": the error text, then the error code as an
/// unsigned decimal and in hexadecimal.
class EDSException : public std::runtime_error {
  public:
    EDSException(const std::string& errorText, int32_t errorCode);
    const std::string& GetErrorText() const { return m_errorText; }
    int32_t GetErrorCode() const { return m_errorCode; }

  private:
    std::string m_errorText;
    int32_t m_errorCode;
};

/// The messages of capture errors.
inline constexpr const char* kDSErrorBuildGraph = "Can't build DirectShow graph.";
inline constexpr const char* kDSErrorBuildGraphBuilder = "Can't build DirectShow graph builder.";
inline constexpr const char* kDSErrorCreateCaptureFilter = "Can't create audio capture filter.";
inline constexpr const char* kDSErrorAddCaptureFilter = "Can't add audio capture filter.";
inline constexpr const char* kDSErrorStartCapture = "Can't start capture.";
inline constexpr const char* kDSErrorStopCapture = "Can't stop capture.";
inline constexpr const char* kDSErrorSetGrabber = "Can't set audio sample grabber.";
inline constexpr const char* kDSErrorSetGrabberFormat = "Can't set audio sample grabber format.";
inline constexpr const char* kDSErrorSetFormat = "Can't set desired audio format.";

/// Events of the graph. Sender is the component that owns the graph.
using TDSErrorEvent = std::function<void(TVokComponent* sender, const std::string& errorText,
                                         int32_t errorCode, bool& handled)>;
using TDSWarningEvent =
    std::function<void(TVokComponent* sender, const std::string& errorText, int32_t errorCode)>;
using TDSNotifyEvent = std::function<void(TVokComponent* sender)>;
/// The owner's graph-event callback: (event code, first parameter, second parameter).
using TDSGraphEventCallback = std::function<void(int32_t code, intptr_t param1, intptr_t param2)>;

/// One additional filter: `FilterName` (default "None") and its `MonikerName`, stored together
/// as "Data" when the name is not "None" (any case). Shown as "Filter " + index + 1.
///
/// Published property: `FilterName`.
class TDSFilterItem final : public TVokExtCollectionItem {
  public:
    explicit TDSFilterItem(TVokExtCollection* collection);

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    std::string GetFilterName() const { return m_filterName; }
    /// Equal → nothing; empty → both names cleared; otherwise every filter is listed and one
    /// with that name gives both names; without one nothing changes.
    void SetFilterName(const std::string& name);
    const std::string& GetMonikerName() const { return m_monikerName; }
    std::string GetDisplayName() const override;

    void DefineProperties(TVokFiler& filer) override;
    void Assign(const TVokPersistent* source) override;

  private:
    std::string m_filterName = "None";
    std::string m_monikerName;
};

/// The additional filters.
class TDSFilterItems final : public TVokExtCollection {
  public:
    explicit TDSFilterItems(TVokPersistent* owner);
    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }
    TDSFilterItem* GetFilter(int index) const {
        return static_cast<TDSFilterItem*>(GetItem(index));
    }
};

/// A selectable input of the capture device (a crossbar route or a mixer line).
class THoxDSCaptureSource {
  public:
    virtual ~THoxDSCaptureSource() = default;
    virtual std::string GetName() const = 0;
    virtual bool GetEnabled() const = 0;
    virtual void Enable() = 0;
};

/// The input sources of one capture filter, collected after each graph build. The capture
/// services offer neither crossbars nor input mixers, so the list is always empty here.
class TDSSwitches {
  public:
    /// Forgets the sources, then collects those of `capture` (none on these services).
    void Collect(const THoxCaptureFilter* capture);
    void Clear() { m_sources.clear(); }
    int GetCount() const { return static_cast<int>(m_sources.size()); }
    THoxDSCaptureSource* GetSource(int index) const { return m_sources.at(index).get(); }

  private:
    std::vector<std::unique_ptr<THoxDSCaptureSource>> m_sources;
};

/// The capture graph object of a capture component.
///
/// It owns the filter graph (created on demand by `CreateFilterGraph`, released by
/// `ReleaseFilterGraph`) and a message window of the GUI thread that receives the graph's event
/// message (`kHoxGraphNotifyMessage`); on it the events are read under a write lock section of
/// the owner's lock object, passed to the owner's callback and raised as `OnAborted` (3),
/// `OnStarvation` (23) and `OnDeviceLost` (31).
///
/// Threads: the GUI thread creates, uses and destroys it (the window belongs to that thread);
/// events of a stream that ends on its own arrive through the window.
///
/// Published properties: `AdditionalFilters`, `Register` (default false), `OnError`,
/// `OnWarning`, `OnGraphBuilt`, `OnDeviceLost`, `OnAborted`, `OnStarvation`.
class TDSGraph : public TVokPersistent, public IVokPublished {
  public:
    /// `owner` is the Sender of every event; `lock` its lock object; `callback` receives every
    /// graph event. Creates the message window, except when `owner` is designing.
    TDSGraph(TVokComponent* owner, TVokObject* lock, TDSGraphEventCallback callback);
    ~TDSGraph() override;

    static const TVokClassInfo& ClassInfo();
    const TVokClassInfo& GetClassInfo() const override { return ClassInfo(); }

    TDSFilterItems* GetAdditionalFilters() const { return m_additionalFilters.get(); }
    bool GetRegister() const { return m_register; }
    /// Registers or revokes at once while the graph is active.
    void SetRegister(bool value);
    TDSErrorEvent GetOnError() const { return m_onError; }
    void SetOnError(TDSErrorEvent handler) { m_onError = std::move(handler); }
    TDSWarningEvent GetOnWarning() const { return m_onWarning; }
    void SetOnWarning(TDSWarningEvent handler) { m_onWarning = std::move(handler); }
    TDSNotifyEvent GetOnGraphBuilt() const { return m_onGraphBuilt; }
    void SetOnGraphBuilt(TDSNotifyEvent handler) { m_onGraphBuilt = std::move(handler); }
    TDSNotifyEvent GetOnDeviceLost() const { return m_onDeviceLost; }
    void SetOnDeviceLost(TDSNotifyEvent handler) { m_onDeviceLost = std::move(handler); }
    TDSNotifyEvent GetOnAborted() const { return m_onAborted; }
    void SetOnAborted(TDSNotifyEvent handler) { m_onAborted = std::move(handler); }
    TDSNotifyEvent GetOnStarvation() const { return m_onStarvation; }
    void SetOnStarvation(TDSNotifyEvent handler) { m_onStarvation = std::move(handler); }

    // ---- the graph object ----------------------------------------------------------------

    /// Creates the filter graph (on the installed capture service) when there is none.
    THoxResult CreateFilterGraph();
    /// The filter graph, or null.
    const std::shared_ptr<THoxFilterGraph>& GetFilterGraph() const { return m_filterGraph; }
    /// Adds the additional filters whose device still exists. The capture services have no
    /// filters to insert, so the graph is left as it is; the items keep their names.
    void AddAdditionalFilters();
    /// Active from a successful connection to the teardown; registers once per activation
    /// when `Register` is set.
    void Activate();
    void Deactivate();
    bool IsActive() const { return m_active; }
    /// Whether the graph is registered (the registration itself does nothing here).
    bool IsRegistered() const { return m_registered; }
    /// Makes the filter graph post its events to this object's window; false without a filter
    /// graph (notification is then not set up).
    bool SetUpEventNotification();
    /// Removes everything downstream of `filter`: disconnects its connection and removes the
    /// filter it fed. Each step swallows its own exceptions.
    void RemoveDownstream(THoxFilter& filter);
    /// Releases the filter graph and its events.
    void ReleaseFilterGraph();

    /// The error report: `OnError` (when assigned) with Handled = false; unless the handler set
    /// Handled, throws `EDSException`.
    void ReportError(const std::string& errorText, int32_t errorCode);
    /// Raises `OnGraphBuilt`.
    void RaiseGraphBuilt();

    /// Reads and dispatches every queued graph event (the window's handler; GUI thread).
    void ProcessGraphEvents();
    /// Overflowed blocks of the current stream.
    uint64_t GetOverflowCount() const;

    /// Copies the additional filters, `Register` and the event handlers of another graph.
    void Assign(const TVokPersistent* source) override;

  private:
    void RaiseNotify(const TDSNotifyEvent& handler);

    TVokComponent* const m_owner;
    TVokObject* const m_lock;
    const TDSGraphEventCallback m_callback;
    std::unique_ptr<TDSFilterItems> m_additionalFilters;
    bool m_register = false;
    TDSErrorEvent m_onError;
    TDSWarningEvent m_onWarning;
    TDSNotifyEvent m_onGraphBuilt;
    TDSNotifyEvent m_onDeviceLost;
    TDSNotifyEvent m_onAborted;
    TDSNotifyEvent m_onStarvation;

    std::shared_ptr<THoxFilterGraph> m_filterGraph;
    bool m_registered = false;
    bool m_active = false;
    /// Created and destroyed on the GUI thread; null in design state.
    std::unique_ptr<TVokMessageWindow> m_window;
};
