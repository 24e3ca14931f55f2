// Federation management with 2, 8 and 32 federates (distribution managers in one process, ticked
// in turn, on 127.0.0.1): the time from join returning in one federate to federate_joined at
// every other one, against a baseline measured in the same run (a flushed probe message of a
// bare stream service from the same federate to the same listeners); and the heartbeat
// bandwidth per federate, counted by an unjoined listener on stream 1.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "federation/federate_join_client.h"
#include "federation/federation_manager.h"
#include "ldm_buf.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int trials = 10;
constexpr int heartbeat_seconds = 1;
constexpr double bandwidth_window_s = 5;

// Counts federate_joined calls for one federate name.
class join_counter : public federate_join_client {
public:
  std::string awaited;
  int heard = 0;
  void federate_joined(federate_record* f) override { heard += f->name == awaited; }
  void federate_gone(federate_record*) override {}
};

// Counts the messages and payload bytes of one service name.
class counting_client : public stream_service_client {
public:
  uint64_t messages = 0;
  uint64_t bytes = 0;
  void receive(int, unsigned char, ldm_buf* buffer) override {
    ++messages;
    bytes += buffer->get_size() - ldm_buf::message_header_size;
  }
};

struct node {
  std::unique_ptr<test_ldm> ldm;
  join_counter joins;
  counting_client probe_client;
  std::unique_ptr<stream_service> probe;
};

void tick_all(std::vector<std::unique_ptr<node>>& nodes, const std::function<bool()>& done, double limit_s = 30) {
  const auto end = bench_clock::now() + std::chrono::duration<double>(limit_s);
  while (!done() && bench_clock::now() < end)
    for (auto& n : nodes) n->ldm->tick();
}

double micros(bench_clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void run(int federates, uint16_t port_index) {
  const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::bench, port_index),
                                             .heartbeat = heartbeat_seconds});
  std::vector<std::unique_ptr<node>> nodes;
  for (int i = 0; i < federates; ++i) {
    auto n = std::make_unique<node>();
    n->ldm = std::make_unique<test_ldm>();
    n->probe = std::make_unique<stream_service>(&n->ldm->get_stream_manager(), &n->probe_client, "bench_probe");
    nodes.push_back(std::move(n));
  }
  counting_client heartbeats;
  auto listener_ldm = std::make_unique<test_ldm>();
  stream_service listener(&listener_ldm->get_stream_manager(), &heartbeats, "federation_manager");

  nodes[0]->ldm->create_federation_execution("Bench", EXAMPLES_DIR "/demo.fed");
  nodes[0]->ldm->join_federation_execution("f0", "Bench");
  for (int i = 1; i < federates - 1; ++i) {
    tick_all(nodes, [&] { return nodes[i]->ldm->get_federation_manager().get_joined_federation() ||
                                 nodes[i]->ldm->get_federation_manager().get_federations().count("Bench"); });
    const std::string name = std::string("f").append(std::to_string(i));
    nodes[i]->ldm->join_federation_execution(name.c_str(), "Bench");
  }
  tick_all(nodes, [&] { return nodes[0]->ldm->get_num_joined_federates() == static_cast<unsigned>(federates - 1); });
  node& last = *nodes.back();
  tick_all(nodes, [&] { return last.ldm->get_federation_manager().get_federations().count("Bench") != 0; });
  for (int i = 0; i < federates - 1; ++i) nodes[i]->ldm->get_federation_manager().add_federate_join_client(&nodes[i]->joins);

  std::vector<double> join_us, probe_us;
  for (int t = 0; t < trials; ++t) {
    char name_text[16];
    std::snprintf(name_text, sizeof name_text, "late%d", t);
    const std::string name = name_text;
    for (int i = 0; i < federates - 1; ++i) nodes[i]->joins.awaited = name, nodes[i]->joins.heard = 0;
    const bench_clock::time_point joined = (last.ldm->join_federation_execution(name.c_str(), "Bench"), bench_clock::now());
    tick_all(nodes, [&] {
      return std::all_of(nodes.begin(), nodes.end() - 1, [](const auto& n) { return n->joins.heard == 1; });
    });
    join_us.push_back(micros(bench_clock::now() - joined));

    // Baseline: the same federate sends one flushed message of about the same size on the same
    // stream to the same listeners.
    std::vector<uint64_t> before;
    for (auto& n : nodes) before.push_back(n->probe_client.messages);
    const auto sent = bench_clock::now();
    ldm_buf* buffer = last.probe->get_buf();
    for (int w = 0; w < 24; ++w) *buffer << 0u;
    last.probe->send_broadcast(1, 0x20, buffer);
    last.probe->flush(1);
    buffer->release_buf();
    tick_all(nodes, [&] {
      for (size_t i = 0; i + 1 < nodes.size(); ++i)
        if (nodes[i]->probe_client.messages == before[i]) return false;
      return true;
    });
    probe_us.push_back(micros(bench_clock::now() - sent));

    last.ldm->resign_federation_execution(false, false, false);
    tick_all(nodes, [&] { return nodes[0]->ldm->get_num_joined_federates() == static_cast<unsigned>(federates - 1); });
  }
  last.ldm->join_federation_execution("last", "Bench");

  // Heartbeats only: the listener first drains what it heard during the trials, then ticks
  // with the federates for a fixed window.
  listener_ldm->tick(0.1, 0.2);
  const uint64_t messages0 = heartbeats.messages, bytes0 = heartbeats.bytes;
  const auto end = bench_clock::now() + std::chrono::duration<double>(bandwidth_window_s);
  while (bench_clock::now() < end) {
    for (auto& n : nodes) n->ldm->tick();
    listener_ldm->tick();
  }
  const double per_federate_msgs = (heartbeats.messages - messages0) / bandwidth_window_s / federates;
  const double per_federate_bytes = (heartbeats.bytes - bytes0) / bandwidth_window_s / federates;
  std::printf("%3d federates: join->federate_joined median %8.0f us, max %8.0f us; probe baseline median %6.0f us; "
              "ratio %5.1f\n",
              federates, median(join_us), *std::max_element(join_us.begin(), join_us.end()), median(probe_us),
              median(join_us) / std::max(1.0, median(probe_us)));
  std::printf("               heartbeats per federate: %.2f msg/s, %.0f payload bytes/s (%.0f bytes each)\n",
              per_federate_msgs, per_federate_bytes, per_federate_msgs > 0 ? per_federate_bytes / per_federate_msgs : 0);
  for (int i = 0; i < federates - 1; ++i) nodes[i]->ldm->get_federation_manager().remove_federate_join_client(&nodes[i]->joins);
}

}  // namespace

int main() {
  std::printf("federation_bench: managers in one process ticked in turn on 127.0.0.1; bundle_timeout 20 ms, "
              "heartbeat_interval %d s, %d trials per size\n", heartbeat_seconds, trials);
  std::fflush(stdout);
  uint16_t port = 20;
  for (int federates : {2, 8, 32}) run(federates, port++);
}
