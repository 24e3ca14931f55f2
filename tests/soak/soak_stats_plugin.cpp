// The soak run's statistics plug-in: when the federate resigns, before the RTI acts on it, it
// prints what the distribution manager counted for this federate, one figure a line, for
// tests/soak/run to gather:
//   [name] stats api <HLA name> <count>       each service called and each callback received
//   [name] stats service <service> sent <n> received <n> [given_up <n>]
//   [name] stats late <n>                     time-stamped messages delivered past their time
//   [name] stats packets lost <n>             packets the loss stage dropped on sending
// The name is the plug-in's first parameter, or the federate's name. Load it through the RID:
//   (plugins (soak_stats (filename ".../libsoak_stats_plugin.so") (parameters "soak1")))
#include <cstdio>
#include <memory>
#include <string>

#include "frame/intercept.h"
#include "frame/local_distribution_manager.h"
#include "message_stats.h"
#include "stream_manager.h"
#include "time/msgorder_manager.h"

namespace {

using namespace varnel;

class soak_stats : public pass_through_intercept {
public:
  soak_stats(local_distribution_manager& ldm, std::string name) : ldm_(ldm), name_(std::move(name)) {}

  void resign_federation_execution(bool, bool, bool) override { print(); }

private:
  void print() const {
    const std::string me = "[" + (name_.empty() ? std::string(ldm_.get_federate_name()) : name_) + "] stats ";
    brindle::message_stats_tracker& stats = ldm_.get_stats_tracker();
    for (const auto& [event, count] : stats.get_counts(ldm_.get_api_tracker()))
      std::printf("%sapi %s %llu\n", me.c_str(), event.c_str() + std::string("API_").size(),
                  static_cast<unsigned long long>(count));
    const ordering_message_counts c = ldm_.get_ordering_message_counts();
    const auto service = [&](const char* name, uint64_t sent, uint64_t received) {
      std::printf("%sservice %s sent %llu received %llu", me.c_str(), name, static_cast<unsigned long long>(sent),
                  static_cast<unsigned long long>(received));
    };
    service("best_effort", c.best_effort_sent, c.best_effort_received);
    std::printf("\n");
    service("oneshot", c.oneshot_sent, c.oneshot_received);
    std::printf("\n");
    service("reliable", c.reliable_sent, c.reliable_received);
    std::printf(" given_up %llu\n", static_cast<unsigned long long>(c.reliable_given_up));
    std::printf("%slate %llu\n", me.c_str(), static_cast<unsigned long long>(c.late));
    std::printf("%spackets lost %llu\n", me.c_str(),
                static_cast<unsigned long long>(ldm_.get_stream_manager().get_drops().lost));
    std::fflush(stdout);
  }

  local_distribution_manager& ldm_;
  std::string name_;
};

soak_stats* hook = nullptr;

}  // namespace

extern "C" void varnel_plugin_initialize(varnel::local_distribution_manager* ldm, int count, const char** parameters) {
  auto made = std::make_unique<soak_stats>(*ldm, count > 0 ? parameters[0] : "");
  hook = made.get();
  ldm->add_intercept(made.release());
}

extern "C" void varnel_plugin_finalize(varnel::local_distribution_manager* ldm) {
  if (!hook) return;
  ldm->del_intercept(hook);
  std::unique_ptr<soak_stats> done(hook);
  hook = nullptr;
}
