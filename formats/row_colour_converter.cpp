#include "formats/row_colour_converter.h"

#include <cstring>

#include "foundations/geometry_colour.h"
#include "foundations/icc_profile.h"
#include "foundations/settings.h"
#include "foundations/colour_conversion.h"
#include "formats/io_params.h"

namespace {

// Colour management through the image's profiles; false when it does not
// apply or the engine cannot make the transform.
bool ConvertThroughProfiles(const void* Input, uint8_t InputLayout, void* Output,
                            uint8_t OutputLayout, int32_t Count, TIOParamsVals* Params);

// The input and output profiles that colour management would convert through,
// or false when the formulas apply.
bool ProfilesOf(TIOParamsVals* Params, TIEICC*& In, TIEICC*& Out);

}  // namespace

void IEConvertColorRow(const void* Input, uint8_t InputLayout, void* Output, uint8_t OutputLayout,
                       int32_t Count, TIOParamsVals* Params) {
  if (Count <= 0 || !Input || !Output) return;
  if (ConvertThroughProfiles(Input, InputLayout, Output, OutputLayout, Count, Params)) return;
  const auto* in = static_cast<const uint8_t*>(Input);
  auto* out = static_cast<uint8_t*>(Output);
  InputLayout &= 0x7F;
  OutputLayout &= 0x7F;
  if (InputLayout == ieiccGray) return;
  if (OutputLayout == ieiccBGR) {
    switch (InputLayout) {
      case ieiccRGB:
        for (int32_t i = 0; i < Count; ++i, in += 3, out += 3) {
          const uint8_t r = in[0], g = in[1], b = in[2];
          out[0] = b;
          out[1] = g;
          out[2] = r;
        }
        return;
      case ieiccBGR:
        if (in != out) std::memmove(out, in, size_t(Count) * 3);
        return;
      case ieiccCMYKInv:
      case ieiccCMYK: {
        const bool invert = InputLayout == ieiccCMYK;
        for (int32_t i = 0; i < Count; ++i, in += 4, out += 3) {
          uint32_t v = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) |
                       (uint32_t(in[3]) << 24);
          if (invert) v = ~v;
          TRGB p;
          IECmykToRgb(v, p);
          std::memcpy(out, &p, 3);
        }
        return;
      }
      case ieiccCIELab:
        for (int32_t i = 0; i < Count; ++i, in += 3, out += 3) {
          TRGB p;
          IECIELabToRGB(p, uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16));
          std::memcpy(out, &p, 3);
        }
        return;
      case ieiccRGB48:
        // Output may overlap the input's start: each pixel's bytes are read
        // before its 3 output bytes (which lie at or before them) are written.
        for (int32_t i = 0; i < Count; ++i, in += 6, out += 3) {
          const uint8_t r = in[1], g = in[3], b = in[5];
          out[0] = b;
          out[1] = g;
          out[2] = r;
        }
        return;
      case ieiccRGB48BE:
        for (int32_t i = 0; i < Count; ++i, in += 6, out += 3) {
          const uint8_t r = in[0], g = in[2], b = in[4];
          out[0] = b;
          out[1] = g;
          out[2] = r;
        }
        return;
      case ieicc3Channel:
        for (int32_t i = 0; i < Count; ++i, in += 3, out += 3) {
          TRGB p;
          IEYCbCrToRGB(p, in[0], in[1], in[2]);
          std::memcpy(out, &p, 3);
        }
        return;
      default:
        return;
    }
  }
  if (InputLayout != ieiccBGR) return;
  switch (OutputLayout) {
    case ieiccCMYKInv:
      for (int32_t i = 0; i < Count; ++i, in += 3, out += 4) {
        TRGB p;
        std::memcpy(&p, in, 3);
        const TCMYK c = IERgbToCmykPixel(p);
        out[0] = c.c;
        out[1] = c.m;
        out[2] = c.y;
        out[3] = c.k;
      }
      return;
    case ieiccCIELab:
      for (int32_t i = 0; i < Count; ++i, in += 3, out += 3) {
        TCIELab l;
        IERGBToCIELab(l, uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16));
        out[0] = l.l;
        out[1] = uint8_t(l.a);
        out[2] = uint8_t(l.b);
      }
      return;
    case ieiccGray:
      for (int32_t i = 0; i < Count; ++i, in += 3, ++out) {
        const int32_t g = (in[2] * IEGrayWeightRed + in[1] * IEGrayWeightGreen +
                           in[0] * IEGrayWeightBlue) / 100;
        *out = uint8_t(g < 0 ? 0 : g > 255 ? 255 : g);
      }
      return;
    default:
      return;
  }
}

void IEColorConvertRow(const void* Input, uint8_t InputLayout, void* Output, uint8_t OutputLayout,
                       int32_t Count, TIOParamsVals* Params) {
  if (IEColorConvertHook)
    IEColorConvertHook(Input, InputLayout, Output, OutputLayout, Count, Params);
  else
    IEConvertColorRow(Input, InputLayout, Output, OutputLayout, Count, Params);
}

bool IEColorConvertIsPlain(TIOParamsVals* Params) {
  if (IEColorConvertHook && IEColorConvertHook != IEConvertColorRow) return false;
  TIEICC* in = nullptr;
  TIEICC* out = nullptr;
  return !ProfilesOf(Params, in, out);
}

void IEInstallColorConvertHook() {
  if (!IEColorConvertHook) IEColorConvertHook = IEConvertColorRow;
}

namespace {

bool ProfilesOf(TIOParamsVals* Params, TIEICC*& In, TIEICC*& Out) {
  // The profiles travel in the image's parameter set; without one (or with
  // colour management off) the formulas apply.
  if (!IEColorManagement || !Params) return false;
  In = Params->InputIccProfile.get();
  if (!(In && In->IsValid()) && Params->DefaultIccProfile) In = Params->DefaultIccProfile.get();
  if (!In || !In->IsValid() || In->GetApplied()) return false;
  Out = Params->GetOutputIccProfile();
  return Out && Out->IsValid();
}

bool ConvertThroughProfiles(const void* Input, uint8_t InputLayout, void* Output,
                            uint8_t OutputLayout, int32_t Count, TIOParamsVals* Params) {
  TIEICC* in = nullptr;
  TIEICC* out = nullptr;
  if (!ProfilesOf(Params, in, out)) return false;
  return in->TransformPixels(out, InputLayout, OutputLayout, 0, 0, Input, Output, Count);
}

}  // namespace
