#include "federation/federation_manager.h"

#include <regex.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

#include "frame/debugging_events.h"
#include "fed/fed.h"
#include "federation/federate_handle_set.h"
#include "federation/federate_join_client.h"
#include "federation/federation_listing.h"
#include "ldm_buf.h"
#include "frame/ldm_error.h"
#include "millisecond_clock.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* service_name = "federation_manager";
constexpr const char* general_flag = "federation";
constexpr const char* heartbeat_flag = "federation_heartbeats";
constexpr uint64_t step_period_ms = 10;
constexpr uint64_t shutdown_delay_ms = 5000;
// The mismatch report lists the federates only while they are few.
constexpr size_t listed_federates_limit = 20;
constexpr size_t host_name_limit = 255;

std::string local_host_name() {
  char name[host_name_limit + 1] = {};
  if (gethostname(name, sizeof name) != 0) return std::string();
  name[host_name_limit] = '\0';
  return name;
}

std::string working_directory() {
  char path[1024];
  return getcwd(path, sizeof path) ? std::string(path) : std::string("<error>");
}

// Seconds from the RID as milliseconds; a negative setting counts as 0.
uint64_t seconds_to_ms(int32_t seconds) { return seconds > 0 ? static_cast<uint64_t>(seconds) * 1000 : 0; }

std::string read_text(ldm_buf& buffer) {
  const char* text = buffer.read_string();
  const size_t length = std::strlen(text);
  if (length > fedstate_message::max_text) throw ldm_decode_error("fedstate: text too long");
  return std::string(text, length);
}

federate_identifier read_identifier(ldm_buf& buffer) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) throw ldm_decode_error("fedstate: wildcard identifier");
  return identifier;
}

}  // namespace

const char* federate_state_name(federate_state state) {
  switch (state) {
    case federate_state::happy: return "Happy";
    case federate_state::resigned: return "Resigned";
    case federate_state::vindictive: return "Vindictive";
  }
  return "Unknown";
}

const char* federate_liveness_name(federate_liveness liveness) {
  switch (liveness) {
    case federate_liveness::green: return "Green";
    case federate_liveness::amber: return "Amber";
    case federate_liveness::red: return "Red";
    case federate_liveness::gone: return "Gone";
  }
  return "Unknown";
}

uint32_t name_hash(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); p && *p; ++p) {
    h += *p;
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  return h & 0x7FFFFFFF;
}

uint32_t identifier_hash(const federate_identifier& identifier) { return identifier.hash() & 0x7FFFFFFF; }

// The fedstate message.

void fedstate_message::write(ldm_buf& buffer) const {
  buffer << federation << number << federation_name.c_str() << rid_checksum << fed_file.c_str() << fed_checksum
         << federate << handle << federate_name.c_str() << host_name.c_str() << static_cast<int32_t>(state)
         << local_objects << remote_objects;
}

fedstate_message fedstate_message::read(ldm_buf& buffer) {
  fedstate_message m;
  m.federation = read_identifier(buffer);
  int32_t number;
  buffer >> number;
  m.number = static_cast<uint32_t>(number);
  m.federation_name = read_text(buffer);
  if (m.number != name_hash(m.federation_name.c_str())) throw ldm_decode_error("fedstate: wrong federation number");
  buffer >> m.rid_checksum;
  m.fed_file = read_text(buffer);
  buffer >> m.fed_checksum;
  m.federate = read_identifier(buffer);
  buffer >> m.handle;
  m.federate_name = read_text(buffer);
  m.host_name = read_text(buffer).substr(0, host_name_limit);
  int32_t state;
  buffer >> state >> m.local_objects >> m.remote_objects;
  if (state < 0 || state > static_cast<int32_t>(federate_state::vindictive))
    throw ldm_decode_error("fedstate: unknown state");
  m.state = static_cast<federate_state>(state);
  return m;
}

// Construction and destruction.

