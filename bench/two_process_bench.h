// What the two-process benchmarks share: running the responder in a child process, the figures
// they report (latencies as median and 99th percentile with the count delivered, and delivered
// throughput), and the raw UDP multicast baseline (a responder that echoes pings and counts a
// blast, and the measuring side of each) that every figure is set against.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "byte_order.h"
#include "raw_multicast.h"

using bench_clock = std::chrono::steady_clock;

struct latency {
  double median_us = 0, p99_us = 0;
  int delivered = 0;
};

struct throughput {
  double messages_per_s = 0;
  uint32_t delivered = 0;
};

inline latency summarise(std::vector<double> samples_us) {
  latency result;
  result.delivered = static_cast<int>(samples_us.size());
  if (samples_us.empty()) return result;
  std::sort(samples_us.begin(), samples_us.end());
  result.median_us = samples_us[samples_us.size() / 2];
  result.p99_us = samples_us[std::min(samples_us.size() - 1, samples_us.size() * 99 / 100)];
  return result;
}

// Runs responder in a child process and measure in this one; the child is always reaped.
template <typename Result>
Result with_responder(const std::function<void()>& responder, const std::function<Result()>& measure) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    responder();
    _exit(0);
  }
  Result result = child > 0 ? measure() : Result{};
  if (child > 0) waitpid(child, nullptr, 0);
  return result;
}

// A report of count and elapsed microseconds, as the blast receivers send it back.
inline std::vector<uint8_t> blast_report(uint32_t count, uint64_t elapsed_us) {
  std::vector<uint8_t> report(12);
  brindle::store_be32(report.data(), count);
  brindle::store_be32(report.data() + 4, static_cast<uint32_t>(elapsed_us >> 32));
  brindle::store_be32(report.data() + 8, static_cast<uint32_t>(elapsed_us));
  return report;
}

// Delivered per second between the first and the last message counted.
inline throughput delivered_rate(uint32_t count, uint64_t elapsed_us) {
  throughput result;
  result.delivered = count;
  if (elapsed_us > 0) result.messages_per_s = count * 1e6 / static_cast<double>(elapsed_us);
  return result;
}

inline throughput read_report(const std::vector<uint8_t>& report) {
  if (report.size() != 12) return {};
  const uint64_t us = uint64_t{brindle::load_be32(report.data() + 4)} << 32 | brindle::load_be32(report.data() + 8);
  return delivered_rate(brindle::load_be32(report.data()), us);
}

// Counts a blast's messages, timing the span from the first to the last.
struct blast_counter {
  uint32_t count = 0;
  bench_clock::time_point first{}, last{};

  void note() {
    last = bench_clock::now();
    if (count++ == 0) first = last;
  }
  uint64_t elapsed_us() const {
    return count ? std::chrono::duration_cast<std::chrono::microseconds>(last - first).count() : 0;
  }
  std::vector<uint8_t> report() const { return blast_report(count, elapsed_us()); }
};

// ---- raw UDP multicast baseline -------------------------------------------------------------

// The responder listens on ping_group and answers on pong_group, both on port. A ping is a
// datagram of the phase's size starting with 'P', echoed as it is; other datagrams of that size
// are a blast and counted; end_word asks for the count so far (a 12-byte report) and quit_word
// ends the responder. A responder asks for receive_buffer_bytes of kernel buffer when it is
// not 0, as the transport does for its receive_buffer_size.
struct raw_link {
  const char* ping_group;
  const char* pong_group;
  uint16_t port;
  int receive_buffer_bytes = 0;
};

inline const std::vector<uint8_t> quit_word{'q', 'u', 'i', 't'};
inline const std::vector<uint8_t> end_word{'e', 'n', 'd', '!'};

// Waits, spinning, for the next datagram of length size (any length for 0); false after
// timeout_ms.
inline bool raw_wait(raw_multicast& socket, std::vector<uint8_t>& datagram, size_t size, int timeout_ms) {
  const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (bench_clock::now() < deadline)
    if (socket.receive(datagram, 0) >= 0 && (size == 0 || datagram.size() == size)) return true;
  return false;
}

// Answers until quit_word, or until it has heard nothing for idle_ms.
inline void raw_respond(const raw_link& link, size_t size, int idle_ms) {
  raw_multicast socket;
  if (link.receive_buffer_bytes > 0)
    setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUF, &link.receive_buffer_bytes, sizeof link.receive_buffer_bytes);
  if (!socket.listen(link.ping_group, link.port)) return;
  blast_counter blast;
  std::vector<uint8_t> datagram;
  while (raw_wait(socket, datagram, 0, idle_ms)) {
    if (datagram == quit_word) return;
    if (datagram == end_word) {
      const std::vector<uint8_t> report = blast.report();
      socket.send_to(link.pong_group, link.port, report.data(), report.size());
    } else if (datagram.size() == size && datagram[0] == 'P') {
      socket.send_to(link.pong_group, link.port, datagram.data(), datagram.size());
    } else if (datagram.size() == size) {
      blast.note();
    }
  }
}

// Round trips in microseconds of pings of size against a raw_respond, after warmup unmeasured
// ones, leaving at most one per gap; a ping unanswered within a second is not counted, and none
// are sent when the responder never answers. Ends the responder.
inline std::vector<double> raw_round_trips(const raw_link& link, size_t size, int warmup, int pings,
                                           std::chrono::microseconds gap) {
  raw_multicast socket;
  std::vector<uint8_t> ping(size, 0x5A), reply;
  ping[0] = 'P';
  std::vector<double> samples;
  if (socket.listen(link.pong_group, link.port)) {
    // The responder may not have joined yet: the first pings are allowed to go unanswered.
    bool answered = false;
    for (int tries = 0; tries < 50 && !answered; ++tries) {
      socket.send_to(link.ping_group, link.port, ping.data(), ping.size());
      answered = raw_wait(socket, reply, size, 100);
    }
    for (int i = 0; answered && i < warmup + pings; ++i) {
      const auto start = bench_clock::now();
      socket.send_to(link.ping_group, link.port, ping.data(), ping.size());
      if (!raw_wait(socket, reply, size, 1000)) continue;
      if (i >= warmup) samples.push_back(std::chrono::duration<double, std::micro>(bench_clock::now() - start).count());
      while (bench_clock::now() - start < gap) {
      }
    }
  }
  socket.send_to(link.ping_group, link.port, quit_word.data(), quit_word.size());
  return samples;
}

// Sends count datagrams of size as fast as the socket takes them; what the responder counted.
// Ends the responder.
inline throughput raw_blast_delivered(const raw_link& link, size_t size, int count) {
  raw_multicast socket;
  std::vector<uint8_t> message(size, 0xB1), reply;
  message[0] = 'B';
  throughput result;
  if (socket.listen(link.pong_group, link.port)) {
    // A report answers when the responder listens; then the blast starts.
    for (int tries = 0; tries < 50; ++tries) {
      socket.send_to(link.ping_group, link.port, end_word.data(), end_word.size());
      if (raw_wait(socket, reply, 12, 100)) break;
    }
    for (int i = 0; i < count; ++i) socket.send_to(link.ping_group, link.port, message.data(), message.size());
    for (int tries = 0; tries < 20; ++tries) {
      socket.send_to(link.ping_group, link.port, end_word.data(), end_word.size());
      if (raw_wait(socket, reply, 12, 200)) {
        result = read_report(reply);
        break;
      }
    }
  }
  socket.send_to(link.ping_group, link.port, quit_word.data(), quit_word.size());
  return result;
}
