// The interface under the standard's own names, for federates written against them: this folder
// is installed beside our headers (include/halden13/compat) but is not on the default include
// path. A federate that puts it before the halden13 include folder (the CMake target
// halden13::compat, the pkg-config package halden13-compat) compiles unchanged: RTI.hh,
// fedtime.hh and NullFederateAmbassador.hh include ours, and RTI:: names the classes of rti13.
#ifndef HALDEN13_COMPAT_RTI_HH
#define HALDEN13_COMPAT_RTI_HH

#include "../RTI.hh"

// An alias rather than a namespace of its own, so that RTI::Exception and rti13::Exception
// are one type: what a federate catches, throws or overrides is exactly what the binding uses.
namespace RTI = rti13;

#endif
