#include "platform/rtl/lists.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr int32_t kMaxListSize = INT32_MAX / 16;

// Bottom-up merge sort of Items by Less. It only ever compares elements
// inside the range, so an inconsistent comparison cannot run off the ends.
template <typename T, typename LessFn>
void MergeSort(std::vector<T>& Items, LessFn Less) {
  const size_t N = Items.size();
  if (N < 2) return;
  std::vector<T> Tmp(N);
  for (size_t Width = 1; Width < N; Width *= 2) {
    for (size_t Lo = 0; Lo < N; Lo += 2 * Width) {
      const size_t Mid = std::min(Lo + Width, N), Hi = std::min(Lo + 2 * Width, N);
      size_t A = Lo, B = Mid, K = Lo;
      while (A < Mid && B < Hi) Tmp[K++] = Less(Items[B], Items[A]) ? Items[B++] : Items[A++];
      while (A < Mid) Tmp[K++] = Items[A++];
      while (B < Hi) Tmp[K++] = Items[B++];
    }
    Items.swap(Tmp);
  }
}
// Runs Body with Strings in its updating state, which ends also when Body
// raises.
template <typename F>
void WhileUpdating(TStrings& Strings, F&& Body) {
  Strings.BeginUpdate();
  try {
    Body();
  } catch (...) {
    Strings.EndUpdate();
    throw;
  }
  Strings.EndUpdate();
}
}  // namespace

// ---------------------------------------------------------------- TList

TList::~TList() { Clear(); }

void TList::Error(const char* Msg, int32_t Data) { throw EListError(Format(Msg, Data)); }

int32_t TList::Add(void* Item) {
  const int32_t Result = GetCount();
  if (Result == FCapacity) Expand();
  FList.push_back(Item);
  if (Item != nullptr) Notify(Item, lnAdded);
  return Result;
}

void TList::Insert(int32_t Index, void* Item) {
  if (Index < 0 || Index > GetCount()) Error("List index out of bounds (%d)", Index);
  if (GetCount() == FCapacity) Expand();
  FList.insert(FList.begin() + Index, Item);
  if (Item != nullptr) Notify(Item, lnAdded);
}

void TList::Delete(int32_t Index) {
  if (Index < 0 || Index >= GetCount()) Error("List index out of bounds (%d)", Index);
  void* Temp = FList[static_cast<size_t>(Index)];
  FList.erase(FList.begin() + Index);
  if (Temp != nullptr) Notify(Temp, lnDeleted);
}

int32_t TList::Remove(void* Item) {
  const int32_t Result = IndexOf(Item);
  if (Result >= 0) Delete(Result);
  return Result;
}

void* TList::Extract(void* Item) {
  const int32_t I = IndexOf(Item);
  if (I < 0) return nullptr;
  FList.erase(FList.begin() + I);
  Notify(Item, lnExtracted);
  return Item;
}

int32_t TList::IndexOf(void* Item) const {
  auto It = std::find(FList.begin(), FList.end(), Item);
  return It == FList.end() ? -1 : static_cast<int32_t>(It - FList.begin());
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
  if (Index1 < 0 || Index1 >= GetCount()) Error("List index out of bounds (%d)", Index1);
  if (Index2 < 0 || Index2 >= GetCount()) Error("List index out of bounds (%d)", Index2);
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
}

void TList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= GetCount()) Error("List index out of bounds (%d)", NewIndex);
  if (CurIndex < 0 || CurIndex >= GetCount()) Error("List index out of bounds (%d)", CurIndex);
  void* Item = FList[static_cast<size_t>(CurIndex)];
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, Item);
}

void TList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TList::Pack() {
  for (int32_t I = GetCount() - 1; I >= 0; --I)
    if (FList[static_cast<size_t>(I)] == nullptr) FList.erase(FList.begin() + I);
}

void TList::Sort(const std::function<int(void*, void*)>& Compare) {
  if (!Compare) return;
  MergeSort(FList, [&Compare](void* A, void* B) { return Compare(A, B) < 0; });
}

void* TList::First() const { return Get(0); }

void* TList::Last() const { return Get(GetCount() - 1); }

TList* TList::Expand() {
  if (GetCount() == FCapacity) {
    int32_t Delta = FCapacity > 64 ? FCapacity / 4 : FCapacity > 8 ? 16 : 4;
    SetCapacity(std::min(FCapacity + Delta, kMaxListSize));
  }
  return this;
}

