// The state-consistent transport between three processes on 127.0.0.1 at seeded packet loss: an
// owner registers 200 objects of 5 attributes and changes one attribute of every object 50
// times a second (each attribute 10 times a second) for 10 seconds, then falls quiet; two
// receivers reflect them. Within three repair periods, 3 x (H/2 + H/10), after the last update,
// what share of the receivers' copies (object x attribute) equals the owner's final state, and
// how many wire bytes (every message the three stream managers sent, lost ones included) went
// per update delivered, counting deliveries until the receivers hear nothing for 3 s. Each loss rate runs the state-consistent transport, the reliable one
// (the baseline of the byte ratio) and best effort, in the same run.
//
// Usage: state_consistent_bench [SECONDS [OBJECTS]]   (10 s and 200 objects by default; a shorter
// run, or fewer objects, where the reliable transport keeps up, for the byte ratio)
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bit_vector.h"
#include "frame/ldm_error.h"
#include "message_stats.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

int objects = 200;  // the second argument may change it
constexpr int attributes = 5;
constexpr int rate_hz = 50;
constexpr int heartbeat_ms = 1000;
constexpr int timeout_ms = 3000;
constexpr int repair_ms = heartbeat_ms / 2 + heartbeat_ms / 10;
constexpr int window_ms = 3 * repair_ms;
constexpr int receivers = 2;
constexpr uint64_t drain_quiet_ms = 3000;
constexpr uint64_t drain_limit_ms = 30000;
const char* const transports[] = {"consistent", "reliable", "best_effort"};
const double losses[] = {0.05, 0.20};

uint64_t now_ms() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);  // one clock for every process of the host
  return static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1000000;
}

std::string bench_fed() {
  std::string classes;
  for (const char* t : transports) {
    classes += std::string("\n      (class Track_") + t;
    for (int a = 0; a < attributes; ++a) classes += " (attribute A" + std::to_string(a) + " " + t + " receive)";
    classes += ")";
  }
  return "(FED (Federation ScBench) (FEDversion v1.3)\n"
         "  (objects (class ObjectRoot (attribute privilegeToDelete reliable receive)" +
         classes + "))\n  (interactions (class InteractionRoot best_effort receive)))\n";
}

std::string bench_rid(uint16_t port, double loss, uint32_t seed) {
  test_rid_options o;
  o.port = port;
  o.heartbeat = 1;
  o.join_timeout = 1;
  o.loss_probability = loss;
  o.loss_seed = seed;
  o.extra_transports = "(consistent (type \"state_consistent\") (suppress_dups true) (implicit_transfer false) "
                       "(heartbeat_interval " + std::to_string(heartbeat_ms) + ") (heartbeat_timeout " +
                       std::to_string(timeout_ms) + "))";
  return test_rid_text(o);
}

// The value of attribute a of object o after cycle c; cycle -1 is the registration.
std::string value_of(int o, int a, long c) { return std::to_string(o) + ":" + std::to_string(a) + ":" + std::to_string(c); }

// The owner's final value of (o, a) after cycles 0 .. cycles - 1, cycle c changing attribute c % 5.
std::string final_value(int o, int a, long cycles) {
  long last = -1;
  for (long c = a; c < cycles; c += attributes) last = c;
  return value_of(o, a, last);
}

struct outcome {
  long equal = 0;       // copies equal to the final state within the window
  long reflects = 0;    // updates delivered
  uint64_t bytes = 0;   // sent by this process's stream manager
};

uint64_t bytes_sent(test_ldm& ldm) {
  message_stats_tracker& stats = ldm.get_stats_tracker();
  return stats.get_total_bytes(stats.get_tracker("vessmark_sent"));
}

void write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n <= 0) _exit(3);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

