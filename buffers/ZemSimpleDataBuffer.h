#pragma once

#include <cstdint>
#include <vector>

#include "buffers/ZemInternalStore.h"
#include "buffers/ZemRangeError.h"
#include "dsp/VecPrimitives.h"
#include "pins/VokRefCounted.h"

/// Copy-on-write sample buffers.
///
/// A buffer object describes a run of typed elements kept in a shared storage object from the
/// block pool. Passing a buffer along never copies samples: every receiver wraps the same storage
/// in a buffer object of its own (`Clone`, `Assign` or a sharing constructor). Reads never copy;
/// a write or modify pointer first detaches the storage when another owner still shares it.
///
/// Threads: a buffer object (and the access objects made on it) is used by one thread at a
/// time; its methods take no lock of their own. Different buffer objects sharing one storage may
/// live on different threads: the storage's holder counts are guarded by the storage's lock, and
/// two of them may detach concurrently (at worst both make a copy). Reference counts of buffers
/// and access objects are atomic, so references may be passed between threads freely.
///
/// Units: counts, offsets and sizes are in bytes for `TZemGenericBuffer` operations and in
/// elements wherever a method says so (`GetSize`, `SetSize`, typed element access). Element
/// counts and byte sizes are 32-bit; a byte size above 2^30 is refused with std::length_error.
///
/// Ownership: buffers and access objects are reference counted and held by `TRef`; create them
/// with `MakeRef`/`new`, never on the stack. A buffer holds its storage as one holder and, until
/// `ReleaseOwnership`, as one owner.

class TZemGenericBuffer;
class TZemDataBufferAccess;
class TZemBlockDataBufferAccess;
class TZemRealDataBufferAccess;
class TZemIntegerDataBufferAccess;
class TZemComplexDataBufferAccess;

/// Belongs to exactly one buffer, which creates and owns it; it only names its buffer.
class TZemSequenceStamp {
  public:
    explicit TZemSequenceStamp(TZemGenericBuffer* buffer) noexcept : m_buffer(buffer) {}
    TZemSequenceStamp(const TZemSequenceStamp&) = delete;
    TZemSequenceStamp& operator=(const TZemSequenceStamp&) = delete;

    TZemGenericBuffer* GetBuffer() const noexcept { return m_buffer; }

  private:
    TZemGenericBuffer* m_buffer;
};

