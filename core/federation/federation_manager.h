// The federation manager of one federate: keeps, from the heartbeats heard on stream 1 alone, the
// table of federations and their federates; creates, joins, resigns and destroys federations;
// gives this federate its handle; watches the other federates' liveness; detects federates that
// run with another FED or RID file; and carries the federation-wide shut-down. There is no
// central server: whether a federation exists is decided by what this federate has heard. The
// local_distribution_manager owns one from its construction to its destruction and serves as its
// federation_host.
//
// fedstate message (service "federation_manager", broadcast on stream 1 at priority 0x20;
// followed by a flush of stream 1 when the state is not Happy):
//   #   field                                   type
//   1   federation identifier                   federate_identifier (two words)
//   2   federation number (name_hash of name)   32-bit
//   3   federation name                         string
//   4   RID checksum of the federation          unsigned 32-bit
//   5   FED file name of the federation         string
//   6   FED checksum of the federation          unsigned 32-bit
//   7   federate identifier                     federate_identifier (two words)
//   8   federate handle                         unsigned 32-bit
//   9   federate name                           string
//   10  host name                               string
//   11  state: 0 Happy, 1 Resigned, 2 Vindictive signed 32-bit
//   12  local object count                      unsigned 32-bit
//   13  remote object count                     unsigned 32-bit
// Fields 1-6 come from the sender's joined federation record, 7-13 from its own federate record.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "federate_identifier.h"
#include "stream_service.h"
#include "timers.h"

namespace brindle {
class RID;
class ldm_buf;
class scheduler;
}  // namespace brindle
namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

class FED;
class debugging_events;
class dstream;
class federate_handle_set;
class federate_join_client;

// What a federate announces about itself.
enum class federate_state : int32_t { happy = 0, resigned = 1, vindictive = 2 };
// How recently a remote federate was heard.
enum class federate_liveness : int32_t { green = 0, amber = 1, red = 2, gone = 3 };

const char* federate_state_name(federate_state state);
const char* federate_liveness_name(federate_liveness liveness);

// Jenkins' one-at-a-time hash of the name, masked to 31 bits: the federation number.
uint32_t name_hash(const char* name);
// The identifier's hash masked to 31 bits: the federate handle. Not allocated centrally, so two
// federates whose identifiers hash alike get the same handle.
uint32_t identifier_hash(const brindle::federate_identifier& identifier);

struct federate_record {
  std::string name;
  brindle::federate_identifier identifier;
  unsigned handle = 0;
  uint64_t last_heard = 0;  // scheduler clock, milliseconds
  federate_state state = federate_state::happy;
  std::string host_name;    // at most 255 characters
  uint32_t local_objects = 0;
  uint32_t remote_objects = 0;
  federate_liveness liveness = federate_liveness::green;
};

struct federation_record {
  std::string name;
  uint32_t number = 0;  // name_hash(name)
  brindle::federate_identifier identifier;
  std::map<brindle::federate_identifier, std::unique_ptr<federate_record>> federates;
  uint32_t rid_checksum = 0;
  uint32_t fed_checksum = 0;
  std::string fed_file;            // as the creating federate named it
  bool created_here = false;       // made by this federate's create
  federate_record* own = nullptr;  // this federate's record, on the joined federation only
};

// The 13 fields of one fedstate message.
struct fedstate_message {
  brindle::federate_identifier federation;
  uint32_t number = 0;
  std::string federation_name;
  uint32_t rid_checksum = 0;
  std::string fed_file;
  uint32_t fed_checksum = 0;
  brindle::federate_identifier federate;
  uint32_t handle = 0;
  std::string federate_name;
  std::string host_name;
  federate_state state = federate_state::happy;
  uint32_t local_objects = 0;
  uint32_t remote_objects = 0;

  void write(brindle::ldm_buf& buffer) const;
  // Reads and validates every field: a string longer than max_text, a state outside 0-2, a
  // number that is not the name's hash or a wildcard identifier throws ldm_decode_error, as
  // does reading past the message.
  static fedstate_message read(brindle::ldm_buf& buffer);
  static constexpr size_t max_text = 4096;
};

// What the federation manager asks of the federate it serves: build the joined managers once a
// join is accepted, tear them down at resign, name the model they use, and end the federate at a
// federation-wide shut-down.
class federation_host {
public:
  virtual void join(FED* fed, const char* federate_name, const char* federation_name, unsigned federate_id,
                    unsigned federation_id, const brindle::federate_identifier& federate,
                    const brindle::federate_identifier& federation) = 0;
  virtual void resign() = 0;
  // The model the joined managers use; null while not joined.
  virtual FED* get_fed() const = 0;
  // Deletes the federate's distribution manager, and with it the federation manager.
  virtual void end_federate() = 0;

protected:
  ~federation_host() = default;
};

class federation_manager : public vessmark::stream_service_client {
public:
  static constexpr int stream = 1;
  static constexpr unsigned char priority = 0x20;
  // Bounds of the table, so that a flood of messages cannot take unbounded memory; messages
  // that would grow it further are dropped and counted.
  static constexpr size_t max_federations = 1024;
  static constexpr size_t max_federates = 4096;

