#include <atomic>
#include <algorithm>
#include <cstring>

#include "formats/jpeg/jpeg_codec.h"
#include "formats/psd/psd_codec.h"
#include "formats/psd/psd_packbits.h"
#include "foundations/icc_profile.h"
#include "foundations/iptc.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// The file is assembled in memory so that every length written as a
// placeholder can be patched without seeking back in the caller's stream.
class TPsdOutput {
 public:
  std::vector<uint8_t> Data;
  size_t Pos() const { return Data.size(); }
  void Byte(uint8_t V) { Data.push_back(V); }
  void Word(uint16_t V) {
    Data.push_back(uint8_t(V >> 8));
    Data.push_back(uint8_t(V));
  }
  void Long(uint32_t V) {
    Word(uint16_t(V >> 16));
    Word(uint16_t(V));
  }
  void Bytes(const void* P, size_t N) {
    const auto* b = static_cast<const uint8_t*>(P);
    Data.insert(Data.end(), b, b + N);
  }
  void PatchWord(size_t At, uint16_t V) {
    Data[At] = uint8_t(V >> 8);
    Data[At + 1] = uint8_t(V);
  }
  void PatchLong(size_t At, uint32_t V) {
    PatchWord(At, uint16_t(V >> 16));
    PatchWord(At + 2, uint16_t(V));
  }
};

struct TModeDepth {
  int32_t Mode = -1;
  int32_t Depth = 0;
};

TModeDepth ModeOf(TIEPixelFormat Pf) {
  switch (Pf) {
    case ie1g: return {psdBitmap, 1};
    case ie8p: return {psdIndexed, 8};
    case ie8g: return {psdGrayscale, 8};
    case ie16g: return {psdGrayscale, 16};
    case ie24RGB:
    case ie32RGB: return {psdRGB, 8};
    case ieCMYK: return {psdCMYK, 8};
    case ieRGB48: return {psdRGB, 16};
    case ieCIELab: return {psdLab, 8};
    default: return {};
  }
}

// The pixel format every layer is brought to for a mode and depth.
TIEPixelFormat TargetFormat(const TModeDepth& M) {
  switch (M.Mode) {
    case psdBitmap: return ie1g;
    case psdGrayscale: return M.Depth == 16 ? ie16g : ie8g;
    case psdIndexed: return ie8p;
    case psdRGB: return M.Depth == 16 ? ieRGB48 : ie24RGB;
    case psdCMYK: return ieCMYK;
    case psdLab: return ieCIELab;
    default: return ieNoFormat;
  }
}

// The bitmap as the file needs it: the caller's own when it already has the
// target format, otherwise a converted copy held in Keep.
TIEBitmap* Conformed(TIEBitmap* B, TIEPixelFormat Target, std::unique_ptr<TIEBitmap>& Keep) {
  if (B->GetPixelFormat() == Target) return B;
  Keep = std::make_unique<TIEBitmap>();
  Keep->Assign(B);
  Keep->SetPixelFormat(Target);
  return Keep.get();
}

// One row of channel C (-1 alpha) of B at Depth, as the file stores it.
void ChannelRow(TIEBitmap* B, int32_t C, int32_t Depth, int32_t Y, std::vector<uint8_t>& Row) {
  const int32_t w = B->GetWidth();
  const TIEPixelFormat pf = B->GetPixelFormat();
  Row.assign(static_cast<size_t>((int64_t(w) * Depth + 7) / 8), 0);
  if (C < 0) {
    const uint8_t* a = B->GetAlphaChannel()->GetScanline(Y);
    for (int32_t x = 0; x < w; ++x) {
      if (Depth == 16) {
        Row[2 * x] = a[x];  // v x 257 is the byte repeated
        Row[2 * x + 1] = a[x];
      } else {
        Row[x] = a[x];
      }
    }
    return;
  }
  const uint8_t* s = B->GetScanline(Y);
  switch (pf) {
    case ie1g:
      for (size_t i = 0; i < Row.size(); ++i) Row[i] = uint8_t(~s[i]);
      // Padding bits past the width stay white.
      if (w % 8) Row.back() &= uint8_t(0xFF << (8 - w % 8));
      break;
    case ie16g:
    case ieRGB48: {
      const int32_t step = pf == ie16g ? 1 : 3;
      for (int32_t x = 0; x < w; ++x) {
        uint16_t v;
        std::memcpy(&v, s + 2 * (x * step + C), 2);
        Row[2 * x] = uint8_t(v >> 8);
        Row[2 * x + 1] = uint8_t(v);
      }
      break;
    }
    default: {
      const int32_t step = IEChannelCountOf(pf);
      const int32_t byte = pf == ie24RGB ? 2 - C : C;
      for (int32_t x = 0; x < w; ++x) {
        uint8_t v = s[x * step + byte];
        if (pf == ieCIELab && C > 0) v = uint8_t(v + 128);
        Row[x] = v;
      }
      break;
    }
  }
}

