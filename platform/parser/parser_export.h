// What parser exports to the other libraries: the library builds with hidden symbol visibility,
// and a class or function marked PARSER_EXPORT is the only kind visible outside.
#pragma once

#define PARSER_EXPORT __attribute__((visibility("default")))
