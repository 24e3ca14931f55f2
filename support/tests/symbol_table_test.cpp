#include "symbol_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

using namespace brindle;

namespace {

std::string name_of(int i) { return "symbol_" + std::to_string(i); }

TEST(SymbolTable, HashIsOneAtATimeOverUnsignedBytes) {
  EXPECT_EQ(SymbolTable::hash("", 0), 0u);
  EXPECT_EQ(SymbolTable::hash("a", 1), 0xca2e9442u);
  const char* fox = "The quick brown fox jumps over the lazy dog";
  EXPECT_EQ(SymbolTable::hash(fox, std::strlen(fox)), 0x519e91f5u);
  EXPECT_EQ(SymbolTable::hash("\xff", 1), 0xc7b20f1du);
}

TEST(SymbolTable, EqualStringsShareOneOwnedCopy) {
  SymbolTable table;
  char name[] = "rti_version";
  const char* rti = table.getSymbolWithLength(name, 3);
  EXPECT_STREQ(rti, "rti");
  EXPECT_NE(rti, name);
  EXPECT_EQ(table.getSymbol("rti"), rti);
  EXPECT_EQ(table.getSymbolWithLength("rti", 3), rti);
  name[0] = 'X';  // the table keeps its own copy
  EXPECT_STREQ(rti, "rti");
  EXPECT_NE(table.getSymbol("rt"), rti);
  EXPECT_NE(table.getSymbol("rtii"), rti);
  EXPECT_EQ(table.size(), 3u);
  EXPECT_EQ(table.getSymbol(""), table.getSymbolWithLength("abc", 0));
  // A symbol is a C string: bytes after a NUL do not make another one.
  EXPECT_EQ(table.getSymbolWithLength("rti\0x", 5), rti);
}

TEST(SymbolTable, ValuesAttachWithoutOwnership) {
  SymbolTable table;
  int first = 1, second = 2;
  EXPECT_EQ(table.getSymbolValue("port"), nullptr);
  EXPECT_EQ(table.size(), 0u) << "asking for a value inserts nothing";
  table.setSymbolValue("port", &first);
  EXPECT_EQ(table.getSymbolValue("port"), &first);
  const char* port = table.getSymbol("port");
  table.setSymbolValue("port", &second);
  EXPECT_EQ(table.getSymbolValue("port"), &second);
  EXPECT_EQ(table.getSymbol("port"), port);
  EXPECT_EQ(table.getSymbolValue(table.getSymbol("ttl")), nullptr);
  EXPECT_EQ(table.size(), 2u);
}

TEST(SymbolTable, GrowsThroughTheSizeListKeepingEverySymbol) {
  SymbolTable table;
  EXPECT_EQ(table.bucket_count(), 251u);
  // Symbols inserted so far -> buckets: growth comes when count + 1 reaches the bucket count.
  const std::vector<std::pair<int, size_t>> expected = {
      {250, 251}, {251, 359}, {359, 359}, {360, 719}, {720, 1439}, {1440, 2879}, {3000, 5749}};
  std::vector<const char*> symbols;
  size_t next = 0;
  for (int i = 0; i < 3000; ++i) {
    symbols.push_back(table.getSymbol(name_of(i).c_str()));
    table.setSymbolValue(symbols.back(), &symbols);
    if (i + 1 == expected[next].first) {
      EXPECT_EQ(table.bucket_count(), expected[next].second) << "after " << i + 1 << " symbols";
      ++next;
    }
  }
  ASSERT_EQ(table.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(table.getSymbol(name_of(i).c_str()), symbols[i]) << name_of(i);
    ASSERT_EQ(table.getSymbolValue(symbols[i]), &symbols);
  }
}

// The documented order as a plain model: chains of names, newest at the front, rebuilt bucket
// by bucket (each chain from its head) when the table grows.
class model_table {
public:
  void insert(const std::string& name) {
    const size_t wanted = count_ + 1;
    if (wanted >= chains_.size()) {
      for (size_t size : {359u, 719u, 1439u, 2879u}) {
        if (size >= wanted) {
          rebuild(size);
          break;
        }
      }
    }
    chains_[SymbolTable::hash(name.data(), name.size()) % chains_.size()].push_front(name);
    ++count_;
  }
  std::vector<std::string> order() const {
    std::vector<std::string> names;
    for (const auto& chain : chains_) names.insert(names.end(), chain.begin(), chain.end());
    return names;
  }

private:
  void rebuild(size_t size) {
    std::vector<std::deque<std::string>> fresh(size);
    for (const auto& chain : chains_)
      for (const std::string& name : chain)
        fresh[SymbolTable::hash(name.data(), name.size()) % size].push_front(name);
    chains_.swap(fresh);
  }
  std::vector<std::deque<std::string>> chains_ = std::vector<std::deque<std::string>>(251);
  size_t count_ = 0;
};

TEST(SymbolTable, IteratesBucketByBucketFromEachChainHead) {
  SymbolTable table;
  model_table model;
  for (int i = 0; i < 1000; ++i) {
    table.getSymbol(name_of(i).c_str());
    model.insert(name_of(i));
    if (i == 100 || i == 250 || i == 358 || i == 359 || i == 999) {
      std::vector<std::string> visited;
      table.iterateThroughSymbols(
          [](const char* symbol, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(symbol);
          },
          &visited);
      ASSERT_EQ(visited, model.order()) << "after " << i + 1 << " symbols";
    }
  }
}

}  // namespace