federation_manager::federation_manager(RID& rid, scheduler& scheduler, stream_manager& streams,
                                       debugging_events& debug, federation_host& host)
    : rid_(rid), scheduler_(scheduler), streams_(streams), debug_(debug), host_(host), identifier_(federate_identifier_type::local) {
  debug.register_event(general_flag, "federation management: creates, joins, liveness");
  debug.register_event(heartbeat_flag, "every federation state message sent or received");
  trace_ = &debug.stream(general_flag);
  heartbeat_trace_ = &debug.stream(heartbeat_flag);
  const int32_t heartbeat = rid_.get_integer("federation", "heartbeat_interval");
  heartbeat_interval_s_ = heartbeat > 0 ? static_cast<uint64_t>(heartbeat) : 0;
  amber_timeout_ms_ = seconds_to_ms(rid_.get_integer("federation", "federate_amber_timeout"));
  red_timeout_ms_ = seconds_to_ms(rid_.get_integer("federation", "federate_red_timeout"));
  gone_timeout_ms_ = seconds_to_ms(rid_.get_integer("federation", "federate_gone_timeout"));
  streams_.join(stream);
  service_ = std::make_unique<stream_service>(&streams_, this, service_name);
  timer_.schedule(scheduler_, step_period_ms);
}

federation_manager::~federation_manager() {
  resign();
  timer_.cancel();
  service_.reset();
  streams_.leave(stream);
  federations_.clear();
  feds_.clear();
  debug_.unregister_event(heartbeat_flag);
  debug_.unregister_event(general_flag);
}

// Services.

void federation_manager::create(const char* federation_name, const char* fed_file) {
  load_fed(fed_file);
  discovery_wait(federation_name);
  if (find_federation(federation_name)) {
    *trace_ << "Federation " << federation_name << " already exists" << std::endl;
    throw make_ldm_exception(ldm_error::FederationExecutionAlreadyExists, "Found existing federation %s",
                             federation_name);
  }
  *trace_ << "Federation " << federation_name << " created" << std::endl;
  auto record = std::make_unique<federation_record>();
  record->name = federation_name;
  record->number = name_hash(federation_name);
  record->identifier = identifier_;
  record->rid_checksum = rid_.get_checksum();
  record->fed_file = fed_file;
  record->fed_checksum = fed_->get_checksum();
  record->created_here = true;
  federations_.emplace(record->name, std::move(record));
}

void federation_manager::destroy(const char* federation_name) {
  const auto found = federations_.find(federation_name);
  if (found == federations_.end()) {
    *trace_ << " Federation " << federation_name << " does not exist; could not destroy" << std::endl;
    throw make_ldm_exception(ldm_error::FederationExecutionDoesNotExist, "Federation %s not found; could not destroy",
                             federation_name);
  }
  if (!found->second->federates.empty()) {
    *trace_ << "Federation " << federation_name << " still has federates; could not destroy" << std::endl;
    throw make_ldm_exception(ldm_error::FederatesCurrentlyJoined, "Federation %s has federates; could not destroy",
                             federation_name);
  }
  *trace_ << "Federation " << federation_name << " destroyed" << std::endl;
  federations_.erase(found);
}

unsigned federation_manager::join(const char* federate_name, const char* federation_name) {
  if (joined_) {
    throw make_ldm_exception(ldm_error::FederateAlreadyExecutionMember, "Already joined to federation %s",
                             joined_->name.c_str());
  }
  discovery_wait(federation_name);
  federation_record* federation = find_federation(federation_name);
  if (!federation)
    throw make_ldm_exception(ldm_error::FederationExecutionDoesNotExist, "Can't find federation %s", federation_name);
  if (!fed_) load_fed(federation->fed_file.c_str());
  const bool rid_differs = federation->rid_checksum != rid_.get_checksum();
  const bool fed_differs = federation->fed_checksum != fed_->get_checksum();
  if (rid_differs || fed_differs) {
    report_mismatch(*federation, rid_differs, fed_differs);
    throw ldm_exception(ldm_error::InternalError, "Configuration file mismatch");
  }

  *trace_ << "Federate " << federate_name << " joining federation " << federation_name << std::endl;
  auto own = std::make_unique<federate_record>();
  own->name = federate_name;
  own->identifier = identifier_;
  own->handle = identifier_hash(identifier_);
  own->host_name = local_host_name();
  own->last_heard = now();
  federate_record* record = own.get();
  federation->federates.emplace(identifier_, std::move(own));
  federation->own = record;
  joined_ = federation;
  send_fedstate();
  try {
    host_.join(fed_, federate_name, federation_name, record->handle, federation->number, identifier_,
              federation->identifier);
  } catch (...) {
    // The managers could not be built: leave again, so that the others drop this federate.
    resign();
    throw;
  }
  return record->handle;
}

