// Feeds arbitrary telnet byte streams through the telnet decoder into a fresh network terminal
// of a joined federate's console, so that every command of the tree (and every abbreviation,
// help request and completion of it) runs on what the fuzzer types. The commands that end the
// process (quit, shutdown) are replaced in the terminal's table, which the parser lets a caller
// extend at run time; log files are written in a scratch folder of the target's own.
//
// Input: the bytes a telnet client sends.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "console/command_tree.h"
#include "console/telnet_codec.h"
#include "frame/debugging_events.h"
#include "joined_federate.h"
#include "parser.h"

using namespace varnel;

namespace {

joined_federate& federate() {
  static joined_federate* instance = [] {
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() / ("telnet_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    std::filesystem::current_path(scratch);
    static const std::filesystem::path removed = scratch;
    std::atexit([] { std::filesystem::remove_all(removed); });
    return new joined_federate(port_block::telnet_fuzz);
  }();
  return *instance;
}

void keep_process(console_terminal& terminal) {
  const parser::table_ptr top = parser::ParseLookupTopLevel(terminal);
  parser::parse_table& rti = *top->keywords.front().sub;
  for (const char* ending : {"quit", "shutdown"})
    parser::ParseAddTable(rti, {ending, "", nullptr, nullptr, {}, [](parser::parse_context&, const auto&) {}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 16384) return 0;
  size_t shown = 0;
  console_terminal terminal(*f.ldm, [&](const char* bytes, size_t length) {
    // What a telnet client would see: never an unescaped control character but TAB, CR, LF.
    const std::string sent = telnet_encode(bytes, length, true);
    for (unsigned char c : sent)
      if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f) std::abort();
    shown += sent.size();
  }, true);
  terminal.start("fuzz> ");
  keep_process(terminal);
  telnet_decoder decoder([&](int key) { parser::ParseKeypress(terminal, key); });
  decoder.decode(data, size);
  if (terminal.line().size() > parser::max_line || terminal.cursor() > terminal.line().size()) std::abort();
  f.ldm->get_debugging_events().all_off();
  f.ldm->get_debugging_events().sweep_log_files();
  f.settle();
  return 0;
}
