// The filter spaces: one per routing space of the FED, owned by the subscription agent's stream
// plan. A space owns a run of stream numbers from its first stream; a broadcast space owns none
// and travels on stream 2, which every federate joins; a simple space owns one stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "regions/filter_extent.h"

namespace brindle {
class sparse_bit_vector;
}  // namespace brindle

namespace varnel {

class region_spec;

// The shared control and broadcast stream: every federate of a federation joins it.
inline constexpr uint32_t broadcast_stream = 2;

class filter_space_base {
public:
  filter_space_base(uint32_t space, std::string name, uint32_t first_stream, uint32_t stream_count);
  virtual ~filter_space_base() = default;
  filter_space_base(const filter_space_base&) = delete;
  filter_space_base& operator=(const filter_space_base&) = delete;

  uint32_t get_space_handle() const { return space_; }
  const std::string& get_name() const { return name_; }
  uint32_t get_first_stream() const { return first_stream_; }
  uint32_t get_stream_count() const { return stream_count_; }
  // Every stream of the space, [first, first + count): what a subscriber without a region hears.
  void add_all_streams(brindle::sparse_bit_vector& out) const;

  // Adds the streams of one extent. Subscribing: every stream a subscriber with this extent
  // must join. Sending: the one stream an update sent with this extent travels on.
  virtual void get_streams(const filter_extent& extent, bool subscribing, brindle::sparse_bit_vector& out) const = 0;
  // Where a region whose extents fall on several streams sends: a stream every region subscriber
  // of the space hears.
  virtual uint32_t get_broadcast_stream() const { return broadcast_stream; }
  virtual void print(std::ostream& out) const = 0;

  // The regions of the federate in this space; each registers itself for its lifetime.
  void add_region(region_spec& region) { regions_.push_back(&region); }
  void remove_region(region_spec& region);
  const std::vector<region_spec*>& regions() const { return regions_; }
  // Whether the extent of a received message overlaps a committed extent of a region of this
  // space that subscribes the object class (or, when object_class is invalid, the interaction).
  bool match(const filter_extent& extent, uint32_t object_class, uint32_t interaction) const;

private:
  uint32_t space_;
  std::string name_;
  uint32_t first_stream_;
  uint32_t stream_count_;
  std::vector<region_spec*> regions_;
};

class filter_space_broadcast : public filter_space_base {
public:
  filter_space_broadcast(uint32_t space, std::string name, uint32_t first_stream)
      : filter_space_base(space, std::move(name), first_stream, 0) {}
  void get_streams(const filter_extent& extent, bool subscribing, brindle::sparse_bit_vector& out) const override;
  void print(std::ostream& out) const override;
};

class filter_space_simple : public filter_space_base {
public:
  filter_space_simple(uint32_t space, std::string name, uint32_t first_stream)
      : filter_space_base(space, std::move(name), first_stream, 1) {}
  void get_streams(const filter_extent& extent, bool subscribing, brindle::sparse_bit_vector& out) const override;
  uint32_t get_broadcast_stream() const override { return get_first_stream(); }
  void print(std::ostream& out) const override;
};

}  // namespace varnel
