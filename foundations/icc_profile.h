#pragma once
// TIEICC: one ICC colour profile as stored in a file (TIFF, JPEG, PSD), with an
// open profile of the colour-management engine and one cached transform
// towards a second profile.
//
// The raw bytes are always kept, copied and written back as they were read,
// even when the engine cannot open them; only the transforms need an open
// profile.  Nothing here raises: an unreadable profile or a transform the
// engine refuses leaves the handles empty and the conversions answer false, so
// that callers fall back on their plain formulas.
#include <cstdint>
#include <memory>
#include <string>

#include "foundations/pixel_types.h"
#include "platform/rtl/object.h"

class TStream;
class TIEBitmap;

// Pixel layouts of TransformPixels; bit 7 of a layout code is ignored.
enum : uint8_t {
  ieiccRGB = 0,       // 3 bytes R, G, B
  ieiccBGR = 1,       // 3 bytes B, G, R
  ieiccCMYKInv = 2,   // 4 bytes C, M, Y, K stored inverted (255 = no ink)
  ieiccCMYK = 3,      // 4 bytes C, M, Y, K
  ieiccCIELab = 4,    // 3 bytes L (0..255 for 0..100), a, b (signed)
  ieiccGray = 5,      // 1 byte gray
  ieiccRGB48 = 6,     // 3 little-endian words R, G, B
  ieiccRGB48BE = 7,   // 3 big-endian words R, G, B
  ieicc3Channel = 8,  // 3 bytes of a generic 3-channel space
};
inline constexpr uint8_t IEICCLayoutCount = 9;

class TIEICC : public TObject {
 public:
  TIEICC();
  ~TIEICC() override;
  TIEICC(const TIEICC&) = delete;
  TIEICC& operator=(const TIEICC&) = delete;

  // Clear, then keeps a copy of Length bytes of Data and opens them; reads the
  // copyright and description texts.  A profile the engine cannot read keeps
  // its bytes but stays closed.  A negative Length counts as 0.
  void LoadFromBuffer(const void* Data, int32_t Length);
  // Clear, then a copy of Source's bytes opened as above; a Source holding the
  // built-in sRGB profile gives the built-in sRGB profile again.  Nothing but
  // Clear for a null Source.
  void Assign(const TIEICC* Source);
  // Clear, then opens the engine's built-in sRGB profile; no raw bytes.
  void LoadSRGB();
  // Deletes the transform, closes the profile, frees the bytes; Applied false,
  // texts empty.
  void Clear();

  bool IsValid() const { return FProfileHandle != nullptr; }
  bool HasTransform() const { return FTransformHandle != nullptr; }

  // Writes RawLength as a 4-byte little-endian integer unless RawOnly, then the
  // raw bytes.
  void SaveToStream(TStream* Stream, bool RawOnly) const;

  // Deletes the cached transform; when there was one, Applied becomes true.
  void FreeTransform();

  // Converts Count pixels of Input (InputLayout) into Output (OutputLayout)
  // through this profile and then Dest.  The transform is made once and reused
  // while the four parameters stay the same; Intent and Flags only take part
  // in that comparison (the transform is always perceptual).  Answers true
  // when the output row was written; false, writing nothing, when there is no
  // transform (a closed profile on either side, or colour spaces that do not
  // fit the layouts) or a layout is unknown.  Input is never modified.
  bool TransformPixels(TIEICC* Dest, uint8_t InputLayout, uint8_t OutputLayout, int32_t Intent,
                       int32_t Flags, const void* Input, void* Output, int32_t Count);

  // Converts Image in place into TargetPixelFormat through this profile and
  // then Dest.  Formats with a layout: ie8g, ie24RGB, ieCMYK, ieRGB48 and
  // ieCIELab; any other source or target answers false.  On any failure the
  // image is left unchanged and false is answered.  The alpha plane stays.
  bool ConvertBitmap(TIEBitmap* Image, TIEPixelFormat TargetPixelFormat, TIEICC* Dest);

  // ---- state ----
  const uint8_t* GetRawData() const { return FRawData.get(); }
  int32_t GetRawLength() const { return FRawLength; }
  // Set when a transform of this profile was deleted after use: the profile
  // has been applied to pixels.  The codecs read it to avoid applying a profile
  // twice.
  bool GetApplied() const { return FApplied; }
  void SetApplied(bool Value) { FApplied = Value; }
  const std::string& GetCprtText() const { return FCprtText; }
  const std::string& GetDescText() const { return FDescText; }
  // The profile's device class and colour space as their four-character
  // signatures ("mntr", "prtr", "scnr" ...; "RGB ", "GRAY", "CMYK", "Lab "
  // ...); empty when no profile is open.
  std::string GetProfileClass() const;
  std::string GetColorSpace() const;
  // The engine's handles (null when none).
  void* GetProfileHandle() const { return FProfileHandle; }
  void* GetTransformHandle() const { return FTransformHandle; }
  // The parameters the cached transform was made for.
  int32_t GetInputLayout() const { return FInputLayout; }
  int32_t GetOutputLayout() const { return FOutputLayout; }
  int32_t GetIntent() const { return FIntent; }
  int32_t GetFlags() const { return FFlags; }

 private:
  void OpenRaw();
  void ReadTagTexts();

  std::unique_ptr<uint8_t[]> FRawData;
  int32_t FRawLength = 0;
  void* FProfileHandle = nullptr;
  void* FTransformHandle = nullptr;
  int32_t FInputLayout = 0;
  int32_t FOutputLayout = 0;
  int32_t FIntent = 0;
  int32_t FFlags = 0;
  bool FApplied = false;
  // The open profile is the built-in sRGB one (it has no raw bytes to copy).
  bool FBuiltInSRGB = false;
  std::string FCprtText;
  std::string FDescText;
};
