// The stream transport of one distribution manager: numbered streams over UDP multicast on
// one interface. It owns its sockets, the sending pipeline (bundler, fragmenter, rate limit,
// packet loss) and the reassembly of received messages, and hands each received message to
// the stream_services of its name, only inside scheduler::tick on the ticking thread.
//
// Packet (an ldm_buf packet; bytes 8-23 belong to the transport):
//   0-7    version, payload length, Adler-32 (ldm_buf)
//   8      release byte             9-11   stream number (24 bits)
//   12-15  sender's identity        16-19  federation number
//   20-21  message sequence of the sender (fragmented messages)
//   22-23  fragment index, high bit set on the last fragment (0x8000 for a whole packet)
// Message header (ldm_buf; bytes 1, 12-15 and 20-23 belong to the transport):
//   1      priority                 12-15  tag of the service name
//   20-23  stream number
// A packet holds one message, several bundled small messages, or one fragment of a message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "bundler.h"
#include "conn_status.h"
#include "timers.h"
#include "vessmark_export.h"

namespace brindle {
class RID;
class ldm_buf;
class scheduler;
class message_stats_tracker;
class sparse_bit_vector;
class buffer_manager_factory;
class buffer_pool_manager;
}  // namespace brindle

namespace vessmark {

class stream_service;
class fragment_reassembly;
class rate_limit;
class packet_loss;
class udp_multicast;

// Told when the set of joined streams changes: streams_joined with the streams that began to
// be received, streams_left with those that stopped.
class VESSMARK_EXPORT stream_join_client {
public:
  virtual ~stream_join_client() = default;
  virtual void streams_joined(const brindle::sparse_bit_vector& streams);
  virtual void streams_left(const brindle::sparse_bit_vector& streams);
};

// Why packets and messages were dropped; all counts since construction.
struct stream_drop_counts {
  uint64_t malformed_packet = 0;    // length, version or Adler-32 wrong
  uint64_t wrong_release = 0;       // another release byte
  uint64_t other_federation = 0;    // another federation number on a stream other than 1
  uint64_t not_joined = 0;          // a stream this manager does not receive
  uint64_t own_packet = 0;          // sent by this manager (multicast loops back)
  uint64_t bad_fragment = 0;        // fragment index or count out of bounds or inconsistent
  uint64_t fragments_expired = 0;   // messages whose fragments did not all come in time
  uint64_t reassembly_full = 0;     // messages refused because the reassembly table was full
  uint64_t malformed_message = 0;   // message header, length or CRC-32C wrong
  uint64_t undecodable = 0;         // the receiving service could not decode the message
  uint64_t no_service = 0;          // no service of that name here
  uint64_t rate_limit_overflow = 0; // sent packets dropped from the full rate-limit queue
  uint64_t lost = 0;                // sent packets dropped by the packet loss stage
  uint64_t send_failed = 0;         // the socket refused a packet

  uint64_t received_total() const;
  uint64_t sent_total() const { return rate_limit_overflow + lost + send_failed; }
};

class VESSMARK_EXPORT stream_manager {
public:
  // Highest stream number plus one: the packet header carries 24 bits.
  static constexpr int stream_limit = 1 << 24;
  // Longest message sent, in bytes on the wire; receivers keep room to reassemble two.
  static constexpr uint32_t max_message_bytes = 16u << 20;
  // Streams share this many multicast groups: group = base_address + stream % group_count.
  static constexpr int group_count = 64;

  // Reads the multicast provider's settings and the interface from rid, opens the sending
  // socket and hooks the receive timer onto the scheduler; stream 1 is joined by its users.
  // Socket failures are printed and leave a manager that sends and hears nothing.
  stream_manager(brindle::RID& rid, brindle::scheduler& on, brindle::message_stats_tracker& stats, unsigned char release);
  ~stream_manager();
  stream_manager(const stream_manager&) = delete;
  stream_manager& operator=(const stream_manager&) = delete;

  void set_federate(unsigned handle) { federate_ = handle; }
  // 0 while not joined to a federation.
  // Sends every open bundle first: bundles are stamped when they leave, and what was written
  // under the old number must go out under it.
  void set_federation(unsigned number);
  unsigned get_federate() const { return federate_; }
  unsigned get_federation() const { return federation_; }

  // Joins are counted per stream: a stream is received while it has more joins than leaves.
  // A stream outside 0 .. stream_limit - 1 is refused with a message.
  void join(int stream);
  void leave(int stream);
  void join(const brindle::sparse_bit_vector& streams);
  void leave(const brindle::sparse_bit_vector& streams);
  bool is_joined(int stream) const;
  // True when at least one of streams is joined.
  bool is_joined(const brindle::sparse_bit_vector& streams) const;
  void add_stream_join_client(stream_join_client* client);
  void drop_stream_join_client(stream_join_client* client);

