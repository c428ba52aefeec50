#include "foundations/tag_directory.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <utility>

#include "foundations/file_utils.h"
#include "foundations/ie_streams.h"
#include "foundations/number_text.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Reverses the byte order of every value of a block of Size bytes of the given
// type (rationals as two 32-bit halves); a trailing partial value stays.
void SwapValues(uint8_t* P, int64_t Size, int32_t Type) {
  int32_t Unit = IETIFFTypeSize(Type);
  if (Type == IETIFFTYPE_RATIONAL || Type == IETIFFTYPE_SRATIONAL) Unit = 4;
  if (Unit <= 1) return;
  for (int64_t i = 0; i + Unit <= Size; i += Unit) std::reverse(P + i, P + i + Unit);
}

// Reads exactly Count bytes at Offset; false when the stream has fewer.
bool ReadAt(TStream* Stream, int64_t Offset, void* Buffer, int64_t Count) {
  if (Count == 0) return true;
  if (Stream->Seek(Offset, soBeginning) != Offset) return false;
  return Stream->Read(Buffer, Count) == Count;
}

// A stream position as a 32-bit file offset; a file that grows past 4 GB
// cannot be a classic TIFF, so writing stops rather than wrapping offsets.
uint32_t FileOffset(int64_t Position) {
  if (Position < 0 || Position > int64_t(UINT32_MAX)) throw EWriteError("TIFF offset beyond 4 GB");
  return static_cast<uint32_t>(Position);
}

void WriteEvenPad(TStream* Stream) {
  if (Stream->GetPosition() & 1) {
    const uint8_t Zero = 0;
    Stream->WriteBuffer(&Zero, 1);
  }
}

}  // namespace

int32_t IETIFFTypeSize(int32_t Type) {
  static const int8_t kSizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return Type >= 0 && Type < 14 ? kSizes[Type] : 0;
}

// ---------------------------------------------------------------------------
// TIETagsHandler

namespace {

struct TDevice {
  const char* Signature;
  int32_t Length;
  uint8_t OffsetMode, HeaderKind, ByteOrderMode;
};

// First match wins; a maker note shorter than a signature is compared over its
// own length.
const TDevice kDevices[] = {
    {"SONY CAM \0\0\0", 12, 0, 0, 0},
    {"SONY DSC \0\0\0", 12, 0, 0, 0},
    {"Nikon\0\x02\x10\0\0", 10, 1, 1, 1},
    {"QVC\0\0\0", 6, 0, 0, 3},
    {"EPSON\0\x01\0", 8, 0, 0, 0},
    {"Nikon\0\x01\0", 8, 0, 0, 0},
    {"Panasonic\0\0\0", 12, 0, 0, 0},
    {"FUJIFILM", 8, 1, 2, 2},
};

constexpr int32_t kMaxMakerNoteEntries = 256;
constexpr int32_t kMaxMakerNoteSize = 65001;  // this size or more is not written

// Bytes per value inside a maker note: types without a size count one byte.
int32_t MakerNoteTypeSize(int32_t Type) {
  const int32_t S = IETIFFTypeSize(Type);
  return S > 0 ? S : 1;
}

}  // namespace

TIETagsHandler::TIETagsHandler() : FData(std::make_unique<TMemoryStream>()) {}

TIETagsHandler::~TIETagsHandler() = default;

void TIETagsHandler::Clear() {
  FRaw.clear();
  FRaw.shrink_to_fit();
  FEntries.clear();
  FDevice = TIEEXIFMakerNoteDeviceInfo();
  FData->Clear();
}

void TIETagsHandler::Assign(const TIETagsHandler* Source) {
  if (!Source || Source == this) return;
  Clear();
  FRaw = Source->FRaw;
  FDevice = Source->FDevice;
  if (Source->FData->GetSize() > 0) FData->WriteBuffer(Source->FData->GetMemory(), Source->FData->GetSize());
  LoadEntryTable();
}

