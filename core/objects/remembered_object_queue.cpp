#include "objects/remembered_object_queue.h"

#include <algorithm>

#include "millisecond_clock.h"

namespace varnel {

remembered_object_queue::remembered_object_queue(brindle::scheduler& on, uint64_t length_ms)
    : scheduler_(on), length_ms_(length_ms) {
  schedule(on, std::max<uint64_t>(length_ms_, 1));
}

remembered_object_queue::~remembered_object_queue() = default;

void remembered_object_queue::remember(const std::string& name) {
  const uint64_t expiry = scheduler_.get_clock().time() + length_ms_;
  expiry_[name] = expiry;
  queue_.emplace_back(name, expiry);
  while (expiry_.size() > max_names || queue_.size() > 2 * max_names) drop_front();
}

bool remembered_object_queue::contains(const std::string& name) const {
  auto found = expiry_.find(name);
  return found != expiry_.end() && found->second > scheduler_.get_clock().time();
}

void remembered_object_queue::forget(const std::string& name) { expiry_.erase(name); }

void remembered_object_queue::on_timer() {
  const uint64_t now = scheduler_.get_clock().time();
  while (!queue_.empty() && queue_.front().second <= now) drop_front();
}

void remembered_object_queue::drop_front() {
  const auto& [name, expiry] = queue_.front();
  auto found = expiry_.find(name);
  if (found != expiry_.end() && found->second == expiry) expiry_.erase(found);
  queue_.pop_front();
}

}  // namespace varnel
