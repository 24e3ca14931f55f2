// Feeds arbitrary bytes to the FED loader as its model file, in either form: reading, the
// model's construction from whatever tree comes out, and the lookups must cope with anything
// without crashing, and every entry must be found again by its own name.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fed/fed.h"
#include "rid.h"

using namespace brindle;
using namespace varnel;

namespace {

// A private temp folder holding the model, rewritten for every input, and naming a RID file
// that does not exist, so the built-in transport types apply. The folder goes with the process.
struct fuzz_files {
  std::filesystem::path folder;
  std::string model;
  std::unique_ptr<RID> rid;
  fuzz_files() {
    char pattern[] = "/tmp/fed_fuzz_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = pattern;
    model = (folder / "fuzz.fed").string();
    setenv("RTI_RID_FILE", (folder / "absent.rid").c_str(), 1);
    rid = std::make_unique<RID>();
  }
  ~fuzz_files() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

fuzz_files& files() {
  static fuzz_files instance;
  return instance;
}

void require(bool condition) {
  if (!condition) std::abort();
}

void check_object_classes(const FED& fed) {
  std::vector<uint32_t> subclasses(fed.num_object_classes());
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c) {
    const char* name = fed.get_object_class_name(c);
    require(!name == !fed.is_object_class_valid(c));
    if (!name) continue;
    require(fed.get_object_class_handle(name) == c);
    require(fed.is_object_class_derived(0, c) || fed.get_object_superclass(c) == invalid_handle);
    require(fed.get_object_subclasses(c, subclasses) <= subclasses.size());
    for (uint32_t a = 0; a < fed.num_attributes(c); ++a) {
      if (const char* attribute = fed.get_attribute_name(a, c)) {
        require(fed.get_attribute_handle(attribute, c) == a);
        require(fed.get_transport_type(a, c) < fed.num_transport_types());
        require(fed.get_order_type(a, c) < fed.num_order_types());
      }
    }
  }
}

void check_interaction_classes(const FED& fed) {
  for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i) {
    const char* name = fed.get_interaction_class_name(i);
    if (!name) continue;
    require(fed.get_interaction_class_handle(name) == i);
    for (uint32_t p = 0; p < fed.num_parameters(i); ++p)
      if (const char* parameter = fed.get_parameter_name(p, i))
        require(fed.get_parameter_handle(parameter, i) == p);
  }
}

void check_spaces(const FED& fed) {
  for (uint32_t s = 0; s < fed.num_routing_spaces(); ++s) {
    const char* name = fed.get_routing_space_name(s);
    if (!name) continue;
    require(fed.get_routing_space_handle(name) == s);
    for (uint32_t d = 0; d < fed.num_dimensions(s); ++d)
      if (const char* dimension = fed.get_dimension_name(d, s))
        require(fed.get_dimension_handle(dimension, s) == d);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_files& f = files();
  std::ofstream(f.model, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  const FED fed(f.rid.get(), f.model.c_str());
  check_object_classes(fed);
  check_interaction_classes(fed);
  check_spaces(fed);
  fed.get_object_class_handle("objectRoot.A.B");
  fed.get_interaction_class_handle("HLAinteractionRoot.A");
  fed.get_attribute_handle("privilegeToDeleteObject", 0);
  return 0;
}
