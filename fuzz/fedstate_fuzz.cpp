// Feeds arbitrary message bodies to a joined federation manager as fedstate messages from
// stream 1: decoding must refuse anything malformed with ldm_decode_error and change nothing,
// and whatever decodes (new federations and federates, resignations, mismatching checksums,
// shut-down requests) must keep the table consistent and bounded. The manager is never ticked,
// so a shut-down request is recorded but never carried out.
//
// Input: the message body as a sender would have written it after the transport's header.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "federation/federation_manager.h"
#include "ldm_buf.h"
#include "joined_federate.h"

using namespace brindle;
using namespace varnel;

namespace {

// Every field of every record, so that any change to the table shows.
std::string snapshot(const federation_manager& fm) {
  std::ostringstream out;
  for (const auto& [name, federation] : fm.get_federations()) {
    out << name << ' ' << federation->number << ' ' << federation->identifier.to_string() << ' '
        << federation->rid_checksum << ' ' << federation->fed_checksum << ' ' << federation->fed_file << ' '
        << federation->created_here << '\n';
    for (const auto& [id, federate] : federation->federates) {
      out << "  " << federate->name << ' ' << federate->handle << ' ' << federate->last_heard << ' '
          << static_cast<int>(federate->state) << ' ' << federate->host_name << ' ' << federate->local_objects
          << ' ' << federate->remote_objects << ' ' << static_cast<int>(federate->liveness)
          << (federate.get() == federation->own ? " own" : "") << '\n';
    }
  }
  return out.str();
}

size_t federate_count(const federation_manager& fm) {
  size_t count = 0;
  for (const auto& [name, federation] : fm.get_federations()) count += federation->federates.size();
  return count;
}

joined_federate& federate() {
  static joined_federate instance(port_block::fedstate_fuzz);
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 65536) return 0;
  ldm_buf* buffer = f.message(data, size);
  const federation_manager& fm = f.ldm->get_federation_manager();
  const std::string before = snapshot(fm);
  try {
    f.ldm->get_federation_manager().receive(1, 0x20, buffer);
  } catch (const ldm_decode_error&) {
    if (snapshot(fm) != before) std::abort();  // a refused message changed the table
  }
  buffer->release_buf();
  // The own record survives anything heard, and the table stays within its bounds.
  if (!fm.get_own_federate() || fm.get_federations().size() > federation_manager::max_federations ||
      federate_count(fm) > federation_manager::max_federates)
    std::abort();
  return 0;
}
