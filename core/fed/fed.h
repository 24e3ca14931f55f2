// The federation object model of one federation, loaded from a FED file (the parenthesised
// HLA 1.3 form or the XML object model form, by file name or URL) and answering every question
// about its classes, attributes, parameters, spaces, dimensions, transports and orders, and its
// checksum. The distribution manager builds one from its RID and owns it; read-only afterwards.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "document.h"

namespace brindle {
class RID;
}  // namespace brindle

namespace varnel {

class FED;
class FED_base;
class FED_transport;
class FED_attribute;
class FED_object_class;
class FED_interaction_class;
class FED_routing_space;
template <class Member>
class FED_members;
using FED_order = FED_base;
using FED_parameter = FED_base;
using FED_dimension = FED_base;

// Every handle of the model is a 0-based uint32_t; this one stands for "none" or "unknown".
inline constexpr uint32_t invalid_handle = 0xFFFFFFFFu;

// Orders names the way their model compares them (see FED::stringcmp).
struct fed_name_order {
  const FED* fed;
  bool operator()(const char* a, const char* b) const;
};
// Name to handle, ordered by the model's name comparison: lookups are O(log n).
using fed_name_index = std::map<const char*, uint32_t, fed_name_order>;

class FED : public brindle::Document {
public:
  // Loads file_name (a path or URL; when it cannot be loaded, its bare file name in the working
  // directory). Problems are printed on the error stream; get_status tells how the load went,
  // and every well-formed entry is present even when it is not ok. rid supplies the transport
  // types; without one only best_effort and reliable exist.
  FED(brindle::RID* rid, const char* file_name);
  ~FED() override;

  // ok, load_failed (nothing loaded) or parse_failed (unreadable, or errors in the model).
  Error get_status() const { return status_; }
  const char* get_fed_filename() const { return file_name_.c_str(); }
  // Null when the file names no federation.
  const char* get_federation_name() const { return federation_name_; }
  uint32_t get_checksum() const { return checksum_; }
  // True for a 1516 model: names then compare exactly, otherwise without regard to case.
  bool is_1516() const { return is_1516_; }

  // Counts of the handle tables (empty slots of dropped duplicates included).
  uint32_t num_object_classes() const { return table_size(object_classes_); }
  uint32_t num_interaction_classes() const { return table_size(interaction_classes_); }
  uint32_t num_routing_spaces() const { return table_size(routing_spaces_); }
  uint32_t num_transport_types() const { return table_size(transports_); }
  uint32_t num_order_types() const { return table_size(orders_); }
  uint32_t max_attributes() const { return max_attributes_; }
  uint32_t max_parameters() const { return max_parameters_; }
  uint32_t max_dimensions() const { return max_dimensions_; }
  // The entry's handle counter, inherited members included; 0 for an invalid handle.
  uint32_t num_attributes(uint32_t object_class) const;
  uint32_t num_parameters(uint32_t interaction) const;
  uint32_t num_dimensions(uint32_t space) const;

  // Names by handle: null when the handle or its owner is invalid. Class names are the stored
  // dotted paths (objectRoot, Vehicle, Vehicle.Car; interactionRoot, ...).
  const char* get_object_class_name(uint32_t object_class) const;
  const char* get_attribute_name(uint32_t attribute, uint32_t object_class) const;
  const char* get_interaction_class_name(uint32_t interaction) const;
  const char* get_parameter_name(uint32_t parameter, uint32_t interaction) const;
  const char* get_routing_space_name(uint32_t space) const;
  const char* get_dimension_name(uint32_t dimension, uint32_t space) const;
  const char* get_transport_name(uint32_t transport) const;
  // The message service type of a transport ("simple"); null when the RID names none.
  const char* get_transport_implementation(uint32_t transport) const;
  const char* get_order_name(uint32_t order) const;

  // Handles by name: invalid_handle when unknown. Class names may be qualified by the root
  // ("objectRoot.Vehicle.Car", "HLAinteractionRoot.Fire").
  uint32_t get_object_class_handle(const char* name) const;
  uint32_t get_attribute_handle(const char* name, uint32_t object_class) const;
  uint32_t get_interaction_class_handle(const char* name) const;
  uint32_t get_parameter_handle(const char* name, uint32_t interaction) const;
  uint32_t get_routing_space_handle(const char* name) const;
  uint32_t get_dimension_handle(const char* name, uint32_t space) const;
  // HLAbestEffort and HLAreliable name best_effort and reliable when those are not declared.
  uint32_t get_transport_id(const char* name) const;
  // Receive and TimeStamp name receive and timestamp when those are not declared.
  uint32_t get_order_id(const char* name) const;

  // True when the handle is inside its table and its slot is filled.
  bool is_object_class_valid(uint32_t object_class) const;
  bool is_attribute_valid(uint32_t attribute, uint32_t object_class) const;
  bool is_interaction_class_valid(uint32_t interaction) const;
  bool is_parameter_valid(uint32_t parameter, uint32_t interaction) const;
  bool is_routing_space_valid(uint32_t space) const;
  bool is_dimension_valid(uint32_t dimension, uint32_t space) const;

  // Declared properties: invalid_handle when a handle is invalid (and for no routing space).
  uint32_t get_transport_type(uint32_t attribute, uint32_t object_class) const;
  uint32_t get_order_type(uint32_t attribute, uint32_t object_class) const;
  uint32_t get_routing_space(uint32_t attribute, uint32_t object_class) const;
  uint32_t get_interaction_transport_type(uint32_t interaction) const;
  uint32_t get_interaction_order_type(uint32_t interaction) const;
  uint32_t get_interaction_routing_space(uint32_t interaction) const;