// The single palette index that all fully transparent pixels share and no
// visible pixel uses; -1 when the alpha plane does not describe one.
int32_t TransparentIndexOf(TIEBitmap* B) {
  if (!B->HasAlphaChannel()) return -1;
  TIEBitmap* a = B->GetAlphaChannel();
  int32_t index = -1;
  bool visible[256] = {};
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* s = B->GetScanline(y);
    const uint8_t* r = a->GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      if (r[x] == 0) {
        if (index >= 0 && index != s[x]) return -1;
        index = s[x];
      } else {
        visible[s[x]] = true;
      }
    }
  }
  return index >= 0 && !visible[index] ? index : -1;
}

void Resource(TPsdOutput& Out, uint16_t Id, const void* Data, size_t Len) {
  if (Out.Pos() & 1) Out.Byte(0);
  Out.Bytes("8BIM", 4);
  Out.Word(Id);
  Out.Word(0);  // empty name, padded
  Out.Long(uint32_t(Len));
  Out.Bytes(Data, Len);
}

void WriteImageResources(TPsdOutput& Out, TIOParamsVals& Params, TIEBitmap* Bitmap, int32_t TransparentIndex) {
  const size_t lenAt = Out.Pos();
  Out.Long(0);
  {
    TPsdOutput r;
    r.Long(uint32_t(std::max(0, Params.DpiX)) * 65536u);
    r.Word(1);
    r.Word(1);
    r.Long(uint32_t(std::max(0, Params.DpiY)) * 65536u);
    r.Word(1);
    r.Word(1);
    Resource(Out, psdResResolution, r.Data.data(), r.Data.size());
  }
  if (TransparentIndex >= 0) {
    const uint8_t v[2] = {uint8_t(TransparentIndex >> 8), uint8_t(TransparentIndex)};
    Resource(Out, psdResTransparentIndex, v, 2);
  }
  if (Params.IptcRecords) {
    std::unique_ptr<uint8_t[]> buf;
    int32_t size = 0;
    Params.IptcRecords->SaveToBuffer(buf, size, false);
    if (buf && size > 0) Resource(Out, psdResIptc, buf.get(), size_t(size));
  }
  if (Params.InputIccProfile && Params.InputIccProfile->GetRawData() &&
      Params.InputIccProfile->GetRawLength() > 0)
    Resource(Out, psdResIccProfile, Params.InputIccProfile->GetRawData(),
             size_t(Params.InputIccProfile->GetRawLength()));
  if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
    std::unique_ptr<TIEBitmap> rgb;
    TIEBitmap* thumb = Conformed(Params.ExifThumbnail.get(), ie24RGB, rgb);
    TMemoryStream jpeg;
    TIOParamsVals jp;
    std::atomic<bool> abort{false};
    TIEProgressRec p;
    p.Aborting = &abort;
    try {
      JpegWriteStream(&jpeg, thumb, jp, p);
    } catch (const Exception&) {
      abort = true;
    }
    if (!abort && jpeg.GetSize() > 0) {
      TPsdOutput r;
      const uint32_t w = uint32_t(thumb->GetWidth());
      const uint32_t h = uint32_t(thumb->GetHeight());
      r.Long(1);
      r.Long(w);
      r.Long(h);
      r.Long(w * 3);
      r.Long(w * h * 3);
      r.Long(uint32_t(jpeg.GetSize()));
      r.Word(24);
      r.Word(1);
      r.Bytes(jpeg.GetMemory(), size_t(jpeg.GetSize()));
      Resource(Out, psdResThumbnail, r.Data.data(), r.Data.size());
    }
  }
  if (!Params.XmpPacket.empty()) Resource(Out, psdResXmp, Params.XmpPacket.data(), Params.XmpPacket.size());
  if (Out.Pos() & 1) Out.Byte(0);
  Out.PatchLong(lenAt, uint32_t(Out.Pos() - lenAt - 4));
}

