#include "fed/fed.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "diagnostic.h"
#include "fed/fed_entries.h"
#include "rid.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const diagnostic_tag = "FED";

// Qualified class names repeat their ancestors' names, so a file of long names nested deep
// could ask for far more memory than it holds. Their total is bounded; no real model comes near.
constexpr size_t class_name_budget = size_t{64} << 20;

constexpr char object_root[] = "objectRoot";
constexpr char interaction_root[] = "interactionRoot";
constexpr char privilege_to_delete[] = "privilegeToDelete";

// A value as text, whatever its kind, for messages.
std::string value_text(const Document::Value& value) {
  char number[32];
  switch (value.kind) {
    case Document::string_value:
      return value.string ? value.string : "";
    case Document::integer_value:
      return std::to_string(value.integer);
    default:
      std::snprintf(number, sizeof number, "%g", value.real);
      return number;
  }
}

const char* string_of(const Document::Value* value) {
  return value && value->kind == Document::string_value ? value->string : nullptr;
}

bool is_one_of(const char* text, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [text](const char* word) { return std::strcmp(text, word) == 0; });
}

enum class model_version { hla13, ieee1516, unknown };

model_version version_of(const Document::Value& value) {
  switch (value.kind) {
    case Document::string_value:
      if (!value.string) return model_version::unknown;
      if (is_one_of(value.string, {"v1.3", "V1.3", "1.3"})) return model_version::hla13;
      if (is_one_of(value.string, {"1516.2", "P1516.2", "p1516.2", "1516"})) return model_version::ieee1516;
      return model_version::unknown;
    case Document::integer_value:
      return value.integer == 1516 ? model_version::ieee1516 : model_version::unknown;
    default:
      if (std::fabs(value.real - 1.3) <= 0.001) return model_version::hla13;
      if (std::fabs(value.real - 1516.2) <= 0.001) return model_version::ieee1516;
      return model_version::unknown;
  }
}

// The part of a path after its last "/" (or, when it has none, its last "\"); empty when the
// name has neither.
std::string bare_file_name(const std::string& name) {
  size_t separator = name.find_last_of('/');
  if (separator == std::string::npos) separator = name.find_last_of('\\');
  return separator == std::string::npos ? std::string() : name.substr(separator + 1);
}

uint32_t lookup(const fed_name_index& index, const char* name) {
  const auto found = index.find(name);
  return found == index.end() ? invalid_handle : found->second;
}

template <class Entry>
const Entry* slot(const std::vector<std::unique_ptr<Entry>>& table, uint32_t handle) {
  return handle < table.size() ? table[handle].get() : nullptr;
}

// The entries' checksums in handle order, empty slots skipped, folded by x * 33 + checksum.
template <class Entry>
uint32_t fold(const std::vector<std::unique_ptr<Entry>>& table) {
  uint32_t folded = 0;
  for (const auto& entry : table)
    if (entry) folded = folded * 33 + entry->checksum();
  return folded;
}

template <class Member>
uint32_t superclass_of(const FED_class<Member>* entry) {
  return entry && entry->superclass ? entry->superclass->handle : invalid_handle;
}

template <class Member>
uint32_t subclasses_of(const FED_class<Member>* entry, std::span<uint32_t> out) {
  if (!entry) return 0;
  const size_t written = std::min(out.size(), entry->subclasses.size());
  std::copy_n(entry->subclasses.begin(), written, out.begin());
  return static_cast<uint32_t>(entry->subclasses.size());
}

template <class Member>
bool derives(const FED_class<Member>* base, const FED_class<Member>* derived) {
  if (!base) return false;
  for (; derived; derived = derived->superclass)
    if (derived == base) return true;
  return false;
}

}  // namespace

bool fed_name_order::operator()(const char* a, const char* b) const { return fed->stringcmp(a, b) < 0; }

