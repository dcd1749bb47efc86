#include "components/ZemClockGen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// The clock thread the calling thread is, if any (set for the life of its loop).
thread_local const TZemClockGenThread* t_clockThread = nullptr;

std::string Describe(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

} // namespace

// ---- semaphore -------------------------------------------------------------------------------

bool TZemCountingSemaphore::Release() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_count >= m_maximum) {
            return false;
        }
        ++m_count;
    }
    m_released.notify_one();
    return true;
}

void TZemCountingSemaphore::Acquire() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released.wait(lock, [this] { return m_count > 0; });
    --m_count;
}

uint32_t TZemCountingSemaphore::GetCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

// ---- worker thread ---------------------------------------------------------------------------

TZemClockGenThread::TZemClockGenThread(TZemClockGen* generator, std::atomic<int64_t>& listCount)
    : m_generator(generator), m_listCount(listCount) {
    // Counted before the thread starts, so a count of 0 means no thread can still run.
    s_liveCount.fetch_add(1, std::memory_order_acq_rel);
    m_listCount.fetch_add(1, std::memory_order_acq_rel);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (...) {
        m_listCount.fetch_sub(1, std::memory_order_acq_rel);
        s_liveCount.fetch_sub(1, std::memory_order_acq_rel);
        throw;
    }
    m_id = m_thread.get_id();
}

TZemClockGenThread::~TZemClockGenThread() {
    s_liveCount.fetch_sub(1, std::memory_order_acq_rel);
    // Last access to the registry: once its count reaches 0 it may be gone.
    m_listCount.fetch_sub(1, std::memory_order_acq_rel);
}

void TZemClockGenThread::Run() {
    t_clockThread = this;
    RaiseCurrentThreadPriority(tpHighest);
    while (!m_terminated.load(std::memory_order_acquire)) {
        m_semaphore.Acquire();
        // Checked before the global lock too, so that ending the thread never needs the lock.
        if (m_terminated.load(std::memory_order_acquire)) {
            break;
        }
        TVokGlobalReadLockSection global;
        if (m_terminated.load(std::memory_order_acquire)) {
            break;
        }
        // May destroy the generator, which marks this thread to end and to free itself.
        m_generator->RunTick();
    }
    t_clockThread = nullptr;
    if (m_freeOnTerminate) {
        delete this;
    }
}

void TZemClockGenThread::FreeOnTerminate() {
    m_thread.detach();
    m_freeOnTerminate = true;
    m_generator = nullptr;
    m_terminated.store(true, std::memory_order_release);
}

void TZemClockGenThread::TerminateAndWait() {
    m_terminated.store(true, std::memory_order_release);
    // At the maximum the count is above 0 anyway, so the thread wakes either way.
    m_semaphore.Release();
    m_thread.join();
}

// ---- generator -------------------------------------------------------------------------------

TZemClockGen::TZemClockGen(TZemClockGenList& list, uint32_t period)
    : m_list(list), m_period(period) {
    m_thread = new TZemClockGenThread(this, list.m_liveThreads);
}

TZemClockGen::~TZemClockGen() {
    Halt();
    m_retired.clear();
    m_items.clear();
}

void TZemClockGen::Halt() {
    // The timer first: afterwards nothing releases the semaphore any more.
    m_timer.reset();
    if (m_thread != nullptr) {
        if (m_thread->GetId() == std::this_thread::get_id()) {
            m_thread->FreeOnTerminate();
        } else {
            m_thread->TerminateAndWait();
            delete m_thread;
        }
        m_thread = nullptr;
    }
}

size_t TZemClockGen::GetItemCount() {
    TVokReadLockSection section(*this);
    return m_items.size();
}

TZemClockGenItem* TZemClockGen::AddItem(TVokObject* lockObject, TZemClockCallback callback,
                                        TVokComponent* client) {
    TVokObject::LinkObjects(this, lockObject);
    TVokWriteLockSection section(*this);
    m_items.push_back(std::unique_ptr<TZemClockGenItem>(
        new TZemClockGenItem(this, lockObject, std::move(callback), client)));
    m_tickItems.reserve(m_items.size());
    return m_items.back().get();
}

