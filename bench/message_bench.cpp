// The message services between two processes on 127.0.0.1: one-way latency (ping-pong halved)
// and throughput of 64-byte and 1 KB messages for the best-effort and the reliable service, with
// the stream transport's own sends (no message service) as the baseline measured in the same
// run. Then the time the reliable service takes to recover one lost message at its real
// constants, measured between two stream managers of this process. Every phase forks a
// responder process and waits for it. Traffic stays on this host (loopback, TTL 0).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "byte_order.h"
#include "frame/debugging_events.h"
#include "two_process_bench.h"
#include "ldm_buf.h"
#include "messages/message_best_effort.h"
#include "messages/message_reliable.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;

constexpr int pings = 2000;
constexpr int warmup_pings = 100;
constexpr auto ping_gap = std::chrono::microseconds(200);
constexpr int blast_messages = 50000;
constexpr double latency_rate_mbps = 75.0;  // the built-in default
constexpr double raised_rate_mbps = 2000.0;
constexpr int responder_idle_ms = 15000;
constexpr int recovery_trials = 10;

const uint16_t bench_port = test_port(port_block::bench, 10);
const uint16_t recovery_port = test_port(port_block::bench, 11);

constexpr int ping_stream = 10, pong_stream = 11, blast_stream = 12, control_stream = 13;

const std::string quit_word = "quit", end_word = "end!";

enum class mode { transport, best_effort, reliable };

const char* name_of(mode m) {
  switch (m) {
    case mode::transport: return "transport";
    case mode::best_effort: return "best_eff";
    default: return "reliable";
  }
}

struct received {
  int stream;
  std::string payload;
};

// One stream manager and, by mode, a bare stream_service or a message service on it. Payloads
// travel as a length word and their bytes in every mode, so all three carry the same bytes.
class bench_node : public stream_service_client, public message_service_client {
public:
  bench_node(mode m, uint16_t port, double mbps, const reliable_settings& settings = reliable_settings())
      : rid_(make_test_rid(options(port, mbps))),
        scheduler_(clock_),
        stats_(scheduler_),
        manager_(*rid_, scheduler_, stats_, 0x22),
        trace_("bench", wall_) {
    const char* name = "bench_message";
    if (m == mode::transport) raw_ = std::make_unique<stream_service>(&manager_, this, name);
    if (m == mode::best_effort) service_ = std::make_unique<message_best_effort>(&manager_, this, name, trace_, scheduler_);
    if (m == mode::reliable) {
      service_ = std::make_unique<message_reliable>(&manager_, this, name, trace_, scheduler_, settings);
    }
  }
  ~bench_node() override {
    service_.reset();
    raw_.reset();
  }

  static test_rid_options options(uint16_t port, double mbps) {
    test_rid_options o;
    o.port = port;
    o.ratelimit_mbps = mbps;
    o.bundle_timeout = 5;
    return o;
  }

  void receive(int stream, unsigned char, ldm_buf* buffer) override {
    uint32_t length;
    *buffer >> length;
    const char* bytes = buffer->read_is(length);
    messages.push_back({stream, std::string(bytes, length)});
    if (on_message) on_message(messages.back());
  }

  void send(int stream, const std::string& payload) {
    ldm_buf* buffer = raw_ ? raw_->get_buf() : service_->get_buf();
    *buffer << static_cast<uint32_t>(payload.size());
    buffer->write_os(payload.data(), static_cast<uint32_t>(payload.size()));
    if (raw_) {
      raw_->send(stream, 0, buffer);
    } else {
      service_->send(stream, 0, buffer);
    }
    buffer->release_buf();
  }
  void send_now(int stream, const std::string& payload) {
    send(stream, payload);
    manager_.flush(stream);
    manager_.flush(message_reliable::control_stream);
  }

  void tick(uint64_t wait_ms = 0) { scheduler_.tick(wait_ms, wait_ms + 50); }
  stream_manager& manager() { return manager_; }
  message_reliable* reliable() { return dynamic_cast<message_reliable*>(service_.get()); }

  std::vector<received> messages;
  std::function<void(const received&)> on_message;

private:
  std::unique_ptr<RID> rid_;
  millisecond_clock clock_;
  scheduler scheduler_;
  message_stats_tracker stats_;
  stream_manager manager_;
  wall_clock wall_ = system_wall_clock;
  dstream trace_;
  std::unique_ptr<stream_service> raw_;
  std::unique_ptr<message_service> service_;
};

std::string blast_report(uint32_t count, uint64_t elapsed_us) {
  std::string report(12, '\0');
  auto* bytes = reinterpret_cast<uint8_t*>(report.data());
  store_be32(bytes, count);
  store_be32(bytes + 4, static_cast<uint32_t>(elapsed_us >> 32));
  store_be32(bytes + 8, static_cast<uint32_t>(elapsed_us));
  return report;
}

