#pragma once

#include <cstdint>
#include <initializer_list>

/// A set of up to 64 values of the enumeration `E` (values 0 … 63), stored as a bit mask:
/// value k is bit k. Used for component state flags and for set-valued published properties.
template <class E> class TVokSet {
  public:
    constexpr TVokSet() = default;
    constexpr TVokSet(std::initializer_list<E> items) {
        for (E item : items) {
            Include(item);
        }
    }

    static constexpr TVokSet FromBits(uint64_t bits) {
        TVokSet result;
        result.m_bits = bits;
        return result;
    }
    constexpr uint64_t ToBits() const { return m_bits; }

    constexpr bool Contains(E item) const { return (m_bits & Bit(item)) != 0; }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    constexpr void Include(E item) { m_bits |= Bit(item); }
    constexpr void Exclude(E item) { m_bits &= ~Bit(item); }
    /// This set with `item` added.
    constexpr TVokSet With(E item) const { return FromBits(m_bits | Bit(item)); }

    friend constexpr bool operator==(TVokSet a, TVokSet b) { return a.m_bits == b.m_bits; }

  private:
    static constexpr uint64_t Bit(E item) { return uint64_t{1} << static_cast<unsigned>(item); }
    uint64_t m_bits = 0;
};
