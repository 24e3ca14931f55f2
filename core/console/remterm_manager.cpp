#include "console/remterm_manager.h"

#include <arpa/inet.h>

#include <cstdio>

#include "console/command_tree.h"
#include "federation/federation_manager.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "rid.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* service_name = "remote_terminal";
constexpr const char* trace_name = "remote_terminal";
constexpr size_t remote_words = 12;

dstream& registered_trace(debugging_events& debug) {
  debug.register_event(trace_name, "remote terminal messages of the reliable service");
  return debug.stream(trace_name);
}

bool is_loopback(const char* address) {
  in_addr parsed{};
  if (!address || !*address) return true;  // the transport's default is the loopback
  return inet_pton(AF_INET, address, &parsed) == 1 && (ntohl(parsed.s_addr) >> 24) == 127;
}

// federate_parameters.remote_terminal.accept: "on", "off", or "loopback".
bool remote_terminals_on(RID& rid) {
  const char* setting = rid.get_own_string("remote_terminal", "accept");
  const std::string accept = setting ? setting : "loopback";
  if (accept == "on") return true;
  if (accept == "off") return false;
  if (accept != "loopback")
    std::fprintf(stderr, "remterm: unknown remote_terminal.accept \"%s\"; taken as \"loopback\"\n", accept.c_str());
  return is_loopback(rid.get_string("connectivity", "interface"));
}

void write_stdout(const char* bytes, size_t length) {
  std::fwrite(bytes, 1, length, stdout);
  std::fflush(stdout);
}

// Captured text arrives with a carriage return after each line feed, and from the network: the
// terminal gets plain line feeds and no other control character.
std::string displayable(const std::string& bytes) {
  std::string shown;
  shown.reserve(bytes.size());
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    shown += (u < 0x20 && c != '\n' && c != '\t') || u == 0x7f ? '?' : c;
  }
  return shown;
}

// The table of a remote prompt: one to twelve free words, whatever they say.
parser::table_ptr remote_table() {
  static const parser::table_ptr table = [] {
    static const char* const ordinals[remote_words] = {"first",  "second", "third", "fourth",  "fifth",    "sixth",
                                                       "seventh", "eighth", "ninth", "tenth", "eleventh", "twelth"};
    std::vector<parser::parse_arg> words;
    for (size_t i = 0; i < remote_words; ++i)
      words.push_back({parser::arg_kind::word, std::string(ordinals[i]) + " word", {}, i > 0});
    parser::parse_keyword line{"", "- a command line for the remote federate; exit ends the connection", nullptr,
                               nullptr, std::move(words),
                               [](parser::parse_context& context, const std::vector<parser::parse_value>& values) {
                                 auto& terminal = static_cast<console_terminal&>(context);
                                 std::vector<std::string> typed;
                                 for (const parser::parse_value& v : values)
                                   if (v.present) typed.push_back(v.text);
                                 if (remterm_manager* remterm = terminal.ldm().get_remterm_manager())
                                   remterm->remote_line(terminal, typed);
                               }};
    return std::make_shared<parser::parse_table>(parser::parse_table{"Remote Terminal", {std::move(line)}});
  }();
  return table;
}

}  // namespace

remterm_manager::remterm_manager(local_distribution_manager& ldm, text_output_interceptor& interceptor)
    : ldm_(ldm), interceptor_(interceptor), self_(ldm.get_federate_id()), accept_(remote_terminals_on(ldm.get_rid())) {
  dstream& trace = registered_trace(ldm.get_debugging_events());
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, service_name, trace, ldm.get_scheduler());
  ldm.get_federation_manager().add_federate_join_client(this);
}

remterm_manager::~remterm_manager() {
  while (!sessions_.empty()) {
    console_terminal& terminal = *sessions_.begin()->first;
    send({remterm_kind::disconnect, self_, sessions_.begin()->second.target, {}});
    restore(terminal, "this federate resigned");
  }
  while (!controllers_.empty()) drop_controller(controllers_.begin()->first);
  ldm_.get_federation_manager().remove_federate_join_client(this);
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
  ldm_.get_debugging_events().unregister_event(trace_name);
}

