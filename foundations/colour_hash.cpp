#include "foundations/colour_hash.h"

#include <memory>
#include <new>

#include "platform/rtl/sysutils.h"

THash1::THash1(int32_t Bits) {
  if (Bits < 0 || Bits > 30) throw EListError(Format("Hash bits out of bounds (%d)", Bits));
  FBits = Bits;
  FBucketCount = int32_t{1} << Bits;
  const auto n = static_cast<size_t>(FBucketCount);
  try {
    FWord.assign(n, 0);
    FChain.assign(n, nullptr);
    FState.assign(n, bsEmpty);
    FData.assign(n, 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

THash1::~THash1() {
  // Chains are freed item by item: no recursion, however long a chain is.
  for (size_t b = 0; b < FChain.size(); ++b) {
    if (FState[b] != bsChain) continue;
    THash1Item* item = FChain[b];
    while (item != nullptr) {
      THash1Item* next = item->Next;
      delete item;
      item = next;
    }
  }
}

bool THash1::Insert(uint32_t Key) {
  const size_t b = Key & static_cast<uint32_t>(FBucketCount - 1);
  switch (FState[b]) {
    case bsEmpty:
      FState[b] = bsOneKey;
      FWord[b] = Key;
      break;
    case bsOneKey: {
      if (FWord[b] == Key) return false;
      auto added = std::make_unique<THash1Item>();
      added->Key = Key;
      auto first = std::make_unique<THash1Item>();
      first->Key = FWord[b];
      first->Data = FData[b];
      first->Next = added.release();
      FChain[b] = first.release();
      FState[b] = bsChain;
      break;
    }
    default: {
      THash1Item* item = FChain[b];
      for (;;) {
        if (item->Key == Key) return false;
        if (item->Next == nullptr) break;
        item = item->Next;
      }
      auto* added = new THash1Item;
      added->Key = Key;
      item->Next = added;
      break;
    }
  }
  ++FCount;
  return true;
}
