// Stream transport between two processes on 127.0.0.1: one-way latency (ping-pong halved) and
// throughput of 64-byte and 1 KB messages, each against a raw UDP multicast ping-pong and blast
// of the same size on the same interface, measured in the same run. Every phase forks a
// responder process and waits for it. Traffic stays on this host (loopback, TTL 0).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "test_ports.h"
#include "transport_node.h"
#include "two_process_bench.h"

using namespace brindle;

namespace {

constexpr int pings = 2000;
constexpr int warmup_pings = 100;
// Pings leave at most this often, so that the default rate limit never holds one back and the
// figures are latency, not pacing (1 KB every 200 us is 5.4 MB/s against the limit's 9.4).
constexpr auto ping_gap = std::chrono::microseconds(200);
constexpr int blast_messages = 100000;
constexpr double latency_rate_mbps = 75.0;  // the built-in default
constexpr double raised_rate_mbps = 2000.0;
constexpr int responder_idle_ms = 10000;  // a responder that hears nothing this long gives up

const uint16_t transport_port = test_port(port_block::bench, 0);
const uint16_t raw_port = test_port(port_block::bench, 1);
const char* const ping_group = "224.22.1.1";
const char* const pong_group = "224.22.1.2";

// Streams of the transport phases.
constexpr int ping_stream = 10, pong_stream = 11, blast_stream = 12, control_stream = 13;

const raw_link raw{ping_group, pong_group, raw_port};

// ---- raw UDP multicast baseline -------------------------------------------------------------

latency raw_ping_pong(size_t size) {
  return with_responder<latency>([size] { raw_respond(raw, size, responder_idle_ms); }, [size] {
    std::vector<double> one_way = raw_round_trips(raw, size, warmup_pings, pings, ping_gap);
    for (double& us : one_way) us /= 2;
    return summarise(one_way);
  });
}

throughput raw_blast(size_t size) {
  return with_responder<throughput>([size] { raw_respond(raw, size, responder_idle_ms); },
                                    [size] { return raw_blast_delivered(raw, size, blast_messages); });
}

// ---- the stream transport -----------------------------------------------------------------

// How a ping and its pong leave: through an explicit flush on a RID with a 5 ms bundle timeout,
// or with priority 0x80 ("send now") and no flush on the RID's default 20 ms bundle timeout.
enum class sending { flush, send_now };

test_rid_options transport_options(double mbps, sending how = sending::flush) {
  test_rid_options options;
  options.port = transport_port;
  options.ratelimit_mbps = mbps;
  if (how == sending::flush) options.bundle_timeout = 5;
  return options;
}

// Sends one message the way how says.
void transport_send(transport_node& node, int stream, const std::vector<uint8_t>& payload, sending how) {
  node.send(stream, payload, how == sending::send_now ? vessmark::stream_manager::send_now : 0);
  if (how == sending::flush) node.service().flush(stream);
}

void transport_responder(size_t size, double mbps, sending how = sending::flush) {
  transport_node node(transport_options(mbps, how));
  for (int stream : {ping_stream, blast_stream, control_stream}) node.manager().join(stream);
  blast_counter blast;
  bool quit = false;
  auto idle_since = bench_clock::now();
  node.client().on_message = [&](const received_message& m) {
    idle_since = bench_clock::now();
    if (m.payload == quit_word) {
      quit = true;
    } else if (m.stream == control_stream) {
      node.send(pong_stream, blast.report());
      node.service().flush(pong_stream);
    } else if (m.stream == ping_stream) {
      transport_send(node, pong_stream, m.payload, how);
    } else if (m.payload.size() == size) {
      blast.note();
    }
  };
  while (!quit && bench_clock::now() - idle_since < std::chrono::milliseconds(responder_idle_ms)) {
    node.tick(0);
    node.messages().clear();
  }
  for (int i = 0; i < 5; ++i) node.tick(2);
}

// Ticks node, spinning, until a message of length size has arrived on the pong stream.
bool transport_wait(transport_node& node, size_t size, int timeout_ms, std::vector<uint8_t>* payload = nullptr) {
  const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (bench_clock::now() < deadline) {
    node.tick(0);
    for (const received_message& m : node.messages()) {
      if (m.stream != pong_stream || m.payload.size() != size) continue;
      if (payload) *payload = m.payload;
      node.messages().clear();
      return true;
    }
    node.messages().clear();
  }
  return false;
}

void transport_quit(transport_node& node) {
  node.send(control_stream, quit_word);
  node.service().flush(control_stream);
  for (int i = 0; i < 5; ++i) node.tick(2);
}

latency transport_ping_pong(size_t size, sending how = sending::flush) {
  return with_responder<latency>([size, how] { transport_responder(size, latency_rate_mbps, how); }, [size, how] {
    transport_node node(transport_options(latency_rate_mbps, how));
    node.manager().join(pong_stream);
    const std::vector<uint8_t> ping(size, 0x5A);
    std::vector<double> samples;
    for (int tries = 0; tries < 50; ++tries) {
      transport_send(node, ping_stream, ping, how);
      if (transport_wait(node, size, 100)) break;
    }
    for (int i = 0; i < warmup_pings + pings; ++i) {
      const auto start = bench_clock::now();
      transport_send(node, ping_stream, ping, how);
      if (!transport_wait(node, size, 1000)) continue;
      const double rtt_us = std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
      if (i >= warmup_pings) samples.push_back(rtt_us / 2);
      while (bench_clock::now() - start < ping_gap) node.tick(0);
    }
    transport_quit(node);
    return summarise(samples);
  });
}

throughput transport_blast(size_t size) {
  return with_responder<throughput>([size] { transport_responder(size, raised_rate_mbps); }, [size] {
    transport_node node(transport_options(raised_rate_mbps));
    node.manager().join(pong_stream);
    std::vector<uint8_t> report;
    auto ask_report = [&](int timeout_ms) {
      node.send(control_stream, end_word);
      node.service().flush(control_stream);
      return transport_wait(node, 12, timeout_ms, &report);
    };
    for (int tries = 0; tries < 50 && !ask_report(100); ++tries) {
    }
    const std::vector<uint8_t> message(size, 0xB1);
    for (int i = 0; i < blast_messages; ++i) {
      node.send(blast_stream, message);
      // The rate-limit queue and the bundles drain inside ticks.
      if (i % 64 == 63) node.tick(0);
    }
    node.service().flush(blast_stream);
    throughput result;
    for (int tries = 0; tries < 20; ++tries) {
      if (ask_report(200)) {
        result = read_report(report);
        break;
      }
    }
    transport_quit(node);
    return result;
  });
}

void print_latency(const char* what, size_t size, const latency& measured, const latency& baseline) {
  std::printf("%-9s %5zu B  %9.1f %9.1f  %5d/%d   %9.1f %9.1f  %5d/%d   %6.2f %6.2f\n", what, size,
              measured.median_us, measured.p99_us, measured.delivered, pings, baseline.median_us, baseline.p99_us,
              baseline.delivered, pings, baseline.median_us > 0 ? measured.median_us / baseline.median_us : 0,
              baseline.p99_us > 0 ? measured.p99_us / baseline.p99_us : 0);
}

void print_throughput(const char* what, size_t size, const throughput& measured, const throughput& baseline) {
  auto mbytes = [size](const throughput& t) { return t.messages_per_s * static_cast<double>(size) / 1e6; };
  std::printf("%-9s %5zu B  %10.0f %8.1f  %6u/%d   %10.0f %8.1f  %6u/%d   %6.2f\n", what, size,
              measured.messages_per_s, mbytes(measured), measured.delivered, blast_messages,
              baseline.messages_per_s, mbytes(baseline), baseline.delivered, blast_messages,
              baseline.messages_per_s > 0 ? measured.messages_per_s / baseline.messages_per_s : 0);
}

}  // namespace

