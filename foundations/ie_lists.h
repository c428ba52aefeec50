#pragma once
// The library's small containers: growable arrays of fixed-size items (with
// typed lists of doubles and integers that also carry a range and a current
// value, as scanner capabilities do), a growable byte array, a list of 16-bit
// strings, a pointer-list copy and an index-based quicksort.  No locking.
//
// Index errors raise EListError "List index out of bounds (%d)"; counts and
// sizes below zero or too large raise EListError "List count out of bounds
// (%d)" or "List capacity out of bounds (%d)".
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/rtl/object.h"

class TList;
class TStream;

// Change bits of TIEList::GetFlags.  Nothing but Clear resets them: users read
// and reset them.
enum : uint8_t {
  ielItems = 1,         // the items changed
  ielRange = 2,         // the range was set
  ielCurrentValue = 4,  // the current value was set
};

// A growable array of items of ItemSize bytes each, in one block.
class TIEList : public TObject {
 public:
  explicit TIEList(int32_t AItemSize = 0);
  ~TIEList() override;
  TIEList(const TIEList&) = delete;
  TIEList& operator=(const TIEList&) = delete;

  // Makes the list hold N items.  When N exceeds the capacity the block grows
  // to max(2 x capacity, N) items keeping the items; a smaller N keeps the
  // capacity.  New items are zero.  Sets ielItems.
  virtual void Grow(int32_t N);
  // Removes item I, keeping the order of the others; an index outside the list
  // changes nothing (not even the flags).  The capacity stays.
  virtual void Delete(int32_t I);
  // Frees the block: count, capacity and flags 0.  Descendants then reset their
  // item size and extra fields.
  virtual void Clear();
  // Copies count, item size, flags and items of Source (nothing when Source is
  // null); the capacity becomes the count.
  virtual void Assign(const TIEList* Source);

  // First index whose item equals Item byte for byte; -1 when none.
  int32_t IndexOf(const void* Item) const;
  // Appends a copy of Item (ItemSize bytes); answers its index.  Sets ielItems.
  int32_t AddItem(const void* Item);
  // Pointer to item I.
  void* GetItem(int32_t I) const;
  // Copies Item over item I (ignored outside the list).  Sets ielItems.
  void SetItem(int32_t I, const void* Item);

  int32_t GetCount() const { return FCount; }
  int32_t GetCapacity() const { return FCapacity; }
  int32_t GetItemSize() const { return FItemSize; }
  uint8_t GetFlags() const { return FFlags; }
  void SetFlags(uint8_t Value) { FFlags = Value; }

 protected:
  // Grows the block to hold at least N items without changing the count.
  void Reserve(int32_t N);
  void CheckIndex(int32_t I) const;

  int32_t FCapacity = 0;
  int32_t FCount = 0;
  int32_t FItemSize = 0;
  std::unique_ptr<uint8_t[]> FItems;
  uint8_t FFlags = 0;
};

// Values of type T with a range (minimum, maximum, step) and a current value;
// the shape of TIEDoubleList and TIEIntegerList.
template <typename T>
class TIEValueList : public TIEList {
 public:
  TIEValueList() : TIEList(sizeof(T)) {}
  void Clear() override;
  // Also takes the range and current value of a list of the same kind.
  void Assign(const TIEList* Source) override;

  int32_t AddValue(T V) { return AddItem(&V); }
  T GetValue(int32_t I) const;
  void SetValue(int32_t I, T V) { SetItem(I, &V); }  // ignored outside the list
  // Compares the bytes, not the values: for doubles 0.0 does not find -0.0.
  int32_t IndexOf(T V) const { return TIEList::IndexOf(&V); }

  T GetRangeMin() const { return FRangeMin; }
  T GetRangeMax() const { return FRangeMax; }
  T GetRangeStep() const { return FRangeStep; }
  T GetCurrentValue() const { return FCurrentValue; }
  void SetRangeMin(T V) { SetRange(FRangeMin, V); }
  void SetRangeMax(T V) { SetRange(FRangeMax, V); }
  void SetRangeStep(T V) { SetRange(FRangeStep, V); }
  void SetCurrentValue(T V) {
    FCurrentValue = V;
    FFlags |= ielCurrentValue;
  }

