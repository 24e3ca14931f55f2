// The entries of a federation object model: transports, orders, attributes, parameters,
// dimensions, object and interaction classes and routing spaces, each with its checksum. FED
// creates and owns them all; names are symbols of the FED's table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fed/fed.h"

namespace varnel {

// One-at-a-time hash of a whole name, as the symbol table hashes it.
uint32_t fed_name_hash(const char* name);

class FED_base {
public:
  FED_base(const char* name, uint32_t handle) : name(name), handle(handle) {}
  uint32_t checksum() const { return fed_name_hash(name); }

  const char* const name;  // symbol
  const uint32_t handle;
};

class FED_transport : public FED_base {
public:
  FED_transport(const char* name, uint32_t handle, const char* implementation)
      : FED_base(name, handle), implementation(implementation) {}

  const char* const implementation;  // symbol, or null when the RID names no type
};

class FED_attribute : public FED_base {
public:
  FED_attribute(const char* name, uint32_t handle, uint32_t transport, uint32_t order, uint32_t space)
      : FED_base(name, handle), transport(transport), order(order), space(space) {}
  uint32_t checksum() const;

  const uint32_t transport;
  const uint32_t order;
  const uint32_t space;  // invalid_handle for none
};

// The members (attributes, parameters, dimensions) of one entry, indexed by handle and by name.
// A subclass sees the members its superclass had when the subclass was created, without
// copying them: it keeps only its own members, numbered on from the superclass's count at that
// moment, and asks the superclass for lower handles. So a wide class with many subclasses costs
// memory in proportion to the file, not to classes times inherited members.
template <class Member>
class FED_members {
public:
  FED_members(const FED& fed, const FED_members* inherited)
      : inherited_(inherited),
        first_own_(inherited ? inherited->count() : 0),
        fold_(inherited ? inherited->fold_ : 0),
        index_(fed_name_order{&fed}) {}

  // The next free handle: inherited members, own members and dropped duplicates.
  uint32_t count() const { return first_own_ + static_cast<uint32_t>(own_.size()); }
  // Null for a handle out of range or an empty slot.
  const Member* find(uint32_t handle) const;
  // invalid_handle when no visible member has that name.
  uint32_t find(const char* name) const;
  // Adds member under the next handle, which it must carry; false (and an empty slot) when
  // the name is taken.
  bool add(std::unique_ptr<Member> member);
  // The checksums of the filled slots in handle order, folded by x * 33 + checksum.
  uint32_t fold() const { return fold_; }

private:
  const FED_members* const inherited_;
  const uint32_t first_own_;
  uint32_t fold_;
  std::vector<std::unique_ptr<Member>> own_;
  fed_name_index index_;
};

// What object and interaction classes share: the place in the hierarchy and the members.
template <class Member>
class FED_class : public FED_base {
public:
  FED_class(const FED& fed, const char* name, uint32_t handle, const FED_class* superclass)
      : FED_base(name, handle),
        superclass(superclass),
        members(fed, superclass ? &superclass->members : nullptr) {}

  const FED_class* const superclass;  // null for a root
  std::vector<uint32_t> subclasses;   // direct subclasses in file order
  FED_members<Member> members;
};

class FED_object_class : public FED_class<FED_attribute> {
public:
  using FED_class::FED_class;
  uint32_t checksum() const { return fed_name_hash(name) + members.fold(); }
};

class FED_interaction_class : public FED_class<FED_parameter> {
public:
  FED_interaction_class(const FED& fed, const char* name, uint32_t handle,
                        const FED_interaction_class* superclass, uint32_t transport, uint32_t order,
                        uint32_t space)
      : FED_class(fed, name, handle, superclass), transport(transport), order(order), space(space) {}
  uint32_t checksum() const;

  const uint32_t transport;
  const uint32_t order;
  const uint32_t space;  // invalid_handle for none
};

class FED_routing_space : public FED_base {
public:
  FED_routing_space(const FED& fed, const char* name, uint32_t handle)
      : FED_base(name, handle), dimensions(fed, nullptr) {}
  uint32_t checksum() const { return fed_name_hash(name) + dimensions.fold(); }

  FED_members<FED_dimension> dimensions;
};

template <class Member>
const Member* FED_members<Member>::find(uint32_t handle) const {
  if (handle >= count()) return nullptr;
  const FED_members* owner = this;
  while (handle < owner->first_own_) owner = owner->inherited_;
  return owner->own_[handle - owner->first_own_].get();
}

template <class Member>
uint32_t FED_members<Member>::find(const char* name) const {
  // A superclass may have gained members after this class was created; only those below the
  // class's first own handle are visible to it.
  uint32_t visible = count();
  for (const FED_members* owner = this; owner; owner = owner->inherited_) {
    const auto found = owner->index_.find(name);
    if (found != owner->index_.end() && found->second < visible) return found->second;
    visible = owner->first_own_;
  }
  return invalid_handle;
}

template <class Member>
bool FED_members<Member>::add(std::unique_ptr<Member> member) {
  if (find(member->name) != invalid_handle) {
    own_.emplace_back();
    return false;
  }
  index_.emplace(member->name, member->handle);
  fold_ = fold_ * 33 + member->checksum();
  own_.push_back(std::move(member));
  return true;
}

}  // namespace varnel
