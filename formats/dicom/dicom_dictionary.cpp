#include "formats/dicom/dicom_dictionary.h"

#include <algorithm>
#include <iterator>

namespace {

struct TEntry {
  uint16_t Group;
  uint16_t Element;
  char VR[3];
};

// A tag matches when (Group & GroupMask) == this Group and likewise for the
// element.
struct TRangedEntry {
  uint16_t Group;
  uint16_t GroupMask;
  uint16_t Element;
  uint16_t ElementMask;
  char VR[3];
};

#include "formats/dicom/dicom_dictionary.inc"

constexpr uint32_t Key(const TEntry& E) { return uint32_t(E.Group) << 16 | E.Element; }

constexpr bool Sorted() {
  for (size_t i = 1; i < std::size(kDictionary); ++i)
    if (Key(kDictionary[i - 1]) >= Key(kDictionary[i])) return false;
  return true;
}
static_assert(Sorted(), "the dictionary must stay sorted for its binary search");

constexpr bool RangedMasksHold() {
  for (const auto& r : kRangedDictionary)
    if ((r.Group & r.GroupMask) != r.Group || (r.Element & r.ElementMask) != r.Element) return false;
  return true;
}
static_assert(RangedMasksHold(), "a ranged entry's tag must lie inside its masks");

}  // namespace

const char* DicomLookupVR(uint16_t Group, uint16_t Element) {
  // Odd groups are private: only the file can tell what they hold.
  if (Group & 1) return "xs";
  const uint32_t key = uint32_t(Group) << 16 | Element;
  const auto* e = std::lower_bound(std::begin(kDictionary), std::end(kDictionary), key,
                                   [](const TEntry& E, uint32_t K) { return Key(E) < K; });
  if (e != std::end(kDictionary) && Key(*e) == key) return e->VR;
  // Group lengths, retired for most groups but still written by old software.
  if (Element == 0x0000 && Group != 0xFFFE) return "UL";
  for (const auto& r : kRangedDictionary)
    if ((Group & r.GroupMask) == r.Group && (Element & r.ElementMask) == r.Element) return r.VR;
  return "xs";
}

int32_t DicomDictionarySize() { return int32_t(std::size(kDictionary) + std::size(kRangedDictionary)); }
