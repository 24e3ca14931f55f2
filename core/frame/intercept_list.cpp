#include "frame/intercept_list.h"

#include <algorithm>
#include <iostream>

namespace varnel {

intercept_list::~intercept_list() { delete_all(); }

void intercept_list::add(intercept* hook) {
  std::lock_guard lock(mutex_);
  if (!hook || is_listed(hook)) {
    std::cerr << "LDM: add_intercept of " << (hook ? "an intercept already added" : "a null intercept") << " ignored"
              << std::endl;
    return;
  }
  if (walks_ > 0) {
    added_.push_back(hook);
  } else {
    entries_.insert(entries_.begin(), std::make_unique<entry>(hook));
  }
  listed_.fetch_add(1, std::memory_order_release);
}

void intercept_list::remove(intercept* hook) {
  std::lock_guard lock(mutex_);
  if (auto waiting = std::find(added_.begin(), added_.end(), hook); hook && waiting != added_.end()) {
    added_.erase(waiting);
    listed_.fetch_sub(1, std::memory_order_release);
    return;
  }
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [&](const auto& e) { return e->hook == hook && !e->removed.load(); });
  if (!hook || found == entries_.end()) {
    std::cerr << "LDM: del_intercept of an intercept that is not listed ignored" << std::endl;
    return;
  }
  (*found)->removed.store(true, std::memory_order_release);
  listed_.fetch_sub(1, std::memory_order_release);
  if (walks_ == 0) entries_.erase(found);
}

void intercept_list::delete_all() {
  std::vector<intercept*> hooks;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
      if (!e->removed.load()) hooks.push_back(e->hook);
    hooks.insert(hooks.end(), added_.rbegin(), added_.rend());
    entries_.clear();
    added_.clear();
    listed_.store(0, std::memory_order_release);
  }
  // Outside the lock: a destructor may still call del_intercept on itself.
  for (intercept* hook : hooks) delete hook;
}

bool intercept_list::is_listed(const intercept* hook) const {
  if (std::find(added_.begin(), added_.end(), hook) != added_.end()) return true;
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e->hook == hook && !e->removed.load(); });
}

void intercept_list::apply_changes() {
  std::erase_if(entries_, [](const auto& e) { return e->removed.load(); });
  for (intercept* hook : added_) entries_.insert(entries_.begin(), std::make_unique<entry>(hook));
  added_.clear();
}

void intercept_list::report_unknown_exception() { std::cout << "  Unknown Plugin Exception Received" << std::endl; }

intercept_list::walk_scope::walk_scope(intercept_list& list) : list_(list) {
  std::lock_guard lock(list_.mutex_);
  ++list_.walks_;
}

intercept_list::walk_scope::~walk_scope() {
  std::lock_guard lock(list_.mutex_);
  if (--list_.walks_ == 0) list_.apply_changes();
}

}  // namespace varnel
