// Interned strings with an attached untyped value. Two lookups of equal strings give the same
// pointer for the life of the table, so names are compared by pointer. The table owns the
// strings, not the values. Base of Document, where the values are macro bodies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brindle_export.h"

namespace brindle {

class BRINDLE_EXPORT SymbolTable {
public:
  SymbolTable();
  virtual ~SymbolTable();
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;

  // The interned copy of name, inserted (with no value) when new.
  const char* getSymbol(const char* name);
  // The same for the first length bytes of text.
  const char* getSymbolWithLength(const char* text, size_t length);
  // The value attached to name; null when the symbol is unknown or has none.
  void* getSymbolValue(const char* name);
  // Attaches value to name (inserting it if needed); an earlier value is replaced, not freed.
  void setSymbolValue(const char* name, void* value);
  // Calls callback once per symbol, bucket by bucket, each chain from its head.
  void iterateThroughSymbols(void (*callback)(const char* symbol, void* context), void* context);

  size_t size() const;
  size_t bucket_count() const;

  // Jenkins one-at-a-time hash of length bytes taken as unsigned; 0 for no bytes.
  static uint32_t hash(const char* text, size_t length);

private:
  struct symbol_value_pair;
  struct table;
  symbol_value_pair* find_or_insert(const char* text, size_t length);
  table* table_;
};

}  // namespace brindle
