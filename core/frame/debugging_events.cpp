#include "frame/debugging_events.h"

#include <fcntl.h>
#include <ext/stdio_filebuf.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "diagnostic.h"
#include "rid.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const diagnostic_tag = "debugging_events";

const char not_joined[] = "<not joined>";

// A log file opened (created or truncated) through its descriptor, so that the opening can
// refuse a symbolic link; a file that could not be opened is a stream in a failed state.
class log_file : public std::ostream {
public:
  log_file(const std::string& name, bool no_links) : std::ostream(nullptr) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (no_links ? O_NOFOLLOW : 0), 0644);
    if (fd < 0) return;
    buf_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::out);
    rdbuf(buf_.get());
  }

private:
  std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buf_;  // closes the descriptor
};

// "Mon Dec  7 08:19:45 2026": fixed English names, so the locale cannot change the stamp.
std::string greenwich_time(int64_t seconds) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (!gmtime_r(&time, &parts)) return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %lld", days[parts.tm_wday % 7],
                months[parts.tm_mon % 12], parts.tm_mday, parts.tm_hour, parts.tm_min,
                parts.tm_sec, static_cast<long long>(parts.tm_year) + 1900);
  return text;
}

bool is_choice(const std::string& word) { return word == "off" || word == "on" || word == "toggle"; }

}  // namespace

int64_t system_wall_clock() { return static_cast<int64_t>(std::time(nullptr)); }

void dstreambuf::stamp_if_due() {
  if (!at_line_start_) return;
  const int64_t now = clock_();
  if (now == last_stamp_) return;
  last_stamp_ = now;
  *target_ << "---- " << prefix_ << ": " << greenwich_time(now) << " GMT\n";
}

dstreambuf::int_type dstreambuf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  xsputn(&c, 1);
  return ch;
}

// Writes whole runs up to each line feed, so the stamp check runs once per line, not per byte.
std::streamsize dstreambuf::xsputn(const char* text, std::streamsize count) {
  if (count <= 0) return 0;
  if (!target_) {
    at_line_start_ = text[count - 1] == '\n';
    return count;
  }
  std::streamsize done = 0;
  while (done < count) {
    const char* start = text + done;
    const char* feed = std::find(start, text + count, '\n');
    const std::streamsize run = feed == text + count ? count - done : feed - start + 1;
    stamp_if_due();
    target_->write(start, run);
    at_line_start_ = start[run - 1] == '\n';
    done += run;
  }
  return count;
}

int dstreambuf::sync() {
  if (target_) target_->flush();
  return 0;
}

dstream::dstream(std::string prefix, const wall_clock& clock)
    : std::ostream(nullptr), buf_(std::move(prefix), clock) {
  rdbuf(&buf_);
}

struct debugging_events::event {
  event(std::string n, std::string d, std::vector<std::string> subs, std::string prefix,
        const wall_clock& clock)
      : name(std::move(n)), description(std::move(d)), sub_events(std::move(subs)),
        stream(std::move(prefix), clock) {}

  std::string name;
  std::string description;
  std::vector<std::string> sub_events;
  dstream stream;
};

debugging_events::debugging_events(RID& rid, wall_clock clock)
    : rid_(rid), debug_flags_(rid.get_entry("debug_flags")), clock_(std::move(clock)),
      federation_name_(not_joined), unknown_(std::make_unique<dstream>("", clock_)) {}

debugging_events::~debugging_events() = default;

std::string debugging_events::prefix_for(const std::string& event_name) const {
  return "<" + federation_name_ + "> " + event_name;
}

debugging_events::event* debugging_events::find(const std::string& name) const {
  const auto it = events_.find(name);
  return it == events_.end() ? nullptr : it->second.get();
}

debugging_events::event* debugging_events::find_or_report(const std::string& name) const {
  event* e = find(name);
  if (!e) diagnostic(diagnostic_tag, "could not find event %s", name.c_str());
  return e;
}

void debugging_events::register_event(const std::string& name, const std::string& description,
                                      const std::vector<std::string>& sub_events) {
  if (find(name)) {
    diagnostic(diagnostic_tag, "attempted to register duplicate event %s", name.c_str());
    return;
  }
  events_.emplace(name, std::make_unique<event>(name, description, sub_events, prefix_for(name), clock_));
  apply_debug_flags(name);
}

void debugging_events::apply_debug_flags(const std::string& name) {
  if (!debug_flags_) return;
  Document::Element* flag = rid_.findTag(name.c_str(), debug_flags_);
  if (!flag || flag->values.empty()) return;
  const Document::Value& first = flag->values.front();
  if (first.kind != Document::string_value || !first.string) return;
  turn_on(name, target_for(first.string));
}

void debugging_events::unregister_event(const std::string& name) {
  if (!events_.erase(name)) {
    diagnostic(diagnostic_tag, "could not find event %s", name.c_str());
    return;
  }
  sweep_log_files();
}

