// A distribution manager for core tests: federation times over a double (8-byte big-endian
// encoding, epsilon 1e-9) and every callback recorded as one line, "<HLA name> <handles...>",
// so a test can assert on what its federate would have received. On the real clock, or on a
// stepped clock that the test moves (and that outlives the manager).
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "time/absolute_time.h"
#include "bit_vector.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "regions/region.h"
#include "time/event_retraction_handle.h"
#include "frame/local_distribution_manager.h"
#include "manual_clock.h"
#include "test_rid.h"
#include "time/relative_time.h"
#include "timers.h"

namespace test_time_detail {

inline void encode_double(double value, char* out) {
  const auto bits = std::bit_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (56 - 8 * i));
}

inline double decode_double(const char* in) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(in[i]);
  return std::bit_cast<double>(bits);
}

}  // namespace test_time_detail

class test_relative_time;

class test_absolute_time : public varnel::absolute_time {
public:
  explicit test_absolute_time(double value = 0) : value_(value) {}
  double value() const { return value_; }

  varnel::absolute_time* clone() const override { return new test_absolute_time(value_); }
  void set_zero() override { value_ = 0; }
  bool is_zero() const override { return value_ == 0; }
  void set_infinity() override { value_ = std::numeric_limits<double>::infinity(); }
  bool is_infinity() const override { return std::isinf(value_); }
  varnel::absolute_time& assign(const varnel::absolute_time& other) override { return value_ = of(other), *this; }
  varnel::absolute_time& add(const varnel::relative_time& interval) override;
  varnel::absolute_time& subtract(const varnel::relative_time& interval) override;
  bool greater(const varnel::absolute_time& other) const override { return value_ > of(other); }
  bool less(const varnel::absolute_time& other) const override { return value_ < of(other); }
  bool equal(const varnel::absolute_time& other) const override { return value_ == of(other); }
  bool greater_equal(const varnel::absolute_time& other) const override { return value_ >= of(other); }
  bool less_equal(const varnel::absolute_time& other) const override { return value_ <= of(other); }
  uint32_t encoded_length() const override { return 8; }
  void encode(char* buffer) const override { test_time_detail::encode_double(value_, buffer); }
  const char* printable() override {
    text_ = std::to_string(value_);
    return text_.c_str();
  }

private:
  static double of(const varnel::absolute_time& t) { return static_cast<const test_absolute_time&>(t).value_; }
  double value_;
  std::string text_;
};

class test_relative_time : public varnel::relative_time {
public:
  static constexpr double epsilon = 1e-9;
  explicit test_relative_time(double value = 0) : value_(value) {}
  double value() const { return value_; }

  varnel::relative_time* clone() const override { return new test_relative_time(value_); }
  void set_zero() override { value_ = 0; }
  bool is_zero() const override { return value_ == 0; }
  void set_epsilon() override { value_ = epsilon; }
  bool is_epsilon() const override { return value_ == epsilon; }
  varnel::relative_time& assign(const varnel::relative_time& other) override { return value_ = of(other), *this; }
  varnel::relative_time& set_difference(const varnel::absolute_time& a, const varnel::absolute_time& b) override {
    value_ = static_cast<const test_absolute_time&>(a).value() - static_cast<const test_absolute_time&>(b).value();
    return *this;
  }
  varnel::relative_time& add(const varnel::relative_time& other) override { return value_ += of(other), *this; }
  varnel::relative_time& subtract(const varnel::relative_time& other) override { return value_ -= of(other), *this; }
  bool greater(const varnel::relative_time& other) const override { return value_ > of(other); }
  bool less(const varnel::relative_time& other) const override { return value_ < of(other); }
  bool equal(const varnel::relative_time& other) const override { return value_ == of(other); }
  bool greater_equal(const varnel::relative_time& other) const override { return value_ >= of(other); }
  bool less_equal(const varnel::relative_time& other) const override { return value_ <= of(other); }
  uint32_t encoded_length() const override { return 8; }
  void encode(char* buffer) const override { test_time_detail::encode_double(value_, buffer); }
  const char* printable() override {
    text_ = std::to_string(value_);
    return text_.c_str();
  }

private:
  static double of(const varnel::relative_time& t) { return static_cast<const test_relative_time&>(t).value_; }
  double value_;
  std::string text_;
};

