#pragma once
// Two small metadata holders of an image's parameters: the XMP packet (moved in
// and out of a JPEG APP1 segment; the parameters keep it as one 8-bit text,
// `XmpPacket`) and the list of DICOM data elements the DICOM reader collects.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/object.h"

// The XMP namespace signature that opens an XMP APP1 payload (28 characters;
// a zero byte follows it in the payload).
extern const char IEXMPSignature[29];

// The start of the XMP packet inside an APP1 payload: null when Length < 30,
// when the block does not begin with the first 24 characters of the signature
// or when no zero byte ends the signature within the block; otherwise the byte
// after the first zero byte (the end of the block for an empty packet).
const uint8_t* IEFindXMPPacket(const void* Block, int64_t Length);

// When the block holds an XMP packet, XmpPacket becomes the bytes from the
// packet's start to the end of the block and the answer is True; otherwise
// XmpPacket is left as it was and the answer is False.  Callers pass the
// parameters' `XmpPacket`.
bool IEReadXMPSegment(const void* Block, int64_t Length, std::string& XmpPacket);

// A new APP1 payload: the signature, its zero byte and the packet's bytes
// (Length = packet length + 29).
void IEBuildXMPSegment(const std::string& XmpPacket, std::unique_ptr<uint8_t[]>& Block, int32_t& Length);

// One DICOM data element.
struct TIEDICOMTagRec {
  uint16_t Group = 0;
  uint16_t Element = 0;
  char VR[2] = {0, 0};  // value representation, zero bytes when not given
  std::unique_ptr<uint8_t[]> Data;  // owned; null when none
  int32_t Length = 0;               // bytes of Data, 0 when none
};

// The data elements of a DICOM file in reading order.  Index errors raise
// EListError "List index out of bounds (%d)".
class TIEDICOMTags : public TObject {
 public:
  TIEDICOMTags();
  ~TIEDICOMTags() override;
  TIEDICOMTags(const TIEDICOMTags&) = delete;
  TIEDICOMTags& operator=(const TIEDICOMTags&) = delete;

  int32_t GetCount() const { return static_cast<int32_t>(FList.size()); }
  const TIEDICOMTagRec* GetTag(int32_t Index) const;

  // Frees every element.
  void Clear();
  // Appends an element; VR is stored only when it has exactly two characters.
  // With Length < 0 the element gets no data (the block is freed); otherwise it
  // takes Data over as its own.  Readers allocate Length + 1 bytes with a zero
  // at the end so that text values can be read as zero-terminated text.
  // Answers the element's index.
  int32_t AddTag(uint16_t Group, uint16_t Element, const std::string& VR,
                 std::unique_ptr<uint8_t[]> Data, int32_t Length);
  // Clears, then copies every element of Source; each copied value gets
  // Length + 1 bytes, the last one zero.
  void Assign(const TIEDICOMTags* Source);

 private:
  std::vector<std::unique_ptr<TIEDICOMTagRec>> FList;
};