/// The common buffer: storage, byte size and the cached data address. Abstract; derived classes
/// define element size, storage kind and cloning. Hooks for derived buffers (for example a media
/// buffer whose data begins after a header in its block): `StorageChanged` recomputes the data
/// address, `DetachStorage` relies on the storage's `CloneStorage`, `GetByteSize`/`GetSize`
/// report what callers see, while `m_byteSize` holds the bytes in use of the whole block.
class TZemGenericBuffer : public TVokRefCounted {
  public:
    /// Copies `count` bytes from this buffer's read address + `sourceOffset` to `destination`'s
    /// modify address + `destinationOffset` (the destination detaches first if shared). Nothing
    /// is resized and no bounds are tested: the caller guarantees both ranges lie inside.
    virtual void CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination,
                        uint32_t destinationOffset, uint32_t count) const;
    /// A new buffer object of the same class sharing this storage (one more owner), with the
    /// same byte size.
    virtual TRef<TZemGenericBuffer> Clone() const = 0;
    /// Makes this buffer share `source`'s storage (when it holds a different one) and take its
    /// byte size and data address. No samples are copied.
    virtual void Assign(const TZemGenericBuffer& source);
    /// `DetachStorage(copyContents)`: true when a private storage was made.
    virtual bool MakeUnique(bool copyContents);
    /// Copy on write: when another owner shares the storage, replaces it by a clone (with the
    /// contents when `copyContents`, else undefined contents) and returns true; otherwise false.
    /// The byte size is unchanged.
    virtual bool DetachStorage(bool copyContents);
    /// Sets the element count; see `TZemMemoryBuffer::SetSize` for the rules.
    virtual void SetSize(uint32_t count, bool keepContents) = 0;
    /// Bytes in use as callers see them.
    virtual uint32_t GetByteSize() const { return m_byteSize; }
    /// Element count.
    virtual uint32_t GetSize() const = 0;
    /// Refreshes the cached data address after the storage or the size changed.
    virtual void StorageChanged() = 0;
    /// Installs `storage` without touching any holder count; the caller registers and releases.
    virtual void SetStorage(TZemSmartBuffer* storage) { m_storage = storage; }
    /// Stops being an owner of the storage (stays a holder), so other owners may write in place.
    virtual void ReleaseOwnership();

    /// The data address, for reading only; never copies. Typed buffers hide these three with
    /// typed versions; the behaviour lives in `DetachStorage` and `StorageChanged`.
    const void* GetReadPointer() const noexcept { return m_data; }
    /// `DetachStorage(false)`, then the data address: the caller overwrites every element.
    void* GetWritePointer();
    /// `DetachStorage(true)`, then the data address: contents preserved.
    void* GetModifyPointer();

    /// The implementing object (tells the concrete class by `dynamic_cast`/`BufferCast`).
    TZemGenericBuffer* GetInstance() noexcept { return this; }
    const TZemGenericBuffer* GetInstance() const noexcept { return this; }
    /// The buffer's own stamp; lives as long as the buffer.
    TZemSequenceStamp* GetSequenceStamp() noexcept { return &m_stamp; }
    /// The shared storage (diagnostics and derived storage access).
    TZemSmartBuffer* GetStorage() const noexcept { return m_storage; }
    /// Whether this buffer registered with its storage as an owner.
    bool IsOwner() const noexcept { return m_owner; }

  protected:
    /// Holds `storage` (which must not be null) as an owner, with `byteSize` bytes in use.
    /// Derived constructors call their `StorageChanged`.
    TZemGenericBuffer(TZemSmartBuffer* storage, uint32_t byteSize);
    /// Detaches every access object still made on this buffer and leaves the storage.
    ~TZemGenericBuffer() override;

    /// Cached address of the first element.
    uint8_t* m_data = nullptr;
    /// Bytes in use of the storage block (never above its allocated size).
    uint32_t m_byteSize = 0;
    /// The shared storage, held as one holder (and as an owner while m_owner).
    TZemSmartBuffer* m_storage;
    /// The flag this buffer registered with at its storage.
    bool m_owner = true;

  private:
    friend class TZemDataBufferAccess;

    /// Access objects made on this buffer; not owned. Same thread rule as the buffer.
    std::vector<TZemDataBufferAccess*> m_accesses;
    TZemSequenceStamp m_stamp{this};
};

/// `dynamic_cast` by another name: the buffer as class `T`, or null when it is not one.
template <class T> T* BufferCast(TZemGenericBuffer* buffer) noexcept {
    return dynamic_cast<T*>(buffer);
}
template <class T> const T* BufferCast(const TZemGenericBuffer* buffer) noexcept {
    return dynamic_cast<const T*>(buffer);
}
template <class T> TRef<T> BufferCast(const TRef<TZemGenericBuffer>& buffer) noexcept {
    return TRef<T>(dynamic_cast<T*>(buffer.Get()));
}

/// Buffer over a `TZemSmartMemoryBuffer` with a fixed element size. Abstract.
class TZemMemoryBuffer : public TZemGenericBuffer {
  public:
    /// Element count: byte size ÷ element size.
    uint32_t GetSize() const override { return m_byteSize / GetElementSize(); }
    /// Rules, in order: count 0 or the current count → nothing; smaller → shrinks in place;
    /// larger and the storage exclusive and big enough → grows in place (new elements
    /// undefined); otherwise moves to new storage for `count` elements, copying the old block
    /// (up to the smaller allocated size) when `keepContents`. Throws std::length_error (and
    /// changes nothing) when count × element size exceeds 2^30.
    void SetSize(uint32_t count, bool keepContents) override;
    /// Data address = the storage's block.
    void StorageChanged() override;

    /// New memory storage (counts 0) for `count` elements. Throws std::length_error above 2^30
    /// bytes.
    virtual std::unique_ptr<TZemSmartBuffer> CreateStorage(uint32_t count);
    /// Bytes per element.
    virtual uint32_t GetElementSize() const = 0;
    /// Bytes in use.
    virtual uint32_t GetBytesInUse() const { return m_byteSize; }

  protected:
    TZemMemoryBuffer(TZemSmartBuffer* storage, uint32_t byteSize);
    /// Fresh memory storage for `count` elements of `elementSize` bytes; throws
    /// std::length_error above 2^30 bytes.
    static TZemSmartMemoryBuffer* NewStorage(uint32_t count, uint32_t elementSize);
};

