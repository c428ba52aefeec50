#include "foundations/icc_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "platform/rtl/streams.h"

namespace {

// Pixels converted per engine call: the work rows stay small however long the
// caller's row is.
constexpr int32_t kChunkPixels = 1024;

// What one layout code stands for on the engine's side: the pixel type of
// the 16-bit work row.
struct TLayoutInfo {
  cmsUInt32Number EngineType;
};

// Generic three-channel data: the engine does not check the colour space.
constexpr cmsUInt32Number kType3Channel16 = COLORSPACE_SH(PT_ANY) | CHANNELS_SH(3) | BYTES_SH(2);

bool LayoutInfo(uint8_t Layout, TLayoutInfo& Info) {
  switch (Layout & 0x7F) {
    case ieiccRGB:
    case ieiccBGR:
    case ieiccRGB48:
    case ieiccRGB48BE: Info = {TYPE_RGB_16}; return true;
    case ieiccCMYKInv:
    case ieiccCMYK: Info = {TYPE_CMYK_16}; return true;
    case ieiccCIELab: Info = {TYPE_Lab_16}; return true;
    case ieiccGray: Info = {TYPE_GRAY_16}; return true;
    case ieicc3Channel: Info = {kType3Channel16}; return true;
    default: return false;
  }
}

// Bytes of one pixel of a layout (the layout must be known).
int32_t LayoutPixelBytes(uint8_t Layout) {
  switch (Layout & 0x7F) {
    case ieiccCMYKInv:
    case ieiccCMYK: return 4;
    case ieiccGray: return 1;
    case ieiccRGB48:
    case ieiccRGB48BE: return 6;
    default: return 3;
  }
}

inline uint16_t Expand(uint8_t V) { return uint16_t(V * 257); }

// Expands Count pixels of layout Layout into 16-bit channels: each byte v
// becomes v x 257, inverted CMYK (255 - v) x 257, words stay as they are.
// The signed a* and b* of Lab pixels are moved to the engine's unsigned
// encoding (0 at 128 x 257).
void ExpandRow(uint8_t Layout, const uint8_t* In, uint16_t* Out, int32_t Count) {
  switch (Layout & 0x7F) {
    case ieiccRGB:
    case ieicc3Channel:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i) Out[i] = Expand(In[i]);
      break;
    case ieiccBGR:
      for (int32_t i = 0; i < Count; ++i, In += 3, Out += 3) {
        Out[0] = Expand(In[2]);
        Out[1] = Expand(In[1]);
        Out[2] = Expand(In[0]);
      }
      break;
    case ieiccCMYKInv:
      for (int64_t i = 0; i < int64_t(Count) * 4; ++i) Out[i] = Expand(uint8_t(255 - In[i]));
      break;
    case ieiccCMYK:
      for (int64_t i = 0; i < int64_t(Count) * 4; ++i) Out[i] = Expand(In[i]);
      break;
    case ieiccCIELab:
      for (int32_t i = 0; i < Count; ++i, In += 3, Out += 3) {
        Out[0] = Expand(In[0]);
        Out[1] = Expand(uint8_t(In[1] ^ 0x80));
        Out[2] = Expand(uint8_t(In[2] ^ 0x80));
      }
      break;
    case ieiccGray:
      for (int32_t i = 0; i < Count; ++i) Out[i] = Expand(In[i]);
      break;
    case ieiccRGB48:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i)
        Out[i] = uint16_t(In[2 * i] | (In[2 * i + 1] << 8));
      break;
    case ieiccRGB48BE:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i)
        Out[i] = uint16_t((In[2 * i] << 8) | In[2 * i + 1]);
      break;
    default: break;
  }
}

// The inverse of ExpandRow: each word shifted right by 8 (inverted for stored
// CMYK), words written as they are.
void ReduceRow(uint8_t Layout, const uint16_t* In, uint8_t* Out, int32_t Count) {
  switch (Layout & 0x7F) {
    case ieiccRGB:
    case ieicc3Channel:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i) Out[i] = uint8_t(In[i] >> 8);
      break;
    case ieiccBGR:
      for (int32_t i = 0; i < Count; ++i, In += 3, Out += 3) {
        Out[0] = uint8_t(In[2] >> 8);
        Out[1] = uint8_t(In[1] >> 8);
        Out[2] = uint8_t(In[0] >> 8);
      }
      break;
    case ieiccCMYKInv:
      for (int64_t i = 0; i < int64_t(Count) * 4; ++i) Out[i] = uint8_t(255 - (In[i] >> 8));
      break;
    case ieiccCMYK:
      for (int64_t i = 0; i < int64_t(Count) * 4; ++i) Out[i] = uint8_t(In[i] >> 8);
      break;
    case ieiccCIELab:
      for (int32_t i = 0; i < Count; ++i, In += 3, Out += 3) {
        Out[0] = uint8_t(In[0] >> 8);
        Out[1] = uint8_t((In[1] >> 8) ^ 0x80);
        Out[2] = uint8_t((In[2] >> 8) ^ 0x80);
      }
      break;
    case ieiccGray:
      for (int32_t i = 0; i < Count; ++i) Out[i] = uint8_t(In[i] >> 8);
      break;
    case ieiccRGB48:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i) {
        Out[2 * i] = uint8_t(In[i]);
        Out[2 * i + 1] = uint8_t(In[i] >> 8);
      }
      break;
    case ieiccRGB48BE:
      for (int64_t i = 0; i < int64_t(Count) * 3; ++i) {
        Out[2 * i] = uint8_t(In[i] >> 8);
        Out[2 * i + 1] = uint8_t(In[i]);
      }
      break;
    default: break;
  }
}

