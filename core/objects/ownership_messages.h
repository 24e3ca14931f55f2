// The messages of attribute ownership. The ownership manager's go on stream 2 through the
// reliable service "ownership" (a lost take, release or cancellation would leave an attribute
// with two owners or none); a transport's fail-over messages go on the reliable service named
// after the transport with "_failover".
//
// ownership_message: a type word, then
//   | type | name                 | fields after the type                                       |
//   | 1    | NEW_FLOATING_MSG     | object name, attributes, sender                             |
//   | 2    | ATTRS_OFFER_MSG      | object name, attributes, sender, user tag                   |
//   | 3    | ATTRS_OFFER_CANCEL.. | object name, attributes, sender                             |
//   | 4    | WE_TAKE_THESE_MSG    | object name, attributes, sender, the federate taken from    |
//   | 5    | REQUEST_ATTRS_MSG    | object name, attributes, sender, user tag                   |
//   | 6    | REQUEST_ATTRS_CANC.. | object name, attributes, sender                             |
//   | 7    | RELEASING_ATTRS_MSG  | object name, attributes, sender, the federate released to   |
//   | 8    | WHO_OWNS_MSG         | object name, attribute word, sender                         |
//   | 9    | I_OWN_MSG            | object name, attribute word, owner, the asker, owner number |
// Names are strings of at most 4096 bytes, attributes a length word and a bit vector's flat
// form, identifiers two words (never the wildcard), tags as user_tag writes them.
//
// failover_message: type word (1 claim, 2 takeover, 3 give-away, 4 owner alive), object name,
// ticket word, sender's federate number word, sender identifier. A claim and a takeover carry the
// (ticket, number, identifier) triple that decides between two takers.
#pragma once

#include <cstdint>
#include <string>

#include "bit_vector.h"
#include "federate_identifier.h"
#include "messages/user_tag.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

enum class ownership_type : uint32_t {
  new_floating = 1,
  offer = 2,
  offer_cancellation = 3,
  we_take = 4,
  request = 5,
  request_cancellation = 6,
  releasing = 7,
  who_owns = 8,
  i_own = 9,
};
const char* ownership_type_name(ownership_type type);

struct ownership_message {
  ownership_type type = ownership_type::new_floating;
  std::string object;
  brindle::bit_vector attributes;        // types 1 to 7
  uint32_t attribute = 0;                // types 8 and 9
  brindle::federate_identifier sender;   // the owner for type 9
  brindle::federate_identifier other;    // 4: taken from, 7: released to, 9: the asker
  uint32_t owner_number = 0;             // type 9
  user_tag tag;                          // types 2 and 5

  void write(brindle::ldm_buf& buffer) const;
  // A type outside 1-9, an empty or overlong name, a malformed bit vector or a wildcard
  // identifier throws ldm_decode_error. The attribute set is as the sender wrote it (up to 2^30
  // bits): the receiver clamps it to the object's class.
  static ownership_message read(brindle::ldm_buf& buffer);
};

enum class failover_type : uint32_t { claim = 1, takeover = 2, give_away = 3, alive = 4 };

struct failover_message {
  failover_type type = failover_type::claim;
  std::string object;
  uint32_t ticket = 0;
  uint32_t number = 0;
  brindle::federate_identifier sender;

  // Orders two takers of one object: the higher (ticket, number, identifier) keeps it.
  bool outranks(const failover_message& other) const;
  void write(brindle::ldm_buf& buffer) const;
  // A type outside 1-4, an empty or overlong name or a wildcard sender throws ldm_decode_error.
  static failover_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
