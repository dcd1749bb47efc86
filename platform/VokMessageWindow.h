#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

/// Message windows: the one way processing threads hand something to the GUI thread.
///
/// A component that must report on the GUI thread owns a `TVokMessageWindow` with a handler.
/// Any thread posts a message (an identifier and two integer parameters) to it; the message is
/// queued and later delivered to the handler on the window's owner thread (the thread that
/// created it, the GUI thread), in posting order. Posting never delivers synchronously, never
/// waits for the owner thread and never blocks on a lock the owner thread holds for long.
///
/// Ownership rule: the owner thread creates and destroys the window; it is owned by one
/// component (`std::unique_ptr`). Other threads never keep a pointer to the window itself:
/// they post through the owning component while it is alive, or keep a `TVokMessagePoster`,
/// which holds the window's receiving end and not the window. Destroying the window closes
/// that end: messages still queued are dropped without delivery, and a later post through a
/// poster is refused (answers false). A post can thus never reach a destroyed window.
///
/// Implementations: `TVokHeadlessMessageWindow` queues into its owner thread's
/// `TVokHeadlessMessageLoop`, which the owner pumps (tests and command-line tools). A GUI
/// toolkit's implementation (a hidden window or an event object) plugs in through
/// `SetMessageWindowFactory`; components create their windows with `CreateMessageWindow`.

/// One posted message: an identifier and two integer parameters chosen by the poster.
struct TVokMessage {
    uint32_t Message = 0;
    intptr_t WParam = 0;
    intptr_t LParam = 0;
};

/// Receives the messages of one window, on the window's owner thread.
using TVokMessageHandler = std::function<void(const TVokMessage& message)>;

/// The receiving end of a message window, shared by the window and every poster. Implemented
/// once per kind of window.
class TVokMessageTarget {
  public:
    virtual ~TVokMessageTarget() = default;
    /// Any thread. Queues `message` for delivery on the owner thread and returns at once;
    /// false when it was dropped (the window is gone or the queue is full).
    virtual bool Push(const TVokMessage& message) = 0;
    /// Owner thread, from the window's destructor: drops what is still queued; nothing is
    /// delivered once it has returned, and every later `Push` answers false. Waits for a
    /// delivery in progress on another thread (which the ownership rule rules out anyway).
    virtual void Close() = 0;
};

/// A handle through which any thread may post to a window, valid even after the window is
/// gone (posts are then refused). Copyable; a default-constructed poster refuses everything.
class TVokMessagePoster {
  public:
    TVokMessagePoster() = default;
    explicit TVokMessagePoster(std::shared_ptr<TVokMessageTarget> target)
        : m_target(std::move(target)) {}

    /// Any thread; see `TVokMessageTarget::Push`.
    bool Post(uint32_t message, intptr_t wParam = 0, intptr_t lParam = 0) const {
        return m_target != nullptr && m_target->Push(TVokMessage{message, wParam, lParam});
    }
    explicit operator bool() const noexcept { return m_target != nullptr; }

  private:
    std::shared_ptr<TVokMessageTarget> m_target;
};

/// A window that only receives posted messages. Not copyable or movable: targets point at it.
class TVokMessageWindow {
  public:
    TVokMessageWindow(const TVokMessageWindow&) = delete;
    TVokMessageWindow& operator=(const TVokMessageWindow&) = delete;
    /// Owner thread. Closes the receiving end: undelivered messages are dropped.
    virtual ~TVokMessageWindow();

    /// Any thread while the window exists (see the ownership rule); queues the message and
    /// returns at once. False when the message was dropped.
    bool Post(uint32_t message, intptr_t wParam = 0, intptr_t lParam = 0) const {
        return m_poster.Post(message, wParam, lParam);
    }
    /// A handle for threads that may outlive the window.
    TVokMessagePoster GetPoster() const { return m_poster; }
    /// The thread that created the window; every delivery runs there.
    std::thread::id GetOwnerThread() const noexcept { return m_ownerThread; }

    /// Calls the handler with `message`. Called by the window's target, on the owner thread
    /// only (throws std::logic_error on any other). Exceptions of the handler propagate.
    void Deliver(const TVokMessage& message);

  protected:
    /// Records the calling thread as owner. Throws std::invalid_argument for an empty handler.
    explicit TVokMessageWindow(TVokMessageHandler handler);
    /// Installs the receiving end; derived constructors call it once.
    void SetTarget(std::shared_ptr<TVokMessageTarget> target);

  private:
    TVokMessageHandler m_handler;
    std::thread::id m_ownerThread;
    std::shared_ptr<TVokMessageTarget> m_target;
    TVokMessagePoster m_poster;
};

/// The headless window: posts go to the owner thread's `TVokHeadlessMessageLoop`, delivered
/// when that thread pumps it.
class TVokHeadlessMessageWindow final : public TVokMessageWindow {
  public:
    /// On the owner thread. Throws std::invalid_argument for an empty handler.
    explicit TVokHeadlessMessageWindow(TVokMessageHandler handler);
};

/// The message queue of one thread's headless windows: the stand-in for a GUI thread's event
/// loop. Every thread has its own, created on first use. Messages of all headless windows of
/// the calling thread are delivered in the order they were posted.
class TVokHeadlessMessageLoop {
  public:
    /// Messages queued per thread at most; further posts are refused until the owner pumps.
    /// Reports that accumulate (each one carries the latest state) lose nothing but
    /// intermediate values when a post is refused.
    static constexpr size_t kMaxQueuedMessages = 10000;

    /// Delivers, on the calling thread, every message queued for its headless windows at the
    /// moment of the call; messages posted meanwhile (also by handlers) wait for the next call.
    /// Messages of windows destroyed meanwhile (also by a handler) are dropped. Returns the
    /// number delivered. When a handler throws, the exception propagates and the messages
    /// not yet delivered stay queued, ahead of newer ones.
    static size_t ProcessMessages();
    /// Waits until at least one message is queued for the calling thread or `timeout` has
    /// passed, then `ProcessMessages`. Returns the number delivered (0 after a time-out).
    static size_t WaitAndProcessMessages(std::chrono::milliseconds timeout);
    /// Messages queued for the calling thread's windows.
    static size_t GetPendingCount();
};

/// Creates a message window for the calling (owner) thread.
using TVokMessageWindowFactory =
    std::function<std::unique_ptr<TVokMessageWindow>(TVokMessageHandler handler)>;

/// Installs the factory `CreateMessageWindow` uses and returns the previous one; an empty
/// factory restores the default (headless windows). The program installs its GUI toolkit's
/// factory at start-up, before components are created. Thread safe.
TVokMessageWindowFactory SetMessageWindowFactory(TVokMessageWindowFactory factory);

/// A new message window owned by the calling thread, made by the installed factory
/// (`TVokHeadlessMessageWindow` by default). Throws std::invalid_argument for an empty handler
/// and std::logic_error when a factory returns no window.
std::unique_ptr<TVokMessageWindow> CreateMessageWindow(TVokMessageHandler handler);
