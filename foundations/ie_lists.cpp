#include "foundations/ie_lists.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

[[noreturn]] void ListError(const char* Msg, int64_t Data) {
  throw EListError(Format(Msg, static_cast<long long>(Data)));
}

constexpr const char* kIndexError = "List index out of bounds (%lld)";
constexpr const char* kCountError = "List count out of bounds (%lld)";
constexpr const char* kCapacityError = "List capacity out of bounds (%lld)";

// A zeroed block of Bytes bytes; EOutOfMemory when it cannot be had.
std::unique_ptr<uint8_t[]> AllocZeroed(int64_t Bytes) {
  if (Bytes < 0 || static_cast<uint64_t>(Bytes) > static_cast<uint64_t>(SIZE_MAX))
    throw EOutOfMemory("Out of memory");
  try {
    return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(Bytes)]());
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
}

}  // namespace

// ------------------------------------------------------------------ TIEList

TIEList::TIEList(int32_t AItemSize) : FItemSize(AItemSize < 0 ? 0 : AItemSize) {}

TIEList::~TIEList() = default;

void TIEList::CheckIndex(int32_t I) const {
  if (I < 0 || I >= FCount) ListError(kIndexError, I);
}

void TIEList::Reserve(int32_t N) {
  if (N < 0) ListError(kCapacityError, N);
  if (N <= FCapacity) return;
  auto block = AllocZeroed(static_cast<int64_t>(N) * FItemSize);
  if (FCount > 0) std::memcpy(block.get(), FItems.get(), static_cast<size_t>(FCount) * FItemSize);
  FItems = std::move(block);
  FCapacity = N;
}

void TIEList::Grow(int32_t N) {
  if (N < 0) ListError(kCountError, N);
  if (N > FCapacity) Reserve(static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(2LL * FCapacity, INT32_MAX), N)));
  // Items between the old and the new count may hold what an earlier, longer
  // list left there: give them a known value.
  if (N > FCount)
    std::memset(FItems.get() + static_cast<size_t>(FCount) * FItemSize, 0,
                static_cast<size_t>(N - FCount) * FItemSize);
  FCount = N;
  FFlags |= ielItems;
}

void TIEList::Delete(int32_t I) {
  if (I < 0 || I >= FCount) return;
  // Moved down in place: a list emptied item by item costs no reallocation.
  uint8_t* base = FItems.get();
  std::memmove(base + static_cast<size_t>(I) * FItemSize, base + static_cast<size_t>(I + 1) * FItemSize,
               static_cast<size_t>(FCount - I - 1) * FItemSize);
  --FCount;
  FFlags |= ielItems;
}

void TIEList::Clear() {
  FItems.reset();
  FCount = 0;
  FCapacity = 0;
  FFlags = 0;
}

void TIEList::Assign(const TIEList* Source) {
  if (Source == nullptr || Source == this) return;
  // Typed lists and record lists read and write their own item size: taking
  // another one would make them copy past their items.
  if (FItemSize != 0 && Source->FItemSize != FItemSize)
    throw EListError(Format("List item size mismatch (%d)", Source->FItemSize));
  const int64_t bytes = static_cast<int64_t>(Source->FCount) * Source->FItemSize;
  auto block = AllocZeroed(bytes);
  if (bytes > 0) std::memcpy(block.get(), Source->FItems.get(), static_cast<size_t>(bytes));
  FItems = std::move(block);
  FCount = Source->FCount;
  FCapacity = Source->FCount;
  FItemSize = Source->FItemSize;
  FFlags = Source->FFlags;
}

int32_t TIEList::IndexOf(const void* Item) const {
  if (Item == nullptr) return -1;
  for (int32_t i = 0; i < FCount; ++i)
    if (std::memcmp(FItems.get() + static_cast<size_t>(i) * FItemSize, Item, FItemSize) == 0) return i;
  return -1;
}

int32_t TIEList::AddItem(const void* Item) {
  if (FCount == INT32_MAX) ListError(kCountError, static_cast<int64_t>(FCount) + 1);
  Grow(FCount + 1);
  const int32_t index = FCount - 1;
  if (Item != nullptr && FItemSize > 0)
    std::memcpy(FItems.get() + static_cast<size_t>(index) * FItemSize, Item, FItemSize);
  FFlags |= ielItems;
  return index;
}

void* TIEList::GetItem(int32_t I) const {
  CheckIndex(I);
  return FItems.get() + static_cast<size_t>(I) * FItemSize;
}

void TIEList::SetItem(int32_t I, const void* Item) {
  if (I < 0 || I >= FCount || Item == nullptr) return;
  std::memcpy(FItems.get() + static_cast<size_t>(I) * FItemSize, Item, FItemSize);
  FFlags |= ielItems;
}

// ------------------------------------------------- TIEDoubleList, TIEIntegerList

template <typename T>
void TIEValueList<T>::Clear() {
  TIEList::Clear();
  FItemSize = sizeof(T);
  FRangeMin = FRangeMax = FRangeStep = FCurrentValue = T{};
}

template <typename T>
void TIEValueList<T>::Assign(const TIEList* Source) {
  TIEList::Assign(Source);
  if (const auto* src = dynamic_cast<const TIEValueList<T>*>(Source); src != nullptr && src != this) {
    FRangeMin = src->FRangeMin;
    FRangeMax = src->FRangeMax;
    FRangeStep = src->FRangeStep;
    FCurrentValue = src->FCurrentValue;
  }
}