int main() {
  const test_rid_options latency_options = transport_options(latency_rate_mbps);
  std::printf("Stream transport between two processes on interface 127.0.0.1 (TTL 0)\n");
  std::printf("  transport: port %u, packet size %d, bundle timeout %d ms, flush after each ping,\n",
              transport_port, latency_options.packet_size, latency_options.bundle_timeout);
  std::printf("             rate limit %.0f Mbit/s for latency, raised to %.0f Mbit/s for throughput;\n",
              latency_options.ratelimit_mbps, raised_rate_mbps);
  std::printf("             both sides tick without waiting (tick(0)) while they expect traffic;\n");
  std::printf("             row 0x80: priority 0x80 and no flush, default bundle timeout %d ms\n",
              transport_options(latency_rate_mbps, sending::send_now).bundle_timeout);
  std::printf("  baseline:  raw UDP multicast, groups %s / %s, port %u, receivers spin on poll(0)\n", ping_group,
              pong_group, raw_port);
  std::printf("  %d pings after %d warm-up pings, at most one per %lld us; blasts of %d messages;\n",
              pings, warmup_pings, static_cast<long long>(ping_gap.count()), blast_messages);
  std::printf("  counts are what was delivered\n\n");

  std::printf("one-way latency, us   transport: median    p99  delivered   raw: median    p99  delivered   ratio: median  p99\n");
  for (size_t size : {size_t{64}, size_t{1024}}) {
    const latency raw = raw_ping_pong(size);
    const latency transport = transport_ping_pong(size);
    print_latency("latency", size, transport, raw);
    if (size == 64) print_latency("0x80", size, transport_ping_pong(size, sending::send_now), raw);
  }
  std::printf("\nthroughput            transport: msg/s    MB/s  delivered   raw: msg/s    MB/s  delivered   ratio\n");
  for (size_t size : {size_t{64}, size_t{1024}}) {
    const throughput raw = raw_blast(size);
    const throughput transport = transport_blast(size);
    print_throughput("blast", size, transport, raw);
  }
  return 0;
}