  // Registers the debug flags "federation" and "federation_heartbeats", joins stream 1, reads
  // the federation timeouts from the RID and starts the 10 ms timer.
  federation_manager(brindle::RID& rid, brindle::scheduler& scheduler, vessmark::stream_manager& streams,
                     debugging_events& debug, federation_host& host);
  // Resigns first when still joined.
  ~federation_manager() override;
  federation_manager(const federation_manager&) = delete;
  federation_manager& operator=(const federation_manager&) = delete;

  // The services, called by the distribution manager under its lock. They refuse with
  // ldm_exception.
  void create(const char* federation_name, const char* fed_file);
  void destroy(const char* federation_name);
  unsigned join(const char* federate_name, const char* federation_name);
  void resign();

  // The frame's joined check: refuses with FederateNotExecutionMember naming the service.
  void check_joined(const char* service) const;
  federation_record* get_joined_federation() const { return joined_; }
  federate_record* get_own_federate() const { return joined_ ? joined_->own : nullptr; }
  void set_object_counts(unsigned locals, unsigned remotes);

  // Lookups in the joined federation; empty, 0 or null when unknown or not joined.
  const char* get_federate_name(unsigned handle) const;
  const char* get_federate_hostname(unsigned handle) const;
  void get_federate_object_counts(unsigned handle, unsigned& locals, unsigned& remotes) const;
  federate_record* find_federate(const brindle::federate_identifier& identifier) const;
  federate_record* find_by_handle(unsigned handle) const;
  // Adds the handle of every federate of the joined federation whose name matches pattern, an
  // extended case-insensitive regular expression; a pattern that does not compile adds nothing.
  void match_federates(const char* pattern, federate_handle_set& handles) const;

  void add_federate_join_client(federate_join_client* client);
  void remove_federate_join_client(federate_join_client* client);

  // When joined: turns this federate Vindictive and says so at once, which shuts the whole
  // federation down.
  void request_shutdown();
  // Ends the process from inside the distribution manager's own tick: prints why, resigns
  // (which passes what was printed on to the terminals), ends the federate and exits with
  // status, without unwinding into the freed frames of the tick.
  [[noreturn]] void end_process(const char* why, int status = 255);

  // For the console listings and tests.
  const std::map<std::string, std::unique_ptr<federation_record>>& get_federations() const { return federations_; }
  const brindle::federate_identifier& get_identifier() const { return identifier_; }
  // fedstate messages heard but dropped because the table was full.
  uint64_t get_table_full_drops() const { return table_full_drops_; }

  // One fedstate message from stream 1, inside tick; a malformed one throws ldm_decode_error
  // before anything changes.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

private:
  class step_timer : public brindle::periodic_realtime_timer {
  public:
    explicit step_timer(federation_manager& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.timer_step(); }

  private:
    federation_manager& owner_;
  };

  void apply(const fedstate_message& message);
  void check_mismatch(const federation_record& federation, const fedstate_message& message);
  void add_heard_federate(federation_record& federation, const fedstate_message& message);
  void obey_vindictive(const federation_record& federation, const fedstate_message& message);

  void timer_step();
  void sweep_liveness(uint64_t now);
  void watch_mismatch(uint64_t now);
  // The shut-down's last act: ends the federate (and so this manager) and the process with exit
  // status -1, never returning.

  void discovery_wait(const char* federation_name);
  void load_fed(const char* fed_file);
  void report_mismatch(const federation_record& federation, bool rid_differs, bool fed_differs) const;
  void send_fedstate();
  void forget_federate(federation_record& federation, federate_record& federate);
  // "<event>: <name> (<handle>)" on the federation trace.
  void trace_federate(const char* event, const federate_record& federate) const;
  federation_record* find_federation(const char* name) const;
  size_t federate_count() const;
  uint64_t now() const;
  bool is_joined_federation(const federation_record& federation) const { return &federation == joined_; }

  brindle::RID& rid_;
  brindle::scheduler& scheduler_;
  vessmark::stream_manager& streams_;
  debugging_events& debug_;
  federation_host& host_;
  dstream* trace_;
  dstream* heartbeat_trace_;
  std::unique_ptr<vessmark::stream_service> service_;
  step_timer timer_{*this};

  // Ordered by name, byte by byte.
  std::map<std::string, std::unique_ptr<federation_record>> federations_;
  brindle::federate_identifier identifier_;
  federation_record* joined_ = nullptr;
  // Every FED this manager loaded: the joined managers may still use an earlier one.
  std::vector<std::unique_ptr<FED>> feds_;
  FED* fed_ = nullptr;

  uint64_t heartbeat_interval_s_ = 5;
  uint64_t amber_timeout_ms_ = 12000;
  uint64_t red_timeout_ms_ = 30000;
  uint64_t gone_timeout_ms_ = 60000;
  bool discovery_done_ = false;
  bool mismatch_warned_ = false;
  uint64_t mismatch_deadline_ = 0;
  uint64_t last_mismatch_ = 0;
  uint64_t shutdown_deadline_ = 0;  // 0: none
  std::vector<federate_join_client*> join_clients_;
  uint64_t table_full_drops_ = 0;
};

}  // namespace varnel