template <typename T>
T TIEValueList<T>::GetValue(int32_t I) const {
  T v;
  std::memcpy(&v, GetItem(I), sizeof v);
  return v;
}

template class TIEValueList<double>;
template class TIEValueList<int32_t>;

// ------------------------------------------------------------ TIERecordList

TIERecordList::TIERecordList(int32_t RecordSize) : TIEList(RecordSize) {
  if (RecordSize <= 0) throw EListError(Format("List item size out of bounds (%d)", RecordSize));
}

// ------------------------------------------------------------- TIEByteArray

TIEByteArray::TIEByteArray(int32_t ABlockSize) : FBlockSize(ABlockSize < 0 ? 0 : ABlockSize) {
  FData = AllocZeroed(FBlockSize);
  FCapacity = FBlockSize;
}

TIEByteArray::~TIEByteArray() = default;

void TIEByteArray::Reallocate(int64_t NewCapacity, int32_t Keep) {
  if (NewCapacity > INT32_MAX) NewCapacity = INT32_MAX;
  auto block = AllocZeroed(NewCapacity);
  if (Keep > 0) std::memcpy(block.get(), FData.get(), static_cast<size_t>(Keep));
  FData = std::move(block);
  FCapacity = static_cast<int32_t>(NewCapacity);
}

void TIEByteArray::SetSize(int32_t N) {
  if (N < 0) ListError(kCountError, N);
  if (N > FSize) {
    if (N <= FCapacity)
      std::memset(FData.get() + FSize, 0, static_cast<size_t>(N - FSize));
    else
      Reallocate(static_cast<int64_t>(N) + FBlockSize, FSize);
  } else if (static_cast<int64_t>(N) < static_cast<int64_t>(FCapacity) - FBlockSize) {
    Reallocate(static_cast<int64_t>(N) + FBlockSize, N);
  }
  FSize = N;
}

void TIEByteArray::AddByte(uint8_t B) {
  if (FSize == INT32_MAX) ListError(kCountError, static_cast<int64_t>(FSize) + 1);
  SetSize(FSize + 1);
  FData[FSize - 1] = B;
}

int32_t TIEByteArray::AppendFromStream(TStream* Stream, int32_t N) {
  if (Stream == nullptr || N <= 0) return 0;
  // Grown a piece at a time, so a count taken from a damaged file costs no more
  // memory than the stream actually holds.
  constexpr int32_t kPiece = 65536;
  int32_t total = 0;
  while (total < N) {
    const int32_t want = std::min(N - total, kPiece);
    if (want > INT32_MAX - FSize) break;
    const int32_t start = FSize;
    SetSize(start + want);
    int64_t got = Stream->Read(FData.get() + start, want);
    if (got < 0) got = 0;
    total += static_cast<int32_t>(got);
    if (got < want) {
      SetSize(start + static_cast<int32_t>(got));
      break;
    }
  }
  return total;
}

// ----------------------------------------------------------- TIEWideStrings

void TIEWideStrings::Clear() { FList.clear(); }

void TIEWideStrings::Add(const char16_t* S) {
  size_t len = 0;
  if (S != nullptr)
    while (S[len] != 0) ++len;
  auto copy = std::make_unique<char16_t[]>(len + 1);
  if (len > 0) std::memcpy(copy.get(), S, len * sizeof(char16_t));
  copy[len] = 0;
  FList.push_back(std::move(copy));
}

void TIEWideStrings::Add(const std::u16string& S) {
  // Up to the first zero, as for a zero-terminated string.
  Add(S.c_str());
}

const char16_t* TIEWideStrings::GetString(int32_t I) const {
  if (I < 0 || I >= GetCount()) ListError(kIndexError, I);
  return FList[static_cast<size_t>(I)].get();
}

// --------------------------------------------------------- list copy, sort

void IECopyList(TList* Source, TList* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  const int32_t n = Source->GetCount();
  Dest->SetCount(n);
  for (int32_t i = 0; i < n; ++i) Dest->Put(i, Source->Get(i));
}

namespace {

void QuickSortRange(int32_t L, int32_t R, const TIECompareFunction& Compare, const TIESwapFunction& Swap) {
  do {
    int32_t I = L, J = R;
    int32_t P = L + (R - L) / 2;
    do {
      // The bounds only matter for a comparison that is not an order (an item
      // not equal to itself): with a true order the scans stop at the pivot.
      while (I <= R && Compare(I, P) < 0) ++I;
      while (J >= L && Compare(J, P) > 0) --J;
      if (I <= J) {
        if (P == I)
          P = J;
        else if (P == J)
          P = I;
        Swap(I, J);
        ++I;
        --J;
      }
    } while (I <= J);
    // Without a single swap the range would not shrink; that happens only when
    // the comparison is not an order, and the range is left as it is.
    if (J >= R || I <= L) return;
    if (J - L < R - I) {
      if (L < J) QuickSortRange(L, J, Compare, Swap);
      L = I;
    } else {
      if (I < R) QuickSortRange(I, R, Compare, Swap);
      R = J;
    }
  } while (L < R);
}

}  // namespace

void IEQuickSort(int32_t Count, const TIECompareFunction& Compare, const TIESwapFunction& Swap) {
  if (Count <= 0 || !Compare || !Swap) return;
  QuickSortRange(0, Count - 1, Compare, Swap);
}