/// Bytes. Arithmetic saturates to [0, 255].
class TZemBlockBuffer : public TZemMemoryBuffer {
  public:
    /// `byteCount` bytes, contents undefined.
    explicit TZemBlockBuffer(uint32_t byteCount);
    /// Shares `source`'s storage (one more owner) and takes its byte size.
    explicit TZemBlockBuffer(const TZemBlockBuffer* source);

    TRef<TZemGenericBuffer> Clone() const override;
    uint32_t GetElementSize() const override { return 1; }

    /// A new access object on this buffer.
    TRef<TZemBlockDataBufferAccess> GetAccess();
    const uint8_t* GetReadPointer() const noexcept { return m_data; }
    uint8_t* GetWritePointer() {
        return static_cast<uint8_t*>(TZemGenericBuffer::GetWritePointer());
    }
    uint8_t* GetModifyPointer() {
        return static_cast<uint8_t*>(TZemGenericBuffer::GetModifyPointer());
    }

    /// Element-wise over this buffer's count; `other` must hold at least as many elements (it
    /// may be this buffer or share its storage). Add and Multiply saturate at 255, Subtract at 0.
    void Add(const TZemBlockBuffer& other);
    void Subtract(const TZemBlockBuffer& other);
    void Multiply(const TZemBlockBuffer& other);
    /// Truncating division. A zero divisor byte gives 255 for a non-zero dividend and 0 for a
    /// zero one (the saturated quotient, never a fault).
    void Divide(const TZemBlockBuffer& other);
    void Fill(uint8_t value);
    void Zero();

  protected:
    ~TZemBlockBuffer() override = default;
};

/// Doubles.
class TZemRealBuffer : public TZemMemoryBuffer {
  public:
    /// Empty (count 0; still owns the smallest block).
    TZemRealBuffer();
    /// `count` elements, contents undefined.
    explicit TZemRealBuffer(uint32_t count);
    /// Copies `count` doubles from `source`.
    TZemRealBuffer(const double* source, uint32_t count);
    /// Converts `count` integers exactly.
    TZemRealBuffer(const int32_t* source, uint32_t count);
    /// Widens `count` floats exactly.
    TZemRealBuffer(const float* source, uint32_t count);
    /// Shares `source`'s storage (one more owner) and takes its byte size.
    explicit TZemRealBuffer(const TZemRealBuffer* source);

    /// With a real destination, offsets and count are in doubles; otherwise in bytes.
    void CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination, uint32_t destinationOffset,
                uint32_t count) const override;
    TRef<TZemGenericBuffer> Clone() const override;
    uint32_t GetElementSize() const override { return sizeof(double); }

    TRef<TZemRealDataBufferAccess> GetAccess();
    const double* GetReadPointer() const noexcept {
        return reinterpret_cast<const double*>(m_data);
    }
    double* GetWritePointer() { return static_cast<double*>(TZemGenericBuffer::GetWritePointer()); }
    double* GetModifyPointer() {
        return static_cast<double*>(TZemGenericBuffer::GetModifyPointer());
    }

    /// Throws ERangeError "Index out of rabge = %u" for a negative index or one at or above the
    /// count. `SetValue` takes the modify pointer first.
    double GetValue(int32_t index) const;
    void SetValue(int32_t index, double value);
    /// Element n of N becomes magnitude × sin(π/2 × n² / N) (N = 1: the single element is 0).
    /// A negative magnitude leaves the buffer unchanged.
    void FillJaehne(double magnitude);

    /// Element-wise over this buffer's count; `other` must hold at least as many elements.
    void Add(const TZemRealBuffer& other);
    void Subtract(const TZemRealBuffer& other);
    void Multiply(const TZemRealBuffer& other);
    /// Where the divisor is 0 the element becomes 1e15 for a positive dividend, -1e14 for a
    /// negative one and 0 for a zero (or NaN) one.
    void Divide(const TZemRealBuffer& other);
    void Fill(double value);
    void Zero();

    /// Extremes over all elements; 0 for an empty buffer.
    double Min() const;
    double Max() const;
    /// Extremes of elements start … end − 1 after clamping (start < 0 → 0, end < 0 → 0,
    /// end > count → count, start ≥ count → count − 1); 0 for an empty range or buffer.
    double MinInRange(int32_t start, int32_t end) const;
    double MaxInRange(int32_t start, int32_t end) const;
    /// As the range versions, skipping the "no value" markers 1.7e308 and -1.7e308: the result
    /// starts at element start (0 if it is a marker) and takes every later non-marker element
    /// before end into account. 0 when end equals start or the buffer is empty.
    double MinOfValues(int32_t start, int32_t end) const;
    double MaxOfValues(int32_t start, int32_t end) const;

  protected:
    ~TZemRealBuffer() override = default;

  private:
    double ExtremeInRange(int32_t start, int32_t end, bool wantMax) const;
    double ExtremeOfValues(int32_t start, int32_t end, bool wantMax) const;
};

