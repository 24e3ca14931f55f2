#include "objects/stream_plan.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "fed/fed.h"
#include "frame/ldm_error.h"
#include "regions/variable_grid.h"
#include "rid.h"
#include "sparse_bit_vector.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

uint64_t round_down_to_hundred(uint64_t value) { return value / 100 * 100; }

// The first value of element's child named tag, when it is a string.
const char* child_string(RID& rid, Document::Element& element, const char* tag) {
  const Document::Value* value = rid.findValue("val0", rid.findTag(tag, &element));
  return value && value->kind == Document::string_value ? value->string : nullptr;
}

// A routing space entry names its space by its first value, or else by its own name.
const char* space_name(const Document::Element& entry) {
  if (!entry.values.empty() && entry.values.front().kind == Document::string_value) return entry.values.front().string;
  return entry.name;
}

// Adds start and every class below it, walking the tree with a worklist so that a deep model
// cannot exhaust the stack.
template <class Subclasses>
void add_class_tree(uint32_t start, uint32_t base, uint32_t table_size, Subclasses subclasses, sparse_bit_vector& out) {
  std::vector<uint32_t> pending{start};
  std::vector<uint32_t> children(table_size);
  while (!pending.empty()) {
    const uint32_t handle = pending.back();
    pending.pop_back();
    out.set_bit(base + handle);
    const uint32_t count = subclasses(handle, std::span<uint32_t>(children));
    pending.insert(pending.end(), children.begin(), children.begin() + std::min<size_t>(count, children.size()));
  }
}

}  // namespace

subscription_settings subscription_settings::from(RID& rid) {
  subscription_settings s;
  s.region_sub_gets_nonregion = rid.get_boolean("subscriptions", "region_sub_gets_nonregion");
  s.nonregion_sub_gets_region = rid.get_boolean("subscriptions", "nonregion_sub_gets_region");
  s.one_byclass_stream = rid.get_boolean("subscriptions", "one_byclass_stream");
  s.force_static_spaces = rid.get_boolean("subscriptions", "force_static_spaces");
  return s;
}

// Computed in 64 bits: a model's class counts may be anything up to 2^32, and a plan that does
// not fit the transport must be refused, not wrapped.
const uint64_t stream_plan::transport_stream_limit = vessmark::stream_manager::stream_limit;

stream_plan::stream_plan(RID& rid, const FED& fed, uint64_t stream_limit)
    : fed_(fed), settings_(subscription_settings::from(rid)) {
  uint64_t interaction_base = object_class_base;
  uint64_t space_base = 200;
  uint64_t class_end = object_class_base + 1;
  if (!settings_.one_byclass_stream) {
    interaction_base = round_down_to_hundred(object_class_base + uint64_t{fed.num_object_classes()}) + 100;
    space_base = round_down_to_hundred(interaction_base + fed.num_interaction_classes()) + 100;
    class_end = interaction_base + fed.num_interaction_classes();
  }
  end_ = space_base;
  // Spaces are laid out whenever their numbers fit the filter spaces' 32 bits, so that a refusal
  // names the whole plan's need.
  if (space_base <= UINT32_MAX / 2) {
    interaction_base_ = static_cast<uint32_t>(interaction_base);
    space_base_ = static_cast<uint32_t>(space_base);
    lay_out_configured_spaces(rid, stream_limit);
    lay_out_remaining_spaces();
  }
  end_ = std::max(end_, class_end);
  if (end_ > stream_limit) {
    throw make_ldm_exception(ldm_error::InternalError,
                             "The object model needs streams up to %llu; the transport carries at most %llu",
                             static_cast<unsigned long long>(end_ - 1),
                             static_cast<unsigned long long>(stream_limit - 1));
  }
}

stream_plan::~stream_plan() = default;