// The layout of a pixel format, -1 for formats without one.
int32_t LayoutOfPixelFormat(TIEPixelFormat Format) {
  switch (Format) {
    case ie8g: return ieiccGray;
    case ie24RGB: return ieiccBGR;
    case ieCMYK: return ieiccCMYKInv;
    case ieRGB48: return ieiccRGB48;
    case ieCIELab: return ieiccCIELab;
    default: return -1;
  }
}

uint32_t ReadBE32(const uint8_t* P) { return IEGetDWord(P, true); }

std::string SignatureText(uint32_t Sig) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = char((Sig >> (24 - 8 * i)) & 0xFF);
  return s;
}

}  // namespace

TIEICC::TIEICC() = default;

TIEICC::~TIEICC() { Clear(); }

void TIEICC::Clear() {
  if (FTransformHandle) {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransformHandle));
    FTransformHandle = nullptr;
  }
  if (FProfileHandle) {
    cmsCloseProfile(static_cast<cmsHPROFILE>(FProfileHandle));
    FProfileHandle = nullptr;
  }
  FRawData.reset();
  FRawLength = 0;
  FApplied = false;
  FBuiltInSRGB = false;
  FCprtText.clear();
  FDescText.clear();
}

void TIEICC::LoadFromBuffer(const void* Data, int32_t Length) {
  Clear();
  if (Data == nullptr || Length <= 0) return;
  FRawData.reset(new (std::nothrow) uint8_t[size_t(Length)]);
  if (!FRawData) return;
  std::memcpy(FRawData.get(), Data, size_t(Length));
  FRawLength = Length;
  OpenRaw();
}

void TIEICC::Assign(const TIEICC* Source) {
  if (Source == this) return;
  if (Source != nullptr && Source->FBuiltInSRGB) {
    LoadSRGB();
    return;
  }
  Clear();
  if (Source == nullptr) return;
  LoadFromBuffer(Source->FRawData.get(), Source->FRawLength);
}

void TIEICC::LoadSRGB() {
  Clear();
  FProfileHandle = cmsCreate_sRGBProfile();
  FBuiltInSRGB = FProfileHandle != nullptr;
}

void TIEICC::OpenRaw() {
  FProfileHandle = cmsOpenProfileFromMem(FRawData.get(), cmsUInt32Number(FRawLength));
  ReadTagTexts();
}

// The copyright and description texts, read straight from the tag table so
// that they come out the same whatever the engine makes of the profile.  Every
// count, offset and size is checked against the bytes held before it is used.
void TIEICC::ReadTagTexts() {
  FCprtText.clear();
  FDescText.clear();
  const int64_t len = FRawLength;
  // The header is 128 bytes; the tag count follows it.
  if (len < 132) return;
  const uint8_t* raw = FRawData.get();
  const int32_t count = int32_t(ReadBE32(raw + 128));
  if (count < 0 || count > 1000) return;
  // The text starting at Start, ending at a zero byte or at End; none when it
  // would be 1000 characters or more.
  auto textAt = [&](int64_t Start, int64_t End, std::string& Out) {
    if (Start >= End) return;
    const uint8_t* b = raw + Start;
    const uint8_t* e = raw + End;
    const uint8_t* z = std::find(b, e, uint8_t(0));
    if (z - b < 1000) Out.assign(reinterpret_cast<const char*>(b), size_t(z - b));
  };
  for (int32_t i = 0; i < count; ++i) {
    const int64_t pos = 132 + int64_t(i) * 12;
    if (pos + 12 > len) break;
    const uint32_t sig = ReadBE32(raw + pos);
    const int64_t offset = ReadBE32(raw + pos + 4);
    const int64_t size = ReadBE32(raw + pos + 8);
    if (offset > len || size > len || offset + size > len) break;
    if (size >= 1000) continue;
    if (sig == 0x63707274u)  // "cprt"
      textAt(offset + 8, offset + size, FCprtText);
    else if (sig == 0x64657363u)  // "desc"
      textAt(offset + 12, offset + size, FDescText);
  }
}

