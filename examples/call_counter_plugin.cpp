// An example plug-in: counts the services the federate calls and the callbacks it is given, and
// prints the counts when the federate's ambassador goes. Load it by naming it in the RID's
// federate_parameters, for example
//   (plugins (counter (filename "build/examples/libcall_counter_plugin.so") (parameters "demo")))
// The first parameter, if any, heads the printed table.
//
// A plug-in defines varnel_plugin_initialize, which the RTI calls once the ambassador is built,
// and may define varnel_plugin_finalize, called before the ambassador goes. It watches calls
// through an intercept, listed with add_intercept; here one operation per service and callback,
// made from the same list that declares the intercept class.
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "frame/intercept.h"
#include "frame/local_distribution_manager.h"

namespace {

// The list names the core's types without their namespace.
using namespace varnel;

class call_counter : public intercept {
public:
  explicit call_counter(std::string title) : title_(std::move(title)) {}

  void print() const {
    std::printf("%s: calls seen by the RTI\n", title_.c_str());
    for (const auto& [name, count] : counts_) std::printf("  %-50s %8lu\n", name.c_str(), count);
  }

// Every operation counts itself under its name and lets the call through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define CALL_COUNTER_COUNT(name, parameters) \
  void name parameters override { ++counts_[#name]; }
  VARNEL_INTERCEPT_OPERATIONS(CALL_COUNTER_COUNT)
#undef CALL_COUNTER_COUNT
#pragma GCC diagnostic pop

private:
  std::string title_;
  std::map<std::string, unsigned long> counts_;
};

// The plug-in's intercept, which it hands back and deletes at finalize.
call_counter* counter = nullptr;

}  // namespace

extern "C" void varnel_plugin_initialize(varnel::local_distribution_manager* ldm, int count, const char** parameters) {
  auto made = std::make_unique<call_counter>(count > 0 ? parameters[0] : "call_counter");
  counter = made.get();
  ldm->add_intercept(made.release());
}

extern "C" void varnel_plugin_finalize(varnel::local_distribution_manager* ldm) {
  if (!counter) return;
  counter->print();
  ldm->del_intercept(counter);
  std::unique_ptr<call_counter> done(counter);
  counter = nullptr;
}
