// Distribution managers of one federation of the demo model in one test process, ticked in turn
// on one stepped clock, so that waits of seconds take no time: joining, ticking until something
// holds, counting recorded callbacks, updating, and reading a message body as a receiver does.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "buffer_pool.h"
#include "ldm_buf.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "test_ldm.h"
#include "test_rid.h"

class stepped_federation {
public:
  explicit stepped_federation(uint16_t port) : port_(port) {}
  ~stepped_federation() {
    nodes.clear();
    pool_->destroy();
  }

  // The first federate creates the federation.
  test_ldm& join(const char* name, test_rid_options options = {}) {
    options.port = port_;
    const scoped_rid_file rid(options);
    nodes.push_back(std::make_unique<test_ldm>(clock));
    test_ldm& ldm = *nodes.back();
    if (nodes.size() == 1) ldm.create_federation_execution("Roads", EXAMPLES_DIR "/demo.fed");
    tick_until([&] { return ldm.get_federation_manager().get_federations().count("Roads") > 0; }, 12000);
    ldm.join_federation_execution(name, "Roads");
    settle(50);
    return ldm;
  }

  // Ticks every federate, one stepped millisecond at a time, until done() or ms have passed.
  bool tick_until(const std::function<bool()>& done, uint64_t ms) {
    for (uint64_t end = clock.counter + ms; clock.counter < end; clock.advance(1)) {
      for (auto& node : nodes) node->tick();
      if (done()) return true;
    }
    return false;
  }
  void settle(uint64_t ms) { tick_until([] { return false; }, ms); }

  static size_t count(const test_ldm& ldm, const std::string& prefix) {
    return std::count_if(ldm.callbacks.begin(), ldm.callbacks.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  }
  bool wait_for(const test_ldm& ldm, const std::string& prefix, size_t n = 1, uint64_t ms = 3000) {
    return tick_until([&] { return count(ldm, prefix) >= n; }, ms);
  }

  static void update(test_ldm& ldm, unsigned object, std::initializer_list<std::pair<unsigned, std::string>> pairs) {
    auto* set = new varnel::handle_value_set;
    for (const auto& [handle, value] : pairs) set->add(handle, static_cast<uint32_t>(value.size()), value.data());
    ldm.update_attribute_values(object, *set, varnel::user_tag("u"));
    set->down_refcount();
  }

  // What write put in a message body, positioned for reading as it arrives; the caller releases it.
  brindle::ldm_buf* received(const std::function<void(brindle::ldm_buf&)>& write) {
    brindle::ldm_buf* buffer = pool_->get_buf();
    write(*buffer);
    buffer->set_received();
    buffer->set_iptr(brindle::ldm_buf::message_header_size);
    return buffer;
  }

  manual_clock clock;
  std::vector<std::unique_ptr<test_ldm>> nodes;

private:
  uint16_t port_;
  brindle::buffer_manager_factory factory_{1, 0};
  brindle::buffer_pool_manager* pool_ = factory_.get_pool(1448);
};