FED::FED(RID* rid, const char* file_name)
    : file_name_(file_name ? file_name : ""),
      object_class_index_(fed_name_order{this}),
      interaction_class_index_(fed_name_order{this}),
      routing_space_index_(fed_name_order{this}),
      transport_index_(fed_name_order{this}),
      order_index_(fed_name_order{this}) {
  Element top;
  if (!load(top)) return;
  read_header(top);
  add_transport_types(rid);
  add_order("receive");
  add_order("timestamp");
  process_spaces(top);
  process_objects(top);
  process_interactions(top);
  checksum_ = fold(routing_spaces_) + fold(interaction_classes_) + fold(object_classes_);
}

FED::~FED() = default;

// A model is often named by a path from elsewhere; when that path does not exist, the same
// file name in the working directory is tried.
bool FED::load(Element& top) {
  Error result = read(file_name_.c_str(), top);
  if (result == load_failed) {
    const std::string bare = bare_file_name(file_name_);
    if (!bare.empty()) result = read(bare.c_str(), top);
  }
  status_ = result;
  if (result == load_failed) report("Error: FED file " + file_name_ + " not found");
  if (result == parse_failed) report("Error: Error reading FED file " + file_name_);
  return result == ok;
}

// The version decides how keywords and names compare (is_1516_), so it is read first, before
// any other keyword is looked up and before any entry exists; while is_1516_ is still false
// its own keyword is found without regard to case. Its warnings still come after the others.
void FED::read_header(Element& top) {
  const Value* version = findValue("val0", child(top, "FEDversion"));
  if (!version) version = findValue("DTDversion", &top);
  const model_version kind = version ? version_of(*version) : model_version::unknown;
  is_1516_ = kind == model_version::ieee1516;

  if (!is_keyword(top, "FED") && !is_keyword(top, "objectModel"))
    error("Error: No initial FED tag in file " + file_name_);
  federation_name_ = string_of(findValue("val0", child(top, "Federation")));
  if (!federation_name_) federation_name_ = string_of(findValue("name", &top));
  if (!federation_name_) report("Warning: No federation name in file " + file_name_);
  if (!version)
    report("Warning: No FEDversion/DTDversion in file " + file_name_);
  else if (kind == model_version::unknown)
    report("Warning: FED has unknown version (got " + value_text(*version) + ")");

  for (Element& section : top.children)
    if (!is_keyword(section, "Federation") && !is_keyword(section, "FEDversion") &&
        !is_keyword(section, "spaces") && !is_keyword(section, "dimensions") &&
        !is_keyword(section, "objects") && !is_keyword(section, "interactions"))
      skip_unknown(section);
}

// The RID's transport types in its order, then best_effort and reliable unless it has them.
void FED::add_transport_types(RID* rid) {
  if (Element* group = rid ? rid->get_entry("transport_types") : nullptr) {
    for (const Element& type : group->children) {
      if (!type.name || lookup(transport_index_, type.name) != invalid_handle) continue;
      // A type without a usable "type" entry has no implementation rather than a wrong one.
      const char* implementation = rid->get_string("transport_types", type.name, "type");
      add_transport(getSymbol(type.name), implementation ? getSymbol(implementation) : nullptr);
    }
  }
  for (const char* name : {"best_effort", "reliable"})
    if (lookup(transport_index_, name) == invalid_handle) add_transport(getSymbol(name), getSymbol("simple"));
}

void FED::add_transport(const char* name, const char* implementation) {
  insert(transports_, transport_index_,
         std::make_unique<FED_transport>(name, next_handle(transports_), implementation));
}

void FED::add_order(const char* name) {
  insert(orders_, order_index_, std::make_unique<FED_order>(getSymbol(name), next_handle(orders_)));
}

template <class Entry>
Entry* FED::insert(std::vector<std::unique_ptr<Entry>>& table, fed_name_index& index,
                   std::unique_ptr<Entry> entry) {
  if (lookup(index, entry->name) != invalid_handle) {
    report_duplicate(entry->name);
    table.emplace_back();
    return nullptr;
  }
  index.emplace(entry->name, entry->handle);
  table.push_back(std::move(entry));
  return table.back().get();
}

