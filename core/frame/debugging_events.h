// Named debugging events of one distribution manager: each event is a switch with its own output
// stream that components fetch once and write to without testing anything. Text reaches standard
// output or a shared log file only while the event is on, stamped once per second with the
// federation and event name. The local_distribution_manager owns one debugging_events registry.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <unordered_map>
#include <vector>

#include "document.h"

namespace brindle {
class RID;
}  // namespace brindle

namespace varnel {

// Seconds since 1970-01-01 00:00 UTC; the registry's stamps read it. Tests pass their own.
using wall_clock = std::function<int64_t()>;
int64_t system_wall_clock();

// The buffer behind one event's stream. While no target is set every character is dropped.
// A character that starts a line, written in another second than the last stamp, is preceded
// by a stamp line "---- <federation> event: Mon Dec  7 08:19:45 2026 GMT".
class dstreambuf : public std::streambuf {
public:
  dstreambuf(std::string prefix, const wall_clock& clock) : prefix_(std::move(prefix)), clock_(clock) {}

  std::ostream* target() const { return target_; }
  void set_target(std::ostream* target) { target_ = target; }
  void set_prefix(std::string prefix) { prefix_ = std::move(prefix); }

protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

private:
  void stamp_if_due();

  std::ostream* target_ = nullptr;  // not owned: standard output or a registry log file
  std::string prefix_;
  const wall_clock& clock_;         // the registry's, which outlives every buffer
  int64_t last_stamp_ = INT64_MIN;  // second of the last stamp line; none yet
  bool at_line_start_ = true;
};

// An event's output stream. It never fails: text written while the event is off is dropped.
class dstream : public std::ostream {
public:
  dstream(std::string prefix, const wall_clock& clock);
  dstream(const dstream&) = delete;
  dstream& operator=(const dstream&) = delete;

  // One pointer test: lets callers skip building expensive trace text while the event is off.
  bool is_on() const { return buf_.target() != nullptr; }
  dstreambuf& buffer() { return buf_; }

private:
  dstreambuf buf_;
};

class debugging_events {
public:
  // Reads the debug_flags entry of rid once; events named there start on when they
  // are registered. The clock is read for the stamp lines.
  explicit debugging_events(brindle::RID& rid, wall_clock clock = system_wall_clock);
  ~debugging_events();
  debugging_events(const debugging_events&) = delete;
  debugging_events& operator=(const debugging_events&) = delete;

  // Registers name with its sub-events (switched with it, in this order), then switches it on
  // when debug_flags names it with a string first value. A duplicate name is refused with a
  // message and changes nothing.
  void register_event(const std::string& name, const std::string& description,
                      const std::vector<std::string>& sub_events = {});
  // Forgets name and its stream; for managers that are rebuilt at every join. Streams fetched
  // for the name must not be used afterwards.
  void unregister_event(const std::string& name);

  // The event's stream, valid while the event stays registered. For an unknown name, a message
  // and a stream that is always off, so a caller's writes never go astray.
  dstream& stream(const std::string& name);
  bool is_on(const std::string& name) const;

  // Switching; an unknown name prints a message and changes nothing. Sub-events are switched
  // first, with the same target, and each event whose state changes says so on standard output.
  // A null target means standard output.
  void turn_on(const std::string& name, std::ostream* target);
  void turn_off(const std::string& name);
  void toggle(const std::string& name, std::ostream* target);
  void all_on(std::ostream* target);
  void all_off();

  // The federation's name in every event's prefix; null or empty at resign ("<not joined>").
  void set_federation_name(const char* name);
  const std::string& federation_name() const { return federation_name_; }

  // Standard output for "" or "-"; otherwise the log file of that name, opened (truncated) on
  // first use and shared by every event that writes to it. A file that cannot be opened gives a
  // stream in a failed state: output to it is lost. With no_links a symbolic link is not
  // followed: the file is not opened.
  std::ostream* target_for(const std::string& file_name, bool no_links = false);
  // Closes and forgets every log file that no event writes to any more.
  void sweep_log_files();
  size_t open_log_files() const { return log_files_.size(); }

  // The console's debug command, given the words after "debug":
  //   clear | all [off|on|toggle [file]] | event [sub-event] [off|on|toggle [file]]
  // "all" defaults to on and an event to toggle; the log files are swept afterwards.
  // Returns false, changing nothing, when the words do not have that form. no_links as for
  // target_for.
  bool console_command(const std::vector<std::string>& words, bool no_links = false);

  // Listing for the console's keyword tables: event names sorted, and an event's sub-events and
  // description (empty for an unknown name).
  std::vector<std::string> event_names() const;
  std::vector<std::string> sub_events(const std::string& name) const;
  std::string description(const std::string& name) const;

private:
  struct event;

  event* find(const std::string& name) const;
  event* find_or_report(const std::string& name) const;
  void switch_on(event& e, std::ostream* target, std::vector<const event*>& seen);
  void switch_off(event& e, std::vector<const event*>& seen);
  void apply_debug_flags(const std::string& name);
  std::string prefix_for(const std::string& event_name) const;

  brindle::RID& rid_;
  brindle::Document::Element* debug_flags_ = nullptr;  // inside rid_; null when the RID has none
  wall_clock clock_;
  std::string federation_name_;
  // Declared before the events, whose streams point into it, so that it is destroyed after them.
  std::unordered_map<std::string, std::unique_ptr<std::ostream>> log_files_;
  std::unordered_map<std::string, std::unique_ptr<event>> events_;
  std::unique_ptr<dstream> unknown_;  // handed out for names that are not registered
};

}  // namespace varnel
