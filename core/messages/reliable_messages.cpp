#include "messages/reliable_messages.h"

#include "stream_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr uint32_t ack_entry_bytes = 12;  // two identifier words and a sequence

// Each read() takes every field off the wire before it checks any, so that a message cut short
// is undecodable (the transport's count) whatever else is wrong with it.
void refuse_wildcard(const federate_identifier& id, const char* what) {
  if (id.is_wildcard()) throw reliable_refusal(what);
}

// The messages that are a sender and one word after it.
template <class Message, uint32_t Message::*word>
Message read_sender_and_word(ldm_buf& buffer, const char* wildcard_refusal) {
  Message m;
  buffer >> m.sender >> m.*word;
  refuse_wildcard(m.sender, wildcard_refusal);
  return m;
}

}  // namespace

void reliable_data_header::write(ldm_buf& buffer) const { buffer << sender << sequence; }

reliable_data_header reliable_data_header::read(ldm_buf& buffer) {
  return read_sender_and_word<reliable_data_header, &reliable_data_header::sequence>(
      buffer, "reliable data: wildcard sender");
}

void reliable_notice_message::write(ldm_buf& buffer) const { buffer << sender << sequence << stream; }

reliable_notice_message reliable_notice_message::read(ldm_buf& buffer) {
  reliable_notice_message m;
  buffer >> m.sender >> m.sequence >> m.stream;
  refuse_wildcard(m.sender, "reliable notice: wildcard sender");
  if (m.stream < 0 || m.stream >= stream_manager::stream_limit) {
    throw reliable_refusal("reliable notice: no such stream");
  }
  return m;
}

void reliable_nack_message::write(ldm_buf& buffer) const { buffer << sender << sequence; }

reliable_nack_message reliable_nack_message::read(ldm_buf& buffer) {
  return read_sender_and_word<reliable_nack_message, &reliable_nack_message::sequence>(
      buffer, "reliable NACK: wildcard sender");
}

void reliable_ack_message::write(ldm_buf& buffer) const {
  buffer << acknowledger << static_cast<uint32_t>(entries.size());
  for (const entry& e : entries) buffer << e.sender << e.last;
}

// The count is checked against the bytes left before the list is made, so a lying count costs
// nothing; an ACK cut short inside its list is therefore refused rather than undecodable.
reliable_ack_message reliable_ack_message::read(ldm_buf& buffer) {
  reliable_ack_message m;
  uint32_t count;
  buffer >> m.acknowledger >> count;
  const uint64_t left = buffer.get_size() > buffer.get_iptr() ? buffer.get_size() - buffer.get_iptr() : 0;
  if (count > max_entries || uint64_t{count} * ack_entry_bytes > left) {
    throw reliable_refusal("reliable ACK: bad count");
  }
  m.entries.resize(count);
  for (entry& e : m.entries) buffer >> e.sender >> e.last;
  refuse_wildcard(m.acknowledger, "reliable ACK: wildcard acknowledger");
  for (const entry& e : m.entries) refuse_wildcard(e.sender, "reliable ACK: wildcard sender");
  return m;
}

void reliable_ping_message::write(ldm_buf& buffer) const { buffer << sender << next_sequence; }

reliable_ping_message reliable_ping_message::read(ldm_buf& buffer) {
  return read_sender_and_word<reliable_ping_message, &reliable_ping_message::next_sequence>(
      buffer, "reliable ping: wildcard sender");
}

void reliable_sorry_message::write(ldm_buf& buffer) const { buffer << sender << sequence; }

reliable_sorry_message reliable_sorry_message::read(ldm_buf& buffer) {
  return read_sender_and_word<reliable_sorry_message, &reliable_sorry_message::sequence>(
      buffer, "reliable sorry: wildcard sender");
}

}  // namespace varnel
