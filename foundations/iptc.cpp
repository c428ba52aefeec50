#include "foundations/iptc.h"

#include <cstring>

#include "foundations/number_text.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr uint8_t kTag = 0x1C;  // every dataset starts with this byte
constexpr char kPhotoshop[] = "Photoshop 3.0";  // 13 characters
constexpr uint8_t kIptcResource[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};  // resource 1028

}  // namespace

TIEIPTCInfoList::TIEIPTCInfoList() = default;

TIEIPTCInfoList::~TIEIPTCInfoList() = default;

void TIEIPTCInfoList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
}

int32_t TIEIPTCInfoList::GetRecordNumber(int32_t Index) const {
  CheckIndex(Index);
  return FRecords[Index].RecordNumber;
}

int32_t TIEIPTCInfoList::GetDataSet(int32_t Index) const {
  CheckIndex(Index);
  return FRecords[Index].DataSet;
}

const uint8_t* TIEIPTCInfoList::GetData(int32_t Index) const {
  CheckIndex(Index);
  return FData[Index].get();
}

int32_t TIEIPTCInfoList::GetDataLength(int32_t Index) const {
  CheckIndex(Index);
  return FRecords[Index].DataLength;
}

int32_t TIEIPTCInfoList::AddData(int32_t RecordNumber, int32_t DataSet, int32_t Length, const void* Data) {
  if (Length < 0 || !Data) Length = 0;
  std::unique_ptr<uint8_t[]> Copy;
  if (Length > 0) {
    Copy.reset(new uint8_t[Length]);
    std::memcpy(Copy.get(), Data, Length);
  }
  FRecords.push_back({RecordNumber, DataSet, Length});
  FData.push_back(std::move(Copy));
  FUserChanged = true;
  return GetCount() - 1;
}

void TIEIPTCInfoList::Clear() {
  FRecords.clear();
  FData.clear();
  FUserChanged = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (int32_t i = 0; i < Source->GetCount(); ++i)
    AddData(Source->FRecords[i].RecordNumber, Source->FRecords[i].DataSet, Source->FRecords[i].DataLength,
            Source->FData[i].get());
  FUserChanged = true;
}

void TIEIPTCInfoList::SaveToBuffer(std::unique_ptr<uint8_t[]>& Buffer, int32_t& Size, bool PhotoshopHeader) const {
  Buffer.reset();
  Size = 0;
  if (FRecords.empty()) return;
  TMemoryStream S;
  if (PhotoshopHeader) {
    uint8_t H[26] = {};
    std::memcpy(H, kPhotoshop, 13);  // byte 13 stays 0
    std::memcpy(H + 14, kIptcResource, 6);
    // bytes 20, 21: empty resource name, padded; 22..25: the size, below
    S.WriteBuffer(H, sizeof H);
  } else {
    static const uint8_t kRecordVersion[7] = {kTag, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    S.WriteBuffer(kRecordVersion, sizeof kRecordVersion);
  }
  int64_t Written = 0;
  for (size_t i = 0; i < FRecords.size(); ++i) {
    const TIEIPTCRecord& R = FRecords[i];
    if ((R.RecordNumber == 2 && R.DataSet == 0) || R.DataLength <= 0) continue;
    uint8_t H[9] = {kTag, static_cast<uint8_t>(R.RecordNumber), static_cast<uint8_t>(R.DataSet)};
    int32_t HeaderLen;
    if (R.DataLength < 0x8000) {
      IEPutWord(H + 3, static_cast<uint32_t>(R.DataLength), true);
      HeaderLen = 5;
    } else {  // extended dataset: four length bytes follow
      H[3] = 0x80;
      H[4] = 0x04;
      IEPutDWord(H + 5, static_cast<uint32_t>(R.DataLength), true);
      HeaderLen = 9;
    }
    S.WriteBuffer(H, HeaderLen);
    S.WriteBuffer(FData[i].get(), R.DataLength);
    Written += HeaderLen + R.DataLength;
  }
  if (S.GetSize() & 1) {
    const uint8_t Pad = 0;
    S.WriteBuffer(&Pad, 1);
  }
  Size = static_cast<int32_t>(S.GetSize());
  Buffer.reset(new uint8_t[Size]);
  std::memcpy(Buffer.get(), S.GetMemory(), Size);
  if (PhotoshopHeader) IEPutDWord(Buffer.get() + 22, static_cast<uint32_t>(Written), true);
}

bool TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t Size) {
  Clear();
  if (!Buffer || Size <= 0) return false;
  const auto* B = static_cast<const uint8_t*>(Buffer);
  const int64_t N = Size;
  int64_t p = 0;
  if (N >= 13 && std::memcmp(B, kPhotoshop, 13) == 0) {
    p = N;
    for (int64_t i = 0; i + 6 <= N; ++i)
      if (std::memcmp(B + i, kIptcResource, 6) == 0) {
        p = i + 6;
        break;
      }
  }
  while (p < N && B[p] != kTag) ++p;
  // A run of tag bytes (a size byte that happens to equal it) counts as fill.
  while (p + 1 < N && B[p + 1] == kTag) ++p;
  bool Added = false;
  while (p < N && B[p] == kTag) {
    if (p + 5 > N) break;
    const int32_t Record = B[p + 1], DataSet = B[p + 2];
    int64_t Length, Start;
    if (B[p + 3] & 0x80) {
      // Extended dataset: the low 15 bits give how many length bytes follow.
      const int32_t LenBytes = ((B[p + 3] & 0x7F) << 8) | B[p + 4];
      if (LenBytes < 1 || LenBytes > 4 || p + 5 + LenBytes > N) break;
      Length = 0;
      for (int32_t k = 0; k < LenBytes; ++k) Length = (Length << 8) | B[p + 5 + k];
      Start = p + 5 + LenBytes;
    } else {
      Length = (B[p + 3] << 8) | B[p + 4];
      Start = p + 5;
    }
    if (Length > N - Start) break;  // also refuses lengths beyond 2 GB
    AddData(Record, DataSet, static_cast<int32_t>(Length), B + Start);
    Added = true;
    p = Start + Length;
  }
  FUserChanged = false;
  return Added;
}