void TIETagsHandler::LoadFromStream(TStream* Stream, int32_t Size, bool LittleEndian) {
  Clear();
  if (!Stream || Size <= 1) return;
  const int64_t S = Stream->GetPosition();
  const int64_t Avail = std::max<int64_t>(0, Stream->GetSize() - S);
  const int64_t Want = std::min<int64_t>(Size, Avail);
  FRaw.resize(static_cast<size_t>(Want));
  const int64_t Got = Want > 0 ? Stream->Read(FRaw.data(), Want) : 0;
  FRaw.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
  const int64_t N = static_cast<int64_t>(FRaw.size());
  if (N <= 1) {
    Clear();
    return;
  }
  const uint8_t* R = FRaw.data();
  for (const TDevice& D : kDevices) {
    const int32_t L = static_cast<int32_t>(std::min<int64_t>(N, D.Length));
    if (std::memcmp(R, D.Signature, L) == 0) {
      FDevice.Signature.assign(D.Signature, D.Length);
      FDevice.OffsetMode = D.OffsetMode;
      FDevice.HeaderKind = D.HeaderKind;
      FDevice.ByteOrderMode = D.ByteOrderMode;
      break;
    }
  }
  int64_t p = static_cast<int64_t>(FDevice.Signature.size());
  int64_t Base = 0;
  if (FDevice.HeaderKind == 1) {
    if (p + 8 > N) return Clear();
    Base = p;
    std::memcpy(FDevice.Header, R + p, 8);
    p += 8;
  } else if (FDevice.HeaderKind == 2) {
    if (p + 4 > N) return Clear();
    p = IEGetDWord(R + p, false);
  }
  bool Little = LittleEndian;
  switch (FDevice.ByteOrderMode) {
    case 1: Little = FDevice.Header[0] == 'I' && FDevice.Header[1] == 'I'; break;
    case 2: Little = true; break;
    case 3: Little = false; break;
    default: break;
  }
  const bool Big = !Little;
  if (p + 2 > N) return Clear();
  const int32_t Count = IEGetWord(R + p, Big);
  if (Count > kMaxMakerNoteEntries || p + 2 + 12 * int64_t(Count) > N) return Clear();

  // The normalised directory: count, slots, then the data blocks.
  std::vector<uint8_t> Dir(2 + 12 * size_t(Count), 0);
  IEPutWord(Dir.data(), Count, false);
  std::vector<uint8_t> DataArea;
  int64_t Budget = 4 * N + 65536;  // overlapping blocks cannot multiply the note
  for (int32_t i = 0; i < Count; ++i) {
    const uint8_t* E = R + p + 2 + 12 * i;
    const uint16_t Tag = IEGetWord(E, Big), Type = IEGetWord(E + 2, Big);
    uint32_t Cnt = IEGetDWord(E + 4, Big);
    const int64_t DataSize = int64_t(Cnt) * MakerNoteTypeSize(Type);
    uint8_t Value[4];
    if (DataSize > 4) {
      const int64_t Off = IEGetDWord(E + 8, Big);
      const int64_t Pos = FDevice.OffsetMode == 0 ? Off - S : Off + Base;
      uint32_t NewValue = 0;
      if (Pos < 0 || Pos >= N || DataSize > N - Pos || DataSize > Budget) {
        Cnt = 0;
      } else {
        NewValue = static_cast<uint32_t>(Dir.size() + DataArea.size());
        const size_t At = DataArea.size();
        DataArea.insert(DataArea.end(), R + Pos, R + Pos + DataSize);
        if (Big) SwapValues(DataArea.data() + At, DataSize, Type);
        Budget -= DataSize;
      }
      IEPutDWord(Value, NewValue, false);
    } else {
      std::memcpy(Value, E + 8, 4);
      if (Big) SwapValues(Value, DataSize, Type);
    }
    uint8_t* Slot = Dir.data() + 2 + 12 * i;
    IEPutWord(Slot, Tag, false);
    IEPutWord(Slot + 2, Type, false);
    IEPutDWord(Slot + 4, Cnt, false);
    std::memcpy(Slot + 8, Value, 4);
  }
  FData->WriteBuffer(Dir.data(), int64_t(Dir.size()));
  if (!DataArea.empty()) FData->WriteBuffer(DataArea.data(), int64_t(DataArea.size()));
  LoadEntryTable();
}

void TIETagsHandler::LoadEntryTable() {
  FEntries.clear();
  const int64_t Size = FData->GetSize();
  if (Size < 2) return;
  const auto* D = static_cast<const uint8_t*>(FData->GetMemory());
  const int32_t Count = IEGetWord(D, false);
  for (int32_t i = 0; i < Count && 2 + 12 * int64_t(i + 1) <= Size; ++i) {
    const uint8_t* E = D + 2 + 12 * i;
    FEntries.push_back({IEGetWord(E, false), IEGetWord(E + 2, false), IEGetDWord(E + 4, false), IEGetDWord(E + 8, false)});
  }
}

const TIETagEntry& TIETagsHandler::GetEntry(int32_t I) const {
  if (I < 0 || I >= GetEntriesCount()) throw EListError(Format("List index out of bounds (%d)", I));
  return FEntries[I];
}

