// RID: reading, checking and translating the user's RID file, and the typed lookups with their
// section-by-section fallback to the built-in defaults.
#include "rid.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "release.h"
#include "rid_texts.h"

namespace brindle {

namespace {

constexpr const char* no_file_name = "Internal Defaults Only";

// The number in a release word: its leading decimal digits, or those after its first character
// when it does not start with one, so that D22, X22 and "22" all carry 22.
unsigned long release_number(const char* text) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(text, &end, 10);
  if (end != text || *text == '\0') return number;
  return std::strtoul(text + 1, nullptr, 10);
}

// The first value in order of appearance: val0 of a reader element, the first attribute of an
// XML one. Brenlo files are read this way.
Document::Value* first_value(Document::Element* element) {
  if (!element || element->values.empty()) return nullptr;
  return &element->values.front();
}

bool is_word(const Document::Value* value, const char* word) {
  return value && value->kind == Document::string_value && std::strcmp(value->string, word) == 0;
}

// 1 for true, 0 for false, -1 for a missing value or one that is not a boolean.
int boolean_setting(const Document::Value* value) {
  if (!value) return -1;
  if (value->kind == Document::integer_value) return value->integer != 0;
  if (is_word(value, "true") || is_word(value, "TRUE")) return 1;
  if (is_word(value, "false") || is_word(value, "FALSE")) return 0;
  return -1;
}

bool is_fraction(const Document::Value* value) {
  if (!value) return false;
  if (value->kind == Document::integer_value) return value->integer == 0 || value->integer == 1;
  return value->kind == Document::real_value && value->real >= 0.0 && value->real <= 1.0;
}

double number_of(const Document::Value& value) {
  return value.kind == Document::integer_value ? value.integer : value.real;
}

// A Brenlo partition count: a positive integer, or 0 when the element gives none. A count
// below one would leave a grid dimension without cells.
int32_t partition_count(Document::Element* element) {
  const Document::Value* count = first_value(element);
  if (!count || count->kind != Document::integer_value || count->integer < 1) return 0;
  return count->integer;
}

void skip_brenlo_part(const char* what, const char* reason) {
  std::fprintf(stderr, "RID::RID: skipping a Brenlo %s %s\n", what, reason);
}

}  // namespace

RID::RID() {
  readString(rid_templates_text, templates_);
  readString(rid_defaults_text, defaults_);
  file_.name = getSymbol("rti");
  filename_ = no_file_name;

  const char* variable = std::getenv("RTI_RID_FILE");
  const std::string name = variable ? variable : "RTI.rid";
  Element element;
  switch (read(name.c_str(), element)) {
    case load_failed:
      reject("RID::RID: RID file " + name + " not found");
      return;
    case parse_failed:
      reject("RID::RID: Error reading RID file " + name);
      return;
    case ok:
      break;
  }
  if (element.name == getSymbol("RTI")) {
    std::fprintf(stderr, "RID::RID: Attempting to translate Brenlo RID file %s\n", name.c_str());
    translate_brenlo(element);
  }
  accept(element, name);
}

void RID::reject(const std::string& line) {
  std::fprintf(stderr, "%s\n          Using RID defaults.\n", line.c_str());
}

void RID::accept(Element& element, const std::string& name) {
  if (element.name != getSymbol("rti"))
    return reject("RID::RID: RID file " + name + " is in the wrong format");
  const Value* version = setting_of(findTag("version", &element));
  if (!version || version->kind != string_value)
    return reject("RID::RID: RID file " + name + " is in an incorrect format");
  if (release_number(version->string) != release_number(rti_release))
    return reject("RID::RID: RID file " + name + " is not for RTI version " + rti_release);
  file_ = std::move(element);
  filename_ = name;
  checksum_ = checksum(findTag("federation_parameters", &file_));
}

