// The stream plan of a federation: which stream carries each object class, each interaction
// class and each routing space. Every federate computes it from the FED's class counts and the
// federation part of the RID alone, so all agree without talking. Owned by the subscription
// agent from join to resign.
//
//   | streams                  | carry                                                      |
//   | 2                        | control and broadcast traffic every federate joins         |
//   | object base + class      | sends of an object class without a region (base 100)       |
//   | interaction base + class | interactions without a region (b + 100, b = (100 + object   |
//   |                          | classes) rounded down to a hundred)                        |
//   | space base ...           | the routing spaces in RID order, then the FED's others     |
//   |                          | (c + 100, c = (interaction base + interaction classes)     |
//   |                          | rounded down to a hundred)                                 |
//
// With one_byclass_stream every object and every interaction class sends on stream 100 and the
// spaces start at 200.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "regions/filter_space.h"

namespace brindle {
class RID;
class sparse_bit_vector;
}  // namespace brindle

namespace varnel {

class FED;

// The subscriptions section of the federation's RID, read once at join.
struct subscription_settings {
  bool region_sub_gets_nonregion = true;
  bool nonregion_sub_gets_region = true;
  bool one_byclass_stream = false;
  bool force_static_spaces = true;

  static subscription_settings from(brindle::RID& rid);
};

class stream_plan {
public:
  static constexpr uint32_t object_class_base = 100;
  static const uint64_t transport_stream_limit;

  // Lays out the classes and spaces. A plan that needs a stream at or beyond stream_limit (the
  // transport's) fails the join with ldm_exception InternalError, in every federate alike.
  stream_plan(brindle::RID& rid, const FED& fed, uint64_t stream_limit = transport_stream_limit);
  ~stream_plan();
  stream_plan(const stream_plan&) = delete;
  stream_plan& operator=(const stream_plan&) = delete;

  const subscription_settings& settings() const { return settings_; }
  uint32_t interaction_base() const { return interaction_base_; }
  uint32_t space_base() const { return space_base_; }
  // One past the highest stream the plan uses.
  uint64_t end_of_plan() const { return end_; }

  uint32_t object_class_stream(uint32_t object_class) const;
  uint32_t interaction_stream(uint32_t interaction) const;
  // Adds the class streams of the class and of every class below it: a subscriber of a class
  // hears instances sent under any of its subclasses.
  void add_object_class_streams(uint32_t object_class, brindle::sparse_bit_vector& out) const;
  void add_interaction_streams(uint32_t interaction, brindle::sparse_bit_vector& out) const;
  // Adds every stream of the routing space; nothing for no space or an unknown one.
  void add_space_streams(uint32_t space, brindle::sparse_bit_vector& out) const;
  // Null for a handle without a filter space.
  const filter_space_base* get_space(uint32_t space) const;
  filter_space_base* get_space(uint32_t space);
  const std::map<uint32_t, std::unique_ptr<filter_space_base>>& spaces() const { return spaces_; }

private:
  void lay_out_configured_spaces(brindle::RID& rid, uint64_t stream_limit);
  std::vector<std::string> dimension_names(uint32_t space) const;
  void lay_out_remaining_spaces();
  void add(std::unique_ptr<filter_space_base> space);

  const FED& fed_;
  subscription_settings settings_;
  uint32_t interaction_base_ = 0;
  uint32_t space_base_ = 0;
  uint64_t end_ = 0;
  std::map<uint32_t, std::unique_ptr<filter_space_base>> spaces_;  // by space handle
};

}  // namespace varnel
