#include "pools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "rx_alloc.h"

using namespace brindle;

namespace {

// Sets or clears the pooling switches for the allocators made while it lives; the suite may run
// with RTI_USE_MALLOC set, so each test says which mode it means.
class pooling_mode {
public:
  explicit pooling_mode(const char* variable) {
    for (const char* name : {"RTI_USE_MALLOC", "DISABLE_POOLING"}) {
      if (const char* value = std::getenv(name)) saved_.push_back({name, value});
      unsetenv(name);
    }
    if (variable) setenv(variable, "1", 1);
  }
  ~pooling_mode() {
    unsetenv("RTI_USE_MALLOC");
    unsetenv("DISABLE_POOLING");
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }

private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST(FixedBlockAllocator, RoundsBlockSizesUpToWholeWordsAndTheFreeListLink) {
  pooling_mode pooled(nullptr);
  EXPECT_EQ(fixed_block_allocator(0).block_size(), sizeof(void*));
  EXPECT_EQ(fixed_block_allocator(5).block_size(), 8u);
  EXPECT_EQ(fixed_block_allocator(12).block_size(), 12u);
  EXPECT_EQ(fixed_block_allocator(13).block_size(), 16u);
}

TEST(FixedBlockAllocator, TakesChunksOfEightBlocksAndReusesFreedBlocks) {
  pooling_mode pooled(nullptr);
  fixed_block_allocator allocator(12);
  EXPECT_FALSE(allocator.malloc_only());
  std::vector<void*> blocks;
  for (int i = 0; i < 9; ++i) {
    blocks.push_back(allocator.alloc());
    std::memset(blocks.back(), i, 12);  // blocks do not overlap: each keeps its bytes
  }
  EXPECT_EQ(allocator.get_bytes_allocated(), 2u * 8 * 12);
  EXPECT_EQ(allocator.get_bytes_in_use(), 9u * 12);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[11], i);

  allocator.dealloc(blocks[3]);
  allocator.dealloc(blocks[5]);
  EXPECT_EQ(allocator.alloc(), blocks[5]);  // last freed, first reused
  EXPECT_EQ(allocator.alloc(), blocks[3]);
  EXPECT_EQ(allocator.get_bytes_allocated(), 2u * 8 * 12);
  for (void* block : blocks) allocator.dealloc(block);
  EXPECT_EQ(allocator.get_bytes_in_use(), 0u);
}

TEST(FixedBlockAllocator, BlocksAreAlignedForObjectsOfTheirSize) {
  pooling_mode pooled(nullptr);
  fixed_block_allocator words(12), doubles(24);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(words.alloc()) % 4, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(doubles.alloc()) % 8, 0u);
  }
}

TEST(FixedBlockAllocator, EitherSwitchTurnsPoolingOff) {
  for (const char* variable : {"RTI_USE_MALLOC", "DISABLE_POOLING"}) {
    pooling_mode unpooled(variable);
    fixed_block_allocator allocator(20);
    EXPECT_TRUE(allocator.malloc_only());
    void* block = allocator.alloc();
    EXPECT_EQ(allocator.get_bytes_allocated(), 20u);
    EXPECT_EQ(allocator.get_bytes_in_use(), 20u);
    testing::internal::CaptureStdout();
    allocator.print();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("    running without pooling (RTI_USE_MALLOC mode)"),
              std::string::npos);
    allocator.dealloc(block);
    EXPECT_EQ(allocator.get_bytes_allocated(), 0u);
  }
}

// Each thread stamps the blocks it holds and checks the stamps before freeing them: a block
// handed out twice, or a free list broken by a race, shows up as a foreign stamp.
TEST(FixedBlockAllocator, TwoThreadsNeverShareABlock) {
  for (const char* variable : {static_cast<const char*>(nullptr), "RTI_USE_MALLOC"}) {
    pooling_mode mode(variable);
    fixed_block_allocator allocator(16);
    auto churn = [&allocator](uint64_t thread) {
      std::vector<uint64_t*> held;
      for (uint64_t round = 0; round < 50000; ++round) {
        uint64_t* block = static_cast<uint64_t*>(allocator.alloc());
        block[0] = thread;
        block[1] = round;
        held.push_back(block);
        if (held.size() == 32 || round % 7 == 0) {
          for (uint64_t* mine : held) {
            ASSERT_EQ(mine[0], thread);
            allocator.dealloc(mine);
          }
          held.clear();
        }
      }
      for (uint64_t* mine : held) allocator.dealloc(mine);
    };
    std::thread first(churn, 1), second(churn, 2);
    first.join();
    second.join();
    EXPECT_EQ(allocator.get_bytes_in_use(), 0u);
  }
}

