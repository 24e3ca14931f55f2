// The management objects: one refresh of 64 subscribed federate records (the agent builds each
// object's 36 values and hands the reflection to the callback queue, which delivers it) against
// 64 ordinary reflections of the same values through the same queue, in the same run. One
// distribution manager on a clock that stands still, so no timer or heartbeat runs in between;
// the 63 other federates are heard as their heartbeats and status messages would be. Every
// reflection counted was delivered to the federate.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bit_vector.h"
#include "buffer_pool.h"
#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "federation/mom_agent.h"
#include "federation/mom_messages.h"
#include "frame/callback_queue.h"
#include "ldm_buf.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "transport/transport_messages.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int records = 64;
constexpr int rounds = 5;
constexpr int refreshes = 400;

// Keeps the values of each reflection it is given and nothing else, so that delivery costs the
// same on both sides.
class bench_ldm : public test_ldm {
public:
  using test_ldm::test_ldm;
  using pairs = std::vector<std::pair<uint32_t, std::string>>;

  size_t reflections = 0;
  std::vector<std::pair<unsigned, pairs>> kept;  // object and values, while keeping
  bool keeping = false;

  void reflect_attribute_values(unsigned object, const handle_value_set& set, const user_tag&) override {
    ++reflections;
    if (!keeping) return;
    pairs values;
    for (uint32_t i = 0; i < set.size(); ++i) {
      const handle_value_pair& pair = set.get_pair(i);
      values.emplace_back(pair.get_handle(), std::string(pair.get_data(), pair.get_length()));
    }
    kept.emplace_back(object, std::move(values));
  }
};

struct bench_federate {
  manual_clock clock;
  std::unique_ptr<bench_ldm> ldm;
  buffer_manager_factory factory{1, 0};
  buffer_pool_manager* pool = factory.get_pool(1448);

  bench_federate() {
    const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::bench, 61)});
    ldm = std::make_unique<bench_ldm>(clock);
    ldm->create_federation_execution("MomBench", EXAMPLES_DIR "/training.fed");
    ldm->join_federation_execution("bench", "MomBench");
  }
  ~bench_federate() {
    ldm.reset();
    pool->destroy();
  }

  template <class Message>
  ldm_buf* received(const Message& message) {
    ldm_buf* buffer = pool->get_buf();
    message.write(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    return buffer;
  }

  // Another federate of the federation: its heartbeat, then its status.
  void hear_peer(uint16_t index) {
    const federation_record& federation = *ldm->get_federation_manager().get_joined_federation();
    federate_identifier peer;
    peer.set_components(0x7F000001, 4242, index);
    fedstate_message state{.federation = federation.identifier, .number = federation.number,
                           .federation_name = federation.name, .rid_checksum = federation.rid_checksum,
                           .fed_file = federation.fed_file, .fed_checksum = federation.fed_checksum,
                           .federate = peer, .handle = identifier_hash(peer),
                           .federate_name = std::string("peer").append(std::to_string(index)),
                           .host_name = "benchhost", .state = federate_state::happy};
    ldm_buf* buffer = received(state);
    ldm->get_federation_manager().receive(federation_manager::stream, federation_manager::priority, buffer);
    buffer->release_buf();
    federate_status_message status{.federate = peer, .counters = {index, 2, 3, 4, 0, 0}, .uplink = {}};
    buffer = received(status);
    ldm->get_mom_agent()->receive(mom_agent::stream, mom_agent::priority, buffer);
    buffer->release_buf();
  }
};

double microseconds_per_round(bench_clock::time_point start, int reflections) {
  return std::chrono::duration<double, std::micro>(bench_clock::now() - start).count() * records / reflections;
}

}  // namespace

int main() {
  bench_federate f;
  bench_ldm& ldm = *f.ldm;
  const unsigned federate = ldm.get_object_class_handle("Manager.Federate");
  ldm.subscribe_object_class_attributes(federate, bit_vector(ldm.get_fed()->num_attributes(federate), true), true);
  for (uint16_t i = 1; i < records; ++i) f.hear_peer(i);
  mom_agent& agent = *ldm.get_mom_agent();
  ldm.tick();
  ldm.keeping = true;
  agent.request_class(federate);
  ldm.tick();
  ldm.keeping = false;
  if (static_cast<int>(ldm.kept.size()) != records) {
    std::printf("only %zu of %d management objects reflected; stopping\n", ldm.kept.size(), records);
    return 1;
  }
  const uint32_t reliable = ldm.get_fed()->get_transport_id("reliable");
  const uint32_t receive = ldm.get_fed()->get_order_id("receive");
  callback_queue& queue = *ldm.get_callback_queue();

  std::printf("mom_bench: %d subscribed federate records of %zu values each, %d refreshes a round, port %u\n",
              records, ldm.kept.front().second.size(), refreshes, test_port(port_block::bench, 61));
  std::printf("  %-5s %22s %24s %7s\n", "round", "refresh of 64, us", "64 reflections, us", "ratio");
  std::vector<double> ratios;
  for (int round = 1; round <= rounds; ++round) {
    size_t before = ldm.reflections;
    auto start = bench_clock::now();
    for (int i = 0; i < refreshes; ++i) {
      agent.request_class(federate);
      ldm.tick();
    }
    const double mom_us = microseconds_per_round(start, static_cast<int>(ldm.reflections - before));

    before = ldm.reflections;
    start = bench_clock::now();
    for (int i = 0; i < refreshes; ++i) {
      for (const auto& [object, values] : ldm.kept) {
        const value_set_ptr set(new handle_value_set(static_cast<uint32_t>(values.size())));
        set->set_transport_type(reliable);
        set->set_order_type(receive);
        for (const auto& [handle, bytes] : values) set->add(handle, static_cast<uint32_t>(bytes.size()), bytes.data());
        queue.add_update_attribute_values(object, "", federate, 0, *set, nullptr, nullptr, user_tag());
      }
      ldm.tick();
    }
    const double plain_us = microseconds_per_round(start, static_cast<int>(ldm.reflections - before));
    ratios.push_back(mom_us / plain_us);
    std::printf("  %-5d %22.1f %24.1f %7.2f\n", round, mom_us, plain_us, ratios.back());
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("median ratio (refresh / ordinary reflections): %.2f (goal <= 2)\n", ratios[ratios.size() / 2]);
  return 0;
}
