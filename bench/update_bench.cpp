// The data path between two federate processes of the public rti13 interface on 127.0.0.1:
// round trips of interactions and of attribute updates (64 bytes and 1 KB) over each transport
// type of the RID, with and without low latency; a blast of 100,000 small interactions; the
// discovery of 20,000 registered objects. Each figure is set against raw UDP multicast between
// the same two processes in the same run: the responder (a forked child federate) echoes pings,
// counts the blast and the discoveries, and steps aside into a raw responder when told to.
// Everything counted is what arrived. Traffic stays on this host (loopback, TTL 0).
//
//   update_bench            the whole run, twice: on the test RID as it is, then with the rate
//                           limit raised so that the blasts measure the data path, not the cap
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>

#include "test_ports.h"
#include "test_rid.h"
#include "two_process_bench.h"

namespace {

constexpr int round_trips = 5000;
constexpr int warmup_round_trips = 200;
// Pings leave at most this often, so that the default rate limit (75 Mbit/s) never holds one
// back and the figures are latency, not pacing.
constexpr auto ping_gap = std::chrono::microseconds(200);
// A row stops early after this long: a transport that waits out its bundle timeout for every
// message would take minutes for the full count.
constexpr auto row_time_limit = std::chrono::seconds(5);
constexpr auto warmup_time_limit = std::chrono::milliseconds(500);
constexpr int reply_timeout_ms = 1000;
constexpr int blast_messages = 100000;
constexpr size_t blast_size = 64;
constexpr int discovered_objects = 20000;
constexpr int sends_per_tick = 64;  // the blasts tick after this many sends
constexpr double raised_rate_mbps = 2000.0;
constexpr int raw_idle_ms = 3000;  // a raw responder that hears nothing this long goes back
constexpr auto responder_idle = std::chrono::seconds(60);
constexpr auto answer_flush_time = std::chrono::milliseconds(50);  // above the test RID's bundle timeout

const uint16_t latency_port = test_port(port_block::bench, 51);
const uint16_t throughput_port = test_port(port_block::bench, 52);
// The raw responder's socket gets the receive buffer the test RID gives the federates' sockets.
const raw_link raw{"224.22.1.21", "224.22.1.22", test_port(port_block::bench, 53), 2048 * 1024};

// The RID's transport types: the two built-in ones as the built-in RID has them, and each again
// with use_low_latency, which sends a message at once instead of bundling it.
struct transport_type {
  const char* name;
  const char* service;
  int priority;
  bool low_latency;
};
const transport_type transports[] = {
    {"best_effort", "best_effort", 0x00, false},
    {"reliable", "reliable", 0x3f, false},
    {"low_latency_best_effort", "best_effort", 0x00, true},
    {"low_latency_reliable", "reliable", 0x3f, true},
};
constexpr int transport_count = sizeof transports / sizeof transports[0];
// The control words travel reliably and bundled, at the blasts' priority: a word of higher
// priority overtakes a blast still queued behind the rate limit, arrives more than the reliable
// receiver's window ahead, and waits seconds for NACK recovery.
constexpr int best_effort = 0, reliable = 1, control_transport = reliable;

// The test RID with its transport_types group replaced by one of these types. A group replaces
// the built-in one whole, so it names every key of every type.
std::string bench_rid(const test_rid_options& options) {
  std::string types = "    (transport_types";
  for (const transport_type& t : transports) {
    char entry[256];
    std::snprintf(entry, sizeof entry,
                  "\n      (%s (type \"simple\") (suppress_dups false) (implicit_transfer false)"
                  " (message_service \"%s\") (message_priority 0x%02x) (use_low_latency %s))",
                  t.name, t.service, t.priority, t.low_latency ? "true" : "false");
    types += entry;
  }
  types += ")\n";
  std::string rid = test_rid_text(options);
  const size_t group = rid.find("    (transport_types");
  rid.replace(group, rid.find("    (updates", group) - group, types);
  return rid;
}

// One ping class, one probe class and one blast class per transport type; the items whose
// discovery is counted; the control interaction of the two sides.
std::string bench_fed() {
  std::string objects, interactions;
  for (const transport_type& t : transports) {
    objects += std::string("\n      (class Probe_") + t.name + " (attribute Payload " + t.name + " receive))";
    interactions += std::string("\n      (class Ping_") + t.name + " " + t.name + " receive (parameter Payload))";
    interactions += std::string("\n      (class Blast_") + t.name + " " + t.name + " receive (parameter Payload))";
  }
  return "(FED (Federation UpdateBench) (FEDversion v1.3)\n"
         "  (objects (class ObjectRoot (attribute privilegeToDelete reliable receive)" +
         objects +
         "\n      (class Item (attribute Payload reliable receive))))\n"
         "  (interactions (class InteractionRoot best_effort receive" +
         interactions + "\n      (class Control " + transports[control_transport].name +
         " receive (parameter Word)))))\n";
}

enum class message_kind { interaction, attribute };

double us_since(bench_clock::time_point start) {
  return std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
}

// One side of the benchmark: its ambassador, the handles of the model, one probe object per
// transport type, and what its callbacks saw. The responder answers inside its callbacks; the
// measuring side notes the sequence number of the last answer.
class bench_federate : public NullFederateAmbassador {
public:
  explicit bench_federate(bool responder) : responder_(responder) {}