void TList::Assign(TList* Source) {
  if (Source == this) return;
  Clear();
  if (Source == nullptr) return;
  SetCapacity(Source->GetCapacity() > Source->GetCount() ? Source->GetCapacity() : Source->GetCount());
  for (int32_t I = 0; I < Source->GetCount(); ++I) Add(Source->Get(I));
}

void TList::SetCount(int32_t NewCount) {
  if (NewCount < 0 || NewCount > kMaxListSize) Error("List count out of bounds (%d)", NewCount);
  if (NewCount > FCapacity) SetCapacity(NewCount);
  if (NewCount > GetCount()) {
    FList.resize(static_cast<size_t>(NewCount), nullptr);
  } else {
    for (int32_t I = GetCount() - 1; I >= NewCount; --I) Delete(I);
  }
}

void TList::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < GetCount() || NewCapacity > kMaxListSize)
    Error("List capacity out of bounds (%d)", NewCapacity);
  if (NewCapacity == FCapacity) return;
  if (NewCapacity < static_cast<int32_t>(FList.capacity())) {
    FList.shrink_to_fit();
  } else {
    FList.reserve(static_cast<size_t>(NewCapacity));
  }
  FCapacity = NewCapacity;
}

void* TList::Get(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) Error("List index out of bounds (%d)", Index);
  return FList[static_cast<size_t>(Index)];
}

void TList::Put(int32_t Index, void* Item) {
  if (Index < 0 || Index >= GetCount()) Error("List index out of bounds (%d)", Index);
  void* Temp = FList[static_cast<size_t>(Index)];
  if (Temp == Item) return;
  FList[static_cast<size_t>(Index)] = Item;
  if (Temp != nullptr) Notify(Temp, lnDeleted);
  if (Item != nullptr) Notify(Item, lnAdded);
}

// ---------------------------------------------------------------- TObjectList

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* Ptr, TListNotification Action) {
  if (FOwnsObjects && Action == lnDeleted) delete static_cast<TObject*>(Ptr);
}

// ---------------------------------------------------------------- TStrings

TStrings::~TStrings() = default;

void TStrings::Error(const char* Msg, int32_t Data) { throw EStringListError(Format(Msg, Data)); }

void TStrings::Put(int32_t Index, const std::string& S) {
  TObject* TempObject = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, TempObject);
}

TObject* TStrings::GetObject(int32_t Index) const { return nullptr; }

void TStrings::PutObject(int32_t Index, TObject* AObject) {}

int32_t TStrings::Add(const std::string& S) {
  const int32_t Result = GetCount();
  Insert(Result, S);
  return Result;
}

int32_t TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int32_t Result = Add(S);
  PutObject(Result, AObject);
  return Result;
}

void TStrings::InsertObject(int32_t Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::AddStrings(TStrings* Strings) {
  if (Strings == nullptr) return;
  WhileUpdating(*this, [&] {
    // A list added to itself adds its original lines once.
    const int32_t N = Strings->GetCount();
    for (int32_t I = 0; I < N; ++I) AddObject(Strings->Get(I), Strings->GetObject(I));
  });
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* Src = dynamic_cast<TStrings*>(Source)) {
    if (Src == this) return;
    WhileUpdating(*this, [&] {
      Clear();
      AddStrings(Src);
    });
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::Exchange(int32_t Index1, int32_t Index2) {
  WhileUpdating(*this, [&] {
    const std::string S = Get(Index1);
    TObject* O = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, S);
    PutObject(Index2, O);
  });
}

void TStrings::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  WhileUpdating(*this, [&] {
    if (NewIndex < 0 || NewIndex >= GetCount()) Error("List index out of bounds (%d)", NewIndex);
    const std::string S = Get(CurIndex);
    TObject* O = GetObject(CurIndex);
    PutObject(CurIndex, nullptr);  // so that an owning list keeps the object
    Delete(CurIndex);
    InsertObject(NewIndex, S, O);
  });
}

int32_t TStrings::IndexOf(const std::string& S) const {
  for (int32_t I = 0; I < GetCount(); ++I)
    if (CompareStrings(Get(I), S) == 0) return I;
  return -1;
}

int32_t TStrings::IndexOfName(const std::string& Name) const {
  for (int32_t I = 0; I < GetCount(); ++I) {
    const std::string S = Get(I);
    const size_t P = S.find('=');
    if (P != std::string::npos && CompareStrings(S.substr(0, P), Name) == 0) return I;
  }
  return -1;
}

int32_t TStrings::IndexOfObject(TObject* AObject) const {
  for (int32_t I = 0; I < GetCount(); ++I)
    if (GetObject(I) == AObject) return I;
  return -1;
}

