// The time state: what one federate's time manager tells every other about its time, sent on
// stream 2 by the stream service "time_manager" after every change of its own state and every
// second while it regulates or is constrained.
//
//   | field                         | encoding                                               |
//   | sender                        | federate_identifier (never the wildcard)               |
//   | regulating                    | bool word                                              |
//   | constrained                   | bool word                                              |
//   | then only when either is set: |                                                        |
//   | time                          | length word n (1..64), n bytes of absolute_time::encode |
//   | lookahead                     | length word n (1..64), n bytes of relative_time::encode |
//   | last advance type             | word, 0..5                                             |
//   | current advance type          | word, 0..5                                             |
//   | request time                  | as time; only when the current advance type is not 0   |
//   | reliable fence                | federate_identifier of the sender's "rel_message"      |
//   |                               | service, then a word: its next sequence number         |
//
// The fence lets a receiver wait until the sender's reliable time-stamped messages sent before
// this state have arrived before it counts the state in its LBTS.
#pragma once

#include <cstdint>
#include <memory>

#include "federate_identifier.h"
#include "time/absolute_time.h"
#include "time/relative_time.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class local_distribution_manager;

// On the wire as these numbers.
enum class advance_type : uint32_t { none = 0, tar = 1, tara = 2, ner = 3, nera = 4, fqr = 5 };
const char* advance_type_name(advance_type type);

struct time_state_message {
  brindle::federate_identifier sender;
  bool regulating = false;
  bool constrained = false;
  std::unique_ptr<absolute_time> time;
  std::unique_ptr<relative_time> lookahead;
  advance_type last = advance_type::none;
  advance_type current = advance_type::none;
  std::unique_ptr<absolute_time> request;
  brindle::federate_identifier reliable_sender;
  uint32_t reliable_fence = 0;

  void write(brindle::ldm_buf& buffer) const;
  // Decodes with the manager's time factories. A message that ends early, a wildcard sender, a
  // time of a bad length or that the factory refuses (a NaN), or an advance type out of range
  // throws ldm_decode_error.
  static time_state_message read(brindle::ldm_buf& buffer, local_distribution_manager& factories);
};

}  // namespace varnel
