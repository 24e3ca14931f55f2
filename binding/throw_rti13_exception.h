// Translation of the distribution manager's refusals into the exceptions of the rti13 interface:
// every ambassador service catches ldm_exception and hands it here. Codes that have no rti13
// counterpart are swallowed, and the service then finishes with a neutral result.
#pragma once

#include <type_traits>

#include "frame/ldm_error.h"

namespace halden13 {

// Throws the rti13 exception for the code, with the exception's detail text as its reason;
// returns for the codes that map to nothing. A code outside the known list throws
// RTIinternalError "Unable to find correct exception!".
void throw_rti13_exception(const varnel::ldm_exception& exception);

// Whether the code is one that throw_rti13_exception swallows.
bool is_swallowed_ldm_error(varnel::ldm_error code);

// Runs one call of the distribution manager for a service. A refusal becomes its rti13
// exception; a swallowed code lets the service go on with the neutral value of the call's result
// type (0, false, null, a retraction handle of two zero words).
template <typename Call>
auto translate_refusals(Call call) -> decltype(call()) {
  try {
    return call();
  } catch (const varnel::ldm_exception& refusal) {
    throw_rti13_exception(refusal);
  }
  if constexpr (!std::is_void_v<decltype(call())>) return decltype(call()){};
}

}  // namespace halden13
