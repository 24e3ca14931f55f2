// The harness of the fuzz targets that feed a joined federate's managers: one distribution
// manager, joined to a federation of the demo model on the target's own port, built once per
// process, and a buffer pool for the messages the target makes from its inputs.
#pragma once

#include <memory>

#include "buffer_pool.h"
#include "ldm_buf.h"
#include "objects/ddb.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

struct joined_federate {
  std::unique_ptr<test_ldm> ldm;
  brindle::buffer_manager_factory factory{1, 0};
  brindle::buffer_pool_manager* pool = factory.get_pool(1448);

  explicit joined_federate(port_block block, test_rid_options options = {},
                           const char* fed_file = EXAMPLES_DIR "/demo.fed") {
    options.port = test_port(block, 0);
    const scoped_rid_file rid(options);
    ldm = std::make_unique<test_ldm>();
    ldm->create_federation_execution("Fuzz", fed_file);
    ldm->join_federation_execution("fuzzer", "Fuzz");
  }

  // Delivers what the last input queued and forgets the objects discovered once there are many,
  // so that a long run's memory stays flat.
  void settle() {
    ldm->tick();
    varnel::ddb& database = *ldm->get_ddb();
    if (database.object_count() > 4096)
      for (uint32_t object : database.object_handles()) database.remove_object(object);
  }

  // A received message whose body is the input, read position at the body.
  brindle::ldm_buf* message(const uint8_t* data, size_t size) {
    brindle::ldm_buf* buffer = pool->get_buf();
    buffer->write_os(data, static_cast<uint32_t>(size));
    buffer->set_received();
    buffer->set_iptr(brindle::ldm_buf::message_header_size);
    return buffer;
  }
};
