// A point of federation time. The distribution manager never looks inside a time: the binding
// implements this class over the federate's own time type and hands out every instance through
// the manager's time factories, so the federate's representation travels unchanged.
#pragma once

#include <cstdint>

namespace varnel {

class relative_time;

class absolute_time {
public:
  virtual ~absolute_time() = default;
  virtual absolute_time* clone() const = 0;
  virtual void set_zero() = 0;
  virtual bool is_zero() const = 0;
  virtual void set_infinity() = 0;
  virtual bool is_infinity() const = 0;
  virtual absolute_time& assign(const absolute_time& other) = 0;
  virtual absolute_time& add(const relative_time& interval) = 0;
  virtual absolute_time& subtract(const relative_time& interval) = 0;
  virtual bool greater(const absolute_time& other) const = 0;
  virtual bool less(const absolute_time& other) const = 0;
  virtual bool equal(const absolute_time& other) const = 0;
  virtual bool greater_equal(const absolute_time& other) const = 0;
  virtual bool less_equal(const absolute_time& other) const = 0;
  // The encoded form is the federate's own; its length says how many bytes encode writes.
  virtual uint32_t encoded_length() const = 0;
  virtual void encode(char* buffer) const = 0;
  // A null-terminated text owned by this object, valid until the next call.
  virtual const char* printable() = 0;
};

}  // namespace varnel
