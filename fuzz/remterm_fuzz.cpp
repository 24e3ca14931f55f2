// Feeds arbitrary message bodies to a joined federate's remote terminal manager and its ping
// service as messages from stream 2. A message that does not decode (short, a kind out of range,
// a handle of 0, an overlong line, an output count past the message or above 8 KiB, a stream
// out of range) throws ldm_decode_error and changes nothing; what decodes keeps the controller
// set and the ping responder table within their bounds.
//
// Input: one byte choosing the family (even: remote terminal, odd: ping), then the message body.
#include <cstdint>
#include <cstdlib>

#include "console/ping.h"
#include "console/remterm_manager.h"
#include "joined_federate.h"
#include "ldm_buf.h"

using namespace brindle;
using namespace varnel;

namespace {

joined_federate& federate() {
  static joined_federate instance(port_block::remterm_fuzz);
  return instance;
}

void feed_remterm(remterm_manager& remterm, ldm_buf* buffer) {
  const uint64_t received_before = remterm.get_counters().received;
  try {
    remterm.receive(remterm_manager::stream, remterm_manager::priority, buffer);
  } catch (const ldm_decode_error&) {
    if (remterm.get_counters().received != received_before) std::abort();
  }
  if (remterm.controller_count() > remterm_manager::max_controllers) std::abort();
}

void feed_ping(ping& pinger, ldm_buf* buffer) {
  const ping::counters before = pinger.get_counters();
  try {
    pinger.receive(ping::reply_stream, ping::priority, buffer);
  } catch (const ldm_decode_error&) {
    const ping::counters& after = pinger.get_counters();
    if (after.answered != before.answered || after.replies_counted != before.replies_counted ||
        after.replies_ignored != before.replies_ignored)
      std::abort();
  }
  if (pinger.statistics().responders.size() > ping::max_responders) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  joined_federate& f = federate();
  // A run that lasts the whole fuzzing session, so that replies have a run to count in.
  ping& pinger = *f.ldm->get_ping();
  if (!pinger.is_pinging()) pinger.start(ping::reply_stream, 0, 0, ping::min_period_ms);
  ldm_buf* buffer = f.message(data + 1, size - 1);
  if (data[0] % 2 == 0)
    feed_remterm(*f.ldm->get_remterm_manager(), buffer);
  else
    feed_ping(pinger, buffer);
  buffer->release_buf();
  f.settle();
  return 0;
}