template <class Member>
void FED::add_member(FED_members<Member>& members, std::unique_ptr<Member> member, uint32_t& largest) {
  const char* name = member->name;
  if (!members.add(std::move(member))) report_duplicate(name);
  largest = std::max(largest, members.count());
}

void FED::process_spaces(Element& top) {
  if (Element* spaces = child(top, "spaces"))
    for (Element& entry : spaces->children)
      process_space_entry(entry);
  // The XML form declares dimensions only; together they make one space.
  if (Element* dimensions = child(top, "dimensions"))
    if (FED_routing_space* space = add_space(getSymbol("HyperSpace")))
      for (Element& entry : dimensions->children)
        process_dimension_entry(entry, *space);
}

FED_routing_space* FED::add_space(const char* name) {
  return insert(routing_spaces_, routing_space_index_,
                std::make_unique<FED_routing_space>(*this, name, next_handle(routing_spaces_)));
}

void FED::process_space_entry(Element& entry) {
  if (!is_keyword(entry, "space")) {
    skip_unknown(entry);
    return;
  }
  const char* name = entry_name(entry);
  if (!name) {
    error("Error: missing space name");
    return;
  }
  if (FED_routing_space* space = add_space(name))
    for (Element& child : entry.children) process_dimension_entry(child, *space);
}

void FED::process_dimension_entry(Element& entry, FED_routing_space& space) {
  if (!is_keyword(entry, "dimension")) {
    skip_unknown(entry);
    return;
  }
  const char* name = entry_name(entry);
  if (!name) {
    error(std::string("Error: missing dimension name in") + " space " + space.name);
    return;
  }
  FED_members<FED_dimension>& dimensions = space.dimensions;
  add_member(dimensions, std::make_unique<FED_dimension>(name, dimensions.count()), max_dimensions_);
  skip_children(entry);
}

void FED::process_objects(Element& top) {
  Element* objects = child(top, "objects");
  if (!objects) {
    report("Warning: No objects section in file " + file_name_);
    return;
  }
  for (Element& entry : objects->children) process_object_entry(entry, nullptr);
}

// Recursion follows the file's nesting, which the document readers bound: 100 levels for the
// reader form, 1000 for XML.
void FED::process_object_entry(Element& entry, FED_object_class* parent) {
  if (!is_keyword(entry, "class") && !is_keyword(entry, "objectClass")) {
    skip_unknown(entry);
    return;
  }
  const char* name = entry_name(entry);
  if (!name) {
    error("Error: missing object class name " + place_of(parent));
    return;
  }
  const char* stored = class_name(object_root, name, parent);
  if (!stored) return;
  FED_object_class* object_class =
      insert(object_classes_, object_class_index_,
             std::make_unique<FED_object_class>(*this, stored, next_handle(object_classes_), parent));
  // A dropped duplicate takes its subclasses and attributes with it.
  if (!object_class) return;
  if (parent) parent->subclasses.push_back(object_class->handle);
  for (Element& child : entry.children) {
    if (is_keyword(child, "attribute"))
      process_attribute_entry(child, *object_class);
    else
      process_object_entry(child, object_class);
  }
}

void FED::process_attribute_entry(Element& entry, FED_object_class& object_class) {
  const char* name = entry_name(entry);
  if (!name) {
    error(std::string("Error: missing attribute name in") + " class " + object_class.name);
    return;
  }
  const char* transport = string_of(entry_value(entry, "val1", "transportation"));
  if (!transport) {
    error(std::string("Error: missing transport type for") + " class " + object_class.name +
          " attribute " + name);
    return;
  }
  const char* order = string_of(entry_value(entry, "val2", "order"));
  if (!order) {
    error(std::string("Error: missing order type for") + " class " + object_class.name + " attribute " +
          name);
    return;
  }
  if (!object_class.superclass && is_privilege_alias(name)) name = getSymbol(privilege_to_delete);
  const uint32_t transport_id = default_transport_id(transport);
  const uint32_t order_id = default_order_id(order);
  const uint32_t space = declared_space(entry);
  FED_members<FED_attribute>& attributes = object_class.members;
  add_member(attributes,
             std::make_unique<FED_attribute>(name, attributes.count(), transport_id, order_id, space),
             max_attributes_);
  skip_children(entry);
}