 private:
  void SetRange(T& Field, T V) {
    Field = V;
    FFlags |= ielRange;
  }

  T FRangeMin{}, FRangeMax{}, FRangeStep{}, FCurrentValue{};
};

extern template class TIEValueList<double>;
extern template class TIEValueList<int32_t>;

// Doubles with a range (minimum, maximum, step) and a current value.
class TIEDoubleList : public TIEValueList<double> {};

// Integers with a range (minimum, maximum, step) and a current value.
class TIEIntegerList : public TIEValueList<int32_t> {};

// Records of a fixed size given at creation; records 0 .. count - 1 lie
// contiguous from GetItem(0).
class TIERecordList : public TIEList {
 public:
  explicit TIERecordList(int32_t RecordSize);
  // Appends a copy of Rec; answers its index.
  int32_t Add(const void* Rec) { return AddItem(Rec); }
  // Makes room for N records without changing the count.
  void SetCapacity(int32_t N) { Reserve(N); }
};

// A growable byte array: the block grows to the needed size plus one block.
class TIEByteArray : public TObject {
 public:
  explicit TIEByteArray(int32_t ABlockSize);
  ~TIEByteArray() override;
  TIEByteArray(const TIEByteArray&) = delete;
  TIEByteArray& operator=(const TIEByteArray&) = delete;

  // Growing within the capacity, or shrinking by less than one block, changes
  // only the size; otherwise the block is reallocated to N + BlockSize bytes,
  // keeping the first min(old size, N) bytes.  Bytes gained are zero.
  void SetSize(int32_t N);
  void AddByte(uint8_t B);
  // Appends up to N bytes read from Stream; answers the number read.  The block
  // grows only as far as the stream delivers.
  int32_t AppendFromStream(TStream* Stream, int32_t N);

  int32_t GetSize() const { return FSize; }
  int32_t GetCount() const { return FSize; }
  int32_t GetCapacity() const { return FCapacity; }
  int32_t GetBlockSize() const { return FBlockSize; }
  uint8_t* GetData() const { return FData.get(); }

 private:
  void Reallocate(int64_t NewCapacity, int32_t Keep);

  int32_t FSize = 0;
  int32_t FCapacity = 0;
  int32_t FBlockSize = 0;
  std::unique_ptr<uint8_t[]> FData;
};

// A list of zero-terminated 16-bit strings, each a copy owned by the list.  A
// string's pointer stays valid until the list is cleared.
class TIEWideStrings : public TObject {
 public:
  TIEWideStrings() = default;
  ~TIEWideStrings() override = default;

  void Clear();
  // Stores a copy of S up to its terminating zero (null stores an empty string).
  void Add(const char16_t* S);
  void Add(const std::u16string& S);
  const char16_t* GetString(int32_t I) const;
  int32_t GetCount() const { return static_cast<int32_t>(FList.size()); }

 private:
  std::vector<std::unique_ptr<char16_t[]>> FList;
};

// Sets Dest's count to Source's and copies every pointer by index.
void IECopyList(TList* Source, TList* Dest);

// Compare(I, J) answers < 0, 0 or > 0 for the items at I and J; Swap(I, J)
// exchanges them.
using TIECompareFunction = std::function<int32_t(int32_t I, int32_t J)>;
using TIESwapFunction = std::function<void(int32_t I, int32_t J)>;

// Sorts Count items known only by their index (not a stable sort).  The pivot
// is an index that follows its item through the swaps.  Callers rely on the
// exact order this produces among equal items, so the partitioning must not
// change.  The stack stays bounded: after each partition the smaller side is
// sorted by recursion and the larger one by looping; the two sides are
// disjoint, so the order in which they are sorted does not change the result.
void IEQuickSort(int32_t Count, const TIECompareFunction& Compare, const TIESwapFunction& Swap);
