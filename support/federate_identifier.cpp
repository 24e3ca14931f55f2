#include "federate_identifier.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <random>

#include "ip_address.h"

namespace brindle {

namespace {

// The index counter starts at a random value: two processes whose 16-bit process ids collide
// then still differ in the index unless their counters also meet.
uint16_t next_index() {
  static std::mutex lock;
  static uint16_t counter = static_cast<uint16_t>(std::random_device{}());
  std::lock_guard<std::mutex> hold(lock);
  return counter++;
}

}  // namespace

federate_identifier::federate_identifier(federate_identifier_type type) {
  if (type == federate_identifier_type::nocompare) {
    host_ = wildcard_host;
    return;
  }
  host_ = local_host();
  process_ = local_process();
  index_ = next_index();
}

uint32_t federate_identifier::local_host() { return ip_addr_lookup::get_id(); }

// Linux process ids reach 2^22; the wire keeps 16 bits, so the bits above fold into the low ones.
uint16_t federate_identifier::local_process() {
  const uint32_t pid = static_cast<uint32_t>(getpid());
  return static_cast<uint16_t>((pid & 0xFFFF) ^ (pid >> 16));
}

bool federate_identifier::operator==(const federate_identifier& other) const {
  if (is_wildcard() || other.is_wildcard()) return true;
  return host_ == other.host_ && process_ == other.process_ && index_ == other.index_;
}

bool federate_identifier::operator<(const federate_identifier& other) const {
  if (is_wildcard()) return false;
  if (host_ != other.host_) return host_ < other.host_;
  if (process_ != other.process_) return process_ < other.process_;
  return index_ < other.index_;
}

uint32_t federate_identifier::hash() const {
  return ((uint32_t{index_} << 8 ^ process_) << 16) ^ (host_ & 0xFFFF);
}

void federate_identifier::get_components(uint32_t& host, uint16_t& process, uint16_t& index) const {
  host = host_;
  process = process_;
  index = index_;
}

void federate_identifier::set_components(uint32_t host, uint16_t process, uint16_t index) {
  host_ = host;
  process_ = process;
  index_ = index;
}

std::string federate_identifier::to_string() const {
  char text[64];
  std::snprintf(text, sizeof text, "IP=%u.%u.%u.%u  PID=%u  IDX=%u", host_ >> 24, (host_ >> 16) & 0xFF,
                (host_ >> 8) & 0xFF, host_ & 0xFF, unsigned{process_}, unsigned{index_});
  return text;
}

void federate_identifier::print() const { std::fputs(to_string().c_str(), stdout); }

ldm_buf& operator<<(ldm_buf& buffer, const federate_identifier& identifier) {
  uint32_t host;
  uint16_t process, index;
  identifier.get_components(host, process, index);
  return buffer << host << (uint32_t{process} << 16 | index);
}

ldm_buf& operator>>(ldm_buf& buffer, federate_identifier& identifier) {
  uint32_t host, word;
  buffer >> host >> word;
  identifier.set_components(host, static_cast<uint16_t>(word >> 16), static_cast<uint16_t>(word & 0xFFFF));
  return buffer;
}

}  // namespace brindle