void federation_manager::resign() {
  if (!joined_) return;
  federate_record* own = joined_->own;
  own->state = federate_state::resigned;
  send_fedstate();
  host_.resign();
  federation_record* federation = joined_;
  joined_ = nullptr;
  federation->own = nullptr;
  federation->federates.erase(own->identifier);
}

void federation_manager::check_joined(const char* service) const {
  if (joined_) return;
  auto refusal = make_ldm_exception(ldm_error::FederateNotExecutionMember, "Not joined to a federation in call to %s",
                                    service);
  std::cerr << refusal.detail() << std::endl;
  throw refusal;
}

void federation_manager::set_object_counts(unsigned locals, unsigned remotes) {
  federate_record* own = get_own_federate();
  if (!own) return;
  own->local_objects = locals;
  own->remote_objects = remotes;
}

void federation_manager::request_shutdown() {
  federate_record* own = get_own_federate();
  if (!own) return;
  own->state = federate_state::vindictive;
  send_fedstate();
}

// Lookups.

federation_record* federation_manager::find_federation(const char* name) const {
  const auto found = federations_.find(name);
  return found == federations_.end() ? nullptr : found->second.get();
}

federate_record* federation_manager::find_by_handle(unsigned handle) const {
  if (!joined_) return nullptr;
  for (const auto& [identifier, federate] : joined_->federates)
    if (federate->handle == handle) return federate.get();
  return nullptr;
}

federate_record* federation_manager::find_federate(const federate_identifier& identifier) const {
  if (!joined_) return nullptr;
  const auto found = joined_->federates.find(identifier);
  return found == joined_->federates.end() ? nullptr : found->second.get();
}

const char* federation_manager::get_federate_name(unsigned handle) const {
  const federate_record* federate = find_by_handle(handle);
  return federate ? federate->name.c_str() : "";
}

const char* federation_manager::get_federate_hostname(unsigned handle) const {
  const federate_record* federate = find_by_handle(handle);
  return federate ? federate->host_name.c_str() : "";
}

void federation_manager::get_federate_object_counts(unsigned handle, unsigned& locals, unsigned& remotes) const {
  const federate_record* federate = find_by_handle(handle);
  locals = federate ? federate->local_objects : 0;
  remotes = federate ? federate->remote_objects : 0;
}

void federation_manager::match_federates(const char* pattern, federate_handle_set& handles) const {
  if (!joined_ || !pattern) return;
  regex_t expression;
  if (regcomp(&expression, pattern, REG_EXTENDED | REG_ICASE | REG_NOSUB) != 0) return;
  for (const auto& [identifier, federate] : joined_->federates)
    if (regexec(&expression, federate->name.c_str(), 0, nullptr, 0) == 0) handles.insert(federate->handle);
  regfree(&expression);
}

void federation_manager::add_federate_join_client(federate_join_client* client) { join_clients_.push_back(client); }

void federation_manager::remove_federate_join_client(federate_join_client* client) {
  for (size_t i = 0; i < join_clients_.size(); ++i) {
    if (join_clients_[i] != client) continue;
    join_clients_[i] = join_clients_.back();
    join_clients_.pop_back();
    return;
  }
}

size_t federation_manager::federate_count() const {
  size_t count = 0;
  for (const auto& [name, federation] : federations_) count += federation->federates.size();
  return count;
}

uint64_t federation_manager::now() const { return scheduler_.get_clock().time(); }