void FED::process_interactions(Element& top) {
  Element* interactions = child(top, "interactions");
  if (!interactions) {
    report("Warning: No interactions section in file " + file_name_);
    return;
  }
  for (Element& entry : interactions->children) process_interaction_entry(entry, nullptr);
}

// Recursion as for object classes, bounded by the readers' nesting limits.
void FED::process_interaction_entry(Element& entry, FED_interaction_class* parent) {
  if (!is_keyword(entry, "class") && !is_keyword(entry, "interactionClass")) {
    skip_unknown(entry);
    return;
  }
  const char* name = entry_name(entry);
  if (!name) {
    error("Error: missing interaction name " + place_of(parent));
    return;
  }
  const char* transport = string_of(entry_value(entry, "val1", "transportation"));
  if (!transport) {
    error(std::string("Error: missing transport type for ") + "interaction " + name);
    return;
  }
  const char* order = string_of(entry_value(entry, "val2", "order"));
  if (!order) {
    error(std::string("Error: missing order type for ") + "interaction " + name);
    return;
  }
  const uint32_t transport_id = default_transport_id(transport);
  const uint32_t order_id = default_order_id(order);
  const uint32_t space = declared_space(entry);
  const char* stored = class_name(interaction_root, name, parent);
  if (!stored) return;
  FED_interaction_class* interaction =
      insert(interaction_classes_, interaction_class_index_,
             std::make_unique<FED_interaction_class>(*this, stored, next_handle(interaction_classes_), parent,
                                                     transport_id, order_id, space));
  if (!interaction) return;
  if (parent) parent->subclasses.push_back(interaction->handle);
  for (Element& child : entry.children) {
    if (is_keyword(child, "parameter"))
      process_parameter_entry(child, *interaction);
    else
      process_interaction_entry(child, interaction);
  }
}

void FED::process_parameter_entry(Element& entry, FED_interaction_class& interaction) {
  const char* name = entry_name(entry);
  if (!name) {
    error(std::string("Error: missing parameter name in") + " class " + interaction.name);
    return;
  }
  FED_members<FED_parameter>& parameters = interaction.members;
  add_member(parameters, std::make_unique<FED_parameter>(name, parameters.count()), max_parameters_);
  skip_children(entry);
}

// "at top level" or "in subclass of" the parent, for the missing-name errors.
std::string FED::place_of(const FED_base* parent) {
  return parent ? std::string("in subclass of ") + parent->name : std::string("at top level");
}

// The stored name: the root's name at the top level, else the parent's stored name, a dot and
// the entry's name, without a leading root name. Null, after an error, beyond the name budget.
const char* FED::class_name(const char* root, const char* name, const FED_base* parent) {
  if (!parent) return getSymbol(root);
  std::string stored = std::string(parent->name) + "." + name;
  const std::string root_prefix = std::string(root) + ".";
  if (stored.starts_with(root_prefix)) stored.erase(0, root_prefix.size());
  if (stored.size() > class_name_budget - class_name_bytes_) {
    error("Error: class names exceed " + std::to_string(class_name_budget) + " bytes in FED file " +
          file_name_);
    return nullptr;
  }
  class_name_bytes_ += stored.size();
  return getSymbol(stored.c_str());
}

const Document::Value* FED::entry_value(Element& entry, const char* positional, const char* attribute) {
  const Value* value = findValue(positional, &entry);
  return value ? value : findValue(attribute, &entry);
}

const char* FED::entry_name(Element& entry) { return string_of(entry_value(entry, "val0", "name")); }

