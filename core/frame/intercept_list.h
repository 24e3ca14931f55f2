// The intercepts of one distribution manager, newest first, and the walk that calls them before
// each service and each callback. The distribution manager owns the list; the list owns the
// intercepts it holds at its end and deletes them then.
//
// Services walk the list before the distribution manager's lock is taken, so the list has a
// small lock of its own. An add or a delete made while a walk runs (from another thread, or from
// an intercept: one that deletes itself, another or adds one) changes the list only once no walk
// runs, so a walk never steps onto a freed entry; a deleted intercept is not called again, not
// even by the walk in progress, and an added one is first called by the next walk.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "frame/intercept.h"
#include "frame/ldm_error.h"

namespace varnel {

class intercept_list {
public:
  intercept_list() = default;
  // Deletes every intercept still listed.
  ~intercept_list();
  intercept_list(const intercept_list&) = delete;
  intercept_list& operator=(const intercept_list&) = delete;

  // Lists hook first. A null hook or one already listed is ignored with a line: adding twice
  // would make the walk call it twice.
  void add(intercept* hook);
  // Unlists hook, which belongs to its caller again. One that is not listed is ignored with a
  // line.
  void remove(intercept* hook);
  // Deletes every listed intercept and empties the list.
  void delete_all();

  // Calls call(intercept&) on every listed intercept, newest first. True when one vetoed (threw
  // ldm_exception with code None); another ldm_exception propagates; anything else is reported
  // and the walk goes on.
  template <class Call>
  bool vetoes(Call call) {
    if (listed_.load(std::memory_order_acquire) == 0) return false;
    walk_scope walk(*this);
    for (const auto& entry : entries_) {
      if (entry->removed.load(std::memory_order_acquire)) continue;
      try {
        call(*entry->hook);
      } catch (const ldm_exception& refusal) {
        if (refusal.code() == ldm_error::None) return true;
        throw;
      } catch (...) {
        report_unknown_exception();
      }
    }
    return false;
  }

private:
  struct entry {
    explicit entry(intercept* h) : hook(h) {}
    intercept* hook;
    std::atomic<bool> removed{false};
  };

  // Counts a walk in progress; the last one to end applies the changes made meanwhile.
  class walk_scope {
  public:
    explicit walk_scope(intercept_list& list);
    ~walk_scope();
    walk_scope(const walk_scope&) = delete;
    walk_scope& operator=(const walk_scope&) = delete;

  private:
    intercept_list& list_;
  };

  static void report_unknown_exception();
  bool is_listed(const intercept* hook) const;
  void apply_changes();

  mutable std::mutex mutex_;
  std::atomic<size_t> listed_{0};  // entries not removed, for the walk's quick test
  unsigned walks_ = 0;
  std::vector<std::unique_ptr<entry>> entries_;  // newest first; changes only while no walk runs
  std::vector<intercept*> added_;                // added during walks, oldest first
};

}  // namespace varnel
