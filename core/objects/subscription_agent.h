// The subscription agent turns subscriptions into streams. It owns the stream plan, one
// class filter per object class and per interaction class, and the federate's regions (by token,
// with the set of live ones so that a stale pointer is refused before use); every subscribe and
// unsubscribe goes through a filter, and the agent keeps the declaration database's
// counts and the transport's stream joins in step with what the filters cover. Owned by
// the distribution manager from join to resign; it leaves every stream it joined and destroys
// every region when it goes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "objects/stream_plan.h"
#include "regions/filters.h"
#include "sparse_bit_vector.h"

namespace brindle {
class RID;
}  // namespace brindle

namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

class FED;
class ddb;
struct object_entry;
class region_spec;

class subscription_agent {
public:
  subscription_agent(brindle::RID& rid, const FED& fed, ddb& database, vessmark::stream_manager& streams);
  virtual ~subscription_agent();
  subscription_agent(const subscription_agent&) = delete;
  subscription_agent& operator=(const subscription_agent&) = delete;

  // filter is the class's own filter for the plain services.
  void subscribe_object_class_attributes(uint32_t object_class, const brindle::bit_vector& attributes,
                                         filter_spec_base& filter);
  void unsubscribe_object_class(uint32_t object_class, filter_spec_base& filter);
  void subscribe_interaction_class(uint32_t interaction, filter_spec_base& filter);
  void unsubscribe_interaction_class(uint32_t interaction, filter_spec_base& filter);
  // The owned, published attributes among attributes go out on the filter's stream.
  void associate_for_updates(uint32_t object, const brindle::bit_vector& attributes, filter_spec_base& filter);
  void unassociate_for_updates(uint32_t object, filter_spec_base& filter);
  // Unassociates the region; the attributes go back to their class's own association.
  void unassociate_region_for_updates(uint32_t object, region_spec& region);

  // Regions. create_region takes a space of the model and at most region_spec::max_extents
  // extents. notify_about_region_modification makes edited extents effective: the streams
  // subscribed follow, and associated attributes move to the new publication stream.
  // delete_region refuses a region still in use.
  region_spec& create_region(uint32_t space, uint32_t extents);
  void notify_about_region_modification(region_spec& region);
  void delete_region(region_spec& region);
  bool is_live(const region_spec* region) const { return live_.count(region) != 0; }
  // Null for an unknown token.
  region_spec* get_region(uint32_t token) const;

  object_class_spec& get_object_class_spec(uint32_t object_class) { return *object_specs_.at(object_class); }
  interaction_class_spec& get_interaction_class_spec(uint32_t interaction) {
    return *interaction_specs_.at(interaction);
  }
  const stream_plan& plan() const { return plan_; }
  // Filters that hold subscriptions.
  uint32_t subscribing_specs() const { return subscribing_; }
  // Joins made through this agent and not yet left, by stream.
  const std::map<uint32_t, uint32_t>& joins() const { return join_counts_; }

private:
  brindle::sparse_bit_vector sub_streams(const filter_spec_base& filter) const;
  void change_streams(filter_spec_base& filter, const brindle::sparse_bit_vector& before,
                      const brindle::sparse_bit_vector& after);
  void note_subscribing(bool before, const filter_spec_base& filter);
  void release_from_other_filters(const object_entry& entry, const brindle::bit_vector& attributes,
                                  const filter_spec_base& keeping);
  void move_associations(region_spec& region, int32_t stream);

  ddb& ddb_;
  vessmark::stream_manager& streams_;
  const FED& fed_;
  stream_plan plan_;
  std::vector<std::unique_ptr<object_class_spec>> object_specs_;  // by class handle
  std::vector<std::unique_ptr<interaction_class_spec>> interaction_specs_;
  uint32_t subscribing_ = 0;
  // Joins per stream made through this agent, so that resign can leave exactly what it joined.
  std::map<uint32_t, uint32_t> join_counts_;
  // Declared last: regions name the plan's spaces and leave them as they go.
  uint32_t next_token_ = 1;
  std::map<uint32_t, region_spec*> by_token_;
  std::unordered_map<const region_spec*, std::unique_ptr<region_spec>> live_;
};

}  // namespace varnel
