#include "platform/gdi/bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/canvas.h"
#include "platform/gdi/dib.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

QList<QRgb> BlackWhiteTable() { return {qRgb(0, 0, 0), qRgb(255, 255, 255)}; }

QList<QRgb> GreyRamp() {
  QList<QRgb> t;
  t.reserve(256);
  for (int i = 0; i < 256; ++i) t.push_back(qRgb(i, i, i));
  return t;
}

TPixelFormat Canonical(TPixelFormat f) {
  switch (f) {
    case pfDevice:
    case pfCustom:
      return pf32bit;
    case pf4bit:
      return pf8bit;
    default:
      return f;
  }
}

// Index of the table colour closest to white (index 0 for an empty table).
int WhiteIndex(const QList<QRgb>& table) {
  int best = 0, bestDist = 1 << 30;
  for (int i = 0; i < table.size(); ++i) {
    const int d = (255 - qRed(table[i])) + (255 - qGreen(table[i])) + (255 - qBlue(table[i]));
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

void FillWhite(QImage& img) {
  if (img.isNull()) return;
  if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_Indexed8)
    img.fill(static_cast<uint>(WhiteIndex(img.colorTable())));
  else
    img.fill(Qt::white);
}

int64_t PhysicalMemoryBytes() {
  const int64_t Size = GetPhysicalMemorySize();
  return Size > 0 ? Size : int64_t(1) << 34;
}

}  // namespace

QImage::Format QImageFormatOfPixelFormat(TPixelFormat Format) {
  switch (Format) {
    case pf1bit:
      return QImage::Format_Mono;
    case pf4bit:
    case pf8bit:
      return QImage::Format_Indexed8;
    case pf15bit:
      return QImage::Format_RGB555;
    case pf16bit:
      return QImage::Format_RGB16;
    case pf24bit:
      return QImage::Format_BGR888;
    case pfDevice:
    case pf32bit:
      return QImage::Format_RGB32;
    case pfCustom:
      break;
  }
  return QImage::Format_Invalid;
}

TPixelFormat PixelFormatOfQImage(QImage::Format Format) {
  switch (Format) {
    case QImage::Format_Mono:
      return pf1bit;
    case QImage::Format_Indexed8:
      return pf8bit;
    case QImage::Format_RGB555:
      return pf15bit;
    case QImage::Format_RGB16:
      return pf16bit;
    case QImage::Format_BGR888:
      return pf24bit;
    case QImage::Format_RGB32:
      return pf32bit;
    default:
      return pfCustom;
  }
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int32_t TBitmap::GetWidth() const { return FImage.width(); }
int32_t TBitmap::GetHeight() const { return FImage.height(); }
void TBitmap::SetWidth(int32_t Value) { SetSize(Value, GetHeight()); }
void TBitmap::SetHeight(int32_t Value) { SetSize(GetWidth(), Value); }
bool TBitmap::GetEmpty() const { return FImage.isNull(); }

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == GetWidth() && AHeight == GetHeight()) return;
  const TPixelFormat pf = GetPixelFormat();
  QList<QRgb> table = FImage.isNull() ? FEmptyTable : FImage.colorTable();
  if (AWidth == 0 || AHeight == 0) {
    FEmptyTable = table;
    FPixelFormat = pf;
    FImage = QImage();
    Changed();
    return;
  }
  // Sizes beyond the machine's memory are refused before asking for them.
  const int64_t rowLen =
      DIBRowLength(AWidth, QImage::toPixelFormat(QImageFormatOfPixelFormat(pf)).bitsPerPixel());
  if (rowLen < 0 || rowLen * AHeight > PhysicalMemoryBytes()) return;
  QImage img(AWidth, AHeight, QImageFormatOfPixelFormat(pf));
  if (img.isNull()) return;  // the allocation failed: keep the old pixels
  if (pf == pf1bit && table.size() != 2) table = BlackWhiteTable();
  if (pf == pf8bit && table.isEmpty()) table = GreyRamp();
  if (pf == pf1bit || pf == pf8bit) img.setColorTable(table);
  FillWhite(img);
  if (!FImage.isNull()) {
    img.setDotsPerMeterX(FImage.dotsPerMeterX());
    img.setDotsPerMeterY(FImage.dotsPerMeterY());
    const int w = std::min(AWidth, FImage.width());
    const int h = std::min(AHeight, FImage.height());
    const int depth = img.depth();
    for (int y = 0; y < h; ++y) {
      const uchar* s = FImage.constScanLine(y);
      uchar* d = img.scanLine(y);
      if (depth == 1) {
        std::memcpy(d, s, static_cast<size_t>(w / 8));
        for (int x = w & ~7; x < w; ++x) {
          const uchar bit = static_cast<uchar>(0x80 >> (x & 7));
          d[x >> 3] = static_cast<uchar>((s[x >> 3] & bit) ? (d[x >> 3] | bit) : (d[x >> 3] & ~bit));
        }
      } else {
        std::memcpy(d, s, static_cast<size_t>(w) * static_cast<size_t>(depth / 8));
      }
    }
  }
  FImage = img;
  Changed();
}

