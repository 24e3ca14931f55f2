// The best-effort service's receive path: any bytes reach the client unchanged, and the
// client's decode failures surface as ldm_decode_error for the transport to count.
#include "messages/message_best_effort.h"
#include "message_fuzz_harness.h"

using namespace brindle;
using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static message_fuzz::environment env(test_port(port_block::message_best_effort_fuzz, 0));
  message_best_effort service(env.manager.get(), &env.client, "be_message", env.trace, env.ticks);
  message_fuzz::run_script(env, service, nullptr, data, size);
  return 0;
}