bool TZemClockGen::RemoveItem(TZemClockGenItem* item) {
    TVokObject* lockObject = item->m_lockObject;
    bool empty;
    {
        TVokWriteLockSection section(*this);
        auto found = std::find_if(m_items.begin(), m_items.end(),
                                  [item](const auto& entry) { return entry.get() == item; });
        std::unique_ptr<TZemClockGenItem> removed = std::move(*found);
        m_items.erase(found);
        if (m_busy > 0) {
            // Its own callback is unregistering it during a tick: the callback object must
            // outlive its own call, so the item is freed when the tick ends.
            removed->m_removed = true;
            m_retired.push_back(std::move(removed));
        }
        empty = m_items.empty();
    }
    // Another item of the same client keeps the link (links are made once per pair).
    const bool stillUsed =
        std::any_of(m_items.begin(), m_items.end(),
                    [lockObject](const auto& entry) { return entry->m_lockObject == lockObject; });
    if (!stillUsed) {
        TVokObject::UnlinkObjects(this, lockObject);
    }
    return empty;
}

bool TZemClockGen::HasItem(const TZemClockGenItem* item) const {
    return std::any_of(m_items.begin(), m_items.end(),
                       [item](const auto& entry) { return entry.get() == item; });
}

void TZemClockGen::StartTimer() {
    TZemClockGenThread* thread = m_thread;
    try {
        m_timer = std::make_unique<TVokPeriodicTimer>(
            std::chrono::milliseconds(m_period),
            [thread](const TVokTimerTick&) { thread->GetSemaphore().Release(); }, tpTimeCritical);
    } catch (const std::exception&) {
        // No timer, no ticks: the generator still works when ticked otherwise (unregistering).
        m_timer.reset();
    }
}

void TZemClockGen::RunTick() {
    bool destroy;
    {
        TVokWriteLockSection section(*this);
        ++m_busy;
        // A snapshot, so that callbacks may register and unregister (themselves or others of
        // the group) while the tick walks the items; unregistered items are kept until the
        // tick ends and are skipped.
        m_tickItems.assign(m_items.size(), nullptr);
        std::transform(m_items.begin(), m_items.end(), m_tickItems.begin(),
                       [](const auto& entry) { return entry.get(); });
        for (size_t i = 0; i < m_tickItems.size(); ++i) {
            TZemClockGenItem* item = m_tickItems[i];
            if (item->m_removed || !item->m_callback) {
                continue;
            }
            try {
                item->m_callback();
            } catch (...) {
                // Nobody on the clock thread could handle it; the other clients still tick.
            }
        }
        --m_busy;
        if (m_busy == 0) {
            m_tickItems.clear();
            m_retired.clear();
        }
        destroy = m_busy == 0 && m_items.empty();
    }
    if (destroy) {
        delete this;
    }
}

// ---- registry --------------------------------------------------------------------------------

TZemClockGenList::~TZemClockGenList() {
    Shutdown();
}

TZemClockGenList& TZemClockGenList::Instance() {
    // Never destroyed, so that a late unregistration meets a clear error rather than freed
    // memory; shut down at program exit so that no clock thread outlives the program's statics.
    static TZemClockGenList* const s_instance = new TZemClockGenList();
    struct TShutdownAtExit {
        ~TShutdownAtExit() { s_instance->Shutdown(); }
    };
    static const TShutdownAtExit s_shutdownAtExit;
    return *s_instance;
}

