// The oneshot service's receive path and its timers: headers of any length and content,
// repeated pairs, resends and the forgetting of remembered pairs.
#include "message_fuzz_harness.h"
#include "messages/message_oneshot.h"

using namespace brindle;
using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static message_fuzz::environment env(test_port(port_block::message_oneshot_fuzz, 0));
  message_oneshot service(env.manager.get(), &env.client, "os_message", env.trace, env.ticks);
  message_fuzz::run_script(env, service, &service.get_identifier(), data, size);
  return 0;
}
