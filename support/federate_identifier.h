// The identity of a federate (and of a federation, which takes its creator's): the host
// identifier, a 16-bit form of the process id and an index from a process-wide counter, so that
// every identifier made in a process is distinct. The wildcard (host 0xFFFFFFFF) equals any
// identifier. Wire form: two words, the host identifier, then (process id << 16) | index.
#pragma once

#include <cstdint>
#include <string>

#include "brindle_export.h"
#include "ldm_buf.h"

namespace brindle {

enum class federate_identifier_type { local, nocompare };

class BRINDLE_EXPORT federate_identifier {
public:
  static constexpr uint32_t wildcard_host = 0xFFFFFFFF;

  // All zero.
  federate_identifier() = default;
  // local: this host and process with the next index; nocompare: the wildcard.
  explicit federate_identifier(federate_identifier_type type);

  bool is_wildcard() const { return host_ == wildcard_host; }
  // True when either side is the wildcard, else when all three fields are equal.
  bool operator==(const federate_identifier& other) const;
  bool operator!=(const federate_identifier& other) const { return !(*this == other); }
  // The wildcard is never less; otherwise by host, process id, index.
  bool operator<(const federate_identifier& other) const;
  // (((index << 8) XOR process id) << 16) XOR the low 16 bits of the host, in 32 bits.
  uint32_t hash() const;

  void get_components(uint32_t& host, uint16_t& process, uint16_t& index) const;
  void set_components(uint32_t host, uint16_t process, uint16_t index);

  // "IP=a.b.c.d  PID=p  IDX=i"
  std::string to_string() const;
  void print() const;

  // This host's identifier (the local IPv4 address as a number) and this process's 16-bit id:
  // the low 16 bits of the process id with the higher bits folded in by XOR.
  static uint32_t local_host();
  static uint16_t local_process();

private:
  uint32_t host_ = 0;
  uint16_t process_ = 0;
  uint16_t index_ = 0;
};

BRINDLE_EXPORT ldm_buf& operator<<(ldm_buf& buffer, const federate_identifier& identifier);
BRINDLE_EXPORT ldm_buf& operator>>(ldm_buf& buffer, federate_identifier& identifier);

}  // namespace brindle
