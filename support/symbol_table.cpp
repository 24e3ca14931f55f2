#include "symbol_table.h"

#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace brindle {

namespace {

constexpr size_t initial_buckets = 251;

// Bucket counts the table grows to; see grow_before_insert for the rule that picks one.
constexpr size_t growth_sizes[] = {
    43,       89,       179,       359,       719,       1439,      2879,       5749,      11519,
    23039,    46073,    92153,     184321,    368647,    737279,    1474559,   2949119,   5898253,
    11796469, 23592967, 47185967,  94371863,  188743691, 377487361, 754974721, 1509949451};

}  // namespace

struct SymbolTable::symbol_value_pair {
  std::unique_ptr<char[]> symbol;  // NUL-terminated copy; its address is the symbol's identity
  size_t length = 0;
  uint32_t hash = 0;
  void* value = nullptr;  // not owned
  symbol_value_pair* next = nullptr;

  bool holds(const char* text, size_t text_length) const {
    return length == text_length && std::memcmp(symbol.get(), text, length) == 0;
  }
};

struct SymbolTable::table {
  std::deque<symbol_value_pair> entries;  // owns every entry; a deque never moves them
  std::vector<symbol_value_pair*> buckets = std::vector<symbol_value_pair*>(initial_buckets);

  symbol_value_pair* find(const char* text, size_t length, uint32_t hash) const {
    for (symbol_value_pair* e = buckets[hash % buckets.size()]; e; e = e->next)
      if (e->hash == hash && e->holds(text, length)) return e;
    return nullptr;
  }

  // The table is kept at about one entry per bucket. When the next entry would reach the bucket
  // count, the buckets become the first listed size that holds count + 1 (which can be the
  // current size again: the chains are then rebuilt in place).
  void grow_before_insert() {
    const size_t wanted = entries.size() + 1;
    if (wanted < buckets.size()) return;
    for (size_t size : growth_sizes) {
      if (size >= wanted) {
        rehash(size);
        return;
      }
    }
  }

  // Re-links the chains bucket by bucket, each from its head, every entry going to the front of
  // its new chain. Iteration order depends on this, so it is part of the table's behaviour.
  void rehash(size_t size) {
    std::vector<symbol_value_pair*> fresh(size);
    for (symbol_value_pair* head : buckets) {
      for (symbol_value_pair* e = head; e;) {
        symbol_value_pair* next = e->next;
        symbol_value_pair*& chain = fresh[e->hash % size];
        e->next = chain;
        chain = e;
        e = next;
      }
    }
    buckets.swap(fresh);
  }

  symbol_value_pair* insert(const char* text, size_t length, uint32_t hash) {
    grow_before_insert();
    symbol_value_pair& e = entries.emplace_back();
    e.symbol = std::make_unique<char[]>(length + 1);
    std::memcpy(e.symbol.get(), text, length);
    e.length = length;
    e.hash = hash;
    symbol_value_pair*& chain = buckets[hash % buckets.size()];
    e.next = chain;
    chain = &e;
    return &e;
  }
};

SymbolTable::SymbolTable() : table_(new table) {}

SymbolTable::~SymbolTable() { delete table_; }

uint32_t SymbolTable::hash(const char* text, size_t length) {
  uint32_t h = 0;
  for (size_t i = 0; i < length; ++i) {
    h += static_cast<unsigned char>(text[i]);
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  return h;
}

SymbolTable::symbol_value_pair* SymbolTable::find_or_insert(const char* text, size_t length) {
  const uint32_t h = hash(text, length);
  if (symbol_value_pair* found = table_->find(text, length, h)) return found;
  return table_->insert(text, length, h);
}

const char* SymbolTable::getSymbol(const char* name) {
  if (!name) return nullptr;
  return getSymbolWithLength(name, std::strlen(name));
}

// Symbols are used as C strings everywhere, so text stops at a NUL within length: otherwise
// "A" and "A\0B" would be two symbols that every strlen-based lookup takes for one.
const char* SymbolTable::getSymbolWithLength(const char* text, size_t length) {
  if (!text) return length ? nullptr : getSymbol("");
  const void* nul = std::memchr(text, '\0', length);
  if (nul) length = static_cast<size_t>(static_cast<const char*>(nul) - text);
  return find_or_insert(text, length)->symbol.get();
}

void* SymbolTable::getSymbolValue(const char* name) {
  if (!name) return nullptr;
  const size_t length = std::strlen(name);
  symbol_value_pair* found = table_->find(name, length, hash(name, length));
  return found ? found->value : nullptr;
}

void SymbolTable::setSymbolValue(const char* name, void* value) {
  if (!name) return;
  find_or_insert(name, std::strlen(name))->value = value;
}

void SymbolTable::iterateThroughSymbols(void (*callback)(const char* symbol, void* context),
                                        void* context) {
  for (symbol_value_pair* head : table_->buckets)
    for (symbol_value_pair* e = head; e; e = e->next) callback(e->symbol.get(), context);
}

size_t SymbolTable::size() const { return table_->entries.size(); }

size_t SymbolTable::bucket_count() const { return table_->buckets.size(); }

}  // namespace brindle
