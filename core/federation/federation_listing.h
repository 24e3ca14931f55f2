// The diagnostics console's listings of what the federation manager knows: the federations,
// the federates of one federation (also printed in the report of a refused join) and totals.
// Plain functions over the manager's table; they change nothing.
#pragma once

#include <ostream>

namespace varnel {

class federation_manager;
struct federation_record;

// One line per known federation: name, number, federate count, and whether it is joined or
// was created here.
void print_federations(const federation_manager& manager, std::ostream& out);
// One line per federate: handle, name, state, liveness and host.
void print_federates(const federation_record& federation, std::ostream& out);
// The joined federation's federates, or a line saying that this federate is not joined.
void print_joined_federates(const federation_manager& manager, std::ostream& out);
// Counts of federations and federates, and how many federates are in each liveness.
void print_federation_totals(const federation_manager& manager, std::ostream& out);

}  // namespace varnel
