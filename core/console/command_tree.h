// The console's command tree: the "RTI Debugging Commands" table that the keyword `rti` opens,
// with its groups, help lines and headings, and the handlers that act on the distribution
// manager of the terminal that typed the command. Tables that depend on the federation (the
// object classes, interactions and transports of the FED, the debugging events, the
// statistics trackers) are built each time they are reached.
//
// Each terminal gets its own copy of the table, so that `enable` adds the `cleanup` group for
// that terminal alone.
#pragma once

#include <string>

#include "parser.h"

namespace varnel {

class local_distribution_manager;

// A terminal of the console: its parse context, the distribution manager its commands act on,
// and whether it is reached over the network (then file names typed at it must be plain names
// in the working directory, and are opened without following links).
//
// Text from a remote federate goes to direct (the writer when none is given): straight to the
// terminal, never through the process's diverted output, where it would be captured again.
// A terminal that goes ends its remote connection.
class console_terminal : public parser::parse_context {
public:
  console_terminal(local_distribution_manager& ldm, parser::writer_buf::writer out, bool from_network,
                   parser::writer_buf::writer direct = {});
  ~console_terminal() override;
  console_terminal(const console_terminal&) = delete;
  console_terminal& operator=(const console_terminal&) = delete;

  local_distribution_manager& ldm() const { return ldm_; }
  bool from_network() const { return from_network_; }
  // Shows the first prompt: the top-level table "     Commands" holds `rti`, which opens this
  // terminal's own copy of the debugging commands.
  void start(const std::string& prompt);
  // Makes the dangerous commands (the cleanup group) available on this terminal.
  void enable();
  void show_direct(const std::string& text);

private:
  local_distribution_manager& ldm_;
  bool from_network_;
  parser::writer_buf::writer direct_;
  parser::table_ptr rti_;
};

// A federate by handle (decimal, octal or hexadecimal) or by a pattern over names that matches
// exactly one; 0 when neither.
unsigned find_federate(local_distribution_manager& ldm, const std::string& word);

// A log file name typed at a network terminal: a plain name in the working directory, with no
// '/', no leading '.' and no control character, at most 255 bytes.
bool is_plain_file_name(const std::string& name);

}  // namespace varnel
