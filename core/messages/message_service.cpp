#include "messages/message_service.h"

namespace varnel {

using namespace brindle;

message_service::message_service(message_service_client* client, const char* name, dstream& trace)
    : client_(client), name_(name ? name : ""), trace_(trace) {}

}  // namespace varnel