// Only a connectionless Brenlo federation has a counterpart here; anything else is left as
// read, and the format check then refuses it.
void RID::translate_brenlo(Element& element) {
  if (!is_word(first_value(findTag("RTIMode", findTag("ProcessSection", &element))), "Connectionless"))
    return;
  Element mimic;
  if (readString(rid_brenlo_mimic_text, mimic) != ok) return;
  Element* federation = findTag("federation_parameters", &mimic);
  Element* distribution = findTag("DataDistribution", findTag("FederationSection", &element));

  if (Element* filtering = findTag("ReceiverSideFiltering", distribution)) {
    if (Element* perfect_filter = findTag("perfect_filter", findTag("updates", federation))) {
      const bool disabled = is_word(first_value(filtering), "Disabled");
      perfect_filter->values = {word_value(disabled ? "false" : "true")};
    }
  }

  Element* options = findTag("Options", distribution);
  Element* routing_spaces = findTag("routing_spaces", federation);
  if (options && routing_spaces) {
    const Value* strategy = first_value(findTag("StrategyToUse", distribution));
    if (!strategy || strategy->kind != string_value || is_word(strategy, "StaticGridPartitioned"))
      translate_static_grid(*options, *routing_spaces);
    else if (is_word(strategy, "MC02"))
      translate_mc02(*options, *routing_spaces);
  }
  element = std::move(mimic);
}

// Each SpaceOptions becomes one gridded routing space with a single grid over the whole domain; a
// dimension without a partition count is bounded but left out of the grid.
void RID::translate_static_grid(Element& options, Element& routing_spaces) {
  Element* strategy = findTag("StaticGridPartitionedStrategyOptions", &options);
  if (!strategy) return;
  for (Element* space = findNextTag("SpaceOptions", strategy, nullptr); space;
       space = findNextTag("SpaceOptions", strategy, space)) {
    const Value* space_name = first_value(space);
    if (!space_name || space_name->kind != string_value) {
      skip_brenlo_part("space", "without a name");
      continue;
    }
    std::vector<Element> bounds, dimensions;
    for (Element* dimension = findNextTag("DimensionOptions", space, nullptr); dimension;
         dimension = findNextTag("DimensionOptions", space, dimension)) {
      const Value* name = first_value(dimension);
      if (!name || name->kind != string_value) {
        skip_brenlo_part("dimension", "without a name");
        continue;
      }
      bounds.push_back(whole_domain(name->string));
      if (const int32_t count = partition_count(findTag("NumPartitions", dimension)))
        dimensions.push_back(grid_dimension(name->string, number_value(0), number_value(1), count));
    }
    std::vector<Element> grids;
    grids.push_back(make_element("grid", {word_value("main")}, std::move(dimensions)));
    routing_spaces.children.push_back(gridded_space(space_name->string, std::move(bounds), std::move(grids)));
  }
}

// Each HyperSpace becomes a gridded routing space over its two dimensions: grid main divides
// the whole space n by n (1 by 1 without a count), and each subspace, its ranges given as
// fractions of the domain, adds a finer grid of m by m cells. Later grids take precedence for
// extents inside them, so the subspaces refine the main grid where traffic is dense.
void RID::translate_mc02(Element& options, Element& routing_spaces) {
  Element* strategy = findTag("MC02StrategyOptions", &options);
  if (!strategy) return;
  for (Element* space = findNextTag("HyperSpace", strategy, nullptr); space;
       space = findNextTag("HyperSpace", strategy, space)) {
    const Value* space_name = first_value(space);
    const Value* first = first_value(findTag("dimension1", space));
    const Value* second = first_value(findTag("dimension2", space));
    if (!space_name || space_name->kind != string_value || !first || first->kind != string_value || !second ||
        second->kind != string_value) {
      skip_brenlo_part("hyperspace", "without a name for itself and both its dimensions");
      continue;
    }
    const char* names[] = {first->string, second->string};
    const char* tags[] = {"dimension1", "dimension2"};
    const int32_t main_count = std::max(partition_count(findTag("NumberOfSubspacePartitions", space)), 1);
    std::vector<Element> grids;
    std::vector<Element> main;
    for (const char* name : names)
      main.push_back(grid_dimension(name, number_value(0), number_value(1), main_count));
    grids.push_back(make_element("grid", {word_value("main")}, std::move(main)));

    int subspace_number = 0;
    for (Element* subspace = findNextTag("subspace", space, nullptr); subspace;
         subspace = findNextTag("subspace", space, subspace)) {
      ++subspace_number;
      const int32_t count = std::max(partition_count(findTag("NumberOfSubspacePartitions", subspace)), 1);
      std::vector<Element> dimensions;
      for (int d = 0; d < 2; ++d) {
        Element* range = findTag(tags[d], subspace);
        if (!range || range->values.size() != 2 || !is_fraction(&range->values[0]) ||
            !is_fraction(&range->values[1]) || number_of(range->values[0]) >= number_of(range->values[1]))
          break;
        dimensions.push_back(grid_dimension(names[d], range->values[0], range->values[1], count));
      }
      if (dimensions.size() != 2) {
        skip_brenlo_part("subspace", "whose ranges are not two fractions, low below high");
        continue;
      }
      const std::string grid_name = "subspace" + std::to_string(subspace_number);
      grids.push_back(make_element("grid", {word_value(grid_name.c_str())}, std::move(dimensions)));
    }
    routing_spaces.children.push_back(gridded_space(
        space_name->string, {whole_domain(names[0]), whole_domain(names[1])}, std::move(grids)));
  }
}

