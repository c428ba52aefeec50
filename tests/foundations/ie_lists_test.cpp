// The library's lists and arrays: growth, deletion, assignment, flags, index
// errors, the byte array's block rule, wide strings, list copy and the
// index-based quicksort.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundations/ie_lists.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// ------------------------------------------------------------------ TIEList

TEST(IEList, GrowKeepsCapacityAndDoublesIt) {
  TIEIntegerList list;
  struct Step {
    int32_t grow;
    int32_t count, capacity;
  };
  // Grow to N: max(2 x capacity, N) when N is beyond the capacity; a smaller N
  // keeps the capacity.
  const Step steps[] = {{3, 3, 3}, {4, 4, 6}, {2, 2, 6}, {6, 6, 6}, {7, 7, 12}, {30, 30, 30}, {0, 0, 30}};
  for (const Step& s : steps) {
    list.Grow(s.grow);
    EXPECT_EQ(list.GetCount(), s.count) << "grow " << s.grow;
    EXPECT_EQ(list.GetCapacity(), s.capacity) << "grow " << s.grow;
  }

  // After growing down, AddItem reuses the block.
  list.Grow(10);
  list.SetValue(0, 11);
  list.Grow(1);
  const void* block = list.GetItem(0);
  list.SetFlags(0);
  EXPECT_EQ(list.AddValue(22), 1);
  EXPECT_EQ(list.GetItem(0), block);
  EXPECT_EQ(list.GetCapacity(), 30);
  EXPECT_EQ(list.GetValue(0), 11);
  EXPECT_EQ(list.GetValue(1), 22);
  EXPECT_EQ(list.GetFlags(), ielItems);

  // Items gained by growing hold zero, also where earlier items lay.
  list.SetValue(1, 99);
  list.Grow(1);
  list.Grow(3);
  EXPECT_EQ(list.GetValue(1), 0);
  EXPECT_EQ(list.GetValue(2), 0);

  EXPECT_THROW(list.Grow(-1), EListError);
}

TEST(IEList, DeleteKeepsOrderAndIgnoresBadIndexes) {
  TIEIntegerList list;
  for (int v = 0; v < 6; ++v) list.AddValue(v * 10);
  const int32_t capacity = list.GetCapacity();
  const void* block = list.GetItem(0);

  list.SetFlags(0);
  for (int32_t bad : {-1, 6, 100, INT_MIN}) {
    list.Delete(bad);
    EXPECT_EQ(list.GetCount(), 6);
    EXPECT_EQ(list.GetFlags(), 0) << "index " << bad;
  }

  list.Delete(2);  // middle
  list.Delete(0);  // first
  list.Delete(3);  // last
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.GetValue(0), 10);
  EXPECT_EQ(list.GetValue(1), 30);
  EXPECT_EQ(list.GetValue(2), 40);
  EXPECT_EQ(list.GetFlags(), ielItems);
  // Deleting does not reallocate.
  EXPECT_EQ(list.GetItem(0), block);
  EXPECT_EQ(list.GetCapacity(), capacity);

  while (list.GetCount() > 0) list.Delete(list.GetCount() - 1);
  EXPECT_EQ(list.AddValue(7), 0);
  EXPECT_EQ(list.GetValue(0), 7);
}

TEST(IEList, IndexErrorsAndIgnoredWrites) {
  TIEDoubleList doubles;
  doubles.AddValue(1.5);
  doubles.SetFlags(0);
  for (int32_t bad : {-1, 1, 1000}) {
    EXPECT_THROW(doubles.GetValue(bad), EListError) << bad;
    EXPECT_THROW(doubles.GetItem(bad), EListError) << bad;
    doubles.SetValue(bad, 9.0);  // ignored
  }
  EXPECT_EQ(doubles.GetFlags(), 0);
  EXPECT_EQ(doubles.GetValue(0), 1.5);
  try {
    doubles.GetValue(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message, "List index out of bounds (3)");
  }

  TIEIntegerList empty;
  EXPECT_THROW(empty.GetValue(0), EListError);
  EXPECT_EQ(empty.IndexOf(0), -1);
}

