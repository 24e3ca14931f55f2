// sparse_bit_vector: a set of unsigned integers over a large, mostly uniform index space (stream
// numbers). A table of 128-bit blocks, each block all zeros, all ones or stored; the vector as a
// whole may be uniform with no table. The vector owns its table and blocks, taken from `pools`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>

#include "brindle_export.h"
#include "pools.h"

namespace brindle {

class ldm_buf;

class BRINDLE_EXPORT sparse_bit_vector : public memory_pooled<sparse_bit_vector> {
public:
  // The wire form carries 31 bits of length.
  static constexpr std::uint32_t max_length = 0x7FFFFFFF;
  static constexpr std::uint32_t npos = 0xFFFFFFFF;  // "no such bit" from find_next and ffs
  // Longest vector a decoder builds a block table for (2^24 bits: a 1 MiB table at most).
  // Longer vectors from outside are accepted only when uniform.
  static constexpr std::uint32_t max_decoded_length = 1u << 24;

  struct block {
    std::uint32_t words[4];  // bit i in words[i / 32], bit i % 32
  };

  sparse_bit_vector();  // length 0, no bits set
  sparse_bit_vector(std::uint32_t length, bool value);  // uniform: no table
  sparse_bit_vector(const sparse_bit_vector& other);
  sparse_bit_vector& operator=(const sparse_bit_vector& other);
  sparse_bit_vector(sparse_bit_vector&& other) noexcept;
  sparse_bit_vector& operator=(sparse_bit_vector&& other) noexcept;
  ~sparse_bit_vector();

  // Growing adds bits of the uniform value (uniform vectors) or zeros; shrinking drops the bits
  // cut off. A length above max_length is misuse and aborts the process.
  void set_length(std::uint32_t length);
  std::uint32_t length() const { return length_; }

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
  sparse_bit_vector& operator&=(const sparse_bit_vector& other);
  sparse_bit_vector& operator|=(const sparse_bit_vector& other);
  sparse_bit_vector& operator-=(const sparse_bit_vector& other);  // set difference

  std::uint32_t count() const;  // number of set bits
  bool is_empty() const;        // no bit set
  bool is_full() const;         // every bit below the length set (true for length 0)
  // Index of the first bit at or after start equal to value, npos when none below the length.
  std::uint32_t find_next(std::uint32_t start, bool value = true) const;
  std::uint32_t ffs() const { return find_next(0, true); }  // first set bit or npos

  // Comparisons look at the sets of set bits only; the lengths may differ.
  bool bit_matches(const sparse_bit_vector& other) const;     // the sets intersect
  bool all_bits_match(const sparse_bit_vector& other) const;  // every bit set in other is set here
  bool is_equal_to(const sparse_bit_vector& other) const;     // the same bits are set
  bool operator&(const sparse_bit_vector& other) const { return bit_matches(other); }
  bool operator==(const sparse_bit_vector& other) const { return is_equal_to(other); }
  bool operator!=(const sparse_bit_vector& other) const { return !is_equal_to(other); }
  bool operator|(const sparse_bit_vector& other) const { return !is_empty() || !other.is_empty(); }
  bool operator!() const { return is_empty(); }

  // Flat form, all words big-endian:
  //   | length | 0 (no bits set) or 0xFFFFFFFF (all set) or n, the number of non-zero blocks |
  //   | n times: block index, four words of the block (an all-ones block as four 0xFFFFFFFF) |
  std::size_t written_length() const;
  void write(unsigned char* bytes) const;  // writes exactly written_length() bytes
  // Replaces the contents from the flat form in the first size bytes; returns the bytes used, or
  // 0 (vector unchanged) when they do not hold a whole, well-formed vector (block indexes
  // ascending and inside the length, no table beyond max_decoded_length). Bits beyond the
  // length are dropped.
  std::size_t read(const unsigned char* bytes, std::size_t size);

  // "0110..." in index order and a line break.
  void print_in_binary(std::ostream& out = std::cout) const;
  // "All bits set" / "No bits set" for the uniform states, else the list; and a line break.
  void print_set_bits(std::ostream& out = std::cout) const;

  // Wire form in an ldm_buf, run lengths (words big-endian, aligned to 4):
  //   | bit 31: b, the value of bit 0; bits 0-30: the length |
  //   | pairs until the length is covered: low 16 bits a run of b, high 16 bits a run of !b |
  // A longer first run is preceded by words 65535 (65535 of b, 0 of !b); a longer second run is
  // followed by words k << 16 (0 of b, k of !b). Runs that do not add up to the length print
  // "sparse_bit_vector: overran input range" (the bits read stay). Reading a received buffer
  // throws ldm_decode_error on truncated data or a stored table beyond max_decoded_length; the
  // vector is then unchanged.
  friend ldm_buf& operator<<(ldm_buf& buf, const sparse_bit_vector& v);
  friend ldm_buf& operator>>(ldm_buf& buf, sparse_bit_vector& v);

private:
  std::uint32_t table_size() const { return length_ / 128 + (length_ % 128 != 0); }
  std::size_t table_bytes() const;
  block value_of(std::uint32_t b) const;
  void set_block(std::uint32_t b, const block& value);
  void release_entry(std::uint32_t b);
  void make_table();
  void resize_table(std::uint32_t length);
  void release_table();
  void clear_tail();
  void extend_with_zeros(std::uint32_t length);
  std::uint32_t stored_blocks() const;
  void swap(sparse_bit_vector& other) noexcept;

  std::uint32_t length_;
  bool ones_;        // the uniform value while table_ is null
  block** table_;    // table_size() entries from pools: null (zeros), the shared full block, or own
};

std::ostream& operator<<(std::ostream& out, const sparse_bit_vector& v);

// Walks the set bits in ascending order:
//   for (sparse_bit_vector_iterator it(v); it(); ++it) use(*it);
// The vector must outlive the iterator and not change while it is used.
class sparse_bit_vector_iterator {
public:
  explicit sparse_bit_vector_iterator(const sparse_bit_vector& v) : vector_(&v) {}

  // Moves to the next set bit at or after the current index; false when there is none.
  bool operator()();
  std::uint32_t operator*() const { return index_; }
  sparse_bit_vector_iterator& operator++();  // steps past the current index
  void reset() { index_ = 0; }
  void reset(const sparse_bit_vector& v) { vector_ = &v; index_ = 0; }

private:
  const sparse_bit_vector* vector_;
  std::uint32_t index_ = 0;
};

}  // namespace brindle
