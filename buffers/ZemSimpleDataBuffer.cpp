#include "buffers/ZemSimpleDataBuffer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Vector routines take signed 32-bit lengths; buffer sizes never exceed 2^30 bytes, so element
// counts always fit. Status codes are ignored on purpose: a null address or an empty buffer
// simply changes nothing.
int32_t Len(uint32_t count) {
    return static_cast<int32_t>(count);
}

// "No value" markers of MinOfValues/MaxOfValues.
constexpr double kNoValueHigh = 1.7e308;
constexpr double kNoValueLow = -1.7e308;

bool IsNoValue(double value) {
    return value == kNoValueHigh || value == kNoValueLow;
}

} // namespace

// ---- TZemGenericBuffer ---------------------------------------------------------------------

TZemGenericBuffer::TZemGenericBuffer(TZemSmartBuffer* storage, uint32_t byteSize)
    : m_byteSize(byteSize), m_storage(storage) {
    m_storage->AddHolder(m_owner);
}

TZemGenericBuffer::~TZemGenericBuffer() {
    while (!m_accesses.empty()) {
        m_accesses.back()->Detach(); // removes itself from the list
    }
    m_storage->RemoveHolder(m_owner);
}

void TZemGenericBuffer::CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination,
                               uint32_t destinationOffset, uint32_t count) const {
    // The destination may be this very buffer: detach first, then read the current address.
    uint8_t* target = static_cast<uint8_t*>(destination.GetModifyPointer()) + destinationOffset;
    VecCopy8u(m_data + sourceOffset, target, Len(count));
}

void TZemGenericBuffer::Assign(const TZemGenericBuffer& source) {
    if (&source != this && source.m_storage != m_storage) {
        // Register at the new storage before leaving the old one; the old may die here.
        TZemSmartBuffer* old = m_storage;
        source.m_storage->AddHolder(m_owner);
        SetStorage(source.m_storage);
        old->RemoveHolder(m_owner);
        StorageChanged();
    }
    m_byteSize = source.m_byteSize;
    m_data = source.m_data;
}

bool TZemGenericBuffer::MakeUnique(bool copyContents) {
    return DetachStorage(copyContents);
}

bool TZemGenericBuffer::DetachStorage(bool copyContents) {
    if (m_storage->IsExclusive()) {
        return false;
    }
    // Another owner may detach at the same moment; both then copy, which is harmless. Nobody
    // writes the old block in place while we read it: that needs exclusivity, which we still
    // share until RemoveHolder below.
    std::unique_ptr<TZemSmartBuffer> clone = m_storage->CloneStorage(copyContents);
    TZemSmartBuffer* old = m_storage;
    clone->AddHolder(m_owner);
    SetStorage(clone.release());
    old->RemoveHolder(m_owner);
    StorageChanged();
    return true;
}

void TZemGenericBuffer::ReleaseOwnership() {
    if (m_owner) {
        m_storage->DropOwnership();
        m_owner = false;
    }
}

void* TZemGenericBuffer::GetWritePointer() {
    DetachStorage(false);
    return m_data;
}

void* TZemGenericBuffer::GetModifyPointer() {
    DetachStorage(true);
    return m_data;
}

// ---- TZemMemoryBuffer ----------------------------------------------------------------------

TZemMemoryBuffer::TZemMemoryBuffer(TZemSmartBuffer* storage, uint32_t byteSize)
    : TZemGenericBuffer(storage, byteSize) {
    TZemMemoryBuffer::StorageChanged();
}

TZemSmartMemoryBuffer* TZemMemoryBuffer::NewStorage(uint32_t count, uint32_t elementSize) {
    return new TZemSmartMemoryBuffer(CheckBlockSize(uint64_t{count} * elementSize));
}

std::unique_ptr<TZemSmartBuffer> TZemMemoryBuffer::CreateStorage(uint32_t count) {
    return std::unique_ptr<TZemSmartBuffer>(NewStorage(count, GetElementSize()));
}

