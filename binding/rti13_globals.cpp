// The free functions and static members of the rti13 interface that belong to no adapter:
// the RTI's name and version, the region extent range and the printing of a FedTime.
#include "rti13_globals.h"

#include <memory>
#include <ostream>

#include "RTI.hh"

using namespace brindle;
using namespace halden13;

namespace rti13 {

const char* RTIname() { return rti_name; }

const char* RTIversion() { return rti_version; }

ULong Region::getMaxExtent() RTI13_THROW() { return max_extent; }

ULong Region::getMinExtent() RTI13_THROW() { return min_extent; }

std::ostream& operator<<(std::ostream& out, const FedTime& time) {
  FedTime& printable = const_cast<FedTime&>(time);  // getPrintableString is not const in the API
  const int length = printable.getPrintableLength();
  if (length < 0) return out;
  std::unique_ptr<char[]> text(new char[length + 1]);
  text[0] = '\0';
  printable.getPrintableString(text.get());
  text[length] = '\0';
  return out << text.get();
}

}  // namespace rti13
