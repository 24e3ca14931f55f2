// Regions on the receiving side and between two processes, in the harbour model.
//
// 1. Receive-side cost per update: reading an update of two values that carries a region of one
//    extent and matching it against 1, 100 and 1,000 subscribed regions of two extents each (the
//    last region overlaps, so every one is looked at), against reading the same update without
//    a region block.
// 2. Delivered updates per second between two processes of the public interface: the publisher
//    (a forked child) sends as fast as the transport takes them for three seconds; the subscriber
//    counts what it reflects, once with a class subscription (no regions anywhere) and once with
//    a region subscription to the publisher's region. Goal: region / class >= 0.8.
// Traffic stays on this host (loopback, TTL 0).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>

#include "buffer_pool.h"
#include "fed/fed.h"
#include "ldm_buf.h"
#include "messages/handle_value_set.h"
#include "objects/stream_plan.h"
#include "regions/filter_space.h"
#include "regions/region.h"
#include "rid.h"
#include "test_ports.h"
#include "test_rid.h"
#include "transport/transport_messages.h"
#include "two_process_bench.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr int decodes = 20000;
constexpr int trials = 7;
const char* const harbour_fed = EXAMPLES_DIR "/harbour.fed";

// A range of a thousandth-based coordinate, normalised.
filter_range at(uint32_t from, uint32_t to) { return {from * 4294967u, to * 4294967u}; }

struct receive_side {
  std::unique_ptr<RID> rid = make_test_rid({.port = test_port(port_block::bench, 42)});
  FED fed{rid.get(), harbour_fed};
  stream_plan plan{*rid, fed};
  filter_space_base& sea = *plan.get_space(fed.get_routing_space_handle("Sea"));
  uint32_t ship = fed.get_object_class_handle("Ship");
  buffer_manager_factory factory{1, 0};
  buffer_pool_manager* pool = factory.get_pool(1448);
  std::vector<std::unique_ptr<region_spec>> regions;

  ~receive_side() {
    regions.clear();
    pool->destroy();
  }

  // count regions of two extents far from the update; the last one overlaps it.
  void subscribe(size_t count) {
    regions.clear();
    for (size_t i = 0; i < count; ++i) {
      auto region = std::make_unique<region_spec>(plan, fed, sea, 2, static_cast<uint32_t>(i + 1));
      const uint32_t x = i + 1 == count ? 100 : 500 + static_cast<uint32_t>(i % 400);
      region->get_extent(0).ranges = {at(x, x + 10), at(500, 510)};
      region->get_extent(1).ranges = {at(x, x + 10), at(600, 610)};
      region->commit_extents();
      region->subscribe_object_class(ship, bit_vector(3, true));
      regions.push_back(std::move(region));
    }
  }

  ldm_buf* message(bool with_region) {
    auto* values = new handle_value_set;
    values->add(1, 8, "Sea Wolf");
    values->add(2, 16, "0123456789abcdef");
    data_message m;
    m.flags = data_flags::update;
    m.sender = 2;
    m.class_handle = ship;
    m.object_name = "ship.1";
    if (with_region) m.region = region_block{fed.get_routing_space_handle("Sea"), 1, {at(100, 110).lower,
                                             at(100, 110).upper, at(500, 505).lower, at(500, 505).upper}};
    ldm_buf* buffer = pool->get_buf();
    m.write(*buffer, {&values->get_pair(0), &values->get_pair(1)});
    values->down_refcount();
    return buffer;
  }

  // Median nanoseconds per update read (and matched).
  double nanoseconds_per_update(bool with_region) {
    ldm_buf* buffer = message(with_region);
    const uint32_t start = ldm_buf::message_header_size;
    std::vector<double> runs;
    int matched = 0;
    for (int t = 0; t < trials; ++t) {
      const auto begin = bench_clock::now();
      for (int i = 0; i < decodes; ++i) {
        buffer->set_iptr(start);
        data_message::decoded d = data_message::read(*buffer, fed);
        if (d.message.region && sea.match(d.message.region->bounds, ship, invalid_handle)) ++matched;
      }
      runs.push_back(std::chrono::duration<double, std::nano>(bench_clock::now() - begin).count() / decodes);
    }
    buffer->release_buf();
    if (with_region && matched != trials * decodes) std::printf("  (matched only %d of %d)\n", matched, trials * decodes);
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
  }
};

void measure_receive_side() {
  receive_side bench;
  const double plain = bench.nanoseconds_per_update(false);
  std::printf("receive side: reading an update without a region block: %.0f ns\n", plain);
  for (size_t count : {1, 100, 1000}) {
    bench.subscribe(count);
    const double matched = bench.nanoseconds_per_update(true);
    std::printf("  with a region matched against %4zu regions of 2 extents: %8.0f ns  (%.2fx)\n", count, matched,
                matched / plain);
  }
}

constexpr auto blast_time = std::chrono::seconds(3);
constexpr auto start_delay = std::chrono::seconds(2);
constexpr auto listen_time = std::chrono::seconds(7);

