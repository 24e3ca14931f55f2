// The scope manager keeps receivers from holding objects they no longer hear. When local
// attributes of an object move from one stream to another (a region moved, an association
// changed), the receivers on the old stream are told where the attributes went: receivers that
// joined the new stream follow them there, the others let them go, and an object left on no
// stream is removed from them. One per joined federate, built after the consistency manager; it
// uses the stream service "scope" on whatever stream the attributes leave.
//
// A scope message may arrive after a newer update has already moved the attributes again, so it
// changes only attributes whose recorded stream is the stream the message arrived on.
#pragma once

#include <cstdint>
#include <memory>

#include "bit_vector.h"
#include "stream_service.h"

namespace varnel {

class ddb;
class dstream;
class local_distribution_manager;
struct object_entry;

class scope_manager : public vessmark::stream_service_client {
public:
  static constexpr unsigned char priority = 0x20;

  struct counters {
    uint64_t sent = 0;            // scope messages sent
    uint64_t moved = 0;           // remote attributes moved to another joined stream
    uint64_t out_of_scope = 0;    // remote attributes let go
    uint64_t unknown_object = 0;  // messages for an object not held here as remote
    uint64_t stale = 0;           // messages whose attributes had moved on already
  };

  scope_manager(local_distribution_manager& ldm, ddb& database);
  ~scope_manager() override;
  scope_manager(const scope_manager&) = delete;
  scope_manager& operator=(const scope_manager&) = delete;

  // Told by the database that the local attributes of object on stream from move to stream to
  // (-1 for none); nothing is sent for an object being deleted.
  void moved(const object_entry& object, int32_t from, const brindle::bit_vector& attributes, int32_t to);
  // A scope message from the network; a malformed one throws ldm_decode_error.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  const counters& get_counters() const { return counters_; }

private:
  local_distribution_manager& ldm_;
  ddb& ddb_;
  dstream& update_trace_;
  dstream& change_trace_;
  dstream& out_trace_;
  std::unique_ptr<vessmark::stream_service> service_;
  counters counters_;
};

}  // namespace varnel
