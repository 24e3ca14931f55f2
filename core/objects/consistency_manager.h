// Gets current attribute values to the federates that need them. Requests of this federate
// (objects, classes, and the streams it begins to hear) are collected for bundle_query_timeout
// and go out as one query on stream 2. A federate that owns what a query names asks its own
// federate to provide the values, after a random back-off of up to query_backoff_window so that
// not every owner answers at once; an update of those attributes in the meantime (which is the
// answer) cancels the request. Owners are asked only for attributes they own and publish, and
// again only for those still owned and published when the request is delivered. One per joined
// federate, built after the transport manager, torn down before it.
#pragma once

#include <cstdint>
#include <set>

#include "mersenne_twister.h"
#include "objects/pending_attributes.h"
#include "sparse_bit_vector.h"
#include "stream_manager.h"
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
struct query_message;

class consistency_manager : public vessmark::stream_service_client,
                            public vessmark::stream_join_client,
                            public brindle::periodic_realtime_timer,
                            public update_listener {
public:
  static constexpr int query_stream = 2;
  static constexpr unsigned char query_priority = 0x20;

  struct counters {
    uint64_t queries_sent = 0;
    uint64_t objects_sent = 0;
    uint64_t classes_sent = 0;
    uint64_t stream_sets_sent = 0;
    uint64_t queries_received = 0;
    uint64_t provides_delivered = 0;
  };

  // Reads queries.bundle_query_timeout and queries.query_backoff_window (milliseconds; below 0
  // counts as 0).
  consistency_manager(local_distribution_manager& ldm, ddb& database, transport_manager& transports);
  ~consistency_manager() override;

  // The services. Management objects and classes will be answered by the management object
  // agent once it exists; until then they are queried like any other.
  void request_object(uint32_t object);
  void request_class(uint32_t object_class);

  // The stream transport's joins: values are asked for on the streams this federate begins to
  // hear, unless it stops hearing them before the query goes.
  void streams_joined(const brindle::sparse_bit_vector& streams) override;
  void streams_left(const brindle::sparse_bit_vector& streams) override;

  // A provide request after the random back-off, merged with one already waiting.
  void aggregate_provide(uint32_t object, const brindle::bit_vector& attributes);
  // A provide request now, with whatever was waiting for the object.
  void immediate_provide(uint32_t object, const brindle::bit_vector& attributes);
  // This federate just sent these attributes: they need not be provided again.
  void updated(uint32_t object, const brindle::bit_vector& attributes) override;
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  uint64_t get_period() const { return period_ms_; }
  size_t pending_provides() const { return pending_.size(); }
  const counters& get_counters() const { return counters_; }

protected:
  void on_timer() override;

private:
  void collect();
  void send_queries();
  void send(const query_message& message);
  void ask_owner(const object_entry& object);
  void deliver(uint32_t object, const brindle::bit_vector& attributes);
  uint64_t now() const;

  local_distribution_manager& ldm_;
  const FED& fed_;
  ddb& ddb_;
  transport_manager& transports_;
  dstream& trace_;
  vessmark::stream_service service_;
  brindle::mersenne_twister random_;
  uint64_t bundle_ms_;
  uint64_t backoff_ms_;
  uint64_t period_ms_;
  // The outgoing collection; deadline_ is 0 while nothing is collected.
  std::set<uint32_t> objects_;
  std::set<uint32_t> classes_;
  brindle::sparse_bit_vector streams_;
  uint64_t deadline_ = 0;
  pending_attributes pending_;
  counters counters_;
};

}  // namespace varnel
