#pragma once

#include "pins/VokObject.h"
#include "platform/VokPeriodicTimer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/// The internal clock: components without an upstream clock register a callback with a period
/// in milliseconds and are called once per period. All clients of one period share one
/// generator (`TZemClockGen`) with one periodic timer and one high-priority worker thread
/// (`TZemClockGenThread`); the timer only hands ticks to the worker through a counting
/// semaphore, so its accuracy does not depend on what the callbacks cost, and ticks that come
/// while callbacks run are queued (up to 10000) and run back to back afterwards.
///
/// Locks: a generator is a `TVokObject` linked with the lock object of every client, so
/// generator and clients form one lock group. Callbacks run on the worker thread under the
/// global read lock and that group's write lock: a callback must not wait for another thread
/// that needs the group. Registering and unregistering take the global write lock.
///
/// Lifetime: a generator exists while it has clients or a tick is running. Unregistering its
/// last client removes it from the registry at once; its worker destroys it (stopping the
/// timer) on the next tick and then ends. A later registration of that period makes a new one.

class TVokComponent;
class TZemClockGen;
class TZemClockGenList;

/// A client's callback; runs on its generator's worker thread (see the locks above).
using TZemClockCallback = std::function<void()>;

/// A counting semaphore with a maximum: a release that would pass it is refused (the count
/// stays), as ticks beyond the maximum are dropped. Thread safe.
class TZemCountingSemaphore {
  public:
    explicit TZemCountingSemaphore(uint32_t maximum) : m_maximum(maximum) {}

    /// Adds one to the count and wakes a waiter; false (and nothing changes) at the maximum.
    bool Release();
    /// Waits without time-out until the count is above 0, then takes one.
    void Acquire();
    uint32_t GetCount() const;

  private:
    /// Guards m_count.
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    uint32_t m_count = 0;
    const uint32_t m_maximum;
};

/// One registration: a client's callback at one generator. Created and freed by the registry;
/// the client keeps the pointer only to unregister with it.
class TZemClockGenItem {
  public:
    TZemClockGenItem(const TZemClockGenItem&) = delete;
    TZemClockGenItem& operator=(const TZemClockGenItem&) = delete;

    /// The generator this item is registered with.
    TZemClockGen* GetGenerator() const noexcept { return m_generator; }
    /// The component that registered it (may be null).
    TVokComponent* GetClient() const noexcept { return m_client; }
    /// The client's lock object, linked with the generator while registered.
    TVokObject* GetLockObject() const noexcept { return m_lockObject; }

  private:
    friend class TZemClockGen;
    friend class TZemClockGenList;
    TZemClockGenItem(TZemClockGen* generator, TVokObject* lockObject, TZemClockCallback callback,
                     TVokComponent* client)
        : m_generator(generator), m_lockObject(lockObject), m_callback(std::move(callback)),
          m_client(client) {}

    TZemClockGen* m_generator;
    TVokObject* m_lockObject;
    TZemClockCallback m_callback;
    TVokComponent* m_client;
    /// Set when the item is unregistered while a tick runs (by its own callback); the item is
    /// then kept, uncalled, until the tick ends. Guarded by the generator's group lock.
    bool m_removed = false;
};

/// The worker thread of one generator. Runs at `tpHighest`. Waits on its semaphore; per
/// release it takes the global read lock and runs one tick of its generator.
class TZemClockGenThread {
  public:
    /// Ticks queued at most; the timer's further releases are dropped until they are run.
    static constexpr uint32_t kMaxPendingTicks = 10000;

    TZemClockGenThread(const TZemClockGenThread&) = delete;
    TZemClockGenThread& operator=(const TZemClockGenThread&) = delete;

    /// Clock threads alive in the process (thread objects created and not yet destroyed).
    static int64_t LiveCount() { return s_liveCount.load(std::memory_order_acquire); }

    /// Released once per timer tick (timer thread) and once by the unregistering of the last
    /// client (so that the worker runs the tick that destroys the generator).
    TZemCountingSemaphore& GetSemaphore() noexcept { return m_semaphore; }
    std::thread::id GetId() const noexcept { return m_id; }

  private:
    friend class TZemClockGen;
    /// Starts the thread. `listCount` is the registry's count of its live threads; it must
    /// outlive the thread object. Throws std::system_error when no thread can be started.
    TZemClockGenThread(TZemClockGen* generator, std::atomic<int64_t>& listCount);
    ~TZemClockGenThread();

    void Run();
    /// On this thread, from the generator's destruction: the loop ends after the current tick
    /// and the thread object frees itself.
    void FreeOnTerminate();
    /// On any other thread: tells the loop to end, wakes it and waits until it has.
    void TerminateAndWait();

    /// The generator whose ticks this thread runs; cleared when the generator is destroyed.
    TZemClockGen* m_generator;
    TZemCountingSemaphore m_semaphore{kMaxPendingTicks};
    std::atomic<bool> m_terminated{false};
    /// Set and read only on this thread.
    bool m_freeOnTerminate = false;
    std::atomic<int64_t>& m_listCount;
    std::thread::id m_id;
    std::thread m_thread;
    static inline std::atomic<int64_t> s_liveCount{0};
};

/// All clients of one period. Created by the registry; destroys itself on its worker thread on
/// the tick after its last client left (or by the registry's shutdown).
class TZemClockGen : public TVokObject {
  public:
    /// Milliseconds between ticks.
    uint32_t GetPeriod() const noexcept { return m_period; }
    /// Registered clients. Takes the generator's read lock section.
    size_t GetItemCount();
    /// The worker thread (owned).
    TZemClockGenThread* GetThread() const noexcept { return m_thread; }
    /// False when the periodic timer could not be created (period 0, no thread): the
    /// generator then never ticks on its own.
    bool HasTimer() const noexcept { return m_timer != nullptr; }

