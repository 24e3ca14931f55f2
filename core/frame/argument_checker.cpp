#include "frame/argument_checker.h"

#include <string>

#include "bit_vector.h"
#include "fed/fed.h"
#include "frame/ldm_error.h"
#include "objects/ddb.h"

namespace varnel {

using namespace brindle;

namespace {

[[noreturn]] void throw_unknown_attributes(const std::string& handles, uint32_t object_class, const char* service) {
  throw make_ldm_exception(ldm_error::AttributeNotDefined, "Unknown attributes ( %s) for class %u in call to %s",
                           handles.c_str(), object_class, service);
}

bool any_bit(const bit_vector& attributes, bool (*test)(const object_entry&, uint32_t), const object_entry& entry) {
  for (uint32_t a = attributes.ffs(); a != bit_vector::npos; a = attributes.find_next(a + 1))
    if (test(entry, a)) return true;
  return false;
}

bool remote(const object_entry& entry, uint32_t attribute) { return !entry.is_local(attribute); }
bool local(const object_entry& entry, uint32_t attribute) { return entry.is_local(attribute); }
bool unpublished(const object_entry& entry, uint32_t attribute) {
  return !entry.object_class->published.get_bit(attribute);
}

[[noreturn]] void throw_about(ldm_error code, const char* what, const object_entry& entry, const char* service) {
  throw make_ldm_exception(code, "Object %u (%s) %s in call to %s", entry.handle, entry.name.c_str(), what, service);
}

}  // namespace

argument_checker::argument_checker(const FED& fed, const ddb& database)
    : fed_(fed), ddb_(database),
      privilege_to_delete_(fed.get_attribute_handle("privilegeToDelete", fed.get_object_class_handle("ObjectRoot"))) {}

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

void argument_checker::check_transport(uint32_t transport, const char* service) const {
  if (fed_.get_transport_name(transport)) return;
  throw make_ldm_exception(ldm_error::InvalidTransportationType, "Unknown transport %u in call to %s", transport,
                           service);
}

void argument_checker::check_order(uint32_t order, const char* service) const {
  if (fed_.get_order_name(order)) return;
  throw make_ldm_exception(ldm_error::InvalidOrderType, "Unknown order %u in call to %s", order, service);
}

const object_entry& argument_checker::check_object(uint32_t object, const char* service) const {
  if (const object_entry* entry = ddb_.object(object)) return *entry;
  throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Unknown object %u in call to %s", object, service);
}

const object_entry& argument_checker::check_object_attributes(uint32_t object, const bit_vector& attributes,
                                                              const char* service) const {
  const object_entry& entry = check_object(object, service);
  check_class_attributes(entry.object_class->handle, attributes, service);
  return entry;
}

const object_entry& argument_checker::check_object_attribute(uint32_t object, uint32_t attribute,
                                                             const char* service) const {
  const object_entry& entry = check_object(object, service);
  check_class_attribute(entry.object_class->handle, attribute, service);
  return entry;
}

void argument_checker::check_owned_attributes(uint32_t object, const bit_vector& attributes,
                                              const char* service) const {
  const object_entry& entry = check_object_attributes(object, attributes, service);
  if (any_bit(attributes, remote, entry)) throw_about(ldm_error::AttributeNotOwned, "has remote attrs", entry, service);
}

void argument_checker::check_unowned_attributes(uint32_t object, const bit_vector& attributes,
                                                const char* service) const {
  const object_entry& entry = check_object_attributes(object, attributes, service);
  if (any_bit(attributes, local, entry)) throw_about(ldm_error::AttributeAlreadyOwned, "has local attrs", entry, service);
}

void argument_checker::check_acquirable_attributes(uint32_t object, const bit_vector& attributes,
                                                   const char* service) const {
  const object_entry& entry = check_object_attributes(object, attributes, service);
  const object_class_entry& object_class = *entry.object_class;
  if (!object_class.is_published()) {
    throw make_ldm_exception(ldm_error::ObjectClassNotPublished,
                             "Object %u (%s) is of unpublished class %u (%s) in call to %s", entry.handle,
                             entry.name.c_str(), object_class.handle, fed_.get_object_class_name(object_class.handle),
                             service);
  }
  if (any_bit(attributes, unpublished, entry))
    throw_about(ldm_error::AttributeNotPublished, "has unpublished attrs", entry, service);
  if (any_bit(attributes, local, entry)) throw_about(ldm_error::FederateOwnsAttributes, "has local attrs", entry, service);
}

void argument_checker::check_local_object(uint32_t object, const char* service) const {
  const object_entry& entry = check_object(object, service);
  if (!entry.holds_delete_privilege(privilege_to_delete_)) throw_about(ldm_error::DeletePrivilegeNotHeld, "is remote", entry, service);
}

void argument_checker::check_remote_object(uint32_t object, const char* service) const {
  const object_entry& entry = check_object(object, service);
  if (entry.holds_delete_privilege(privilege_to_delete_)) throw_about(ldm_error::FederateOwnsAttributes, "is local", entry, service);
}


}  // namespace varnel
