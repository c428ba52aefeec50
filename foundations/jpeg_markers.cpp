#include "foundations/jpeg_markers.h"

#include <cstring>
#include <utility>

#include "foundations/ie_lists.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

bool IEIsExifHeader(const void* Data, int64_t Length) {
  if (!Data || Length < 5) return false;
  return std::memcmp(Data, "Exif", 5) == 0;  // the text and its zero
}

namespace {

std::unique_ptr<TMemoryStream> CopyToStream(const void* Data, uint16_t Length) {
  auto S = std::make_unique<TMemoryStream>();
  if (Data && Length > 0) S->WriteBuffer(Data, Length);
  S->SetPosition(0);
  return S;
}

// "ICC_PROFILE" with its zero, then the chunk's sequence byte and the count.
bool IsIccChunk(TMemoryStream& S) {
  return S.GetSize() > 13 && std::memcmp(S.GetMemory(), "ICC_PROFILE", 12) == 0;
}

}  // namespace

TIEMarkerList::TIEMarkerList() = default;

TIEMarkerList::~TIEMarkerList() { Clear(); }

void TIEMarkerList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
}

uint8_t* TIEMarkerList::GetMarkerData(int32_t Index) const {
  CheckIndex(Index);
  return static_cast<uint8_t*>(FData[Index]->GetMemory());
}

uint8_t TIEMarkerList::GetMarkerType(int32_t Index) const {
  CheckIndex(Index);
  return FType[Index];
}

int32_t TIEMarkerList::GetMarkerLength(int32_t Index) const {
  CheckIndex(Index);
  return static_cast<int32_t>(FData[Index]->GetSize());
}

TMemoryStream* TIEMarkerList::GetMarkerStream(int32_t Index) const {
  CheckIndex(Index);
  return FData[Index].get();
}

int32_t TIEMarkerList::IndexOf(uint8_t MarkerType) const {
  for (int32_t i = 0; i < GetCount(); ++i)
    if (FType[i] == MarkerType) return i;
  return -1;
}

int32_t TIEMarkerList::IndexOfExif() const {
  for (int32_t i = 0; i < GetCount(); ++i)
    if (FType[i] == IEJPEG_APP1 && IEIsExifHeader(GetMarkerData(i), GetMarkerLength(i))) return i;
  return -1;
}

int32_t TIEMarkerList::AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length) {
  auto S = CopyToStream(Data, Length);
  FData.push_back(std::move(S));
  FType.push_back(MarkerType);
  return GetCount() - 1;
}

void TIEMarkerList::SetMarker(int32_t Index, uint8_t MarkerType, const void* Data, uint16_t Length) {
  CheckIndex(Index);
  FData[Index] = CopyToStream(Data, Length);
  FType[Index] = MarkerType;
}

void TIEMarkerList::DeleteMarker(int32_t Index) {
  CheckIndex(Index);
  FData.erase(FData.begin() + Index);
  FType.erase(FType.begin() + Index);
}

void TIEMarkerList::Clear() {
  FData.clear();
  FType.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (int32_t i = 0; i < Source->GetCount(); ++i)
    AddMarker(Source->FType[i], Source->FData[i]->GetMemory(),
              static_cast<uint16_t>(Source->FData[i]->GetSize()));
}

int32_t TIEMarkerList::CompareMarkers(int32_t I, int32_t J) const {
  if (FType[I] == IEJPEG_APP2 && FType[J] == IEJPEG_APP2 && IsIccChunk(*FData[I]) && IsIccChunk(*FData[J])) {
    const auto* A = static_cast<const uint8_t*>(FData[I]->GetMemory());
    const auto* B = static_cast<const uint8_t*>(FData[J]->GetMemory());
    return static_cast<int32_t>(A[12]) - static_cast<int32_t>(B[12]);
  }
  return static_cast<int32_t>(FType[I]) - static_cast<int32_t>(FType[J]);
}

void TIEMarkerList::SwapMarkers(int32_t I, int32_t J) {
  std::swap(FData[I], FData[J]);
  std::swap(FType[I], FType[J]);
}

void TIEMarkerList::SortMarkers() {
  IEQuickSort(
      GetCount(), [this](int32_t I, int32_t J) { return CompareMarkers(I, J); },
      [this](int32_t I, int32_t J) { SwapMarkers(I, J); });
  // Readers expect the EXIF block in the first APP1 segment.
  const int32_t First = IndexOf(IEJPEG_APP1);
  if (First < 0) return;
  for (int32_t i = First + 1; i < GetCount(); ++i)
    if (FType[i] == IEJPEG_APP1 && IEIsExifHeader(FData[i]->GetMemory(), FData[i]->GetSize()))
      SwapMarkers(i, First);
}
