// NullFederateAmbassador for federates written against the standard's names (see RTI.hh in
// this folder).
#ifndef HALDEN13_COMPAT_NULLFEDERATEAMBASSADOR_HH
#define HALDEN13_COMPAT_NULLFEDERATEAMBASSADOR_HH

#include "RTI.hh"
#include "../NullFederateAmbassador.hh"

#endif
