// Tells subscribers when this federate moves attributes it owns to another transport, since a
// receiver files each value under the transport it arrived on. Lazily: a changed attribute waits
// change_wait_ms, and an update of it in that time (which shows the new transport by itself)
// knocks it out; only what is left is announced, one message per transport. The receive side
// takes the new transport for attributes owned elsewhere, never for its own. One per joined
// federate, built after the retraction manager, torn down before the transport manager whose
// updates it listens to.
#pragma once

#include <cstdint>

#include "objects/pending_attributes.h"
#include "stream_service.h"
#include "timers.h"
#include "transport/update_listener.h"

namespace varnel {

class FED;
class ddb;
class dstream;
class local_distribution_manager;
class transport_manager;
struct object_entry;

class transport_change_manager : public vessmark::stream_service_client,
                                 public brindle::periodic_realtime_timer,
                                 public update_listener {
public:
  static constexpr uint64_t change_wait_ms = 2500;
  static constexpr uint64_t timer_period_ms = 500;
  static constexpr int broadcast_stream = 2;
  static constexpr unsigned char priority = 0x20;

  struct counters {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t no_service = 0;  // received for a transport this federate has no service of
  };

  transport_change_manager(local_distribution_manager& ldm, ddb& database, transport_manager& transports);
  ~transport_change_manager() override;

  // The service: the object's attributes take the transport here at once; those owned and
  // published here are announced unless an update shows them first.
  void change(uint32_t object, const brindle::bit_vector& attributes, uint32_t transport);
  void updated(uint32_t object, const brindle::bit_vector& attributes) override;
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  const counters& get_counters() const { return counters_; }

protected:
  void on_timer() override;

private:
  void announce(const object_entry& object, brindle::bit_vector attributes);
  void send(const object_entry& object, const brindle::bit_vector& attributes, uint32_t transport);

  local_distribution_manager& ldm_;
  const FED& fed_;
  ddb& ddb_;
  transport_manager& transports_;
  dstream& trace_;
  vessmark::stream_service service_;
  pending_attributes pending_;
  counters counters_;
};

}  // namespace varnel