TEST(IEList, FlagsRangeAndCurrentValue) {
  TIEDoubleList list;
  EXPECT_EQ(list.GetFlags(), 0);
  list.SetRangeMin(50);
  list.SetRangeMax(600);
  list.SetRangeStep(25);
  EXPECT_EQ(list.GetFlags(), ielRange);
  list.SetCurrentValue(300);
  EXPECT_EQ(list.GetFlags(), ielRange | ielCurrentValue);
  list.AddValue(75);
  EXPECT_EQ(list.GetFlags(), ielItems | ielRange | ielCurrentValue);
  EXPECT_EQ(list.GetRangeMin(), 50);
  EXPECT_EQ(list.GetRangeMax(), 600);
  EXPECT_EQ(list.GetRangeStep(), 25);
  EXPECT_EQ(list.GetCurrentValue(), 300);

  list.Clear();
  EXPECT_EQ(list.GetFlags(), 0);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetCapacity(), 0);
  EXPECT_EQ(list.GetItemSize(), 8);
  EXPECT_EQ(list.GetRangeMax(), 0);
  EXPECT_EQ(list.GetCurrentValue(), 0);

  TIEIntegerList ints;
  ints.SetRangeStep(2);
  ints.SetCurrentValue(4);
  ints.Clear();
  EXPECT_EQ(ints.GetItemSize(), 4);
  EXPECT_EQ(ints.GetRangeStep(), 0);
  EXPECT_EQ(ints.GetCurrentValue(), 0);
}

TEST(IEList, IndexOfComparesBytes) {
  TIEDoubleList list;
  list.AddValue(-0.0);
  list.AddValue(2.5);
  list.AddValue(2.5);
  EXPECT_EQ(list.IndexOf(0.0), -1);  // not by value: -0.0 differs from 0.0
  EXPECT_EQ(list.IndexOf(-0.0), 0);
  EXPECT_EQ(list.IndexOf(2.5), 1);
  EXPECT_EQ(list.IndexOf(3.0), -1);

  TIEIntegerList ints;
  for (int v : {4, -1, 4}) ints.AddValue(v);
  EXPECT_EQ(ints.IndexOf(4), 0);
  EXPECT_EQ(ints.IndexOf(-1), 1);
  EXPECT_EQ(ints.IndexOf(5), -1);
}

TEST(IEList, AssignCopiesExactlyAndStaysUsable) {
  TIEIntegerList longer, shorter;
  for (int v = 0; v < 40; ++v) longer.AddValue(v);
  longer.SetRangeMin(1);
  longer.SetRangeMax(9);
  longer.SetCurrentValue(5);
  shorter.AddValue(-3);

  // Both directions: the copy's capacity is its count, and adding after the
  // copy stays inside the new block (the sanitizer build checks the writes).
  for (auto [dst, src] : {std::pair{&shorter, &longer}, std::pair{&longer, &shorter}}) {
    const int32_t n = src->GetCount();
    std::vector<int32_t> before;
    for (int32_t i = 0; i < n; ++i) before.push_back(src->GetValue(i));
    dst->Assign(src);
    EXPECT_EQ(dst->GetCount(), n);
    EXPECT_EQ(dst->GetCapacity(), n);
    EXPECT_EQ(dst->GetFlags(), src->GetFlags());
    EXPECT_EQ(dst->GetRangeMin(), src->GetRangeMin());
    EXPECT_EQ(dst->GetCurrentValue(), src->GetCurrentValue());
    EXPECT_EQ(dst->AddValue(1234), n);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(dst->GetValue(i), before[size_t(i)]);
    EXPECT_EQ(dst->GetValue(n), 1234);
  }

  // Null and self do nothing; the same list assigned twice is stable.
  TIEIntegerList keep;
  keep.AddValue(8);
  keep.Assign(nullptr);
  keep.Assign(&keep);
  EXPECT_EQ(keep.GetCount(), 1);
  EXPECT_EQ(keep.GetValue(0), 8);

  // A list of another item size cannot be taken over.
  TIEDoubleList doubles;
  doubles.AddValue(1.0);
  EXPECT_THROW(keep.Assign(&doubles), EListError);
  EXPECT_EQ(keep.GetValue(0), 8);
  TIERecordList records(12);
  EXPECT_THROW(records.Assign(&keep), EListError);

  // An empty source empties the list.
  TIEIntegerList none;
  keep.Assign(&none);
  EXPECT_EQ(keep.GetCount(), 0);
  EXPECT_EQ(keep.AddValue(3), 0);
}

