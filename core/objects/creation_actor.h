// Sends and receives the creation announcements of the object manager through the oneshot
// service "object_creation" on stream 2: each goes out three times, a second apart, and is
// delivered once. Owned by the object manager.
#pragma once

#include <memory>

#include "messages/message_service.h"

namespace varnel {

class local_distribution_manager;
class message_oneshot;
class object_manager;
struct creation_message;

class creation_actor : public message_service_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x30;

  creation_actor(local_distribution_manager& ldm, object_manager& manager, dstream& trace);
  ~creation_actor() override;

  void send(const creation_message& message);
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

private:
  local_distribution_manager& ldm_;
  object_manager& manager_;
  std::unique_ptr<message_oneshot> service_;
};

}  // namespace varnel
