// The parts of the distribution manager that every file of its services shares: the service
// frame, the ticking guard, the refusal texts and the names of the managers a service cannot
// reach yet. Private to core/frame.
#pragma once

#include <cstdint>
#include <mutex>

#include "federation/federation_manager.h"
#include "frame/argument_checker.h"
#include "frame/debugging_events.h"
#include "frame/intercept_list.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "frame/rti_api_call.h"
#include "message_stats.h"

namespace varnel {

// Which optional frame steps a service runs.
enum class frame_kind { joined, unjoined, guarded_unjoined, guarded_joined };

inline bool checks_joined(frame_kind kind) { return kind == frame_kind::joined || kind == frame_kind::guarded_joined; }
inline bool guards_ticking(frame_kind kind) {
  return kind == frame_kind::guarded_unjoined || kind == frame_kind::guarded_joined;
}

// The word the ticking guard's message names the call by.
inline const char* guard_word(rti_api_call call) {
  switch (call) {
    case rti_api_call::tick: return "\"tick\"";
    case rti_api_call::tickWithTimes: return "\"tick_with_times\"";
    default: return rti_api_call_name(call);
  }
}

// Sets the ticking flag for tick, join and resign, refusing when it is set already (a callback
// calling them from inside tick); clears it on every way out.
class local_distribution_manager::ticking_guard {
public:
  ticking_guard(local_distribution_manager& ldm, rti_api_call call, bool active) : ldm_(ldm), active_(active) {
    if (!active_) return;
    if (ldm_.ticking_) {
      throw make_ldm_exception(ldm_error::ConcurrentAccessAttempted, "%s was called while we are ticking",
                               guard_word(call));
    }
    ldm_.ticking_ = true;
  }
  ~ticking_guard() {
    if (active_) ldm_.ticking_ = false;
  }
  ticking_guard(const ticking_guard&) = delete;
  ticking_guard& operator=(const ticking_guard&) = delete;

private:
  local_distribution_manager& ldm_;
  bool active_;
};

// The frame around every service, as a scope: lock, ticking guard, one count in the "api"
// tracker, the trace line, the joined check. The intercepts run before the frame is entered
// (intercepts_->vetoes, the line before it in every service), so a vetoed call is neither locked
// nor counted. While the manager is built or destroyed services refuse before they count.
class local_distribution_manager::service_frame {
public:
  service_frame(local_distribution_manager& ldm, rti_api_call call, frame_kind kind = frame_kind::joined)
      : call_(call), lock_(ldm.lock_), guard_(ldm, call, guards_ticking(kind) && ldm.serving_) {
    if (!ldm.serving_) {
      throw make_ldm_exception(ldm_error::InternalError,
                               "%s was called while the RTI ambassador is being built or destroyed", name());
    }
    const auto number = static_cast<uint32_t>(call);
    ldm.stats_->note_event(ldm.api_tracker_, number, 1);
    if (dstream* trace = ldm.api_trace_[number]; trace->is_on())
      *trace << "local_distribution_manager: " << name() << " called" << std::endl;
    if (checks_joined(kind)) ldm.federation_manager_->check_joined(name());
  }

  const char* name() const { return rti_api_call_name(call_); }

private:
  rti_api_call call_;
  std::unique_lock<std::recursive_mutex> lock_;
  ticking_guard guard_;
};

}  // namespace varnel
