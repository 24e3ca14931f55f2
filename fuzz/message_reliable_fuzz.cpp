// The reliable service's receive path with its timers: every message type, cut short, with
// lying counts, impossible identifiers, sequences anywhere in the 32-bit circle, NACKs for its
// own messages (the script can splice its identifier in) and time passing between them. After
// each input every table must be within its bound in reliable_settings, whatever the input
// claimed.
//
// Before the script runs, the whole input is also handed to each message's read() as the body
// after the type word: it decodes or throws ldm_decode_error, and what it decodes writes back
// as exactly the bytes it read.
#include <cstdlib>
#include <cstring>

#include "message_fuzz_harness.h"
#include "messages/message_reliable.h"
#include "messages/reliable_messages.h"

using namespace brindle;
using namespace varnel;

namespace {

template <typename Message>
void check_decode(message_fuzz::environment& env, const uint8_t* data, size_t size) {
  ldm_buf* in = env.manager->get_buf();
  if (size) in->write_os(data, static_cast<uint32_t>(size));
  in->set_received();
  in->set_iptr(ldm_buf::message_header_size);
  try {
    const Message message = Message::read(*in);
    const uint32_t consumed = in->get_iptr() - ldm_buf::message_header_size;
    ldm_buf* out = env.manager->get_buf();
    message.write(*out);
    if (out->get_size() - ldm_buf::message_header_size != consumed ||
        std::memcmp(out->read_is(consumed), data, consumed) != 0) {
      std::abort();
    }
    out->release_buf();
  } catch (const ldm_decode_error&) {
  }
  in->release_buf();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static message_fuzz::environment env(test_port(port_block::message_reliable_fuzz, 0));
  check_decode<reliable_data_header>(env, data, size);
  check_decode<reliable_notice_message>(env, data, size);
  check_decode<reliable_nack_message>(env, data, size);
  check_decode<reliable_ack_message>(env, data, size);
  check_decode<reliable_ping_message>(env, data, size);
  check_decode<reliable_sorry_message>(env, data, size);

  // Tighter bounds than the defaults, so that the fuzzer reaches them within a short input.
  reliable_settings settings;
  settings.window = 64;
  settings.max_stored_bytes = 4096;
  settings.max_pending_nacks = 100;
  settings.max_queued_resends = 16;
  settings.max_senders = 8;
  settings.max_acknowledgers = 8;
  message_reliable service(env.manager.get(), &env.client, "rel_message", env.trace, env.ticks, settings);
  message_fuzz::run_script(env, service, &service.get_identifier(), data, size);

  if (service.sender_count() > settings.max_senders || service.acknowledger_count() > settings.max_acknowledgers ||
      service.pending_nacks() > settings.max_pending_nacks ||
      service.queued_resends() > settings.max_queued_resends || service.stored_bytes() > settings.max_stored_bytes ||
      service.widest_span() > settings.window) {
    std::abort();
  }
  return 0;
}
