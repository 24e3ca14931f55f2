// Filters: what a subscription or an update association is made with. Every
// object class and every interaction class has one class filter standing for the
// services without a region; regions (later) are filters too. A filter records
// the classes it subscribes and the objects associated with it for sending, and answers where
// its subscribers listen (subscription streams) and where its updates go (publication stream).
// The subscription agent owns the class filters and makes every change through them.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>

#include "bit_vector.h"

namespace brindle {
class sparse_bit_vector;
}  // namespace brindle

namespace varnel {

class FED;
class region_spec;
class stream_plan;

class filter_spec_base {
public:
  virtual ~filter_spec_base() = default;

  virtual void print(std::ostream& out) const = 0;
  // Throw when the attributes (the interaction) may not be used with this filter; a
  // class filter accepts everything.
  virtual void check_attr_assoc(uint32_t object_class, const brindle::bit_vector& attributes) const;
  virtual void check_inter_assoc(uint32_t interaction) const;
  virtual int32_t get_pub_stream() const = 0;
  // Adds the streams the filter's subscribers must listen on.
  virtual void get_sub_streams(brindle::sparse_bit_vector& out) const = 0;
  // The filter as a region; null for a class filter. Asked for every attribute sent.
  virtual const region_spec* as_region() const { return nullptr; }

  // Subscriptions: attribute sets by object class, and interaction classes.
  const std::map<uint32_t, brindle::bit_vector>& object_classes() const { return object_classes_; }
  const std::set<uint32_t>& interaction_classes() const { return interaction_classes_; }
  // Attribute sets associated for sending, by object.
  const std::map<uint32_t, brindle::bit_vector>& associations() const { return associations_; }
  bool has_subscriptions() const { return !object_classes_.empty() || !interaction_classes_.empty(); }
  bool has_associations() const { return !associations_.empty(); }
  bool in_use() const { return has_subscriptions() || has_associations(); }

  // Plain bookkeeping; the subscription agent keeps the declaration database in step.
  void subscribe_object_class(uint32_t object_class, const brindle::bit_vector& attributes);
  void unsubscribe_object_class(uint32_t object_class);
  void subscribe_interaction_class(uint32_t interaction);
  void unsubscribe_interaction_class(uint32_t interaction);
  void associate(uint32_t object, const brindle::bit_vector& attributes);
  void unassociate(uint32_t object);

protected:
  filter_spec_base() = default;
  // Adds what every class subscription hears: the class streams of the subscribed classes and,
  // when the plan says so, every stream of the routing spaces of their attributes and
  // interactions.
  void add_class_streams(const stream_plan& plan, const FED& fed, bool with_spaces,
                         brindle::sparse_bit_vector& out) const;
  void print_streams(std::ostream& out) const;

private:
  std::map<uint32_t, brindle::bit_vector> object_classes_;
  std::set<uint32_t> interaction_classes_;
  std::map<uint32_t, brindle::bit_vector> associations_;
};

// The filter of one class's plain services.
class filter_spec_by_class : public filter_spec_base {
public:
  uint32_t get_class() const { return class_; }
  void get_sub_streams(brindle::sparse_bit_vector& out) const override;

protected:
  filter_spec_by_class(const stream_plan& plan, const FED& fed, uint32_t handle)
      : plan_(plan), fed_(fed), class_(handle) {}
  const stream_plan& plan() const { return plan_; }

private:
  const stream_plan& plan_;
  const FED& fed_;
  uint32_t class_;
};

class object_class_spec : public filter_spec_by_class {
public:
  object_class_spec(const stream_plan& plan, const FED& fed, uint32_t object_class)
      : filter_spec_by_class(plan, fed, object_class) {}
  void print(std::ostream& out) const override;
  int32_t get_pub_stream() const override;
};

class interaction_class_spec : public filter_spec_by_class {
public:
  interaction_class_spec(const stream_plan& plan, const FED& fed, uint32_t interaction)
      : filter_spec_by_class(plan, fed, interaction) {}
  void print(std::ostream& out) const override;
  int32_t get_pub_stream() const override;
};

}  // namespace varnel
