// Status queries: asks every federate on the network, joined to a federation or not, for a
// snapshot of its state (version, uptime, identity, names, object counts, connection), collects
// the answers for the diagnostics console, and answers other processes' queries. Every
// distribution manager owns one from its construction to its end; it listens on stream 1 through
// the service "status_query_monitor" (messages in status_query_messages.h).
//
// Anyone on the network can ask, and every federate answers: names, hosts and versions are not
// secret from it. So that a flood of queries cannot turn every listener into an amplifier, a
// monitor answers at most max_answers_per_second queries a second; open queries and their answers
// are bounded too.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <vector>

#include "federate_identifier.h"
#include "federation/status_query_messages.h"
#include "stream_service.h"

namespace varnel {

class local_distribution_manager;

class status_query_monitor : public vessmark::stream_service_client {
public:
  static constexpr int stream = 1;
  static constexpr unsigned char priority = 0x30;
  static constexpr size_t max_open_queries = 16;  // asking again drops the oldest
  static constexpr size_t max_answers = 4096;     // per query; later answers are dropped
  static constexpr unsigned max_answers_per_second = 20;

  struct query {
    uint32_t number = 0;
    int64_t asked_at = 0;  // calendar time, seconds
    std::vector<status_snapshot> answers;  // this federate's own first
  };

  // Messages heard and not used, by reason.
  struct drop_counts {
    uint64_t rate_limited = 0;   // queries not answered: the second's answers were spent
    uint64_t not_ours = 0;       // answers to another process's query
    uint64_t unknown_query = 0;  // answers to a query no longer open
    uint64_t answers_full = 0;   // answers past max_answers
  };

  // Joins stream 1. Answers are addressed by the federation manager's identifier, which every
  // process has from its start: the federate identifier is zero in every process not joined.
  explicit status_query_monitor(local_distribution_manager& ldm);
  ~status_query_monitor() override;
  status_query_monitor(const status_query_monitor&) = delete;
  status_query_monitor& operator=(const status_query_monitor&) = delete;

  // Opens a query with this federate's own snapshot as its first answer and asks the network;
  // returns the query's number.
  uint32_t ask();
  // This federate's snapshot now.
  status_snapshot snapshot() const;

  // For the diagnostics console: the open queries, oldest first; one of them by number (null
  // when it is no longer open); a line per open query; a query's answers in full.
  const std::deque<query>& get_queries() const { return queries_; }
  const query* find_query(uint32_t number) const;
  // Drops a query and its answers; false when it is not open.
  bool forget_query(uint32_t number);
  void print_queries(std::ostream& out) const;
  void print_answers(uint32_t number, std::ostream& out) const;
  static void print_snapshot(const status_snapshot& snapshot, std::ostream& out);
  const drop_counts& get_drops() const { return drops_; }

  // A query or an answer from stream 1, inside tick; a malformed one throws ldm_decode_error.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

private:
  void answer(const status_message& asked);
  void collect(status_message&& answer);
  bool spend_answer();
  void send(const status_message& message);

  local_distribution_manager& ldm_;
  brindle::federate_identifier identifier_;
  std::unique_ptr<vessmark::stream_service> service_;
  uint32_t next_number_ = 1;
  std::deque<query> queries_;
  uint64_t answer_second_ = 0;  // the scheduler clock's second the answer count belongs to
  unsigned answers_this_second_ = 0;
  drop_counts drops_;
};

}  // namespace varnel
