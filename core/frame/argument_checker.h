// The handle checks that the distribution manager runs on service arguments before it forwards
// a call: classes, interactions, attribute sets and routing spaces against the federation object
// model. Built by the distribution manager at join, on the joined federation's FED, and owned by
// it until resign; every failed check throws the ldm_exception the service reports.
#pragma once

#include <cstdint>

namespace brindle {
class bit_vector;
}  // namespace brindle

namespace varnel {

class FED;

class argument_checker {
public:
  explicit argument_checker(const FED& fed) : fed_(fed) {}

  // service is the HLA name of the calling service, quoted in every message.
  void check_class(uint32_t object_class, const char* service) const;
  void check_interaction(uint32_t interaction, const char* service) const;
  // The class check, then every attribute of the set against that class; the message lists
  // every invalid handle.
  void check_class_attributes(uint32_t object_class, const brindle::bit_vector& attributes, const char* service) const;
  // The class check, then the one attribute.
  void check_class_attribute(uint32_t object_class, uint32_t attribute, const char* service) const;
  void check_space(uint32_t space, const char* service) const;

private:
  const FED& fed_;
};

}  // namespace varnel