// The fourth value names the routing space; a number there is taken as an unknown name.
uint32_t FED::declared_space(Element& entry) {
  const Value* space = findValue("val3", &entry);
  if (!space) return invalid_handle;
  const char* name = string_of(space);
  return default_routing_space(name ? name : getSymbol(value_text(*space).c_str()));
}

bool FED::is_privilege_alias(const char* name) const {
  return stringcmp(name, "HLAprivilegeToDeleteObject") == 0 || stringcmp(name, "privilegeToDeleteObject") == 0;
}

uint32_t FED::default_transport_id(const char* name) {
  const uint32_t id = get_transport_id(name);
  if (id != invalid_handle) return id;
  if (warn_once(name))
    report(std::string("Warning: Unknown transport type ") + name + " in FED file.\n" +
           "              Defaulting to best_effort.");
  return get_transport_id("best_effort");
}

uint32_t FED::default_order_id(const char* name) {
  const uint32_t id = get_order_id(name);
  if (id != invalid_handle) return id;
  if (warn_once(name))
    report(std::string("Warning: Unknown order type ") + name + " in FED file.\n" +
           "              Defaulting to receive.");
  return get_order_id("receive");
}

uint32_t FED::default_routing_space(const char* name) {
  const uint32_t id = get_routing_space_handle(name);
  if (id == invalid_handle && warn_once(name))
    report(std::string("Warning: Unknown routing space ") + name + " in FED file.\n" +
           "              Defaulting to have no space.");
  return id;
}

bool FED::warn_once(const char* name) { return warned_.insert(name).second; }

bool FED::is_keyword(const Element& element, const char* keyword) const {
  return element.name && stringcmp(element.name, keyword) == 0;
}

Document::Element* FED::child(Element& parent, const char* keyword) const {
  for (Element& element : parent.children)
    if (is_keyword(element, keyword)) return &element;
  return nullptr;
}

// Models written for other RTIs carry entries this loader has no use for (security levels,
// federate lists, ...): each is skipped whole, and an HLA 1.3 model reports each such keyword
// once per load. 1516 models hold many sections not read here (data types, notes, ...) and
// skip them silently.
void FED::skip_unknown(const Element& entry) {
  if (is_1516_ || !entry.name || !skipped_.insert(entry.name).second) return;
  report(std::string("Warning: Unknown entry ") + entry.name + " in FED file.\n" +
         "              Skipping every " + entry.name + " entry.");
}

// Attributes, parameters and dimensions hold no entries of their own.
void FED::skip_children(const Element& entry) {
  for (const Element& child : entry.children) skip_unknown(child);
}

void FED::report(const std::string& message) { diagnostic(diagnostic_tag, "%s", message.c_str()); }

void FED::error(const std::string& message) {
  report(message);
  status_ = parse_failed;
}

// Unlike the other lines this one reads "FED Error:", without the tag's colon; users and tests
// match on it, so it is printed as it stands rather than as a tagged diagnostic.
void FED::report_duplicate(const char* name) {
  std::fprintf(stderr, "FED Error: duplicate name %s in FED file.\n", name);
  status_ = parse_failed;
}

int FED::stringcmp(const char* a, const char* b) const {
  return is_1516_ ? std::strcmp(a, b) : strcasecmp(a, b);
}

int FED::stringncmp(const char* a, const char* b, size_t n) const {
  return is_1516_ ? std::strncmp(a, b, n) : strncasecmp(a, b, n);
}

const FED_object_class* FED::object_class(uint32_t handle) const { return slot(object_classes_, handle); }

const FED_interaction_class* FED::interaction_class(uint32_t handle) const {
  return slot(interaction_classes_, handle);
}

const FED_routing_space* FED::routing_space(uint32_t handle) const { return slot(routing_spaces_, handle); }

const FED_attribute* FED::attribute(uint32_t attribute, uint32_t object_class) const {
  const FED_object_class* owner = this->object_class(object_class);
  return owner ? owner->members.find(attribute) : nullptr;
}

const FED_parameter* FED::parameter(uint32_t parameter, uint32_t interaction) const {
  const FED_interaction_class* owner = interaction_class(interaction);
  return owner ? owner->members.find(parameter) : nullptr;
}

