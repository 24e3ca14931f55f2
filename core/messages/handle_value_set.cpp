#include "messages/handle_value_set.h"

#include <algorithm>

#include "ldm_buf.h"
#include "frame/ldm_error.h"
#include "regions/region.h"

namespace varnel {

using namespace brindle;

handle_value_set::handle_value_set(uint32_t capacity, ldm_buf* buffer) {
  pairs_.reserve(std::min(capacity, max_pairs));
  if (buffer) {
    buffer->duplicate_buf();
    buffer_ = buffer;
  }
}

void handle_value_set::set_received_region(uint32_t space, uint32_t extents, std::vector<uint32_t> bounds) {
  region_.reset();
  region_space_ = space;
  region_extents_ = extents;
  region_bounds_ = std::move(bounds);
}

region_spec* handle_value_set::get_region() const {
  if (!region_ && region_extents_ > 0) region_ = std::make_unique<region_spec>(region_space_, region_extents_, region_bounds_);
  return region_.get();
}

handle_value_set::~handle_value_set() {
  pairs_.clear();  // pairs may point into the buffers: destroy them first
  for (ldm_buf* borrowed : borrowed_buffers_) borrowed->release_buf();
  if (buffer_) buffer_->release_buf();
}

void handle_value_set::down_refcount() {
  if (--refcount_ == 0) delete this;
}

void handle_value_set::require_room() const {
  if (pairs_.size() >= max_pairs) throw make_ldm_exception(ldm_error::InternalError, "Too many values in one set (%u)", size());
}

void handle_value_set::add(uint32_t handle, uint32_t length, const void* data) {
  require_room();
  if (length && !data) {
    throw make_ldm_exception(ldm_error::InternalError, "No data for a value of %u bytes (handle %u)", length, handle);
  }
  pairs_.push_back(std::make_unique<handle_value_pair>(handle, length, data));
}

void handle_value_set::add_borrowed(uint32_t handle, uint32_t length, const char* data) {
  require_room();
  if (!buffer_) throw ldm_exception(ldm_error::InternalError, "A value set without a buffer cannot borrow bytes");
  pairs_.push_back(std::unique_ptr<handle_value_pair>(handle_value_pair::borrowing(handle, length, data)));
}

void handle_value_set::remove(uint32_t handle) {
  auto it = std::find_if(pairs_.begin(), pairs_.end(), [handle](const auto& p) { return p->get_handle() == handle; });
  if (it == pairs_.end()) return;
  if (it + 1 != pairs_.end()) *it = std::move(pairs_.back());
  pairs_.pop_back();
}

void handle_value_set::move_from(handle_value_set* other, uint32_t index) {
  if (!other) throw ldm_exception(ldm_error::ArrayIndexOutOfBounds, "Bad pointer passed");
  if (index >= other->size()) {
    throw make_ldm_exception(ldm_error::ArrayIndexOutOfBounds, "Asked for value %u but there are only %u in the set",
                             index, other->size());
  }
  if (other == this) {
    std::swap(pairs_[index], pairs_.back());
    return;
  }
  require_room();
  std::unique_ptr<handle_value_pair> pair = std::move(other->pairs_[index]);
  if (index + 1 != other->pairs_.size()) other->pairs_[index] = std::move(other->pairs_.back());
  other->pairs_.pop_back();
  if (!pair->owns_data()) {
    for (ldm_buf* borrowed : other->borrowed_buffers_) hold_buffer(borrowed);
    if (other->buffer_) hold_buffer(other->buffer_);
  }
  pairs_.push_back(std::move(pair));
}

// A borrowing pair may point into any buffer its old set held; keeping all of them is simpler
// than tracking which one, and a set holds very few.
void handle_value_set::hold_buffer(ldm_buf* buffer) {
  if (buffer == buffer_) return;
  if (std::find(borrowed_buffers_.begin(), borrowed_buffers_.end(), buffer) != borrowed_buffers_.end()) return;
  buffer->duplicate_buf();
  borrowed_buffers_.push_back(buffer);
}

void handle_value_set::empty() { pairs_.clear(); }

const handle_value_pair& handle_value_set::get_pair(uint32_t index) const {
  if (index >= size()) {
    throw make_ldm_exception(ldm_error::ArrayIndexOutOfBounds, "Asked for value %u but there are only %u in the set",
                             index, size());
  }
  return *pairs_[index];
}

uint64_t handle_value_set::num_bytes_in_set() const {
  uint64_t total = 0;
  for (const auto& pair : pairs_) total += pair->get_length();
  return total;
}

std::ostream& operator<<(std::ostream& out, const handle_value_set& set) {
  for (uint32_t i = 0; i < set.size(); ++i) out << "  " << set.get_pair(i) << '\n';
  return out;
}

}  // namespace varnel