/// Signed 32-bit integers. Arithmetic is exact and saturated to the 32-bit range.
class TZemIntegerBuffer : public TZemMemoryBuffer {
  public:
    TZemIntegerBuffer();
    explicit TZemIntegerBuffer(uint32_t count);
    /// Shares `source`'s storage (one more owner) and takes its byte size.
    explicit TZemIntegerBuffer(const TZemIntegerBuffer* source);

    /// With an integer destination, offsets and count are in elements; otherwise in bytes.
    void CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination, uint32_t destinationOffset,
                uint32_t count) const override;
    TRef<TZemGenericBuffer> Clone() const override;
    uint32_t GetElementSize() const override { return sizeof(int32_t); }

    TRef<TZemIntegerDataBufferAccess> GetAccess();
    const int32_t* GetReadPointer() const noexcept {
        return reinterpret_cast<const int32_t*>(m_data);
    }
    int32_t* GetWritePointer() {
        return static_cast<int32_t*>(TZemGenericBuffer::GetWritePointer());
    }
    int32_t* GetModifyPointer() {
        return static_cast<int32_t*>(TZemGenericBuffer::GetModifyPointer());
    }

    /// Unchecked: the caller guarantees 0 ≤ index < count.
    int32_t GetValue(int32_t index) const { return GetReadPointer()[index]; }
    void SetValue(int32_t index, int32_t value) { GetModifyPointer()[index] = value; }

    void Add(const TZemIntegerBuffer& other);
    void Subtract(const TZemIntegerBuffer& other);
    void Multiply(const TZemIntegerBuffer& other);
    /// The exact quotient rounded to nearest (ties to even), saturated; a zero divisor gives 0
    /// for a zero dividend, 2147483647 for a positive and -2147483648 for a negative one.
    void Divide(const TZemIntegerBuffer& other);
    void Fill(int32_t value);
    void Zero();
    /// Extremes over all elements; 0 for an empty buffer.
    int32_t Min() const;
    int32_t Max() const;

  protected:
    ~TZemIntegerBuffer() override = default;
};

/// Complex doubles, real part first (16 bytes per element).
class TZemComplexBuffer : public TZemMemoryBuffer {
  public:
    explicit TZemComplexBuffer(uint32_t count);
    /// Shares `source`'s storage (one more owner) and takes its byte size.
    explicit TZemComplexBuffer(const TZemComplexBuffer* source);

    TRef<TZemGenericBuffer> Clone() const override;
    uint32_t GetElementSize() const override { return sizeof(TVecComplex); }

    TRef<TZemComplexDataBufferAccess> GetAccess();
    const TVecComplex* GetReadPointer() const noexcept {
        return reinterpret_cast<const TVecComplex*>(m_data);
    }
    TVecComplex* GetWritePointer() {
        return static_cast<TVecComplex*>(TZemGenericBuffer::GetWritePointer());
    }
    TVecComplex* GetModifyPointer() {
        return static_cast<TVecComplex*>(TZemGenericBuffer::GetModifyPointer());
    }

    /// Unchecked: the caller guarantees 0 ≤ index < count.
    TVecComplex GetValue(int32_t index) const { return GetReadPointer()[index]; }
    void SetValue(int32_t index, TVecComplex value) { GetModifyPointer()[index] = value; }

    void Add(const TZemComplexBuffer& other);
    void Subtract(const TZemComplexBuffer& other);
    /// (a+bi)(c+di) = (ac − bd) + (ad + bc)i.
    void Multiply(const TZemComplexBuffer& other);
    /// ((ac + bd) + (bc − ad)i) ÷ (c² + d²); a zero divisor gives NaN in both parts.
    void Divide(const TZemComplexBuffer& other);
    void Fill(TVecComplex value);
    void Zero();