TPixelFormat TBitmap::GetPixelFormat() const {
  if (FImage.isNull()) return FPixelFormat;
  return PixelFormatOfQImage(FImage.format());
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  Value = Canonical(Value);
  if (Value == GetPixelFormat()) return;
  if (FImage.isNull()) {
    FPixelFormat = Value;
    FEmptyTable = Value == pf1bit ? BlackWhiteTable() : Value == pf8bit ? GreyRamp() : QList<QRgb>();
    return;
  }
  QImage img;
  if (Value == pf1bit) {
    img = ThresholdToMono(FImage);
  } else if (Value == pf8bit) {
    img = FImage.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
  } else {
    img = FImage.convertToFormat(QImageFormatOfPixelFormat(Value));
  }
  if (img.isNull()) return;
  FImage = img;
  Changed();
}

bool TBitmap::GetMonochrome() const { return GetPixelFormat() == pf1bit; }
void TBitmap::SetMonochrome(bool Value) {
  if (Value) {
    SetPixelFormat(pf1bit);
  } else if (GetMonochrome()) {
    SetPixelFormat(pf32bit);
  }
}

uint8_t* TBitmap::GetScanLine(int32_t Row) {
  if (Row < 0 || Row >= GetHeight()) throw EInvalidGraphicOperation("Scan line index out of range");
  return FImage.scanLine(Row);
}

const uint8_t* TBitmap::GetScanLine(int32_t Row) const {
  if (Row < 0 || Row >= GetHeight()) throw EInvalidGraphicOperation("Scan line index out of range");
  return FImage.constScanLine(Row);
}

int32_t TBitmap::GetBytesPerLine() const {
  if (FImage.isNull()) return 0;
  return static_cast<int32_t>(FImage.bytesPerLine());
}

int32_t TBitmap::GetColorTableSize() const {
  const TPixelFormat pf = GetPixelFormat();
  if (pf != pf1bit && pf != pf8bit) return 0;
  return static_cast<int32_t>(FImage.isNull() ? FEmptyTable.size() : FImage.colorCount());
}

std::vector<TRGBQuad> TBitmap::GetColorTable() const {
  std::vector<TRGBQuad> out;
  const int n = GetColorTableSize();
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out.push_back(GetColorTableEntry(i));
  return out;
}

void TBitmap::SetColorTable(const std::vector<TRGBQuad>& Table) {
  const TPixelFormat pf = GetPixelFormat();
  if (pf != pf1bit && pf != pf8bit) return;
  const size_t limit = pf == pf1bit ? 2 : 256;
  QList<QRgb> t;
  for (size_t i = 0; i < Table.size() && i < limit; ++i)
    t.push_back(qRgb(Table[i].rgbRed, Table[i].rgbGreen, Table[i].rgbBlue));
  // Indices beyond the table must still name a colour.
  const size_t minimum = pf == pf1bit ? 2 : 256;
  while (static_cast<size_t>(t.size()) < minimum) t.push_back(qRgb(0, 0, 0));
  if (FImage.isNull())
    FEmptyTable = t;
  else
    FImage.setColorTable(t);
  Changed();
}

int64_t TBitmap::GetChangeKey() const { return FImage.cacheKey(); }