TZemClockGenItem* TZemClockGenList::RegisterClockClient(uint32_t periodMs, TVokObject* lockObject,
                                                        TZemClockCallback callback,
                                                        TVokComponent* client) {
    if (lockObject == nullptr) {
        throw std::invalid_argument(
            "RegisterClockClient: the client's lock object is null (period " +
            std::to_string(periodMs) + " ms)");
    }
    // The global write lock first (the lock order), then the client's group: registering
    // regroups the generator with the client.
    TVokGlobalWriteLockSection global;
    TVokWriteLockSection clientSection(*lockObject);
    TZemClockGen* generator = nullptr;
    bool created = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shutDown) {
            throw std::logic_error("RegisterClockClient: the clock registry has been shut down");
        }
        auto found = std::find_if(m_generators.begin(), m_generators.end(),
                                  [periodMs](TZemClockGen* g) { return g->m_period == periodMs; });
        if (found != m_generators.end()) {
            generator = *found;
        } else {
            generator = new TZemClockGen(*this, periodMs);
            m_generators.push_back(generator);
            created = true;
        }
    }
    TZemClockGenItem* item;
    try {
        item = generator->AddItem(lockObject, std::move(callback), client);
    } catch (...) {
        if (created) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                std::erase(m_generators, generator);
            }
            delete generator;
        }
        throw;
    }
    // Only now, with the item in place, may ticks come.
    if (created) {
        generator->StartTimer();
    }
    return item;
}

bool TZemClockGenList::UnregisterClockClient(TZemClockGenItem* item, TVokObject* lockObject) {
    if (item == nullptr) {
        throw std::invalid_argument("UnregisterClockClient: the item is null");
    }
    TVokGlobalWriteLockSection global;
    TZemClockGen* generator = nullptr;
    {
        // Only pointers are compared: an item that was already unregistered (or never was) is
        // found nowhere and refused without being touched.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (TZemClockGen* candidate : m_generators) {
            if (candidate->HasItem(item)) {
                generator = candidate;
                break;
            }
        }
    }
    if (generator == nullptr) {
        throw std::invalid_argument("UnregisterClockClient: item " + Describe(item) +
                                    " is not registered");
    }
    if (lockObject != nullptr && lockObject != item->m_lockObject) {
        throw std::invalid_argument("UnregisterClockClient: item " + Describe(item) +
                                    " was registered with lock object " +
                                    Describe(item->m_lockObject) + ", not " + Describe(lockObject));
    }

    if (generator->RemoveItem(item)) {
        // Its worker runs one more tick, finds no item and destroys the generator; a new
        // registration of the period meanwhile makes a new generator.
        TVokWriteLockSection section(*generator);
        generator->m_thread->GetSemaphore().Release();
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase(m_generators, generator);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_generators.empty();
}

void TZemClockGenList::Shutdown() {
    if (t_clockThread != nullptr) {
        throw std::logic_error("TZemClockGenList::Shutdown called from a clock callback");
    }
    std::vector<TZemClockGen*> remaining;
    {
        TVokGlobalWriteLockSection global;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shutDown = true;
        remaining.swap(m_generators);
    }
    // Outside every lock: each destruction waits for its worker, which may need the global
    // read lock to finish its current tick.
    // The worker is stopped before the destruction begins, so that it never runs a tick on a
    // generator that is being torn down.
    for (TZemClockGen* generator : remaining) {
        generator->Halt();
        delete generator;
    }
    // Workers of generators whose last client left end after one more tick each; the tick
    // needs nothing but the global read lock and the generator's own group, so this ends.
    while (m_liveThreads.load(std::memory_order_acquire) > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

size_t TZemClockGenList::GetGeneratorCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_generators.size();
}

TZemClockGen* TZemClockGenList::FindGenerator(uint32_t periodMs) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = std::find_if(m_generators.begin(), m_generators.end(),
                              [periodMs](TZemClockGen* g) { return g->GetPeriod() == periodMs; });
    return found != m_generators.end() ? *found : nullptr;
}

TZemClockGenItem* RegisterClockClient(uint32_t periodMs, TVokObject* lockObject,
                                      TZemClockCallback callback, TVokComponent* client) {
    return TZemClockGenList::Instance().RegisterClockClient(periodMs, lockObject,
                                                            std::move(callback), client);
}

bool UnregisterClockClient(TZemClockGenItem* item, TVokObject* lockObject) {
    return TZemClockGenList::Instance().UnregisterClockClient(item, lockObject);
}
