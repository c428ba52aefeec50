#include "processing/clipboard.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "formats/io_params.h"
#include "formats/png/png_codec.h"
#include "foundations/dib_bitmaps.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/dib_stretch.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/clipboard.h"
#include "processing/folio_proc.h"
#include "views/window_helpers.h"

namespace {

// The largest pasted image accepted, in pixels (a 2 GB page of 24-bit colour
// is far beyond any page; a PNG header can claim anything).
constexpr int64_t kMaxPastePixels = int64_t(1) << 28;

// Closes the clipboard when the call leaves, also by an exception.
struct TClipboardCloser {
  ~TClipboardCloser() { CloseClipboard(); }
};

// The value TIEBitmap::Fill reads for a colour in Bitmap's format.
double FillValueOf(TIEBitmap* Bitmap, TColor Colour) {
  const TRGB C = IEColorToRGB(Colour);
  switch (Bitmap->GetPixelFormat()) {
    case ie1g: return IERGBToGray(C) >= 128 ? 1 : 0;
    case ie8g: return IERGBToGray(C);
    case ie16g: return IERGBToGray(C) * 257.0;
    case ie32f: return IERGBToGray(C) / 255.0;
    default: return double(IERGBToColor(C));
  }
}

// The raw form of Bitmap; empty when its memory cannot be had.
std::vector<uint8_t> RawOf(TIEBitmap* Bitmap) {
  std::vector<uint8_t> Raw;
  try {
    const int64_t Size = Bitmap->GetRawSize();
    if (Size <= 0) return Raw;
    Raw.resize(size_t(Size));
    Bitmap->SaveRawToStream(Raw.data(), nullptr);
  } catch (const std::bad_alloc&) {
    Raw.clear();
  } catch (const Exception&) {
    Raw.clear();
  }
  return Raw;
}

// Reads the clipboard image into Into, trying the formats in Order; answers
// the format used, 0 when none held a readable image.
uint32_t ReadClipboardImage(const std::vector<uint32_t>& Order, TIEBitmap* Into) {
  std::vector<uint8_t> Data;
  for (uint32_t Format : Order) {
    if (!IsClipboardFormatAvailable(Format) || !GetClipboardData(Format, Data) || Data.empty()) continue;
    bool Ok = false;
    if (Format == IERawClipboardFormat()) {
      Ok = Into->LoadRawFromStream(Data.data(), nullptr, int64_t(Data.size()));
    } else if (Format == IEPngClipboardFormat()) {
      Ok = IEDecodeClipboardPng(Data, Into);
    } else if (Format == CF_DIB) {
      Ok = IECopyDIBToBitmap(Data.data(), Data.size(), Into) != 0;
    }
    if (Ok && !Into->IsEmpty()) return Format;
    Into->FreeImage();
  }
  return 0;
}

// Piece (ie24RGB) becomes ie8p with Page's palette, each pixel the nearest
// entry.
void MapToPalette(TIEBitmap* Piece, TIEBitmap* Page) {
  const int32_t W = Piece->GetWidth(), H = Piece->GetHeight();
  TIEBitmap Indexed;
  if (!Indexed.Allocate(W, H, ie8p)) return;
  Page->CopyPaletteTo(&Indexed);
  const int32_t N = std::max(1, std::min(Page->GetPaletteLen(), 256));
  std::vector<TRGB> Pal(static_cast<size_t>(N));
  for (int32_t i = 0; i < N; ++i) Pal[i] = Page->GetPaletteColor(i);
  for (int32_t y = 0; y < H; ++y) {
    const TRGB* S = reinterpret_cast<const TRGB*>(Piece->GetScanline(y));
    std::vector<TRGB> Row(S, S + W);
    uint8_t* D = Indexed.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      int32_t Best = 0, BestD = INT32_MAX;
      for (int32_t i = 0; i < N; ++i) {
        const int32_t dr = Row[x].r - Pal[i].r, dg = Row[x].g - Pal[i].g, db = Row[x].b - Pal[i].b;
        const int32_t Dist = dr * dr + dg * dg + db * db;
        if (Dist < BestD) {
          BestD = Dist;
          Best = i;
        }
      }
      D[x] = uint8_t(Best);
    }
  }
  Piece->Assign(&Indexed);
}

}  // namespace