TRGBQuad TBitmap::GetColorTableEntry(int32_t Index) const {
  TRGBQuad q;
  const QList<QRgb>& t = FImage.isNull() ? FEmptyTable : FImage.colorTable();
  if (Index < 0 || Index >= t.size() || GetColorTableSize() == 0) return q;
  const QRgb c = t[Index];
  q.rgbRed = static_cast<uint8_t>(qRed(c));
  q.rgbGreen = static_cast<uint8_t>(qGreen(c));
  q.rgbBlue = static_cast<uint8_t>(qBlue(c));
  return q;
}

void TBitmap::SetColorTableEntry(int32_t Index, const TRGBQuad& Entry) {
  const int n = GetColorTableSize();
  if (Index < 0 || Index >= n) return;
  const QRgb c = qRgb(Entry.rgbRed, Entry.rgbGreen, Entry.rgbBlue);
  if (FImage.isNull())
    FEmptyTable[Index] = c;
  else
    FImage.setColor(Index, c);
  Changed();
}

QImage& TBitmap::GetImage() { return FImage; }
const QImage& TBitmap::GetImage() const { return FImage; }

void TBitmap::SetImage(const QImage& Image) {
  if (Image.isNull()) {
    FPixelFormat = GetPixelFormat();
    FImage = QImage();
    Changed();
    return;
  }
  QImage img;
  if (Image.format() == QImage::Format_MonoLSB)
    img = Image.convertToFormat(QImage::Format_Mono);
  else if (PixelFormatOfQImage(Image.format()) == pfCustom)
    img = Image.convertToFormat(QImage::Format_RGB32);
  else
    img = Image.copy();
  if (img.isNull()) return;
  FImage = img;
  Changed();
}

TCanvas* TBitmap::GetCanvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>(&FImage);
    FCanvas->OnChange = [this](TObject*) { Changed(); };
    FCanvas->SetMonochromeDevice(FHandleType == bmDDB);
  }
  return FCanvas.get();
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  FHandleType = Value;
  if (FCanvas) FCanvas->SetMonochromeDevice(Value == bmDDB);
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (const auto* b = dynamic_cast<const TBitmap*>(Source)) {
    FImage = b->FImage.copy();
    FPixelFormat = b->FPixelFormat;
    FEmptyTable = b->FEmptyTable;
    FTransparent = b->FTransparent;
    FTransparentMode = b->FTransparentMode;
    FTransparentColor = b->FTransparentColor;
    SetHandleType(b->FHandleType);
    Changed();
  } else if (Source == nullptr) {
    FImage = QImage();
    Changed();
  } else {
    TGraphic::Assign(Source);
  }
}

bool TBitmap::GetTransparent() const { return FTransparent; }
void TBitmap::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  Changed();
}
TTransparentMode TBitmap::GetTransparentMode() const { return FTransparentMode; }
void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (FTransparentMode == Value) return;
  FTransparentMode = Value;
  if (Value == tmAuto) FTransparentColor = clDefault;
  Changed();
}

TColor TBitmap::GetTransparentColor() const {
  if (FTransparentMode == tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  if (FImage.isNull()) return clWhite;
  return GetPixelColor(0, GetHeight() - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
  Changed();
}

TColor TBitmap::GetPixelColor(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= GetWidth() || Y >= GetHeight()) return clNone;
  const QRgb c = FImage.pixel(X, Y);
  return RGB(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
             static_cast<uint8_t>(qBlue(c)));
}

void TBitmap::Changed() { TGraphic::Changed(); }

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || FImage.isNull()) return;
  ACanvas->StretchFromImage(FImage, Rect.Left, Rect.Top, Rect.Right - Rect.Left,
                            Rect.Bottom - Rect.Top, 0, 0, GetWidth(), GetHeight(),
                            uint32_t(ACanvas->GetCopyMode()), FHandleType == bmDDB, clWhite,
                            FTransparent ? GetTransparentColor() : clNone);
}