bool TStrings::Equals(TStrings* Strings) const {
  if (Strings == nullptr || Strings->GetCount() != GetCount()) return false;
  for (int32_t I = 0; I < GetCount(); ++I)
    if (Get(I) != Strings->Get(I)) return false;
  return true;
}

std::string TStrings::GetName(int32_t Index) const {
  const std::string S = Get(Index);
  const size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(0, P);
}

std::string TStrings::GetValueFromIndex(int32_t Index) const {
  if (Index < 0) return std::string();
  const std::string S = Get(Index);
  const size_t P = S.find('=');
  return P == std::string::npos ? std::string() : S.substr(P + 1);
}

std::string TStrings::GetValue(const std::string& Name) const {
  const int32_t I = IndexOfName(Name);
  return I < 0 ? std::string() : GetValueFromIndex(I);
}

void TStrings::SetValue(const std::string& Name, const std::string& Value) {
  int32_t I = IndexOfName(Name);
  if (!Value.empty()) {
    if (I < 0) {
      Add(Name + "=" + Value);
    } else {
      Put(I, Name + "=" + Value);
    }
  } else if (I >= 0) {
    Delete(I);
  }
}

std::string TStrings::GetText() const {
  std::string R;
  for (int32_t I = 0; I < GetCount(); ++I) {
    R += Get(I);
    R += '\n';
  }
  return R;
}

void TStrings::SetText(const std::string& Text) {
  WhileUpdating(*this, [&] {
    Clear();
    size_t P = 0;
    const size_t N = Text.size();
    while (P < N) {
      size_t Start = P;
      while (P < N && Text[P] != '\n' && Text[P] != '\r') ++P;
      Add(Text.substr(Start, P - Start));
      if (P < N && Text[P] == '\r') ++P;
      if (P < N && Text[P] == '\n') ++P;
    }
  });
}

std::string TStrings::GetDelimitedText() const {
  const int32_t Count = GetCount();
  if (Count == 1 && Get(0).empty()) return std::string(2, FQuoteChar);
  std::string R;
  for (int32_t I = 0; I < Count; ++I) {
    std::string S = Get(I);
    bool NeedQuote = false;
    for (char C : S)
      if (static_cast<unsigned char>(C) <= ' ' || C == FQuoteChar || C == FDelimiter) NeedQuote = true;
    if (NeedQuote) {
      std::string Q(1, FQuoteChar);
      for (char C : S) {
        Q += C;
        if (C == FQuoteChar) Q += C;
      }
      Q += FQuoteChar;
      S = Q;
    }
    if (I > 0) R += FDelimiter;
    R += S;
  }
  return R;
}

void TStrings::SetDelimitedText(const std::string& Value) {
  auto Blank = [](char C) { return C != '\0' && static_cast<unsigned char>(C) <= ' '; };
  WhileUpdating(*this, [&] {
    Clear();
    size_t P = 0;
    const size_t N = Value.size();
    while (P < N && Blank(Value[P])) ++P;
    while (P < N) {
      std::string S;
      if (Value[P] == FQuoteChar) {
        ++P;
        while (P < N) {
          if (Value[P] == FQuoteChar) {
            if (P + 1 < N && Value[P + 1] == FQuoteChar) {
              S += FQuoteChar;
              P += 2;
              continue;
            }
            ++P;
            break;
          }
          S += Value[P++];
        }
      } else {
        const size_t Start = P;
        while (P < N && static_cast<unsigned char>(Value[P]) > ' ' && Value[P] != FDelimiter) ++P;
        S = Value.substr(Start, P - Start);
      }
      Add(S);
      while (P < N && Blank(Value[P])) ++P;
      if (P < N && Value[P] == FDelimiter) {
        if (P + 1 == N) Add(std::string());
        do {
          ++P;
        } while (P < N && Blank(Value[P]));
      } else if (P < N && !Blank(Value[P]) && Value[P] != FQuoteChar &&
                 static_cast<unsigned char>(Value[P]) <= ' ') {
        ++P;  // a NUL byte: skip it rather than stall
      }
    }
  });
}

std::string TStrings::GetCommaText() const {
  TStrings* Self = const_cast<TStrings*>(this);
  const char D = FDelimiter, Q = FQuoteChar;
  Self->FDelimiter = ',';
  Self->FQuoteChar = '"';
  std::string R = GetDelimitedText();
  Self->FDelimiter = D;
  Self->FQuoteChar = Q;
  return R;
}

void TStrings::SetCommaText(const std::string& Value) {
  const char D = FDelimiter, Q = FQuoteChar;
  FDelimiter = ',';
  FQuoteChar = '"';
  try {
    SetDelimitedText(Value);
  } catch (...) {
    FDelimiter = D;
    FQuoteChar = Q;
    throw;
  }
  FDelimiter = D;
  FQuoteChar = Q;
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&Stream);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(&Stream);
}