// (name (type gridded) (bounds ...) grid ...)
Document::Element RID::gridded_space(const char* name, std::vector<Element> bounds,
                                     std::vector<Element> grids) {
  std::vector<Element> children;
  children.push_back(make_element("type", {word_value("gridded")}));
  children.push_back(make_element("bounds", {}, std::move(bounds)));
  for (Element& grid : grids) children.push_back(std::move(grid));
  return make_element(name, {}, std::move(children));
}

// (name (domain 0 1))
Document::Element RID::whole_domain(const char* name) {
  std::vector<Element> domain;
  domain.push_back(make_element("domain", {number_value(0), number_value(1)}));
  return make_element(name, {}, std::move(domain));
}

// (name (range low high) (size count))
Document::Element RID::grid_dimension(const char* name, const Value& low, const Value& high, int32_t count) {
  std::vector<Element> children;
  children.push_back(make_element("range", {low, high}));
  children.push_back(make_element("size", {number_value(count)}));
  return make_element(name, {}, std::move(children));
}

Document::Element RID::make_element(const char* name, std::vector<Value> values,
                                    std::vector<Element> children) {
  Element element;
  element.name = getSymbol(name);
  for (size_t i = 0; i < values.size(); ++i) values[i].name = getSymbol(("val" + std::to_string(i)).c_str());
  element.values = std::move(values);
  element.children = std::move(children);
  return element;
}

// Values are made as a first value; make_element renames them by position.
Document::Value RID::word_value(const char* text) {
  Value value;
  value.name = getSymbol("val0");
  value.kind = Document::string_value;
  value.string = getSymbol(text);
  return value;
}

Document::Value RID::number_value(int32_t number) {
  Value value;
  value.name = getSymbol("val0");
  value.kind = integer_value;
  value.integer = number;
  return value;
}

// Sections are looked for among the federation-wide groups first, then the federate's own.
Document::Element* RID::find_section(Element& tree, const char* section) {
  if (Element* found = findTag(section, findTag("federation_parameters", &tree))) return found;
  return findTag(section, findTag("federate_parameters", &tree));
}

Document::Element* RID::get_entry(const char* section, const char* tag, const char* subtag) {
  // A null section is looked up under its printed name, which no section can have.
  if (!section) section = errstring(nullptr, nullptr, nullptr);
  const std::string_view dotted(section);
  const size_t dot = dotted.find('.');
  const std::string name(dotted.substr(0, dot));
  std::vector<std::string> parts;
  if (dot != std::string_view::npos) parts.emplace_back(dotted.substr(dot + 1));
  for (const char* part : {tag, subtag})
    if (part) parts.emplace_back(part);

  Element* entry = nullptr;
  const bool file_accepted = !file_.children.empty();
  if (file_accepted) {
    if (!findTag("federation_parameters", &file_)) {
      std::fputs("RID::get_entry: missing federation_parameters section\n", stderr);
      return nullptr;
    }
    if (!findTag("federate_parameters", &file_)) {
      std::fputs("RID::get_entry: missing federate_parameters section\n", stderr);
      return nullptr;
    }
    entry = find_section(file_, name.c_str());
  }
  if (!entry) {
    entry = find_section(defaults_, name.c_str());
    if (!entry) {
      std::fprintf(stderr, "RID::get_entry: section %s not found\n", name.c_str());
      return nullptr;
    }
    if (file_accepted) std::fprintf(stderr, "RID::get_entry: warning: section %s defaulted\n", name.c_str());
  }
  return walk_path(entry, name, parts);
}

