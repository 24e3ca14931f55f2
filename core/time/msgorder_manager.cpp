#include "time/msgorder_manager.h"

#include "fed/fed.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_best_effort.h"
#include "messages/message_oneshot.h"
#include "messages/message_reliable.h"
#include "rid.h"
#include "time/absolute_time.h"
#include "time/ordering_messages.h"
#include "time/receive_order_queue.h"
#include "time/timestamp_order_queue.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* trace_event = "msgorder";
constexpr const char* ro_event = "ro_queue";
constexpr const char* tso_event = "tso_queue";
constexpr const char* service_names[ordering_service_count] = {"be_message", "os_message", "rel_message"};

size_t warning_length(RID& rid) {
  const int32_t length = rid.get_own_integer("ordering", "queue_warning_length");
  return length > 0 ? static_cast<size_t>(length) : 100000;
}

// The time for a trace line: a clone, since printing may change the printed object's text.
std::string printed(const absolute_time* time) {
  if (!time) return "no time";
  std::unique_ptr<absolute_time> copy(time->clone());
  return copy->printable();
}

}  // namespace

message_order message_order_of(const FED& fed, uint32_t order) {
  return order == fed.get_order_id("timestamp") ? message_order::timestamp : message_order::receive;
}

msgorder_manager::msgorder_manager(local_distribution_manager& ldm) : ldm_(ldm) {
  debugging_events& debug = ldm.get_debugging_events();
  debug.register_event(ro_event, "receive-order queue: releases");
  debug.register_event(tso_event, "timestamp-order queue: releases and retractions");
  debug.register_event(trace_event, "message ordering: every message set up, sent and received",
                       {ro_event, tso_event});
  for (const char* name : service_names) debug.register_event(name, "an ordering message service's protocol");
  trace_ = &debug.stream(trace_event);

  const size_t mark = warning_length(ldm.get_rid());
  ro_queue_ = std::make_unique<receive_order_queue>(debug.stream(ro_event), mark);
  tso_queue_ = std::make_unique<timestamp_order_queue>(debug.stream(tso_event), mark);
  vessmark::stream_manager* streams = &ldm.get_stream_manager();
  scheduler& ticks = ldm.get_scheduler();
  best_effort_ = std::make_unique<message_best_effort>(streams, this, service_names[0], debug.stream(service_names[0]), ticks);
  oneshot_ = std::make_unique<message_oneshot>(streams, this, service_names[1], debug.stream(service_names[1]), ticks);
  reliable_ = std::make_unique<message_reliable>(streams, this, service_names[2], debug.stream(service_names[2]), ticks,
                                                 federation_reliable_settings(ldm.get_rid()));
}

// The services go first (they write to their trace streams and may hand on a last message),
// then the queues with the buffers they hold, then the events the streams belong to.
msgorder_manager::~msgorder_manager() {
  reliable_.reset();
  oneshot_.reset();
  best_effort_.reset();
  tso_queue_.reset();
  ro_queue_.reset();
  debugging_events& debug = ldm_.get_debugging_events();
  for (const char* name : service_names) debug.unregister_event(name);
  debug.unregister_event(trace_event);
  debug.unregister_event(tso_event);
  debug.unregister_event(ro_event);
}

void msgorder_manager::register_client(msgorder_client& client) {
  if (client.index_ != msgorder_client::unregistered)
    throw make_ldm_exception(ldm_error::InternalError, "msgorder_manager: client %d is registered already",
                             client.index_);
  if (clients_.size() >= max_clients)
    throw make_ldm_exception(ldm_error::InternalError,
                             "msgorder_manager: no room for another client; the ordering header names at most %zu",
                             max_clients);
  client.index_ = static_cast<int>(clients_.size());
  clients_.push_back(&client);
}

message_service& msgorder_manager::service_of(ordering_service service) {
  switch (service) {
    case ordering_service::best_effort: return *best_effort_;
    case ordering_service::oneshot: return *oneshot_;
    case ordering_service::reliable: return *reliable_;
  }
  throw make_ldm_exception(ldm_error::InternalError, "msgorder_manager: unknown message service %d",
                           static_cast<int>(service));
}

ldm_buf* msgorder_manager::get_buf(msgorder_client& client, ordering_service service, message_order order,
                                   const absolute_time* time, event_retraction_handle& handle) {
  if (client.index_ == msgorder_client::unregistered || static_cast<size_t>(client.index_) >= clients_.size() ||
      clients_[client.index_] != &client)
    throw ldm_exception(ldm_error::InternalError, "msgorder_manager: get_buf for a client that is not registered");
  message_service& chosen = service_of(service);
  ordering_header header;
  header.service = service;
  header.client = static_cast<uint8_t>(client.index_);
  if (time && order == message_order::timestamp && regulating_) {
    header.order = message_order::timestamp;
    header.time.reset(time->clone());
    if (handle.serial == 0) {
      if (++last_serial_ == 0) ++last_serial_;
      handle = {last_serial_, ldm_.get_federate_id()};
    }
    header.handle = handle;
  } else {
    handle = {};
  }
  if (trace_->is_on())
    *trace_ << "Setting up msg " << ordering_service_name(service) << ' ' << message_order_name(header.order) << ' '
            << printed(header.time.get()) << std::endl;
  ldm_buf* buffer = chosen.get_buf();
  header_at_[static_cast<size_t>(service)] = buffer->get_optr();
  header.write(*buffer);
  return buffer;
}

