#include "packet_loss.h"

#include <algorithm>
#include <cmath>

namespace vessmark {

using namespace brindle;

packet_loss::packet_loss(double probability, uint32_t seed)
    : threshold_(0), random_(seed) {
  // NaN fails both comparisons and so stays off.
  if (probability > 0) {
    const double share = std::min(probability, 1.0);
    threshold_ = static_cast<uint64_t>(std::ldexp(share, 32));
  }
}

bool packet_loss::drop() {
  return threshold_ != 0 && random_.next() < threshold_;
}

}  // namespace vessmark
