// Attribute sets waiting per object until a due time: the provide requests of the consistency
// manager and the announcements of the transport change manager. Each object has at most one
// set; merging more attributes into it keeps the earlier due time, so nothing waits longer
// than its first request asked. Owned by the manager that uses it.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bit_vector.h"

namespace varnel {

class pending_attributes {
public:
  using due_set = std::pair<uint32_t, brindle::bit_vector>;  // object, attributes

  // Adds attributes to the object's set, which becomes due at the earlier of its own due time and
  // due. An empty set of attributes adds nothing.
  void merge(uint32_t object, const brindle::bit_vector& attributes, uint64_t due);
  // Takes attributes out of the object's set; a set left empty goes.
  void remove(uint32_t object, const brindle::bit_vector& attributes);
  // Takes the object's whole set out; empty when it has none.
  brindle::bit_vector take(uint32_t object);
  // Takes out every set due at or before now, earliest first.
  std::vector<due_set> take_due(uint64_t now);

  bool contains(uint32_t object) const { return entries_.count(object) != 0; }
  size_t size() const { return entries_.size(); }

private:
  struct entry {
    brindle::bit_vector attributes;
    uint64_t due;
  };
  void erase(std::unordered_map<uint32_t, entry>::iterator found);

  std::unordered_map<uint32_t, entry> entries_;
  std::set<std::pair<uint64_t, uint32_t>> by_due_;  // (due, object)
};

}  // namespace varnel
