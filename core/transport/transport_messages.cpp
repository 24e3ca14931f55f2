#include "transport/transport_messages.h"

#include "fed/fed.h"
#include "ldm_buf.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "messages/wire_vectors.h"
#include "regions/region.h"

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

// The state-consistent protocol

namespace {

constexpr int32_t max_sc_stream = (1 << 24) - 1;

[[noreturn]] void bad_protocol(const char* why) {
  throw ldm_decode_error(std::string("state-consistent message: ") + why);
}

federate_identifier read_identifier(ldm_buf& buffer) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) bad_protocol("wildcard identifier");
  return identifier;
}

int32_t read_stream(ldm_buf& buffer) {
  const auto stream = static_cast<int32_t>(buffer.read_4());
  if (stream < 1 || stream > max_sc_stream) bad_protocol("stream out of range");
  return stream;
}

std::string read_object_name(ldm_buf& buffer) {
  std::string name = read_name(buffer, "state-consistent message");
  if (name.empty()) bad_protocol("empty object name");
  return name;
}

// A count whose entries, each at least entry_bytes long, must fit in what is left.
uint32_t read_count(ldm_buf& buffer, uint32_t limit, uint32_t entry_bytes) {
  const uint32_t count = buffer.read_4();
  if (count > limit || uint64_t{count} * entry_bytes > bytes_left(buffer)) bad_protocol("count past the message");
  return count;
}

}  // namespace

void sc_object_nack::write(ldm_buf& buffer) const {
  buffer << sc_type::object_nack << object_name.c_str() << owner << stream << number;
}

sc_object_nack sc_object_nack::read(ldm_buf& buffer) {
  sc_object_nack m;
  m.object_name = read_object_name(buffer);
  m.owner = read_identifier(buffer);
  m.stream = read_stream(buffer);
  m.number = buffer.read_4();
  return m;
}

void sc_list::write(ldm_buf& buffer) const {
  buffer << sc_type::list << sender << number << static_cast<uint32_t>(objects.size());
  for (const sc_list_entry& entry : objects) buffer << entry.object_name.c_str() << entry.class_handle << entry.number;
}

sc_list sc_list::read(ldm_buf& buffer, const FED& fed) {
  sc_list m;
  m.sender = read_identifier(buffer);
  m.number = buffer.read_4();
  // An entry is a name of at least one byte and its NUL, padded to a word, and two words.
  const uint32_t count = read_count(buffer, max_objects, 12);
  m.objects.resize(count);
  for (sc_list_entry& entry : m.objects) {
    entry.object_name = read_object_name(buffer);
    entry.class_handle = buffer.read_4();
    entry.number = buffer.read_4();
    if (!fed.is_object_class_valid(entry.class_handle)) bad_protocol("unknown class");
  }
  return m;
}

void sc_list_nack::write(ldm_buf& buffer) const { buffer << sc_type::list_nack << owner << stream << number; }

sc_list_nack sc_list_nack::read(ldm_buf& buffer) {
  sc_list_nack m;
  m.owner = read_identifier(buffer);
  m.stream = read_stream(buffer);
  m.number = buffer.read_4();
  return m;
}

void sc_heartbeat::write(ldm_buf& buffer) const {
  buffer << sc_type::heartbeat << sender << static_cast<uint32_t>(lists.size());
  for (const auto& [stream, number] : lists) buffer << stream << number;
}

sc_heartbeat sc_heartbeat::read(ldm_buf& buffer) {
  sc_heartbeat m;
  m.sender = read_identifier(buffer);
  m.lists.resize(read_count(buffer, max_streams, 8));
  for (auto& [stream, number] : m.lists) {
    stream = read_stream(buffer);
    number = buffer.read_4();
  }
  return m;
}

void sc_update_trailer::write(ldm_buf& buffer) const {
  buffer << kind << sender << number;
  if (kind != partial) return;
  buffer << static_cast<uint32_t>(checksums.size());
  for (const auto& [attribute, checksum] : checksums) buffer << attribute << checksum;
}

sc_update_trailer sc_update_trailer::read(ldm_buf& buffer) {
  sc_update_trailer m;
  m.kind = buffer.read_4();
  if (m.kind != full && m.kind != partial) bad_protocol("unknown trailer kind");
  m.sender = read_identifier(buffer);
  m.number = buffer.read_4();
  if (m.kind != partial) return m;
  m.checksums.resize(read_count(buffer, max_checksums, 8));
  for (auto& [attribute, checksum] : m.checksums) buffer >> attribute >> checksum;
  return m;
}

}  // namespace varnel