const uint8_t* TIETagsHandler::GetEntryData(int32_t I, int64_t& Size) const {
  const TIETagEntry& E = GetEntry(I);
  Size = int64_t(E.Count) * MakerNoteTypeSize(E.Type);
  if (Size <= 4) return reinterpret_cast<const uint8_t*>(&E.Value);  // little-endian host
  if (int64_t(E.Value) + Size > FData->GetSize()) return nullptr;
  return static_cast<const uint8_t*>(FData->GetMemory()) + E.Value;
}

int32_t TIETagsHandler::SaveToStream(TStream* Stream) const {
  if (!Stream || FEntries.empty()) return 0;
  const int64_t S = Stream->GetPosition();
  // The byte order the loader will expect back.
  bool Big = false;
  if (FDevice.HeaderKind == 1)
    Big = FDevice.Header[0] == 'M' && FDevice.Header[1] == 'M';
  else if (FDevice.ByteOrderMode == 3)
    Big = true;
  std::vector<uint8_t> Out(FDevice.Signature.begin(), FDevice.Signature.end());
  int64_t Base = static_cast<int64_t>(Out.size());  // offset mode 1 counts from here
  if (FDevice.HeaderKind == 1) {
    uint8_t H[8];
    std::memcpy(H, FDevice.Header, 8);
    IEPutDWord(H + 4, 8, Big);
    Out.insert(Out.end(), H, H + 8);
  } else if (FDevice.HeaderKind == 2) {
    uint8_t H[4];
    IEPutDWord(H, static_cast<uint32_t>(Out.size() + 4), false);
    Out.insert(Out.end(), H, H + 4);
    Base = 0;
  }
  const size_t DirAt = Out.size();
  const int32_t Count = GetEntriesCount();
  Out.resize(DirAt + 2 + 12 * size_t(Count) + 4, 0);  // next-directory field stays 0
  IEPutWord(Out.data() + DirAt, Count, Big);
  const auto* Src = static_cast<const uint8_t*>(FData->GetMemory());
  const int64_t SrcSize = FData->GetSize();
  for (int32_t i = 0; i < Count; ++i) {
    TIETagEntry E = FEntries[i];
    const int64_t DataSize = int64_t(E.Count) * MakerNoteTypeSize(E.Type);
    uint8_t Value[4];
    if (DataSize > 4) {
      if (int64_t(E.Value) + DataSize > SrcSize) {
        E.Count = 0;
        IEPutDWord(Value, 0, Big);
      } else {
        const int64_t Pos = static_cast<int64_t>(Out.size());
        Out.insert(Out.end(), Src + E.Value, Src + E.Value + DataSize);
        if (Big) SwapValues(Out.data() + Pos, DataSize, E.Type);
        if (Out.size() & 1) Out.push_back(0);
        IEPutDWord(Value, static_cast<uint32_t>(FDevice.OffsetMode == 0 ? S + Pos : Pos - Base), Big);
      }
    } else {
      IEPutDWord(Value, E.Value, false);
      if (Big) SwapValues(Value, DataSize, E.Type);
    }
    uint8_t* Slot = Out.data() + DirAt + 2 + 12 * i;
    IEPutWord(Slot, E.Tag, Big);
    IEPutWord(Slot + 2, E.Type, Big);
    IEPutDWord(Slot + 4, E.Count, Big);
    std::memcpy(Slot + 8, Value, 4);
  }
  if (int64_t(Out.size()) >= kMaxMakerNoteSize) return 0;
  Stream->WriteBuffer(Out.data(), int64_t(Out.size()));
  return static_cast<int32_t>(Out.size());
}

// ---------------------------------------------------------------------------
// TIETIFFHandler

