// A stream manager in a process of its own for the multi-process tests: it joins a range of
// streams and sends every message it hears there back, unchanged, on its reply stream, until it
// hears "quit" or its time runs out.
//
//   vessmark_peer port federation reply_stream first_stream stream_count seconds
//
// Exit status 0 after "quit", 1 when the time ran out, 2 for bad arguments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transport_node.h"

using namespace brindle;
using namespace vessmark;

namespace {

const std::vector<uint8_t> quit_word{'q', 'u', 'i', 't'};

bool parse(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  out = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
  long port, federation, reply, first, count, seconds;
  if (argc != 7 || !parse(argv[1], 1, 65535, port) || !parse(argv[2], 0, 0x7FFFFFFF, federation) ||
      !parse(argv[3], 0, stream_manager::stream_limit - 1, reply) ||
      !parse(argv[4], 0, stream_manager::stream_limit - 1, first) || !parse(argv[5], 1, 1000, count) ||
      !parse(argv[6], 1, 600, seconds)) {
    std::fprintf(stderr, "usage: vessmark_peer port federation reply_stream first_stream stream_count seconds\n");
    return 2;
  }
  test_rid_options options;
  options.port = static_cast<uint16_t>(port);
  transport_node node(options);
  node.manager().set_federation(static_cast<unsigned>(federation));
  for (long s = first; s < first + count; ++s) node.manager().join(static_cast<int>(s));

  bool quit = false;
  node.client().on_message = [&](const received_message& m) {
    if (m.payload == quit_word) {
      quit = true;
      return;
    }
    node.send(static_cast<int>(reply), m.payload);
    node.service().flush(static_cast<int>(reply));
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!quit && std::chrono::steady_clock::now() < deadline) {
    node.tick(20);
    node.messages().clear();
  }
  // Let the last echoes leave before the manager goes.
  for (int i = 0; i < 5; ++i) node.tick(2);
  return quit ? 0 : 1;
}