uint32_t IERawClipboardFormat() {
  static const uint32_t Id = RegisterClipboardFormat(IERawClipboardFormatName);
  return Id;
}

uint32_t IEPngClipboardFormat() {
  static const uint32_t Id = RegisterClipboardFormat("PNG");
  return Id;
}

TIEPackedDIB IESelectionToDIB(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background, int32_t DpiX, int32_t DpiY) {
  if (!Bitmap || !Mask || Mask->IsEmpty()) return {};
  const int32_t W = Mask->GetX2() - Mask->GetX1() + 1, H = Mask->GetY2() - Mask->GetY1() + 1;
  TIEBitmap Box;
  if (!Box.Allocate(W, H, Bitmap->GetPixelFormat())) return {};
  Bitmap->CopyPaletteTo(&Box);
  Box.Fill(FillValueOf(&Box, Background));
  Mask->CopyBitmap(&Box, Bitmap, true, false, false);
  return _CopyBitmaptoDIBEx(&Box, 0, 0, 0, 0, DpiX, DpiY);
}

int32_t IEDrawDIBToDibBitmap(const void* DIB, size_t DIBSize, TIEDibbitmap* Dest) {
  if (!DIB || !Dest) return 0;
  TIEBitmap Decoded;
  const int32_t Bits = IECopyDIBToBitmap(DIB, DIBSize, &Decoded);
  if (Bits == 0 || Decoded.IsEmpty()) return 0;
  const bool OneBit = Decoded.GetPixelFormat() == ie1g;
  if (!OneBit && Decoded.GetPixelFormat() != ie24RGB) Decoded.SetPixelFormat(ie24RGB);
  const int32_t W = Decoded.GetWidth(), H = Decoded.GetHeight();
  if (!Dest->AllocateBits(W, H, OneBit ? 1 : 24)) return 0;
  const size_t Bytes = OneBit ? size_t((W + 7) / 8) : size_t(W) * 3;
  for (int32_t y = 0; y < H; ++y) std::memcpy(Dest->GetScanline(y), Decoded.GetScanline(y), Bytes);
  return Bits;
}

std::vector<uint8_t> IEEncodeClipboardPng(TIEBitmap* Bitmap) {
  std::vector<uint8_t> Out;
  if (!Bitmap || Bitmap->IsEmpty()) return Out;
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* Src = Bitmap;
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  if (F != ie1g && F != ie8p && F != ie8g && F != ie16g && F != ie24RGB) {
    Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(Bitmap);
    Copy->SetPixelFormat(ie24RGB);
    if (Copy->GetPixelFormat() != ie24RGB) return Out;
    Src = Copy.get();
  }
  try {
    TMemoryStream Stream;
    TIOParamsVals Params;
    Params.BitsPerSample = F == ie1g ? 1 : (F == ie16g ? 16 : 8);
    Params.SamplesPerPixel = (Src->GetPixelFormat() == ie24RGB) ? 3 : 1;
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    PngWriteStream(&Stream, Src, Params, Progress, nullptr);
    if (Aborting) return Out;
    const uint8_t* P = static_cast<const uint8_t*>(Stream.GetMemory());
    Out.assign(P, P + Stream.GetSize());
  } catch (const Exception&) {
    Out.clear();
  } catch (const std::bad_alloc&) {
    Out.clear();
  }
  return Out;
}

