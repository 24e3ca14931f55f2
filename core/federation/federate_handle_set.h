// An ordered set of federate handles: what the federation manager fills when it matches
// federate names, and what the binding's federate handle set adapter wraps. The set owns its
// handles; iteration visits them in ascending order.
#pragma once

#include <cstddef>
#include <set>

namespace varnel {

class federate_handle_set {
public:
  using const_iterator = std::set<unsigned>::const_iterator;

  // Adds the handle; adding one already present changes nothing.
  void insert(unsigned handle) { handles_.insert(handle); }
  // Removes the handle; removing one that is absent changes nothing.
  void erase(unsigned handle) { handles_.erase(handle); }
  bool contains(unsigned handle) const { return handles_.count(handle) != 0; }
  std::size_t size() const { return handles_.size(); }
  bool empty() const { return handles_.empty(); }
  void clear() { handles_.clear(); }

  const_iterator begin() const { return handles_.begin(); }
  const_iterator end() const { return handles_.end(); }

  bool operator==(const federate_handle_set& other) const = default;

private:
  std::set<unsigned> handles_;
};

}  // namespace varnel
