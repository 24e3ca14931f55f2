// bit_vector: a dense set of small unsigned integers (attribute, federate and class handles),
// with two storage-free uniform states (all zeros, all ones). The vector owns its storage block,
// taken from `pools` by size class; the object itself is pool allocated too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>

#include "brindle_export.h"
#include "pools.h"

namespace brindle {

class ldm_buf;

class BRINDLE_EXPORT bit_vector : public memory_pooled<bit_vector> {
public:
  // The length field has 30 bits: bits 30 and 31 of the header word are the uniform flags.
  static constexpr std::uint32_t max_length = (1u << 30) - 1;
  static constexpr std::uint32_t npos = 0xFFFFFFFF;  // "no such bit" from find_next and ffs

  bit_vector();  // length 0, no bits set
  bit_vector(std::uint32_t length, bool value);  // uniform: no storage
  bit_vector(const bit_vector& other);
  bit_vector& operator=(const bit_vector& other);
  bit_vector(bit_vector&& other) noexcept;
  bit_vector& operator=(bit_vector&& other) noexcept;
  ~bit_vector();

  // Growing adds bits of the uniform value (uniform vectors) or zeros; shrinking drops the bits
  // cut off. A length above max_length is misuse and aborts the process.
  void set_length(std::uint32_t length);
  std::uint32_t length() const { return header_ & length_mask; }

  // An index at or beyond the length first extends the length to index + 1, as set_length
  // does (an all-ones vector grows with ones).
  void set_bit(std::uint32_t index, bool value = true);
  bool get_bit(std::uint32_t index) const;  // false beyond the length
  // Bits first up to but not including last; extends the length to last when needed.
  void set_bit_range(std::uint32_t first, std::uint32_t last, bool value);
  void set_all_bits(bool value);  // back to a uniform state of the same length
  void clear() { set_all_bits(false); }

  // Set operations. &= and -= keep this vector's length; |= grows it to the longer of the two
  // and the result is the union (an all-ones vector is not grown with ones here).
  bit_vector& operator&=(const bit_vector& other);
  bit_vector& operator|=(const bit_vector& other);
  bit_vector& operator-=(const bit_vector& other);  // set difference

  std::uint32_t count() const;  // number of set bits
  bool is_empty() const;        // no bit set
  bool is_full() const;         // every bit below the length set (true for length 0)
  // Index of the first bit at or after start equal to value, npos when none below the length.
  std::uint32_t find_next(std::uint32_t start, bool value = true) const;
  std::uint32_t ffs() const { return find_next(0, true); }  // first set bit or npos

  // Comparisons look at the sets of set bits only; the lengths may differ.
  bool bit_matches(const bit_vector& other) const;     // the sets intersect
  bool all_bits_match(const bit_vector& other) const;  // every bit set in other is set here
  bool is_equal_to(const bit_vector& other) const;     // the same bits are set
  bool operator&(const bit_vector& other) const { return bit_matches(other); }
  bool operator==(const bit_vector& other) const { return is_equal_to(other); }
  bool operator!=(const bit_vector& other) const { return !is_equal_to(other); }
  bool operator|(const bit_vector& other) const { return !is_empty() || !other.is_empty(); }
  bool operator!() const { return is_empty(); }

  // Flat form, all words big-endian:
  //   | length (no flags) | ceil(length / 32) storage words, bits beyond the length 0 |
  // A uniform vector writes words of its value.
  std::size_t written_length() const;
  void write(unsigned char* bytes) const;  // writes exactly written_length() bytes
  // Replaces the contents from the flat form in the first size bytes; returns the bytes used, or
  // 0 (vector unchanged) when they do not hold a whole, well-formed vector.
  std::size_t read(const unsigned char* bytes, std::size_t size);

  // "0110..." in index order and a line break.
  void print_in_binary(std::ostream& out = std::cout) const;
  // "All bits set" / "No bits set" for the uniform states, else the list; and a line break.
  void print_set_bits(std::ostream& out = std::cout) const;

  // Wire form in an ldm_buf (words big-endian, aligned to 4):
  //   | header: bit 31 all ones, bit 30 all zeros, bits 0-29 length |
  //   | ceil(length / 32) storage words, only when neither flag is set and the length is not 0 |
  // A header with both flags, or storage running past the data of a received buffer, throws
  // ldm_decode_error and leaves the vector unchanged; storage is taken only for words present.
  friend ldm_buf& operator<<(ldm_buf& buf, const bit_vector& v);
  friend ldm_buf& operator>>(ldm_buf& buf, bit_vector& v);

private:
  static constexpr std::uint32_t all_ones_flag = 1u << 31;
  static constexpr std::uint32_t all_zeros_flag = 1u << 30;
  static constexpr std::uint32_t length_mask = max_length;

  bool uniform() const { return (header_ & (all_ones_flag | all_zeros_flag)) != 0; }
  bool uniform_value() const { return (header_ & all_ones_flag) != 0; }
  std::uint32_t word_at(std::uint32_t w) const;
  void make_storage();
  void resize_storage(std::uint32_t length);
  void extend_with_zeros(std::uint32_t length);
  void release_storage();
  void clear_tail();
  void swap(bit_vector& other) noexcept;

  std::uint32_t header_;     // flags and length
  std::uint32_t* words_;     // ceil(length / 32) words from pools; null while uniform
};

BRINDLE_EXPORT ldm_buf& operator<<(ldm_buf& buf, const bit_vector& v);
BRINDLE_EXPORT ldm_buf& operator>>(ldm_buf& buf, bit_vector& v);
// "{1, 4-6, 9}": the set bits, runs of consecutive bits as ranges.
BRINDLE_EXPORT std::ostream& operator<<(std::ostream& out, const bit_vector& v);

// The list form above for either vector type (both have find_next, length and npos).
template <typename V>
void print_set_bit_list(std::ostream& out, const V& v) {
  out << '{';
  const char* separator = "";
  for (std::uint32_t first = v.find_next(0, true); first != V::npos;) {
    const std::uint32_t clear = v.find_next(first, false);
    const std::uint32_t end = clear == V::npos ? v.length() : clear;
    out << separator << first;
    if (end - first > 1) out << '-' << end - 1;
    separator = ", ";
    first = v.find_next(end, true);
  }
  out << '}';
}

// Walks the set bits in ascending order:
//   for (bit_vector_iterator it(v); it(); ++it) use(*it);
// The vector must outlive the iterator and not change while it is used.
class BRINDLE_EXPORT bit_vector_iterator {
public:
  explicit bit_vector_iterator(const bit_vector& v) : vector_(&v) {}

  // Moves to the next set bit at or after the current index; false when there is none.
  bool operator()();
  std::uint32_t operator*() const { return index_; }
  bit_vector_iterator& operator++();  // steps past the current index
  void reset() { index_ = 0; }
  void reset(const bit_vector& v) { vector_ = &v; index_ = 0; }

private:
  const bit_vector* vector_;
  std::uint32_t index_ = 0;
};

// Calls visit with the index of every set bit, in ascending order.
template <class Visit>
void for_each_bit(const bit_vector& bits, Visit visit) {
  for (std::uint32_t i = bits.ffs(); i != bit_vector::npos; i = bits.find_next(i + 1)) visit(i);
}

}  // namespace brindle