namespace {

[[noreturn]] void BadBitmap() { throw EInvalidGraphic("Bitmap image is not valid"); }

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

void TBitmap::ReadData(TStream* Stream) {
  if (!Stream) return;
  const int64_t Start = Stream->GetPosition();
  const int64_t Left = Stream->GetSize() - Start;
  uint8_t Lead[4] = {0, 0, 0, 0};
  if (Left >= 4) Stream->ReadBuffer(Lead, 4);
  // A lead that counts exactly the bytes after it is the byte count; data
  // that starts as a bitmap file does otherwise is the file alone.
  const bool Counted = Left >= 4 && int64_t(Le32(Lead)) == Left - 4;
  if (!Counted && (Left < 4 || (Lead[0] == 'B' && Lead[1] == 'M'))) {
    Stream->SetPosition(Start);
  } else if (int64_t(Le32(Lead)) > Left - 4) {
    BadBitmap();
  }
  LoadFromStream(Stream);
}

void TBitmap::WriteData(TStream* Stream) {
  TMemoryStream File;
  SaveToStream(&File);
  const uint32_t N = static_cast<uint32_t>(File.GetSize());
  const uint8_t Lead[4] = {uint8_t(N), uint8_t(N >> 8), uint8_t(N >> 16), uint8_t(N >> 24)};
  Stream->WriteBuffer(Lead, 4);
  if (N > 0) Stream->WriteBuffer(File.GetMemory(), N);
}

void TBitmap::LoadFromStream(TStream* Stream) {
  if (!Stream) return;
  const int64_t start = Stream->GetPosition();
  const int64_t size = Stream->GetSize();
  auto remaining = [&] { return size - Stream->GetPosition(); };
  uint8_t fh[14];
  if (remaining() < 14 + 12) BadBitmap();
  Stream->ReadBuffer(fh, 14);
  if (fh[0] != 'B' || fh[1] != 'M') BadBitmap();
  const uint32_t offBits = Le32(fh + 10);
  uint8_t hs4[4];
  Stream->ReadBuffer(hs4, 4);
  const uint32_t hs = Le32(hs4);
  if (hs != 12 && (hs < 40 || hs > 4096)) BadBitmap();
  if (remaining() < int64_t(hs) - 4) BadBitmap();
  std::vector<uint8_t> block(hs);
  std::memcpy(block.data(), hs4, 4);
  Stream->ReadBuffer(block.data() + 4, int64_t(hs) - 4);
  // Masks and colour table follow the header; their length depends on it.
  const int64_t info = PackedDIBInfoSize(block.data(), block.size());
  if (info < 0 || remaining() < info - int64_t(hs)) BadBitmap();
  block.resize(size_t(info));
  Stream->ReadBuffer(block.data() + hs, info - int64_t(hs));
  TDIBLayout layout;
  if (!ReadPackedDIBLayout(block.data(), block.size(), layout, false)) BadBitmap();
  // Skip to the pixel rows when the file says they start further on.
  const int64_t consumed = Stream->GetPosition() - start;
  if (offBits > consumed && int64_t(offBits) - consumed <= remaining())
    Stream->Seek(int64_t(offBits) - consumed, soCurrent);
  const int32_t height = layout.Header.biHeight;
  const int64_t bits = layout.RowLength * (height < 0 ? -int64_t(height) : int64_t(height));
  // Nothing is allocated beyond what the stream holds.
  if (bits > remaining()) BadBitmap();
  block.resize(block.size() + size_t(bits));
  Stream->ReadBuffer(block.data() + info, bits);
  QImage img;
  if (!ParsePackedDIB(block.data(), block.size(), img)) BadBitmap();
  FImage = img;
  Changed();
}

void TBitmap::SaveToStream(TStream* Stream) {
  if (!Stream) return;
  int32_t bc = 32;
  switch (GetPixelFormat()) {
    case pf1bit: bc = 1; break;
    case pf4bit:
    case pf8bit: bc = 8; break;
    case pf15bit:
    case pf16bit:
    case pf24bit: bc = 24; break;
    default: bc = 32;
  }
  std::vector<uint8_t> dib;
  if (!FImage.isNull()) dib = CreatePackedDIB(FImage, bc, true);
  // An empty bitmap has no valid file form: it writes nothing.
  if (dib.empty()) return;
  const size_t table = bc <= 8 ? (size_t(4) << bc) : 0;
  uint8_t fh[14] = {'B', 'M'};
  const uint32_t total = uint32_t(14 + dib.size());
  const uint32_t off = uint32_t(14 + 40 + table);
  for (int i = 0; i < 4; ++i) {
    fh[2 + i] = uint8_t(total >> (8 * i));
    fh[10 + i] = uint8_t(off >> (8 * i));
  }
  Stream->WriteBuffer(fh, 14);
  Stream->WriteBuffer(dib.data(), int64_t(dib.size()));
}
