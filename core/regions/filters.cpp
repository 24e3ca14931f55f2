#include "regions/filters.h"

#include "fed/fed.h"
#include "objects/stream_plan.h"
#include "sparse_bit_vector.h"

namespace varnel {

using namespace brindle;

void filter_spec_base::check_attr_assoc(uint32_t, const bit_vector&) const {}

void filter_spec_base::check_inter_assoc(uint32_t) const {}

void filter_spec_base::subscribe_object_class(uint32_t object_class, const bit_vector& attributes) {
  object_classes_[object_class] = attributes;
}

void filter_spec_base::unsubscribe_object_class(uint32_t object_class) { object_classes_.erase(object_class); }

void filter_spec_base::subscribe_interaction_class(uint32_t interaction) { interaction_classes_.insert(interaction); }

void filter_spec_base::unsubscribe_interaction_class(uint32_t interaction) { interaction_classes_.erase(interaction); }

void filter_spec_base::associate(uint32_t object, const bit_vector& attributes) { associations_[object] = attributes; }

void filter_spec_base::unassociate(uint32_t object) { associations_.erase(object); }

void filter_spec_base::add_class_streams(const stream_plan& plan, const FED& fed, bool with_spaces,
                                         sparse_bit_vector& out) const {
  for (const auto& [object_class, attributes] : object_classes_) {
    plan.add_object_class_streams(object_class, out);
    if (!with_spaces) continue;
    // Attributes of one space tend to sit together: look each run of equal spaces up once.
    uint32_t last_space = invalid_handle;
    for (uint32_t a = attributes.ffs(); a != bit_vector::npos; a = attributes.find_next(a + 1)) {
      const uint32_t space = fed.get_routing_space(a, object_class);
      if (space == last_space) continue;
      plan.add_space_streams(space, out);
      last_space = space;
    }
  }
  for (uint32_t interaction : interaction_classes_) {
    plan.add_interaction_streams(interaction, out);
    if (with_spaces) plan.add_space_streams(fed.get_interaction_routing_space(interaction), out);
  }
}

void filter_spec_base::print_streams(std::ostream& out) const {
  out << "      Pub stream: " << get_pub_stream() << std::endl;
  sparse_bit_vector streams;
  get_sub_streams(streams);
  out << "      Sub streams:";
  for (uint32_t s = streams.ffs(); s != sparse_bit_vector::npos; s = streams.find_next(s + 1)) out << ' ' << s;
  out << std::endl;
}

void filter_spec_by_class::get_sub_streams(sparse_bit_vector& out) const {
  add_class_streams(plan_, fed_, plan_.settings().nonregion_sub_gets_region, out);
}

void object_class_spec::print(std::ostream& out) const {
  out << "    Object class filter for class: " << get_class() << std::endl;
  print_streams(out);
}

int32_t object_class_spec::get_pub_stream() const {
  return static_cast<int32_t>(plan().object_class_stream(get_class()));
}

void interaction_class_spec::print(std::ostream& out) const {
  out << "    Interaction class filter for class: " << get_class() << std::endl;
  for (uint32_t interaction : interaction_classes())
    out << "      Sub interaction class: " << interaction << std::endl;
  print_streams(out);
}

int32_t interaction_class_spec::get_pub_stream() const {
  return static_cast<int32_t>(plan().interaction_stream(get_class()));
}

}  // namespace varnel