bool IEDecodeClipboardPng(const std::vector<uint8_t>& Data, TIEBitmap* Bitmap) {
  // The header's size is checked before the decoder allocates anything.
  static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (!Bitmap || Data.size() < 33 || std::memcmp(Data.data(), Signature, 8) != 0 ||
      std::memcmp(Data.data() + 12, "IHDR", 4) != 0)
    return false;
  const auto Be32 = [&Data](size_t At) {
    return uint32_t(Data[At]) << 24 | uint32_t(Data[At + 1]) << 16 | uint32_t(Data[At + 2]) << 8 | Data[At + 3];
  };
  const uint32_t W = Be32(16), H = Be32(20);
  if (W == 0 || H == 0 || W > 0x7FFFFFFF || H > 0x7FFFFFFF || int64_t(W) * int64_t(H) > kMaxPastePixels)
    return false;
  try {
    TCustomMemoryStream Stream(const_cast<uint8_t*>(Data.data()), int64_t(Data.size()));
    TIOParamsVals Params;
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    TIEBitmap Decoded;
    PngReadStream(&Stream, &Decoded, Params, Progress, false);
    if (Aborting || Decoded.IsEmpty()) return false;
    Bitmap->Assign(&Decoded);
    return !Bitmap->IsEmpty();
  } catch (const Exception&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

namespace {
// Replaces the clipboard's content with the forms made beforehand: the DIB
// every program reads, and the PNG and raw forms where there are any.
bool PublishClipboard(const TIEPackedDIB& DIB, const std::vector<uint8_t>& Png, const std::vector<uint8_t>& Raw) {
  if (!IEOpenClipboard()) return false;
  TClipboardCloser Closer;
  EmptyClipboard();
  if (!SetClipboardData(CF_DIB, DIB)) return false;
  if (!Png.empty()) SetClipboardData(IEPngClipboardFormat(), Png);
  if (!Raw.empty()) SetClipboardData(IERawClipboardFormat(), Raw);
  return true;
}
}  // namespace

bool TFolioProc::CopyToClipboard(bool WithRaw) {
  if (!EnsurePixelFormat(0) || FIEBitmap->IsEmpty()) return false;
  // Everything is made before the clipboard is touched: the user's clipboard
  // is emptied only once the new content is ready.
  const TIEPackedDIB DIB = _CopyBitmaptoDIBEx(FIEBitmap, 0, 0, 0, 0, GetDpiX(), GetDpiY());
  if (DIB.empty()) return false;
  const std::vector<uint8_t> Png = IEEncodeClipboardPng(FIEBitmap);
  const std::vector<uint8_t> Raw = WithRaw ? RawOf(FIEBitmap) : std::vector<uint8_t>();
  return PublishClipboard(DIB, Png, Raw);
}

bool TFolioProc::SelCopyToClip(bool WithRaw) {
  if (!EnsurePixelFormat(0)) return false;
  int32_t X1, Y1, X2, Y2;
  TIEMask* Mask;
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask)) return CopyToClipboard(WithRaw);
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, FIEBitmap->GetWidth());
  Y2 = std::min(Y2, FIEBitmap->GetHeight());
  if (X1 >= X2 || Y1 >= Y2) return false;
  TIEPackedDIB DIB;
  TIEBitmap Piece;  // what other programs see, for the PNG
  TIEBitmap Cut;    // the raw form's cut-out
  const bool Masked = Mask && !Mask->IsEmpty();
  if (!Masked) {
    DIB = _CopyBitmaptoDIBEx(FIEBitmap, X1, Y1, X2, Y2, GetDpiX(), GetDpiY());
    if (!Piece.Allocate(X2 - X1, Y2 - Y1, FIEBitmap->GetPixelFormat())) return false;
    FIEBitmap->CopyPaletteTo(&Piece);
    FIEBitmap->CopyRectTo(&Piece, X1, Y1, 0, 0, X2 - X1, Y2 - Y1);
    if (WithRaw) Cut.Assign(&Piece);
  } else {
    DIB = IESelectionToDIB(FIEBitmap, Mask, GetBackground(), GetDpiX(), GetDpiY());
    const int32_t W = Mask->GetX2() - Mask->GetX1() + 1, H = Mask->GetY2() - Mask->GetY1() + 1;
    if (!Piece.Allocate(W, H, FIEBitmap->GetPixelFormat())) return false;
    FIEBitmap->CopyPaletteTo(&Piece);
    Piece.Fill(FillValueOf(&Piece, GetBackground()));
    Mask->CopyBitmap(&Piece, FIEBitmap, true, false, false);
    if (WithRaw) FIEBitmap->CopyMaskedTo(&Cut, Mask);
  }
  if (DIB.empty()) return false;
  const std::vector<uint8_t> Png = IEEncodeClipboardPng(&Piece);
  const std::vector<uint8_t> Raw = WithRaw && !Cut.IsEmpty() ? RawOf(&Cut) : std::vector<uint8_t>();
  return PublishClipboard(DIB, Png, Raw);
}