// Each entry of routing_spaces describes one FED space; its kind fixes how many streams it takes.
// A gridded space takes its cells and a broadcast stream, dropping grids the transport cannot carry.
void stream_plan::lay_out_configured_spaces(RID& rid, uint64_t stream_limit) {
  Document::Element* section = rid.get_entry("routing_spaces");
  if (!section) return;
  for (Document::Element& entry : section->children) {
    const char* name = space_name(entry);
    const char* type = child_string(rid, entry, "type");
    if (!name || !type) continue;
    const std::string kind = type;
    if (kind != "broadcast" && kind != "simple" && kind != "gridded") continue;
    const uint32_t handle = fed_.get_routing_space_handle(name);
    if (handle == invalid_handle || spaces_.count(handle)) continue;
    const uint32_t first = static_cast<uint32_t>(end_);
    if (kind == "broadcast")
      add(std::make_unique<filter_space_broadcast>(handle, name, first));
    else if (kind == "gridded")
      add(std::make_unique<filter_space_variGrid>(handle, name, first, dimension_names(handle), rid, entry,
                                                  stream_limit));
    else
      add(std::make_unique<filter_space_simple>(handle, name, first));
  }
}

std::vector<std::string> stream_plan::dimension_names(uint32_t space) const {
  std::vector<std::string> names;
  for (uint32_t d = 0; d < fed_.num_dimensions(space); ++d) {
    const char* name = fed_.get_dimension_name(d, space);
    names.emplace_back(name ? name : "");
  }
  return names;
}

void stream_plan::lay_out_remaining_spaces() {
  for (uint32_t handle = 0; handle < fed_.num_routing_spaces(); ++handle) {
    const char* name = fed_.get_routing_space_name(handle);
    if (!name || spaces_.count(handle)) continue;
    std::cout << "Defaulting to simple routing space for \"" << name << "\"" << std::endl;
    add(std::make_unique<filter_space_simple>(handle, name, static_cast<uint32_t>(end_)));
  }
}

void stream_plan::add(std::unique_ptr<filter_space_base> space) {
  end_ += space->get_stream_count();
  const uint32_t handle = space->get_space_handle();
  spaces_.emplace(handle, std::move(space));
}

uint32_t stream_plan::object_class_stream(uint32_t object_class) const {
  return settings_.one_byclass_stream ? object_class_base : object_class_base + object_class;
}

// Interactions of a one-stream plan share the base stream: base + class would run into the
// spaces' streams from 200 on.
uint32_t stream_plan::interaction_stream(uint32_t interaction) const {
  return settings_.one_byclass_stream ? interaction_base_ : interaction_base_ + interaction;
}

void stream_plan::add_object_class_streams(uint32_t object_class, sparse_bit_vector& out) const {
  if (settings_.one_byclass_stream) {
    out.set_bit(object_class_base);
    return;
  }
  add_class_tree(object_class, object_class_base, fed_.num_object_classes(),
                 [this](uint32_t c, std::span<uint32_t> to) { return fed_.get_object_subclasses(c, to); }, out);
}

void stream_plan::add_interaction_streams(uint32_t interaction, sparse_bit_vector& out) const {
  if (settings_.one_byclass_stream) {
    out.set_bit(interaction_base_);
    return;
  }
  add_class_tree(interaction, interaction_base_, fed_.num_interaction_classes(),
                 [this](uint32_t c, std::span<uint32_t> to) { return fed_.get_interaction_subclasses(c, to); }, out);
}

void stream_plan::add_space_streams(uint32_t space, sparse_bit_vector& out) const {
  if (const filter_space_base* found = get_space(space)) found->add_all_streams(out);
}

const filter_space_base* stream_plan::get_space(uint32_t space) const {
  auto found = spaces_.find(space);
  return found == spaces_.end() ? nullptr : found->second.get();
}

filter_space_base* stream_plan::get_space(uint32_t space) {
  return const_cast<filter_space_base*>(std::as_const(*this).get_space(space));
}

}  // namespace varnel