bool read_now(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The owner tells each receiver when the last update left and how many cycles ran.
struct quiet_notice {
  uint64_t last_update_ms;
  long cycles;
};

void join(test_ldm& ldm, const char* name, const std::string& federation, const std::string& fed_file) {
  try {
    ldm.create_federation_execution(federation.c_str(), fed_file.c_str());
  } catch (const ldm_exception&) {  // another process made it
  }
  ldm.join_federation_execution(name, federation.c_str());
}

void receive(int index, const char* transport, const std::string& federation, const std::string& fed_file,
             int ready_fd, int notice_fd, int result_fd) {
  test_ldm ldm;
  join(ldm, ("receiver" + std::to_string(index)).c_str(), federation, fed_file);
  const unsigned track = ldm.get_object_class_handle((std::string("Track_") + transport).c_str());
  ldm.subscribe_object_class_attributes(track, bit_vector(attributes + 1, true), true);
  std::map<std::string, std::string> held;  // "o:a" -> value
  long reflects = 0;
  ldm.on_callback = [&](const std::string& line) {
    if (line.rfind("reflectAttributeValues", 0) != 0) return;
    ++reflects;
    std::istringstream pairs(ldm.values.back());
    for (std::string pair; pairs >> pair;) {
      const std::string value = pair.substr(pair.find('=') + 1);
      held[value.substr(0, value.rfind(':'))] = value;
    }
    ldm.callbacks.clear();
    ldm.values.clear();
  };
  const char ready = 'r';
  write_all(ready_fd, &ready, 1);
  fcntl(notice_fd, F_SETFL, O_NONBLOCK);
  quiet_notice notice{};
  while (!read_now(notice_fd, &notice, sizeof notice)) ldm.tick(0.001, 0.01);
  while (now_ms() < notice.last_update_ms + window_ms) ldm.tick(0.001, 0.01);
  outcome result;
  for (int o = 0; o < objects; ++o)
    for (int a = 0; a < attributes; ++a) {
      auto found = held.find(std::to_string(o) + ":" + std::to_string(a));
      if (found != held.end() && found->second == final_value(o, a, notice.cycles)) ++result.equal;
    }
  // Delivery goes on after the window (the reliable transport's recovery takes seconds): the
  // bytes per update count every update that arrived before the receiver heard nothing for a while.
  uint64_t last_heard = now_ms();
  for (long seen = reflects; now_ms() < last_heard + drain_quiet_ms && now_ms() < notice.last_update_ms + drain_limit_ms;) {
    ldm.tick(0.001, 0.01);
    if (reflects != seen) seen = reflects, last_heard = now_ms();
  }
  result.reflects = reflects;
  result.bytes = bytes_sent(ldm);
  write_all(result_fd, &result, sizeof result);
  ldm.resign_federation_execution(false, false, false);
}

void send_values(test_ldm& ldm, unsigned object, const std::map<unsigned, std::string>& values) {
  auto* set = new handle_value_set;
  for (const auto& [handle, value] : values) set->add(handle, static_cast<uint32_t>(value.size()), value.data());
  ldm.update_attribute_values(object, *set, user_tag(""));
  set->down_refcount();
}

// Returns the receivers' outcomes with the owner's bytes added to the first.
std::vector<outcome> own(const char* transport, const std::string& federation, const std::string& fed_file,
                         double seconds, const std::vector<int>& ready_fds, const std::vector<int>& notice_fds,
                         const std::vector<int>& result_fds) {
  test_ldm ldm;
  join(ldm, "owner", federation, fed_file);
  const unsigned track = ldm.get_object_class_handle((std::string("Track_") + transport).c_str());
  bit_vector published(attributes + 1, false);
  for (unsigned a = 1; a <= attributes; ++a) published.set_bit(a);
  ldm.publish_object_class(track, published);
  for (int fd : ready_fds) {
    char ready = 0;
    read_now(fd, &ready, 1);
  }
  const uint64_t settle_until = now_ms() + 1500;  // the receivers' subscriptions arrive
  while (now_ms() < settle_until) ldm.tick(0.001, 0.01);

  std::vector<unsigned> handles;
  std::vector<std::map<unsigned, std::string>> values(objects);
  std::set<unsigned> asked;
  std::map<unsigned, int> index_of;
  ldm.on_callback = [&](const std::string& line) {
    if (line.rfind("provideAttributeValueUpdate", 0) == 0) asked.insert(static_cast<unsigned>(std::stoul(line.substr(28))));
    ldm.callbacks.clear();
  };
  for (int o = 0; o < objects; ++o) {
    handles.push_back(ldm.register_object_instance(track, ("t" + std::to_string(o)).c_str()));
    index_of[handles.back()] = o;
    for (int a = 0; a < attributes; ++a) values[o][static_cast<unsigned>(a + 1)] = value_of(o, a, -1);
    send_values(ldm, handles.back(), values[o]);
  }
  auto answer = [&] {
    for (unsigned object : asked) send_values(ldm, object, values[index_of[object]]);
    asked.clear();
  };
  const long cycles = static_cast<long>(seconds * rate_hz);
  const uint64_t start = now_ms();
  for (long c = 0; c < cycles; ++c) {
    const int a = static_cast<int>(c % attributes);
    for (int o = 0; o < objects; ++o) {
      std::string& value = values[o][static_cast<unsigned>(a + 1)];
      value = value_of(o, a, c);
      send_values(ldm, handles[o], {{static_cast<unsigned>(a + 1), value}});
    }
    const uint64_t next = start + static_cast<uint64_t>((c + 1) * 1000 / rate_hz);
    do {
      ldm.tick(0.001, 0.005);
      answer();
    } while (now_ms() < next);
  }
  const quiet_notice notice{now_ms(), cycles};
  for (int fd : notice_fds) write_all(fd, &notice, sizeof notice);
  std::vector<outcome> results(result_fds.size());
  for (size_t r = 0; r < result_fds.size(); ++r) {
    fcntl(result_fds[r], F_SETFL, O_NONBLOCK);
    while (!read_now(result_fds[r], &results[r], sizeof results[r])) {
      ldm.tick(0.001, 0.01);
      answer();
    }
  }
  results[0].bytes += bytes_sent(ldm);
  ldm.resign_federation_execution(false, true, false);
  return results;
}

struct row {
  double share = 0;          // copies equal to the final state within the window
  double bytes_per_update = 0;
  long reflects = 0;
};

row run(int config, const char* transport, double loss, double seconds, const std::string& fed_file) {
  const uint16_t port = test_port(port_block::bench, static_cast<uint16_t>(70 + config % 5));
  const std::string federation = "ScBench" + std::to_string(config);
  std::vector<int> ready(receivers), notice_write(receivers), notice_read(receivers), result_read(receivers),
      result_write(receivers);
  std::vector<pid_t> children;
  for (int r = 0; r < receivers; ++r) {
    int p[2], n[2], s[2];
    if (pipe(p) != 0 || pipe(n) != 0 || pipe(s) != 0) std::exit(1);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      const scoped_rid_file rid(bench_rid(port, loss, static_cast<uint32_t>(config * 10 + r + 2)));
      receive(r, transport, federation, fed_file, p[1], n[0], s[1]);
      _exit(0);
    }
    children.push_back(child);
    close(p[1]);
    close(n[0]);
    close(s[1]);
    ready[r] = p[0];
    notice_write[r] = n[1];
    result_read[r] = s[0];
  }
  std::vector<outcome> results;
  {
    const scoped_rid_file rid(bench_rid(port, loss, static_cast<uint32_t>(config * 10 + 1)));
    results = own(transport, federation, fed_file, seconds, ready, notice_write, result_read);
  }
  for (pid_t child : children) waitpid(child, nullptr, 0);
  for (int r = 0; r < receivers; ++r) {
    close(ready[r]);
    close(notice_write[r]);
    close(result_read[r]);
  }
  row out;
  uint64_t bytes = 0;
  for (const outcome& o : results) {
    out.share += static_cast<double>(o.equal) / (objects * attributes * receivers);
    out.reflects += o.reflects;
    bytes += o.bytes;
  }
  out.bytes_per_update = out.reflects ? static_cast<double>(bytes) / static_cast<double>(out.reflects) : 0;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  if (argc > 2) objects = std::atoi(argv[2]);
  if (seconds <= 0 || objects <= 0) {
    std::fprintf(stderr, "usage: %s [SECONDS [OBJECTS]]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path fed_path =
      std::filesystem::temp_directory_path() / ("state_consistent_bench_" + std::to_string(getpid()) + ".fed");
  std::ofstream(fed_path) << bench_fed();
  std::printf("state_consistent_bench: 1 owner and %d receivers (processes), %d objects x %d attributes, one attribute\n"
              "of every object changed per cycle at %d Hz for %.0f s, then quiet; H = %d ms, T = %d ms;\n"
              "window = 3 x (H/2 + H/10) = %d ms after the last update; seeded loss on every process's sends\n\n",
              receivers, objects, attributes, rate_hz, seconds, heartbeat_ms, timeout_ms, window_ms);
  std::printf("%-6s %-12s %14s %12s %16s %14s\n", "loss", "transport", "final state", "delivered", "wire B/update",
              "vs reliable");
  int config = 0;
  for (double loss : losses) {
    std::map<std::string, row> rows;
    for (const char* transport : transports) rows[transport] = run(config++, transport, loss, seconds, fed_path);
    const double baseline = rows["reliable"].bytes_per_update;
    for (const char* transport : transports) {
      const row& r = rows[transport];
      std::printf("%4.0f%%  %-12s %13.2f%% %12ld %16.1f %14.2f\n", loss * 100, transport, r.share * 100, r.reflects,
                  r.bytes_per_update, baseline > 0 ? r.bytes_per_update / baseline : 0);
    }
    std::fflush(stdout);
  }
  std::filesystem::remove(fed_path);
  return 0;
}
