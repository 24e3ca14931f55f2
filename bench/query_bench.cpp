// Attribute value queries between two federate processes on 127.0.0.1: an owner with 10,000
// objects that answers every provide request with an update, and a requester. The time from one
// class request to the last of the 10,000 reflections is set against what a query cannot beat,
// measured in the same run: the bundle time, the back-off window and the time the same 10,000
// updates take to arrive when the owner sends them unasked. A burst of 1,000 object requests
// shows how many query messages it costs. Everything counted is what arrived.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "frame/ldm_error.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "objects/consistency_manager.h"
#include "objects/ddb.h"
#include "rid.h"
#include "transport/transport_messages.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int objects = 10000;
constexpr int burst = 1000;
constexpr int rounds = 3;
constexpr const char* federation = "QueryBench";

test_rid_options bench_options() {
  test_rid_options options;
  options.port = test_port(port_block::bench, 60);
  options.heartbeat = 1;
  options.join_timeout = 2;
  return options;
}

double ms_since(bench_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(bench_clock::now() - start).count();
}

// One side: a test distribution manager joined to the demo model, Vehicle's Name published by the
// owner and subscribed by the requester, control words as Message interactions.
struct side {
  std::unique_ptr<test_ldm> ldm;
  unsigned vehicle = 0, name = 0, message = 0, text = 0;

  explicit side(const char* federate) {
    const scoped_rid_file rid(bench_options());
    ldm = std::make_unique<test_ldm>();
    try {
      ldm->create_federation_execution(federation, EXAMPLES_DIR "/demo.fed");
    } catch (const ldm_exception&) {
      // The other side created it.
    }
    ldm->join_federation_execution(federate, federation);
    vehicle = ldm->get_object_class_handle("Vehicle");
    name = ldm->get_attribute_handle("Name", vehicle);
    message = ldm->get_interaction_class_handle("Message");
    text = ldm->get_parameter_handle("Text", message);
    ldm->publish_interaction_class(message);
    ldm->subscribe_interaction_class(message, true);
  }
  ~side() { ldm->resign_federation_execution(false, true, false); }

  void say(const std::string& word) {
    const value_set_ptr values(new handle_value_set(1));
    values->add(text, static_cast<uint32_t>(word.size()), word.data());
    ldm->send_interaction(message, *values, user_tag(""));
  }
  void update(unsigned object) {
    const value_set_ptr values(new handle_value_set(1));
    values->add(name, 4, "name");
    ldm->update_attribute_values(object, *values, user_tag(""));
  }
  bool tick_until(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (bench_clock::now() > deadline) return false;
      ldm->tick();
    }
    return true;
  }
};

// The owner acts on each control word once: "register" the objects, "blast" updates of all of
// them (one word per round), "quit". Provide requests are answered at once.
void own() {
  side owner("owner");
  owner.ldm->publish_object_class(owner.vehicle, attribute_set({owner.name}));
  std::vector<unsigned> handles;
  std::set<std::string> heard;
  bool quit = false;
  owner.ldm->on_callback = [&](const std::string& line) {
    if (line.rfind("provideAttributeValueUpdate ", 0) == 0) return owner.update(std::stoul(line.substr(28)));
    if (line.rfind("receiveInteraction", 0) != 0 || !heard.insert(owner.ldm->values.back()).second) return;
    const std::string word = owner.ldm->values.back().substr(owner.ldm->values.back().find('=') + 1);
    if (word == "register")
      for (int i = 0; i < objects; ++i) handles.push_back(owner.ldm->register_object_instance(owner.vehicle));
    if (word.rfind("blast", 0) == 0)
      for (unsigned object : handles) owner.update(object);
    quit = word == "quit";
  };
  owner.tick_until([&] { return quit; }, 300000);
  owner.ldm->on_callback = nullptr;
}

struct figures {
  double query_ms = 0, blast_ms = 0;
  int query_reflections = 0, blast_reflections = 0;
};

void request() {
  side requester("requester");
  int discovered = 0, reflected = 0;
  requester.ldm->on_callback = [&](const std::string& line) {
    if (line.rfind("discoverObjectInstance", 0) == 0) ++discovered;
    if (line.rfind("reflectAttributeValues", 0) == 0) ++reflected;
    requester.ldm->values.clear();
  };
  requester.ldm->subscribe_object_class_attributes(requester.vehicle, attribute_set({requester.name}), true);
  // The owner is heard once a word of ours has an effect; words are repeated until then.
  const auto until = [&](const std::string& word, const std::function<bool()>& done, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 500) {
      requester.say(word);
      if (requester.tick_until(done, 500)) return true;
    }
    return false;
  };
  if (!until("register", [&] { return discovered == objects; }, 60000)) {
    std::printf("  only %d of %d objects discovered; stopping\n", discovered, objects);
    return;
  }
  requester.tick_until([] { return false; }, 1000);  // the owner's provides for the joined stream

  const consistency_manager& queries = *requester.ldm->get_consistency_manager();
  RID& rid = requester.ldm->get_rid();
  const int bundle_ms = rid.get_integer("queries", "bundle_query_timeout");
  const int backoff_ms = rid.get_integer("queries", "query_backoff_window");
  std::printf("  %d objects, bundle_query_timeout %d ms, query_backoff_window %d ms, port %u\n", objects, bundle_ms,
              backoff_ms, bench_options().port);
  std::printf("  %-5s %14s %12s %20s %12s %8s\n", "round", "class query ms", "reflected", "unasked updates ms",
              "reflected", "ratio");
  for (int round = 0; round < rounds; ++round) {
    figures f;
    reflected = 0;
    auto start = bench_clock::now();
    requester.ldm->request_class_attribute_value_update(requester.vehicle, attribute_set({requester.name}));
    requester.tick_until([&] { return reflected >= objects; }, 30000);
    f.query_ms = ms_since(start);
    f.query_reflections = reflected;
    requester.tick_until([] { return false; }, 500);

    reflected = 0;
    start = bench_clock::now();
    until("blast " + std::to_string(round), [&] { return reflected >= objects; }, 30000);
    f.blast_ms = ms_since(start);
    f.blast_reflections = reflected;
    requester.tick_until([] { return false; }, 500);
    const double baseline = bundle_ms + backoff_ms + f.blast_ms;
    std::printf("  %-5d %14.1f %12d %20.1f %12d %7.2fx%s\n", round, f.query_ms, f.query_reflections, f.blast_ms,
                f.blast_reflections, f.query_ms / baseline, f.query_ms / baseline <= 1.5 ? "" : "   (goal 1.5x)");
  }

  const uint64_t sent_before = queries.get_counters().queries_sent;
  const std::vector<uint32_t> handles = requester.ldm->get_ddb()->object_handles();
  for (int i = 0; i < burst && i < static_cast<int>(handles.size()); ++i)
    requester.ldm->request_object_attribute_value_update(handles[i], attribute_set({requester.name}));
  requester.tick_until([] { return false; }, bundle_ms + 200);
  std::printf("  a burst of %d object requests: %llu query message(s)\n", burst,
              static_cast<unsigned long long>(queries.get_counters().queries_sent - sent_before));
  requester.say("quit");
  requester.tick_until([] { return false; }, 500);
  requester.ldm->on_callback = nullptr;
}

}  // namespace

int main() {
  std::printf("query_bench: class request to the last of %d reflections, against bundle time + back-off window + "
              "the same updates sent unasked\n",
              objects);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    own();
    _exit(0);
  }
  if (child < 0) return 1;
  request();
  waitpid(child, nullptr, 0);
  return 0;
}