struct counting_ambassador : NullFederateAmbassador {
  uint64_t reflected = 0;
  bench_clock::time_point first, last;
  void reflectAttributeValues(rti13::ObjectHandle, const rti13::AttributeHandleValuePairSet&, const char*) override {
    last = bench_clock::now();
    if (reflected++ == 0) first = last;
  }
};

// The federate's handles and what both sides do with them: Ship's Position, near the harbour
// mouth when with a region.
struct harbour_federate {
  rti13::RTIambassador rti;
  rti13::SpaceHandle sea = 0;
  rti13::ObjectClassHandle ship = 0;
  rti13::AttributeHandle position = 0;
  std::unique_ptr<rti13::AttributeHandleSet> attributes{rti13::AttributeHandleSetFactory::create(1)};
  rti13::Region* region = nullptr;

  harbour_federate(const char* name, rti13::FederateAmbassador* ambassador, bool with_region);
  ~harbour_federate() { delete region; }
};

rti13::Region* region_near_mouth(rti13::RTIambassador& rti, rti13::SpaceHandle sea) {
  rti13::Region* region = rti.createRegion(sea, 1);
  region->setRangeUpperBound(0, 0, at(0, 200).upper);
  region->setRangeUpperBound(0, 1, at(0, 200).upper);
  rti.notifyAboutRegionModification(*region);
  return region;
}

void join(rti13::RTIambassador& rti, const char* federate, rti13::FederateAmbassador* ambassador) {
  try {
    rti.createFederationExecution("RegionBench", harbour_fed);
  } catch (const rti13::FederationExecutionAlreadyExists&) {
  }
  rti.joinFederationExecution(federate, "RegionBench", ambassador);
}

harbour_federate::harbour_federate(const char* name, rti13::FederateAmbassador* ambassador, bool with_region) {
  join(rti, name, ambassador);
  sea = rti.getRoutingSpaceHandle("Sea");
  ship = rti.getObjectClassHandle("Ship");
  position = rti.getAttributeHandle("Position", ship);
  attributes->add(position);
  if (with_region) region = region_near_mouth(rti, sea);
}

void tick_for(rti13::RTIambassador& rti, bench_clock::duration time) {
  for (const auto end = bench_clock::now() + time; bench_clock::now() < end;) rti.tick(0.005, 0.02);
}

void publish(bool with_region) {
  NullFederateAmbassador quiet;
  harbour_federate f("publisher", &quiet, with_region);
  f.rti.publishObjectClass(f.ship, *f.attributes);
  rti13::AttributeHandle handles[] = {f.position};
  const rti13::ObjectHandle ship = f.region ? f.rti.registerObjectInstanceWithRegion(f.ship, handles, &f.region, 1)
                                            : f.rti.registerObjectInstance(f.ship);
  tick_for(f.rti, start_delay);
  std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(1));
  values->add(f.position, "0123456789abcdef0123456789abcdef", 32);
  for (const auto end = bench_clock::now() + blast_time; bench_clock::now() < end;) {
    for (int i = 0; i < 64; ++i) f.rti.updateAttributeValues(ship, *values, "");
    f.rti.tick();
  }
  tick_for(f.rti, std::chrono::seconds(1));
  f.rti.resignFederationExecution(rti13::DELETE_OBJECTS);
}

throughput subscribe(bool with_region) {
  counting_ambassador counter;
  harbour_federate f("subscriber", &counter, with_region);
  if (f.region)
    f.rti.subscribeObjectClassAttributesWithRegion(f.ship, *f.region, *f.attributes);
  else
    f.rti.subscribeObjectClassAttributes(f.ship, *f.attributes);
  tick_for(f.rti, listen_time);
  f.rti.resignFederationExecution(rti13::NO_ACTION);
  const double seconds = std::chrono::duration<double>(counter.last - counter.first).count();
  return {seconds > 0 ? counter.reflected / seconds : 0, static_cast<uint32_t>(counter.reflected)};
}

throughput delivered(bool with_region) {
  return with_responder<throughput>([&] { publish(with_region); }, [&] { return subscribe(with_region); });
}

}  // namespace

int main() {
  std::printf("region_bench: harbour model, Sea as one simple stream, updates of 32 bytes\n");
  measure_receive_side();
  const scoped_rid_file rid({.port = test_port(port_block::bench, 43)});
  const throughput by_class = delivered(false);
  const throughput by_region = delivered(true);
  std::printf("delivered updates between two processes:\n");
  std::printf("  class subscription:  %9.0f /s (%u)\n", by_class.messages_per_s, by_class.delivered);
  std::printf("  region subscription: %9.0f /s (%u)  ratio %.2f (goal >= 0.8)\n", by_region.messages_per_s,
              by_region.delivered, by_class.messages_per_s > 0 ? by_region.messages_per_s / by_class.messages_per_s : 0);
  return 0;
}
