// The ping service of one joined federate: the plain stream service "ping", joined to stream 2
// for as long as it lives. It answers every request addressed to it or to everyone (at most
// max_answers_per_second, so that a ping of the whole federation cannot make every federate
// flood), and runs this federate's own pings: a request every period on the pinged stream,
// with replies counted per responder. ping_client observers (the console reporter among them)
// hear each reply and the statistics when a run ends.
//
// A stream does not hand a federate its own sends, so a pinger that has joined the pinged
// stream passes its request to itself, and a responder that answers itself passes the reply
// to itself. Duplicate replies (a responder heard twice, a reply to a sequence never sent) are
// not counted, so received never exceeds sent.
//
// Built at join between the argument checker and the transport manager and torn down after the
// text output interceptor (joined_managers). Wire form: ping_messages.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "console/ping_messages.h"
#include "stream_service.h"
#include "timers.h"

namespace brindle {
class scheduler;
}  // namespace brindle

namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

// What one responder answered during a run.
struct ping_responder {
  uint32_t received = 0;
  double total_ms = 0;
  double total_squares = 0;
  uint32_t min_ms = 0;
  uint32_t max_ms = 0;
  std::vector<bool> seen;  // by sequence: one reply per sequence counts

  // 0 when nothing came back.
  double average_ms() const;
  double deviation_ms() const;
};

struct ping_statistics {
  uint32_t sent = 0;
  std::map<unsigned, ping_responder> responders;

  // (1 - received / sent) x 100, truncated and kept within 0 - 100.
  static uint32_t loss_percent(uint32_t sent, uint32_t received);
};

class ping_client {
public:
  virtual ~ping_client() = default;
  virtual void ping_reply(unsigned responder, uint32_t sequence, int stream, uint32_t round_trip_ms) = 0;
  // The run ended: its last period passed, or it was stopped or replaced.
  virtual void ping_finished(const ping_statistics& statistics) = 0;
};

class ping : public vessmark::stream_service_client {
public:
  static constexpr int reply_stream = 2;
  static constexpr unsigned char priority = 16;
  static constexpr uint32_t count_for_zero = 100000;
  static constexpr uint32_t min_period_ms = 1000;
  static constexpr size_t max_responders = 1024;
  static constexpr uint32_t max_answers_per_second = 50;

  struct counters {
    uint64_t requests_sent = 0;
    uint64_t answered = 0;
    uint64_t not_answered = 0;       // over max_answers_per_second
    uint64_t replies_counted = 0;
    uint64_t replies_ignored = 0;    // duplicates, not ours, not of this run, no room
  };

  // self is this federate's handle.
  ping(vessmark::stream_manager& streams, brindle::scheduler& on, unsigned self);
  ~ping() override;
  ping(const ping&) = delete;
  ping& operator=(const ping&) = delete;

  // Pings stream, asking target (0: everyone on it). A run in progress ends first; a count of 0
  // means count_for_zero and a period below min_period_ms becomes min_period_ms. The first
  // request goes out at once.
  void start(int stream, unsigned target, uint32_t count, uint32_t period_ms);
  // Ends the run in progress, if any, and reports its statistics. False when none was running.
  bool stop();
  bool is_pinging() const { return running_; }
  const ping_statistics& statistics() const { return statistics_; }
  const counters& get_counters() const { return counters_; }

  void add_client(ping_client* client);
  void remove_client(ping_client* client);

  // A malformed message throws ldm_decode_error, which the transport counts.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

private:
  class request_timer : public brindle::oneshot_realtime_timer {
  public:
    explicit request_timer(ping& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.next_request(); }

  private:
    ping& owner_;
  };

  void next_request();
  void send(int stream, const ping_message& message);
  void answer(const ping_message& request);
  void count_reply(const ping_message& reply);
  bool may_answer();
  uint32_t now32() const;

  vessmark::stream_manager& streams_;
  brindle::scheduler& scheduler_;
  const unsigned self_;
  std::unique_ptr<vessmark::stream_service> service_;
  std::vector<ping_client*> clients_;
  bool running_ = false;
  int stream_ = 0;
  unsigned target_ = 0;
  uint32_t left_ = 0;
  uint32_t period_ms_ = min_period_ms;
  ping_statistics statistics_;
  uint64_t answer_window_ = 0;  // the second answers are counted in
  uint32_t answers_in_window_ = 0;
  counters counters_;
  request_timer timer_{*this};
};

}  // namespace varnel
