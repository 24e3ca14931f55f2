// The exception base of the rti13 interface and the 79 classes declared by RTI13_EXCEPTION_LIST:
// their names, copies and printing. The reason text is a private copy freed with the exception.
#include <ostream>

#include "RTI.hh"
#include "rx_alloc.h"

using namespace brindle;

namespace rti13 {

Exception::Exception(const char* reason) : _serial(0), _reason(rxstrdup(reason)), _name(nullptr) {}

Exception::Exception(ULong serial, const char* reason) : _serial(serial), _reason(rxstrdup(reason)), _name(nullptr) {}

Exception::Exception(const Exception& other)
    : _serial(other._serial), _reason(rxstrdup(other._reason)), _name(other._name) {}

Exception::~Exception() { rxfree(_reason); }

Exception& Exception::operator=(const Exception& other) {
  if (this == &other) return *this;
  char* reason = rxstrdup(other._reason);
  rxfree(_reason);
  _reason = reason;
  _serial = other._serial;
  _name = other._name;
  return *this;
}

#define RTI13_DEFINE_EXCEPTION(A)                          \
  const char* A::_ex = #A;                                 \
  Exception* A::clone() const { return new A(*this); }     \
  void A::rethrow() const { throw A(*this); }

RTI13_EXCEPTION_LIST(RTI13_DEFINE_EXCEPTION)

#undef RTI13_DEFINE_EXCEPTION

std::ostream& operator<<(std::ostream& out, const Exception& e) {
  if (e._name) out << e._name;
  return out << " (" << (e._reason ? e._reason : "nil") << ")";
}

std::ostream& operator<<(std::ostream& out, Exception* e) { return out << *e; }

}  // namespace rti13
