#include "objects/pending_attributes.h"

namespace varnel {

using namespace brindle;

void pending_attributes::merge(uint32_t object, const bit_vector& attributes, uint64_t due) {
  if (attributes.is_empty()) return;
  auto [found, added] = entries_.try_emplace(object, entry{attributes, due});
  if (added) {
    by_due_.emplace(due, object);
    return;
  }
  entry& pending = found->second;
  pending.attributes |= attributes;
  if (due >= pending.due) return;
  by_due_.erase({pending.due, object});
  pending.due = due;
  by_due_.emplace(due, object);
}

void pending_attributes::remove(uint32_t object, const bit_vector& attributes) {
  auto found = entries_.find(object);
  if (found == entries_.end()) return;
  found->second.attributes -= attributes;
  if (found->second.attributes.is_empty()) erase(found);
}

bit_vector pending_attributes::take(uint32_t object) {
  auto found = entries_.find(object);
  if (found == entries_.end()) return bit_vector();
  bit_vector attributes = std::move(found->second.attributes);
  erase(found);
  return attributes;
}

std::vector<pending_attributes::due_set> pending_attributes::take_due(uint64_t now) {
  std::vector<due_set> due;
  while (!by_due_.empty() && by_due_.begin()->first <= now) {
    const uint32_t object = by_due_.begin()->second;
    due.emplace_back(object, take(object));
  }
  return due;
}

void pending_attributes::erase(std::unordered_map<uint32_t, entry>::iterator found) {
  by_due_.erase({found->second.due, found->first});
  entries_.erase(found);
}

}  // namespace varnel
