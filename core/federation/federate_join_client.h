// A listener told by the federation manager when a federate of the joined federation appears
// or goes away (resigned, or silent past the gone timeout). Managers that track the other
// federates register themselves in their constructors and unregister in their destructors.
#pragma once

namespace varnel {

struct federate_record;

class federate_join_client {
public:
  virtual ~federate_join_client() = default;
  // A federate was heard for the first time; the record stays valid until federate_gone.
  virtual void federate_joined(federate_record* federate) = 0;
  // The federate left; the record is freed right after this call returns.
  virtual void federate_gone(federate_record* federate) = 0;
};

}  // namespace varnel
