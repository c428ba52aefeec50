#include "foundations/xmp_dicom_tags.h"

#include <cstring>

#include "platform/rtl/sysutils.h"

const char IEXMPSignature[29] = "http://ns.adobe.com/xap/1.0/";

const uint8_t* IEFindXMPPacket(const void* Block, int64_t Length) {
  if (!Block || Length < 30) return nullptr;
  const auto* B = static_cast<const uint8_t*>(Block);
  if (std::memcmp(B, IEXMPSignature, 24) != 0) return nullptr;
  const void* Zero = std::memchr(B, 0, static_cast<size_t>(Length));
  if (!Zero) return nullptr;
  return static_cast<const uint8_t*>(Zero) + 1;
}

bool IEReadXMPSegment(const void* Block, int64_t Length, std::string& XmpPacket) {
  const uint8_t* P = IEFindXMPPacket(Block, Length);
  if (!P) return false;
  const auto* B = static_cast<const uint8_t*>(Block);
  XmpPacket.assign(reinterpret_cast<const char*>(P), static_cast<size_t>(Length - (P - B)));
  return true;
}

void IEBuildXMPSegment(const std::string& XmpPacket, std::unique_ptr<uint8_t[]>& Block, int32_t& Length) {
  Length = static_cast<int32_t>(XmpPacket.size()) + 29;
  Block.reset(new uint8_t[Length]);
  std::memcpy(Block.get(), IEXMPSignature, 29);  // with its zero
  if (!XmpPacket.empty()) std::memcpy(Block.get() + 29, XmpPacket.data(), XmpPacket.size());
}

TIEDICOMTags::TIEDICOMTags() = default;

TIEDICOMTags::~TIEDICOMTags() { Clear(); }

const TIEDICOMTagRec* TIEDICOMTags::GetTag(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FList[Index].get();
}

void TIEDICOMTags::Clear() { FList.clear(); }

int32_t TIEDICOMTags::AddTag(uint16_t Group, uint16_t Element, const std::string& VR,
                             std::unique_ptr<uint8_t[]> Data, int32_t Length) {
  auto R = std::make_unique<TIEDICOMTagRec>();
  R->Group = Group;
  R->Element = Element;
  if (VR.size() == 2) std::memcpy(R->VR, VR.data(), 2);
  if (Length >= 0) {
    R->Data = std::move(Data);
    R->Length = R->Data ? Length : 0;
  }
  FList.push_back(std::move(R));
  return GetCount() - 1;
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (const auto& S : Source->FList) {
    auto R = std::make_unique<TIEDICOMTagRec>();
    R->Group = S->Group;
    R->Element = S->Element;
    std::memcpy(R->VR, S->VR, 2);
    if (S->Length > 0 && S->Data) {
      // The source block may hold exactly Length bytes: copy those and add the
      // terminating zero here rather than reading one byte past it.
      R->Data.reset(new uint8_t[static_cast<size_t>(S->Length) + 1]);
      std::memcpy(R->Data.get(), S->Data.get(), S->Length);
      R->Data[S->Length] = 0;
      R->Length = S->Length;
    }
    FList.push_back(std::move(R));
  }
}
