// The timestamp-order queue's cost. Time-stamped records (each with its own retraction handle
// and a reference to one shared buffer, its time made just before the enqueue as the wire
// decoder makes it) are enqueued, then released to a counting client in equal time steps. Two
// baselines run on the same times in the same run, filled and emptied in the same steps: a
// std::multimap<double> with records of the same size, and a std::multimap keyed by the same
// opaque time objects (the cost any queue of federate-defined times pays: a virtual compare
// through a pointer). Two arrival patterns: uniformly random times (the worst case) and eight
// senders whose stamps each never decrease (what a federation sends). The goal is a ratio of
// at most 2 against the standard map of the same keys, the opaque times; the plain multimap
// shows what comparing federate-defined times costs by itself.
//
// Usage: ordering_bench [records] [steps]   (default 100000 records, 100 steps)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "buffer_pool.h"
#include "frame/debugging_events.h"
#include "ldm_buf.h"
#include "test_ldm.h"
#include "time/timestamp_order_queue.h"

using namespace brindle;
using namespace varnel;

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

constexpr int repetitions = 5;  // each figure is the fastest of a few runs
constexpr double time_span = 1000.0;
constexpr int senders = 8;

struct counting_client : msgorder_client {
  void deliver(ordering_service, message_order, const absolute_time*, const event_retraction_handle&, int,
               unsigned char, ldm_buf*) override {
    ++delivered;
  }
  uint64_t delivered = 0;
};

// What the baselines hold per record: the queue record's fields without its indexing.
struct plain_record {
  event_retraction_handle handle;
  ldm_buf* buffer;
  msgorder_client* client;
  int stream;
  unsigned char priority;
};

struct opaque_record {
  std::unique_ptr<absolute_time> time;
  plain_record fields;
};

struct time_less {
  bool operator()(const absolute_time* a, const absolute_time* b) const { return a->less(*b); }
};

struct figures {
  double queue = 1e30, plain = 1e30, opaque = 1e30;
};

bool measure(const std::vector<double>& times, int steps, ldm_buf* shared, figures& best) {
  const size_t records = times.size();
  const wall_clock wall = system_wall_clock;
  dstream trace("bench", wall);  // off
  counting_client client;
  for (int r = 0; r < repetitions; ++r) {
    {
      timestamp_order_queue queue(trace, records + 1);
      const auto start = clock_type::now();
      for (size_t i = 0; i < records; ++i)
        queue.enqueue(ordering_service::reliable, message_order::timestamp,
                      std::make_unique<test_absolute_time>(times[i]), {static_cast<uint32_t>(i + 1), 7}, 10, 0, shared,
                      client);
      for (int s = 1; s <= steps; ++s) {
        const test_absolute_time up_to(time_span * s / steps);
        queue.release(&up_to);
      }
      best.queue = std::min(best.queue, seconds_since(start));
      if (queue.length() != 0) return false;
    }
    {
      std::multimap<double, plain_record> map;
      uint64_t delivered = 0;
      const auto start = clock_type::now();
      for (size_t i = 0; i < records; ++i) {
        shared->duplicate_buf();
        map.emplace(times[i], plain_record{{static_cast<uint32_t>(i + 1), 7}, shared, &client, 10, 0});
      }
      for (int s = 1; s <= steps; ++s) {
        const double up_to = time_span * s / steps;
        while (!map.empty() && map.begin()->first <= up_to) {
          auto node = map.extract(map.begin());
          ++delivered;
          node.mapped().buffer->release_buf();
        }
      }
      best.plain = std::min(best.plain, seconds_since(start));
      if (delivered != records) return false;
    }
    {
      std::multimap<const absolute_time*, opaque_record, time_less> map;
      uint64_t delivered = 0;
      const auto start = clock_type::now();
      for (size_t i = 0; i < records; ++i) {
        shared->duplicate_buf();
        auto time = std::make_unique<test_absolute_time>(times[i]);
        const absolute_time* key = time.get();
        map.emplace(key, opaque_record{std::move(time), {{static_cast<uint32_t>(i + 1), 7}, shared, &client, 10, 0}});
      }
      for (int s = 1; s <= steps; ++s) {
        const test_absolute_time up_to(time_span * s / steps);
        while (!map.empty() && map.begin()->first->less_equal(up_to)) {
          auto node = map.extract(map.begin());
          ++delivered;
          node.mapped().fields.buffer->release_buf();
        }
      }
      best.opaque = std::min(best.opaque, seconds_since(start));
      if (delivered != records) return false;
    }
  }
  return client.delivered == records * repetitions;
}

void report(const char* pattern, const figures& f) {
  std::printf("  %s\n", pattern);
  std::printf("    std::multimap<double>                %8.2f ms (baseline)\n", f.plain * 1e3);
  std::printf("    std::multimap of the opaque times    %8.2f ms   ratio %.2f\n", f.opaque * 1e3, f.opaque / f.plain);
  std::printf("    timestamp_order_queue                %8.2f ms   ratio %.2f, %.2f to the same keys (goal <= 2)\n",
              f.queue * 1e3, f.queue / f.plain, f.queue / f.opaque);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const int steps = argc > 2 ? std::atoi(argv[2]) : 100;
  std::mt19937_64 random(42);

  std::vector<double> uniform(records);
  std::uniform_real_distribution<double> spread(0, time_span);
  for (double& t : uniform) t = spread(random);

  // Each sender's next stamp is its last plus a random step; the senders take turns at random.
  std::vector<double> merged(records), last(senders, 0.0);
  const double mean_step = time_span * senders / static_cast<double>(records);
  std::uniform_real_distribution<double> step(0, 2 * mean_step);
  std::uniform_int_distribution<int> sender(0, senders - 1);
  for (double& t : merged) {
    double& clock = last[sender(random)];
    clock = std::min(time_span, clock + step(random));
    t = clock;
  }

  buffer_manager_factory factory(1, 0);
  buffer_pool_manager* pool = factory.get_pool(1448);
  ldm_buf* shared = pool->get_buf();
  figures random_times, sender_times;
  const bool delivered = measure(uniform, steps, shared, random_times) && measure(merged, steps, shared, sender_times);
  shared->release_buf();
  pool->destroy();
  if (!delivered) {
    std::fprintf(stderr, "ordering_bench: not every record was delivered\n");
    return 1;
  }
  std::printf("ordering_bench: %zu time-stamped records, released in %d steps, best of %d runs\n", records, steps,
              repetitions);
  report("uniformly random times", random_times);
  report("8 senders, each in time order", sender_times);
  return 0;
}