// Joining helpers.

// The first create or join of this manager listens for the network's heartbeats for
// join_timeout seconds, so that federations that exist elsewhere are known before it decides.
void federation_manager::discovery_wait(const char* federation_name) {
  if (discovery_done_) return;
  discovery_done_ = true;
  const uint64_t wait_ms = seconds_to_ms(rid_.get_integer("federation", "join_timeout"));
  scheduler_.tick(wait_ms, wait_ms);
  if (!find_federation(federation_name) && trace_->is_on())
    *trace_ << " Federation " << federation_name << "  not found." << std::endl;
}

// A loaded model becomes the current one; the one the joined managers use stays alive while
// they exist, every other earlier one is freed.
void federation_manager::load_fed(const char* fed_file) {
  auto fed = std::make_unique<FED>(&rid_, fed_file);
  if (fed->get_status() == Document::load_failed)
    throw make_ldm_exception(ldm_error::CouldNotOpenFDD, "File not found: %s", fed_file);
  if (fed->get_status() != Document::ok)
    throw make_ldm_exception(ldm_error::ErrorReadingFDD, "Error parsing file: %s", fed_file);
  const FED* in_use = host_.get_fed();
  std::erase_if(feds_, [in_use](const std::unique_ptr<FED>& kept) { return kept.get() != in_use; });
  fed_ = fed.get();
  feds_.push_back(std::move(fed));
}

void federation_manager::report_mismatch(const federation_record& federation, bool rid_differs,
                                         bool fed_differs) const {
  const bool both = rid_differs && fed_differs;
  const char* which = both ? "RID and FED" : rid_differs ? "RID" : "FED";
  std::ostream& out = std::cout;
  out << "The " << which << " file" << (both ? "s" : "") << " differ" << (both ? "" : "s") << " from the one"
      << (both ? "s" : "") << " used to create the federation." << std::endl;
  if (rid_differs) {
    out << "Federation RID cksum: " << federation.rid_checksum << "   My RID cksum: " << rid_.get_checksum()
        << std::endl;
  }
  if (fed_differs)
    out << "Federation FED cksum: " << federation.fed_checksum << "   My FED cksum: " << fed_->get_checksum() << std::endl;
  out << "Join Rejected." << std::endl;
  out << "If you believe you have the correct " << which << ", the existing federates are: " << std::endl;
  if (federation.federates.size() >= listed_federates_limit)
    out << "very numerous." << std::endl;
  else
    print_federates(federation, out);
  out << "I am trying to join using:" << std::endl;
  out << " FED: " << fed_->get_fed_filename() << std::endl;
  out << " RID: " << rid_.get_rid_filename() << std::endl;
  out << " CWD: " << working_directory() << std::endl;
  out << std::endl;
}

// Sending.

void federation_manager::send_fedstate() {
  federate_record* own = get_own_federate();
  if (!own) return;
  fedstate_message message;
  message.federation = joined_->identifier;
  message.number = joined_->number;
  message.federation_name = joined_->name;
  message.rid_checksum = joined_->rid_checksum;
  message.fed_file = joined_->fed_file;
  message.fed_checksum = joined_->fed_checksum;
  message.federate = own->identifier;
  message.handle = own->handle;
  message.federate_name = own->name;
  message.host_name = own->host_name;
  message.state = own->state;
  message.local_objects = own->local_objects;
  message.remote_objects = own->remote_objects;

  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  if (heartbeat_trace_->is_on()) {
    *heartbeat_trace_ << "Fed " << own->name << " sends fedstate " << federate_state_name(own->state) << " federation "
                      << joined_->name << " federate " << own->name << " (" << own->handle << ")" << std::endl;
  }
  service_->send_broadcast(stream, priority, buffer);
  // A resignation or a shut-down must not wait in a bundle: the process may end right after.
  if (own->state != federate_state::happy) service_->flush(stream);
  own->last_heard = now();
  own->liveness = federate_liveness::green;
  buffer->release_buf();
}

// Receiving.

