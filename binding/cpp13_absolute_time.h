// The distribution manager's absolute_time over the federate's own FedTime: each wrapper owns
// one time made by the time library (FedTimeFactory) and forwards every operation to it, so the
// federate's time representation travels unchanged through the RTI. Made by the binding's time
// factories and by the ambassador around the times a federate passes in.
#pragma once

#include <cstdint>
#include <memory>

#include "RTI.hh"
#include "time/absolute_time.h"
#include "pools.h"

namespace halden13 {

class cpp13_absolute_time : public varnel::absolute_time, public brindle::memory_pooled<cpp13_absolute_time> {
public:
  // A zero time.
  cpp13_absolute_time();
  // A copy of the federate's value, independent of it afterwards.
  explicit cpp13_absolute_time(const rti13::FedTime& value);
  // Takes a time that the time library made.
  explicit cpp13_absolute_time(std::unique_ptr<rti13::FedTime> held);
  // A time decoded from the library's encoded form in the first length bytes; null when they
  // are too few for a whole time or the library refuses them (a NaN).
  static cpp13_absolute_time* decode(const char* bytes, uint32_t length);

  varnel::absolute_time* clone() const override;
  void set_zero() override;
  bool is_zero() const override;
  void set_infinity() override;
  bool is_infinity() const override;
  // Assignment, arithmetic and comparisons never throw into the distribution manager: a failure
  // of the time library prints one line; the time keeps what the library left, a comparison
  // answers false.
  varnel::absolute_time& assign(const varnel::absolute_time& other) override;
  varnel::absolute_time& add(const varnel::relative_time& interval) override;
  varnel::absolute_time& subtract(const varnel::relative_time& interval) override;
  bool greater(const varnel::absolute_time& other) const override;
  bool less(const varnel::absolute_time& other) const override;
  bool equal(const varnel::absolute_time& other) const override;
  bool greater_equal(const varnel::absolute_time& other) const override;
  bool less_equal(const varnel::absolute_time& other) const override;
  uint32_t encoded_length() const override;
  void encode(char* buffer) const override;
  // A fresh buffer each call; the previous one is freed.
  const char* printable() override;

  // The held time, handed to the federate's callbacks without a copy.
  rti13::FedTime& fed_time() const { return *time_; }

private:
  std::unique_ptr<rti13::FedTime> time_;
  std::unique_ptr<char[]> printable_;
};

}  // namespace halden13
