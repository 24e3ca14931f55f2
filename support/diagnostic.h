// One line of diagnostics on standard error, headed by the tag of the component that prints
// it: "tag: text\n". Each component keeps its tag in one constant and prints through here, so
// every line has the same form and a line printed by one thread is never cut by another's.
#pragma once

#include "brindle_export.h"

namespace brindle {

// Prints tag, ": ", the text that format makes of the arguments, and a line feed.
BRINDLE_EXPORT void diagnostic(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace brindle
