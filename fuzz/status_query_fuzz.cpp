// Feeds arbitrary message bodies to a federate's status query monitor as messages from stream 1:
// a message that does not decode (short, a kind out of range, a wildcard identifier, an overlong
// string, a router count over the cap or past the message) throws ldm_decode_error and changes
// nothing; what decodes keeps the open queries and their answers within their bounds. Answers
// are addressed to the monitor's own open query, so that collecting is reached too.
//
// Input: the message body as a sender would have written it after the service's header.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "federation/federation_manager.h"
#include "federation/status_query_monitor.h"
#include "joined_federate.h"
#include "ldm_buf.h"

using namespace brindle;
using namespace varnel;

namespace {

joined_federate& federate() {
  static joined_federate instance(port_block::status_query_fuzz);
  return instance;
}

size_t answers_held(const status_query_monitor& monitor) {
  size_t held = 0;
  for (const auto& query : monitor.get_queries()) {
    if (query.answers.size() > status_query_monitor::max_answers) std::abort();
    held += query.answers.size();
  }
  return held;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 65536) return 0;
  status_query_monitor& monitor = f.ldm->get_status_query_monitor();
  if (monitor.get_queries().empty()) monitor.ask();
  std::vector<uint8_t> body(data, data + size);
  // An answer (kind 1 or 2) to this monitor: its querier is the federation manager.
  if (size >= 12 && body[0] == 0 && body[1] == 0 && body[2] == 0 && (body[3] == 1 || body[3] == 2)) {
    uint32_t host = 0;
    uint16_t process = 0, index = 0;
    f.ldm->get_federation_manager().get_identifier().get_components(host, process, index);
    const uint32_t words[2] = {host, uint32_t{process} << 16 | index};
    for (int w = 0; w < 2; ++w)
      for (int b = 0; b < 4; ++b) body[4 + 4 * w + b] = static_cast<uint8_t>(words[w] >> (24 - 8 * b));
  }
  const size_t held_before = answers_held(monitor);
  ldm_buf* buffer = f.message(body.data(), body.size());
  try {
    monitor.receive(status_query_monitor::stream, status_query_monitor::priority, buffer);
  } catch (const ldm_decode_error&) {
    if (answers_held(monitor) != held_before) std::abort();
  }
  buffer->release_buf();
  if (monitor.get_queries().size() > status_query_monitor::max_open_queries) std::abort();
  f.settle();
  return 0;
}