dstream& debugging_events::stream(const std::string& name) {
  event* e = find_or_report(name);
  return e ? e->stream : *unknown_;
}

bool debugging_events::is_on(const std::string& name) const {
  const event* e = find(name);
  return e && e->stream.is_on();
}

// A group may name itself or another group that names it back; each walk visits an event once,
// so such a table switches every event it reaches instead of recursing without end.
void debugging_events::switch_on(event& e, std::ostream* target, std::vector<const event*>& seen) {
  if (std::find(seen.begin(), seen.end(), &e) != seen.end()) return;
  seen.push_back(&e);
  for (const std::string& sub : e.sub_events)
    if (event* s = find_or_report(sub)) switch_on(*s, target, seen);
  if (!e.stream.is_on()) std::cout << "DEBUG EVENT " << e.name << " is now ON" << std::endl;
  e.stream.flush();
  e.stream.buffer().set_target(target);
}

void debugging_events::switch_off(event& e, std::vector<const event*>& seen) {
  if (std::find(seen.begin(), seen.end(), &e) != seen.end()) return;
  seen.push_back(&e);
  for (const std::string& sub : e.sub_events)
    if (event* s = find_or_report(sub)) switch_off(*s, seen);
  if (!e.stream.is_on()) return;
  std::cout << "DEBUG EVENT " << e.name << " is now OFF" << std::endl;
  e.stream.flush();
  e.stream.buffer().set_target(nullptr);
}

void debugging_events::turn_on(const std::string& name, std::ostream* target) {
  if (!target) target = &std::cout;
  std::vector<const event*> seen;
  if (event* e = find_or_report(name)) switch_on(*e, target, seen);
}

void debugging_events::turn_off(const std::string& name) {
  std::vector<const event*> seen;
  if (event* e = find_or_report(name)) switch_off(*e, seen);
}

void debugging_events::toggle(const std::string& name, std::ostream* target) {
  if (is_on(name))
    turn_off(name);
  else
    turn_on(name, target);
}

void debugging_events::all_on(std::ostream* target) {
  if (!target) target = &std::cout;
  std::vector<const event*> seen;
  for (const std::string& name : event_names()) switch_on(*find(name), target, seen);
}

void debugging_events::all_off() {
  std::vector<const event*> seen;
  for (const std::string& name : event_names()) switch_off(*find(name), seen);
}

void debugging_events::set_federation_name(const char* name) {
  federation_name_ = name && *name ? name : not_joined;
  for (auto& [event_name, e] : events_) e->stream.buffer().set_prefix(prefix_for(event_name));
}

std::ostream* debugging_events::target_for(const std::string& file_name, bool no_links) {
  if (file_name.empty() || file_name == "-") return &std::cout;
  std::unique_ptr<std::ostream>& file = log_files_[file_name];
  if (!file) file = std::make_unique<log_file>(file_name, no_links);
  return file.get();
}

void debugging_events::sweep_log_files() {
  std::erase_if(log_files_, [this](const auto& entry) {
    const std::ostream* file = entry.second.get();
    return std::none_of(events_.begin(), events_.end(),
                        [file](const auto& e) { return e.second->stream.buffer().target() == file; });
  });
}

bool debugging_events::console_command(const std::vector<std::string>& words, bool no_links) {
  if (words.empty()) return false;
  if (words[0] == "clear") {
    if (words.size() != 1) return false;
    all_off();
    sweep_log_files();
    return true;
  }

  // Pick the event (or a sub-event named under it), then the optional choice and file name.
  size_t next = 1;
  std::string name = words[0];
  if (event* e = find(name); e && next < words.size() &&
      std::count(e->sub_events.begin(), e->sub_events.end(), words[next]))
    name = words[next++];
  const bool all = words[0] == "all";
  std::string choice = all ? "on" : "toggle";
  if (next < words.size()) {
    if (!is_choice(words[next])) return false;
    choice = words[next++];
  }
  const std::string file_name = next < words.size() ? words[next++] : "";
  if (next != words.size()) return false;

  if (all && choice == "off")
    all_off();
  else if (all)
    all_on(target_for(file_name, no_links));
  else if (choice == "off")
    turn_off(name);
  else if (choice == "on" || !is_on(name))
    turn_on(name, target_for(file_name, no_links));
  else
    turn_off(name);
  sweep_log_files();
  return true;
}

std::vector<std::string> debugging_events::event_names() const {
  std::vector<std::string> names;
  names.reserve(events_.size());
  for (const auto& entry : events_) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> debugging_events::sub_events(const std::string& name) const {
  const event* e = find(name);
  return e ? e->sub_events : std::vector<std::string>{};
}

std::string debugging_events::description(const std::string& name) const {
  const event* e = find(name);
  return e ? e->description : std::string{};
}

}  // namespace varnel