inline varnel::absolute_time& test_absolute_time::add(const varnel::relative_time& interval) {
  value_ += static_cast<const test_relative_time&>(interval).value();
  return *this;
}

inline varnel::absolute_time& test_absolute_time::subtract(const varnel::relative_time& interval) {
  value_ -= static_cast<const test_relative_time&>(interval).value();
  return *this;
}

class test_ldm : public varnel::local_distribution_manager {
public:
  explicit test_ldm(const char* api_name = "HLA 1.3 C++ API") : varnel::local_distribution_manager(api_name) {}
  explicit test_ldm(manual_clock& stepped)
      : varnel::local_distribution_manager("HLA 1.3 C++ API", std::make_unique<manual_scheduler>(stepped)) {}

  // Every callback received so far, oldest first.
  std::vector<std::string> callbacks;
  // The values of each reflect and receive, in order: "handle=bytes" by ascending handle.
  std::vector<std::string> values;
  // The region of each of those sets (extents_of), "" for none.
  std::vector<std::string> regions;
  // Runs inside each callback, after it is recorded: lets a test act as a federate would.
  std::function<void(const std::string&)> on_callback;

  varnel::absolute_time* make_absolute_time() override { return new test_absolute_time; }
  varnel::absolute_time* decode_absolute_time(const char* bytes, uint32_t length) override {
    return length < 8 ? nullptr : new test_absolute_time(test_time_detail::decode_double(bytes));
  }
  varnel::relative_time* make_relative_time() override { return new test_relative_time; }
  varnel::relative_time* decode_relative_time(const char* bytes, uint32_t length) override {
    return length < 8 ? nullptr : new test_relative_time(test_time_detail::decode_double(bytes));
  }

