#include "fed/fed_entries.h"

#include <cstring>

namespace varnel {

using namespace brindle;

uint32_t fed_name_hash(const char* name) { return SymbolTable::hash(name, std::strlen(name)); }

uint32_t FED_attribute::checksum() const {
  return ((FED_base::checksum() * 33 + transport) * 33 + order) * 33 + space;
}

uint32_t FED_interaction_class::checksum() const {
  return (((FED_base::checksum() + members.fold()) * 33 + transport) * 33 + order) * 33 + space;
}

}  // namespace varnel
