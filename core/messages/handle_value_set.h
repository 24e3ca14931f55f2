// The attribute or parameter values of one update or interaction: an ordered list of
// handle_value_pairs with the transport and order type the set was received with. Sets are
// reference counted: whoever keeps a set takes a reference (up_refcount) and gives it back with
// down_refcount; the last one destroys the set, so a set is always made with new and never
// deleted directly. A set decoded from a message may hold a reference on that message's ldm_buf,
// and its borrowing pairs point into it.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "frame/varnel_export.h"
#include "messages/handle_value_pair.h"
#include "pools.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class region_spec;

class VARNEL_EXPORT handle_value_set : public brindle::memory_pooled<handle_value_set> {
public:
  static constexpr uint32_t unset = 0xFFFFFFFF;
  // A set never holds more than this many pairs: it keeps one count word on the wire
  // reasonable and a runaway loop from exhausting memory.
  static constexpr uint32_t max_pairs = 1u << 20;

  // Room for capacity pairs (at most max_pairs are reserved); takes a reference on buffer when
  // one is given. The reference count starts at 1.
  explicit handle_value_set(uint32_t capacity = 0, brindle::ldm_buf* buffer = nullptr);
  handle_value_set(const handle_value_set&) = delete;
  handle_value_set& operator=(const handle_value_set&) = delete;

  // Appends an owning pair with a private copy of length bytes. Refused (InternalError) when
  // the set already holds max_pairs pairs, or data is null with a non-zero length.
  void add(uint32_t handle, uint32_t length, const void* data);
  // Appends a pair that points at length bytes inside the set's buffer; refused (InternalError)
  // when the set holds no buffer or is full.
  void add_borrowed(uint32_t handle, uint32_t length, const char* data);
  // Destroys the first pair with handle and moves the last pair into its place (order is not
  // kept). Nothing happens when no pair has the handle.
  void remove(uint32_t handle);
  // Moves the pair at index of other to the end of this set; other's last pair fills the gap.
  // A null other or an index beyond its size: ArrayIndexOutOfBounds. Moving a pair that borrows
  // from other's buffer makes this set hold a reference on that buffer too. Within one set the
  // pair at index and the last pair change places.
  void move_from(handle_value_set* other, uint32_t index);
  // Destroys every pair.
  void empty();

  uint32_t size() const { return static_cast<uint32_t>(pairs_.size()); }
  // Pair index; beyond the size: ArrayIndexOutOfBounds.
  const handle_value_pair& get_pair(uint32_t index) const;
  // The sum of the value lengths.
  uint64_t num_bytes_in_set() const;

  uint32_t get_transport_type() const { return transport_type_; }
  uint32_t get_order_type() const { return order_type_; }
  void set_transport_type(uint32_t type) { transport_type_ = type; }
  void set_order_type(uint32_t type) { order_type_ = type; }
  brindle::ldm_buf* get_buffer() const { return buffer_; }
  // The region the set was received with (the sender's extents); null for none. The set owns it.
  const region_spec* get_region() const { return region_.get(); }
  region_spec* get_region() { return region_.get(); }
  void set_region(std::unique_ptr<region_spec> region);

  void up_refcount() { ++refcount_; }
  // Drops one reference; the last destroys the set and returns its block to the pools.
  void down_refcount();
  uint32_t get_refcount() const { return refcount_; }

private:
  ~handle_value_set();
  void require_room() const;
  void hold_buffer(brindle::ldm_buf* buffer);

  std::vector<std::unique_ptr<handle_value_pair>> pairs_;
  uint32_t transport_type_ = unset;
  uint32_t order_type_ = unset;
  uint32_t refcount_ = 1;
  brindle::ldm_buf* buffer_ = nullptr;               // one reference held
  std::unique_ptr<region_spec> region_;
  std::vector<brindle::ldm_buf*> borrowed_buffers_;  // other sets' buffers that moved pairs point into
};

// One line per pair: "  " pair, in the set's order.
std::ostream& operator<<(std::ostream& out, const handle_value_set& set);

}  // namespace varnel
