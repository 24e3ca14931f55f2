// A loaded model written out as text, one line per entry, so that two models compare line by
// line in a test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fed/fed.h"

namespace varnel {

inline std::string text(const char* name) { return name ? name : "(null)"; }

inline std::string handle_list(const std::vector<uint32_t>& handles, uint32_t count) {
  std::string list;
  for (uint32_t h = 0; h < count; ++h) list.append(" ").append(std::to_string(handles[h]));
  return list;
}

inline std::string declared(const FED& fed, uint32_t transport, uint32_t order, uint32_t space) {
  return text(fed.get_transport_name(transport)) + " " + text(fed.get_order_name(order)) + " " +
         text(fed.get_routing_space_name(space));
}

// Everything a federate can ask of a model, one line per entry in handle order, so that two
// models compare line by line.
inline std::vector<std::string> describe(const FED& fed) {
  std::vector<std::string> lines;
  auto add = [&lines](std::string line) { lines.push_back(std::move(line)); };
  add("federation " + text(fed.get_federation_name()));
  add("maxima " + std::to_string(fed.max_attributes()) + " " +
      std::to_string(fed.max_parameters()) + " " + std::to_string(fed.max_dimensions()));
  for (uint32_t t = 0; t < fed.num_transport_types(); ++t)
    add("transport " + std::to_string(t) + " " + text(fed.get_transport_name(t)) + " " +
        text(fed.get_transport_implementation(t)));
  for (uint32_t o = 0; o < fed.num_order_types(); ++o)
    add("order " + std::to_string(o) + " " + text(fed.get_order_name(o)));

  for (uint32_t s = 0; s < fed.num_routing_spaces(); ++s) {
    add("space " + std::to_string(s) + " " + text(fed.get_routing_space_name(s)));
    for (uint32_t d = 0; d < fed.num_dimensions(s); ++d)
      add("  dimension " + std::to_string(d) + " " + text(fed.get_dimension_name(d, s)));
  }

  std::vector<uint32_t> subclasses(fed.num_object_classes());
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c) {
    const uint32_t count = fed.get_object_subclasses(c, subclasses);
    add("object class " + std::to_string(c) + " " + text(fed.get_object_class_name(c)) +
        " super " + std::to_string(fed.get_object_superclass(c)) + " subclasses" +
        handle_list(subclasses, count));
    for (uint32_t a = 0; a < fed.num_attributes(c); ++a)
      add("  attribute " + std::to_string(a) + " " + text(fed.get_attribute_name(a, c)) + " " +
          declared(fed, fed.get_transport_type(a, c), fed.get_order_type(a, c),
                   fed.get_routing_space(a, c)));
  }

  subclasses.resize(fed.num_interaction_classes());
  for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i) {
    const uint32_t count = fed.get_interaction_subclasses(i, subclasses);
    add("interaction " + std::to_string(i) + " " + text(fed.get_interaction_class_name(i)) + " " +
        declared(fed, fed.get_interaction_transport_type(i), fed.get_interaction_order_type(i),
                 fed.get_interaction_routing_space(i)) +
        " super " + std::to_string(fed.get_interaction_superclass(i)) + " subclasses" +
        handle_list(subclasses, count));
    for (uint32_t p = 0; p < fed.num_parameters(i); ++p)
      add("  parameter " + std::to_string(p) + " " + text(fed.get_parameter_name(p, i)));
  }
  return lines;
}

}  // namespace varnel
