// The private object behind each RTIambassador: the binding's distribution manager (time
// factories and callback delivery over the core's local_distribution_manager) plus the region
// validator. The ambassador that made it and all copies of that ambassador share it; the last
// of them to go destroys it.
#pragma once

#include <atomic>
#include <memory>

#include "cpp13_callbacks.h"
#include "region_validator.h"

namespace rti13 {

class RTIambPrivateData : public halden13::cpp13_callbacks {
public:
  // Builds the whole distribution manager, then the region validator when the RID's
  // "subscriptions.validate_regions" is on.
  explicit RTIambPrivateData(const char* api_name);
  ~RTIambPrivateData() override;

  // Null while region validation is off. Shared with the regions' wrappers, which leave it when
  // the federate deletes them, even after the ambassador is gone.
  halden13::region_validator* get_region_validator() const { return validator_.get(); }
  const std::shared_ptr<halden13::region_validator>& share_region_validator() const { return validator_; }

private:
  std::shared_ptr<halden13::region_validator> validator_;
};

class RTIambPrivateRefs : public RTIambPrivateData {
public:
  // The API name every ambassador gives its distribution manager.
  static constexpr const char* api_name = "HLA 1.3 C++ API";

  RTIambPrivateRefs() : RTIambPrivateData(api_name) {}

  // One count per ambassador sharing this object, starting with the one that made it. Copies
  // may live on other threads, hence the atomic count.
  void add_sharer() { sharers_.fetch_add(1, std::memory_order_relaxed); }
  // True when the caller was the last sharer and must destroy the object.
  bool drop_sharer() { return sharers_.fetch_sub(1, std::memory_order_acq_rel) == 1; }

private:
  std::atomic<unsigned> sharers_{1};
};

}  // namespace rti13