TEST(FixedBlockAllocatorDeathTest, RefusesPointersIntoTheFirstPage) {
  fixed_block_allocator allocator(8);
  EXPECT_DEATH(allocator.dealloc(reinterpret_cast<void*>(64)),
               "fixed_block_allocator: attempting to dealloc bad pointer: ");
}

TEST(Pools, EverySizeClassHoldsItsFullSize) {
  const size_t before = pools::bytes_in_use();
  std::vector<std::pair<size_t, unsigned char*>> blocks;
  for (size_t size : {size_t{0}, size_t{1}, size_t{4}, size_t{5}, size_t{17}, size_t{20}, size_t{100},
                      size_t{8191}, size_t{8192}, size_t{8193}, size_t{100000}}) {
    unsigned char* block = static_cast<unsigned char*>(pools::alloc(size));
    std::memset(block, static_cast<int>(size & 0xFF), size);
    blocks.push_back({size, block});
  }
  for (const auto& [size, block] : blocks)
    for (size_t i = 0; i < size; ++i) ASSERT_EQ(block[i], size & 0xFF) << size;
  EXPECT_GT(pools::bytes_in_use(), before);
  for (const auto& [size, block] : blocks) pools::dealloc(size, block);
  EXPECT_EQ(pools::bytes_in_use(), before);  // sizes above 8192 never counted
}

TEST(Pools, SizesOfOneClassShareBlocksWhenPooling) {
  if (std::getenv("RTI_USE_MALLOC") || std::getenv("DISABLE_POOLING")) GTEST_SKIP() << "pools run without pooling";
  void* block = pools::alloc(20);
  pools::dealloc(20, block);
  EXPECT_EQ(pools::alloc(17), block);  // (17 + 3) / 4 == (20 + 3) / 4
  pools::dealloc(17, block);
}

struct small_record : memory_pooled<small_record> {
  uint64_t a = 1, b = 2, c = 3;
  virtual ~small_record() = default;
};

struct larger_record : small_record {
  char text[200] = "larger";
};

TEST(Pools, PooledClassesTakeBlocksOfTheirOwnSize) {
  const size_t before = pools::bytes_in_use();
  small_record* small = new small_record;
  EXPECT_EQ(pools::bytes_in_use() - before, (sizeof(small_record) + 3) & ~size_t{3});
  small_record* larger = new larger_record;
  EXPECT_EQ(pools::bytes_in_use() - before, sizeof(small_record) + sizeof(larger_record));
  delete larger;  // the virtual destructor passes the derived size back
  delete small;
  EXPECT_EQ(pools::bytes_in_use(), before);
  small_record* none = nullptr;
  delete none;
}

TEST(RxAlloc, ZeroSizesStillGiveABlockAndNullsAreHandled) {
  void* a = rxmalloc(0);
  void* b = rxcalloc(0, 16);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(*static_cast<char*>(b), 0);
  char* grown = static_cast<char*>(rxrealloc(nullptr, 10));
  std::strcpy(grown, "123456789");
  grown = static_cast<char*>(rxrealloc(grown, 2000));
  EXPECT_STREQ(grown, "123456789");
  rxfree(a);
  rxfree(b);
  rxfree(grown);
  rxfree(nullptr);

  EXPECT_EQ(rxstrdup(nullptr), nullptr);
  char* copy = rxstrdup("text");
  EXPECT_STREQ(copy, "text");
  char* joined = rxstrdupcat(copy, ".rid");
  EXPECT_STREQ(joined, "text.rid");
  rxfree(copy);
  rxfree(joined);
}

TEST(RxAllocDeathTest, BadPointersAndExhaustionAbortWithTheRoutinesName) {
  EXPECT_DEATH(rxfree(reinterpret_cast<void*>(0xABC)), "rxfree: bad pointer passed: 0xABC");
  EXPECT_DEATH(rxrealloc(reinterpret_cast<void*>(0x10), 8), "rxrealloc: bad pointer passed: 0x10");
  EXPECT_DEATH(rxcalloc(SIZE_MAX / 2, 4), "rxcalloc: out of memory allocating");
}

}  // namespace
