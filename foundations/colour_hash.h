#pragma once
// THash1: a small hash set of 32-bit keys, used to count the distinct colours
// of an image (each pixel's 24 bits packed into a key).
#include <cstdint>
#include <vector>

#include "platform/rtl/object.h"

// One key of a bucket's chain.
class THash1Item : public TObject {
 public:
  uint32_t Key = 0;
  THash1Item* Next = nullptr;
  intptr_t Data = 0;
};

class THash1 : public TObject {
 public:
  // 2^Bits buckets; Bits from 0 to 30 (EListError otherwise; EOutOfMemory when
  // the buckets cannot be had).
  explicit THash1(int32_t Bits);
  ~THash1() override;
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;

  // Adds Key; False when it is already present.
  bool Insert(uint32_t Key);
  // Number of distinct keys inserted.
  int32_t GetCount() const { return FCount; }
  int32_t GetBits() const { return FBits; }
  int32_t GetBucketCount() const { return FBucketCount; }

 private:
  enum : uint8_t { bsEmpty = 0, bsOneKey = 1, bsChain = 2 };
  // Per bucket: the key itself (state 1), the chain's head is in FChain
  // (state 2); the data value carried into a chain's first item.
  std::vector<uint32_t> FWord;
  std::vector<THash1Item*> FChain;  // heads of the chains; the items belong to the set
  std::vector<uint8_t> FState;
  std::vector<intptr_t> FData;
  int32_t FBits = 0;
  int32_t FBucketCount = 0;
  int32_t FCount = 0;
};