  conn_status get_uplink_status() const;
  // This transport runs no routers: no connections, never running.
  std::vector<conn_status> get_router_status() const { return {}; }
  bool is_router_running() const { return false; }

  void print_joins(FILE* out = stdout) const;
  void print_chain(FILE* out = stdout) const;
  void print_buffers(FILE* out = stdout) const;
  void print_router(FILE* out = stdout) const;
  void print_router_connection(int connection, FILE* out = stdout) const;

  // For stream_service. A priority with send_now set sends the stream's open bundle at once,
  // with the message in it, instead of letting it wait for the bundle timeout.
  static constexpr unsigned char send_now = 0x80;
  brindle::ldm_buf* get_buf();
  void send(int stream, unsigned char priority, uint32_t tag, brindle::ldm_buf* buffer);
  void flush(int stream);
  void add_service(stream_service* service);
  void drop_service(stream_service* service);

  // One datagram as it came off a socket: checked, reassembled and delivered. The socket
  // reader uses it, and tests and the fuzz target feed it directly.
  void receive_datagram(const uint8_t* bytes, size_t length);
  // Reads what waits on the receive sockets now (the receive timer does this each run).
  void receive_pending();

  // Replaces the packet loss stage, so that a test loses exactly the packets of one moment.
  void set_packet_loss(double probability, uint32_t seed);

  uint32_t get_identity() const { return identity_; }
  const stream_drop_counts& get_drops() const { return drops_; }
  size_t receive_socket_count() const;
  uint32_t get_packet_size() const;

private:
  class receive_timer : public brindle::periodic_realtime_timer {
  public:
    explicit receive_timer(stream_manager& owner) : owner_(owner) {}
  protected:
    void on_timer() override { owner_.receive_pending(); }
  private:
    stream_manager& owner_;
  };
  // Runs the sending pipeline's deadlines: bundles that waited long enough, packets the rate
  // limit held back, reassemblies that ran out of time.
  class pipeline_timer : public brindle::oneshot_realtime_timer {
  public:
    explicit pipeline_timer(stream_manager& owner) : owner_(owner) {}
  protected:
    void on_timer() override { owner_.run_pipeline(); }
  private:
    stream_manager& owner_;
  };

  bool valid_stream(int stream, const char* operation) const;
  void change_joins(const std::vector<int>& joined, const std::vector<int>& left);
  void update_groups();
  void rearm_triggers();
  // Where a stamped packet goes: the rate limit, or straight to the socket for a closing
  // manager, which cannot wait for the limit any more.
  enum class route { rate_limit, socket };
  // Every packet this manager sends passes here: it stamps the transport header (a whole
  // packet is the last fragment of sequence 0) and hands the packet on by via.
  void send_packet(std::vector<uint8_t> packet, int stream, unsigned char priority, uint16_t sequence,
                   uint16_t fragment, route via);
  // Sends the bundles the bundler closed, each as a whole packet.
  void send_bundles(std::vector<bundler::packet>& ready, route via);
  // Closes and sends every open bundle of every stream.
  void send_open_bundles(route via);
  void write_out(const std::vector<uint8_t>& packet);
  void run_pipeline();
  void schedule_pipeline();
  void accept_group(int stream, const std::vector<std::vector<uint8_t>>& packets);
  void deliver_messages(int stream, brindle::ldm_buf* buffer);
  void deliver_copy(int stream, brindle::ldm_buf* buffer, uint32_t position, uint32_t length);
  void deliver(int stream, brindle::ldm_buf* buffer);

  brindle::scheduler& scheduler_;
  brindle::message_stats_tracker& stats_;
  int sent_tracker_;
  int received_tracker_;
  unsigned char release_;
  uint32_t identity_;
  unsigned federate_ = 0;
  unsigned federation_ = 0;
  uint16_t next_sequence_ = 0;
  std::map<int, unsigned> joins_;  // stream -> join count, only streams with joins
  std::vector<stream_join_client*> join_clients_;
  std::vector<stream_service*> services_;
  std::unique_ptr<brindle::buffer_manager_factory> factory_;
  brindle::buffer_pool_manager* pool_;
  std::unique_ptr<udp_multicast> network_;
  std::unique_ptr<bundler> bundler_;
  std::unique_ptr<fragment_reassembly> reassembly_;
  std::unique_ptr<rate_limit> rate_limit_;
  std::unique_ptr<packet_loss> loss_;
  conn_status status_;
  stream_drop_counts drops_;
  // Where datagrams are read, allocated once: a receive pass runs at every readable socket, and
  // filling 64 KB per pass cost more than the rest of a small message's way in.
  std::vector<uint8_t> datagram_;
  receive_timer receive_timer_;
  pipeline_timer pipeline_timer_;
};

}  // namespace vessmark
