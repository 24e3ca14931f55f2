// Test beds for the message services: a stream manager with its own RID, clock, scheduler and
// statistics, one message service on it, a client that records every delivered payload, and
// the service's trace captured as text. Network nodes run on the real clock over loopback
// multicast; a manual node runs on a clock the test moves and gets its messages injected.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frame/debugging_events.h"
#include "federate_identifier.h"
#include "ldm_buf.h"
#include "messages/message_service.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "test_rid.h"

struct delivered_message {
  int stream;
  unsigned char priority;
  std::string payload;
};

// Keeps every delivered payload (a string, as message_node::send writes it) in delivery order.
class recording_message_client : public varnel::message_service_client {
public:
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override {
    const char* text;
    *buffer >> text;
    messages.push_back({stream, priority, text});
  }
  std::vector<delivered_message> messages;
};

// A clock that only moves when the test says so.
class stepped_clock : public brindle::millisecond_clock {
public:
  stepped_clock() : brindle::millisecond_clock(0) {}
  void advance(uint64_t ms) { counter_ += ms; }
protected:
  uint64_t read_counter() override { return counter_; }
private:
  uint64_t counter_ = 0;
};

template <typename Service, typename Clock = brindle::millisecond_clock>
class message_node {
public:
  template <typename... Extra>
  message_node(const test_rid_options& options, const char* name, Extra&&... extra)
      : rid_(make_test_rid(options)),
        scheduler_(clock_),
        stats_(scheduler_),
        manager_(*rid_, scheduler_, stats_, 0x22),
        trace_("test", wall_) {
    trace_.buffer().set_target(&trace_text);
    service = std::make_unique<Service>(&manager_, &client, name, trace_, scheduler_, std::forward<Extra>(extra)...);
  }
  ~message_node() { service.reset(); }

  vessmark::stream_manager& manager() { return manager_; }
  Clock& clock() { return clock_; }
  std::vector<delivered_message>& messages() { return client.messages; }
  void tick(uint64_t wait_ms = 0) { scheduler_.tick(wait_ms, wait_ms + 50); }

  // Moves a stepped clock in timer-period steps, running the timers at each.
  void run_for(uint64_t ms, uint64_t step = 100) {
    for (uint64_t t = 0; t < ms; t += step) {
      clock_.advance(step);
      scheduler_.tick(0, 0);
    }
  }

  // A buffer that holds the words written by fill and reads as a received message would.
  brindle::ldm_buf* received(const std::function<void(brindle::ldm_buf&)>& fill) {
    brindle::ldm_buf* buffer = manager_.get_buf();
    fill(*buffer);
    buffer->set_received();
    buffer->set_iptr(brindle::ldm_buf::message_header_size);
    return buffer;
  }

  // Sends a payload (text without NULs) through the service.
  void send(int stream, const std::string& payload, unsigned char priority = 0) {
    brindle::ldm_buf* buffer = service->get_buf();
    *buffer << payload.c_str();
    service->send(stream, priority, buffer);
    buffer->release_buf();
  }

  // Trace lines that start with prefix.
  std::vector<std::string> trace_lines(const std::string& prefix) const {
    std::vector<std::string> lines;
    std::istringstream in(trace_text.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }

  recording_message_client client;
  std::ostringstream trace_text;
  std::unique_ptr<Service> service;

private:
  std::unique_ptr<brindle::RID> rid_;
  Clock clock_;
  brindle::scheduler scheduler_;
  brindle::message_stats_tracker stats_;
  vessmark::stream_manager manager_;
  varnel::wall_clock wall_ = varnel::system_wall_clock;
  varnel::dstream trace_;
};

// Ticks every node in turn until done() holds or timeout_ms passes; returns done()'s last value.
template <typename... Nodes>
bool run_until(const std::function<bool()>& done, int timeout_ms, Nodes&... nodes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    (nodes.tick(2), ...);
  }
  return true;
}

inline test_rid_options rid_on_port(uint16_t port, double loss = 0.0, uint32_t seed = 1) {
  test_rid_options options;
  options.port = port;
  options.loss_probability = loss;
  options.loss_seed = seed;
  return options;
}