  void synchronization_point_registration_succeeded(const char* label) override {
    note("synchronizationPointRegistrationSucceeded", label);
  }
  void synchronization_point_registration_failed(const char* label) override {
    note("synchronizationPointRegistrationFailed", label);
  }
  void announce_synchronization_point(const char* label, const varnel::user_tag&) override {
    note("announceSynchronizationPoint", label);
  }
  void federation_synchronized(const char* label) override { note("federationSynchronized", label); }
  void initiate_federate_save(const char* label) override { note("initiateFederateSave", label); }
  void federation_saved() override { note("federationSaved"); }
  void federation_not_saved() override { note("federationNotSaved"); }
  void request_federation_restore_succeeded(const char* label) override {
    note("requestFederationRestoreSucceeded", label);
  }
  void request_federation_restore_failed(const char* label, const char* reason) override {
    note("requestFederationRestoreFailed", joined({label, reason}));
  }
  void federation_restore_begun() override { note("federationRestoreBegun"); }
  void initiate_federate_restore(const char* label, unsigned federate) override {
    note("initiateFederateRestore", joined({label, std::to_string(federate)}));
  }
  void federation_restored() override { note("federationRestored"); }
  void federation_not_restored() override { note("federationNotRestored"); }
  void start_registration_for_object_class(unsigned c) override { note("startRegistrationForObjectClass", c); }
  void stop_registration_for_object_class(unsigned c) override { note("stopRegistrationForObjectClass", c); }
  void turn_interactions_on(unsigned c) override { note("turnInteractionsOn", c); }
  void turn_interactions_off(unsigned c) override { note("turnInteractionsOff", c); }
  void discover_object_instance(unsigned object, unsigned object_class, const char* name) override {
    note("discoverObjectInstance", joined({std::to_string(object), std::to_string(object_class), name}));
  }
  void reflect_attribute_values(unsigned object, const varnel::handle_value_set& set, const varnel::user_tag&) override {
    keep(set);
    note("reflectAttributeValues", object);
  }
  void reflect_attribute_values(unsigned object, const varnel::handle_value_set& set, const varnel::absolute_time& time, const varnel::user_tag&,
                                const varnel::event_retraction_handle& handle) override {
    keep(set);
    note("reflectAttributeValues", timed(object, time, handle));
  }
  void receive_interaction(unsigned interaction, const varnel::handle_value_set& set, const varnel::user_tag&) override {
    keep(set);
    note("receiveInteraction", interaction);
  }
  void receive_interaction(unsigned interaction, const varnel::handle_value_set& set, const varnel::absolute_time& time, const varnel::user_tag&,
                           const varnel::event_retraction_handle& handle) override {
    keep(set);
    note("receiveInteraction", timed(interaction, time, handle));
  }
  void remove_object_instance(unsigned object, const varnel::user_tag&) override { note("removeObjectInstance", object); }
  void remove_object_instance(unsigned object, const varnel::absolute_time& time, const varnel::user_tag&,
                              const varnel::event_retraction_handle& handle) override {
    note("removeObjectInstance", timed(object, time, handle));
  }
  void attributes_in_scope(unsigned o, const brindle::bit_vector& a) override { note("attributesInScope", o, a); }
  void attributes_out_of_scope(unsigned o, const brindle::bit_vector& a) override { note("attributesOutOfScope", o, a); }
  void provide_attribute_value_update(unsigned o, const brindle::bit_vector& a) override {
    note("provideAttributeValueUpdate", o, a);
  }
  void turn_updates_on_for_object_instance(unsigned o, const brindle::bit_vector& a) override {
    note("turnUpdatesOnForObjectInstance", o, a);
  }
  void turn_updates_off_for_object_instance(unsigned o, const brindle::bit_vector& a) override {
    note("turnUpdatesOffForObjectInstance", o, a);
  }
  void request_attribute_ownership_assumption(unsigned o, const brindle::bit_vector& a, const varnel::user_tag&) override {
    note("requestAttributeOwnershipAssumption", o, a);
  }
  void attribute_ownership_divestiture_notification(unsigned o, const brindle::bit_vector& a) override {
    note("attributeOwnershipDivestitureNotification", o, a);
  }
  void attribute_ownership_acquisition_notification(unsigned o, const brindle::bit_vector& a) override {
    note("attributeOwnershipAcquisitionNotification", o, a);
  }
  void attribute_ownership_unavailable(unsigned o, const brindle::bit_vector& a) override {
    note("attributeOwnershipUnavailable", o, a);
  }
  void request_attribute_ownership_release(unsigned o, const brindle::bit_vector& a, const varnel::user_tag&) override {
    note("requestAttributeOwnershipRelease", o, a);
  }
  void confirm_attribute_ownership_acquisition_cancellation(unsigned o, const brindle::bit_vector& a) override {
    note("confirmAttributeOwnershipAcquisitionCancellation", o, a);
  }
  void inform_attribute_ownership(unsigned object, unsigned attribute, unsigned federate) override {
    note("informAttributeOwnership",
         joined({std::to_string(object), std::to_string(attribute), std::to_string(federate)}));
  }
  void attribute_is_not_owned(unsigned object, unsigned attribute) override {
    note("attributeIsNotOwned", joined({std::to_string(object), std::to_string(attribute)}));
  }
  void attribute_owned_by_rti(unsigned object, unsigned attribute) override {
    note("attributeOwnedByRTI", joined({std::to_string(object), std::to_string(attribute)}));
  }
  void time_regulation_enabled(const varnel::absolute_time& time) override { note("timeRegulationEnabled", value(time)); }
  void time_constrained_enabled(const varnel::absolute_time& time) override { note("timeConstrainedEnabled", value(time)); }
  void time_advance_grant(const varnel::absolute_time& time) override { note("timeAdvanceGrant", value(time)); }
  void request_retraction(const varnel::event_retraction_handle& handle) override {
    note("requestRetraction", retraction(handle));
  }

private:
  void keep(const varnel::handle_value_set& set) {
    std::vector<std::string> pairs;
    for (uint32_t i = 0; i < set.size(); ++i) {
      const varnel::handle_value_pair& pair = set.get_pair(i);
      pairs.push_back(std::to_string(pair.get_handle()) + "=" + std::string(pair.get_data(), pair.get_length()));
    }
    std::sort(pairs.begin(), pairs.end());
    std::string text;
    for (const std::string& pair : pairs) text.append(text.empty() ? "" : " ").append(pair);
    values.push_back(text);
    regions.push_back(extents_of(set.get_region()));
  }
  // "[lower-upper ...]" per extent of a received set's region; "" for none.
  static std::string extents_of(const varnel::region_spec* region) {
    std::string text;
    if (!region) return text;
    for (const varnel::filter_extent& extent : region->committed_extents()) {
      text += "[";
      for (const varnel::filter_range& range : extent.ranges)
        text.append(text.back() == '[' ? "" : " ")
            .append(std::to_string(range.lower))
            .append("-")
            .append(std::to_string(range.upper));
      text += "]";
    }
    return text;
  }
  static std::string value(const varnel::absolute_time& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<const test_absolute_time&>(time).value());
    return text;
  }
  static std::string retraction(const varnel::event_retraction_handle& handle) {
    std::string text = std::to_string(handle.serial);
    text.append("/").append(std::to_string(handle.federate));
    return text;
  }
  static std::string timed(unsigned handle, const varnel::absolute_time& time, const varnel::event_retraction_handle& handle_of) {
    return joined({std::to_string(handle), std::string("@").append(value(time)), retraction(handle_of)});
  }
  // The words separated by single spaces.
  static std::string joined(std::initializer_list<std::string> words) {
    std::string text;
    for (const std::string& word : words) (text.empty() && &word == words.begin() ? text : text.append(" ")).append(word);
    return text;
  }
  void note(const char* name) { record(name); }
  void note(const char* name, const std::string& detail) { record(joined({name, detail})); }
  void record(std::string line) {
    callbacks.push_back(line);
    if (on_callback) on_callback(line);
  }
  void note(const char* name, unsigned handle) { note(name, std::to_string(handle)); }
  void note(const char* name, unsigned object, const brindle::bit_vector& attributes) {
    std::string detail = std::to_string(object);
    for (uint32_t a = attributes.find_next(0); a != brindle::bit_vector::npos; a = attributes.find_next(a + 1))
      detail.append(" ").append(std::to_string(a));
    note(name, detail);
  }
};

// A federate that created the federation of the model on its own port and joined it.
inline std::unique_ptr<test_ldm> joined_test_ldm(uint16_t port, const char* federation, const char* fed_file) {
  test_rid_options options;
  options.port = port;
  const scoped_rid_file rid(options);
  auto ldm = std::make_unique<test_ldm>();
  ldm->create_federation_execution(federation, fed_file);
  ldm->join_federation_execution("alpha", federation);
  return ldm;
}

// An attribute set of the handles given.
inline brindle::bit_vector attribute_set(std::initializer_list<uint32_t> handles) {
  brindle::bit_vector set(8, false);
  for (uint32_t h : handles) set.set_bit(h);
  return set;
}

// A timer that runs a test's action once, inside the scheduler pass of a tick.
class action_timer : public brindle::oneshot_realtime_timer {
public:
  explicit action_timer(std::function<void()> action) : action_(std::move(action)) {}

protected:
  void on_timer() override { action_(); }

private:
  std::function<void()> action_;
};