  void join(const char* federation_name, const char* fed_file, const char* name) {
    federation = federation_name;
    try {
      rti.createFederationExecution(federation_name, fed_file);
    } catch (const rti13::FederationExecutionAlreadyExists&) {
    }
    rti.joinFederationExecution(name, federation_name, this);
    const std::unique_ptr<rti13::AttributeHandleSet> payload_set(rti13::AttributeHandleSetFactory::create(1));
    for (int k = 0; k < transport_count; ++k) {
      const std::string t = transports[k].name;
      ping_[k] = rti.getInteractionClassHandle(("Ping_" + t).c_str());
      blast_[k] = rti.getInteractionClassHandle(("Blast_" + t).c_str());
      probe_[k] = rti.getObjectClassHandle(("Probe_" + t).c_str());
      ping_payload_[k] = rti.getParameterHandle("Payload", ping_[k]);
      blast_payload_[k] = rti.getParameterHandle("Payload", blast_[k]);
      probe_payload_[k] = rti.getAttributeHandle("Payload", probe_[k]);
      for (rti13::InteractionClassHandle c : {ping_[k], blast_[k]}) {
        rti.publishInteractionClass(c);
        rti.subscribeInteractionClass(c);
      }
      payload_set->empty();
      payload_set->add(probe_payload_[k]);
      rti.publishObjectClass(probe_[k], *payload_set);
      rti.subscribeObjectClassAttributes(probe_[k], *payload_set);
      probe_object_[k] = rti.registerObjectInstance(probe_[k]);
    }
    item_ = rti.getObjectClassHandle("Item");
    payload_set->empty();
    payload_set->add(rti.getAttributeHandle("Payload", item_));
    if (responder_)
      rti.subscribeObjectClassAttributes(item_, *payload_set);
    else
      rti.publishObjectClass(item_, *payload_set);
    control_ = rti.getInteractionClassHandle("Control");
    control_word_ = rti.getParameterHandle("Word", control_);
    rti.publishInteractionClass(control_);
    rti.subscribeInteractionClass(control_);
  }

  void leave() {
    rti.resignFederationExecution(rti13::DELETE_OBJECTS);
    try {
      rti.destroyFederationExecution(federation.c_str());
    } catch (const rti13::Exception&) {
      // The other side is still joined, or has destroyed it already.
    }
  }

  void send(message_kind kind, int k, const std::vector<char>& payload) {
    if (kind == message_kind::interaction)
      send_interaction(ping_[k], ping_payload_[k], payload);
    else
      update(probe_object_[k], probe_payload_[k], payload);
  }

  void send_blast(int k, const std::vector<char>& payload) { send_interaction(blast_[k], blast_payload_[k], payload); }

  void send_control(const std::string& word) {
    send_interaction(control_, control_word_, std::vector<char>(word.begin(), word.end()));
  }

  void register_item() { rti.registerObjectInstance(item_); }

  // Ticks, spinning, until done() or for timeout_ms.
  template <class Done>
  bool tick_until(Done done, int timeout_ms) {
    const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (bench_clock::now() > deadline) return false;
      rti.tick();
    }
    return true;
  }

