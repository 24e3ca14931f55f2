#include "sparse_bit_vector.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "bit_vector.h"
#include "byte_order.h"
#include "diagnostic.h"
#include "ldm_buf.h"

namespace brindle {

// Invariants of the block table: no bit at or beyond the length is set, and the shared all-ones
// block stands only for blocks that lie wholly below the length. The shared block is never
// written: writable_block gives such an entry its own copy first.

using block = sparse_bit_vector::block;

namespace {

constexpr std::uint32_t all_bits = 0xFFFFFFFF;
constexpr std::uint32_t block_bits = 128;
constexpr std::uint32_t run_limit = 0xFFFF;  // a run field of the wire form has 16 bits

const char* const diagnostic_tag = "sparse_bit_vector";

const block all_ones_block = {{all_bits, all_bits, all_bits, all_bits}};
constexpr block zero_block = {{0, 0, 0, 0}};

block* shared_ones() { return const_cast<block*>(&all_ones_block); }

bool is_zero(const block& b) { return (b.words[0] | b.words[1] | b.words[2] | b.words[3]) == 0; }

bool is_ones(const block& b) {
  return (b.words[0] & b.words[1] & b.words[2] & b.words[3]) == all_bits;
}

// Bits [first, last) of one block, 0 <= first <= last <= 128.
block range_block(std::uint32_t first, std::uint32_t last) {
  block b = zero_block;
  for (std::uint32_t w = 0; w < 4; ++w) {
    const std::uint32_t low = std::clamp(first, w * 32, w * 32 + 32) - w * 32;
    const std::uint32_t high = std::clamp(last, w * 32, w * 32 + 32) - w * 32;
    if (low == high) continue;
    const std::uint32_t above_low = all_bits << low;
    b.words[w] = high == 32 ? above_low : above_low & ((1u << high) - 1);
  }
  return b;
}

block operator&(const block& a, const block& b) {
  return {{a.words[0] & b.words[0], a.words[1] & b.words[1], a.words[2] & b.words[2],
           a.words[3] & b.words[3]}};
}

block operator|(const block& a, const block& b) {
  return {{a.words[0] | b.words[0], a.words[1] | b.words[1], a.words[2] | b.words[2],
           a.words[3] | b.words[3]}};
}

block operator~(const block& a) {
  return {{~a.words[0], ~a.words[1], ~a.words[2], ~a.words[3]}};
}

// Index of the lowest set bit, or block_bits when none.
std::uint32_t lowest_bit(const block& b) {
  for (std::uint32_t w = 0; w < 4; ++w)
    if (b.words[w] != 0) return w * 32 + std::countr_zero(b.words[w]);
  return block_bits;
}

[[noreturn]] void length_misuse() {
  diagnostic(diagnostic_tag, "length beyond 2^31 - 1 bits");
  std::abort();
}

}  // namespace

sparse_bit_vector::sparse_bit_vector() : length_(0), ones_(false), table_(nullptr) {}

sparse_bit_vector::sparse_bit_vector(std::uint32_t length, bool value)
    : length_(length), ones_(value), table_(nullptr) {
  if (length > max_length) length_misuse();
}

sparse_bit_vector::sparse_bit_vector(const sparse_bit_vector& other)
    : length_(other.length_), ones_(other.ones_), table_(nullptr) {
  if (other.table_ == nullptr) return;
  table_ = static_cast<block**>(pools::alloc(table_bytes()));
  for (std::uint32_t b = 0; b < table_size(); ++b) {
    block* entry = other.table_[b];
    if (entry != nullptr && entry != shared_ones()) {
      block* copy = static_cast<block*>(pools::alloc(sizeof(block)));
      *copy = *entry;
      entry = copy;
    }
    table_[b] = entry;
  }
}

sparse_bit_vector& sparse_bit_vector::operator=(const sparse_bit_vector& other) {
  if (this != &other) {
    sparse_bit_vector copy(other);
    swap(copy);
  }
  return *this;
}

sparse_bit_vector::sparse_bit_vector(sparse_bit_vector&& other) noexcept
    : length_(other.length_), ones_(other.ones_), table_(other.table_) {
  other.length_ = 0;
  other.ones_ = false;
  other.table_ = nullptr;
}

sparse_bit_vector& sparse_bit_vector::operator=(sparse_bit_vector&& other) noexcept {
  sparse_bit_vector taken(std::move(other));
  swap(taken);
  return *this;
}

sparse_bit_vector::~sparse_bit_vector() { release_table(); }

void sparse_bit_vector::swap(sparse_bit_vector& other) noexcept {
  std::swap(length_, other.length_);
  std::swap(ones_, other.ones_);
  std::swap(table_, other.table_);
}

std::size_t sparse_bit_vector::table_bytes() const { return std::size_t{table_size()} * sizeof(block*); }

void sparse_bit_vector::release_entry(std::uint32_t b) {
  if (table_[b] != nullptr && table_[b] != shared_ones()) pools::dealloc(sizeof(block), table_[b]);
  table_[b] = nullptr;
}

void sparse_bit_vector::release_table() {
  if (table_ == nullptr) return;
  for (std::uint32_t b = 0; b < table_size(); ++b) release_entry(b);
  pools::dealloc(table_bytes(), table_);
  table_ = nullptr;
}

// The table for a uniform vector, holding the same set. Needs length > 0.
void sparse_bit_vector::make_table() {
  table_ = static_cast<block**>(pools::alloc(table_bytes()));
  std::fill_n(table_, table_size(), ones_ ? shared_ones() : nullptr);
  ones_ = false;
  clear_tail();
}

// Table vectors only: a new length, added blocks zero, cut blocks freed. Needs length > 0.
void sparse_bit_vector::resize_table(std::uint32_t length) {
  const std::uint32_t old_size = table_size(), new_size = (length + block_bits - 1) / block_bits;
  if (new_size != old_size) {
    auto** fresh = static_cast<block**>(pools::alloc(std::size_t{new_size} * sizeof(block*)));
    std::copy_n(table_, std::min(old_size, new_size), fresh);
    std::fill(fresh + std::min(old_size, new_size), fresh + new_size, nullptr);
    for (std::uint32_t b = new_size; b < old_size; ++b) release_entry(b);
    pools::dealloc(table_bytes(), table_);
    table_ = fresh;
  }
  length_ = length;
  clear_tail();
}

void sparse_bit_vector::clear_tail() {
  const std::uint32_t last = table_size() - 1;
  if (length_ % block_bits != 0)
    set_block(last, value_of(last) & range_block(0, length_ - last * block_bits));
}

// The 128 bits of block b, the uniform states expanded; zero at or beyond the length.
block sparse_bit_vector::value_of(std::uint32_t b) const {
  if (b >= table_size()) return zero_block;
  if (table_ != nullptr) return table_[b] == nullptr ? zero_block : *table_[b];
  if (!ones_) return zero_block;
  return range_block(0, std::min(block_bits, length_ - b * block_bits));
}

// Stores value as block b, sharing or dropping storage for uniform blocks. value has no bit at
// or beyond the length, so an all-ones value lies wholly below it.
void sparse_bit_vector::set_block(std::uint32_t b, const block& value) {
  if (is_zero(value) || is_ones(value)) {
    release_entry(b);
    if (is_ones(value)) table_[b] = shared_ones();
    return;
  }
  if (table_[b] == nullptr || table_[b] == shared_ones())
    table_[b] = static_cast<block*>(pools::alloc(sizeof(block)));
  *table_[b] = value;
}

void sparse_bit_vector::set_length(std::uint32_t length) {
  if (length > max_length) length_misuse();
  if (table_ == nullptr) {
    length_ = length;
  } else if (length == 0) {
    release_table();
    length_ = 0;
  } else {
    resize_table(length);
  }
}

// Growing that adds zeros even to an all-ones vector, so that the set stays the same.
void sparse_bit_vector::extend_with_zeros(std::uint32_t length) {
  if (length <= length_) return;
  if (table_ == nullptr && ones_) {
    if (length_ == 0)
      ones_ = false;
    else
      make_table();
  }
  set_length(length);
}

void sparse_bit_vector::set_bit(std::uint32_t index, bool value) {
  if (index >= max_length) length_misuse();
  set_bit_range(index, index + 1, value);
}

bool sparse_bit_vector::get_bit(std::uint32_t index) const {
  if (index >= length_) return false;
  if (table_ == nullptr) return ones_;
  const block* entry = table_[index / block_bits];
  const std::uint32_t bit = index % block_bits;
  return entry != nullptr && ((entry->words[bit / 32] >> (bit % 32)) & 1) != 0;
}

void sparse_bit_vector::set_bit_range(std::uint32_t first, std::uint32_t last, bool value) {
  if (first >= last) return;
  if (last > max_length) length_misuse();
  if (last > length_) set_length(last);
  if (first == 0 && last == length_) return set_all_bits(value);
  if (table_ == nullptr) {
    if (ones_ == value) return;
    make_table();
  }
  for (std::uint32_t b = first / block_bits; b <= (last - 1) / block_bits; ++b) {
    const std::uint32_t base = b * block_bits;
    const block mask = range_block(std::max(first, base) - base, std::min(last - base, block_bits));
    set_block(b, value ? value_of(b) | mask : value_of(b) & ~mask);
  }
}

void sparse_bit_vector::set_all_bits(bool value) {
  release_table();
  ones_ = value;
}

sparse_bit_vector& sparse_bit_vector::operator&=(const sparse_bit_vector& other) {
  if (is_empty()) return *this;
  if (other.is_empty()) {
    set_all_bits(false);
    return *this;
  }
  if (other.table_ == nullptr && other.length_ >= length_) return *this;  // other is all ones here
  if (table_ == nullptr) make_table();
  for (std::uint32_t b = 0; b < table_size(); ++b)
    if (table_[b] != nullptr) set_block(b, value_of(b) & other.value_of(b));
  return *this;
}

sparse_bit_vector& sparse_bit_vector::operator|=(const sparse_bit_vector& other) {
  if (other.table_ == nullptr && other.ones_ && other.length_ >= length_) {
    *this = other;
    return *this;
  }
  extend_with_zeros(other.length_);
  if (other.is_empty() || is_full()) return *this;
  if (table_ == nullptr) make_table();
  for (std::uint32_t b = 0; b < other.table_size(); ++b) {
    const block theirs = other.value_of(b);
    if (!is_zero(theirs)) set_block(b, value_of(b) | theirs);
  }
  return *this;
}

sparse_bit_vector& sparse_bit_vector::operator-=(const sparse_bit_vector& other) {
  if (is_empty() || other.is_empty()) return *this;
  if (other.table_ == nullptr && other.length_ >= length_) {
    set_all_bits(false);
    return *this;
  }
  if (table_ == nullptr) make_table();
  const std::uint32_t blocks = std::min(table_size(), other.table_size());
  for (std::uint32_t b = 0; b < blocks; ++b)
    if (table_[b] != nullptr) set_block(b, value_of(b) & ~other.value_of(b));
  return *this;
}

std::uint32_t sparse_bit_vector::count() const {
  if (table_ == nullptr) return ones_ ? length_ : 0;
  std::uint32_t n = 0;
  for (std::uint32_t b = 0; b < table_size(); ++b) {
    if (table_[b] == nullptr) continue;
    for (std::uint32_t word : table_[b]->words) n += std::popcount(word);
  }
  return n;
}

bool sparse_bit_vector::is_empty() const { return find_next(0, true) == npos; }

bool sparse_bit_vector::is_full() const { return find_next(0, false) == npos; }

std::uint32_t sparse_bit_vector::find_next(std::uint32_t start, bool value) const {
  if (start >= length_) return npos;
  if (table_ == nullptr) return ones_ == value ? start : npos;
  for (std::uint32_t b = start / block_bits; b < table_size(); ++b) {
    const std::uint32_t base = b * block_bits;
    const block wanted = value ? value_of(b) : ~value_of(b);
    const std::uint32_t end = std::min(block_bits, length_ - base);
    const std::uint32_t bit = lowest_bit(wanted & range_block(std::max(start, base) - base, end));
    if (bit < block_bits) return base + bit;
  }
  return npos;
}

bool sparse_bit_vector::bit_matches(const sparse_bit_vector& other) const {
  if (is_empty() || other.is_empty()) return false;
  // Against an all-ones vector the question is whether the other has a bit below its length.
  if (table_ == nullptr) return other.find_next(0, true) < length_;
  if (other.table_ == nullptr) return find_next(0, true) < other.length_;
  const std::uint32_t blocks = std::min(table_size(), other.table_size());
  for (std::uint32_t b = 0; b < blocks; ++b)
    if (table_[b] != nullptr && !is_zero(value_of(b) & other.value_of(b))) return true;
  return false;
}

bool sparse_bit_vector::all_bits_match(const sparse_bit_vector& other) const {
  if (other.is_empty()) return true;
  if (table_ == nullptr) return ones_ && other.find_next(length_, true) == npos;
  if (other.table_ == nullptr) {
    const std::uint32_t first_clear = find_next(0, false);
    return other.length_ <= length_ && (first_clear == npos || first_clear >= other.length_);
  }
  for (std::uint32_t b = 0; b < other.table_size(); ++b)
    if (other.table_[b] != nullptr && !is_zero(other.value_of(b) & ~value_of(b))) return false;
  return true;
}

bool sparse_bit_vector::is_equal_to(const sparse_bit_vector& other) const {
  return all_bits_match(other) && other.all_bits_match(*this);
}

std::uint32_t sparse_bit_vector::stored_blocks() const {
  if (table_ == nullptr) return 0;
  return static_cast<std::uint32_t>(
      std::count_if(table_, table_ + table_size(), [](const block* e) { return e != nullptr; }));
}

std::size_t sparse_bit_vector::written_length() const { return 8 + std::size_t{stored_blocks()} * 20; }

void sparse_bit_vector::write(unsigned char* bytes) const {
  store_be32(bytes, length_);
  if (table_ == nullptr) {
    store_be32(bytes + 4, ones_ ? all_bits : 0);
    return;
  }
  store_be32(bytes + 4, stored_blocks());
  unsigned char* p = bytes + 8;
  for (std::uint32_t b = 0; b < table_size(); ++b) {
    if (table_[b] == nullptr) continue;
    store_be32(p, b);
    for (std::uint32_t w = 0; w < 4; ++w) store_be32(p + 4 + w * 4, table_[b]->words[w]);
    p += 20;
  }
}

std::size_t sparse_bit_vector::read(const unsigned char* bytes, std::size_t size) {
  if (size < 8) return 0;
  const std::uint32_t length = load_be32(bytes), blocks = load_be32(bytes + 4);
  if (length > max_length) return 0;
  sparse_bit_vector result(length, blocks == all_bits);
  if (blocks == 0 || blocks == all_bits) {
    swap(result);
    return 8;
  }
  if (length > max_decoded_length || blocks > result.table_size()) return 0;
  const std::size_t used = 8 + std::size_t{blocks} * 20;
  if (size < used) return 0;
  result.make_table();
  std::uint32_t next = 0;  // block indexes must ascend
  for (const unsigned char* p = bytes + 8; p < bytes + used; p += 20) {
    const std::uint32_t b = load_be32(p);
    if (b < next || b >= result.table_size()) return 0;
    block value;
    for (std::uint32_t w = 0; w < 4; ++w) value.words[w] = load_be32(p + 4 + w * 4);
    result.set_block(b, value);
    next = b + 1;
  }
  result.clear_tail();
  swap(result);
  return used;
}

void sparse_bit_vector::print_in_binary(std::ostream& out) const {
  if (is_empty()) {
    out << "No bits set\n";
    return;
  }
  for (std::uint32_t b = 0; b < table_size(); ++b) {
    const block value = value_of(b);
    if (is_zero(value)) continue;
    out << b * block_bits << ':';
    for (std::uint32_t i = 0; i < std::min(block_bits, length_ - b * block_bits); ++i) {
      if (i % 32 == 0) out << ' ';
      out << (((value.words[i / 32] >> (i % 32)) & 1) ? '1' : '0');
    }
    out << '\n';
  }
}

void sparse_bit_vector::print_set_bits(std::ostream& out) const {
  if (table_ == nullptr)
    out << (ones_ ? "All bits set" : "No bits set");
  else
    print_set_bit_list(out, *this);
  out << '\n';
}

std::ostream& operator<<(std::ostream& out, const sparse_bit_vector& v) {
  print_set_bit_list(out, v);
  return out;
}

namespace {

// One pair of runs: the first of b, the second of !b, each split to fit 16 bits.
void write_runs(ldm_buf& buf, std::uint32_t first, std::uint32_t second) {
  for (; first > run_limit; first -= run_limit) buf.write_4(run_limit);
  const std::uint32_t head = std::min(second, run_limit);
  buf.write_4(head << 16 | first);
  for (second -= head; second > 0; second -= std::min(second, run_limit))
    buf.write_4(std::min(second, run_limit) << 16);
}

}  // namespace

ldm_buf& operator<<(ldm_buf& buf, const sparse_bit_vector& v) {
  const bool b = v.get_bit(0);
  buf.write_4(std::uint32_t{b} << 31 | v.length_);
  for (std::uint32_t position = 0; position < v.length_;) {
    const std::uint32_t flip = std::min(v.find_next(position, !b), v.length_);
    const std::uint32_t back = flip < v.length_ ? std::min(v.find_next(flip, b), v.length_) : flip;
    write_runs(buf, flip - position, back - flip);
    position = back;
  }
  return buf;
}

ldm_buf& operator>>(ldm_buf& buf, sparse_bit_vector& v) {
  const std::uint32_t header = buf.read_4();
  const bool b = (header >> 31) != 0;
  const std::uint32_t length = header & sparse_bit_vector::max_length;
  sparse_bit_vector result(length, b);
  // Runs of b need no work on a vector that starts as all b; only the runs of !b are applied.
  std::uint64_t position = 0;
  while (position < length) {
    const std::uint32_t pair = buf.read_4();
    position += pair & run_limit;
    const std::uint64_t end = std::min<std::uint64_t>(position + (pair >> 16), length);
    if (position < end) {
      // A forged length must not buy a huge block table with a few bytes of runs.
      if (buf.is_received() && length > sparse_bit_vector::max_decoded_length)
        throw ldm_decode_error("sparse_bit_vector: too long to decode");
      result.set_bit_range(static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(end), !b);
    }
    position += pair >> 16;
  }
  if (position != length) diagnostic(diagnostic_tag, "overran input range");
  v.swap(result);
  return buf;
}

bool sparse_bit_vector_iterator::operator()() {
  index_ = vector_->find_next(index_, true);
  return index_ != sparse_bit_vector::npos;
}

sparse_bit_vector_iterator& sparse_bit_vector_iterator::operator++() {
  if (index_ != sparse_bit_vector::npos) ++index_;
  return *this;
}

}  // namespace brindle
