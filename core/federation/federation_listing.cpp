#include "federation/federation_listing.h"

#include <array>
#include <cstdio>

#include "federation/federation_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

// printf-style formatting into the stream, for the aligned columns.
template <class... Args>
void put(std::ostream& out, const char* format, Args... args) {
  char line[512];
  std::snprintf(line, sizeof line, format, args...);
  out << line;
}

}  // namespace

void print_federations(const federation_manager& manager, std::ostream& out) {
  const federation_record* joined = manager.get_joined_federation();
  if (manager.get_federations().empty()) {
    out << "No federations known." << std::endl;
    return;
  }
  put(out, "%-24s %10s %9s\n", "Federation", "Number", "Federates");
  for (const auto& [name, federation] : manager.get_federations()) {
    put(out, "%-24s %10u %9zu", name.c_str(), federation->number, federation->federates.size());
    if (federation.get() == joined) out << "  (joined)";
    if (federation->created_here) out << "  (created here)";
    out << std::endl;
  }
}

void print_federates(const federation_record& federation, std::ostream& out) {
  put(out, "  %10s  %-20s %-10s %-6s %s\n", "Handle", "Name", "State", "Live", "Host");
  for (const auto& [identifier, federate] : federation.federates) {
    put(out, "  %10u  %-20s %-10s %-6s %s%s\n", federate->handle, federate->name.c_str(),
        federate_state_name(federate->state), federate_liveness_name(federate->liveness),
        federate->host_name.c_str(), federate.get() == federation.own ? "  (me)" : "");
  }
}

void print_joined_federates(const federation_manager& manager, std::ostream& out) {
  const federation_record* joined = manager.get_joined_federation();
  if (!joined) {
    out << "Not joined to a federation." << std::endl;
    return;
  }
  out << "Federation " << joined->name << ":" << std::endl;
  print_federates(*joined, out);
}

void print_federation_totals(const federation_manager& manager, std::ostream& out) {
  size_t federates = 0;
  std::array<size_t, 4> by_liveness{};
  for (const auto& [name, federation] : manager.get_federations()) {
    for (const auto& [identifier, federate] : federation->federates) {
      ++federates;
      ++by_liveness[static_cast<size_t>(federate->liveness)];
    }
  }
  put(out, "%zu federations, %zu federates (%zu green, %zu amber, %zu red)\n", manager.get_federations().size(),
      federates, by_liveness[static_cast<size_t>(federate_liveness::green)],
      by_liveness[static_cast<size_t>(federate_liveness::amber)],
      by_liveness[static_cast<size_t>(federate_liveness::red)]);
}

}  // namespace varnel
