// Message buffer and pool speed. An object update of the usual shape (object name, 10 attribute
// handles with values of 8 to 64 bytes, identifier, tag) is encoded into and decoded from an
// ldm_buf, and the send and receive checksums are taken; each figure is a ratio against memcpy
// of the same number of bytes. Pool allocation is measured against malloc/free of the same
// sizes in the same order.
//
// Usage: buffer_bench [iterations] [packet size]   (default 200000 messages, 1448-byte packets)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "federate_identifier.h"
#include "ldm_buf.h"
#include "pools.h"

using namespace brindle;

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

volatile uint32_t sink;  // keeps the measured work from being optimised away

// The machine is noisy: every figure is the fastest of a few runs.
constexpr int repetitions = 5;

template <typename Work>
double best_seconds(Work work) {
  double best = 1e30;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = clock_type::now();
    work();
    best = std::min(best, seconds_since(start));
  }
  return best;
}

constexpr int attributes = 10;

struct update {
  std::string name = "Vehicle.GroundVehicle.Tank.42";
  federate_identifier object;
  std::vector<std::string> values;
  update() {
    object.set_components(0x7F000001, 4242, 7);
    for (int i = 0; i < attributes; ++i) values.emplace_back(8 + i * 56 / (attributes - 1), static_cast<char>('a' + i));
  }
};

void encode(ldm_buf& buf, const update& u) {
  buf << u.name.c_str() << 0x02u << 17u << 5u << static_cast<unsigned>(attributes);
  for (int i = 0; i < attributes; ++i) buf << static_cast<unsigned>(i) << static_cast<unsigned>(u.values[i].size());
  buf << u.object << "tag";
  for (const std::string& value : u.values) buf.write_os(value.data(), static_cast<uint32_t>(value.size()));
}

uint32_t decode(ldm_buf& buf) {
  const char* name;
  unsigned flags, sender, object_class, count, lengths[attributes], sum = 0;
  buf >> name >> flags >> sender >> object_class >> count;
  for (unsigned i = 0; i < count && i < attributes; ++i) {
    unsigned handle;
    buf >> handle >> lengths[i];
    sum += handle;
  }
  federate_identifier object;
  const char* tag;
  buf >> object >> tag;
  for (unsigned i = 0; i < count && i < attributes; ++i) sum += static_cast<unsigned char>(buf.read_is(lengths[i])[0]);
  return sum + static_cast<unsigned char>(name[0]) + static_cast<unsigned char>(tag[0]);
}

void set_length(ldm_buf& buf) {
  const uint32_t end = buf.get_size();
  buf.set_optr(8);
  buf << end;
}

// memcpy of `bytes` bytes per message, from a source that moves so nothing is hoisted.
double memcpy_seconds(size_t bytes, int iterations) {
  std::vector<char> source(bytes + 64, 'm'), target(bytes);
  return best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      std::memcpy(target.data(), source.data() + (i & 63), bytes);
      sink = sink + static_cast<unsigned char>(target[i % bytes]);
    }
  });
}

