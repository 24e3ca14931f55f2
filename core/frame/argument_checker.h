// The handle checks that the distribution manager runs on service arguments before it forwards
// a call: classes, interactions, attribute sets and routing spaces against the federation object
// model, objects and their attributes against the declaration database. Built by the
// distribution manager at join and owned by it until resign; every failed check throws the
// ldm_exception the service reports.
#pragma once

#include <cstdint>

namespace brindle {
class bit_vector;
}  // namespace brindle

namespace varnel {

class FED;
class ddb;
struct object_entry;

class argument_checker {
public:
  argument_checker(const FED& fed, const ddb& database);

  // service is the HLA name of the calling service, quoted in every message.
  void check_class(uint32_t object_class, const char* service) const;
  void check_interaction(uint32_t interaction, const char* service) const;
  // The class check, then every attribute of the set against that class; the message lists
  // every invalid handle.
  void check_class_attributes(uint32_t object_class, const brindle::bit_vector& attributes, const char* service) const;
  // The class check, then the one attribute.
  void check_class_attribute(uint32_t object_class, uint32_t attribute, const char* service) const;
  void check_space(uint32_t space, const char* service) const;
  // Transport and order handles of the change services: a handle the model does not define
  // would be stored and sent on, and break every later lookup.
  void check_transport(uint32_t transport, const char* service) const;
  void check_order(uint32_t order, const char* service) const;

  // The object known to the database; each check below starts with this one.
  const object_entry& check_object(uint32_t object, const char* service) const;
  // The object, then the attributes against its class.
  const object_entry& check_object_attributes(uint32_t object, const brindle::bit_vector& attributes,
                                              const char* service) const;
  const object_entry& check_object_attribute(uint32_t object, uint32_t attribute, const char* service) const;
  // Every attribute of the set owned here.
  void check_owned_attributes(uint32_t object, const brindle::bit_vector& attributes, const char* service) const;
  // No attribute of the set owned here.
  void check_unowned_attributes(uint32_t object, const brindle::bit_vector& attributes, const char* service) const;
  // The class and every attribute published here, and none owned here.
  void check_acquirable_attributes(uint32_t object, const brindle::bit_vector& attributes, const char* service) const;
  // An object is local while this federate holds its privilege to delete.
  void check_local_object(uint32_t object, const char* service) const;
  void check_remote_object(uint32_t object, const char* service) const;

private:
  const FED& fed_;
  const ddb& ddb_;
  uint32_t privilege_to_delete_;
};

}  // namespace varnel