void TStrings::LoadFromStream(TStream* Stream) {
  std::string S;
  char Buf[65536];
  for (;;) {
    const int64_t N = Stream->Read(Buf, sizeof Buf);
    if (N <= 0) break;
    S.append(Buf, static_cast<size_t>(N));
  }
  SetText(S);
}

void TStrings::SaveToStream(TStream* Stream) const {
  const std::string S = GetText();
  Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount <= 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

int32_t TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CompareText(S1, S2);
}

// ---------------------------------------------------------------- TStringList

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (FOwnsObjects)
    for (auto& Item : FList) delete Item.FObject;
  FList.clear();
}

void TStringList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) Error("List index out of bounds (%d)", Index);
}

void TStringList::Changed() {
  if (GetUpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (GetUpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) Changing();
  else Changed();
}

std::string TStringList::Get(int32_t Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FString;
}

void TStringList::Put(int32_t Index, const std::string& S) {
  if (FSorted) Error("Operation not allowed on sorted list", 0);
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].FString = S;
  Changed();
}

TObject* TStringList::GetObject(int32_t Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].FObject;
}

void TStringList::PutObject(int32_t Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].FObject = AObject;
  Changed();
}

void TStringList::InsertItem(int32_t Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, TStringItem{S, AObject});
  Changed();
}

void TStringList::Insert(int32_t Index, const std::string& S) {
  if (FSorted) Error("Operation not allowed on sorted list", 0);
  if (Index < 0 || Index > GetCount()) Error("List index out of bounds (%d)", Index);
  InsertItem(Index, S, nullptr);
}

int32_t TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int32_t TStringList::AddObject(const std::string& S, TObject* AObject) {
  int32_t Result;
  if (!FSorted) {
    Result = GetCount();
  } else if (Find(S, Result)) {
    switch (FDuplicates) {
      case dupIgnore: return Result;
      case dupError: Error("String list does not allow duplicates", 0);
      case dupAccept: break;
    }
  }
  InsertItem(Result, S, AObject);
  return Result;
}

void TStringList::Delete(int32_t Index) {
  CheckIndex(Index);
  Changing();
  TObject* Obj = FList[static_cast<size_t>(Index)].FObject;
  FList.erase(FList.begin() + Index);
  if (FOwnsObjects) delete Obj;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  std::vector<TStringItem> Old;
  Old.swap(FList);
  if (FOwnsObjects)
    for (auto& Item : Old) delete Item.FObject;
  Changed();
}

void TStringList::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
  Changed();
}

int32_t TStringList::IndexOf(const std::string& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int32_t Index;
  return Find(S, Index) ? Index : -1;
}

bool TStringList::Find(const std::string& S, int32_t& Index) const {
  bool Result = false;
  int32_t L = 0, H = GetCount() - 1;
  while (L <= H) {
    const int32_t I = (L + H) >> 1;
    const int32_t C = CompareStrings(FList[static_cast<size_t>(I)].FString, S);
    if (C < 0) {
      L = I + 1;
    } else {
      H = I - 1;
      if (C == 0) {
        Result = true;
        if (FDuplicates != dupAccept) L = I;
      }
    }
  }
  Index = L;
  return Result;
}

void TStringList::Sort() {
  CustomSort([](TStringList* List, int32_t Index1, int32_t Index2) {
    return static_cast<int>(List->CompareStrings(List->FList[static_cast<size_t>(Index1)].FString,
                                                 List->FList[static_cast<size_t>(Index2)].FString));
  });
}

void TStringList::CustomSort(TStringListSortCompare Compare) {
  if (GetCount() < 2 || Compare == nullptr) return;
  Changing();
  // Sort positions while the list stays as it is (the comparison reads the
  // list by index), then lay the items out in the found order.
  std::vector<int32_t> Order(FList.size());
  for (size_t I = 0; I < Order.size(); ++I) Order[I] = static_cast<int32_t>(I);
  MergeSort(Order, [this, Compare](int32_t A, int32_t B) { return Compare(this, A, B) < 0; });
  std::vector<TStringItem> Sorted;
  Sorted.reserve(FList.size());
  for (int32_t I : Order) Sorted.push_back(std::move(FList[static_cast<size_t>(I)]));
  FList.swap(Sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (FSorted == Value) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (FCaseSensitive == Value) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

int32_t TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return FCaseSensitive ? CompareStr(S1, S2) : CompareText(S1, S2);
}