// Follows the dotted tag path below a section; there is no fallback to the defaults here, so a
// group that the file gives but leaves incomplete stays incomplete.
Document::Element* RID::walk_path(Element* section, const std::string& name,
                                  const std::vector<std::string>& parts) {
  std::string path;
  for (size_t i = 0; i < parts.size(); ++i) path += (i ? "." : "") + parts[i];
  if (parts.empty()) return section;
  Element* entry = section;
  for (size_t start = 0; entry;) {
    const size_t end = std::min(path.find('.', start), path.size());
    entry = findTag(path.substr(start, end - start).c_str(), entry);
    if (end == path.size()) break;
    start = end + 1;
  }
  if (!entry) std::fprintf(stderr, "RID::get_entry: tag %s.%s not found\n", name.c_str(), path.c_str());
  return entry;
}

// An entry's setting is its first positional value; entries of XML files carry it in their
// attribute "name" instead.
Document::Value* RID::setting_of(Element* entry) {
  if (!entry) return nullptr;
  if (Value* value = findValue("val0", entry)) return value;
  return findValue("name", entry);
}

const char* RID::get_string(const char* section, const char* tag, const char* subtag) {
  const Value* value = setting_of(get_entry(section, tag, subtag));
  if (value && value->kind == string_value) return value->string;
  std::fprintf(stderr, "RID::get_string: tag %s is not a string value\n", errstring(section, tag, subtag));
  return nullptr;
}

bool RID::get_boolean(const char* section, const char* tag, const char* subtag) {
  const Value* value = setting_of(get_entry(section, tag, subtag));
  if (!value) {
    std::fprintf(stderr, "RID::get_boolean: tag %s is missing\n", errstring(section, tag, subtag));
    return false;
  }
  if (const int setting = boolean_setting(value); setting >= 0) return setting == 1;
  std::fprintf(stderr, "RID::get_boolean: tag %s is not an boolean value\n", errstring(section, tag, subtag));
  return false;
}

int32_t RID::get_integer(const char* section, const char* tag, const char* subtag) {
  const Value* value = setting_of(get_entry(section, tag, subtag));
  if (value && value->kind == integer_value) return value->integer;
  std::fprintf(stderr, "RID::get_integer: tag %s is not an integer value\n", errstring(section, tag, subtag));
  return 0;
}

Document::Value* RID::own_default(const char* section, const char* tag) {
  if (file_.children.empty() || find_section(file_, section)) return nullptr;
  return setting_of(walk_path(find_section(defaults_, section), section, {tag}));
}

int32_t RID::get_own_integer(const char* section, const char* tag) {
  const Value* value = own_default(section, tag);
  if (value && value->kind == integer_value) return value->integer;
  return get_integer(section, tag);
}

const char* RID::get_own_string(const char* section, const char* tag) {
  const Value* value = own_default(section, tag);
  if (value && value->kind == string_value) return value->string;
  return get_string(section, tag);
}

bool RID::get_own_boolean(const char* section, const char* tag) {
  if (const int setting = boolean_setting(own_default(section, tag)); setting >= 0) return setting == 1;
  return get_boolean(section, tag);
}

double RID::get_real(const char* section, const char* tag, const char* subtag) {
  const Value* value = setting_of(get_entry(section, tag, subtag));
  if (value && value->kind == real_value) return value->real;
  std::fprintf(stderr, "RID::get_real: tag %s is not a floating point value\n",
               errstring(section, tag, subtag));
  return 0.0;
}

// The dotted key for messages, kept in message_ until the next call.
const char* RID::errstring(const char* a, const char* b, const char* c) {
  if (!a) return (message_ = "**NULL**").c_str();
  message_ = a;
  for (const char* part : {b, c})
    if (part) message_ += std::string(".") + part;
  return message_.c_str();
}

}  // namespace brindle
