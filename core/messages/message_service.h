// The interface shared by the three message services (best effort, oneshot, reliable) that carry
// the distribution manager's messages over one named stream_service, and the client interface of
// their users. A service is owned by its user; the user owns the client it passes in and keeps
// the trace stream (a debugging event's stream) alive for the service's lifetime.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>

#include "frame/debugging_events.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

// The receive side of a service's user: called once per delivered message, inside the
// scheduler's tick, with the read position just after the service's own header fields. The
// buffer is released after the call; a client that keeps it takes a reference. A client that
// finds the payload malformed throws ldm_decode_error.
class message_service_client {
public:
  virtual ~message_service_client() = default;
  virtual void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) = 0;
};

class message_service {
public:
  message_service(message_service_client* client, const char* name, dstream& trace);
  virtual ~message_service() = default;
  message_service(const message_service&) = delete;
  message_service& operator=(const message_service&) = delete;

  // A fresh buffer with the service's header written, positioned for the caller's payload. The
  // caller releases it after send.
  virtual brindle::ldm_buf* get_buf() = 0;
  // Sends a buffer from get_buf; the service takes its own reference where it keeps it.
  virtual void send(int stream, unsigned char priority, brindle::ldm_buf* buffer) = 0;
  // The statistics, to standard output.
  void print() const { print(std::cout); }
  virtual void print(std::ostream& out) const = 0;

  const std::string& get_name() const { return name_; }

protected:
  message_service_client* client_;
  std::string name_;
  dstream& trace_;  // written only while its debugging event is on
};

}  // namespace varnel