  protected:
    ~TZemComplexBuffer() override = default;
};

/// A handle that forwards to one buffer without keeping it alive. When the buffer is destroyed
/// the handle is detached: `GetBuffer` then gives null and every other call throws
/// std::logic_error. Used on the buffer's thread only (same rule as the buffer).
class TZemDataBufferAccess : public TVokRefCounted {
  public:
    /// Registers the new access object on `buffer`.
    explicit TZemDataBufferAccess(TZemGenericBuffer& buffer);

    const void* GetReadPointer() const { return Buffer().GetReadPointer(); }
    void* GetWritePointer() { return Buffer().GetWritePointer(); }
    void* GetModifyPointer() { return Buffer().GetModifyPointer(); }
    uint32_t GetByteSize() const { return Buffer().GetByteSize(); }
    uint32_t GetSize() const { return Buffer().GetSize(); }
    /// The buffer, or null once it was destroyed.
    TRef<TZemGenericBuffer> GetBuffer() const noexcept { return TRef<TZemGenericBuffer>(m_buffer); }
    TZemSequenceStamp* GetSequenceStamp() const { return Buffer().GetSequenceStamp(); }
    /// Copies into the buffer behind `destination`, as `TZemGenericBuffer::CopyTo`.
    void CopyTo(uint32_t sourceOffset, TZemDataBufferAccess& destination,
                uint32_t destinationOffset, uint32_t count) const;
    /// As the buffer's `SetSize`, but nothing happens when `count` equals the current count.
    void SetSize(uint32_t count, bool keepContents);
    bool MakeUnique(bool copyContents) { return Buffer().MakeUnique(copyContents); }
    /// A new buffer sharing the storage.
    TRef<TZemGenericBuffer> Clone() const { return Buffer().Clone(); }

    /// Forgets the buffer and leaves its list; called by the dying buffer.
    void Detach() noexcept;
    bool IsDetached() const noexcept { return m_buffer == nullptr; }

  protected:
    ~TZemDataBufferAccess() override;
    /// The buffer; throws std::logic_error when detached.
    TZemGenericBuffer& Buffer() const;

  private:
    TZemGenericBuffer* m_buffer;
};

/// Access object of a `TZemBlockBuffer`.
class TZemBlockDataBufferAccess : public TZemDataBufferAccess {
  public:
    explicit TZemBlockDataBufferAccess(TZemBlockBuffer& buffer) : TZemDataBufferAccess(buffer) {}

    const uint8_t* GetReadPointer() const { return Block().GetReadPointer(); }
    uint8_t* GetWritePointer() { return Block().GetWritePointer(); }
    uint8_t* GetModifyPointer() { return Block().GetModifyPointer(); }
    void Add(const TZemBlockBuffer& other) { Block().Add(other); }
    void Subtract(const TZemBlockBuffer& other) { Block().Subtract(other); }
    void Multiply(const TZemBlockBuffer& other) { Block().Multiply(other); }
    void Divide(const TZemBlockBuffer& other) { Block().Divide(other); }
    void Fill(uint8_t value) { Block().Fill(value); }
    void Zero() { Block().Zero(); }

  protected:
    ~TZemBlockDataBufferAccess() override = default;

  private:
    TZemBlockBuffer& Block() const { return static_cast<TZemBlockBuffer&>(Buffer()); }
};

/// Access object of a `TZemRealBuffer`.
class TZemRealDataBufferAccess : public TZemDataBufferAccess {
  public:
    explicit TZemRealDataBufferAccess(TZemRealBuffer& buffer) : TZemDataBufferAccess(buffer) {}

    const double* GetReadPointer() const { return Real().GetReadPointer(); }
    double* GetWritePointer() { return Real().GetWritePointer(); }
    double* GetModifyPointer() { return Real().GetModifyPointer(); }
    double GetValue(int32_t index) const { return Real().GetValue(index); }
    void SetValue(int32_t index, double value) { Real().SetValue(index, value); }
    void FillJaehne(double magnitude) { Real().FillJaehne(magnitude); }
    void Add(const TZemRealBuffer& other) { Real().Add(other); }
    void Subtract(const TZemRealBuffer& other) { Real().Subtract(other); }
    void Multiply(const TZemRealBuffer& other) { Real().Multiply(other); }
    void Divide(const TZemRealBuffer& other) { Real().Divide(other); }
    void Fill(double value) { Real().Fill(value); }
    void Zero() { Real().Zero(); }
    double Min() const { return Real().Min(); }
    double Max() const { return Real().Max(); }
    double MinInRange(int32_t start, int32_t end) const { return Real().MinInRange(start, end); }
    double MaxInRange(int32_t start, int32_t end) const { return Real().MaxInRange(start, end); }

