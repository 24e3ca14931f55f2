// The set of Region pointers this federate's ambassador handed out through createRegion, so that
// region services can refuse a pointer the binding never made. A chained hash set keyed on the
// pointer value; chain nodes come from the size-class pools. Owned by RTIambPrivateData while
// the RID's "subscriptions.validate_regions" is on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rti13 {
class Region;
}  // namespace rti13

namespace halden13 {

class region_validator {
public:
  // Room for at least requested_size buckets, taken from the list of primes.
  explicit region_validator(size_t requested_size = 61);
  ~region_validator();
  region_validator(const region_validator&) = delete;
  region_validator& operator=(const region_validator&) = delete;

  void insert(const rti13::Region* region);
  // Removes one entry for the pointer; nothing happens when it is absent.
  void remove(const rti13::Region* region);
  bool contains(const rti13::Region* region) const;

  size_t size() const { return entries_; }
  size_t bucket_count() const { return buckets_; }

private:
  struct node {
    node* next;
    const rti13::Region* key;
  };

  // Nothing happens below the current bucket count; otherwise the table grows to the first
  // listed prime at least requested_size and every node is rehashed.
  void resize(size_t requested_size);
  size_t bucket_of(const rti13::Region* region) const;

  node** table_ = nullptr;
  size_t buckets_ = 0;
  size_t entries_ = 0;
};

}  // namespace halden13