TEST(IEList, RecordListHoldsContiguousRecords) {
  struct Span {
    int32_t row, left, right, dir;
  };
  TIERecordList spans(sizeof(Span));
  spans.SetCapacity(64);
  EXPECT_EQ(spans.GetCapacity(), 64);
  EXPECT_EQ(spans.GetCount(), 0);
  for (int i = 0; i < 100; ++i) {
    const Span s{i, -i, i * 2, i % 2 ? 1 : -1};
    EXPECT_EQ(spans.Add(&s), i);
  }
  const auto* first = static_cast<const Span*>(spans.GetItem(0));
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(static_cast<const Span*>(spans.GetItem(i)), first + i);
    EXPECT_EQ(first[i].right, i * 2);
  }
  const Span probe{57, -57, 114, 1};
  EXPECT_EQ(spans.IndexOf(&probe), 57);
  spans.Clear();
  EXPECT_EQ(spans.GetItemSize(), int32_t(sizeof(Span)));  // the record size survives Clear
  EXPECT_THROW(TIERecordList(0), EListError);
  EXPECT_THROW(TIERecordList(-4), EListError);
}

// ------------------------------------------------------------- TIEByteArray

// A stream that delivers Available bytes (value = position & 255), then none.
class LimitedStream : public TStream {
 public:
  explicit LimitedStream(int64_t Available) : FAvailable(Available) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t n = std::max<int64_t>(0, std::min(Count, FAvailable - FPos));
    for (int64_t i = 0; i < n; ++i) static_cast<uint8_t*>(Buffer)[i] = uint8_t(FPos + i);
    FPos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Origin == soBeginning) FPos = Offset;
    if (Origin == soCurrent) FPos += Offset;
    if (Origin == soEnd) FPos = FAvailable + Offset;
    return FPos;
  }

 private:
  int64_t FAvailable;
  int64_t FPos = 0;
};

TEST(IEByteArray, SetSizeFollowsTheBlockRule) {
  TIEByteArray bytes(10);
  EXPECT_EQ(bytes.GetCapacity(), 10);
  EXPECT_EQ(bytes.GetSize(), 0);
  struct Step {
    int32_t size;
    int32_t capacity;
  };
  const Step steps[] = {
      {5, 10},   // within the block
      {10, 10},  // up to the capacity
      {25, 35},  // beyond: N + block
      {26, 35},  // shrink by less than a block: the block stays
      {25, 35},  // exactly capacity - block: still kept
      {20, 30},  // shrink by more: N + block
      {0, 10},
  };
  for (const Step& s : steps) {
    bytes.SetSize(s.size);
    EXPECT_EQ(bytes.GetSize(), s.size);
    EXPECT_EQ(bytes.GetCapacity(), s.capacity) << "size " << s.size;
  }
  EXPECT_THROW(bytes.SetSize(-1), EListError);
}

TEST(IEByteArray, ReallocationKeepsTheBytes) {
  TIEByteArray bytes(7);
  for (int i = 0; i < 1000; ++i) bytes.AddByte(uint8_t(i * 13));
  EXPECT_EQ(bytes.GetSize(), 1000);
  EXPECT_EQ(bytes.GetCount(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes.GetData()[i], uint8_t(i * 13)) << i;
  bytes.SetSize(100);  // shrinks the block
  EXPECT_EQ(bytes.GetCapacity(), 107);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes.GetData()[i], uint8_t(i * 13)) << i;
  bytes.SetSize(104);  // grows inside the block: the new bytes are zero
  for (int i = 100; i < 104; ++i) EXPECT_EQ(bytes.GetData()[i], 0);

  TIEByteArray zero(0);
  zero.AddByte(1);
  zero.AddByte(2);
  EXPECT_EQ(zero.GetData()[1], 2);
}

TEST(IEByteArray, AppendFromStream) {
  TIEByteArray bytes(16);
  bytes.AddByte(0xEE);
  LimitedStream stream(300);
  EXPECT_EQ(bytes.AppendFromStream(&stream, 255), 255);
  EXPECT_EQ(bytes.GetSize(), 256);
  // Fewer bytes than asked: the array shrinks back to what came.
  EXPECT_EQ(bytes.AppendFromStream(&stream, 255), 45);
  EXPECT_EQ(bytes.GetSize(), 301);
  EXPECT_EQ(bytes.AppendFromStream(&stream, 10), 0);
  EXPECT_EQ(bytes.GetSize(), 301);
  EXPECT_EQ(bytes.GetData()[0], 0xEE);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(bytes.GetData()[1 + i], uint8_t(i)) << i;
  EXPECT_EQ(bytes.AppendFromStream(&stream, 0), 0);
  EXPECT_EQ(bytes.AppendFromStream(&stream, -5), 0);
  EXPECT_EQ(bytes.AppendFromStream(nullptr, 5), 0);

  // A count read from a damaged file does not allocate what the stream cannot
  // deliver.
  TIEByteArray big(8192);
  LimitedStream small(1000);
  EXPECT_EQ(big.AppendFromStream(&small, INT_MAX), 1000);
  EXPECT_EQ(big.GetSize(), 1000);
  EXPECT_LT(big.GetCapacity(), 1 << 20);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(big.GetData()[i], uint8_t(i));
}