const FED_dimension* FED::dimension(uint32_t dimension, uint32_t space) const {
  const FED_routing_space* owner = routing_space(space);
  return owner ? owner->dimensions.find(dimension) : nullptr;
}

uint32_t FED::num_attributes(uint32_t object_class) const {
  const FED_object_class* entry = this->object_class(object_class);
  return entry ? entry->members.count() : 0;
}

uint32_t FED::num_parameters(uint32_t interaction) const {
  const FED_interaction_class* entry = interaction_class(interaction);
  return entry ? entry->members.count() : 0;
}

uint32_t FED::num_dimensions(uint32_t space) const {
  const FED_routing_space* entry = routing_space(space);
  return entry ? entry->dimensions.count() : 0;
}

namespace {

template <class Entry>
const char* name_of(const Entry* entry) {
  return entry ? entry->name : nullptr;
}

}  // namespace

const char* FED::get_object_class_name(uint32_t object_class) const {
  return name_of(this->object_class(object_class));
}

const char* FED::get_attribute_name(uint32_t attribute, uint32_t object_class) const {
  return name_of(this->attribute(attribute, object_class));
}

const char* FED::get_interaction_class_name(uint32_t interaction) const {
  return name_of(interaction_class(interaction));
}

const char* FED::get_parameter_name(uint32_t parameter, uint32_t interaction) const {
  return name_of(this->parameter(parameter, interaction));
}

const char* FED::get_routing_space_name(uint32_t space) const { return name_of(routing_space(space)); }

const char* FED::get_dimension_name(uint32_t dimension, uint32_t space) const {
  return name_of(this->dimension(dimension, space));
}

const char* FED::get_transport_name(uint32_t transport) const { return name_of(slot(transports_, transport)); }

const char* FED::get_transport_implementation(uint32_t transport) const {
  const FED_transport* entry = slot(transports_, transport);
  return entry ? entry->implementation : nullptr;
}

const char* FED::get_order_name(uint32_t order) const { return name_of(slot(orders_, order)); }

// The stored name, else the name without a leading root qualifier, else the root by one of
// its usual spellings.
uint32_t FED::find_class(const fed_name_index& index, const char* name, const char* root,
                         std::initializer_list<const char*> qualifiers,
                         std::initializer_list<const char*> roots) const {
  if (!name) return invalid_handle;
  const uint32_t handle = lookup(index, name);
  if (handle != invalid_handle) return handle;
  for (const char* qualifier : qualifiers) {
    const size_t length = std::strlen(qualifier);
    if (stringncmp(name, qualifier, length) == 0) return lookup(index, name + length);
  }
  for (const char* spelling : roots)
    if (stringcmp(name, spelling) == 0) return lookup(index, root);
  return invalid_handle;
}

uint32_t FED::get_object_class_handle(const char* name) const {
  return find_class(object_class_index_, name, object_root, {"objectRoot.", "ObjectRoot.", "HLAobjectRoot."},
                    {"objectRoot", "ObjectRoot"});
}

uint32_t FED::get_interaction_class_handle(const char* name) const {
  return find_class(interaction_class_index_, name, interaction_root,
                    {"interactionRoot.", "InteractionRoot.", "HLAinteractionRoot."},
                    {"interactionRoot", "InteractionRoot"});
}

uint32_t FED::get_attribute_handle(const char* name, uint32_t object_class) const {
  const FED_object_class* entry = this->object_class(object_class);
  if (!entry || !name) return invalid_handle;
  const uint32_t handle = entry->members.find(name);
  if (handle != invalid_handle || entry->superclass || !is_privilege_alias(name)) return handle;
  return entry->members.find(privilege_to_delete);
}

uint32_t FED::get_parameter_handle(const char* name, uint32_t interaction) const {
  const FED_interaction_class* entry = interaction_class(interaction);
  return entry && name ? entry->members.find(name) : invalid_handle;
}

