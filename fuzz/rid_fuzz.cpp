// Feeds arbitrary bytes to the RID as its file: parsing, the version and format checks, the
// Brenlo translation and the lookups must cope with anything without crashing.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "rid.h"

using namespace brindle;

namespace {

// One file in a private temp folder, named in RTI_RID_FILE and rewritten for every input; the
// folder goes when the process ends.
struct rid_file {
  std::filesystem::path folder;
  std::string path;
  rid_file() {
    char pattern[] = "/tmp/rid_fuzz_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = pattern;
    path = (folder / "fuzz.rid").string();
    setenv("RTI_RID_FILE", path.c_str(), 1);
  }
  ~rid_file() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

const std::string& rid_path() {
  static const rid_file file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(rid_path(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  RID rid;
  rid.get_integer("federation.heartbeat_interval");
  rid.get_real("connectivity_providers", "multicast", "ratelimit_max_mbps");
  rid.get_boolean("updates", "perfect_filter");
  rid.get_string("connectivity.interface");
  rid.get_entry("routing_spaces");
  rid.get_entry("a..b", "", nullptr);
  return 0;
}