void remterm_manager::send(const remterm_message& message) {
  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
  // An operator waits for the answer: it must not sit in the stream's bundle.
  ldm_.get_stream_manager().flush(stream);
  ++counters_.sent;
}

bool remterm_manager::is_known(unsigned federate) const {
  return federate != self_ && ldm_.get_federation_manager().find_by_handle(federate) != nullptr;
}

// Controller side.

void remterm_manager::connect(console_terminal& terminal, const std::string& word) {
  std::ostream& out = terminal.out();
  if (is_controller_terminal(terminal)) {
    out << "connect is not available on a remote terminal.\n";
    return;
  }
  const unsigned target = find_federate(ldm_, word);
  const char* name = target ? ldm_.get_federate_name(target) : "";
  if (!name || !*name) {
    out << "Unable to find federate " << word << "\n";
    return;
  }
  if (target == self_) {
    out << "Cannot connect to this federate itself.\n";
    return;
  }
  if (sessions_.count(&terminal)) return;
  sessions_[&terminal] = session{target, parser::ParseLookupTopLevel(terminal), parser::ParseLookupPrompt(terminal)};
  send({remterm_kind::connect, self_, target, {}});
  parser::ParseChangePrompt(terminal, std::string("Remote to ").append(name).append(">"));
  parser::ParseChangeTopLevel(terminal, remote_table());
}

void remterm_manager::remote_line(console_terminal& terminal, const std::vector<std::string>& words) {
  const auto found = sessions_.find(&terminal);
  if (found == sessions_.end() || words.empty()) return;
  const unsigned target = found->second.target;
  if (words.front() == "exit") {
    send({remterm_kind::disconnect, self_, target, {}});
    restore(terminal, nullptr);
    return;
  }
  std::string line;
  for (const std::string& word : words) {
    // A word typed in quotes keeps them, so that the target splits the line as it was typed.
    const bool quoted = word.empty() || word.find_first_of(" \t") != std::string::npos;
    line.append(line.empty() ? "" : " ").append(quoted ? "\"" + word + "\"" : word);
  }
  send({remterm_kind::line, self_, target, line.substr(0, remterm_message::max_line)});
}

void remterm_manager::forget_terminal(console_terminal& terminal) {
  const auto found = sessions_.find(&terminal);
  if (found == sessions_.end()) return;
  send({remterm_kind::disconnect, self_, found->second.target, {}});
  sessions_.erase(found);
}

void remterm_manager::restore(console_terminal& terminal, const char* why) {
  const auto found = sessions_.find(&terminal);
  if (found == sessions_.end()) return;
  const session ended = std::move(found->second);
  sessions_.erase(found);
  if (why)
    terminal.show_direct(std::string("\nDisconnected from federate ")
                             .append(std::to_string(ended.target))
                             .append(": ")
                             .append(why)
                             .append("\n"));
  parser::ParseChangeTopLevel(terminal, ended.saved_top);
  parser::ParseChangePrompt(terminal, ended.saved_prompt);
}

void remterm_manager::end_sessions_with(unsigned target, const char* why) {
  std::vector<console_terminal*> ending;
  for (const auto& [terminal, s] : sessions_)
    if (s.target == target) ending.push_back(terminal);
  for (console_terminal* terminal : ending) restore(*terminal, why);
}

void remterm_manager::show(unsigned target, const std::string& bytes) {
  const std::string shown = displayable(bytes);
  for (const auto& [terminal, s] : sessions_)
    if (s.target == target) terminal->show_direct(shown);
}

// Target side.

bool remterm_manager::is_controller_terminal(const console_terminal& terminal) const {
  for (const auto& [handle, context] : controllers_)
    if (context.get() == &terminal) return true;
  return false;
}

