#include "bit_vector.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <vector>

#include "byte_order.h"
#include "diagnostic.h"
#include "ldm_buf.h"

namespace brindle {

namespace {

const char* const diagnostic_tag = "bit_vector";

constexpr std::uint32_t all_bits = 0xFFFFFFFF;

std::uint32_t words_for(std::uint32_t length) { return length / 32 + (length % 32 != 0); }

// Storage blocks come from pools by size class: small blocks exactly, larger ones rounded up to
// 64 bytes so that a growing vector reallocates less often; beyond the pooled sizes pools hands
// the request to the system allocator.
std::size_t block_bytes(std::uint32_t length) {
  const std::size_t bytes = std::size_t{words_for(length)} * 4;
  if (bytes <= 64 || bytes > pools::largest_pooled) return bytes;
  return (bytes + 63) / 64 * 64;
}

// The bits of the last storage word that lie below the length.
std::uint32_t tail_mask(std::uint32_t length) {
  return length % 32 == 0 ? all_bits : (1u << (length % 32)) - 1;
}

// Bits [first, last) of word w, for 0 <= first < last <= (w + 1) * 32 and first >= w * 32.
std::uint32_t range_mask(std::uint32_t w, std::uint32_t first, std::uint32_t last) {
  const std::uint32_t low = first - w * 32, high = std::min(last - w * 32, 32u);
  const std::uint32_t above_low = all_bits << low;
  return high == 32 ? above_low : above_low & ((1u << high) - 1);
}

[[noreturn]] void length_misuse() {
  diagnostic(diagnostic_tag, "length beyond 2^30 - 1 bits");
  std::abort();
}

}  // namespace

bit_vector::bit_vector() : header_(all_zeros_flag), words_(nullptr) {}

bit_vector::bit_vector(std::uint32_t length, bool value)
    : header_((value ? all_ones_flag : all_zeros_flag) | length), words_(nullptr) {
  if (length > max_length) length_misuse();
}

bit_vector::bit_vector(const bit_vector& other) : header_(other.header_), words_(nullptr) {
  if (other.uniform()) return;
  words_ = static_cast<std::uint32_t*>(pools::alloc(block_bytes(length())));
  std::memcpy(words_, other.words_, std::size_t{words_for(length())} * 4);
}

bit_vector& bit_vector::operator=(const bit_vector& other) {
  if (this != &other) {
    bit_vector copy(other);
    swap(copy);
  }
  return *this;
}

bit_vector::bit_vector(bit_vector&& other) noexcept : header_(other.header_), words_(other.words_) {
  other.header_ = all_zeros_flag;
  other.words_ = nullptr;
}

bit_vector& bit_vector::operator=(bit_vector&& other) noexcept {
  bit_vector taken(std::move(other));
  swap(taken);
  return *this;
}

bit_vector::~bit_vector() { release_storage(); }

void bit_vector::swap(bit_vector& other) noexcept {
  std::swap(header_, other.header_);
  std::swap(words_, other.words_);
}

void bit_vector::release_storage() {
  if (words_ != nullptr) pools::dealloc(block_bytes(length()), words_);
  words_ = nullptr;
}

// Storage filled with the uniform value; the vector stays the same set. Needs length > 0.
void bit_vector::make_storage() {
  const bool value = uniform_value();
  header_ = length();
  words_ = static_cast<std::uint32_t*>(pools::alloc(block_bytes(length())));
  std::memset(words_, value ? 0xFF : 0, std::size_t{words_for(length())} * 4);
  clear_tail();
}

// Storage vectors only: a new length, added bits 0, cut bits dropped. Needs length > 0.
void bit_vector::resize_storage(std::uint32_t length) {
  const std::uint32_t old_words = words_for(this->length()), new_words = words_for(length);
  if (block_bytes(length) != block_bytes(this->length())) {
    auto* fresh = static_cast<std::uint32_t*>(pools::alloc(block_bytes(length)));
    std::memcpy(fresh, words_, std::size_t{std::min(old_words, new_words)} * 4);
    release_storage();
    words_ = fresh;
  }
  if (new_words > old_words)
    std::memset(words_ + old_words, 0, std::size_t{new_words - old_words} * 4);
  header_ = length;
  clear_tail();
}

void bit_vector::clear_tail() { words_[words_for(length()) - 1] &= tail_mask(length()); }

// Word w as stored, with the uniform states expanded; 0 at or beyond the length.
std::uint32_t bit_vector::word_at(std::uint32_t w) const {
  const std::uint32_t words = words_for(length());
  if (w >= words) return 0;
  if (!uniform()) return words_[w];
  if (!uniform_value()) return 0;
  return w + 1 == words ? tail_mask(length()) : all_bits;
}

void bit_vector::set_length(std::uint32_t length) {
  if (length > max_length) length_misuse();
  if (uniform()) {
    header_ = (header_ & ~length_mask) | length;
  } else if (length == 0) {
    release_storage();
    header_ = all_zeros_flag;
  } else {
    resize_storage(length);
  }
}

// Growing that adds zeros even to an all-ones vector, so that the set stays the same.
void bit_vector::extend_with_zeros(std::uint32_t length) {
  if (length <= this->length()) return;
  if (uniform() && uniform_value()) {
    if (this->length() == 0)
      header_ = all_zeros_flag;
    else
      make_storage();
  }
  set_length(length);
}

void bit_vector::set_bit(std::uint32_t index, bool value) {
  if (index >= max_length) length_misuse();
  if (index >= length()) set_length(index + 1);
  if (uniform()) {
    if (uniform_value() == value) return;
    make_storage();
  }
  const std::uint32_t mask = 1u << (index % 32);
  if (value)
    words_[index / 32] |= mask;
  else
    words_[index / 32] &= ~mask;
}

bool bit_vector::get_bit(std::uint32_t index) const {
  if (index >= length()) return false;
  if (uniform()) return uniform_value();
  return (words_[index / 32] >> (index % 32)) & 1;
}

void bit_vector::set_bit_range(std::uint32_t first, std::uint32_t last, bool value) {
  if (first >= last) return;
  if (last > max_length) length_misuse();
  if (last > length()) set_length(last);
  if (first == 0 && last == length()) return set_all_bits(value);
  if (uniform()) {
    if (uniform_value() == value) return;
    make_storage();
  }
  for (std::uint32_t w = first / 32; w <= (last - 1) / 32; ++w) {
    const std::uint32_t mask = range_mask(w, std::max(first, w * 32), last);
    if (value)
      words_[w] |= mask;
    else
      words_[w] &= ~mask;
  }
}

void bit_vector::set_all_bits(bool value) {
  release_storage();
  header_ = (value ? all_ones_flag : all_zeros_flag) | length();
}

bit_vector& bit_vector::operator&=(const bit_vector& other) {
  if (is_empty()) return *this;
  if (other.is_empty()) {
    set_all_bits(false);
    return *this;
  }
  if (other.uniform() && other.length() >= length()) return *this;  // other is all ones here
  if (uniform()) make_storage();
  for (std::uint32_t w = 0; w < words_for(length()); ++w) words_[w] &= other.word_at(w);
  return *this;
}

bit_vector& bit_vector::operator|=(const bit_vector& other) {
  if (other.uniform() && other.uniform_value() && other.length() >= length()) {
    *this = other;
    return *this;
  }
  extend_with_zeros(other.length());
  if (other.is_empty() || is_full()) return *this;
  if (uniform()) make_storage();
  for (std::uint32_t w = 0; w < words_for(other.length()); ++w) words_[w] |= other.word_at(w);
  return *this;
}

bit_vector& bit_vector::operator-=(const bit_vector& other) {
  if (is_empty() || other.is_empty()) return *this;
  if (other.uniform() && other.length() >= length()) {
    set_all_bits(false);
    return *this;
  }
  if (uniform()) make_storage();
  const std::uint32_t words = std::min(words_for(length()), words_for(other.length()));
  for (std::uint32_t w = 0; w < words; ++w) words_[w] &= ~other.word_at(w);
  return *this;
}

std::uint32_t bit_vector::count() const {
  if (uniform()) return uniform_value() ? length() : 0;
  std::uint32_t n = 0;
  for (std::uint32_t w = 0; w < words_for(length()); ++w) n += std::popcount(words_[w]);
  return n;
}

bool bit_vector::is_empty() const { return find_next(0, true) == npos; }

bool bit_vector::is_full() const { return find_next(0, false) == npos; }

std::uint32_t bit_vector::find_next(std::uint32_t start, bool value) const {
  if (start >= length()) return npos;
  if (uniform()) return uniform_value() == value ? start : npos;
  const std::uint32_t words = words_for(length());
  for (std::uint32_t w = start / 32; w < words; ++w) {
    std::uint32_t bits = value ? words_[w] : ~words_[w];
    if (w == start / 32) bits &= all_bits << (start % 32);
    if (w + 1 == words) bits &= tail_mask(length());
    if (bits != 0) return w * 32 + std::countr_zero(bits);
  }
  return npos;
}

bool bit_vector::bit_matches(const bit_vector& other) const {
  if (is_empty() || other.is_empty()) return false;
  // Against an all-ones vector the question is whether the other has a bit below its length.
  if (uniform()) return other.find_next(0, true) < length();
  if (other.uniform()) return find_next(0, true) < other.length();
  const std::uint32_t words = std::min(words_for(length()), words_for(other.length()));
  for (std::uint32_t w = 0; w < words; ++w)
    if ((words_[w] & other.words_[w]) != 0) return true;
  return false;
}

bool bit_vector::all_bits_match(const bit_vector& other) const {
  if (other.is_empty()) return true;
  if (uniform()) return uniform_value() && other.find_next(length(), true) == npos;
  if (other.uniform()) {
    const std::uint32_t first_clear = find_next(0, false);
    return other.length() <= length() && (first_clear == npos || first_clear >= other.length());
  }
  for (std::uint32_t w = 0; w < words_for(other.length()); ++w)
    if ((other.words_[w] & ~word_at(w)) != 0) return false;
  return true;
}

bool bit_vector::is_equal_to(const bit_vector& other) const {
  return all_bits_match(other) && other.all_bits_match(*this);
}

std::size_t bit_vector::written_length() const { return 4 + std::size_t{words_for(length())} * 4; }

void bit_vector::write(unsigned char* bytes) const {
  store_be32(bytes, length());
  for (std::uint32_t w = 0; w < words_for(length()); ++w) store_be32(bytes + 4 + w * 4, word_at(w));
}

std::size_t bit_vector::read(const unsigned char* bytes, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t length = load_be32(bytes);
  if (length > max_length) return 0;
  const std::uint32_t words = words_for(length);
  if ((size - 4) / 4 < words) return 0;
  bit_vector result(length, false);
  if (length > 0) {
    result.make_storage();
    for (std::uint32_t w = 0; w < words; ++w) result.words_[w] = load_be32(bytes + 4 + w * 4);
    result.clear_tail();
  }
  swap(result);
  return written_length();
}

void bit_vector::print_in_binary(std::ostream& out) const {
  for (std::uint32_t i = 0; i < length(); ++i) {
    if (i > 0 && i % 32 == 0) out << ' ';
    out << (get_bit(i) ? '1' : '0');
  }
  out << '\n';
}

void bit_vector::print_set_bits(std::ostream& out) const {
  if (uniform())
    out << (uniform_value() ? "All bits set" : "No bits set");
  else
    print_set_bit_list(out, *this);
  out << '\n';
}

std::ostream& operator<<(std::ostream& out, const bit_vector& v) {
  print_set_bit_list(out, v);
  return out;
}

ldm_buf& operator<<(ldm_buf& buf, const bit_vector& v) {
  buf.write_4(v.header_);
  if (!v.uniform())
    for (std::uint32_t w = 0; w < words_for(v.length()); ++w) buf.write_4(v.words_[w]);
  return buf;
}

ldm_buf& operator>>(ldm_buf& buf, bit_vector& v) {
  const std::uint32_t header = buf.read_4();
  const std::uint32_t length = header & bit_vector::length_mask;
  const bool ones = (header & bit_vector::all_ones_flag) != 0;
  const bool zeros = (header & bit_vector::all_zeros_flag) != 0;
  if (ones && zeros) throw ldm_decode_error("bit_vector: both uniform flags set");
  bit_vector result(length, ones);
  if (!ones && !zeros && length > 0) {
    // Storage is taken only for words the buffer holds, so that a forged length cannot make a
    // received message allocate up to 128 MiB. A local buffer that falls short aborts in read_4.
    const std::uint32_t words = words_for(length);
    const std::uint64_t start = (std::uint64_t{buf.get_iptr()} + 3) & ~std::uint64_t{3};
    const std::uint64_t available = buf.get_size() > start ? (buf.get_size() - start) / 4 : 0;
    if (buf.is_received() && words > available)
      throw ldm_decode_error("bit_vector: storage runs past the data");
    result.make_storage();
    for (std::uint32_t w = 0; w < words; ++w) result.words_[w] = buf.read_4();
    result.clear_tail();
  }
  v.swap(result);
  return buf;
}

bool bit_vector_iterator::operator()() {
  index_ = vector_->find_next(index_, true);
  return index_ != bit_vector::npos;
}

bit_vector_iterator& bit_vector_iterator::operator++() {
  if (index_ != bit_vector::npos) ++index_;
  return *this;
}

}  // namespace brindle
