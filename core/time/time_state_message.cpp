#include "time/time_state_message.h"

#include <vector>

#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr uint32_t longest_time = 64;

template <class Time>
void write_time(ldm_buf& buffer, const Time& time) {
  std::vector<char> bytes(time.encoded_length());
  time.encode(bytes.data());
  buffer.write_4(static_cast<uint32_t>(bytes.size()));
  buffer.write_os(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

template <class Time, class Decode>
std::unique_ptr<Time> read_time(ldm_buf& buffer, Decode decode) {
  const uint32_t length = buffer.read_4();
  if (length == 0 || length > longest_time) throw ldm_decode_error("time state: bad time length");
  const char* bytes = buffer.read_is(length);
  std::unique_ptr<Time> time(decode(bytes, length));
  if (!time) throw ldm_decode_error("time state: time refused");
  return time;
}

advance_type read_advance(ldm_buf& buffer) {
  const uint32_t type = buffer.read_4();
  if (type > static_cast<uint32_t>(advance_type::fqr)) throw ldm_decode_error("time state: bad advance type");
  return static_cast<advance_type>(type);
}

}  // namespace

const char* advance_type_name(advance_type type) {
  switch (type) {
    case advance_type::none: return "NONE";
    case advance_type::tar: return "TAR";
    case advance_type::tara: return "TARA";
    case advance_type::ner: return "NER";
    case advance_type::nera: return "NERA";
    case advance_type::fqr: return "FQR";
  }
  return "?";
}

void time_state_message::write(ldm_buf& buffer) const {
  buffer << sender << regulating << constrained;
  if (!regulating && !constrained) return;
  write_time(buffer, *time);
  write_time(buffer, *lookahead);
  buffer.write_4(static_cast<uint32_t>(last));
  buffer.write_4(static_cast<uint32_t>(current));
  if (current != advance_type::none) write_time(buffer, *request);
  buffer << reliable_sender;
  buffer.write_4(reliable_fence);
}

time_state_message time_state_message::read(ldm_buf& buffer, local_distribution_manager& factories) {
  time_state_message m;
  buffer >> m.sender;
  if (m.sender.is_wildcard()) throw ldm_decode_error("time state: wildcard sender");
  m.regulating = buffer.read_4() != 0;
  m.constrained = buffer.read_4() != 0;
  if (!m.regulating && !m.constrained) return m;
  auto absolute = [&](const char* b, uint32_t n) { return factories.decode_absolute_time(b, n); };
  m.time = read_time<absolute_time>(buffer, absolute);
  m.lookahead = read_time<relative_time>(buffer, [&](const char* b, uint32_t n) {
    return factories.decode_relative_time(b, n);
  });
  m.last = read_advance(buffer);
  m.current = read_advance(buffer);
  if (m.current != advance_type::none) m.request = read_time<absolute_time>(buffer, absolute);
  buffer >> m.reliable_sender;
  if (m.reliable_sender.is_wildcard()) throw ldm_decode_error("time state: wildcard reliable sender");
  m.reliable_fence = buffer.read_4();
  return m;
}

}  // namespace varnel