  protected:
    ~TZemRealDataBufferAccess() override = default;

  private:
    TZemRealBuffer& Real() const { return static_cast<TZemRealBuffer&>(Buffer()); }
};

/// Access object of a `TZemIntegerBuffer`.
class TZemIntegerDataBufferAccess : public TZemDataBufferAccess {
  public:
    explicit TZemIntegerDataBufferAccess(TZemIntegerBuffer& buffer)
        : TZemDataBufferAccess(buffer) {}

    const int32_t* GetReadPointer() const { return Integer().GetReadPointer(); }
    int32_t* GetWritePointer() { return Integer().GetWritePointer(); }
    int32_t* GetModifyPointer() { return Integer().GetModifyPointer(); }
    int32_t GetValue(int32_t index) const { return Integer().GetValue(index); }
    void SetValue(int32_t index, int32_t value) { Integer().SetValue(index, value); }
    void Add(const TZemIntegerBuffer& other) { Integer().Add(other); }
    void Subtract(const TZemIntegerBuffer& other) { Integer().Subtract(other); }
    void Multiply(const TZemIntegerBuffer& other) { Integer().Multiply(other); }
    void Divide(const TZemIntegerBuffer& other) { Integer().Divide(other); }
    void Fill(int32_t value) { Integer().Fill(value); }
    void Zero() { Integer().Zero(); }
    int32_t Min() const { return Integer().Min(); }
    int32_t Max() const { return Integer().Max(); }

  protected:
    ~TZemIntegerDataBufferAccess() override = default;

  private:
    TZemIntegerBuffer& Integer() const { return static_cast<TZemIntegerBuffer&>(Buffer()); }
};

/// Access object of a `TZemComplexBuffer`.
class TZemComplexDataBufferAccess : public TZemDataBufferAccess {
  public:
    explicit TZemComplexDataBufferAccess(TZemComplexBuffer& buffer)
        : TZemDataBufferAccess(buffer) {}

    const TVecComplex* GetReadPointer() const { return Complex().GetReadPointer(); }
    TVecComplex* GetWritePointer() { return Complex().GetWritePointer(); }
    TVecComplex* GetModifyPointer() { return Complex().GetModifyPointer(); }
    TVecComplex GetValue(int32_t index) const { return Complex().GetValue(index); }
    void SetValue(int32_t index, TVecComplex value) { Complex().SetValue(index, value); }
    void Add(const TZemComplexBuffer& other) { Complex().Add(other); }
    void Subtract(const TZemComplexBuffer& other) { Complex().Subtract(other); }
    void Multiply(const TZemComplexBuffer& other) { Complex().Multiply(other); }
    void Divide(const TZemComplexBuffer& other) { Complex().Divide(other); }
    void Fill(TVecComplex value) { Complex().Fill(value); }
    void Zero() { Complex().Zero(); }

  protected:
    ~TZemComplexDataBufferAccess() override = default;

  private:
    TZemComplexBuffer& Complex() const { return static_cast<TZemComplexBuffer&>(Buffer()); }
};

/// The design's interface names. Interfaces are the classes themselves; "is this a real
/// buffer?" is answered by `BufferCast<IZemRealBuffer>(buffer)`.
using IZemDataBuffer = TZemGenericBuffer;
using IZemBlockBuffer = TZemBlockBuffer;
using IZemRealBuffer = TZemRealBuffer;
using IZemIntegerBuffer = TZemIntegerBuffer;
using IZemComplexBuffer = TZemComplexBuffer;
using IZemDataBufferAccess = TZemDataBufferAccess;
using IZemBlockDataBufferAccess = TZemBlockDataBufferAccess;
using IZemRealDataBufferAccess = TZemRealDataBufferAccess;
using IZemIntegerDataBufferAccess = TZemIntegerDataBufferAccess;
using IZemComplexDataBufferAccess = TZemComplexDataBufferAccess;
