#include "formats/ico/icon_handles.h"

#include <atomic>
#include <cstring>

#include "formats/ico/ico_reader.h"
#include "formats/io_params.h"
#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"

struct TIconHandleData {
  bool IsIcon = true;
  uint32_t HotX = 0;
  uint32_t HotY = 0;
  std::unique_ptr<TBitmap> Mask;
  std::unique_ptr<TBitmap> Color;
};

namespace {

std::unique_ptr<TBitmap> CopyOf(TBitmap* Source) {
  auto b = std::make_unique<TBitmap>();
  b->Assign(Source);
  return b;
}

void Put16(uint8_t* P, uint32_t V) { IEPutWord(P, V, false); }
void Put32(uint8_t* P, uint32_t V) { IEPutDWord(P, V, false); }

void HeaderBytes(const TIEBitmapInfoHeader& H, uint8_t* B) {
  Put32(B, H.biSize);
  Put32(B + 4, uint32_t(H.biWidth));
  Put32(B + 8, uint32_t(H.biHeight));
  Put16(B + 12, H.biPlanes);
  Put16(B + 14, H.biBitCount);
  Put32(B + 16, H.biCompression);
  Put32(B + 20, H.biSizeImage);
  Put32(B + 24, uint32_t(H.biXPelsPerMeter));
  Put32(B + 28, uint32_t(H.biYPelsPerMeter));
  Put32(B + 32, H.biClrUsed);
  Put32(B + 36, H.biClrImportant);
}

int32_t OwnBitCount(TBitmap* Bitmap) {
  switch (Bitmap->GetPixelFormat()) {
    case pf1bit: return 1;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

}  // namespace

HICON CreateIconIndirect(bool IsIcon, uint32_t HotX, uint32_t HotY, TBitmap* Mask, TBitmap* Color) {
  if (Mask == nullptr || Color == nullptr || Mask->GetWidth() != Color->GetWidth() ||
      Mask->GetHeight() != Color->GetHeight() || Color->GetWidth() <= 0 || Color->GetHeight() <= 0)
    return nullptr;
  auto icon = new TIconHandleData;
  icon->IsIcon = IsIcon;
  icon->HotX = HotX;
  icon->HotY = HotY;
  icon->Mask = CopyOf(Mask);
  if (icon->Mask->GetPixelFormat() != pf1bit) icon->Mask->SetPixelFormat(pf1bit);
  icon->Color = CopyOf(Color);
  return icon;
}

bool GetIconInfo(HICON Icon, TIconInfo& Info) {
  if (Icon == nullptr) return false;
  Info.fIcon = Icon->IsIcon;
  Info.xHotspot = Icon->HotX;
  Info.yHotspot = Icon->HotY;
  Info.hbmMask = CopyOf(Icon->Mask.get());
  Info.hbmColor = CopyOf(Icon->Color.get());
  return true;
}

bool DestroyIcon(HICON Icon) {
  delete Icon;
  return Icon != nullptr;
}

void IEGetBitmapInfoHeader(TBitmap* Bitmap, TIEBitmapInfoHeader& Header, int32_t Colors) {
  Header = TIEBitmapInfoHeader{};
  Header.biWidth = Bitmap->GetWidth();
  Header.biHeight = Bitmap->GetHeight();
  if (Colors == 2) {
    Header.biBitCount = 1;
  } else if (Colors >= 3 && Colors <= 16) {
    Header.biBitCount = 4;
    Header.biClrUsed = uint32_t(Colors);
  } else if (Colors >= 17 && Colors <= 256) {
    Header.biBitCount = 32;
  } else {
    Header.biBitCount = uint16_t(OwnBitCount(Bitmap));
  }
  Header.biPlanes = 1;
  Header.biClrImportant = std::min(Header.biClrImportant, Header.biClrUsed);
  Header.biSizeImage = uint32_t(IEBitmapRowLen(Header.biWidth, Header.biBitCount, 32) * std::abs(Header.biHeight));
}

void IEGetDIBSizes(TBitmap* Bitmap, int32_t& HeaderSize, int32_t& ImageSize, int32_t Colors) {
  TIEBitmapInfoHeader h;
  IEGetBitmapInfoHeader(Bitmap, h, Colors);
  if (h.biBitCount <= 8) HeaderSize = 40 + 4 * int32_t(h.biClrUsed != 0 ? h.biClrUsed : (1u << h.biBitCount));
  else HeaderSize = (h.biCompression & 3) != 0 ? 52 : 40;
  ImageSize = int32_t(h.biSizeImage);
}

bool IEGetDIB(TBitmap* Bitmap, TIEBitmapInfoHeader& Header, int32_t Colors, std::vector<uint8_t>& Bits) {
  IEGetBitmapInfoHeader(Bitmap, Header, Colors);
  const int32_t w = Header.biWidth, h = Header.biHeight;
  const int64_t rowLen = IEBitmapRowLen(w, Header.biBitCount, 32);
  if (Header.biBitCount != 1 && Header.biBitCount != 24 && Header.biBitCount != 32) return false;
  std::unique_ptr<TBitmap> converted;
  TBitmap* src = Bitmap;
  const TPixelFormat want = Header.biBitCount == 1 ? pf1bit : (Header.biBitCount == 24 ? pf24bit : pf32bit);
  const bool alpha = Bitmap->GetImage().hasAlphaChannel();
  if (src->GetPixelFormat() != want && !(want == pf32bit && alpha)) {
    converted = CopyOf(Bitmap);
    converted->SetPixelFormat(want);
    src = converted.get();
  }
  Bits.assign(size_t(rowLen * h), 0);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = Bits.data() + int64_t(h - 1 - y) * rowLen;
    if (want == pf32bit) {
      // The fourth byte is the pixel's alpha only when the bitmap has one.
      const QImage& img = src->GetImage();
      for (int32_t x = 0; x < w; ++x) {
        const QRgb p = img.pixel(x, y);
        d[4 * x] = uint8_t(qBlue(p));
        d[4 * x + 1] = uint8_t(qGreen(p));
        d[4 * x + 2] = uint8_t(qRed(p));
        d[4 * x + 3] = alpha ? uint8_t(qAlpha(p)) : 0;
      }
    } else {
      std::memcpy(d, src->GetScanLine(y), size_t(std::min<int64_t>(rowLen, src->GetBytesPerLine())));
    }
  }
  return true;
}

void IEIconToIcoStream(TMemoryStream* Stream, HICON Icon) {
  TIconInfo info;
  if (!GetIconInfo(Icon, info)) return;
  TIEBitmapInfoHeader maskHeader, colorHeader;
  std::vector<uint8_t> maskBits, colorBits;
  // A mask whose table is not black, white has its indices read as they are.
  if (!IEGetDIB(info.hbmMask.get(), maskHeader, 2, maskBits) ||
      !IEGetDIB(info.hbmColor.get(), colorHeader, 256, colorBits))
    return;
  uint8_t head[22] = {};
  Put16(head + 2, 1);
  Put16(head + 4, 1);
  head[6] = uint8_t(colorHeader.biWidth);
  head[7] = uint8_t(colorHeader.biHeight);
  Put16(head + 8, uint32_t(colorHeader.biPlanes * colorHeader.biBitCount));
  Put32(head + 14, uint32_t(40 + colorBits.size() + maskBits.size()));
  Put32(head + 18, 22);
  Stream->WriteBuffer(head, 22);
  colorHeader.biHeight *= 2;
  colorHeader.biSizeImage = uint32_t(colorBits.size() + maskBits.size());
  uint8_t hb[40];
  HeaderBytes(colorHeader, hb);
  Stream->WriteBuffer(hb, 40);
  Stream->WriteBuffer(colorBits.data(), int64_t(colorBits.size()));
  Stream->WriteBuffer(maskBits.data(), int64_t(maskBits.size()));
}

bool IETryIconToIcoStream(TMemoryStream* Stream, HICON Icon) {
  try {
    IEIconToIcoStream(Stream, Icon);
    return Stream->GetSize() > 0;
  } catch (...) {
    return false;
  }
}

void IEIconToBitmap(HICON Icon, TIEBitmap* Bitmap) {
  TMemoryStream stream;
  if (!IETryIconToIcoStream(&stream, Icon)) return;
  Bitmap->RemoveAlphaChannel();
  stream.SetPosition(0);
  TIOParamsVals params;
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TIEMask> mask;
  IcoReadStream(&stream, Bitmap, params, progress, false, mask, false);
  if (mask && !aborting) Bitmap->GetAlphaChannel()->CopyFromTIEMask(mask.get());
}

HICON IEGetFileIconHandle(const std::string&) { return nullptr; }

void IEFileIconToBitmap(const std::string& FileName, TIEBitmap* Bitmap) {
  HICON icon = IEGetFileIconHandle(FileName);
  if (icon == nullptr) return;
  IEIconToBitmap(icon, Bitmap);
  DestroyIcon(icon);
}
