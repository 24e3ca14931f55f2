// What managers that must know of this federate's own updates implement: after each update
// message the transport manager sent, every listener hears the object and the attributes that
// message carried. A listener registers with the transport manager and leaves before it goes.
#pragma once

#include <cstdint>

namespace brindle {
class bit_vector;
}  // namespace brindle

namespace varnel {

class update_listener {
public:
  virtual ~update_listener() = default;
  virtual void updated(uint32_t object, const brindle::bit_vector& attributes) = 0;
};

}  // namespace varnel