void remterm_manager::add_controller(unsigned controller) {
  if (is_controller(controller)) {
    send({remterm_kind::connected, self_, controller, {}});
    return;
  }
  const char* refusal = !accept_                                   ? "remote terminals are off here"
                        : controllers_.size() >= max_controllers ? "all remote terminals are in use"
                                                                   : nullptr;
  if (refusal) {
    ++counters_.refused;
    std::printf("Refused connection from federate %u: %s\n", controller, refusal);
    std::fflush(stdout);
    send({remterm_kind::disconnected, self_, controller, {}});
    return;
  }
  std::printf("New connection from federate %u\n", controller);
  std::fflush(stdout);
  if (controllers_.empty()) {
    interceptor_.register_client(this);
    timer_.schedule(ldm_.get_scheduler(), output_period_ms);
  }
  auto context = std::make_unique<console_terminal>(ldm_, write_stdout, true);
  context->start("");
  controllers_.emplace(controller, std::move(context));
  send({remterm_kind::connected, self_, controller, {}});
}

void remterm_manager::drop_controller(unsigned controller) {
  if (controllers_.erase(controller) == 0) return;
  if (!controllers_.empty()) return;
  send_output();
  timer_.cancel();
  interceptor_.unregister_client(this);
  pending_output_.clear();
}

void remterm_manager::run_line(unsigned controller, const std::string& line) {
  const auto found = controllers_.find(controller);
  if (found == controllers_.end()) {
    ++counters_.ignored;
    return;
  }
  console_terminal& context = *found->second;
  // Start of line and erase to its end: whatever the context held goes.
  parser::ParseKeypress(context, 0x01);
  parser::ParseKeypress(context, 0x0b);
  for (const char c : line) parser::ParseKeypress(context, static_cast<unsigned char>(c));
  parser::ParseKeypress(context, '\n');
}

void remterm_manager::text(size_t length, const char* bytes) {
  const size_t room = max_output_per_period - std::min(max_output_per_period, pending_output_.size());
  const size_t kept = std::min(room, length);
  pending_output_.append(bytes, kept);
  counters_.output_dropped += length - kept;
  dropped_since_sent_ += length - kept;
}

void remterm_manager::send_output() {
  if (dropped_since_sent_ > 0) {
    pending_output_.append("\n\r[remote terminal: ")
        .append(std::to_string(dropped_since_sent_))
        .append(" bytes of output dropped]\n\r");
    dropped_since_sent_ = 0;
  }
  for (size_t at = 0; at < pending_output_.size(); at += remterm_message::max_output)
    send({remterm_kind::output, self_, 0, pending_output_.substr(at, remterm_message::max_output)});
  pending_output_.clear();
}

// Both sides.

void remterm_manager::receive(int, unsigned char, ldm_buf* buffer) {
  const remterm_message m = remterm_message::read(*buffer);
  ++counters_.received;
  if (m.kind == remterm_kind::output) return show(m.from, m.text);
  if (m.to != self_) return;
  if (!is_known(m.from)) {
    ++counters_.ignored;
    return;
  }
  switch (m.kind) {
    case remterm_kind::connect: return add_controller(m.from);
    case remterm_kind::connected:
      for (const auto& [terminal, s] : sessions_)
        if (s.target == m.from)
          terminal->show_direct(std::string("Connected to federate ").append(std::to_string(m.from)).append("\n"));
      return;
    case remterm_kind::disconnect:
      if (!is_controller(m.from)) return;
      drop_controller(m.from);
      std::printf("Disconnection from federate %u\n", m.from);
      std::fflush(stdout);
      return send({remterm_kind::disconnected, self_, m.from, {}});
    case remterm_kind::disconnected:
      // Also the answer to a refused connect: a terminal still waiting on it gets its prompt back.
      end_sessions_with(m.from, "refused or ended by the target");
      std::printf("Disconnected from federate %u\n", m.from);
      std::fflush(stdout);
      return;
    case remterm_kind::line: return run_line(m.from, m.text);
    case remterm_kind::output: return;
  }
}

void remterm_manager::federate_gone(federate_record* federate) {
  if (is_controller(federate->handle)) {
    drop_controller(federate->handle);
    std::printf("Dropped remote terminal of federate %u: it is gone\n", federate->handle);
    std::fflush(stdout);
  }
  end_sessions_with(federate->handle, "the federate is gone");
}

}  // namespace varnel