void msgorder_manager::send(ordering_service service, int stream, unsigned char priority, ldm_buf* buffer) {
  message_service& chosen = service_of(service);
  const uint32_t position = buffer->get_iptr();
  buffer->set_iptr(header_at_[static_cast<size_t>(service)]);
  const bool timestamped = ordering_header::is_timestamped(buffer->read_4());
  buffer->set_iptr(position);
  if (timestamped) timestamped_streams_.insert(stream);
  if (trace_->is_on())
    *trace_ << "Sending msg " << ordering_service_name(service) << " stream " << stream
            << (timestamped ? " TIMESTAMP_ORDER" : " RECEIVE_ORDER") << std::endl;
  chosen.send(stream, priority, buffer);
}

void msgorder_manager::set_deliver_at_once(bool on) { ro_queue_->set_deliver_at_once(on); }

bool msgorder_manager::earliest_time(absolute_time& out) const {
  const absolute_time* earliest = tso_queue_->earliest_time();
  if (!earliest) return false;
  out.assign(*earliest);
  return true;
}

void msgorder_manager::release(const absolute_time* up_to) { tso_queue_->release(up_to); }

void msgorder_manager::deliver_receive_order() { ro_queue_->release(nullptr); }

bool msgorder_manager::retract(const event_retraction_handle& handle) { return tso_queue_->retract(handle); }

size_t msgorder_manager::receive_order_length() const { return ro_queue_->length(); }
size_t msgorder_manager::timestamp_order_length() const { return tso_queue_->length(); }
uint64_t msgorder_manager::late_messages() const { return tso_queue_->late_messages(); }

ordering_message_counts msgorder_manager::message_counts() const {
  ordering_message_counts counts;
  counts.best_effort_sent = best_effort_->get_sent();
  counts.best_effort_received = best_effort_->get_received();
  counts.oneshot_sent = oneshot_->get_counters().messages_sent;
  counts.oneshot_received = oneshot_->get_counters().messages_received;
  const message_reliable::counters& reliable = reliable_->get_counters();
  counts.reliable_sent = reliable.messages_sent;
  counts.reliable_received = reliable.messages_received;
  counts.reliable_given_up = reliable.gaps_given_up;
  counts.late = late_messages();
  return counts;
}

uint64_t msgorder_manager::undecodable_messages() const {
  return ro_queue_->undecodable() + tso_queue_->undecodable();
}

uint64_t msgorder_manager::messages_over_warning_length() const {
  return ro_queue_->over_mark() + tso_queue_->over_mark();
}

std::vector<int> msgorder_manager::take_timestamped_streams() {
  std::vector<int> streams(timestamped_streams_.begin(), timestamped_streams_.end());
  timestamped_streams_.clear();
  return streams;
}

uint32_t msgorder_manager::next_reliable_sequence() const { return reliable_->next_sequence(); }

const federate_identifier& msgorder_manager::reliable_identifier() const { return reliable_->get_identifier(); }

bool msgorder_manager::reliable_delivered_up_to(const federate_identifier& sender, uint32_t next_sequence) const {
  if (next_sequence == 0) return true;
  const std::optional<uint32_t> last = reliable_->last_delivered(sender);
  // Sequences compare modulo 2^32: last has reached next_sequence - 1 when the signed
  // difference is not negative.
  return last && static_cast<int32_t>(*last - (next_sequence - 1)) >= 0;
}

void msgorder_manager::expect_reliable(const federate_identifier& sender, uint32_t next_sequence) {
  reliable_->expect_next(sender, next_sequence);
}

void msgorder_manager::forget_reliable(const federate_identifier& sender) { reliable_->forget_sender(sender); }

void msgorder_manager::receive(int stream, unsigned char priority, ldm_buf* buffer) {
  ordering_header header;
  try {
    header = ordering_header::read(*buffer, ldm_);
  } catch (const ordering_decode_error& e) {
    ++(e.reason() == ordering_drop::bad_time ? counters_.bad_time : counters_.bad_field);
    return;
  } catch (const ldm_decode_error&) {
    ++counters_.truncated;
    return;
  }
  if (header.client >= clients_.size()) {
    ++counters_.unknown_client;
    return;
  }
  ++counters_.received;
  // A federate that is not constrained takes every message in receive order.
  const bool timestamped = header.order == message_order::timestamp && constrained_;
  if (trace_->is_on())
    *trace_ << "Receiving msg " << ordering_service_name(header.service) << ' ' << message_order_name(header.order)
            << ' ' << printed(header.time.get()) << std::endl;
  msgorder_orderer& queue = timestamped ? static_cast<msgorder_orderer&>(*tso_queue_) : *ro_queue_;
  queue.enqueue(header.service, timestamped ? message_order::timestamp : message_order::receive,
                std::move(header.time), header.handle, stream, priority, buffer, *clients_[header.client]);
}

}  // namespace varnel
