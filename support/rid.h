// The configuration of one federate: the user's RID file (reader or XML text, any URL that
// Document reads), checked against this release and translated from the Brenlo form where
// possible, answering typed lookups of dotted keys that fall back section by section to the
// built-in defaults. The distribution manager builds one and owns it; it is read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brindle_export.h"
#include "document.h"

namespace brindle {

// A Brenlo file (top element RTI) is translated when its ProcessSection.RTIMode is the word
// Connectionless. Its FederationSection.DataDistribution may hold ReceiverSideFiltering
// (Disabled or anything else), StrategyToUse (StaticGridPartitioned, also when absent, or MC02)
// and Options holding the spaces of that strategy, with names as first values:
//   (StaticGridPartitionedStrategyOptions
//     (SpaceOptions space (DimensionOptions dimension (NumPartitions n)) ...) ...)
//   (MC02StrategyOptions
//     (HyperSpace space (dimension1 name) (dimension2 name) (NumberOfSubspacePartitions n)
//       (subspace (dimension1 low high) (dimension2 low high) (NumberOfSubspacePartitions m))
//       ...) ...)
// Each space becomes a gridded routing space; subspace ranges are fractions of the domain.
class BRINDLE_EXPORT RID : public Document {
public:
  // Reads the templates and defaults, then the file named by RTI_RID_FILE (or "RTI.rid").
  // Every problem with the file is printed and leaves the built-in defaults in force.
  RID();

  // The element of the key section.tag.subtag (section may itself be dotted; tag and subtag
  // may be null), taken from the file or, for a section the file lacks, from the defaults;
  // null after printing why.
  Element* get_entry(const char* section, const char* tag = nullptr, const char* subtag = nullptr);

  // The entry's setting as each type; on any problem a message and null, false, 0 or 0.0.
  const char* get_string(const char* section, const char* tag = nullptr, const char* subtag = nullptr);
  bool get_boolean(const char* section, const char* tag = nullptr, const char* subtag = nullptr);
  int32_t get_integer(const char* section, const char* tag = nullptr, const char* subtag = nullptr);
  double get_real(const char* section, const char* tag = nullptr, const char* subtag = nullptr);
  // A key of a section added after RID files were written: a file without the section takes the
  // built-in default quietly (get_entry would warn that the section was defaulted); a file with
  // it is read as get_integer, get_string or get_boolean reads.
  int32_t get_own_integer(const char* section, const char* tag);
  const char* get_own_string(const char* section, const char* tag);
  bool get_own_boolean(const char* section, const char* tag);

  // The accepted file's tree (an empty rti element when none was accepted), for callers that
  // walk it themselves such as the routing spaces and connectivity providers.
  Element* get_rid_file() { return &file_; }
  // The accepted file's name, or "Internal Defaults Only".
  const char* get_rid_filename() const { return filename_.c_str(); }
  // Checksum of the file's federation_parameters: equal in every federate of a federation.
  uint32_t get_checksum() const { return checksum_; }

private:
  void reject(const std::string& line);
  void accept(Element& element, const std::string& name);
  void translate_brenlo(Element& element);
  void translate_static_grid(Element& options, Element& routing_spaces);
  void translate_mc02(Element& options, Element& routing_spaces);
  Element* find_section(Element& tree, const char* section);
  Element* walk_path(Element* section, const std::string& name, const std::vector<std::string>& parts);
  Value* setting_of(Element* entry);
  // The built-in setting of section.tag when the accepted file lacks the section, else null.
  Value* own_default(const char* section, const char* tag);
  const char* errstring(const char* a, const char* b, const char* c);

  // Element building for the translation; make_element names the values "val0", "val1", ...
  Element make_element(const char* name, std::vector<Value> values = {}, std::vector<Element> children = {});
  Element gridded_space(const char* name, std::vector<Element> bounds, std::vector<Element> grids);
  Element whole_domain(const char* name);
  Element grid_dimension(const char* name, const Value& low, const Value& high, int32_t count);
  Value word_value(const char* text);
  Value number_value(int32_t number);

  Element templates_;  // the list of template names; the macros themselves live in the symbols
  Element defaults_;
  Element file_;       // the accepted file, or an empty rti element
  std::string filename_;
  uint32_t checksum_ = 0;
  std::string message_;  // the last key built by errstring
};

}  // namespace brindle
