// Intercepts and plug-ins: the walk of the intercept list (veto, refusal, unknown exceptions,
// changes made during a walk), and plug-in modules named in the RID, loaded, called and unloaded
// by distribution managers ticked in turn on a stepped clock.
#include "frame/intercept_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "case_port.h"
#include "fed/fed.h"
#include "frame/callback_queue.h"
#include "frame/ldm_error.h"
#include "ldm_refusals.h"
#include "loopback_server.h"
#include "message_stats.h"
#include "stepped_federation.h"
#include "test_ldm.h"
#include "transport/transport_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

using strings = std::vector<std::string>;

// A hook that notes its name on every tick and then runs the test's action.
class scripted : public pass_through_intercept {
public:
  scripted(std::string name, strings& calls, std::function<void(scripted&)> action = {})
      : name_(std::move(name)), calls_(calls), action_(std::move(action)) {}
  void tick() override {
    calls_.push_back(name_);
    if (action_) action_(*this);
  }

private:
  std::string name_;
  strings& calls_;
  std::function<void(scripted&)> action_;
};

strings walk(intercept_list& list, strings& calls) {
  calls.clear();
  EXPECT_FALSE(list.vetoes([](intercept& i) { i.tick(); }));
  return calls;
}

TEST(InterceptList, WalkGoesNewestFirstUntilAVetoOrARefusalAndReportsOtherExceptions) {
  strings calls;
  std::function<void()> middle;
  intercept_list list;
  list.add(std::make_unique<scripted>("a", calls).release());
  list.add(std::make_unique<scripted>("b", calls, [&](scripted&) { middle(); }).release());
  list.add(std::make_unique<scripted>("c", calls).release());
  auto tick = [](intercept& i) { i.tick(); };

  middle = [] { throw 7; };
  testing::internal::CaptureStdout();
  EXPECT_FALSE(list.vetoes(tick));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "  Unknown Plugin Exception Received\n");
  EXPECT_EQ(calls, (strings{"c", "b", "a"}));

  calls.clear();
  middle = [] { throw ldm_exception(ldm_error::None); };
  EXPECT_TRUE(list.vetoes(tick));
  EXPECT_EQ(calls, (strings{"c", "b"}));

  calls.clear();
  middle = [] { throw ldm_exception(ldm_error::AttributeNotOwned, "no"); };
  EXPECT_EQ(refusal_of([&] { list.vetoes(tick); }).code(), ldm_error::AttributeNotOwned);
  EXPECT_EQ(calls, (strings{"c", "b"}));
}

// Run under AddressSanitizer, a walk that stepped onto a freed hook would stop the test.
TEST(InterceptList, ChangesDuringAWalkTakeEffectAfterItAndAFreedHookIsNeverReached) {
  strings calls;
  intercept_list list;
  intercept* b = nullptr;
  auto c_owned = std::make_unique<scripted>("c", calls);
  scripted* c = c_owned.get();
  list.add(std::make_unique<scripted>("a", calls, [&](scripted& self) {
             list.remove(&self);
             delete &self;
           }).release());
  b = std::make_unique<scripted>("b", calls).release();
  list.add(b);
  auto* d = std::make_unique<scripted>("d", calls, [&](scripted&) {
              if (!b) return;
              list.remove(b);
              delete b;
              b = nullptr;
              list.add(c_owned.release());
            }).release();
  list.add(d);

  // d frees b and adds c; a deletes itself: b is skipped, c waits for the next walk.
  EXPECT_EQ(walk(list, calls), (strings{"d", "a"}));
  EXPECT_EQ(walk(list, calls), (strings{"c", "d"}));

  // Adding twice and deleting what was never added are ignored; the list stays as it was.
  testing::internal::CaptureStderr();
  list.add(c);
  scripted stranger("e", calls);
  list.remove(&stranger);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LDM: add_intercept of an intercept already added ignored\n"
            "LDM: del_intercept of an intercept that is not listed ignored\n");
  EXPECT_EQ(walk(list, calls), (strings{"c", "d"}));

  // Deleting the older of two keeps the newer; the list deletes what it still holds at its end.
  list.remove(d);
  std::unique_ptr<intercept> returned(d);
  EXPECT_EQ(walk(list, calls), (strings{"c"}));
}

// Vetoes every call, whatever its arguments.
class veto_all : public intercept {
public:
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define VETO_ALL(name, parameters) \
  void name parameters override { throw ldm_exception(ldm_error::None); }
  VARNEL_INTERCEPT_OPERATIONS(VETO_ALL)
#undef VETO_ALL
#pragma GCC diagnostic pop
};

