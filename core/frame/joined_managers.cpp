#include "frame/joined_managers.h"

#include "console/ping.h"
#include "console/ping_console_reporter.h"
#include "console/remterm_manager.h"
#include "console/vterm_manager.h"
#include "federation/federation_manager.h"
#include "federation/mom_agent.h"
#include "federation/syncpoint_manager.h"
#include "frame/argument_checker.h"
#include "frame/callback_queue.h"
#include "frame/local_distribution_manager.h"
#include "objects/consistency_manager.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "objects/ownership_manager.h"
#include "objects/subscription_agent.h"
#include "objects/transport_change_manager.h"
#include "regions/scope_manager.h"
#include "time/time_manager.h"
#include "time/msgorder_manager.h"
#include "time/retraction_manager.h"
#include "text_output_interceptor.h"
#include "transport/transport_manager.h"

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
// the ddb, after the vterm manager, the console support object. The callback queue comes last.
joined_managers::joined_managers(local_distribution_manager& ldm, const FED& fed) {
  try {
    interceptor_ = std::make_unique<brindle::text_output_interceptor>(ldm.get_scheduler());
    built("text output interceptor");
    vterm_manager_ = std::make_unique<vterm_manager>(ldm, *interceptor_);
    built("vterm manager");
    ddb_ = std::make_unique<ddb>(ldm, fed);
    built("ddb");
    subscription_agent_ = std::make_unique<subscription_agent>(ldm.get_rid(), fed, *ddb_, ldm.get_stream_manager());
    built("subscription agent");
    msgorder_manager_ = std::make_unique<msgorder_manager>(ldm);
    built("order manager");
    object_manager_ = std::make_unique<object_manager>(ldm, *ddb_, *msgorder_manager_);
    built("object manager");
    checker_ = std::make_unique<argument_checker>(fed, *ddb_);
    built("argument checker");
    ping_ = std::make_unique<ping>(ldm.get_stream_manager(), ldm.get_scheduler(), ldm.get_federate_id());
    ping_reporter_ = std::make_unique<ping_console_reporter>(*ping_, [&ldm](unsigned handle) {
      return std::string(ldm.get_federation_manager().get_federate_name(handle));
    });
    built("ping");
    transport_manager_ =
        std::make_unique<transport_manager>(ldm, *ddb_, *subscription_agent_, *object_manager_, *msgorder_manager_);
    built("transport manager");
    consistency_manager_ = std::make_unique<consistency_manager>(ldm, *ddb_, *transport_manager_);
    built("consistency manager");
    scope_manager_ = std::make_unique<scope_manager>(ldm, *ddb_);
    built("scope manager");
    time_manager_ = std::make_unique<time_manager>(ldm, *msgorder_manager_);
    built("time manager");
    retraction_manager_ = std::make_unique<retraction_manager>(ldm, *msgorder_manager_);
    built("retraction manager");
    ownership_manager_ = std::make_unique<ownership_manager>(ldm, *ddb_);
    built("ownership manager");
    mom_agent_ = std::make_unique<mom_agent>(ldm);
    built("MOM agent");
    syncpoint_manager_ = std::make_unique<syncpoint_manager>(ldm);
    built("syncpoint manager");
    transport_change_manager_ = std::make_unique<transport_change_manager>(ldm, *ddb_, *transport_manager_);
    built("transport change manager");
    remterm_manager_ = std::make_unique<remterm_manager>(ldm, *interceptor_);
    built("remterm manager");
    callback_queue_ = std::make_unique<callback_queue>(ldm);
    built("callback queue");
  } catch (...) {
    tear_down();
    throw;
  }
}

joined_managers::~joined_managers() { tear_down(); }

// Still to come, in resign order: after the order manager the scope manager; after the callback
// queue the console support object. The transport change and consistency managers go before the
// transport manager they listen to. The MOM agent goes before the object manager whose objects
// it made. The
// retraction and time managers go before the order manager they use: the time manager's last
// state, sent as it goes, still asks the order manager for its fence.
void joined_managers::tear_down() {
  // The console's terminals go first: they get what was printed up to the resign. Remote
  // connections end before the telnet terminals that may hold them.
  remterm_manager_.reset();
  vterm_manager_.reset();
  interceptor_.reset();
  ping_reporter_.reset();
  ping_.reset();
  transport_change_manager_.reset();
  consistency_manager_.reset();
  checker_.reset();
  subscription_agent_.reset();
  transport_manager_.reset();
  mom_agent_.reset();
  object_manager_.reset();
  retraction_manager_.reset();
  time_manager_.reset();
  msgorder_manager_.reset();
  scope_manager_.reset();
  syncpoint_manager_.reset();
  ownership_manager_.reset();
  ddb_.reset();
  callback_queue_.reset();
}

}  // namespace varnel
