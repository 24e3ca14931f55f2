// Decodes bit vectors from arbitrary bytes. The first byte picks the form: dense or sparse, wire
// form (from a buffer marked as received) or flat form; the rest is the data. Whatever decodes
// must come back unchanged from a round trip through the same form, and small decoded vectors
// must obey the set identities.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bit_vector.h"
#include "buffer_pool.h"
#include "ldm_buf.h"
#include "sparse_bit_vector.h"

using namespace brindle;

namespace {

struct buffer_release {
  void operator()(ldm_buf* buf) const { buf->release_buf(); }
};
using buffer = std::unique_ptr<ldm_buf, buffer_release>;

buffer new_buffer() {
  static buffer_manager_factory factory(1, 0);
  static buffer_pool_manager* pool = factory.get_pool(1448);
  return buffer(pool->get_buf());
}

void require(bool condition) {
  if (!condition) std::abort();
}

template <typename V>
void require_same(const V& a, const V& b) {
  require(a == b && a.length() == b.length() && a.count() == b.count());
}

// Set operations on long uniform vectors may legitimately take storage for every bit; keep the
// identities to vectors that are cheap to materialise.
template <typename V>
void check_identities(const V& a, const V& b) {
  if (a.length() > (1u << 16) || b.length() > (1u << 16)) return;
  V both = a, either = a, only = a;
  both &= b;
  either |= b;
  only -= b;
  require(a.all_bits_match(both) && either.all_bits_match(a) && either.all_bits_match(b));
  require(!only.bit_matches(b) && a.all_bits_match(only));
  require(both.count() + only.count() == a.count());
  require(a.bit_matches(b) == !both.is_empty());
}

template <typename V>
void wire_form(const std::uint8_t* data, std::size_t size) {
  buffer in = new_buffer();
  in->write_os(data, static_cast<std::uint32_t>(size));
  in->set_received();
  in->set_iptr(ldm_buf::message_header_size);
  std::vector<V> decoded;
  try {
    while (in->get_iptr() < in->get_size() && decoded.size() < 16) {
      V v;
      *in >> v;
      decoded.push_back(std::move(v));
    }
  } catch (const ldm_decode_error&) {
  }
  for (const V& v : decoded) {
    buffer out = new_buffer();
    *out << v;
    V back;
    *out >> back;
    require_same(back, v);
  }
  for (std::size_t i = 1; i < decoded.size(); ++i) check_identities(decoded[i - 1], decoded[i]);
}

template <typename V>
void flat_form(const std::uint8_t* data, std::size_t size) {
  V v;
  const std::size_t used = v.read(data, size);
  if (used == 0) return;
  require(used <= size);
  std::vector<unsigned char> bytes(v.written_length());
  v.write(bytes.data());
  V back;
  require(back.read(bytes.data(), bytes.size()) == bytes.size());
  require_same(back, v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 4) {
    case 0: wire_form<bit_vector>(data + 1, size - 1); break;
    case 1: wire_form<sparse_bit_vector>(data + 1, size - 1); break;
    case 2: flat_form<bit_vector>(data + 1, size - 1); break;
    default: flat_form<sparse_bit_vector>(data + 1, size - 1); break;
  }
  return 0;
}
