// What vessmark exports to the other libraries and to federates: the library builds with hidden
// symbol visibility, and a class or function marked VESSMARK_EXPORT is the only kind visible outside.
#pragma once

#define VESSMARK_EXPORT __attribute__((visibility("default")))
