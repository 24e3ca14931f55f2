#include "stream_service.h"

#include "stream_manager.h"

namespace vessmark {

using namespace brindle;

stream_service::stream_service(stream_manager* manager, stream_service_client* client, const char* name)
    : manager_(manager), client_(client), name_(name ? name : ""), tag_(tag_of(name_.c_str())) {
  manager_->add_service(this);
}

stream_service::~stream_service() { manager_->drop_service(this); }

uint32_t stream_service::tag_of(const char* name) {
  uint32_t hash = 2166136261u;
  for (const char* p = name; *p; ++p) {
    hash ^= static_cast<unsigned char>(*p);
    hash *= 16777619u;
  }
  return hash;
}

ldm_buf* stream_service::get_buf() { return manager_->get_buf(); }

void stream_service::send(int stream, unsigned char priority, ldm_buf* buffer) {
  manager_->send(stream, priority, tag_, buffer);
}

void stream_service::send_broadcast(int stream, unsigned char priority, ldm_buf* buffer) {
  send(stream, priority, buffer);
}

void stream_service::flush(int stream) { manager_->flush(stream); }

bool stream_service::is_joined(int stream) const { return manager_->is_joined(stream); }

}  // namespace vessmark