void TIEICC::SaveToStream(TStream* Stream, bool RawOnly) const {
  if (Stream == nullptr) return;
  if (!RawOnly) {
    const uint8_t le[4] = {uint8_t(FRawLength), uint8_t(FRawLength >> 8), uint8_t(FRawLength >> 16),
                           uint8_t(FRawLength >> 24)};
    Stream->WriteBuffer(le, 4);
  }
  if (FRawLength > 0) Stream->WriteBuffer(FRawData.get(), FRawLength);
}

void TIEICC::FreeTransform() {
  if (FTransformHandle) {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransformHandle));
    FTransformHandle = nullptr;
    FApplied = true;
  }
}

bool TIEICC::TransformPixels(TIEICC* Dest, uint8_t InputLayout, uint8_t OutputLayout,
                             int32_t Intent, int32_t Flags, const void* Input, void* Output,
                             int32_t Count) {
  TLayoutInfo inInfo{}, outInfo{};
  if (!LayoutInfo(InputLayout, inInfo) || !LayoutInfo(OutputLayout, outInfo)) return false;
  const bool same = FTransformHandle && FInputLayout == InputLayout &&
                    FOutputLayout == OutputLayout && FIntent == Intent && FFlags == Flags;
  if (!same) {
    FreeTransform();
    if (FProfileHandle && Dest && Dest->FProfileHandle) {
      FTransformHandle = cmsCreateTransform(
          static_cast<cmsHPROFILE>(FProfileHandle), inInfo.EngineType,
          static_cast<cmsHPROFILE>(Dest->FProfileHandle), outInfo.EngineType, INTENT_PERCEPTUAL,
          cmsFLAGS_HIGHRESPRECALC);
      FInputLayout = InputLayout;
      FOutputLayout = OutputLayout;
      FIntent = Intent;
      FFlags = Flags;
    }
  }
  if (!FTransformHandle) return false;
  if (Count <= 0) return Count == 0;
  if (Input == nullptr || Output == nullptr) return false;

  // Four channels at most: the work rows live on the stack, so converting an
  // image row by row allocates nothing.
  uint16_t work1[kChunkPixels * 4], work2[kChunkPixels * 4];
  const uint8_t* in = static_cast<const uint8_t*>(Input);
  uint8_t* out = static_cast<uint8_t*>(Output);
  const int32_t inBytes = LayoutPixelBytes(InputLayout);
  const int32_t outBytes = LayoutPixelBytes(OutputLayout);
  for (int32_t done = 0; done < Count;) {
    const int32_t n = std::min(kChunkPixels, Count - done);
    ExpandRow(InputLayout, in, work1, n);
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransformHandle), work1, work2, cmsUInt32Number(n));
    ReduceRow(OutputLayout, work2, out, n);
    in += int64_t(n) * inBytes;
    out += int64_t(n) * outBytes;
    done += n;
  }
  return true;
}

bool TIEICC::ConvertBitmap(TIEBitmap* Image, TIEPixelFormat TargetPixelFormat, TIEICC* Dest) {
  if (Image == nullptr) return false;
  const int32_t inLayout = LayoutOfPixelFormat(Image->GetPixelFormat());
  const int32_t outLayout = LayoutOfPixelFormat(TargetPixelFormat);
  if (inLayout < 0 || outLayout < 0) return false;
  const int32_t w = Image->GetWidth();
  const int32_t h = Image->GetHeight();
  auto converted = std::make_unique<TIEBitmap>();
  if (!converted->Allocate(w, h, TargetPixelFormat)) return false;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = Image->GetScanline(y);
    uint8_t* dst = converted->GetScanline(y);
    if (src == nullptr || dst == nullptr ||
        !TransformPixels(Dest, uint8_t(inLayout), uint8_t(outLayout), 0, 0, src, dst, w)) {
      // Nothing reached the image; a transform made for it is not "applied".
      const bool applied = FApplied;
      FreeTransform();
      FApplied = applied;
      return false;
    }
  }
  FreeTransform();
  std::unique_ptr<TIEBitmap> alpha = Image->DetachAlphaChannel();
  converted->MoveContentTo(Image);
  if (alpha) Image->AttachAlphaChannel(std::move(alpha));
  return true;
}

std::string TIEICC::GetProfileClass() const {
  if (!FProfileHandle) return std::string();
  return SignatureText(uint32_t(cmsGetDeviceClass(static_cast<cmsHPROFILE>(FProfileHandle))));
}

std::string TIEICC::GetColorSpace() const {
  if (!FProfileHandle) return std::string();
  return SignatureText(uint32_t(cmsGetColorSpace(static_cast<cmsHPROFILE>(FProfileHandle))));
}
