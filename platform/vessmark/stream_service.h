// One user's access to the stream transport: a named service on a stream_manager. Services of
// equal name on different stream managers hear each other's messages on the streams their
// managers have joined. The user owns its stream_service and the client it is given.
#pragma once

#include <cstdint>
#include <string>

#include "vessmark_export.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace vessmark {

class stream_manager;

// Receives every message for its service's name on a joined stream, inside scheduler::tick.
// The buffer's read position is at the payload; it belongs to the transport and is released
// after the call, so a client that keeps it takes a reference (duplicate_buf). A client that
// finds the message malformed throws ldm_decode_error: the transport drops and counts it.
class stream_service_client {
public:
  virtual ~stream_service_client() = default;
  virtual void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) = 0;
};

class VESSMARK_EXPORT stream_service {
public:
  // Registers with manager under name; both must outlive the service.
  stream_service(stream_manager* manager, stream_service_client* client, const char* name);
  ~stream_service();
  stream_service(const stream_service&) = delete;
  stream_service& operator=(const stream_service&) = delete;

  // A fresh buffer for one message, write position at the payload. The caller releases it
  // after sending; the transport keeps no reference.
  brindle::ldm_buf* get_buf();
  // Sends the message on stream. Small messages wait up to bundle_timeout to share a packet;
  // large ones are fragmented. Higher priority goes first when the rate limit holds packets
  // back. A stream number outside 0 .. 2^24 - 1 is refused with a message.
  void send(int stream, unsigned char priority, brindle::ldm_buf* buffer);
  // Multicast reaches every listener already, so a broadcast is a send.
  void send_broadcast(int stream, unsigned char priority, brindle::ldm_buf* buffer);
  // Sends at once whatever waits to be bundled on stream.
  void flush(int stream);
  bool is_joined(int stream) const;

  const char* get_name() const { return name_.c_str(); }
  // The name's 32-bit tag carried in every message header.
  uint32_t get_tag() const { return tag_; }
  stream_service_client* get_client() const { return client_; }

  // The tag of a service name (FNV-1a), equal on every host.
  static uint32_t tag_of(const char* name);

private:
  stream_manager* manager_;
  stream_service_client* client_;
  std::string name_;
  uint32_t tag_;
};

}  // namespace vessmark