  // Sends word until the other side's answer starts with answer (every 200 ms, for timeout_ms).
  // Each question carries a number that its answer repeats, so that the late answer to an
  // earlier question, or to a resent one, is not taken for this one.
  bool ask(const std::string& word, const std::string& answer, int timeout_ms = 10000) {
    const std::string number = " #" + std::to_string(++questions_);
    auto answered_now = [&] {
      return heard.size() >= answer.size() + number.size() && heard.compare(0, answer.size(), answer) == 0 &&
             heard.compare(heard.size() - number.size(), number.size(), number) == 0;
    };
    for (int waited = 0; waited < timeout_ms; waited += 200) {
      send_control(word + number);
      if (tick_until(answered_now, 200)) return true;
    }
    return false;
  }

  // The responder's life after joining: answers until told to quit or left idle.
  void respond() {
    last_heard_ = bench_clock::now();
    while (!quit_ && bench_clock::now() - last_heard_ < responder_idle) {
      rti.tick();
      if (raw_size_ == 0) continue;
      // The answer to "raw" waits in a bundle: tick until it has left.
      const auto flushed = bench_clock::now() + answer_flush_time;
      while (bench_clock::now() < flushed) rti.tick();
      raw_respond(raw, raw_size_, raw_idle_ms);
      raw_size_ = 0;
      last_heard_ = bench_clock::now();
    }
  }

  rti13::RTIambassador rti;
  std::string federation;
  uint32_t answered = 0;  // the sequence number of the last answer
  std::string heard;      // the last control word
  blast_counter blasts, discoveries;

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle object_class,
                              const char*) override {
    classes_[object] = object_class;
    if (object_class == item_) discoveries.note();
  }

  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    const auto known = classes_.find(object);
    const int k = probe_index(known == classes_.end() ? rti.getObjectClass(object) : known->second);
    if (k < 0 || values.size() != 1) return;
    rti13::ULong length = 0;
    const char* value = values.getValuePointer(0, length);
    if (responder_)
      update(probe_object_[k], probe_payload_[k], std::vector<char>(value, value + length));
    else
      answered = sequence_of(value, length);
  }

  void receiveInteraction(rti13::InteractionClassHandle interaction, const rti13::ParameterHandleValuePairSet& values,
                          const char*) override {
    if (values.size() != 1) return;
    rti13::ULong length = 0;
    const char* value = values.getValuePointer(0, length);
    if (interaction == control_) return heed(std::string(value, length));
    for (int k = 0; k < transport_count; ++k) {
      if (interaction == blast_[k]) return blasts.note();
      if (interaction != ping_[k]) continue;
      if (responder_)
        send_interaction(ping_[k], ping_payload_[k], std::vector<char>(value, value + length));
      else
        answered = sequence_of(value, length);
      return;
    }
  }