void federation_manager::receive(int, unsigned char, ldm_buf* buffer) {
  // Decoded whole before anything changes, so that a truncated message changes nothing.
  apply(fedstate_message::read(*buffer));
}

void federation_manager::apply(const fedstate_message& message) {
  if (joined_ && message.federate == identifier_) return;  // our own, heard through another path
  if (heartbeat_trace_->is_on()) {
    *heartbeat_trace_ << "Fed " << (joined_ ? joined_->own->name.c_str() : "unjoined") << " receives fedstate "
                      << federate_state_name(message.state) << " for federation " << message.federation_name
                      << " federate " << message.federate_name << " (" << message.handle << ")" << std::endl;
  }
  federation_record* federation = find_federation(message.federation_name.c_str());
  if (!federation) {
    if (federations_.size() >= max_federations) {
      ++table_full_drops_;
      return;
    }
    auto record = std::make_unique<federation_record>();
    record->name = message.federation_name;
    record->number = message.number;
    record->identifier = message.federation;
    record->rid_checksum = message.rid_checksum;
    record->fed_file = message.fed_file;
    record->fed_checksum = message.fed_checksum;
    federation = record.get();
    federations_.emplace(record->name, std::move(record));
  }
  if (is_joined_federation(*federation) &&
      (message.fed_checksum != federation->fed_checksum || message.rid_checksum != federation->rid_checksum))
    check_mismatch(*federation, message);

  const auto found = federation->federates.find(message.federate);
  federate_record* federate = found == federation->federates.end() ? nullptr : found->second.get();
  if (!federate && message.state == federate_state::happy) {
    add_heard_federate(*federation, message);
    return;
  }
  if (!federate) {
    if (message.state == federate_state::vindictive) obey_vindictive(*federation, message);
    return;
  }
  switch (message.state) {
    case federate_state::resigned:
      trace_federate("Federate Gone", *federate);
      forget_federate(*federation, *federate);
      break;
    case federate_state::vindictive:
      obey_vindictive(*federation, message);
      break;
    default:
      federate->local_objects = message.local_objects;
      federate->remote_objects = message.remote_objects;
      federate->last_heard = now();
      federate->liveness = federate_liveness::green;
      break;
  }
}

void federation_manager::check_mismatch(const federation_record& federation, const fedstate_message& message) {
  const bool fed_differs = message.fed_checksum != federation.fed_checksum;
  const bool rid_differs = message.rid_checksum != federation.rid_checksum;
  std::ostream& err = std::cerr;
  err << std::endl << "Received federate state from federate " << message.federate_name << std::endl;
  err << (fed_differs && rid_differs ? "with mismatched FED and RID files"
          : fed_differs              ? "with a mismatched FED file"
                                     : "with a mismatched RID file")
      << std::endl;
  err << "for federation " << federation.name << " from machine: " << std::endl
      << message.federate.to_string() << std::endl;
  const uint64_t t = now();
  if (!mismatch_warned_) {
    err << std::endl
        << "!!!!!!!!!! WARNING !!!!!!!!!!!!!" << std::endl
        << "I am joined to a federation that has incompatible FED/RID files present." << std::endl
        << "If the federates with mismatched files do not go away in " << 2 * gone_timeout_ms_ / 1000 << " seconds,"
        << std::endl
        << "the federation will terminate." << std::endl
        << "!!!!!!!!!! WARNING !!!!!!!!!!!!!" << std::endl
        << std::endl;
    mismatch_warned_ = true;
    mismatch_deadline_ = t + 2 * gone_timeout_ms_;
  }
  last_mismatch_ = t;
}

void federation_manager::add_heard_federate(federation_record& federation, const fedstate_message& message) {
  if (federate_count() >= max_federates) {
    ++table_full_drops_;
    return;
  }
  auto record = std::make_unique<federate_record>();
  record->name = message.federate_name;
  record->identifier = message.federate;
  record->handle = identifier_hash(message.federate);
  record->host_name = message.host_name;
  record->local_objects = message.local_objects;
  record->remote_objects = message.remote_objects;
  record->last_heard = now();
  federate_record* federate = record.get();
  federation.federates.emplace(message.federate, std::move(record));
  trace_federate("New Federate", *federate);
  // Listeners track the federates of the federation they belong to, never those of others.
  if (!is_joined_federation(federation)) return;
  for (size_t i = 0; i < join_clients_.size(); ++i) join_clients_[i]->federate_joined(federate);
}