namespace {

bool IsSubDirectoryTag(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

// The byte-count partner of an image-data tag, 0 for other tags.
uint16_t ImageDataPartner(uint16_t Tag, uint16_t Magic) {
  switch (Tag) {
    case 273: return 279;
    case 324: return 325;
    case 513: return 514;
    case 48320: return Magic == IEHDPHOTO_MAGIC ? 48321 : 0;
    case 48322: return Magic == IEHDPHOTO_MAGIC ? 48323 : 0;
    default: return 0;
  }
}

bool IsImageDataEntry(const TIETIFFEntry& E, uint16_t Magic) {
  return ImageDataPartner(E.Tag, Magic) != 0 && E.Blocks.size() == E.Count;
}

constexpr int32_t kMaxSubDirectoryDepth = 4;
constexpr int64_t kEntryCost = 64;  // what one entry or page costs beside its data

void SortEntries(TIETIFFEntryList& List) {
  std::stable_sort(List.begin(), List.end(),
                   [](const TIETIFFEntry& A, const TIETIFFEntry& B) { return A.Tag < B.Tag; });
}

TIETIFFEntry CloneEntry(const TIETIFFEntry& S) {
  TIETIFFEntry E;
  E.Tag = S.Tag;
  E.Type = S.Type;
  E.Count = S.Count;
  std::memcpy(E.Value, S.Value, 4);
  E.Data = S.Data;
  E.Blocks = S.Blocks;
  if (S.Child) {
    E.Child = std::make_unique<TIETIFFEntryList>();
    for (const TIETIFFEntry& C : *S.Child) E.Child->push_back(CloneEntry(C));
  }
  return E;
}

// Position of the first start-of-scan marker in a JPEG block, -1 when none.
int64_t FindStartOfScan(const std::vector<uint8_t>& B) {
  for (size_t i = 0; i + 1 < B.size(); ++i)
    if (B[i] == 0xFF && B[i + 1] == 0xDA) return static_cast<int64_t>(i);
  return -1;
}

}  // namespace

int64_t TIETIFFEntry::DataSize() const { return int64_t(Count) * IETIFFTypeSize(Type); }

const uint8_t* TIETIFFEntry::DataPtr() const { return DataSize() <= 4 ? Value : Data.data(); }

struct TIETIFFHandler::TReadState {
  int64_t StreamSize = 0;
  int64_t Budget = 0;  // bytes a damaged file may still make us allocate
  std::set<int64_t> Visited;
  int32_t Depth = 0;
};

TIETIFFHandler::TIETIFFHandler() = default;

TIETIFFHandler::TIETIFFHandler(const std::string& FileName) {
  if (!IEFileExists(FileName)) return;
  TIEWideFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  ReadStream(&F);
}

TIETIFFHandler::TIETIFFHandler(TStream* Stream) { ReadStream(Stream); }

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromStream(TStream* Stream) {
  return std::make_unique<TIETIFFHandler>(Stream);
}

TIETIFFHandler::~TIETIFFHandler() = default;

void TIETIFFHandler::Clear() {
  FPages.clear();
  FBigEndian = false;
  FMagic = IETIFF_MAGIC;
}

void TIETIFFHandler::DeletePage(int32_t Page) {
  if (Page >= 0 && Page < GetPagesCount()) FPages.erase(FPages.begin() + Page);
}

TIETIFFEntryList* TIETIFFHandler::GetPage(int32_t Page) const {
  return Page >= 0 && Page < GetPagesCount() ? FPages[Page].get() : nullptr;
}

bool TIETIFFHandler::ReadStream(TStream* Stream) {
  Clear();
  if (!Stream) return false;
  uint8_t H[8];
  if (Stream->Read(H, 8) != 8) return false;
  if (!((H[0] == 'I' && H[1] == 'I') || (H[0] == 'M' && H[1] == 'M'))) return false;
  FBigEndian = H[0] == 'M';
  FMagic = IEGetWord(H + 2, FBigEndian);
  TReadState State;
  State.StreamSize = Stream->GetSize();
  State.Budget = 4 * State.StreamSize + (1 << 20);
  int64_t Offset = IEGetDWord(H + 4, FBigEndian);
  // Each directory is read once: a chain that comes back stops there.
  while (Offset != 0 && Offset < State.StreamSize && State.Visited.insert(Offset).second &&
         State.Budget > kEntryCost) {
    auto Page = std::make_unique<TIETIFFEntryList>();
    int64_t Next = 0;
    if (!ReadIfd(Stream, State, Offset, *Page, Next)) break;
    FPages.push_back(std::move(Page));
    State.Budget -= kEntryCost;
    Offset = Next;
  }
  return true;
}

bool TIETIFFHandler::ReadIfd(TStream* Stream, TReadState& State, int64_t Offset, TIETIFFEntryList& List,
                             int64_t& Next) {
  Next = 0;
  uint8_t CountBytes[2];
  if (!ReadAt(Stream, Offset, CountBytes, 2)) return false;
  const int64_t Declared = IEGetWord(CountBytes, FBigEndian);
  // A directory cut short by the end of the stream keeps the entries it has.
  const int64_t Count = std::min<int64_t>(Declared, (State.StreamSize - Offset - 2) / 12);
  std::vector<uint8_t> Raw(static_cast<size_t>(Count) * 12);
  if (!ReadAt(Stream, Offset + 2, Raw.data(), int64_t(Raw.size()))) return false;
  for (int64_t i = 0; i < Count && State.Budget > kEntryCost; ++i) {
    const uint8_t* R = Raw.data() + 12 * i;
    TIETIFFEntry E;
    E.Tag = IEGetWord(R, FBigEndian);
    E.Type = IEGetWord(R + 2, FBigEndian);
    E.Count = IEGetDWord(R + 4, FBigEndian);
    std::memcpy(E.Value, R + 8, 4);
    if (IETIFFTypeSize(E.Type) == 0) continue;  // unknown type: its size cannot be known
    State.Budget -= kEntryCost;
    const int64_t Size = E.DataSize();
    if (Size > 4) {
      const int64_t At = IEGetDWord(E.Value, FBigEndian);
      if (At + Size > State.StreamSize || Size > State.Budget) continue;
      E.Data.resize(static_cast<size_t>(Size));
      if (!ReadAt(Stream, At, E.Data.data(), Size)) continue;
      State.Budget -= Size;
    }
    if (IsSubDirectoryTag(E.Tag)) {
      if (E.Type != IETIFFTYPE_LONG && E.Type != IETIFFTYPE_IFD && E.Type != IETIFFTYPE_SHORT) continue;
      const int64_t At = static_cast<uint32_t>(GetEntryValue(E, 0));
      if (E.Count == 0 || At == 0 || At >= State.StreamSize || State.Depth >= kMaxSubDirectoryDepth ||
          !State.Visited.insert(At).second)
        continue;
      auto Child = std::make_unique<TIETIFFEntryList>();
      int64_t ChildNext;  // a sub-directory's own chain is not followed
      ++State.Depth;
      const bool Ok = ReadIfd(Stream, State, At, *Child, ChildNext);
      --State.Depth;
      if (!Ok) continue;
      E.Child = std::move(Child);
    }
    List.push_back(std::move(E));
  }
  if (Count == Declared) {
    uint8_t NextBytes[4];
    if (ReadAt(Stream, Offset + 2 + 12 * Count, NextBytes, 4)) Next = IEGetDWord(NextBytes, FBigEndian);
  }
  ReadImageData(Stream, State, List);
  // Old-style JPEG: the interchange block replaces the strips and the tables.
  const int32_t Compression = FindEntry(&List, 259);
  if (Compression >= 0 && GetEntryValue(List[Compression], 0) == 6 && FindEntry(&List, 273) >= 0 &&
      FindEntry(&List, 513) >= 0) {
    for (uint16_t Tag : {273, 519, 520, 521})
      for (int32_t I; (I = FindEntry(&List, Tag)) >= 0;) DeleteEntry(&List, I, true);
  }
  SortEntries(List);
  return true;
}

void TIETIFFHandler::ReadImageData(TStream* Stream, TReadState& State, TIETIFFEntryList& List) {
  for (TIETIFFEntry& E : List) {
    const uint16_t PartnerTag = ImageDataPartner(E.Tag, FMagic);
    if (PartnerTag == 0) continue;
    const int32_t PartnerIndex = FindEntry(&List, PartnerTag);
    TIETIFFEntry* Partner = PartnerIndex >= 0 ? &List[PartnerIndex] : nullptr;
    std::vector<std::vector<uint8_t>> Blocks;
    for (uint32_t k = 0; k < E.Count && State.Budget > kEntryCost; ++k) {
      const int64_t At = static_cast<uint32_t>(GetEntryValue(E, int32_t(k)));
      const int64_t Declared = Partner ? static_cast<uint32_t>(GetEntryValue(*Partner, int32_t(k))) : 0;
      // A block that runs past the end of the stream keeps what is there, and
      // its byte count says so, so that a rewritten file stays consistent.
      int64_t Len = At < State.StreamSize ? std::min(Declared, State.StreamSize - At) : 0;
      if (Len > State.Budget) Len = 0;
      std::vector<uint8_t> B(static_cast<size_t>(Len));
      if (Len > 0 && !ReadAt(Stream, At, B.data(), Len)) B.clear();
      State.Budget -= int64_t(B.size()) + kEntryCost;
      if (Partner && int64_t(B.size()) != Declared && k < Partner->Count) {
        const int64_t Unit = IETIFFTypeSize(Partner->Type);
        uint8_t* P = (Partner->DataSize() <= 4 ? Partner->Value : Partner->Data.data()) + k * Unit;
        if (Unit == 2)
          IEPutWord(P, static_cast<uint32_t>(B.size()), FBigEndian);
        else if (Unit == 4)
          IEPutDWord(P, static_cast<uint32_t>(B.size()), FBigEndian);
      }
      Blocks.push_back(std::move(B));
    }
    E.Count = static_cast<uint32_t>(Blocks.size());
    E.Blocks = std::move(Blocks);
    E.Data.clear();
    E.Data.shrink_to_fit();
    E.Type = IETIFFTYPE_LONG;
  }
}

int32_t TIETIFFHandler::FindTag(int32_t Page, uint16_t Tag) const { return FindEntry(GetPage(Page), Tag); }

int32_t TIETIFFHandler::FindEntry(const TIETIFFEntryList* List, uint16_t Tag) {
  if (!List) return -1;
  for (size_t i = 0; i < List->size(); ++i)
    if ((*List)[i].Tag == Tag) return static_cast<int32_t>(i);
  return -1;
}

int32_t TIETIFFHandler::GetEntryValue(const TIETIFFEntry& E, int32_t K) const {
  const int32_t Unit = IETIFFTypeSize(E.Type);
  if (K < 0 || uint32_t(K) >= E.Count || Unit == 0) return 0;
  const int64_t Size = E.DataSize();
  const int64_t Have = Size <= 4 ? 4 : int64_t(E.Data.size());
  if (int64_t(K + 1) * Unit > Have) return 0;
  const uint8_t* P = E.DataPtr() + int64_t(K) * Unit;
  switch (E.Type) {
    case IETIFFTYPE_BYTE:
    case IETIFFTYPE_ASCII:
    case IETIFFTYPE_UNDEFINED: return P[0];
    case IETIFFTYPE_SBYTE: return static_cast<int8_t>(P[0]);
    case IETIFFTYPE_SHORT: return IEGetWord(P, FBigEndian);
    case IETIFFTYPE_SSHORT: return static_cast<int16_t>(IEGetWord(P, FBigEndian));
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
    case IETIFFTYPE_IFD: return static_cast<int32_t>(IEGetDWord(P, FBigEndian));
    default: return 0;
  }
}

int32_t TIETIFFHandler::GetTagValue(const TIETIFFEntryList* List, uint16_t Tag, int32_t K) const {
  const int32_t I = FindEntry(List, Tag);
  return I < 0 ? 0 : GetEntryValue((*List)[I], K);
}

void TIETIFFHandler::DeleteTag(int32_t Page, int32_t Index) { DeleteEntry(GetPage(Page), Index, true); }

void TIETIFFHandler::DeleteEntry(TIETIFFEntryList* List, int32_t Index, bool FreeImageData) {
  if (!List || Index < 0 || Index >= static_cast<int32_t>(List->size())) return;
  List->erase(List->begin() + Index);
}

void TIETIFFHandler::PutValue(TIETIFFEntry& E, double Number, const std::string& Text, bool IsText) {
  if (E.Type == IETIFFTYPE_ASCII) {
    const std::string S = IsText ? Text : FloatToStr(Number);
    E.Count = static_cast<uint32_t>(S.size() + 1);
    std::vector<uint8_t> Bytes(S.begin(), S.end());
    Bytes.push_back(0);
    if (Bytes.size() <= 4)
      std::memcpy(E.Value, Bytes.data(), Bytes.size());
    else
      E.Data = std::move(Bytes);
    return;
  }
  const long double V = IsText ? StrToFloatDef(Text, 0) : Number;
  auto Clamp = [](long double X, long double Lo, long double Hi) { return X < Lo ? Lo : X > Hi ? Hi : X; };
  const int64_t I = static_cast<int64_t>(Clamp(V, -4294967296.0L, 4294967296.0L));  // truncates
  E.Count = 1;
  uint8_t B[8] = {};
  switch (E.Type) {
    case IETIFFTYPE_BYTE:
    case IETIFFTYPE_SBYTE:
    case IETIFFTYPE_UNDEFINED: B[0] = static_cast<uint8_t>(I); break;
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_SSHORT: IEPutWord(B, static_cast<uint32_t>(I), FBigEndian); break;
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
    case IETIFFTYPE_IFD: IEPutDWord(B, static_cast<uint32_t>(I), FBigEndian); break;
    case IETIFFTYPE_RATIONAL:
      IEPutDWord(B, static_cast<uint32_t>(Clamp(V * 10000, 0, UINT32_MAX)), FBigEndian);
      IEPutDWord(B + 4, 10000, FBigEndian);
      break;
    case IETIFFTYPE_SRATIONAL:
      IEPutDWord(B, static_cast<uint32_t>(static_cast<int32_t>(Clamp(V * 10000, INT32_MIN, INT32_MAX))), FBigEndian);
      IEPutDWord(B + 4, 10000, FBigEndian);
      break;
    case IETIFFTYPE_FLOAT: {
      const float F = static_cast<float>(V);
      uint32_t Bits;
      std::memcpy(&Bits, &F, 4);
      IEPutDWord(B, Bits, FBigEndian);
      break;
    }
    case IETIFFTYPE_DOUBLE: {
      const double D = static_cast<double>(V);
      uint64_t Bits;
      std::memcpy(&Bits, &D, 8);
      IEPutDWord(B, static_cast<uint32_t>(FBigEndian ? Bits >> 32 : Bits), FBigEndian);
      IEPutDWord(B + 4, static_cast<uint32_t>(FBigEndian ? Bits : Bits >> 32), FBigEndian);
      break;
    }
    default: break;
  }
  if (E.DataSize() <= 4)
    std::memcpy(E.Value, B, 4);
  else
    E.Data.assign(B, B + E.DataSize());
}

void TIETIFFHandler::SetTagValue(TIETIFFEntryList* List, uint16_t Tag, double Value, uint16_t Type) {
  if (!List || IETIFFTypeSize(Type) == 0) return;
  for (int32_t I; (I = FindEntry(List, Tag)) >= 0;) DeleteEntry(List, I, true);
  TIETIFFEntry E;
  E.Tag = Tag;
  E.Type = Type;
  PutValue(E, Value, std::string(), false);
  List->push_back(std::move(E));
}

void TIETIFFHandler::SetTagValue(TIETIFFEntryList* List, uint16_t Tag, const std::string& Value, uint16_t Type) {
  if (!List || IETIFFTypeSize(Type) == 0) return;
  for (int32_t I; (I = FindEntry(List, Tag)) >= 0;) DeleteEntry(List, I, true);
  TIETIFFEntry E;
  E.Tag = Tag;
  E.Type = Type;
  PutValue(E, 0, Value, true);
  List->push_back(std::move(E));
}

void TIETIFFHandler::CopyTag(int32_t SourcePage, int32_t SourceIndex, int32_t TargetPage,
                             const TIETIFFHandler* Source) {
  if (!Source || Source->FBigEndian != FBigEndian) return;
  const TIETIFFEntryList* From = Source->GetPage(SourcePage);
  TIETIFFEntryList* To = GetPage(TargetPage);
  if (!From || !To || SourceIndex < 0 || SourceIndex >= static_cast<int32_t>(From->size())) return;
  TIETIFFEntry E = CloneEntry((*From)[SourceIndex]);
  for (int32_t I; (I = FindEntry(To, E.Tag)) >= 0;) DeleteEntry(To, I, true);
  To->push_back(std::move(E));
}

void TIETIFFHandler::WriteStream(TStream* Stream, int32_t Page) {
  const int64_t Start = Stream->GetPosition();
  uint8_t H[8];
  H[0] = H[1] = FBigEndian ? 'M' : 'I';
  IEPutWord(H + 2, FMagic, FBigEndian);
  IEPutDWord(H + 4, FileOffset(Start + 8), FBigEndian);
  const bool All = Page < 0 || Page >= GetPagesCount();
  if (GetPagesCount() == 0) IEPutDWord(H + 4, 0, FBigEndian);
  Stream->WriteBuffer(H, 8);
  int64_t PrevNext = -1;
  for (int32_t i = 0; i < GetPagesCount(); ++i) {
    if (!All && i != Page) continue;
    SortEntries(*FPages[i]);
    if (PrevNext >= 0) {
      WriteEvenPad(Stream);  // directories start on a word boundary
      const int64_t At = Stream->GetPosition();
      uint8_t B[4];
      IEPutDWord(B, FileOffset(At), FBigEndian);
      Stream->Seek(PrevNext, soBeginning);
      Stream->WriteBuffer(B, 4);
      Stream->Seek(At, soBeginning);
    }
    PrevNext = WriteIfd(Stream, *FPages[i]);
  }
}

void TIETIFFHandler::WriteFile(const std::string& FileName, int32_t Page) {
  TIEWideFileStream F(FileName, fmCreate);
  WriteStream(&F, Page);
}

int64_t TIETIFFHandler::WriteIfd(TStream* Stream, TIETIFFEntryList& List) {
  const int64_t Start = Stream->GetPosition();
  // Old-style JPEG pages get a StripOffsets entry pointing at the start of scan
  // inside the interchange block; without such a marker none is made.
  int64_t ScanAt = -1;
  const int32_t JpegIndex = FindEntry(&List, 513);
  if (JpegIndex >= 0 && FindEntry(&List, 273) < 0 && IsImageDataEntry(List[JpegIndex], FMagic) &&
      List[JpegIndex].Count == 1)
    ScanAt = FindStartOfScan(List[JpegIndex].Blocks[0]);
  const size_t Count = List.size() + (ScanAt >= 0 ? 1 : 0);
  if (Count > 0xFFFF) throw EWriteError("Too many TIFF directory entries");
  std::vector<uint8_t> Dir(2 + 12 * Count + 4, 0);  // next-directory field 0
  IEPutWord(Dir.data(), static_cast<uint32_t>(Count), FBigEndian);
  Stream->WriteBuffer(Dir.data(), int64_t(Dir.size()));

  struct TSlot {
    uint16_t Tag;
    uint8_t Bytes[12];
  };
  std::vector<TSlot> Slots;
  auto AddSlot = [&](uint16_t Tag, uint16_t Type, uint32_t Cnt, const uint8_t* Value) {
    TSlot S;
    S.Tag = Tag;
    IEPutWord(S.Bytes, Tag, FBigEndian);
    IEPutWord(S.Bytes + 2, Type, FBigEndian);
    IEPutDWord(S.Bytes + 4, Cnt, FBigEndian);
    std::memcpy(S.Bytes + 8, Value, 4);
    Slots.push_back(S);
  };
  auto WriteData = [&](const uint8_t* P, int64_t Size, uint8_t* Value) {
    WriteEvenPad(Stream);
    IEPutDWord(Value, FileOffset(Stream->GetPosition()), FBigEndian);
    Stream->WriteBuffer(P, Size);
  };

  for (TIETIFFEntry& E : List) {
    uint8_t Value[4];
    std::memcpy(Value, E.Value, 4);
    if (IsImageDataEntry(E, FMagic)) {
      std::vector<uint8_t> Offsets(size_t(E.Count) * 4);
      for (uint32_t k = 0; k < E.Count; ++k) {
        IEPutDWord(Offsets.data() + 4 * k, FileOffset(Stream->GetPosition()), FBigEndian);
        if (!E.Blocks[k].empty()) Stream->WriteBuffer(E.Blocks[k].data(), int64_t(E.Blocks[k].size()));
      }
      if (E.Count == 1)
        std::memcpy(Value, Offsets.data(), 4);
      else if (E.Count > 1)
        WriteData(Offsets.data(), int64_t(Offsets.size()), Value);
      if (E.Tag == 513 && ScanAt >= 0) {
        uint8_t StripValue[4];
        IEPutDWord(StripValue, FileOffset(int64_t(IEGetDWord(Offsets.data(), FBigEndian)) + ScanAt), FBigEndian);
        AddSlot(273, IETIFFTYPE_LONG, 1, StripValue);
      }
    } else if (E.Child) {
      WriteEvenPad(Stream);
      IEPutDWord(Value, FileOffset(Stream->GetPosition()), FBigEndian);
      SortEntries(*E.Child);
      WriteIfd(Stream, *E.Child);
      // One 32-bit offset, whatever the file used to point at the directory.
      AddSlot(E.Tag, E.Type == IETIFFTYPE_IFD ? IETIFFTYPE_IFD : IETIFFTYPE_LONG, 1, Value);
      continue;
    } else if (E.DataSize() > 4) {
      E.Data.resize(static_cast<size_t>(E.DataSize()));
      WriteData(E.Data.data(), int64_t(E.Data.size()), Value);
    }
    AddSlot(E.Tag, E.Type, E.Count, Value);
  }
  const int64_t End = Stream->GetPosition();
  std::stable_sort(Slots.begin(), Slots.end(), [](const TSlot& A, const TSlot& B) { return A.Tag < B.Tag; });
  for (size_t i = 0; i < Slots.size(); ++i) std::memcpy(Dir.data() + 2 + 12 * i, Slots[i].Bytes, 12);
  Stream->Seek(Start, soBeginning);
  Stream->WriteBuffer(Dir.data(), int64_t(Dir.size()));
  Stream->Seek(End, soBeginning);
  return Start + 2 + 12 * int64_t(Count);
}