bool TFolioProc::PasteFromClipboard() {
  if (!EnsurePixelFormat(0)) return false;
  TIEBitmap Pasted;
  {
    if (!IEOpenClipboard()) return false;
    TClipboardCloser Closer;
    if (ReadClipboardImage({IERawClipboardFormat(), IEPngClipboardFormat(), CF_DIB}, &Pasted) == 0) return false;
  }
  if (int64_t(Pasted.GetWidth()) * Pasted.GetHeight() > kMaxPastePixels) return false;
  // A page keeps its pixel format: what is pasted into it is converted.
  const TIEPixelFormat PageFormat = FIEBitmap->IsEmpty() ? ieNoFormat : FIEBitmap->GetPixelFormat();
  if (PageFormat != ieNoFormat && Pasted.GetPixelFormat() != PageFormat) {
    Pasted.SetPixelFormat(PageFormat);
    if (Pasted.GetPixelFormat() != PageFormat) return false;
  }
  if (FAutoUndo) PushUndoWithCaption("PasteFromClipboard", ieuImage);
  FIEBitmap->Assign(&Pasted);
  Refresh();
  return true;
}

bool TFolioProc::SelPasteFromClipStretch(bool MergeAlpha) { return SelPaste(true, MergeAlpha); }

bool TFolioProc::SelPasteFromClip(bool MergeAlpha) { return SelPaste(false, MergeAlpha); }

bool TFolioProc::SelPaste(bool Stretch, bool MergeAlpha) {
  if (!EnsurePixelFormat(0)) return false;
  int32_t X1, Y1, X2, Y2;
  TIEMask* Mask;
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask)) return PasteFromClipboard();
  if (X2 <= X1 || Y2 <= Y1 || FIEBitmap->IsEmpty()) return false;
  TIEBitmap Pasted;
  uint32_t Used;
  {
    if (!IEOpenClipboard()) return false;
    TClipboardCloser Closer;
    Used = ReadClipboardImage({IERawClipboardFormat(), CF_DIB, IEPngClipboardFormat()}, &Pasted);
    if (Used == 0) return false;
  }
  // The piece takes the page's pixel format, so that it can be copied in; a
  // palette page keeps its palette and the piece is mapped onto it.
  const TIEPixelFormat PageFormat = FIEBitmap->GetPixelFormat();
  const TIEPixelFormat StretchFormat = PageFormat == ie8p ? ie24RGB : PageFormat;
  if (Pasted.GetPixelFormat() != StretchFormat) {
    Pasted.SetPixelFormat(StretchFormat);
    if (Pasted.GetPixelFormat() != StretchFormat) return false;
  }
  TIEBitmap Piece;
  if (!Piece.Allocate(X2 - X1, Y2 - Y1, StretchFormat)) return false;
  if (FAutoUndo) PushUndoWithCaption(Stretch ? "SelPasteFromClipStretch" : "SelPasteFromClip", ieuImage);
  _IEBmpStretchEx(&Pasted, &Piece);
  if (PageFormat == ie8p) MapToPalette(&Piece, FIEBitmap);
  const bool Masked = Mask && !Mask->IsEmpty();
  if (Used == IERawClipboardFormat() && Masked) {
    if (Pasted.HasAlphaChannel()) {
      TIEBitmap* PieceAlpha = Piece.GetAlphaChannel();
      _IEBmpStretchEx(Pasted.GetAlphaChannel(), PieceAlpha);
      PieceAlpha->UpdateFullFlag();
      if (MergeAlpha) Mask->IntersectBitmap(PieceAlpha, Mask->GetX1(), Mask->GetY1(), false);
    }
    Piece.PasteMaskedTo(FIEBitmap, Mask);
  } else if (Stretch || !Masked) {
    Piece.CopyRectTo(FIEBitmap, 0, 0, X1, Y1, X2 - X1, Y2 - Y1);
  } else {
    Mask->CopyBitmap(FIEBitmap, &Piece, false, true, false);
  }
  Refresh();
  return true;
}
