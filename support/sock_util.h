// Small socket helpers shared by the scheduler and the network code: waiting for readiness
// of a set of sockets, and printing the last socket error.
#pragma once

#include <poll.h>

#include <cstddef>

#include "brindle_export.h"

namespace brindle {

// Waits up to milliseconds (negative: without limit) until one of the sockets has one of its
// requested events, filling in each entry's revents. Returns the number of entries with
// events, 0 on time-out, -1 on failure (errno says why). A signal does not cut the wait short.
// With count 0 it just sleeps for the time.
int sock_poll(pollfd* sockets, size_t count, int milliseconds);

// Prints the diagnostic line "tag: operation: " and the description of the last socket error
// (errno).
BRINDLE_EXPORT void sock_perror(const char* tag, const char* operation);

}  // namespace brindle
