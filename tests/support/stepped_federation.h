// Distribution managers of one federation in one test process, on one stepped clock and ticked
// in turn a stepped millisecond apart, so that waits of seconds take no time: the fixture of the
// core's multi-federate tests. The first federate to join creates the federation; each reads its
// own RID text on the federation's port. Also: counting recorded callbacks, updating, and reading
// a message body as a receiver does.
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
#include "manual_clock.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "test_ldm.h"
#include "test_rid.h"

class stepped_federation {
public:
  explicit stepped_federation(uint16_t port, std::string federation = "Roads",
                              std::string fed_file = EXAMPLES_DIR "/demo.fed")
      : port_(port), federation_(std::move(federation)), fed_file_(std::move(fed_file)) {}
  ~stepped_federation() {
    nodes.clear();
    pool_->destroy();
  }
  stepped_federation(const stepped_federation&) = delete;
  stepped_federation& operator=(const stepped_federation&) = delete;

  // edit changes the RID text before the federate reads it; the federation settles for settle_ms
  // after the join.
  test_ldm& join(const char* name, test_rid_options options = {}, const std::function<void(std::string&)>& edit = {},
                 uint64_t settle_ms = 50) {
    options.port = port_;
    std::string text = test_rid_text(options);
    if (edit) edit(text);
    const scoped_rid_file rid(text);
    nodes.push_back(std::make_unique<test_ldm>(clock));
    test_ldm& ldm = *nodes.back();
    if (nodes.size() == 1) ldm.create_federation_execution(federation_.c_str(), fed_file_.c_str());
    tick_until([&] { return ldm.get_federation_manager().get_federations().count(federation_) > 0; }, 12000);
    ldm.join_federation_execution(name, federation_.c_str());
    settle(settle_ms);
    return ldm;
  }

  // Ticks the listed federates (all by default) until done() or ms stepped milliseconds passed.
  bool tick_until(const std::function<bool()>& done, uint64_t ms, const std::vector<test_ldm*>& only = {}) {
    for (uint64_t end = clock.counter + ms; clock.counter < end; clock.advance(1)) {
      if (only.empty()) {
        for (auto& node : nodes) node->tick();
      } else {
        for (test_ldm* node : only) node->tick();
      }
      if (done()) return true;
    }
    return false;
  }
  void settle(uint64_t ms, const std::vector<test_ldm*>& only = {}) { tick_until([] { return false; }, ms, only); }

  // Callbacks of the federate that begin with prefix.
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
  std::vector<std::unique_ptr<test_ldm>> nodes;  // destroyed before the clock they run on

private:
  uint16_t port_;
  std::string federation_;
  std::string fed_file_;
  brindle::buffer_manager_factory factory_{1, 0};
  brindle::buffer_pool_manager* pool_ = factory_.get_pool(1448);
};
