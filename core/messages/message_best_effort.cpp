#include "messages/message_best_effort.h"

#include "ldm_buf.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

message_best_effort::message_best_effort(stream_manager* manager, message_service_client* client, const char* name,
                                         dstream& trace, scheduler&)
    : message_service(client, name, trace), service_(manager, this, name) {}

ldm_buf* message_best_effort::get_buf() { return service_.get_buf(); }

void message_best_effort::send(int stream, unsigned char priority, ldm_buf* buffer) {
  service_.send(stream, priority, buffer);
  ++sent_;
}

void message_best_effort::receive(int stream, unsigned char priority, ldm_buf* buffer) {
  ++received_;
  client_->receive(stream, priority, buffer);
}

void message_best_effort::print(std::ostream& out) const {
  out << "Sent: " << sent_ << "  Rcvd: " << received_ << '\n';
}

}  // namespace varnel