// Writes the channels of one bitmap: with Table (layer) each channel has its
// own compression word and row table and its length is patched at
// LengthSlots[i]; without (merged image) one word and one table cover all.
void WriteChannels(TPsdOutput& Out, TIEBitmap* B, const std::vector<int32_t>& Channels, int32_t Depth,
                   TIEBitmap* Mask, bool PerChannel, const std::vector<size_t>& LengthSlots,
                   TIEProgressRec* Progress) {
  std::vector<uint8_t> row, packed;
  size_t tableAt = 0;
  const int64_t rowsOf = B->GetHeight();
  if (!PerChannel) {
    Out.Word(1);
    tableAt = Out.Pos();
    Out.Data.resize(Out.Data.size() + size_t(Channels.size() * rowsOf * 2));
  }
  for (size_t i = 0; i < Channels.size(); ++i) {
    const int32_t c = Channels[i];
    TIEBitmap* src = c == psdChannelMask ? Mask : B;
    const int32_t rows = src->GetHeight();
    const size_t start = Out.Pos();
    if (PerChannel) {
      Out.Word(1);
      tableAt = Out.Pos();
      Out.Data.resize(Out.Data.size() + size_t(rows) * 2);
    }
    for (int32_t y = 0; y < rows; ++y) {
      if (c == psdChannelMask)
        ChannelRow(src, 0, 8, y, row);
      else
        ChannelRow(src, c, Depth, y, row);
      packed.clear();
      PsdPackBitsRow(row.data(), int64_t(row.size()), packed);
      Out.Bytes(packed.data(), packed.size());
      const size_t slot = PerChannel ? tableAt + size_t(y) * 2 : tableAt + (i * size_t(rows) + size_t(y)) * 2;
      Out.PatchWord(slot, uint16_t(packed.size()));
    }
    if (PerChannel) Out.PatchLong(LengthSlots[i], uint32_t(Out.Pos() - start));
    if (Progress) Progress->Report(int32_t(double(i + 1) / Channels.size() * 100));
  }
}

struct TConformedLayer {
  const TIEPsdLayer* Layer;
  TIEBitmap* Bitmap;
  TIEBitmap* Mask = nullptr;
  std::unique_ptr<TIEBitmap> Keep, KeepMask;
  std::vector<int32_t> Channels;
  std::vector<size_t> LengthSlots;
};

}  // namespace

