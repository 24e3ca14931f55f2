// The deletion memory: names of objects deleted here recently, so that a late update or
// announcement of a deleted object does not discover it again. A name is forgotten after the
// RID's objects.deletion_memory_length milliseconds (a periodic timer of that period sweeps),
// or early when the memory is full. Owned by the object manager.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "timers.h"

namespace varnel {

class remembered_object_queue : public brindle::periodic_realtime_timer {
public:
  // Deletions from the network fill it; beyond this many names the oldest goes first.
  static constexpr size_t max_names = 1u << 20;

  remembered_object_queue(brindle::scheduler& on, uint64_t length_ms);
  ~remembered_object_queue() override;

  void remember(const std::string& name);
  void forget(const std::string& name);
  // True until the name's expiry, whenever the sweep runs.
  bool contains(const std::string& name) const;
  size_t size() const { return expiry_.size(); }
  uint64_t get_length() const { return length_ms_; }

protected:
  void on_timer() override;

private:
  void drop_front();

  brindle::scheduler& scheduler_;
  uint64_t length_ms_;
  std::unordered_map<std::string, uint64_t> expiry_;
  // In order of expiry; an entry whose expiry no longer matches the map was forgotten or
  // remembered again later.
  std::deque<std::pair<std::string, uint64_t>> queue_;
};

}  // namespace varnel