  // The parent's handle; invalid_handle for a root or an invalid handle.
  uint32_t get_object_superclass(uint32_t object_class) const;
  uint32_t get_interaction_superclass(uint32_t interaction) const;
  // Writes the direct subclasses in file order into out (at most out.size() of them) and
  // returns how many there are; 0 for an invalid handle. An array of num_object_classes()
  // (num_interaction_classes()) handles always has room.
  uint32_t get_object_subclasses(uint32_t object_class, std::span<uint32_t> out) const;
  uint32_t get_interaction_subclasses(uint32_t interaction, std::span<uint32_t> out) const;
  // True when walking up from derived reaches base (a class derives from itself); false when
  // either handle is invalid.
  bool is_object_class_derived(uint32_t base, uint32_t derived) const;
  bool is_interaction_class_derived(uint32_t base, uint32_t derived) const;

  // Compares names as this model does: without regard to case for HLA 1.3, exactly for 1516.
  int stringcmp(const char* a, const char* b) const;
  int stringncmp(const char* a, const char* b, size_t n) const;

private:
  template <class T>
  static uint32_t table_size(const std::vector<std::unique_ptr<T>>& table) {
    return static_cast<uint32_t>(table.size());
  }
  template <class T>
  static uint32_t next_handle(const std::vector<std::unique_ptr<T>>& table) {
    return table_size(table);
  }

  // Loading, in the order the constructor runs it.
  bool load(Element& top);
  void read_header(Element& top);
  void add_transport_types(brindle::RID* rid);
  void add_transport(const char* name, const char* implementation);
  void add_order(const char* name);
  void process_spaces(Element& top);
  FED_routing_space* add_space(const char* name);
  void process_space_entry(Element& entry);
  void process_dimension_entry(Element& entry, FED_routing_space& space);
  void process_objects(Element& top);
  void process_object_entry(Element& entry, FED_object_class* parent);
  void process_attribute_entry(Element& entry, FED_object_class& object_class);
  void process_interactions(Element& top);
  void process_interaction_entry(Element& entry, FED_interaction_class* parent);
  void process_parameter_entry(Element& entry, FED_interaction_class& interaction);

  // Stores entry under its handle and name; a duplicate name is reported and leaves an empty
  // slot, and null is returned.
  template <class Entry>
  Entry* insert(std::vector<std::unique_ptr<Entry>>& table, fed_name_index& index,
                std::unique_ptr<Entry> entry);
  template <class Member>
  void add_member(FED_members<Member>& members, std::unique_ptr<Member> member, uint32_t& largest);
  const char* class_name(const char* root, const char* name, const FED_base* parent);
  static std::string place_of(const FED_base* parent);
  const Value* entry_value(Element& entry, const char* positional, const char* attribute);
  const char* entry_name(Element& entry);
  uint32_t declared_space(Element& entry);
  bool is_privilege_alias(const char* name) const;
  uint32_t default_transport_id(const char* name);
  uint32_t default_order_id(const char* name);
  uint32_t default_routing_space(const char* name);
  bool warn_once(const char* name);
  // Keywords compare like names: without regard to case in an HLA 1.3 model.
  bool is_keyword(const Element& element, const char* keyword) const;
  // The first child of parent that is the keyword; null when none.
  Element* child(Element& parent, const char* keyword) const;
  // Skips an entry the loader does not read, reporting its keyword once per load (1.3 only).
  void skip_unknown(const Element& entry);
  void skip_children(const Element& entry);
  // Prints message as a diagnostic line tagged "FED"; error also marks the load failed.
  static void report(const std::string& message);
  void error(const std::string& message);
  void report_duplicate(const char* name);

  // Lookups: null for an invalid handle or an empty slot.
  const FED_object_class* object_class(uint32_t handle) const;
  const FED_interaction_class* interaction_class(uint32_t handle) const;
  const FED_routing_space* routing_space(uint32_t handle) const;
  const FED_attribute* attribute(uint32_t attribute, uint32_t object_class) const;
  const FED_parameter* parameter(uint32_t parameter, uint32_t interaction) const;
  const FED_dimension* dimension(uint32_t dimension, uint32_t space) const;
  uint32_t find_class(const fed_name_index& index, const char* name, const char* root,
                      std::initializer_list<const char*> qualifiers,
                      std::initializer_list<const char*> roots) const;

  Error status_ = ok;
  std::string file_name_;
  const char* federation_name_ = nullptr;  // symbol
  bool is_1516_ = false;
  size_t class_name_bytes_ = 0;  // stored class names so far, against their budget

  // Tables indexed by handle; a null slot is a dropped duplicate.
  std::vector<std::unique_ptr<FED_object_class>> object_classes_;
  std::vector<std::unique_ptr<FED_interaction_class>> interaction_classes_;
  std::vector<std::unique_ptr<FED_routing_space>> routing_spaces_;
  std::vector<std::unique_ptr<FED_transport>> transports_;
  std::vector<std::unique_ptr<FED_base>> orders_;
  fed_name_index object_class_index_;
  fed_name_index interaction_class_index_;
  fed_name_index routing_space_index_;
  fed_name_index transport_index_;
  fed_name_index order_index_;

  uint32_t max_attributes_ = 0;
  uint32_t max_parameters_ = 0;
  uint32_t max_dimensions_ = 0;
  uint32_t checksum_ = 0;
  std::set<const char*> warned_;  // symbols already reported as unknown
  // Keywords of skipped entries already reported, compared like names.
  std::set<const char*, fed_name_order> skipped_{fed_name_order{this}};
};

}  // namespace varnel