// ----------------------------------------------------------- TIEWideStrings

TEST(IEWideStrings, OwnsStableCopies) {
  TIEWideStrings list;
  char16_t buffer[] = u"Scanner";
  list.Add(buffer);
  buffer[0] = u'X';  // the list holds its own copy
  list.Add(std::u16string(u"\u00e9t\u00e9"));
  list.Add(nullptr);
  const char16_t* first = list.GetString(0);
  for (int i = 0; i < 200; ++i) list.Add(u"filler");
  EXPECT_EQ(list.GetString(0), first);  // pointers survive later additions
  EXPECT_EQ(std::u16string(list.GetString(0)), u"Scanner");
  EXPECT_EQ(std::u16string(list.GetString(1)), u"\u00e9t\u00e9");
  EXPECT_EQ(std::u16string(list.GetString(2)), u"");
  EXPECT_EQ(list.GetCount(), 203);
  EXPECT_THROW(list.GetString(203), EListError);
  EXPECT_THROW(list.GetString(-1), EListError);
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(IECopyList, CopiesPointersByIndex) {
  int a = 1, b = 2, c = 3;
  TList source, dest;
  source.Add(&a);
  source.Add(&b);
  source.Add(&c);
  dest.Add(&c);
  for (int i = 0; i < 5; ++i) dest.Add(nullptr);
  IECopyList(&source, &dest);
  ASSERT_EQ(dest.GetCount(), 3);
  EXPECT_EQ(dest.Get(0), &a);
  EXPECT_EQ(dest.Get(1), &b);
  EXPECT_EQ(dest.Get(2), &c);
  TList empty;
  IECopyList(&empty, &dest);
  EXPECT_EQ(dest.GetCount(), 0);
  IECopyList(nullptr, &dest);
  IECopyList(&source, nullptr);
}

// ------------------------------------------------------------- IEQuickSort

struct Keyed {
  int key;
  char tag;
};

struct SortProbe {
  std::vector<Keyed> items;
  std::vector<std::string> calls;
  bool outOfRange = false;

  TIECompareFunction Compare() {
    return [this](int32_t i, int32_t j) {
      calls.push_back("c" + std::to_string(i) + std::to_string(j));
      if (i < 0 || j < 0 || i >= int32_t(items.size()) || j >= int32_t(items.size())) {
        outOfRange = true;
        return 0;
      }
      return items[size_t(i)].key - items[size_t(j)].key;
    };
  }
  TIESwapFunction Swap() {
    return [this](int32_t i, int32_t j) {
      calls.push_back("s" + std::to_string(i) + std::to_string(j));
      if (i < 0 || j < 0 || i >= int32_t(items.size()) || j >= int32_t(items.size())) {
        outOfRange = true;
        return;
      }
      std::swap(items[size_t(i)], items[size_t(j)]);
    };
  }
  std::string Tags() const {
    std::string s;
    for (const Keyed& k : items) s += k.tag;
    return s;
  }
};

TEST(IEQuickSort, OrderOfEqualKeysFollowsThePivotRule) {
  // Traced by hand:
  //  0..4, pivot index 2: swap 0,4 -> e b c d a; I stops at the pivot (2), J at
  //  3: the pivot index moves to 3, swap 2,3 -> e b d c a; I = 3, J = 2.
  //  0..2, pivot index 1: swap 0,2 -> d b e c a; then I = J = 1 = pivot: swap
  //  1,1.  3..4, pivot index 3: swap 3,4 -> d b e a c.
  SortProbe probe;
  probe.items = {{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {2, 'e'}};
  IEQuickSort(5, probe.Compare(), probe.Swap());
  EXPECT_EQ(probe.Tags(), "dbeac");
  EXPECT_FALSE(probe.outOfRange);

  // All keys equal, six items.  0..5, pivot 2: swap 0,5; swap 1,4; swap 2,3
  // (pivot follows to 3) -> f e d c b a; I = 3, J = 2.  0..2, pivot 1: swap 0,2
  // -> d e f; swap 1,1.  3..5, pivot 4: swap 3,5 -> a b c; swap 4,4.
  probe.items = {{0, 'a'}, {0, 'b'}, {0, 'c'}, {0, 'd'}, {0, 'e'}, {0, 'f'}};
  probe.calls.clear();
  IEQuickSort(6, probe.Compare(), probe.Swap());
  EXPECT_EQ(probe.Tags(), "defabc");
}

TEST(IEQuickSort, CallsForTinyCounts) {
  SortProbe probe;
  probe.items = {{4, 'x'}};
  IEQuickSort(1, probe.Compare(), probe.Swap());
  // One item: compared with itself twice and swapped with itself once.
  EXPECT_EQ(probe.calls, (std::vector<std::string>{"c00", "c00", "s00"}));

  probe.calls.clear();
  IEQuickSort(0, probe.Compare(), probe.Swap());
  IEQuickSort(-3, probe.Compare(), probe.Swap());
  EXPECT_TRUE(probe.calls.empty());

  // Two items out of order, pivot index 0: I stops at 0, J stops at 1, the
  // pivot moves to 1, swap; I = 1, J = 0.
  probe.items = {{9, 'b'}, {3, 'a'}};
  IEQuickSort(2, probe.Compare(), probe.Swap());
  EXPECT_EQ(probe.calls, (std::vector<std::string>{"c00", "c10", "s01"}));
  EXPECT_EQ(probe.Tags(), "ab");
}

// The sort written as the plain recursion: left side by recursion, right side
// by looping.  The bounded-stack sort must leave every table in the same order.
void ReferenceSort(std::vector<Keyed>& a, int L, int R) {
  do {
    int I = L, J = R, P = L + (R - L) / 2;
    do {
      while (a[size_t(I)].key - a[size_t(P)].key < 0) ++I;
      while (a[size_t(J)].key - a[size_t(P)].key > 0) --J;
      if (I <= J) {
        if (P == I)
          P = J;
        else if (P == J)
          P = I;
        std::swap(a[size_t(I)], a[size_t(J)]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) ReferenceSort(a, L, J);
    L = I;
  } while (L < R);
}

TEST(IEQuickSort, MatchesThePlainRecursionOnManyTables) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + int(rng() % 200);
    const int distinct = 1 + int(rng() % 8);  // many equal keys
    SortProbe probe;
    for (int i = 0; i < n; ++i) probe.items.push_back({int(rng() % unsigned(distinct)), char('A' + i % 58)});
    if (round % 5 == 0) std::sort(probe.items.begin(), probe.items.end(), [](auto& x, auto& y) { return x.key < y.key; });
    if (round % 7 == 0) std::reverse(probe.items.begin(), probe.items.end());
    std::vector<Keyed> expected = probe.items;
    ReferenceSort(expected, 0, n - 1);
    IEQuickSort(n, probe.Compare(), probe.Swap());
    ASSERT_FALSE(probe.outOfRange);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(probe.items[size_t(i)].key, expected[size_t(i)].key) << "round " << round;
      ASSERT_EQ(probe.items[size_t(i)].tag, expected[size_t(i)].tag) << "round " << round << " at " << i;
    }
    for (int i = 1; i < n; ++i) ASSERT_LE(probe.items[size_t(i - 1)].key, probe.items[size_t(i)].key);
  }
}

TEST(IEQuickSort, LargeTablesAndComparisonsThatAreNoOrder) {
  // A large table with few distinct keys.
  std::vector<int> keys(200000);
  std::mt19937 rng(99);
  for (int& k : keys) k = int(rng() % 3);
  IEQuickSort(int32_t(keys.size()), [&](int32_t i, int32_t j) { return keys[size_t(i)] - keys[size_t(j)]; },
              [&](int32_t i, int32_t j) { std::swap(keys[size_t(i)], keys[size_t(j)]); });
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

  // Comparisons that are no order (random answers, an item never equal to
  // itself): the sort ends and never names an index outside the table.
  for (int answer : {-1, 1, 0, 2}) {
    std::vector<int> items(500);
    bool bad = false;
    std::mt19937 coin(answer + 5);
    auto compare = [&](int32_t i, int32_t j) -> int32_t {
      if (i < 0 || j < 0 || i >= 500 || j >= 500) bad = true;
      if (answer == 2) return int32_t(coin() % 3) - 1;
      return answer;
    };
    auto swap = [&](int32_t i, int32_t j) {
      if (i < 0 || j < 0 || i >= 500 || j >= 500) bad = true;
    };
    IEQuickSort(500, compare, swap);
    EXPECT_FALSE(bad) << "answer " << answer;
  }
}

}  // namespace