// Another federate of the joined federation asks for the federation-wide shut-down: say that
// this one leaves, and end the process a little later so that the word spreads first.
void federation_manager::obey_vindictive(const federation_record& federation, const fedstate_message& message) {
  if (!is_joined_federation(federation) || shutdown_deadline_ != 0) return;
  std::cout << std::endl
            << "Requested to shut down by federate " << message.federate_name << std::endl
            << "Shutting down in 5 seconds. " << std::endl;
  shutdown_deadline_ = now() + shutdown_delay_ms;
  joined_->own->state = federate_state::resigned;
  send_fedstate();
}

void federation_manager::trace_federate(const char* event, const federate_record& federate) const {
  if (trace_->is_on()) *trace_ << event << ": " << federate.name << " (" << federate.handle << ")" << std::endl;
}

// Tells the listeners (for the joined federation) and frees the record.
void federation_manager::forget_federate(federation_record& federation, federate_record& federate) {
  if (is_joined_federation(federation))
    for (size_t i = 0; i < join_clients_.size(); ++i) join_clients_[i]->federate_gone(&federate);
  federation.federates.erase(federate.identifier);
}

// The periodic step.

void federation_manager::timer_step() {
  const uint64_t t = now();
  if (joined_ && t - joined_->own->last_heard > heartbeat_interval_s_ * 1000) send_fedstate();
  sweep_liveness(t);
  if (joined_ && mismatch_warned_) watch_mismatch(t);
  if (shutdown_deadline_ != 0 && t >= shutdown_deadline_) end_process("Shutting down by remote command.");
  if (joined_ && joined_->own->state == federate_state::vindictive && joined_->federates.size() == 1)
    end_process("All federates in federation have shut down.");
}

void federation_manager::sweep_liveness(uint64_t t) {
  for (auto& [name, federation] : federations_) {
    for (auto next = federation->federates.begin(); next != federation->federates.end();) {
      federate_record& federate = *(next++)->second;
      if (&federate == federation->own) continue;
      if (federate.liveness == federate_liveness::green && t > federate.last_heard + amber_timeout_ms_) {
        federate.liveness = federate_liveness::amber;
        trace_federate("Federate Amber", federate);
      } else if (federate.liveness == federate_liveness::amber && t > federate.last_heard + red_timeout_ms_) {
        federate.liveness = federate_liveness::red;
        trace_federate("Federate Red", federate);
      } else if (federate.liveness == federate_liveness::red && t > federate.last_heard + gone_timeout_ms_) {
        federate.liveness = federate_liveness::gone;
        trace_federate("Federate Gone", federate);
        forget_federate(*federation, federate);
      }
    }
  }
  std::erase_if(federations_, [](const auto& entry) {
    return entry.second->federates.empty() && !entry.second->created_here;
  });
}

void federation_manager::watch_mismatch(uint64_t t) {
  if (t < mismatch_deadline_ || joined_->own->state == federate_state::vindictive) return;
  if (t - last_mismatch_ < gone_timeout_ms_) {
    std::cerr << std::endl << "Killing federation due to RID/FED mismatch" << std::endl;
    request_shutdown();
    return;
  }
  mismatch_warned_ = false;
  mismatch_deadline_ = 0;
  last_mismatch_ = 0;
}

// Runs inside the distribution manager's own tick: once the federate has ended nothing of it, nor
// of this manager, may be touched, so the process ends right there without unwinding into freed frames.
void federation_manager::end_process(const char* why, int status) {
  std::cout << std::endl << why << std::endl;
  resign();
  host_.end_federate();
  std::cout.flush();
  std::fflush(nullptr);
  _exit(status);
}

}  // namespace varnel