private:
  // The words of the control interaction, from the measuring side: hello, reset (zero the
  // counts), count, raw SIZE (become a raw responder until its quit word), quit. All but quit
  // are questions ending in " #N", answered with the same ending (a count as "count BLASTS US
  // DISCOVERIES US #N"); a resent question is answered again but acted on once. The reliable
  // service delivers them in order, so a number not above the last one is a resend.
  void heed(const std::string& text) {
    last_heard_ = bench_clock::now();
    if (!responder_) {
      heard = text;
      return;
    }
    const size_t mark = text.rfind(" #");
    const std::string word = text.substr(0, mark), number = mark == std::string::npos ? "" : text.substr(mark);
    const uint32_t question = mark == std::string::npos ? 0 : std::strtoul(text.c_str() + mark + 2, nullptr, 10);
    const bool first_time = question > last_question_;
    last_question_ = std::max(last_question_, question);
    if (word == "hello") {
      send_control(text);
    } else if (word == "reset") {
      if (first_time) blasts = discoveries = blast_counter{};
      send_control(text);
    } else if (word == "count") {
      send_control("count " + std::to_string(blasts.count) + " " + std::to_string(blasts.elapsed_us()) + " " +
                   std::to_string(discoveries.count) + " " + std::to_string(discoveries.elapsed_us()) + number);
    } else if (word.compare(0, 4, "raw ") == 0) {
      send_control(text);
      if (first_time) raw_size_ = std::strtoul(word.c_str() + 4, nullptr, 10);
    } else if (word == "quit") {
      quit_ = true;
    }
  }

  int probe_index(rti13::ObjectClassHandle object_class) const {
    for (int k = 0; k < transport_count; ++k)
      if (probe_[k] == object_class) return k;
    return -1;
  }

  static uint32_t sequence_of(const char* value, rti13::ULong length) {
    return length >= 4 ? brindle::load_be32(reinterpret_cast<const uint8_t*>(value)) : 0;
  }

  void send_interaction(rti13::InteractionClassHandle c, rti13::ParameterHandle p, const std::vector<char>& payload) {
    parameters_->empty();
    parameters_->add(p, payload.data(), static_cast<rti13::ULong>(payload.size()));
    rti.sendInteraction(c, *parameters_, "");
  }

  void update(rti13::ObjectHandle object, rti13::AttributeHandle a, const std::vector<char>& payload) {
    attributes_->empty();
    attributes_->add(a, payload.data(), static_cast<rti13::ULong>(payload.size()));
    rti.updateAttributeValues(object, *attributes_, "");
  }

  bool responder_;
  rti13::InteractionClassHandle ping_[transport_count]{}, blast_[transport_count]{}, control_ = 0;
  rti13::ParameterHandle ping_payload_[transport_count]{}, blast_payload_[transport_count]{}, control_word_ = 0;
  rti13::ObjectClassHandle probe_[transport_count]{}, item_ = 0;
  rti13::AttributeHandle probe_payload_[transport_count]{};
  rti13::ObjectHandle probe_object_[transport_count]{};
  std::map<rti13::ObjectHandle, rti13::ObjectClassHandle> classes_;
  std::unique_ptr<rti13::ParameterHandleValuePairSet> parameters_{rti13::ParameterSetFactory::create(1)};
  std::unique_ptr<rti13::AttributeHandleValuePairSet> attributes_{rti13::AttributeSetFactory::create(1)};
  size_t raw_size_ = 0;
  bool quit_ = false;
  uint32_t questions_ = 0;      // asked, on the measuring side
  uint32_t last_question_ = 0;  // heeded, on the responder's side
  bench_clock::time_point last_heard_{};
};

// ---- the measuring side -----------------------------------------------------------------------

struct round_trip_row {
  latency figures;
  int sent = 0;  // pings measured, answered or not
};

// Numbers every ping of the run, so that a late answer never matches a later ping.
uint32_t ping_sequence = 0;

// Round trips of one kind of message over transport k: a ping carries its sequence number in its
// first four bytes and counts once the answer with that number has arrived.
round_trip_row federate_round_trips(bench_federate& a, message_kind kind, int k, size_t size) {
  std::vector<char> ping(size, 0x5A);
  std::vector<double> samples;
  auto one = [&](int timeout_ms) {
    const uint32_t sequence = ++ping_sequence;
    brindle::store_be32(reinterpret_cast<uint8_t*>(ping.data()), sequence);
    const auto start = bench_clock::now();
    a.send(kind, k, ping);
    const bool answered = a.tick_until([&] { return a.answered == sequence; }, timeout_ms);
    const double rtt_us = us_since(start);
    while (bench_clock::now() - start < ping_gap) a.rti.tick();
    return answered ? rtt_us : -1.0;
  };
  // The path is up once one ping is answered (the other side may not have discovered the probe).
  int tries = 0;
  while (tries < 50 && one(100) < 0) ++tries;
  if (tries == 50) return {};
  const auto warmup_start = bench_clock::now();
  for (int i = 0; i < warmup_round_trips && bench_clock::now() - warmup_start < warmup_time_limit; ++i)
    one(reply_timeout_ms);
  round_trip_row row;
  const auto start = bench_clock::now();
  for (; row.sent < round_trips && bench_clock::now() - start < row_time_limit; ++row.sent)
    if (const double rtt_us = one(reply_timeout_ms); rtt_us >= 0) samples.push_back(rtt_us);
  row.figures = summarise(samples);
  return row;
}

// The responder's counts, asked for until they stop growing for a second or reach expected.
struct counts {
  throughput blasts, discoveries;
};

counts settled_counts(bench_federate& a, uint32_t expected, bool of_blasts) {
  counts last;
  int unchanged = 0;
  const auto deadline = bench_clock::now() + std::chrono::seconds(60);
  while (unchanged < 5 && bench_clock::now() < deadline) {
    if (!a.ask("count", "count ")) break;
    std::istringstream fields(a.heard.substr(6));
    uint32_t blasts = 0, discoveries = 0;
    uint64_t blast_us = 0, discovery_us = 0;
    fields >> blasts >> blast_us >> discoveries >> discovery_us;
    const counts now{delivered_rate(blasts, blast_us), delivered_rate(discoveries, discovery_us)};
    const uint32_t seen = of_blasts ? now.blasts.delivered : now.discoveries.delivered;
    unchanged = seen == (of_blasts ? last.blasts.delivered : last.discoveries.delivered) ? unchanged + 1 : 0;
    last = now;
    if (seen >= expected) break;
    a.tick_until([] { return false; }, 200);
  }
  return last;
}