uint32_t FED::get_routing_space_handle(const char* name) const {
  return name ? lookup(routing_space_index_, name) : invalid_handle;
}

uint32_t FED::get_dimension_handle(const char* name, uint32_t space) const {
  const FED_routing_space* entry = routing_space(space);
  return entry && name ? entry->dimensions.find(name) : invalid_handle;
}

uint32_t FED::get_transport_id(const char* name) const {
  if (!name) return invalid_handle;
  const uint32_t id = lookup(transport_index_, name);
  if (id != invalid_handle) return id;
  if (stringcmp(name, "HLAbestEffort") == 0) return lookup(transport_index_, "best_effort");
  if (stringcmp(name, "HLAreliable") == 0) return lookup(transport_index_, "reliable");
  return invalid_handle;
}

uint32_t FED::get_order_id(const char* name) const {
  if (!name) return invalid_handle;
  const uint32_t id = lookup(order_index_, name);
  if (id != invalid_handle) return id;
  if (stringcmp(name, "Receive") == 0) return lookup(order_index_, "receive");
  if (stringcmp(name, "TimeStamp") == 0) return lookup(order_index_, "timestamp");
  return invalid_handle;
}

bool FED::is_object_class_valid(uint32_t object_class) const { return this->object_class(object_class); }

bool FED::is_attribute_valid(uint32_t attribute, uint32_t object_class) const {
  return this->attribute(attribute, object_class);
}

bool FED::is_interaction_class_valid(uint32_t interaction) const { return interaction_class(interaction); }

bool FED::is_parameter_valid(uint32_t parameter, uint32_t interaction) const {
  return this->parameter(parameter, interaction);
}

bool FED::is_routing_space_valid(uint32_t space) const { return routing_space(space); }

bool FED::is_dimension_valid(uint32_t dimension, uint32_t space) const {
  return this->dimension(dimension, space);
}

uint32_t FED::get_transport_type(uint32_t attribute, uint32_t object_class) const {
  const FED_attribute* entry = this->attribute(attribute, object_class);
  return entry ? entry->transport : invalid_handle;
}

uint32_t FED::get_order_type(uint32_t attribute, uint32_t object_class) const {
  const FED_attribute* entry = this->attribute(attribute, object_class);
  return entry ? entry->order : invalid_handle;
}

uint32_t FED::get_routing_space(uint32_t attribute, uint32_t object_class) const {
  const FED_attribute* entry = this->attribute(attribute, object_class);
  return entry ? entry->space : invalid_handle;
}

uint32_t FED::get_interaction_transport_type(uint32_t interaction) const {
  const FED_interaction_class* entry = interaction_class(interaction);
  return entry ? entry->transport : invalid_handle;
}

uint32_t FED::get_interaction_order_type(uint32_t interaction) const {
  const FED_interaction_class* entry = interaction_class(interaction);
  return entry ? entry->order : invalid_handle;
}

uint32_t FED::get_interaction_routing_space(uint32_t interaction) const {
  const FED_interaction_class* entry = interaction_class(interaction);
  return entry ? entry->space : invalid_handle;
}

uint32_t FED::get_object_superclass(uint32_t object_class) const {
  return superclass_of(this->object_class(object_class));
}

uint32_t FED::get_interaction_superclass(uint32_t interaction) const {
  return superclass_of(interaction_class(interaction));
}

uint32_t FED::get_object_subclasses(uint32_t object_class, std::span<uint32_t> out) const {
  return subclasses_of(this->object_class(object_class), out);
}

uint32_t FED::get_interaction_subclasses(uint32_t interaction, std::span<uint32_t> out) const {
  return subclasses_of(interaction_class(interaction), out);
}

bool FED::is_object_class_derived(uint32_t base, uint32_t derived) const {
  return derives<FED_attribute>(object_class(base), object_class(derived));
}

bool FED::is_interaction_class_derived(uint32_t base, uint32_t derived) const {
  return derives<FED_parameter>(interaction_class(base), interaction_class(derived));
}

}  // namespace varnel