TEST(Intercepts, AVetoedServiceReturnsANeutralValueAndDoesNothing) {
  test_rid_options options;
  options.port = case_port(port_block::intercept_test);
  const scoped_rid_file rid(options);
  test_ldm ldm;
  ldm.add_intercept(std::make_unique<veto_all>().release());
  EXPECT_FALSE(ldm.tick());
  ldm.create_federation_execution("Vetoed", EXAMPLES_DIR "/demo.fed");
  EXPECT_EQ(ldm.join_federation_execution("nobody", "Vetoed"), invalid_handle);
  EXPECT_FALSE(ldm.is_joined());
  EXPECT_STREQ(ldm.get_object_class_name(1), "");
  EXPECT_EQ(ldm.register_object_instance(1), invalid_handle);
  std::unique_ptr<bit_vector> released(ldm.attribute_ownership_release_response(1, attribute_set({1})));
  ASSERT_NE(released, nullptr);
  EXPECT_EQ(released->count(), 0u);
  EXPECT_EQ(refusal_of([&] { ldm.create_region(0, 1); }).code(), ldm_error::InternalError);
  EXPECT_EQ(ldm.get_stats_tracker().get_total_count(ldm.get_api_tracker()), 0u);
}

// The path the test plug-in is named by in the RID: another extension, which loading replaces.
std::string plugin_entry(const char* name, const std::string& parameters) {
  std::string path = INTERCEPT_TEST_PLUGIN;
  path.replace(path.rfind(".so"), 3, ".dll");
  return std::string("(") + name + " (filename \"" + path + "\") (parameters " + parameters + "))";
}

// Puts a plugins section with the entries into a test RID.
std::function<void(std::string&)> with_plugins(const std::string& entries) {
  return [entries](std::string& text) { text.insert(text.find("(debug_flags"), "(plugins " + entries + ")\n    "); };
}

