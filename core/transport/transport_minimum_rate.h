// The minimum-rate transport keeps updated objects flowing about once every heartbeat_interval:
// each local object it sent is asked of its federate again (an immediate provide request of the
// consistency manager) on its turn, and the answer, again an update, keeps it due for the next
// turn. Receivers forget a remote object not heard for about timeout_time: it is deleted as a
// remote object. Local objects are spread over m transmit lists, one processed per timer run,
// so that the requests of a whole cycle do not come at once. Updates go best effort; it carries
// no interactions. Built and owned by the transport manager.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

#include "timers.h"
#include "transport/transport_service.h"

namespace varnel {

class transport_minimum_rate : public transport_service, public brindle::periodic_realtime_timer {
public:
  static constexpr uint32_t max_priority = 0x3f;
  static constexpr unsigned char default_heartbeat_priority = 0x10;
  static constexpr unsigned char default_change_priority = 0x30;

  // Reads heartbeat_interval and timeout_time (milliseconds), heartbeat_priority and
  // change_priority of the transport's RID entry. An interval below 1 ms becomes 1 and one below
  // a list's 250 ms gets one list, with a warning either way.
  transport_minimum_rate(transport_manager& manager, uint32_t id, brindle::RID& rid, bool no_shared);
  ~transport_minimum_rate() override;

  void send_update(brindle::ldm_buf* buffer, int stream, const object_entry& object,
                   const brindle::bit_vector& attributes, bool changed) override;
  void send_interaction(brindle::ldm_buf* buffer, int stream) override;
  int accept_update(const data_message& message, const object_entry& object, int stream) override;
  bool accept_interaction(const data_message& message, int stream) override;
  bool carries_interactions() const override { return false; }

  void attributes_assigned(const object_entry& object, const brindle::bit_vector& attributes) override;
  void attributes_lost(const object_entry& object, const brindle::bit_vector& attributes) override;
  void attributes_restreamed(const object_entry& object, const brindle::bit_vector& attributes, int stream) override;
  void ownership_changed(const object_entry& object, const brindle::bit_vector& attributes, bool gaining) override;
  void object_removed(const object_entry& object) override;

  uint64_t get_cycle_period() const { return period_ms_; }
  size_t transmitting() const { return transmit_.size(); }
  size_t receiving() const { return countdown_.size(); }

protected:
  void on_timer() override;

private:
  struct transmit_entry {
    uint32_t list;
    bool due = false;
  };
  void transmit(uint32_t object);
  void stop_transmitting(uint32_t object);
  void receive_cycle();
  void time_out(uint32_t object);
  brindle::bit_vector local_attributes(const object_entry& object) const;
  bool has_remote_attributes(const object_entry& object) const;

  uint64_t heartbeat_ms_;
  uint64_t period_ms_;
  uint32_t cycles_heard_;  // receive cycles a remote object lives after it was heard
  unsigned char heartbeat_priority_;
  unsigned char change_priority_;
  std::unordered_map<uint32_t, transmit_entry> transmit_;
  std::vector<std::set<uint32_t>> lists_;
  uint32_t next_list_ = 0;
  uint32_t current_list_ = 0;
  std::unordered_map<uint32_t, uint32_t> countdown_;
};

}  // namespace varnel
