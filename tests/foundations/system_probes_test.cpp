// Memory and processor probes and the large-block allocator.
#include <gtest/gtest.h>

#include <cstring>

#include "foundations/system_probes.h"

namespace {

TEST(SystemProbes, MemoryAndCores) {
  int64_t Total = IEGetPhysicalMemory(false);
  int64_t Available = IEGetPhysicalMemory(true);
  EXPECT_GT(Total, 0);
  EXPECT_GT(Available, 0);
  EXPECT_LE(Available, Total);
  int32_t Cores = IEGetProcessorCoreCount();
  EXPECT_GE(Cores, 1);
  EXPECT_EQ(IEGetProcessorCoreCount(), Cores);  // cached
}

TEST(SystemProbes, LargeBlocksComeFromTheHeapOrZeroFilledMemory) {
  void* Small = IEAllocLarge(1048575);
  void* Large = IEAllocLarge(1048576);
  ASSERT_NE(Small, nullptr);
  ASSERT_NE(Large, nullptr);
  EXPECT_FALSE(IEIsZeroFilledLarge(Small));
  EXPECT_TRUE(IEIsZeroFilledLarge(Large));
  const uint8_t* P = static_cast<const uint8_t*>(Large);
  EXPECT_EQ(P[0], 0);
  EXPECT_EQ(P[1048575], 0);
  std::memset(Small, 1, 1048575);
  IEFreeLarge(Small);
  IEFreeLarge(Large);
  EXPECT_EQ(Small, nullptr);
  EXPECT_EQ(Large, nullptr);
  // Requests that cannot be met answer null instead of raising.
  EXPECT_EQ(IEAllocLarge(0), nullptr);
  EXPECT_EQ(IEAllocLarge(-5), nullptr);
  EXPECT_EQ(IEAllocLarge(INT64_MAX), nullptr);
  EXPECT_EQ(IEAllocLarge(IEGetPhysicalMemory(false) + 1), nullptr);
  EXPECT_EQ(IEGlobalAllocZero(INT64_MAX), nullptr);
  void* T = reinterpret_cast<void*>(1);
  IETryGetMem(T, INT64_MAX);
  EXPECT_EQ(T, nullptr);
  void* Z = IEGlobalAllocZero(64);
  ASSERT_NE(Z, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(Z)[63], 0);
  IEGlobalFreeAndNil(Z);
  EXPECT_EQ(Z, nullptr);
}

}  // namespace
