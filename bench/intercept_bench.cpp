// What intercepts and status queries cost.
//
// 1. An idle tick() and an update of one attribute (sent, nobody subscribes) on a joined
//    federate with 0, 1 and 8 pass-through intercepts listed, in rounds that alternate between
//    the three, fastest round of each. Goal: 8 intercepts add at most 10% to an update.
// 2. A status query answered by eight distribution managers of this process (ticked in turn,
//    on 127.0.0.1), from ask() until all eight answers are in, against a baseline measured
//    alternately in the same run: a message of the query's size on stream 1, echoed by each of the
//    eight with a message of the answer's size. Every federate answers at most 20 queries a second,
//    so the queries go 19 a second.
//
// Usage: intercept_bench [updates per round]   (default 100000; ticks use the same number)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "federation/status_query_monitor.h"
#include "frame/intercept.h"
#include "ldm_buf.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int rounds = 9;
constexpr int answerers = 8;
constexpr int queries = 57;  // three seconds' worth at 19 a second
constexpr const char* echo_service = "bench_status_echo";

double ns_per_call(int calls, const std::function<void()>& call) {
  const auto start = clock_type::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double, std::nano>(clock_type::now() - start).count() / calls;
}

// Sets the number of pass-through intercepts listed on the federate.
class hooks {
public:
  explicit hooks(local_distribution_manager& ldm) : ldm_(ldm) {}
  ~hooks() { set(0); }
  void set(size_t count) {
    while (listed_.size() < count) {
      listed_.push_back(std::make_unique<pass_through_intercept>());
      ldm_.add_intercept(listed_.back().get());
    }
    while (listed_.size() > count) {
      ldm_.del_intercept(listed_.back().get());
      listed_.pop_back();
    }
  }

private:
  local_distribution_manager& ldm_;
  std::vector<std::unique_ptr<pass_through_intercept>> listed_;  // handed back before they go
};

void measure_calls(int calls) {
  const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::intercept_bench, 0)});
  test_ldm ldm;
  ldm.create_federation_execution("Hooks", EXAMPLES_DIR "/demo.fed");
  ldm.join_federation_execution("bench", "Hooks");
  const unsigned car = ldm.get_object_class_handle("Vehicle.Car");
  const unsigned position = ldm.get_attribute_handle("Position", car);
  ldm.publish_object_class(car, attribute_set({position}));
  const unsigned object = ldm.register_object_instance(car, "car-1");
  handle_value_set* values = new handle_value_set;
  values->add(position, 8, "position");
  const user_tag tag("t");

  const size_t counts[] = {0, 1, 8};
  double update_ns[3] = {1e300, 1e300, 1e300};
  double tick_ns[3] = {1e300, 1e300, 1e300};
  hooks listed(ldm);
  for (int round = 0; round < rounds; ++round) {
    for (int c = 0; c < 3; ++c) {
      listed.set(counts[c]);
      update_ns[c] = std::min(update_ns[c], ns_per_call(calls, [&] { ldm.update_attribute_values(object, *values, tag); }));
      ldm.tick();
      tick_ns[c] = std::min(tick_ns[c], ns_per_call(calls, [&] { ldm.tick(); }));
    }
  }
  values->down_refcount();
  for (int c = 0; c < 3; ++c) {
    std::printf("%zu intercepts: update %8.1f ns (%+5.1f%%)   tick %8.1f ns (%+5.1f%%)\n", counts[c], update_ns[c],
                100 * (update_ns[c] / update_ns[0] - 1), tick_ns[c], 100 * (tick_ns[c] / tick_ns[0] - 1));
  }
  const double added = update_ns[2] / update_ns[0] - 1;
  std::printf("8 intercepts add %.1f%% to an update (goal: at most 10%%)%s\n", 100 * added,
              added <= 0.10 ? "" : "   (above the goal)");
  ldm.resign_federation_execution(false, true, false);
}

