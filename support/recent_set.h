// The last `capacity` distinct values seen, the oldest forgotten first: a memory of what went by
// that nothing arriving from the network can grow without bound.
#pragma once

#include <cstddef>
#include <deque>
#include <set>

namespace brindle {

template <class T>
class recent_set {
public:
  explicit recent_set(std::size_t capacity) : capacity_(capacity) {}

  void insert(const T& value) {
    if (!members_.insert(value).second) return;
    order_.push_back(value);
    if (order_.size() <= capacity_) return;
    members_.erase(order_.front());
    order_.pop_front();
  }
  bool contains(const T& value) const { return members_.count(value) != 0; }

private:
  std::size_t capacity_;
  std::deque<T> order_;
  std::set<T> members_;
};

}  // namespace brindle