void PsdWriteStream(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, TIEBitmap* Bitmap,
                    const TIEPsdLayerList* Layers) {
  TIEBitmap* main = Bitmap;
  if (!main && Layers && !Layers->empty()) main = (*Layers)[0]->Bitmap.get();
  if (!main || main->IsEmpty()) {
    Progress.SetAborting();
    return;
  }
  const TModeDepth md = ModeOf(main->GetPixelFormat());
  // The format holds at most 30000 pixels a side (which also keeps every
  // packed row's byte count within its 16-bit table entry).
  if (md.Mode < 0 || main->GetWidth() > 30000 || main->GetHeight() > 30000) {
    Progress.SetAborting();
    return;
  }
  try {
    const TIEPixelFormat target = TargetFormat(md);
    std::unique_ptr<TIEBitmap> keepMain;
    TIEBitmap* merged = Conformed(main, target, keepMain);

    // Layers in the merged image's format, in copies where they differ.
    std::vector<TConformedLayer> layers;
    if (Layers) {
      for (size_t i = 0; i < Layers->size(); ++i) {
        const TIEPsdLayer* l = (*Layers)[i].get();
        if (l->MaskLayer || !l->Bitmap || l->Bitmap->IsEmpty() || l->Bitmap->GetWidth() > 30000 ||
            l->Bitmap->GetHeight() > 30000)
          continue;
        TConformedLayer cl;
        cl.Layer = l;
        cl.Bitmap = Conformed(l->Bitmap.get(), target, cl.Keep);
        if (i + 1 < Layers->size() && (*Layers)[i + 1]->MaskLayer && (*Layers)[i + 1]->Bitmap &&
            !(*Layers)[i + 1]->Bitmap->IsEmpty())
          cl.Mask = Conformed((*Layers)[i + 1]->Bitmap.get(), ie8g, cl.KeepMask);
        layers.push_back(std::move(cl));
      }
    }

    TPsdOutput out;
    const int32_t colours = IEChannelCountOf(target);
    // Palette images carry transparency as an index; the others as an extra
    // channel after the colour channels.
    const bool mergedAlpha = merged->HasAlphaChannel() && md.Mode != psdIndexed && md.Mode != psdBitmap;
    const int32_t transparentIndex = md.Mode == psdIndexed ? TransparentIndexOf(merged) : -1;
    out.Bytes("8BPS", 4);
    out.Word(1);
    out.Bytes("\0\0\0\0\0\0", 6);
    out.Word(uint16_t(colours + (mergedAlpha ? 1 : 0)));
    out.Long(uint32_t(merged->GetHeight()));
    out.Long(uint32_t(merged->GetWidth()));
    out.Word(uint16_t(md.Depth));
    out.Word(uint16_t(md.Mode));

    if (md.Mode == psdIndexed) {
      out.Long(768);
      for (int32_t plane = 0; plane < 3; ++plane)
        for (int32_t i = 0; i < 256; ++i) {
          const TRGB c = i < merged->GetPaletteLen() ? merged->GetPaletteColor(i) : TRGB{};
          out.Byte(plane == 0 ? c.r : plane == 1 ? c.g : c.b);
        }
    } else {
      out.Long(0);
    }
    WriteImageResources(out, Params, merged, transparentIndex);

    // Layer and mask section.
    const size_t sectionAt = out.Pos();
    out.Long(0);
    if (!layers.empty()) {
      const size_t infoAt = out.Pos();
      out.Long(0);
      out.Word(uint16_t(layers.size()));
      for (auto& cl : layers) {
        TIEBitmap* b = cl.Bitmap;
        const TIEPsdLayer* l = cl.Layer;
        const bool alpha = b->HasAlphaChannel() && md.Mode != psdIndexed && md.Mode != psdBitmap;
        if (alpha) cl.Channels.push_back(psdChannelAlpha);
        for (int32_t c = 0; c < colours; ++c) cl.Channels.push_back(c);
        if (cl.Mask) cl.Channels.push_back(psdChannelMask);
        out.Long(uint32_t(l->OffsetY));
        out.Long(uint32_t(l->OffsetX));
        out.Long(uint32_t(l->OffsetY + b->GetHeight()));
        out.Long(uint32_t(l->OffsetX + b->GetWidth()));
        out.Word(uint16_t(cl.Channels.size()));
        for (int32_t c : cl.Channels) {
          out.Word(uint16_t(int16_t(c)));
          cl.LengthSlots.push_back(out.Pos());
          out.Long(0);
        }
        out.Bytes("8BIMnorm", 8);
        out.Byte(uint8_t(l->Opacity));
        out.Byte(0);
        out.Byte(l->Visible ? 0 : 2);
        out.Byte(0);
        const size_t extraAt = out.Pos();
        out.Long(0);
        if (cl.Mask) {
          const TIEPsdLayer* m = nullptr;
          for (size_t i = 0; i + 1 < Layers->size(); ++i)
            if ((*Layers)[i].get() == l) m = (*Layers)[i + 1].get();
          out.Long(20);
          out.Long(uint32_t(m->OffsetY));
          out.Long(uint32_t(m->OffsetX));
          out.Long(uint32_t(m->OffsetY + cl.Mask->GetHeight()));
          out.Long(uint32_t(m->OffsetX + cl.Mask->GetWidth()));
          out.Byte(0);
          out.Byte(0);
          out.Word(0);
        } else {
          out.Long(0);
        }
        out.Long(0);  // blending ranges
        const size_t nameLen = std::min<size_t>(l->Name.size(), 255);
        out.Byte(uint8_t(nameLen));
        out.Bytes(l->Name.data(), nameLen);
        while ((out.Pos() - extraAt - 4) % 4) out.Byte(1);
        out.PatchLong(extraAt, uint32_t(out.Pos() - extraAt - 4));
      }
      for (size_t i = 0; i < layers.size(); ++i) {
        auto& cl = layers[i];
        WriteChannels(out, cl.Bitmap, cl.Channels, md.Depth, cl.Mask, true, cl.LengthSlots, nullptr);
        Progress.Report(int32_t(double(i + 1) / layers.size() * 100));
      }
      if ((out.Pos() - infoAt) & 1) out.Byte(0);
      out.PatchLong(infoAt, uint32_t(out.Pos() - infoAt - 4));
      out.Long(0);  // global layer-mask info
      out.PatchLong(sectionAt, uint32_t(out.Pos() - sectionAt - 4));
    }

    std::vector<int32_t> channels;
    for (int32_t c = 0; c < colours; ++c) channels.push_back(c);
    if (mergedAlpha) channels.push_back(psdChannelAlpha);
    WriteChannels(out, merged, channels, md.Depth, nullptr, false, {}, layers.empty() ? nullptr : &Progress);
    Stream->WriteBuffer(out.Data.data(), int64_t(out.Data.size()));
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  } catch (const Exception&) {
    Progress.SetAborting();
  }
}
