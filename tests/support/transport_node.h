// One stream manager with everything it needs to run on its own (clock, scheduler, statistics,
// RID) and one service whose client records what arrives: the unit the transport tests, the
// peer process and the benchmark are built from. Each node owns all of its parts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "byte_order.h"
#include "ldm_buf.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "test_rid.h"

constexpr unsigned char test_release = 0x22;
constexpr const char* test_service_name = "transport_test";

struct received_message {
  int stream;
  unsigned char priority;
  std::vector<uint8_t> payload;
};

// Keeps every message's payload (the bytes from the read position to the end) in arrival order.
class recording_client : public vessmark::stream_service_client {
public:
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override {
    const uint32_t start = buffer->get_iptr();
    const uint32_t length = buffer->get_size() > start ? buffer->get_size() - start : 0;
    received_message message{stream, priority, {}};
    if (length > 0) {
      const char* bytes = buffer->read_is(length);
      message.payload.assign(bytes, bytes + length);
    }
    if (on_message) on_message(message);
    messages.push_back(std::move(message));
  }

  std::vector<received_message> messages;
  std::function<void(const received_message&)> on_message;
};

class transport_node {
public:
  explicit transport_node(const test_rid_options& options, const char* service = test_service_name)
      : rid_(make_test_rid(options)),
        scheduler_(clock_),
        stats_(scheduler_),
        manager_(*rid_, scheduler_, stats_, test_release),
        service_(&manager_, &client_, service) {}

  vessmark::stream_manager& manager() { return manager_; }
  vessmark::stream_service& service() { return service_; }
  recording_client& client() { return client_; }
  std::vector<received_message>& messages() { return client_.messages; }
  brindle::scheduler& sched() { return scheduler_; }

  // Sends payload as one message on stream.
  void send(int stream, const std::vector<uint8_t>& payload, unsigned char priority = 0) {
    brindle::ldm_buf* buffer = service_.get_buf();
    if (!payload.empty()) buffer->write_os(payload.data(), static_cast<uint32_t>(payload.size()));
    service_.send(stream, priority, buffer);
    buffer->release_buf();
  }

  // One pass of the scheduler that waits at most wait_ms for traffic.
  void tick(uint64_t wait_ms = 0) { scheduler_.tick(wait_ms, wait_ms + 50); }

private:
  std::unique_ptr<brindle::RID> rid_;
  brindle::millisecond_clock clock_;
  brindle::scheduler scheduler_;
  brindle::message_stats_tracker stats_;
  recording_client client_;
  vessmark::stream_manager manager_;
  vessmark::stream_service service_;
};

// Ticks every node in turn, each waiting at most a few milliseconds, until done() holds or
// timeout_ms passes; returns done()'s last value.
inline bool tick_until(const std::vector<transport_node*>& nodes, const std::function<bool()>& done,
                       int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    for (transport_node* node : nodes) node->tick(2);
  }
  return true;
}

// Ticks every node in turn for ms milliseconds, for checks that something does not arrive.
inline void tick_for(const std::vector<transport_node*>& nodes, int ms) {
  tick_until(nodes, [] { return false; }, ms);
}

// The sender and sequence number of a test_payload; 0 for a payload too short to carry them.
inline uint32_t sender_of(const received_message& m) {
  return m.payload.size() >= 4 ? brindle::load_be32(m.payload.data()) : 0;
}
inline uint32_t sequence_of(const received_message& m) {
  return m.payload.size() >= 8 ? brindle::load_be32(m.payload.data() + 4) : 0;
}

// A payload that says who sent it and which it is, so a receiver can check it whole: bytes
// 0-3 the sender, 4-7 the sequence number (big-endian; shorter payloads keep a prefix), then
// bytes that depend on both and on their position.
inline std::vector<uint8_t> test_payload(uint32_t sender, uint32_t sequence, size_t length) {
  std::vector<uint8_t> payload(length);
  uint32_t state = sender * 2654435761u ^ (sequence + 0x9e3779b9u);
  for (size_t i = 0; i < length; ++i) {
    state = state * 1664525u + 1013904223u;
    payload[i] = static_cast<uint8_t>(state >> 24);
  }
  const uint8_t head[8] = {uint8_t(sender >> 24), uint8_t(sender >> 16), uint8_t(sender >> 8), uint8_t(sender),
                           uint8_t(sequence >> 24), uint8_t(sequence >> 16), uint8_t(sequence >> 8),
                           uint8_t(sequence)};
  std::memcpy(payload.data(), head, std::min<size_t>(length, sizeof head));
  return payload;
}
