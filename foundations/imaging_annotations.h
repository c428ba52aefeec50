#pragma once
// Imaging annotations of a TIFF page (private tag 32932): lines, rectangles,
// text notes, stamps and embedded images, kept per page as a list of
// TIEImagingObject, read from the tag's bytes and written back.
//
// The tag data is a header (Integer 0, Integer Format) followed by records
// (Integer type, Integer size): type 5 opens a new annotation with its 164-byte
// attribute record, types 2 and 6 carry named data blocks ("OiAnoDat",
// "OiFilNam", "OiDIB", "OiGroup", "OiIndex", "OiAnText") for the defaults and
// for the current annotation.  All numbers are 32-bit little-endian.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"

class TIEBitmap;
class TIOParamsVals;

inline constexpr int32_t IEAnnotAttributesSize = 164;

// Annotation types this system gives a data block of its own.
enum : int32_t {
  ieaImageEmbedded = 1,
  ieaStraightLine = 3,
  ieaFreehandLine = 4,
  ieaHollowRect = 5,
  ieaFilledRect = 6,
  ieaTypedText = 7,
  ieaTextFromFile = 8,
  ieaTextStamp = 9,
  ieaAttachANote = 10,
};

// One annotation.  The attribute record is kept byte for byte; the accessors
// read and write the fields this system uses.
class TIEImagingObject : public TObject {
 public:
  TIEImagingObject();
  ~TIEImagingObject() override;
  TIEImagingObject(const TIEImagingObject&) = delete;
  TIEImagingObject& operator=(const TIEImagingObject&) = delete;

  // A deep copy: attribute bytes, points, text and image.
  void Assign(const TIEImagingObject* Source);

  // The attribute record: 0 type; 4, 8, 12, 16 bounds left, top, right,
  // bottom; 20 colour 1 and 24 colour 2 (blue, green, red, 0); 28
  // highlighting; 36 line width; 48 a 60-byte LOGFONT.  Other bytes are
  // carried unchanged.
  uint8_t Attributes[IEAnnotAttributesSize] = {};
  // Line points (types 3 and 4), relative to the bounds' left-top corner.
  std::vector<TPoint> Points;
  // Text of the text annotations (types 7 to 10).
  std::string Text;
  // The embedded image (type 1); null when none.
  std::unique_ptr<TIEBitmap> Image;

  int32_t GetPointCount() const { return static_cast<int32_t>(Points.size()); }

  int32_t GetAttrInt(int32_t Offset) const;
  void SetAttrInt(int32_t Offset, int32_t Value);

  int32_t GetAnnotType() const { return GetAttrInt(0); }
  void SetAnnotType(int32_t Value) { SetAttrInt(0, Value); }
  TRect GetBounds() const;
  void SetBounds(const TRect& Value);
  // The colours as TColor ($00BBGGRR).
  TColor GetColor1() const;
  void SetColor1(TColor Value);
  TColor GetColor2() const;
  void SetColor2(TColor Value);
  bool GetHighlighting() const { return GetAttrInt(28) != 0; }
  void SetHighlighting(bool Value) { SetAttrInt(28, Value ? 1 : 0); }
  int32_t GetLineWidth() const { return GetAttrInt(36); }
  void SetLineWidth(int32_t Value) { SetAttrInt(36, Value); }
  LOGFONT GetLogFont() const;
  void SetLogFont(const LOGFONT& Value);
};

class TIEImagingAnnot : public TObject {
 public:
  // Owner: the parameter set that holds the annotations, or null.
  explicit TIEImagingAnnot(TIOParamsVals* Owner = nullptr);
  ~TIEImagingAnnot() override;
  TIEImagingAnnot(const TIEImagingAnnot&) = delete;
  TIEImagingAnnot& operator=(const TIEImagingAnnot&) = delete;

  // Frees every object.
  void Clear();
  // Clear, then a deep copy of every object of Source (nothing more for null).
  void Assign(const TIEImagingAnnot* Source);

  int32_t GetCount() const { return static_cast<int32_t>(FObjects.size()); }
  // Null outside the list.
  TIEImagingObject* GetObject(int32_t Index) const;
  // Appends a new empty object (all attribute bytes 0) and answers it.
  TIEImagingObject* AddObject();
  // Frees object Index (ignored outside the list).
  void DeleteObject(int32_t Index);

  // Appends the annotations held in Length bytes of tag data.  Records of
  // unknown types are skipped by their size; reading stops at the first
  // record or block that does not fit the data, keeping what was read before.
  // Length 0 does nothing.  Clears Modified.
  void LoadFromTagData(const void* Data, int32_t Length);
  // Encodes the annotations: Data empty and Length 0 when there are none.
  void SaveToTagData(std::unique_ptr<uint8_t[]>& Data, int32_t& Length) const;

  TIOParamsVals* GetOwner() const { return FOwner; }
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

 private:
  TIOParamsVals* FOwner = nullptr;
  std::vector<std::unique_ptr<TIEImagingObject>> FObjects;
  bool FModified = false;
};