void TZemMemoryBuffer::StorageChanged() {
    m_data = static_cast<uint8_t*>(m_storage->GetData());
}

void TZemMemoryBuffer::SetSize(uint32_t count, bool keepContents) {
    const uint32_t elementSize = GetElementSize();
    const uint32_t current = GetSize();
    if (count == 0 || count == current) {
        return;
    }
    const uint32_t byteSize = CheckBlockSize(uint64_t{count} * elementSize);
    if (count < current ||
        (m_storage->IsExclusive() && m_storage->GetAllocatedSize() / elementSize >= count)) {
        m_byteSize = byteSize;
        StorageChanged();
        return;
    }
    std::unique_ptr<TZemSmartBuffer> fresh = CreateStorage(count);
    TZemSmartBuffer* old = m_storage;
    fresh->AddHolder(m_owner);
    SetStorage(fresh.release());
    if (keepContents) {
        TZemSmartMemoryBuffer::CopyStorageContents(*m_storage, *old);
    }
    old->RemoveHolder(m_owner);
    m_byteSize = byteSize;
    StorageChanged();
}

// ---- TZemBlockBuffer -----------------------------------------------------------------------

TZemBlockBuffer::TZemBlockBuffer(uint32_t byteCount)
    : TZemMemoryBuffer(NewStorage(byteCount, 1), byteCount) {
}

TZemBlockBuffer::TZemBlockBuffer(const TZemBlockBuffer* source)
    : TZemMemoryBuffer(source->m_storage, source->m_byteSize) {
}

TRef<TZemGenericBuffer> TZemBlockBuffer::Clone() const {
    return TRef<TZemGenericBuffer>(new TZemBlockBuffer(this));
}

TRef<TZemBlockDataBufferAccess> TZemBlockBuffer::GetAccess() {
    return TRef<TZemBlockDataBufferAccess>(new TZemBlockDataBufferAccess(*this));
}

// In every element-wise operation the modify pointer is taken before the other buffer's read
// pointer: when `other` is this buffer, the read pointer must see the detached block.

