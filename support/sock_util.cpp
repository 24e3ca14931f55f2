#include "sock_util.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "diagnostic.h"

namespace brindle {

namespace {

using poll_clock = std::chrono::steady_clock;

int remaining_ms(poll_clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - poll_clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

int sock_poll(pollfd* sockets, size_t count, int milliseconds) {
  const auto end = poll_clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0);
  int wait = milliseconds;
  for (;;) {
    const int ready = ::poll(sockets, static_cast<nfds_t>(count), wait);
    if (ready >= 0 || errno != EINTR) return ready;
    // A signal interrupted the wait: keep waiting for what is left of the time.
    if (milliseconds >= 0) wait = remaining_ms(end);
  }
}

void sock_perror(const char* tag, const char* operation) {
  const int error = errno;
  diagnostic(tag, "%s: %s", operation, std::strerror(error));
}

}  // namespace brindle
