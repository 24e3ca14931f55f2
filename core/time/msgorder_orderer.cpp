#include "time/msgorder_orderer.h"

#include "diagnostic.h"
#include "frame/debugging_events.h"

namespace varnel {

using namespace brindle;

msgorder_orderer::msgorder_orderer(const char* name, dstream& trace, size_t warning_length)
    : name_(name), trace_(trace), warning_length_(warning_length) {}

// A queue never drops what it holds: past the mark it says once that delivery is falling
// behind and counts how often it stays there.
void msgorder_orderer::note_enqueued(size_t length_now) {
  ++enqueued_;
  if (length_now > max_length_) max_length_ = length_now;
  if (length_now <= warning_length_) return;
  if (over_mark_++ == 0)
    diagnostic(name_.c_str(), "%zu messages queued, more than the warning length %zu; delivery is falling behind",
               length_now, warning_length_);
}

void msgorder_orderer::deliver(queued_message& record) {
  record.buffer->set_iptr(record.read_position);
  try {
    record.client->deliver(record.service, record.order, record.time.get(), record.handle, record.stream,
                           record.priority, record.buffer.get());
  } catch (const ldm_decode_error&) {
    ++undecodable_;
  }
}

}  // namespace varnel
