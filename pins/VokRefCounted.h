#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>
#include <utility>

/// Base of every intrusively reference-counted object (buffers, access objects, operations,
/// lock sections). The count is atomic: references may be taken and dropped on any thread.
/// A new object starts at count 0; the first `TRef` that holds it raises it to 1, and the
/// `Release` that brings it back to 0 deletes the object.
class TVokRefCounted {
  public:
    TVokRefCounted() = default;
    TVokRefCounted(const TVokRefCounted&) = delete;
    TVokRefCounted& operator=(const TVokRefCounted&) = delete;

    /// Adds one reference; returns the new count.
    int32_t AddRef() const noexcept {
        return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    /// Drops one reference and deletes the object when it was the last; returns the new count.
    int32_t Release() const noexcept {
        const int32_t left = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    /// The current count; only meaningful while no other thread changes it.
    int32_t RefCount() const noexcept { return m_refCount.load(std::memory_order_acquire); }

  protected:
    virtual ~TVokRefCounted() { assert(m_refCount.load(std::memory_order_relaxed) == 0); }

  private:
    mutable std::atomic<int32_t> m_refCount{0};
};

/// Smart pointer over a `TVokRefCounted` object: copying adds a reference, destruction drops one.
/// Like a raw pointer it may be null; it is not itself thread safe (one `TRef` object is used
/// by one thread at a time), but the object it points to may be shared freely.
template <class T> class TRef {
  public:
    TRef() noexcept = default;
    TRef(std::nullptr_t) noexcept {}
    /// Takes a new reference to `object` (which may be null).
    TRef(T* object) noexcept : m_object(object) {
        if (m_object != nullptr) {
            m_object->AddRef();
        }
    }
    TRef(const TRef& other) noexcept : TRef(other.m_object) {}
    TRef(TRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> TRef(const TRef<U>& other)
    noexcept : TRef(other.Get()) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> TRef(TRef<U>&& other)
    noexcept : m_object(other.Detach()) {}
    ~TRef() { Reset(); }

    TRef& operator=(TRef other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }

    void Reset() noexcept {
        if (T* old = std::exchange(m_object, nullptr)) {
            old->Release();
        }
    }

    /// Gives up the reference without releasing it; the caller now owns one count.
    T* Detach() noexcept { return std::exchange(m_object, nullptr); }

    T* Get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

    friend bool operator==(const TRef& a, const TRef& b) noexcept {
        return a.m_object == b.m_object;
    }
    friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.m_object == nullptr; }

  private:
    T* m_object = nullptr;
};

/// Creates a reference-counted object and returns the first reference to it.
template <class T, class... Args> TRef<T> MakeRef(Args&&... args) {
    return TRef<T>(new T(std::forward<Args>(args)...));
}
