#include "transport/transport_messages.h"

#include "fed/fed.h"
#include "ldm_buf.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "messages/wire_vectors.h"
#include "regions/region_spec.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const what = "data message";

[[noreturn]] void malformed(const char* why) { throw ldm_decode_error(std::string(what) + ": " + why); }

void write_region(ldm_buf& buffer, const region_block& region) {
  buffer << region.space << region.extents;
  for (uint32_t bound : region.bounds) buffer << bound;
}

// False when the model has no such space: the bounds cannot be told apart without its
// dimension count.
bool read_region(ldm_buf& buffer, const FED& fed, region_block& region) {
  buffer >> region.space >> region.extents;
  if (!fed.is_routing_space_valid(region.space)) return false;
  const uint64_t words = uint64_t{region.extents} * fed.num_dimensions(region.space) * 2;
  if (region.extents > region_block::max_extents) malformed("too many extents");
  if (words * 4 > bytes_left(buffer)) malformed("extents run past the message");
  region.bounds.resize(words);
  for (uint32_t& bound : region.bounds) bound = buffer.read_4();
  return true;
}

}  // namespace

region_block region_block::of(const region_spec& region) {
  region_block block{region.get_space_handle(), region.get_num_extents(), {}};
  block.bounds.reserve(size_t{block.extents} * region.get_num_dims() * 2);
  for (const filter_extent& extent : region.committed_extents())
    for (const filter_range& range : extent.ranges) {
      block.bounds.push_back(range.lower);
      block.bounds.push_back(range.upper);
    }
  return block;
}

std::vector<filter_extent> region_block::to_extents() const {
  std::vector<filter_extent> result;
  if (extents == 0) return result;
  const size_t dimensions = bounds.size() / 2 / extents;
  result.reserve(extents);
  for (size_t e = 0, word = 0; e < extents; ++e) {
    filter_extent& extent = result.emplace_back(static_cast<uint32_t>(dimensions));
    for (filter_range& range : extent.ranges) {
      range.lower = bounds[word++];
      range.upper = bounds[word++];
    }
  }
  return result;
}

namespace {

uint32_t handles_of(const FED& fed, const data_message& message) {
  return message.is_update() ? fed.num_attributes(message.class_handle) : fed.num_parameters(message.class_handle);
}

}  // namespace

void value_set_release::operator()(handle_value_set* values) const { values->down_refcount(); }

void data_message::write(ldm_buf& buffer, const std::vector<const handle_value_pair*>& values) const {
  const uint32_t written_flags = flags | (region ? data_flags::region : 0) | (transports ? data_flags::transports : 0);
  buffer << written_flags << sender << class_handle;
  if (region) write_region(buffer, *region);
  if (transports) write_vector(buffer, *transports);
  buffer << static_cast<uint32_t>(values.size());
  for (const handle_value_pair* pair : values) buffer << pair->get_handle() << pair->get_length();
  if (is_update()) buffer << object_name.c_str();
  buffer << tag;
  for (const handle_value_pair* pair : values) buffer.write_os(pair->get_data(), pair->get_length());
}

data_message::decoded data_message::read(ldm_buf& buffer, const FED& fed) {
  decoded out;
  data_message& m = out.message;
  buffer >> m.flags >> m.sender >> m.class_handle;
  const bool update = (m.flags & data_flags::update) != 0;
  if (update == ((m.flags & data_flags::interaction) != 0)) malformed("neither an update nor an interaction");
  if (update ? !fed.is_object_class_valid(m.class_handle) : !fed.is_interaction_class_valid(m.class_handle))
    malformed("unknown class");
  if (m.flags & data_flags::region) {
    m.region.emplace();
    if (!read_region(buffer, fed, *m.region)) {
      out.unknown_space = true;
      return out;
    }
  }
  if (m.flags & data_flags::transports) {
    if (!update) malformed("transport list in an interaction");
    m.transports = read_vector<bit_vector>(buffer, what);
  }
  const uint32_t count = buffer.read_4();
  if (uint64_t{count} * 8 > bytes_left(buffer) || count > handle_value_set::max_pairs) malformed("too many values");
  std::vector<std::pair<uint32_t, uint32_t>> pairs(count);
  uint64_t total = 0;
  for (auto& [handle, length] : pairs) {
    buffer >> handle >> length;
    total += length;
  }
  if (update) m.object_name = read_name(buffer, what);
  buffer >> m.tag;
  if (total > bytes_left(buffer)) malformed("values run past the message");
  const uint32_t handles = handles_of(fed, m);
  out.values.reset(new handle_value_set(count, &buffer));
  for (const auto& [handle, length] : pairs) {
    const char* data = buffer.read_is(length);
    if (handle >= handles) {
      ++out.dropped_values;
      continue;
    }
    out.values->add_borrowed(handle, length, data);
  }
  return out;
}

}  // namespace varnel
