// The best-effort message service: each message is sent once and delivered to the client
// whenever it arrives; nothing is added to the payload and nothing is recovered. Owned by its
// user (the message ordering manager makes one named "be_message").
//
// Wire form: the user's payload only.
#pragma once

#include <cstdint>

#include "messages/message_service.h"
#include "stream_service.h"

namespace brindle {
class scheduler;
}  // namespace brindle
namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

class message_best_effort : public message_service, public vessmark::stream_service_client {
public:
  // The scheduler is not used: best effort has no timers. It is taken for a constructor shared
  // by all three services.
  message_best_effort(vessmark::stream_manager* manager, message_service_client* client, const char* name, dstream& trace,
                      brindle::scheduler& on);

  brindle::ldm_buf* get_buf() override;
  void send(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  using message_service::print;
  // "Sent: n  Rcvd: n"
  void print(std::ostream& out) const override;

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  uint64_t get_sent() const { return sent_; }
  uint64_t get_received() const { return received_; }

private:
  vessmark::stream_service service_;
  uint64_t sent_ = 0;
  uint64_t received_ = 0;
};

}  // namespace varnel