void message_figures(int iterations, uint32_t packet_size) {
  buffer_manager_factory factory(1, 0);
  buffer_pool_manager* pool = factory.get_pool(packet_size);
  const update u;

  ldm_buf* sample = pool->get_buf();
  encode(*sample, u);
  const uint32_t message_bytes = sample->get_size();
  sample->release_buf();

  const double lifecycle_seconds = best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      ldm_buf* buf = pool->get_buf();
      sink = sink + buf->get_size();
      buf->release_buf();
    }
  });
  const double encode_seconds = best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      ldm_buf* buf = pool->get_buf();
      encode(*buf, u);
      sink = sink + buf->get_size();
      buf->release_buf();
    }
  });

  ldm_buf* written = pool->get_buf();
  encode(*written, u);
  set_length(*written);
  const double decode_seconds = best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      written->set_iptr(ldm_buf::message_header_size);
      sink = sink + decode(*written);
    }
  });
  const double send_check_seconds = best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      written->prepare_message();
      written->prepare_packets();
    }
  });

  std::vector<std::vector<uint8_t>> datagrams;
  for (uint32_t i = 0; i < written->packet_count(); ++i)
    datagrams.emplace_back(written->get_packet(i), written->get_packet(i) + written->get_packet_length(i));
  written->release_buf();
  const double receive_seconds = best_seconds([&] {
    for (int i = 0; i < iterations; ++i) {
      ldm_buf* received = pool->get_empty_buf();
      for (const auto& datagram : datagrams) received->add_packet(datagram.data(), datagram.size());
      sink = sink + static_cast<uint32_t>(received->accept_packets()) +
             static_cast<uint32_t>(received->accept_message(0));
      received->release_buf();
    }
  });
  pool->destroy();

  const double baseline = memcpy_seconds(message_bytes, iterations);
  std::printf("message: %u bytes (%d attributes of 8 to 64 bytes), %u-byte packets, %d messages, best of %d\n",
              message_bytes, attributes, packet_size, iterations, repetitions);
  std::printf("  memcpy baseline            %8.1f ns/message  %7.0f MB/s\n", 1e9 * baseline / iterations,
              message_bytes * iterations / baseline / 1e6);
  auto line = [&](const char* what, double seconds) {
    std::printf("  %-26s %8.1f ns/message  %7.0f MB/s  %6.1f x memcpy\n", what, 1e9 * seconds / iterations,
                message_bytes * iterations / seconds / 1e6, seconds / baseline);
  };
  line("get_buf, release_buf", lifecycle_seconds);
  line("encode (get_buf..release)", encode_seconds);
  line("decode", decode_seconds);
  line("send checksums", send_check_seconds);
  line("receive (copy, checks)", receive_seconds);
}

// Sizes of small objects (8 to 256 bytes, mostly small), held in batches of 64 and freed in a
// shuffled order, as messages and callback records come and go.
void pool_figures(int iterations) {
  std::mt19937 random(11);
  std::vector<size_t> sizes(4096);
  for (size_t& size : sizes) size = 8 + (random() % 4 == 0 ? random() % 249 : random() % 57);
  std::vector<size_t> order(64);
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), random);

  std::vector<void*> held(64);
  const int rounds = iterations / 64 + 1;
  auto run = [&](auto allocate, auto release) {
    return best_seconds([&] {
      for (int r = 0; r < rounds; ++r) {
        const size_t* batch = &sizes[(r * 64) % sizes.size()];
        for (size_t i = 0; i < 64; ++i) held[i] = allocate(batch[i]);
        for (size_t i : order) release(batch[i], held[i]);
      }
    });
  };
  const double system = run([](size_t n) { return std::malloc(n); }, [](size_t, void* p) { std::free(p); });
  const double pooled = run([](size_t n) { return pools::alloc(n); }, [](size_t n, void* p) { pools::dealloc(n, p); });
  const long operations = 64L * rounds;
  std::printf("pools: %ld allocations of 8 to 256 bytes, batches of 64 freed shuffled, pooling %s\n", operations,
              std::getenv("RTI_USE_MALLOC") || std::getenv("DISABLE_POOLING") ? "off (RTI_USE_MALLOC or DISABLE_POOLING)"
                                                                                : "on");
  std::printf("  malloc/free                %8.1f ns/pair\n", 1e9 * system / operations);
  std::printf("  pools alloc/dealloc        %8.1f ns/pair  %6.2f x malloc/free\n", 1e9 * pooled / operations,
              pooled / system);
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 200000;
  const uint32_t packet_size = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1448;
  if (iterations <= 0) {
    std::fprintf(stderr, "usage: %s [iterations] [packet size]\n", argv[0]);
    return 2;
  }
  message_figures(iterations, buffer_manager_factory::normalised_packet_size(packet_size));
  pool_figures(iterations);
  return 0;
}