void TZemBlockBuffer::Add(const TZemBlockBuffer& other) {
    uint8_t* target = GetModifyPointer();
    VecAddScaled8u(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemBlockBuffer::Subtract(const TZemBlockBuffer& other) {
    uint8_t* target = GetModifyPointer();
    VecSubScaled8u(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemBlockBuffer::Multiply(const TZemBlockBuffer& other) {
    uint8_t* target = GetModifyPointer();
    VecMulScaled8u(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemBlockBuffer::Divide(const TZemBlockBuffer& other) {
    // No vector routine divides bytes. A zero divisor saturates like the other operations
    // instead of faulting: the quotient of a non-zero byte "tends to infinity" → 255.
    uint8_t* target = GetModifyPointer();
    const uint8_t* divisor = other.GetReadPointer();
    const uint32_t count = GetSize();
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned d = divisor[i];
        const unsigned n = target[i];
        target[i] = static_cast<uint8_t>(d != 0 ? n / d : (n != 0 ? 255u : 0u));
    }
}

void TZemBlockBuffer::Fill(uint8_t value) {
    VecFill8u(value, GetWritePointer(), Len(GetSize()));
}

void TZemBlockBuffer::Zero() {
    VecZero8u(GetWritePointer(), Len(GetSize()));
}

// ---- TZemRealBuffer ------------------------------------------------------------------------

TZemRealBuffer::TZemRealBuffer() : TZemRealBuffer(0u) {
}

TZemRealBuffer::TZemRealBuffer(uint32_t count)
    : TZemMemoryBuffer(NewStorage(count, sizeof(double)), count * uint32_t{sizeof(double)}) {
}

TZemRealBuffer::TZemRealBuffer(const double* source, uint32_t count) : TZemRealBuffer(count) {
    VecCopy64f(source, GetWritePointer(), Len(count));
}

TZemRealBuffer::TZemRealBuffer(const int32_t* source, uint32_t count) : TZemRealBuffer(count) {
    VecConvert32sTo64f(source, GetWritePointer(), Len(count));
}

TZemRealBuffer::TZemRealBuffer(const float* source, uint32_t count) : TZemRealBuffer(count) {
    VecConvert32fTo64f(source, GetWritePointer(), Len(count));
}

TZemRealBuffer::TZemRealBuffer(const TZemRealBuffer* source)
    : TZemMemoryBuffer(source->m_storage, source->m_byteSize) {
}

void TZemRealBuffer::CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination,
                            uint32_t destinationOffset, uint32_t count) const {
    auto* real = BufferCast<TZemRealBuffer>(&destination);
    if (real == nullptr) {
        TZemMemoryBuffer::CopyTo(sourceOffset, destination, destinationOffset, count);
        return;
    }
    double* target = real->GetModifyPointer() + destinationOffset;
    VecCopy64f(GetReadPointer() + sourceOffset, target, Len(count));
}

TRef<TZemGenericBuffer> TZemRealBuffer::Clone() const {
    return TRef<TZemGenericBuffer>(new TZemRealBuffer(this));
}

TRef<TZemRealDataBufferAccess> TZemRealBuffer::GetAccess() {
    return TRef<TZemRealDataBufferAccess>(new TZemRealDataBufferAccess(*this));
}

double TZemRealBuffer::GetValue(int32_t index) const {
    if (index < 0 || static_cast<uint32_t>(index) >= GetSize()) {
        throw ERangeError::Format("Index out of rabge = %u", static_cast<uint32_t>(index));
    }
    return GetReadPointer()[index];
}

void TZemRealBuffer::SetValue(int32_t index, double value) {
    double* target = GetModifyPointer();
    if (index < 0 || static_cast<uint32_t>(index) >= GetSize()) {
        throw ERangeError::Format("Index out of rabge = %u", static_cast<uint32_t>(index));
    }
    target[index] = value;
}

void TZemRealBuffer::FillJaehne(double magnitude) {
    // Checked here, before the write pointer may detach and leave undefined contents behind.
    if (magnitude < 0) {
        return;
    }
    VecJaehne64f(GetWritePointer(), Len(GetSize()), magnitude);
}

void TZemRealBuffer::Add(const TZemRealBuffer& other) {
    double* target = GetModifyPointer();
    VecAdd64f(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemRealBuffer::Subtract(const TZemRealBuffer& other) {
    double* target = GetModifyPointer();
    VecSub64f(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemRealBuffer::Multiply(const TZemRealBuffer& other) {
    double* target = GetModifyPointer();
    VecMul64f(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemRealBuffer::Divide(const TZemRealBuffer& other) {
    double* target = GetModifyPointer();
    const double* divisor = other.GetReadPointer();
    const int32_t count = Len(GetSize());
    if (VecDiv64f(divisor, target, count) != vsDivByZero) {
        return;
    }
    // The routine leaves ±∞ or NaN where the divisor was 0; the sign of that result is the
    // sign of the dividend, so it maps directly onto the buffer's zero-divisor values. When
    // dividing by itself the divisors were overwritten: only 0 ÷ 0 yields NaN there.
    const bool self = divisor == target;
    for (int32_t i = 0; i < count; ++i) {
        if (self ? std::isnan(target[i]) : divisor[i] == 0.0) {
            const double q = target[i];
            target[i] = q > 0 ? 1e15 : (q < 0 ? -1e14 : 0.0);
        }
    }
}

void TZemRealBuffer::Fill(double value) {
    VecFill64f(value, GetWritePointer(), Len(GetSize()));
}

void TZemRealBuffer::Zero() {
    VecZero64f(GetWritePointer(), Len(GetSize()));
}

double TZemRealBuffer::Min() const {
    return ExtremeInRange(0, Len(GetSize()), false);
}

double TZemRealBuffer::Max() const {
    return ExtremeInRange(0, Len(GetSize()), true);
}

double TZemRealBuffer::MinInRange(int32_t start, int32_t end) const {
    return ExtremeInRange(start, end, false);
}

double TZemRealBuffer::MaxInRange(int32_t start, int32_t end) const {
    return ExtremeInRange(start, end, true);
}

double TZemRealBuffer::MinOfValues(int32_t start, int32_t end) const {
    return ExtremeOfValues(start, end, false);
}

double TZemRealBuffer::MaxOfValues(int32_t start, int32_t end) const {
    return ExtremeOfValues(start, end, true);
}

namespace {

// Clamps a range the way MinInRange and friends promise; false when the buffer is empty.
bool ClampRange(int32_t count, int32_t& start, int32_t& end) {
    if (count <= 0) {
        return false;
    }
    start = std::max(start, 0);
    end = std::clamp(end, 0, count);
    start = std::min(start, count - 1);
    return true;
}

} // namespace

double TZemRealBuffer::ExtremeInRange(int32_t start, int32_t end, bool wantMax) const {
    if (!ClampRange(Len(GetSize()), start, end) || end <= start) {
        return 0.0;
    }
    double result = 0.0;
    if (wantMax) {
        VecMax64f(GetReadPointer() + start, end - start, &result);
    } else {
        VecMin64f(GetReadPointer() + start, end - start, &result);
    }
    return result;
}

double TZemRealBuffer::ExtremeOfValues(int32_t start, int32_t end, bool wantMax) const {
    if (!ClampRange(Len(GetSize()), start, end) || end == start) {
        return 0.0;
    }
    const double* values = GetReadPointer();
    double result = IsNoValue(values[start]) ? 0.0 : values[start];
    for (int32_t i = start + 1; i < end; ++i) {
        const double value = values[i];
        if (!IsNoValue(value) && (wantMax ? value > result : value < result)) {
            result = value;
        }
    }
    return result;
}

// ---- TZemIntegerBuffer ---------------------------------------------------------------------

TZemIntegerBuffer::TZemIntegerBuffer() : TZemIntegerBuffer(0u) {
}

TZemIntegerBuffer::TZemIntegerBuffer(uint32_t count)
    : TZemMemoryBuffer(NewStorage(count, sizeof(int32_t)), count * uint32_t{sizeof(int32_t)}) {
}

TZemIntegerBuffer::TZemIntegerBuffer(const TZemIntegerBuffer* source)
    : TZemMemoryBuffer(source->m_storage, source->m_byteSize) {
}

void TZemIntegerBuffer::CopyTo(uint32_t sourceOffset, TZemGenericBuffer& destination,
                               uint32_t destinationOffset, uint32_t count) const {
    auto* integer = BufferCast<TZemIntegerBuffer>(&destination);
    if (integer == nullptr) {
        TZemMemoryBuffer::CopyTo(sourceOffset, destination, destinationOffset, count);
        return;
    }
    int32_t* target = integer->GetModifyPointer() + destinationOffset;
    VecCopy8u(reinterpret_cast<const uint8_t*>(GetReadPointer() + sourceOffset),
              reinterpret_cast<uint8_t*>(target),
              static_cast<int32_t>(uint64_t{count} * sizeof(int32_t)));
}

TRef<TZemGenericBuffer> TZemIntegerBuffer::Clone() const {
    return TRef<TZemGenericBuffer>(new TZemIntegerBuffer(this));
}

TRef<TZemIntegerDataBufferAccess> TZemIntegerBuffer::GetAccess() {
    return TRef<TZemIntegerDataBufferAccess>(new TZemIntegerDataBufferAccess(*this));
}

void TZemIntegerBuffer::Add(const TZemIntegerBuffer& other) {
    int32_t* target = GetModifyPointer();
    VecAddScaled32s(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemIntegerBuffer::Subtract(const TZemIntegerBuffer& other) {
    int32_t* target = GetModifyPointer();
    VecSubScaled32s(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemIntegerBuffer::Multiply(const TZemIntegerBuffer& other) {
    int32_t* target = GetModifyPointer();
    VecMulScaled32s(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemIntegerBuffer::Divide(const TZemIntegerBuffer& other) {
    int32_t* target = GetModifyPointer();
    VecDivScaled32s(other.GetReadPointer(), target, Len(GetSize()), 0);
}

void TZemIntegerBuffer::Fill(int32_t value) {
    VecFill32s(value, GetWritePointer(), Len(GetSize()));
}

void TZemIntegerBuffer::Zero() {
    VecZero32s(GetWritePointer(), Len(GetSize()));
}

int32_t TZemIntegerBuffer::Min() const {
    // No vector routine finds integer extremes; the loop is simple enough to vectorise.
    const int32_t* values = GetReadPointer();
    const uint32_t count = GetSize();
    return count == 0 ? 0 : *std::min_element(values, values + count);
}

int32_t TZemIntegerBuffer::Max() const {
    const int32_t* values = GetReadPointer();
    const uint32_t count = GetSize();
    return count == 0 ? 0 : *std::max_element(values, values + count);
}

// ---- TZemComplexBuffer ---------------------------------------------------------------------

TZemComplexBuffer::TZemComplexBuffer(uint32_t count)
    : TZemMemoryBuffer(NewStorage(count, sizeof(TVecComplex)),
                       count * uint32_t{sizeof(TVecComplex)}) {
}

TZemComplexBuffer::TZemComplexBuffer(const TZemComplexBuffer* source)
    : TZemMemoryBuffer(source->m_storage, source->m_byteSize) {
}

TRef<TZemGenericBuffer> TZemComplexBuffer::Clone() const {
    return TRef<TZemGenericBuffer>(new TZemComplexBuffer(this));
}

TRef<TZemComplexDataBufferAccess> TZemComplexBuffer::GetAccess() {
    return TRef<TZemComplexDataBufferAccess>(new TZemComplexDataBufferAccess(*this));
}

void TZemComplexBuffer::Add(const TZemComplexBuffer& other) {
    TVecComplex* target = GetModifyPointer();
    VecAdd64fc(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemComplexBuffer::Subtract(const TZemComplexBuffer& other) {
    TVecComplex* target = GetModifyPointer();
    VecSub64fc(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemComplexBuffer::Multiply(const TZemComplexBuffer& other) {
    TVecComplex* target = GetModifyPointer();
    VecMul64fc(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemComplexBuffer::Divide(const TZemComplexBuffer& other) {
    TVecComplex* target = GetModifyPointer();
    VecDiv64fc(other.GetReadPointer(), target, Len(GetSize()));
}

void TZemComplexBuffer::Fill(TVecComplex value) {
    VecFill64fc(value, GetWritePointer(), Len(GetSize()));
}

void TZemComplexBuffer::Zero() {
    VecZero64fc(GetWritePointer(), Len(GetSize()));
}

// ---- access objects ------------------------------------------------------------------------

TZemDataBufferAccess::TZemDataBufferAccess(TZemGenericBuffer& buffer) : m_buffer(&buffer) {
    buffer.m_accesses.push_back(this);
}

TZemDataBufferAccess::~TZemDataBufferAccess() {
    Detach();
}

void TZemDataBufferAccess::Detach() noexcept {
    if (m_buffer == nullptr) {
        return;
    }
    auto& list = m_buffer->m_accesses;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    m_buffer = nullptr;
}

TZemGenericBuffer& TZemDataBufferAccess::Buffer() const {
    if (m_buffer == nullptr) {
        throw std::logic_error("data buffer access used after its buffer was destroyed");
    }
    return *m_buffer;
}

void TZemDataBufferAccess::CopyTo(uint32_t sourceOffset, TZemDataBufferAccess& destination,
                                  uint32_t destinationOffset, uint32_t count) const {
    Buffer().CopyTo(sourceOffset, destination.Buffer(), destinationOffset, count);
}

void TZemDataBufferAccess::SetSize(uint32_t count, bool keepContents) {
    TZemGenericBuffer& buffer = Buffer();
    if (count != buffer.GetSize()) {
        buffer.SetSize(count, keepContents);
    }
}
