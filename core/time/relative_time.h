// An interval of federation time, such as the lookahead. Like absolute_time it is implemented by
// the binding and made only through the distribution manager's time factories.
#pragma once

#include <cstdint>

namespace varnel {

class absolute_time;

class relative_time {
public:
  virtual ~relative_time() = default;
  virtual relative_time* clone() const = 0;
  virtual void set_zero() = 0;
  virtual bool is_zero() const = 0;
  virtual void set_epsilon() = 0;
  virtual bool is_epsilon() const = 0;
  virtual relative_time& assign(const relative_time& other) = 0;
  // this = a - b
  virtual relative_time& set_difference(const absolute_time& a, const absolute_time& b) = 0;
  virtual relative_time& add(const relative_time& other) = 0;
  virtual relative_time& subtract(const relative_time& other) = 0;
  virtual bool greater(const relative_time& other) const = 0;
  virtual bool less(const relative_time& other) const = 0;
  virtual bool equal(const relative_time& other) const = 0;
  virtual bool greater_equal(const relative_time& other) const = 0;
  virtual bool less_equal(const relative_time& other) const = 0;
  virtual uint32_t encoded_length() const = 0;
  virtual void encode(char* buffer) const = 0;
  virtual const char* printable() = 0;
};

}  // namespace varnel