// The "api" table of a federate: a row per call counted so far.
std::string api_table(test_ldm& ldm) {
  char* text = nullptr;
  size_t length = 0;
  FILE* stream = open_memstream(&text, &length);
  ldm.get_stats_tracker().print(ldm.get_api_tracker(), stats_order::differentiator, stream);
  std::fclose(stream);
  std::string table(text, length);
  std::free(text);
  return table;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Lines in this order, each found after the one before.
bool in_order(const std::string& text, const strings& lines) {
  size_t at = 0;
  for (const std::string& line : lines) {
    at = text.find(line + "\n", at);
    if (at == std::string::npos) return false;
  }
  return true;
}

TEST(Plugins, LoadFromTheRidSeeServicesAndCallbacksAndGoAfterTheirIntercepts) {
  const test_rid_options options;
  stepped_federation federation(case_port(port_block::intercept_test), "Hooks");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const std::string alpha_entries = plugin_entry("first", "\"alpha\" 7 2.5 \"veto_update\" \"refuse_send\" \"keep\"") +
                                    " (nofile (parameters \"x\")) (numeric (filename 12))" +
                                    " (absent (filename \"/nonexistent/intercept_plugin.so\"))" +
                                    plugin_entry("second", "\"alpha2\" \"join\"");
  test_ldm& alpha = federation.join("alpha", options, with_plugins(alpha_entries));
  test_ldm& bravo = federation.join("bravo", options, with_plugins(plugin_entry("only", "\"bravo\" \"veto_reflect\"")));

  const unsigned car = alpha.get_object_class_handle("Vehicle.Car");
  const unsigned position = alpha.get_attribute_handle("Position", car);
  alpha.publish_object_class(car, attribute_set({position}));
  bravo.subscribe_object_class_attributes(car, attribute_set({position}), true);
  federation.settle(50);
  const unsigned object = alpha.register_object_instance(car, "car-1");
  ASSERT_TRUE(federation.tick_until([&] { return stepped_federation::count(bravo, "discoverObjectInstance") == 1; }, 3000));

  // The vetoed update returns normally, sends nothing and is not counted.
  handle_value_set* values = new handle_value_set;
  values->add(position, 2, "p1");
  alpha.update_attribute_values(object, *values, user_tag("u"));
  EXPECT_EQ(alpha.get_transport_manager()->counters().update_messages, 0u);
  EXPECT_FALSE(contains(api_table(alpha), "API_updateAttributeValues"));

  // Only functions the module defines are invoked: not the C library's exit.
  alpha.invoke_plugin_func("exit", nullptr);
  alpha.invoke_plugin_func("intercept_test_allow", &alpha);
  alpha.update_attribute_values(object, *values, user_tag("u"));
  values->down_refcount();
  EXPECT_EQ(alpha.get_transport_manager()->counters().update_messages, 1u);

  // Bravo's plug-in vetoes the reflection: the federate never sees it, but it is counted and
  // kept in the history.
  ASSERT_TRUE(federation.tick_until([&] { return contains(api_table(bravo), "API_reflectAttributeValues"); }, 3000));
  EXPECT_EQ(stepped_federation::count(bravo, "reflectAttributeValues"), 0u);
  std::ostringstream history;
  bravo.get_callback_queue()->print_history(history, true, false);
  EXPECT_TRUE(contains(history.str(), "update_attribute_values:")) << history.str();

  // Another code than None reaches the caller.
  handle_value_set* none = new handle_value_set;
  EXPECT_EQ(refusal_of([&] { alpha.send_interaction(0, *none, user_tag("")); }).code(),
            ldm_error::InteractionClassNotPublished);
  none->down_refcount();

  const std::string reflected = "bravo: reflect " + std::to_string(bravo.get_object_instance_handle("car-1"));
  federation.nodes.clear();
  const std::string out = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  std::string module = INTERCEPT_TEST_PLUGIN;
  EXPECT_TRUE(in_order(out, {"Loading plugin " + module, "alpha: initialize alpha 7 2.5 veto_update refuse_send keep",
                             "Loading plugin /nonexistent/intercept_plugin.so", "Loading plugin " + module,
                             "alpha2: initialize alpha2 join",
                             "alpha2: join refused: joinFederationExecution was called while the RTI ambassador is "
                             "being built or destroyed",
                             "bravo: initialize bravo veto_reflect", "alpha: update", "alpha: update", reflected}))
      << out;
  // Finalized newest first; the intercept alpha left listed is deleted after that, while its
  // code is still loaded.
  EXPECT_TRUE(in_order(out, {"alpha2: finalize",
                             "alpha2: join refused: joinFederationExecution was called while the RTI ambassador is "
                             "being built or destroyed",
                             "alpha2: intercept deleted", "alpha: finalize", "alpha: intercept deleted"}))
      << out;
  EXPECT_FALSE(contains(out, "Loading plugin 12")) << out;
}

TEST(Plugins, AFailedConstructionFinalizesThePluginsBeforeDeletingTheirIntercepts) {
  test_rid_options options;
  options.port = case_port(port_block::intercept_test);
  std::string text = test_rid_text(options);
  with_plugins(plugin_entry("early", "\"early\" \"keep\"") + plugin_entry("late", "\"late\" \"fail\""))(text);
  const scoped_rid_file rid(text);
  testing::internal::CaptureStdout();
  EXPECT_EQ(refusal_of([] { test_ldm ldm; }).detail(), std::string("the plug-in could not start"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(in_order(out, {"early: initialize early keep", "late: initialize late fail", "late: finalize",
                             "late: intercept deleted", "early: finalize", "early: intercept deleted"}))
      << out;
}

TEST(Plugins, ARidReadOverTheNetworkLoadsItsPluginsOnlyWhenAllowed) {
  test_rid_options options;
  options.port = case_port(port_block::intercept_test);
  std::string text = test_rid_text(options);
  with_plugins(plugin_entry("remote", "\"remote\""))(text);
  loopback_server server([&](int connection) {
    receive_until(connection, "\r\n\r\n");
    send_all(connection, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + text);
  });
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/plugins.rid";
  setenv("RTI_RID_FILE", url.c_str(), 1);

  testing::internal::CaptureStdout();
  std::make_unique<test_ldm>().reset();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(contains(out, "Not loading the plug-ins of " + url + ", a RID read over the network; set "
                            "HALDEN_ALLOW_URL_PLUGINS=1 to allow it.\n"))
      << out;
  EXPECT_FALSE(contains(out, "remote: initialize")) << out;

  setenv("HALDEN_ALLOW_URL_PLUGINS", "1", 1);
  testing::internal::CaptureStdout();
  std::make_unique<test_ldm>().reset();
  out = testing::internal::GetCapturedStdout();
  unsetenv("HALDEN_ALLOW_URL_PLUGINS");
  unsetenv("RTI_RID_FILE");
  EXPECT_TRUE(in_order(out, {"remote: initialize remote", "remote: finalize", "remote: intercept deleted"})) << out;
}

}  // namespace
