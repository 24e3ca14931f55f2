// The distribution manager's relative_time (an interval such as the lookahead) over the
// federate's own FedTime, as cpp13_absolute_time is for points of time. Made by the binding's
// time factories and by the ambassador around the lookaheads a federate passes in.
#pragma once

#include <cstdint>
#include <memory>

#include "RTI.hh"
#include "pools.h"
#include "time/relative_time.h"

namespace halden13 {

class cpp13_relative_time : public varnel::relative_time, public brindle::memory_pooled<cpp13_relative_time> {
public:
  // A zero interval.
  cpp13_relative_time();
  // A copy of the federate's value, independent of it afterwards.
  explicit cpp13_relative_time(const rti13::FedTime& value);
  // Takes a time that the time library made.
  explicit cpp13_relative_time(std::unique_ptr<rti13::FedTime> held);
  // A time decoded from the library's encoded form in the first length bytes; null when they
  // are too few for a whole time or the library refuses them (a NaN).
  static cpp13_relative_time* decode(const char* bytes, uint32_t length);

  varnel::relative_time* clone() const override;
  void set_zero() override;
  bool is_zero() const override;
  void set_epsilon() override;
  // Compares with the library's epsilon.
  bool is_epsilon() const override;
  // As for cpp13_absolute_time: failures of the time library print one line and never throw.
  varnel::relative_time& assign(const varnel::relative_time& other) override;
  varnel::relative_time& set_difference(const varnel::absolute_time& a, const varnel::absolute_time& b) override;
  varnel::relative_time& add(const varnel::relative_time& other) override;
  varnel::relative_time& subtract(const varnel::relative_time& other) override;
  bool greater(const varnel::relative_time& other) const override;
  bool less(const varnel::relative_time& other) const override;
  bool equal(const varnel::relative_time& other) const override;
  bool greater_equal(const varnel::relative_time& other) const override;
  bool less_equal(const varnel::relative_time& other) const override;
  uint32_t encoded_length() const override;
  void encode(char* buffer) const override;
  const char* printable() override;

  rti13::FedTime& fed_time() const { return *time_; }

private:
  std::unique_ptr<rti13::FedTime> time_;
  std::unique_ptr<char[]> printable_;
};

}  // namespace halden13
