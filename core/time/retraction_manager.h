// Carries retraction requests between federates: the federate's retract service sends the
// handle of one of its own time-stamped messages to every federate on stream 2, through a
// reliable service of its own ("retraction"); a receiver removes the message from its
// timestamp-order queue and, when the message was delivered already (by a flush), asks its
// federate to retract it (request-retraction callback). Built at join after the time manager,
// torn down at resign just before it (joined_managers).
//
// Wire form: retraction_message (ordering_messages.h).
#pragma once

#include <cstdint>
#include <memory>

#include "messages/message_service.h"
#include "time/event_retraction_handle.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class local_distribution_manager;
class message_reliable;
class msgorder_manager;

class retraction_manager : public message_service_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 48;

  struct counters {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t already_delivered = 0;  // received for a message this federate delivered by a flush
  };

  // Joins stream 2 for as long as it lives.
  retraction_manager(local_distribution_manager& ldm, msgorder_manager& order);
  ~retraction_manager() override;
  retraction_manager(const retraction_manager&) = delete;
  retraction_manager& operator=(const retraction_manager&) = delete;

  // Refuses a handle that is not one of this federate's messages with InvalidRetractionHandle.
  void retract(const event_retraction_handle& handle);

  // From the "retraction" service; a malformed request throws ldm_decode_error, which the
  // service counts.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  const counters& get_counters() const { return counters_; }

private:
  local_distribution_manager& ldm_;
  msgorder_manager& order_;
  std::unique_ptr<message_reliable> service_;
  counters counters_;
};

}  // namespace varnel
