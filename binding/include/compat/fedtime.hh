// RTIfedTime for federates written against the standard's names (see RTI.hh in this folder).
#ifndef HALDEN13_COMPAT_FEDTIME_HH
#define HALDEN13_COMPAT_FEDTIME_HH

#include "RTI.hh"
#include "../fedtime.hh"

#endif