throughput federate_blast(bench_federate& a, int k) {
  if (!a.ask("reset", "reset")) return {};
  const std::vector<char> message(blast_size, static_cast<char>(0xB1));
  for (int i = 0; i < blast_messages; ++i) {
    a.send_blast(k, message);
    if (i % sends_per_tick == sends_per_tick - 1) a.rti.tick();
  }
  return settled_counts(a, blast_messages, true).blasts;
}

throughput federate_discoveries(bench_federate& a) {
  if (!a.ask("reset", "reset")) return {};
  for (int i = 0; i < discovered_objects; ++i) {
    a.register_item();
    if (i % sends_per_tick == sends_per_tick - 1) a.rti.tick();
  }
  return settled_counts(a, discovered_objects, false).discoveries;
}

// The responder becomes a raw responder for size, once its tick returns, until the raw phase's
// quit word; the raw phase's first pings may go unanswered while it opens its socket.
bool hand_over_to_raw(bench_federate& a, size_t size) { return a.ask("raw " + std::to_string(size), "raw "); }

latency raw_ping_pong(bench_federate& a, size_t size) {
  if (!hand_over_to_raw(a, size)) return {};
  return summarise(raw_round_trips(raw, size, warmup_round_trips, round_trips, ping_gap));
}

throughput raw_blast(bench_federate& a, size_t size, int count) {
  if (!hand_over_to_raw(a, size)) return {};
  return raw_blast_delivered(raw, size, count);
}

// ---- report -----------------------------------------------------------------------------------

double ratio(double measured, double baseline) { return baseline > 0 ? measured / baseline : 0; }

void print_round_trips(const char* kind, const char* transport, size_t size, const round_trip_row& row,
                       const latency& baseline) {
  const latency& measured = row.figures;
  std::printf("  %-11s %-24s %5zu B  %8.1f %8.1f  %5d/%-5d  %7.1f %7.1f   %6.2f %6.2f%s\n", kind, transport, size,
              measured.median_us, measured.p99_us, measured.delivered, row.sent, baseline.median_us, baseline.p99_us,
              ratio(measured.median_us, baseline.median_us), ratio(measured.p99_us, baseline.p99_us),
              measured.delivered && ratio(measured.median_us, baseline.median_us) <= 2 ? "" : "   (goal 2x)");
}

void print_rate(const char* what, int sent, const throughput& measured, const throughput& baseline, bool goal) {
  std::printf("  %-36s %10.0f /s  %6u of %d (lost %5.2f%%)   raw %10.0f /s  %6u   %6.2f%s\n", what,
              measured.messages_per_s, measured.delivered, sent, 100.0 * (sent - static_cast<int>(measured.delivered)) / sent,
              baseline.messages_per_s, baseline.delivered, ratio(measured.messages_per_s, baseline.messages_per_s),
              goal && ratio(measured.messages_per_s, baseline.messages_per_s) < 1 ? "   (goal 1x)" : "");
}

void print_configuration(const test_rid_options& options) {
  std::printf("  RID: port %u, packet size %d, bundle timeout %d ms, flush threshold %d, rate limit %.0f Mbit/s\n",
              options.port, options.packet_size, options.bundle_timeout, options.bundle_flush_threshold,
              options.ratelimit_mbps);
  for (const transport_type& t : transports)
    std::printf("  transport type %-24s message service %-11s priority 0x%02x  use_low_latency %s\n", t.name,
                t.service, t.priority, t.low_latency ? "true" : "false");
  std::printf("  raw baseline: groups %s / %s, port %u, TTL 0, receive buffer %d KB, receivers spin on poll(0)\n",
              raw.ping_group, raw.pong_group, raw.port, raw.receive_buffer_bytes / 1024);
}

