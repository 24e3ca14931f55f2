// The plug-in module of intercept_test. Each entry of the RID that names it makes one instance:
// its first parameter names it, the others are flags. Everything it sees it prints as
// "<name>: <event>" on standard output, where the test reads it even after the module is gone.
//   veto_update     vetoes untimed updates until intercept_test_allow is invoked
//   refuse_send     refuses untimed interactions with InteractionClassNotPublished
//   veto_reflect    vetoes untimed reflections
//   join            tries to join a federation from initialize and again from finalize
//   keep            leaves its intercept listed at finalize, for the manager to delete
//   fail            throws from initialize, once its intercept is listed
// The module depends on the C library, so "exit" is reachable through it but not its own.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "frame/intercept.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"

using namespace varnel;

namespace {

class test_intercept : public pass_through_intercept {
public:
  test_intercept(std::string name, std::set<std::string> flags) : name_(std::move(name)), flags_(std::move(flags)) {}
  ~test_intercept() override { say("intercept deleted"); }

  void update_attribute_values(unsigned, const handle_value_set&, const user_tag&) override {
    say("update");
    if (has("veto_update")) throw ldm_exception(ldm_error::None);
  }
  void send_interaction(unsigned, const handle_value_set&, const user_tag&) override {
    if (has("refuse_send")) throw ldm_exception(ldm_error::InteractionClassNotPublished, "refused by a plug-in");
  }
  void reflect_attribute_values(unsigned object, const handle_value_set&, const user_tag&) override {
    say("reflect " + std::to_string(object));
    if (has("veto_reflect")) throw ldm_exception(ldm_error::None);
  }

  void try_join(local_distribution_manager& ldm) const {
    try {
      ldm.join_federation_execution(name_.c_str(), "Anywhere");
    } catch (const ldm_exception& refusal) {
      say(std::string("join refused: ") + refusal.detail());
    }
  }
  void allow() { flags_.erase("veto_update"); }
  bool has(const char* flag) const { return flags_.count(flag) > 0; }
  void say(const std::string& event) const {
    std::printf("%s: %s\n", name_.c_str(), event.c_str());
    std::fflush(stdout);
  }

private:
  std::string name_;
  std::set<std::string> flags_;
};

// Instances in the order their entries were loaded, with the manager that loaded them: the
// test's managers share the module.
std::vector<std::pair<local_distribution_manager*, test_intercept*>> instances;

}  // namespace

extern "C" void varnel_plugin_initialize(local_distribution_manager* ldm, int count, const char** parameters) {
  std::string line = "initialize";
  for (int i = 0; i < count; ++i) line += std::string(" ") + parameters[i];
  const std::string name = count > 0 ? parameters[0] : "?";
  auto hook = std::make_unique<test_intercept>(name, std::set<std::string>(parameters + (count > 0), parameters + count));
  hook->say(line);
  if (hook->has("join")) hook->try_join(*ldm);
  instances.emplace_back(ldm, hook.get());
  const bool fail = hook->has("fail");
  ldm->add_intercept(hook.release());
  if (fail) throw ldm_exception(ldm_error::InternalError, "the plug-in could not start");
}

// The manager's newest instance first, as it finalizes its plug-ins.
extern "C" void varnel_plugin_finalize(local_distribution_manager* ldm) {
  auto newest = std::find_if(instances.rbegin(), instances.rend(), [&](const auto& i) { return i.first == ldm; });
  test_intercept* hook = newest->second;
  instances.erase(std::next(newest).base());
  hook->say("finalize");
  if (hook->has("join")) hook->try_join(*ldm);
  if (hook->has("keep")) return;
  ldm->del_intercept(hook);
  delete hook;
}

// Lets the updates of the manager given as argument through.
extern "C" void intercept_test_allow(void* ldm) {
  for (const auto& [owner, hook] : instances)
    if (owner == ldm) hook->allow();
}
