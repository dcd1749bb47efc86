#include "platform/VokMessageWindow.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

class THeadlessTarget;

struct TQueuedMessage {
    std::shared_ptr<THeadlessTarget> Target;
    TVokMessage Message;
};

// The queue of one thread's headless windows. Any thread appends; only the owning thread
// delivers (it is reached only through that thread's thread-local pointer).
class TThreadQueue {
  public:
    // Appends unless the target is closed or the queue is full. The closed test runs under
    // the queue lock, so a message either lands before `Drop` removes the target's messages
    // or is refused.
    bool Push(std::shared_ptr<THeadlessTarget> target, const TVokMessage& message);
    // Removes every queued message of `target`.
    void Drop(const THeadlessTarget* target);
    size_t Process();
    size_t WaitAndProcess(std::chrono::milliseconds timeout);
    size_t Pending() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_queued.size();
    }

  private:
    // Guards m_queued (and is the mutex of the wake-up hand-shake on m_posted).
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<TQueuedMessage> m_queued;
    // A drained batch kept for reuse, so that steady-state posting does not allocate. Owner
    // thread only.
    std::vector<TQueuedMessage> m_spare;
};

class THeadlessTarget final : public TVokMessageTarget,
                              public std::enable_shared_from_this<THeadlessTarget> {
  public:
    THeadlessTarget(TVokMessageWindow* window, std::shared_ptr<TThreadQueue> queue)
        : m_window(window), m_queue(std::move(queue)) {}

    bool Push(const TVokMessage& message) override {
        return m_queue->Push(shared_from_this(), message);
    }

    void Close() override {
        {
            std::lock_guard<std::recursive_mutex> lock(m_deliveryMutex);
            m_open.store(false, std::memory_order_release);
            m_window = nullptr;
        }
        m_queue->Drop(this);
    }

    bool IsOpen() const { return m_open.load(std::memory_order_acquire); }

    // Owner thread: hands the message to the window unless it was closed meanwhile.
    bool Deliver(const TVokMessage& message) {
        std::lock_guard<std::recursive_mutex> lock(m_deliveryMutex);
        if (m_window == nullptr) {
            return false;
        }
        m_window->Deliver(message);
        return true;
    }

  private:
    // Guards m_window: closing waits for a delivery in progress. Recursive because a handler
    // may destroy its own window.
    std::recursive_mutex m_deliveryMutex;
    TVokMessageWindow* m_window;
    std::atomic<bool> m_open{true};
    const std::shared_ptr<TThreadQueue> m_queue;
};

bool TThreadQueue::Push(std::shared_ptr<THeadlessTarget> target, const TVokMessage& message) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!target->IsOpen() || m_queued.size() >= TVokHeadlessMessageLoop::kMaxQueuedMessages) {
            return false;
        }
        m_queued.push_back(TQueuedMessage{std::move(target), message});
    }
    m_posted.notify_one();
    return true;
}

void TThreadQueue::Drop(const THeadlessTarget* target) {
    // The dropped references are released outside the lock.
    std::vector<TQueuedMessage> dropped;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto kept = std::stable_partition(
        m_queued.begin(), m_queued.end(),
        [target](const TQueuedMessage& queued) { return queued.Target.get() != target; });
    std::move(kept, m_queued.end(), std::back_inserter(dropped));
    m_queued.erase(kept, m_queued.end());
}

size_t TThreadQueue::Process() {
    // Nested pumps (a handler that pumps) take a fresh batch; the outer one keeps its own.
    std::vector<TQueuedMessage> batch = std::exchange(m_spare, {});
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        batch.swap(m_queued);
    }
    size_t delivered = 0;
    size_t next = 0;
    try {
        for (; next < batch.size(); ++next) {
            if (batch[next].Target->Deliver(batch[next].Message)) {
                ++delivered;
            }
        }
    } catch (...) {
        // The throwing message counts as delivered; the rest go back ahead of newer ones.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queued.insert(m_queued.begin(), std::make_move_iterator(batch.begin() + next + 1),
                        std::make_move_iterator(batch.end()));
        throw;
    }
    batch.clear();
    if (batch.capacity() > m_spare.capacity()) {
        m_spare = std::move(batch);
    }
    return delivered;
}

size_t TThreadQueue::WaitAndProcess(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_posted.wait_for(lock, timeout, [this] { return !m_queued.empty(); })) {
            return 0;
        }
    }
    return Process();
}

// Held by the thread and by every target made on it, so a poster may outlive the thread.
thread_local std::shared_ptr<TThreadQueue> t_queue;

const std::shared_ptr<TThreadQueue>& CurrentQueue() {
    if (!t_queue) {
        t_queue = std::make_shared<TThreadQueue>();
    }
    return t_queue;
}

// Guards s_factory.
std::mutex s_factoryMutex;
TVokMessageWindowFactory s_factory;

} // namespace

TVokMessageWindow::TVokMessageWindow(TVokMessageHandler handler)
    : m_handler(std::move(handler)), m_ownerThread(std::this_thread::get_id()) {
    if (!m_handler) {
        throw std::invalid_argument("TVokMessageWindow: the message handler is empty");
    }
}

TVokMessageWindow::~TVokMessageWindow() {
    if (m_target) {
        m_target->Close();
    }
}

void TVokMessageWindow::SetTarget(std::shared_ptr<TVokMessageTarget> target) {
    m_target = std::move(target);
    m_poster = TVokMessagePoster(m_target);
}

void TVokMessageWindow::Deliver(const TVokMessage& message) {
    if (std::this_thread::get_id() != m_ownerThread) {
        throw std::logic_error("TVokMessageWindow: message " + std::to_string(message.Message) +
                               " delivered outside the window's owner thread");
    }
    m_handler(message);
}

TVokHeadlessMessageWindow::TVokHeadlessMessageWindow(TVokMessageHandler handler)
    : TVokMessageWindow(std::move(handler)) {
    SetTarget(std::make_shared<THeadlessTarget>(this, CurrentQueue()));
}

size_t TVokHeadlessMessageLoop::ProcessMessages() {
    return CurrentQueue()->Process();
}

size_t TVokHeadlessMessageLoop::WaitAndProcessMessages(std::chrono::milliseconds timeout) {
    return CurrentQueue()->WaitAndProcess(timeout);
}

size_t TVokHeadlessMessageLoop::GetPendingCount() {
    return CurrentQueue()->Pending();
}

TVokMessageWindowFactory SetMessageWindowFactory(TVokMessageWindowFactory factory) {
    std::lock_guard<std::mutex> lock(s_factoryMutex);
    return std::exchange(s_factory, std::move(factory));
}

std::unique_ptr<TVokMessageWindow> CreateMessageWindow(TVokMessageHandler handler) {
    if (!handler) {
        throw std::invalid_argument("CreateMessageWindow: the message handler is empty");
    }
    TVokMessageWindowFactory factory;
    {
        std::lock_guard<std::mutex> lock(s_factoryMutex);
        factory = s_factory;
    }
    if (!factory) {
        return std::make_unique<TVokHeadlessMessageWindow>(std::move(handler));
    }
    std::unique_ptr<TVokMessageWindow> window = factory(std::move(handler));
    if (!window) {
        throw std::logic_error("CreateMessageWindow: the installed factory made no window");
    }
    return window;
}
