// A region: the filter a federate subscribes or sends with inside one routing space. It holds
// n extents of the space's d dimensions twice: the ranges the federate edits, and the committed
// ranges last made effective by notify_about_region_modification; streams are computed from the
// committed ones only, so an edit without notification changes nothing on the network.
//
// The subscription agent creates, commits and destroys the regions of the federate; a value set
// received with region data owns a detached region holding the sender's extents. The binding
// attaches one wrapper per region (region_link) and is told when the region goes, so that
// neither side keeps a dangling pointer to the other.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "frame/varnel_export.h"
#include "pools.h"
#include "regions/filter_extent.h"
#include "regions/filters.h"

namespace varnel {

class filter_space_base;

// What the binding attaches to a region: told once when the region is destroyed.
class region_link {
public:
  virtual void region_gone() = 0;

protected:
  ~region_link() = default;
};

class VARNEL_EXPORT region_spec : public filter_spec_base, public brindle::memory_pooled<region_spec> {
public:
  // A region takes at most this many extents: each one costs stream computations on every change
  // and a block of words in every message sent with the region.
  static constexpr uint32_t max_extents = 1024;

  // A region of the federate. The plan and model serve the class streams a region subscription
  // also hears and the routing-space checks; the space gives the streams of the extents.
  region_spec(const stream_plan& plan, const FED& fed, filter_space_base& space, uint32_t extents, uint32_t token);
  // A detached region with these committed extents, given as bounds (lower and upper per
  // dimension, extent after extent), for a received value set: no space, no subscriptions, never
  // registered.
  region_spec(uint32_t space_handle, uint32_t extents, std::span<const uint32_t> bounds);
  ~region_spec() override;

  uint32_t get_space_handle() const { return space_handle_; }
  uint32_t get_num_dims() const { return dimensions_; }
  uint32_t get_num_extents() const { return static_cast<uint32_t>(extents_.size()); }
  uint32_t get_token() const { return token_; }
  filter_extent& get_extent(uint32_t index) { return extents_[index]; }
  const filter_extent& get_extent(uint32_t index) const { return extents_[index]; }
  const filter_extent& get_committed_extent(uint32_t index) const { return committed_[index]; }
  const std::vector<filter_extent>& committed_extents() const { return committed_; }

  region_link* get_external_ptr() const { return external_; }
  void set_external_ptr(region_link* link) { external_ = link; }

  // InvalidRangeBound naming the extent or dimension when either is out of range.
  void validate_extent_and_dimension(uint64_t extent, uint64_t dimension) const;
  // InvalidRangeBound "Invalid range: Lower %u > Upper %u" for the first inverted range.
  void check_extents() const;
  bool extents_changed() const { return extents_ != committed_; }
  void commit_extents() { committed_ = extents_; }

  void print(std::ostream& out) const override;
  void check_attr_assoc(uint32_t object_class, const brindle::bit_vector& attributes) const override;
  void check_inter_assoc(uint32_t interaction) const override;
  // The one stream the committed extents send on; when they fall on several, the space's
  // broadcast stream, which every region subscriber of the space hears.
  int32_t get_pub_stream() const override;
  void get_sub_streams(brindle::sparse_bit_vector& out) const override;
  const region_spec* as_region() const override { return this; }

private:
  const stream_plan* plan_ = nullptr;
  const FED* fed_ = nullptr;
  filter_space_base* space_ = nullptr;
  uint32_t space_handle_;
  uint32_t dimensions_;
  uint32_t token_ = 0;
  std::vector<filter_extent> extents_;
  std::vector<filter_extent> committed_;
  region_link* external_ = nullptr;
};

}  // namespace varnel