throughput read_report(const std::string& report) {
  throughput result;
  if (report.size() != 12) return result;
  const auto* bytes = reinterpret_cast<const uint8_t*>(report.data());
  result.delivered = load_be32(bytes);
  const uint64_t us = uint64_t{load_be32(bytes + 4)} << 32 | load_be32(bytes + 8);
  if (us > 0) result.messages_per_s = result.delivered * 1e6 / static_cast<double>(us);
  return result;
}

// Echoes pings, counts blast messages (first to last) and answers each end marker with the count.
void responder(mode m, size_t size, double mbps) {
  bench_node node(m, bench_port, mbps);
  for (int stream : {ping_stream, blast_stream, control_stream}) node.manager().join(stream);
  uint32_t count = 0;
  bench_clock::time_point first{}, last{};
  bool quit = false;
  auto idle_since = bench_clock::now();
  node.on_message = [&](const received& r) {
    idle_since = bench_clock::now();
    if (r.payload == quit_word) {
      quit = true;
    } else if (r.stream == control_stream) {
      const uint64_t us = count ? std::chrono::duration_cast<std::chrono::microseconds>(last - first).count() : 0;
      node.send_now(pong_stream, blast_report(count, us));
    } else if (r.stream == ping_stream) {
      node.send_now(pong_stream, r.payload);
    } else if (r.payload.size() == size) {
      last = bench_clock::now();
      if (count++ == 0) first = last;
    }
  };
  while (!quit && bench_clock::now() - idle_since < std::chrono::milliseconds(responder_idle_ms)) {
    node.tick(0);
    node.messages.clear();
  }
  // Lets the last answers (and a reliable service's resends) go out.
  const auto end = bench_clock::now() + std::chrono::milliseconds(m == mode::reliable ? 1500 : 20);
  while (bench_clock::now() < end) node.tick(1);
}

bool wait_pong(bench_node& node, size_t size, int timeout_ms, std::string* payload = nullptr) {
  const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (bench_clock::now() < deadline) {
    node.tick(0);
    for (const received& r : node.messages) {
      if (r.stream != pong_stream || r.payload.size() != size) continue;
      if (payload) *payload = r.payload;
      node.messages.clear();
      return true;
    }
    node.messages.clear();
  }
  return false;
}

void quit(bench_node& node) {
  node.send_now(control_stream, quit_word);
  const auto end = bench_clock::now() + std::chrono::milliseconds(300);
  while (bench_clock::now() < end) node.tick(1);
}

latency ping_pong(mode m, size_t size) {
  return with_responder<latency>([=] { responder(m, size, latency_rate_mbps); }, [=] {
    bench_node node(m, bench_port, latency_rate_mbps);
    node.manager().join(pong_stream);
    const std::string ping(size, 'P');
    std::vector<double> samples;
    for (int tries = 0; tries < 50; ++tries) {
      node.send_now(ping_stream, ping);
      if (wait_pong(node, size, 100)) break;
    }
    for (int i = 0; i < warmup_pings + pings; ++i) {
      const auto start = bench_clock::now();
      node.send_now(ping_stream, ping);
      if (!wait_pong(node, size, 1000)) continue;
      const double rtt_us = std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
      if (i >= warmup_pings) samples.push_back(rtt_us / 2);
      while (bench_clock::now() - start < ping_gap) node.tick(0);
    }
    quit(node);
    return summarise(samples);
  });
}

throughput blast(mode m, size_t size) {
  return with_responder<throughput>([=] { responder(m, size, raised_rate_mbps); }, [=] {
    bench_node node(m, bench_port, raised_rate_mbps);
    node.manager().join(pong_stream);
    std::string report;
    auto ask_report = [&](int timeout_ms) {
      node.send_now(control_stream, end_word);
      return wait_pong(node, 12, timeout_ms, &report);
    };
    for (int tries = 0; tries < 50 && !ask_report(100); ++tries) {
    }
    const uint32_t before = read_report(report).delivered;
    const std::string message(size, 'B');
    for (int i = 0; i < blast_messages; ++i) {
      node.send(blast_stream, message);
      if (i % 64 == 63) node.tick(0);
    }
    node.manager().flush(blast_stream);
    // Asks until everything is counted, or the count stops growing for a few seconds (a
    // reliable receiver may still be recovering what the sockets dropped).
    throughput result;
    uint32_t seen = before;
    auto progress = bench_clock::now();
    while (bench_clock::now() - progress < std::chrono::seconds(m == mode::reliable ? 5 : 1)) {
      if (!ask_report(200)) continue;
      result = read_report(report);
      if (result.delivered >= static_cast<uint32_t>(blast_messages)) break;
      if (result.delivered != seen) {
        seen = result.delivered;
        progress = bench_clock::now();
      }
    }
    quit(node);
    return result;
  });
}

struct recovery {
  std::vector<double> ms;  // from the next message's send to the lost one's delivery
  int given_up = 0;
};