  private:
    friend class TZemClockGenList;
    friend class TZemClockGenThread;
    /// Creates and starts the worker thread (throws std::system_error when it cannot).
    TZemClockGen(TZemClockGenList& list, uint32_t period);
    /// Stops the timer, then the thread: on the worker thread itself the thread is told to end
    /// and to free itself; on any other thread it is ended and waited for (the caller must not
    /// hold the global lock or the generator's group). Frees the remaining items.
    ~TZemClockGen() override;
    /// Stops the timer, then the worker thread, as the destructor describes. Idempotent.
    void Halt();

    /// Links the generator with `lockObject` (one lock group) and appends a new item, under
    /// the generator's write lock. Global write lock held by the caller.
    TZemClockGenItem* AddItem(TVokObject* lockObject, TZemClockCallback callback,
                              TVokComponent* client);
    /// Removes `item` (freed, or kept uncalled until the running tick ends) and unlinks the
    /// generator from the item's lock object. Answers whether no item is left. Global write
    /// lock held by the caller.
    bool RemoveItem(TZemClockGenItem* item);
    bool HasItem(const TZemClockGenItem* item) const;
    /// Starts the periodic timer; a timer that cannot be created leaves the generator without
    /// ticks, silently.
    void StartTimer();
    /// One tick, on the worker thread with the global read lock held: under the generator's
    /// write lock, every registered callback in registration order; afterwards, when no item
    /// is left, the generator destroys itself. Exceptions of callbacks are swallowed.
    void RunTick();

    TZemClockGenList& m_list;
    const uint32_t m_period;
    /// Registered items in registration order (owned), items unregistered during the running
    /// tick (owned until it ends) and the snapshot a tick walks (reused, so ticks do not
    /// allocate). All three and m_busy are guarded by the generator's group lock.
    std::vector<std::unique_ptr<TZemClockGenItem>> m_items;
    std::vector<std::unique_ptr<TZemClockGenItem>> m_retired;
    std::vector<TZemClockGenItem*> m_tickItems;
    int32_t m_busy = 0;
    /// Owned; stopped (joined) before the thread.
    std::unique_ptr<TVokPeriodicTimer> m_timer;
    /// Owned, but frees itself when the generator is destroyed on it.
    TZemClockGenThread* m_thread = nullptr;
};

/// The registry of generators, at most one per period. One process-wide instance
/// (`Instance`) serves `RegisterClockClient`/`UnregisterClockClient`; separate instances
/// behave alike (tests use their own).
class TZemClockGenList {
  public:
    TZemClockGenList() = default;
    TZemClockGenList(const TZemClockGenList&) = delete;
    TZemClockGenList& operator=(const TZemClockGenList&) = delete;
    /// `Shutdown`.
    ~TZemClockGenList();

    /// The process-wide registry, created on first use and shut down at program exit.
    static TZemClockGenList& Instance();

    /// Registers `callback` to be called every `periodMs` milliseconds on the worker of that
    /// period, creating the generator (and starting its timer after the item is added) when
    /// the period is new. Takes the global write lock and then a write lock section on
    /// `lockObject`; the caller may hold the global lock or `lockObject`'s group, but no group
    /// lock another thread may be waiting for. A period of 0 gives a generator without timer
    /// (no ticks, no error). Throws std::invalid_argument for a null lock object,
    /// std::logic_error after `Shutdown`, std::system_error when no thread can be started.
    TZemClockGenItem* RegisterClockClient(uint32_t periodMs, TVokObject* lockObject,
                                          TZemClockCallback callback, TVokComponent* client);
    /// Unregisters `item` (freeing it) and unlinks its generator from the client's lock
    /// object; when that was the generator's last item, the generator leaves the registry and
    /// its worker destroys it on the next tick. After the return the callback is not called
    /// again (when called from the callback itself: once it has returned). Takes the global
    /// write lock. Answers whether the registry is now empty. Throws std::invalid_argument
    /// when `item` is null or not registered here, or `lockObject` is neither null nor the
    /// lock object the item was registered with.
    bool UnregisterClockClient(TZemClockGenItem* item, TVokObject* lockObject);

    /// Ends the registry: generators that still have clients are destroyed (their timers and
    /// threads stopped and waited for; their items become invalid), then waits, polling every
    /// millisecond, until every worker thread of this registry has ended. Later registrations
    /// are refused. Call it holding no lock, never from a clock callback (std::logic_error).
    /// Idempotent.
    void Shutdown();

    /// Generators in the registry (those whose last client left are no longer counted).
    size_t GetGeneratorCount() const;
    /// The generator of `periodMs`, or null.
    TZemClockGen* FindGenerator(uint32_t periodMs) const;
    /// Worker threads of this registry still alive.
    int64_t GetLiveThreadCount() const { return m_liveThreads.load(std::memory_order_acquire); }

  private:
    friend class TZemClockGen;

    /// Guards m_generators and m_shutDown. Changes happen under the global write lock too.
    mutable std::mutex m_mutex;
    /// Not owning: generators free themselves.
    std::vector<TZemClockGen*> m_generators;
    bool m_shutDown = false;
    std::atomic<int64_t> m_liveThreads{0};
};

/// `TZemClockGenList::Instance().RegisterClockClient(...)`.
TZemClockGenItem* RegisterClockClient(uint32_t periodMs, TVokObject* lockObject,
                                      TZemClockCallback callback, TVokComponent* client);
/// `TZemClockGenList::Instance().UnregisterClockClient(...)`.
bool UnregisterClockClient(TZemClockGenItem* item, TVokObject* lockObject);