// One federation between two fresh processes: the round trips when asked for, then the blasts
// and the discoveries.
void run(const char* federation, const char* what, const test_rid_options& options, bool with_round_trips,
         const std::filesystem::path& fed_file) {
  std::printf("\n%s (%s)\n", federation, what);
  print_configuration(options);
  const scoped_rid_file rid(bench_rid(options));
  auto join = [&](bench_federate& f, const char* name) { f.join(federation, fed_file.c_str(), name); };
  with_responder<int>(
      [&] {
        try {
          bench_federate b(true);
          join(b, "responder");
          b.respond();
          b.leave();
        } catch (const rti13::Exception& e) {
          std::fprintf(stderr, "update_bench: the responder was refused: %s: %s\n", e._name, e._reason ? e._reason : "");
        }
      },
      [&] {
        try {
          bench_federate a(false);
          join(a, "measurer");
          if (!a.ask("hello", "hello", 20000)) {
            std::printf("  the responder never answered\n");
            return 0;
          }
          if (with_round_trips) {
            std::printf("\n  %-11s %-24s %7s  %8s %8s  %-11s  %7s %7s   %6s %6s\n", "round trips", "transport type",
                        "payload", "median", "p99", "answered", "raw med", "raw p99", "ratio", "p99");
            // Each row gets a raw baseline of its own, measured just before it: a burst of other
            // work on the machine then spoils one row's ratio, not those of a whole size.
            for (size_t size : {size_t{64}, size_t{1024}})
              for (message_kind kind : {message_kind::interaction, message_kind::attribute})
                for (int k = 0; k < transport_count; ++k) {
                  const latency baseline = raw_ping_pong(a, size);
                  print_round_trips(kind == message_kind::interaction ? "interaction" : "update", transports[k].name,
                                    size, federate_round_trips(a, kind, k, size), baseline);
                }
            std::printf("  (without low latency a message waits up to the bundle timeout, %d ms, in each direction)\n",
                        options.bundle_timeout);
          }
          std::printf("\n  %-36s %13s  %-26s   %14s  %6s   %6s\n", "delivered at the responder, 64 bytes", "rate",
                      "delivered", "raw rate", "raw", "ratio");
          const throughput raw_messages = raw_blast(a, blast_size, blast_messages);
          for (int k : {best_effort, reliable}) {
            const std::string what = std::string("interactions ") + transports[k].name;
            print_rate(what.c_str(), blast_messages, federate_blast(a, k), raw_messages, true);
          }
          const throughput raw_discoveries = raw_blast(a, blast_size, discovered_objects);
          print_rate("discoveries (Item registered)", discovered_objects, federate_discoveries(a), raw_discoveries,
                     false);
          a.send_control("quit");
          a.tick_until([] { return false; }, 100);
          a.leave();
        } catch (const rti13::Exception& e) {
          std::printf("  the measuring federate was refused: %s: %s\n", e._name, e._reason ? e._reason : "");
        }
        return 0;
      });
}

}  // namespace

int main() {
  const std::filesystem::path fed_file =
      std::filesystem::temp_directory_path() / ("update_bench_" + std::to_string(getpid()) + ".fed");
  std::ofstream(fed_file) << bench_fed();
  std::printf("update_bench: two federate processes of the public interface on 127.0.0.1, FED of one\n");
  std::printf("  ping, probe and blast class per transport type. Round trips: %d after a warm-up of %d\n", round_trips,
              warmup_round_trips);
  std::printf("  (each row at most %lld s), at most one ping per %lld us, payloads 64 and 1024 bytes; the\n",
              static_cast<long long>(row_time_limit.count()), static_cast<long long>(ping_gap.count()));
  std::printf("  responder answers inside its callback. Blast: %d interactions of %zu bytes, a tick after\n",
              blast_messages, blast_size);
  std::printf("  every %d sends; discoveries: %d objects registered. Raw baselines: the same payloads\n",
              sends_per_tick, discovered_objects);
  std::printf("  and counts as UDP datagrams between the same two processes, a raw round-trip baseline just\n");
  std::printf("  before each row. Counts are what arrived.\n");

  test_rid_options options;
  options.join_timeout = 1;
  options.port = latency_port;
  run("UpdateBench", "the test RID", options, true, fed_file);
  options.port = throughput_port;
  options.ratelimit_mbps = raised_rate_mbps;
  run("UpdateBenchRaised", "the rate limit raised", options, false, fed_file);
  std::filesystem::remove(fed_file);
  return 0;
}
