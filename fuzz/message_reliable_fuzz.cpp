// The reliable service's receive path with its timers: every message type, cut short, with
// lying counts, impossible identifiers, sequences anywhere in the 32-bit circle, NACKs for its
// own messages (the script can splice its identifier in) and time passing between them. The
// bounds keep every table small whatever the input claims.
#include "message_fuzz_harness.h"
#include "messages/message_reliable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static message_fuzz::environment env(test_port(port_block::message_reliable_fuzz, 0));
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
  return 0;
}
