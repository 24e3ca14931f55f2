#include "frame/argument_checker.h"

#include <string>

#include "bit_vector.h"
#include "fed/fed.h"
#include "frame/ldm_error.h"

namespace varnel {

using namespace brindle;

namespace {

[[noreturn]] void throw_unknown_attributes(const std::string& handles, uint32_t object_class, const char* service) {
  throw make_ldm_exception(ldm_error::AttributeNotDefined, "Unknown attributes ( %s) for class %u in call to %s",
                           handles.c_str(), object_class, service);
}

}  // namespace

void argument_checker::check_class(uint32_t object_class, const char* service) const {
  if (fed_.is_object_class_valid(object_class)) return;
  throw make_ldm_exception(ldm_error::ObjectClassNotDefined, "Unknown object class %u in call to %s", object_class,
                           service);
}

void argument_checker::check_interaction(uint32_t interaction, const char* service) const {
  if (fed_.is_interaction_class_valid(interaction)) return;
  throw make_ldm_exception(ldm_error::InteractionClassNotDefined, "Unknown interaction class %u in call to %s",
                           interaction, service);
}

void argument_checker::check_class_attributes(uint32_t object_class, const bit_vector& attributes,
                                              const char* service) const {
  check_class(object_class, service);
  std::string invalid;
  for (uint32_t a = attributes.find_next(0); a != bit_vector::npos; a = attributes.find_next(a + 1)) {
    if (!fed_.is_attribute_valid(a, object_class)) invalid += std::to_string(a) + " ";
  }
  if (!invalid.empty()) throw_unknown_attributes(invalid, object_class, service);
}

void argument_checker::check_class_attribute(uint32_t object_class, uint32_t attribute, const char* service) const {
  check_class(object_class, service);
  if (!fed_.is_attribute_valid(attribute, object_class))
    throw_unknown_attributes(std::to_string(attribute) + " ", object_class, service);
}

void argument_checker::check_space(uint32_t space, const char* service) const {
  if (fed_.is_routing_space_valid(space)) return;
  throw make_ldm_exception(ldm_error::InvalidSpaceHandle, "Unknown routing space %u in call to %s", space, service);
}

}  // namespace varnel
