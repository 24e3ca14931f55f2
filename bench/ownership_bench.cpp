// Ownership transfers between two processes on 127.0.0.1: 1,000 vehicles of four attributes
// passed back and forth by negotiated divestiture (each side takes what the other offers and
// offers again what it gains), as transfers per second, against a baseline measured in the same
// run: round trips per second of messages of the same size on a reliable service of the same two
// stream managers, 1,000 in flight at a time.
//
// Usage: ownership_bench [OBJECTS] [ROUNDS]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bit_vector.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "messages/user_tag.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr const char* echo_service = "bench_echo";
constexpr uint32_t payload_words = 10;  // about an ownership message: a name, a set, an identifier

// A federate passing ownership of every Vehicle it hears offered, with an echo service beside.
class bench_federate : public message_service_client {
public:
  std::function<void(uint32_t word)> on_word;
  uint64_t gains = 0;

  explicit bench_federate(const char* name) {
    try {
      ldm.create_federation_execution("Bench", EXAMPLES_DIR "/demo.fed");
    } catch (const ldm_exception&) {  // the other process made it
    }
    ldm.join_federation_execution(name, "Bench");
    vehicle = ldm.get_object_class_handle("Vehicle");
    ldm.publish_object_class(vehicle, bit_vector(4, true));
    ldm.subscribe_object_class_attributes(vehicle, bit_vector(4, true), true);
    debugging_events& debug = ldm.get_debugging_events();
    debug.register_event(echo_service, "the benchmark's echo baseline");
    service = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, echo_service,
                                                 debug.stream(echo_service), ldm.get_scheduler());
    ldm.on_callback = [this](const std::string& line) { pass_on(line); };
  }
  ~bench_federate() override {
    service.reset();
    ldm.resign_federation_execution(false, false, false);
  }

  void send(uint32_t word) {
    ldm_buf* buffer = service->get_buf();
    *buffer << word;
    for (uint32_t i = 1; i < payload_words; ++i) *buffer << i;
    service->send(2, 0x30, buffer);
    buffer->release_buf();
  }
  void receive(int, unsigned char, ldm_buf* buffer) override {
    if (on_word) on_word(buffer->read_4());
  }

  test_ldm ldm;
  unsigned vehicle = 0;
  std::unique_ptr<message_reliable> service;
  const user_tag tag{"again"};

private:
  // "<callback> <object> <attribute>...": offers are taken, gains offered again.
  void pass_on(const std::string& line) {
    std::istringstream words(line);
    std::string callback;
    unsigned object = 0;
    words >> callback >> object;
    bit_vector attributes(4, false);
    for (unsigned a; words >> a;) attributes.set_bit(a);
    if (callback == "requestAttributeOwnershipAssumption") {
      ldm.attribute_ownership_acquisition_if_available(object, attributes);
    } else if (callback == "attributeOwnershipAcquisitionNotification") {
      ++gains;
      ldm.negotiated_attribute_ownership_divestiture(object, attributes, tag);
    }
  }
};

void run_responder() {
  usleep(1500 * 1000);  // the measuring side creates the federation first
  bench_federate responder("responder");
  bool stopped = false;
  responder.on_word = [&](uint32_t word) {
    if (word == 0) stopped = true;
    else responder.send(word);
  };
  const auto end = bench_clock::now() + std::chrono::minutes(3);
  while (!stopped && bench_clock::now() < end) responder.ldm.tick(0.05, 0.05);
}

bool spin_until(test_ldm& ldm, const std::function<bool()>& done, double seconds) {
  const auto end = bench_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (bench_clock::now() > end) return false;
    ldm.tick();
  }
  return true;
}

double seconds_since(bench_clock::time_point start) {
  return std::chrono::duration<double>(bench_clock::now() - start).count();
}

void measure(int objects, int rounds) {
  bench_federate me("measurer");
  if (!spin_until(me.ldm, [&] { return me.ldm.get_num_joined_federates() >= 2; }, 10)) {
    std::printf("the responder did not join\n");
    return;
  }
  // Baseline: every message echoed, objects of them in flight at once, rounds times.
  uint64_t echoes = 0;
  me.on_word = [&](uint32_t) { ++echoes; };
  uint32_t next = 1;
  while (echoes == 0) {  // a receiver starts a sender's sequence where it first hears it
    me.send(next++);
    spin_until(me.ldm, [&] { return echoes > 0; }, 0.1);
  }
  echoes = 0;
  auto start = bench_clock::now();
  for (int r = 0; r < rounds; ++r) {
    const uint64_t target = echoes + objects;
    for (int k = 0; k < objects; ++k) me.send(next++);
    spin_until(me.ldm, [&] { return echoes >= target; }, 30);
  }
  const double round_trips_per_s = echoes / seconds_since(start);

  // Transfers: register the vehicles, let the responder discover them, offer them all.
  std::vector<unsigned> handles;
  for (int k = 0; k < objects; ++k) handles.push_back(me.ldm.register_object_instance(me.vehicle, std::to_string(k).c_str()));
  me.ldm.tick(2.0, 2.0);
  start = bench_clock::now();
  for (unsigned object : handles) me.ldm.negotiated_attribute_ownership_divestiture(object, bit_vector(4, true), me.tag);
  // Each gain here follows one there: two transfers per object per round.
  spin_until(me.ldm, [&] { return me.gains >= uint64_t(objects) * uint64_t(rounds); }, 120);
  const double transfers_per_s = 2.0 * double(me.gains) / seconds_since(start);
  me.send(0);
  me.ldm.tick(0.5, 0.5);

  std::printf("reliable round trips (%u-word messages, %d in flight): %10.0f /s\n", payload_words, objects,
              round_trips_per_s);
  std::printf("ownership transfers (%d objects x 4 attributes):        %10.0f /s (%llu gains here)\n", objects,
              transfers_per_s, static_cast<unsigned long long>(me.gains));
  std::printf("ratio: %.2f (goal >= 0.5)\n", transfers_per_s / round_trips_per_s);
}

}  // namespace

int main(int argc, char** argv) {
  const int objects = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::bench, 41), .heartbeat = 1, .join_timeout = 1});
  std::printf("ownership_bench: two processes, %d vehicles of four attributes, %d rounds, 127.0.0.1\n", objects,
              rounds);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    run_responder();
    _exit(0);
  }
  measure(objects, rounds);
  waitpid(child, nullptr, 0);
  return 0;
}
