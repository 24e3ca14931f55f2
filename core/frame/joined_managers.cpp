#include "frame/joined_managers.h"

#include "frame/argument_checker.h"
#include "frame/callback_queue.h"

namespace varnel {

using namespace brindle;

namespace {

joined_managers::construction_hook& hook() {
  static joined_managers::construction_hook installed;
  return installed;
}

void built(const char* manager) {
  if (hook()) hook()(manager);
}

}  // namespace

void joined_managers::set_construction_hook(construction_hook installed) { hook() = std::move(installed); }

// Later managers may use earlier ones while they are built. Still to come, in join order: before
// the argument checker the text output interceptor, the vterm manager, the console support
// object, the ddb, the subscription agent, the order manager and the object manager; after it
// ping, the transport manager with one transport service per FED transport type (simple, then
// minimum_rate, then state_consistent types, each in FED order), the consistency, scope, time,
// retraction and ownership managers, the MOM agent, and the syncpoint, transport change and
// remterm managers. The callback queue comes last.
joined_managers::joined_managers(local_distribution_manager& ldm, const FED& fed) {
  try {
    checker_ = std::make_unique<argument_checker>(fed);
    built("argument checker");
    callback_queue_ = std::make_unique<callback_queue>(ldm);
    built("callback queue");
  } catch (...) {
    tear_down();
    throw;
  }
}

joined_managers::~joined_managers() { tear_down(); }

// Still to come, in resign order: the remterm manager, vterm manager, text output interceptor and
// ping first; after the argument checker the subscription agent, transport manager, MOM agent,
// object, order, consistency, scope, transport change, syncpoint, retraction, time and ownership
// managers and the ddb; after the callback queue the console support object.
void joined_managers::tear_down() {
  checker_.reset();
  callback_queue_.reset();
}

}  // namespace varnel
