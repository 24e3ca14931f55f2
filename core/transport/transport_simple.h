// The plain transport: each message goes through one message service (best effort, oneshot or
// reliable, the RID's "message_service") with the RID's priority, bit 0x80 added when
// "use_low_latency" asks to send at once. It delivers everything it receives; with
// "suppress_dups" an update whose values all equal the last ones received is not reflected.
#pragma once

#include "transport/transport_service.h"

namespace varnel {

class transport_simple : public transport_service {
public:
  transport_simple(transport_manager& manager, uint32_t id, brindle::RID& rid, bool no_shared);

  void send_update(brindle::ldm_buf* buffer, int stream, const object_entry& object,
                   const brindle::bit_vector& attributes, bool changed) override;
  void send_interaction(brindle::ldm_buf* buffer, int stream) override;
  int accept_update(const data_message& message, const object_entry& object, int stream) override;
  bool accept_interaction(const data_message& message, int stream) override;
  bool carries_interactions() const override { return true; }

  unsigned char get_priority() const { return priority_; }

private:
  unsigned char priority_ = 0;
};

}  // namespace varnel