// Echoes the baseline's probes with a reply of the answer's size; counts the replies it hears.
class echo : public vessmark::stream_service_client {
public:
  echo(local_distribution_manager& ldm, size_t reply_bytes)
      : service_(&ldm.get_stream_manager(), this, echo_service), reply_(reply_bytes, 'r') {}
  void probe(size_t bytes) { send(0, std::string(bytes, 'q')); }
  void receive(int, unsigned char, ldm_buf* buffer) override {
    if (buffer->read_4() == 0) {
      send(1, reply_);
    } else {
      ++replies;
    }
  }
  int replies = 0;

private:
  void send(uint32_t kind, const std::string& body) {
    ldm_buf* buffer = service_.get_buf();
    *buffer << kind << body.c_str();
    service_.send_broadcast(status_query_monitor::stream, status_query_monitor::priority, buffer);
    buffer->release_buf();
    service_.flush(status_query_monitor::stream);
  }
  vessmark::stream_service service_;
  std::string reply_;
};

// The encoded sizes of a query and of this federate's answer.
std::pair<size_t, size_t> message_sizes(status_query_monitor& monitor) {
  buffer_manager_factory factory{1, 0};
  buffer_pool_manager* pool = factory.get_pool(1448);
  auto size_of = [&](const status_message& message) {
    ldm_buf* buffer = pool->get_buf();
    const uint32_t start = buffer->get_optr();
    message.write(*buffer);
    const size_t size = buffer->get_optr() - start;
    buffer->release_buf();
    return size;
  };
  const status_message query{.kind = status_kind::query, .querier = {}, .number = 1, .snapshot = {}};
  const status_message answer{.kind = status_kind::answer, .querier = {}, .number = 1, .snapshot = monitor.snapshot()};
  const std::pair<size_t, size_t> sizes{size_of(query), size_of(answer)};
  pool->destroy();
  return sizes;
}

void measure_queries() {
  const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::intercept_bench, 1)});
  std::vector<std::unique_ptr<test_ldm>> nodes;
  for (int i = 0; i <= answerers; ++i) nodes.push_back(std::make_unique<test_ldm>());
  status_query_monitor& asker = nodes[0]->get_status_query_monitor();
  const auto [query_bytes, answer_bytes] = message_sizes(asker);
  std::vector<std::unique_ptr<echo>> echoes;
  for (auto& node : nodes) echoes.push_back(std::make_unique<echo>(*node, answer_bytes));
  auto tick_until = [&](const std::function<bool()>& done) {
    const auto give_up = clock_type::now() + std::chrono::seconds(2);
    while (!done() && clock_type::now() < give_up)
      for (auto& node : nodes) node->tick();
    return done();
  };

  std::vector<double> query_us, echo_us;
  int missed = 0;
  for (int q = 0; q < queries; ++q) {
    if (q % 19 == 0) {  // a fresh second for every answerer's budget
      const auto next = clock_type::now() + std::chrono::milliseconds(1000);
      tick_until([&] { return clock_type::now() >= next; });
    }
    auto start = clock_type::now();
    const uint32_t number = asker.ask();
    if (tick_until([&] { return asker.find_query(number)->answers.size() == answerers + 1; }))
      query_us.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
    else
      ++missed;
    echoes[0]->replies = 0;
    start = clock_type::now();
    echoes[0]->probe(query_bytes);
    if (tick_until([&] { return echoes[0]->replies == answerers; }))
      echo_us.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
  }
  auto median = [](std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  const double query_median = median(query_us), echo_median = median(echo_us);
  std::printf("status query to %d managers: median %.0f us over %zu queries (%d incomplete); raw stream-1 "
              "round trip of %zu + %zu bytes: median %.0f us; ratio %.2fx\n",
              answerers, query_median, query_us.size(), missed, query_bytes, answer_bytes, echo_median,
              echo_median > 0 ? query_median / echo_median : 0.0);
  echoes.clear();
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
  std::printf("intercept_bench: %d calls per round, %d rounds, fastest round each; one process on 127.0.0.1\n", calls,
              rounds);
  measure_calls(calls);
  measure_queries();
  return 0;
}
