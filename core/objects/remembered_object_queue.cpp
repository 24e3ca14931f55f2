#include "objects/remembered_object_queue.h"

#include <algorithm>

#include "millisecond_clock.h"

namespace varnel {

remembered_object_queue::remembered_object_queue(brindle::scheduler& on, uint64_t length_ms)
    : scheduler_(on), length_ms_(length_ms) {
  schedule(on, std::max<uint64_t>(length_ms_, 1));
}

remembered_object_queue::~remembered_object_queue() = default;

void remembered_object_queue::remember(const std::string& name, deleted_by by) {
  const uint64_t expiry = scheduler_.get_clock().time() + length_ms_;
  entries_[name] = {expiry, by};
  queue_.emplace_back(name, expiry);
  while (entries_.size() > max_names || queue_.size() > 2 * max_names) drop_front();
}

const remembered_object_queue::deleted_by* remembered_object_queue::find(const std::string& name) const {
  auto found = entries_.find(name);
  return found != entries_.end() && found->second.expiry > scheduler_.get_clock().time() ? &found->second.by : nullptr;
}

void remembered_object_queue::forget(const std::string& name) { entries_.erase(name); }

void remembered_object_queue::on_timer() {
  const uint64_t now = scheduler_.get_clock().time();
  while (!queue_.empty() && queue_.front().second <= now) drop_front();
}

void remembered_object_queue::drop_front() {
  const auto& [name, expiry] = queue_.front();
  auto found = entries_.find(name);
  if (found != entries_.end() && found->second.expiry == expiry) entries_.erase(found);
  queue_.pop_front();
}

}  // namespace varnel
