// The packet loss stage of the sending pipeline: drops a fixed share of packets, chosen by a
// seeded generator so that a test or benchmark loses the same packets on every run. Owned by
// the stream manager; off (drops nothing) unless the RID asks for it.
#pragma once

#include <cstdint>

#include "mersenne_twister.h"

namespace vessmark {

class packet_loss {
public:
  // probability is clamped to 0 .. 1.
  packet_loss(double probability, uint32_t seed);

  // Whether the next packet is lost.
  bool drop();
  bool enabled() const { return threshold_ != 0; }

private:
  uint64_t threshold_;  // a packet is lost when the next 32-bit draw is below this
  brindle::mersenne_twister random_;
};

}  // namespace vessmark