// The receiver leaves the data stream while message k is sent (so it misses the data, and hears
// the notice only after it is back), then message k + 1 reveals the gap.
recovery recover_lost_messages() {
  recovery result;
  bench_node sender(mode::reliable, recovery_port, latency_rate_mbps);
  bench_node receiver(mode::reliable, recovery_port, latency_rate_mbps);
  sender.manager().join(blast_stream);
  receiver.manager().join(blast_stream);
  auto pump = [&](const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done() && bench_clock::now() < deadline) {
      sender.tick(1);
      receiver.tick(1);
    }
    return done();
  };
  auto has = [&](const std::string& payload) {
    return std::any_of(receiver.messages.begin(), receiver.messages.end(),
                       [&](const received& r) { return r.payload == payload; });
  };
  sender.send_now(blast_stream, "first");
  if (!pump([&] { return has("first"); }, 3000)) return result;
  for (int trial = 0; trial < recovery_trials; ++trial) {
    const std::string lost = "lost " + std::to_string(trial), next = "next " + std::to_string(trial);
    receiver.manager().leave(blast_stream);
    sender.send_now(blast_stream, lost);
    const auto settle = bench_clock::now() + std::chrono::milliseconds(20);
    while (bench_clock::now() < settle) sender.tick(1);
    receiver.manager().join(blast_stream);
    const auto start = bench_clock::now();
    sender.send_now(blast_stream, next);
    if (!pump([&] { return has(lost); }, 10000)) {
      ++result.given_up;
      continue;
    }
    result.ms.push_back(std::chrono::duration<double, std::milli>(bench_clock::now() - start).count());
  }
  return result;
}

void print_latency(mode m, size_t size, const latency& measured, const latency& baseline) {
  std::printf("%-9s %5zu B  %9.1f %9.1f  %5d/%d   %6.2f %6.2f\n", name_of(m), size, measured.median_us,
              measured.p99_us, measured.delivered, pings,
              baseline.median_us > 0 ? measured.median_us / baseline.median_us : 0,
              baseline.p99_us > 0 ? measured.p99_us / baseline.p99_us : 0);
}

void print_throughput(mode m, size_t size, const throughput& measured, const throughput& baseline) {
  std::printf("%-9s %5zu B  %10.0f %8.1f  %6u/%d   %6.2f\n", name_of(m), size, measured.messages_per_s,
              measured.messages_per_s * static_cast<double>(size) / 1e6, measured.delivered, blast_messages,
              baseline.messages_per_s > 0 ? measured.messages_per_s / baseline.messages_per_s : 0);
}

}  // namespace

int main() {
  const test_rid_options o = bench_node::options(bench_port, latency_rate_mbps);
  std::printf("Message services between two processes on interface 127.0.0.1 (TTL 0)\n");
  std::printf("  port %u, packet size %d, bundle timeout %d ms, flush after each ping; rate limit %.0f Mbit/s\n",
              bench_port, o.packet_size, o.bundle_timeout, latency_rate_mbps);
  std::printf("  for latency, %.0f Mbit/s for throughput; both sides tick without waiting\n", raised_rate_mbps);
  std::printf("  baseline: the stream transport's own sends (stream_service, no message service)\n");
  std::printf("  %d pings after %d warm-up pings, at most one per %lld us; blasts of %d messages;\n", pings,
              warmup_pings, static_cast<long long>(ping_gap.count()), blast_messages);
  std::printf("  counts are what was delivered; ratios are against the baseline of the same size\n\n");

  std::printf("one-way latency, us     median       p99  delivered   ratio: median  p99\n");
  for (size_t size : {size_t{64}, size_t{1024}}) {
    const latency baseline = ping_pong(mode::transport, size);
    print_latency(mode::transport, size, baseline, baseline);
    print_latency(mode::best_effort, size, ping_pong(mode::best_effort, size), baseline);
    print_latency(mode::reliable, size, ping_pong(mode::reliable, size), baseline);
  }
  std::printf("\nthroughput               msg/s     MB/s   delivered   ratio\n");
  for (size_t size : {size_t{64}, size_t{1024}}) {
    const throughput baseline = blast(mode::transport, size);
    print_throughput(mode::transport, size, baseline, baseline);
    print_throughput(mode::best_effort, size, blast(mode::best_effort, size), baseline);
    print_throughput(mode::reliable, size, blast(mode::reliable, size), baseline);
  }

  const recovery r = recover_lost_messages();
  std::printf("\nrecovery of one lost message, real constants (NACK after 0-1000 ms, resend after 500 ms,\n");
  std::printf("100 ms timers), from the send that reveals the gap to delivery, %d trials in one process:\n",
              recovery_trials);
  if (!r.ms.empty()) {
    std::vector<double> ms = r.ms;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    std::printf("  min %.0f ms  median %.0f ms  mean %.0f ms  max %.0f ms", ms.front(), ms[ms.size() / 2],
                sum / static_cast<double>(ms.size()), ms.back());
  }
  std::printf("  (%zu recovered, %d not within 10 s)\n", r.ms.size(), r.given_up);
  return 0;
}
