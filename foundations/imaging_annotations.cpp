#include "foundations/imaging_annotations.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/settings.h"
#include "platform/gdi/dib.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

int32_t ReadLE32(const uint8_t* P) { return int32_t(IEGetDWord(P, false)); }
void WriteLE32(uint8_t* P, int32_t V) { IEPutDWord(P, uint32_t(V), false); }

// Embedded images are written at 200 pixels per inch.
constexpr int32_t kDIBPixelsPerMeter = 7874;
// The scale a text block carries when this system writes it.
constexpr int32_t kTextScale = 7500;

// A named block's data, as a range of the tag data.
struct TBlock {
  int64_t Offset = 0;
  int64_t Size = 0;
};
using TBlockSet = std::map<std::string, TBlock>;

// ---- embedded images: packed DIB <-> TIEBitmap ----

bool IsGrayRamp(const QImage& Img) {
  if (Img.colorCount() != 256) return false;
  for (int i = 0; i < 256; ++i)
    if (Img.color(i) != qRgb(i, i, i)) return false;
  return true;
}

// Decodes a packed DIB: 1-bit into ie1g (white where the table's entry is the
// brighter one), a 256-level gray table into ie8g, other tables into ie8p,
// everything else into ie24RGB.  Null when the DIB cannot be read.
std::unique_ptr<TIEBitmap> DIBToBitmap(const uint8_t* Data, int64_t Size) {
  QImage img;
  if (Size <= 0 || !ParsePackedDIB(Data, size_t(Size), img)) return nullptr;
  const int32_t w = img.width(), h = img.height();
  auto bmp = std::make_unique<TIEBitmap>();
  if (img.format() == QImage::Format_Mono) {
    if (!bmp->Allocate(w, h, ie1g)) return nullptr;
    auto luma = [&](int i) {
      const QRgb c = i < img.colorCount() ? img.color(i) : qRgb(i * 255, i * 255, i * 255);
      return qRed(c) * 30 + qGreen(c) * 59 + qBlue(c) * 11;
    };
    const bool invert = luma(0) > luma(1);
    const int64_t bytes = (int64_t(w) + 7) / 8;
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* d = bmp->GetScanline(y);
      const uint8_t* s = img.constScanLine(y);
      for (int64_t i = 0; i < bytes; ++i) d[i] = invert ? uint8_t(~s[i]) : s[i];
    }
    return bmp;
  }
  if (img.format() == QImage::Format_Indexed8) {
    const bool gray = IsGrayRamp(img);
    if (!bmp->Allocate(w, h, gray ? ie8g : ie8p)) return nullptr;
    if (!gray)
      for (int i = 0; i < img.colorCount() && i < 256; ++i) {
        const QRgb c = img.color(i);
        bmp->SetPaletteColor(i, TRGB{uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))});
      }
    for (int32_t y = 0; y < h; ++y) std::memcpy(bmp->GetScanline(y), img.constScanLine(y), size_t(w));
    return bmp;
  }
  const QImage bgr = img.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull() || !bmp->Allocate(w, h, ie24RGB)) return nullptr;
  for (int32_t y = 0; y < h; ++y) std::memcpy(bmp->GetScanline(y), bgr.constScanLine(y), size_t(w) * 3);
  return bmp;
}

// Encodes Image as a bottom-up packed DIB: ie1g, ie8g, ie8p and ie24RGB as
// they are, other formats as 24-bit.  Empty when the image is empty or too
// large for a DIB.
std::vector<uint8_t> BitmapToDIB(TIEBitmap* Image) {
  if (Image == nullptr || Image->GetWidth() <= 0 || Image->GetHeight() <= 0) return {};
  const TIEPixelFormat pf = Image->GetPixelFormat();
  const int32_t w = Image->GetWidth(), h = Image->GetHeight();
  const int32_t bitCount = pf == ie1g ? 1 : (pf == ie8g || pf == ie8p) ? 8 : 24;
  const int64_t rowLen = DIBRowLength(w, bitCount);
  const int32_t tableN = bitCount == 24 ? 0 : 1 << bitCount;
  const int64_t total = 40 + int64_t(tableN) * 4 + rowLen * h;
  if (rowLen < 0 || total > INT32_MAX) return {};
  std::vector<uint8_t> out(size_t(total), 0);
  uint8_t* p = out.data();
  WriteLE32(p, 40);
  WriteLE32(p + 4, w);
  WriteLE32(p + 8, h);
  p[12] = 1;
  p[14] = uint8_t(bitCount);
  WriteLE32(p + 20, int32_t(rowLen * h));
  WriteLE32(p + 24, kDIBPixelsPerMeter);
  WriteLE32(p + 28, kDIBPixelsPerMeter);
  uint8_t* table = p + 40;
  for (int32_t i = 0; i < tableN; ++i) {
    TRGB c;
    if (pf == ie8p) c = Image->GetPaletteColor(i);
    else {
      const uint8_t v = bitCount == 1 ? uint8_t(i * 255) : uint8_t(i);
      c = TRGB{v, v, v};
    }
    table[4 * i] = c.b;
    table[4 * i + 1] = c.g;
    table[4 * i + 2] = c.r;
  }
  uint8_t* bits = table + int64_t(tableN) * 4;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = bits + int64_t(h - 1 - y) * rowLen;
    if (pf == ie1g || pf == ie8g || pf == ie8p || pf == ie24RGB) {
      const int64_t n = bitCount == 1 ? (int64_t(w) + 7) / 8 : int64_t(w) * (bitCount / 8);
      std::memcpy(d, Image->GetScanline(y), size_t(n));
    } else {
      for (int32_t x = 0; x < w; ++x) {
        const TRGB c = Image->GetPixelRGB(x, y);
        d[3 * x] = c.b;
        d[3 * x + 1] = c.g;
        d[3 * x + 2] = c.r;
      }
    }
  }
  return out;
}

// ---- writing ----

void PutInt(TStream& S, int32_t V) {
  uint8_t b[4];
  WriteLE32(b, V);
  S.WriteBuffer(b, 4);
}

// A record of type RecordType holding a named block; Body writes the data and
// the block's size is patched afterwards.
template <typename F>
void PutBlock(TStream& S, int32_t RecordType, const char* Name, F Body) {
  PutInt(S, RecordType);
  PutInt(S, 12);
  char name[8] = {};
  std::memcpy(name, Name, std::min(std::strlen(Name), sizeof(name)));
  S.WriteBuffer(name, 8);
  const int64_t sizePos = S.GetPosition();
  PutInt(S, 0);
  Body();
  const int64_t end = S.GetPosition();
  S.SetPosition(sizePos);
  PutInt(S, int32_t(end - sizePos - 4));
  S.SetPosition(end);
}

void PutTextBlock(TStream& S, int32_t RecordType, const char* Name, const std::string& Text) {
  PutBlock(S, RecordType, Name, [&] { S.WriteBuffer(Text.c_str(), int64_t(Text.size()) + 1); });
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEImagingObject

TIEImagingObject::TIEImagingObject() = default;
TIEImagingObject::~TIEImagingObject() = default;

void TIEImagingObject::Assign(const TIEImagingObject* Source) {
  if (Source == nullptr || Source == this) return;
  std::memcpy(Attributes, Source->Attributes, sizeof(Attributes));
  Points = Source->Points;
  Text = Source->Text;
  Image.reset();
  if (Source->Image) {
    Image = std::make_unique<TIEBitmap>();
    Image->Assign(Source->Image.get());
  }
}

int32_t TIEImagingObject::GetAttrInt(int32_t Offset) const {
  if (Offset < 0 || Offset + 4 > IEAnnotAttributesSize) return 0;
  return ReadLE32(Attributes + Offset);
}

void TIEImagingObject::SetAttrInt(int32_t Offset, int32_t Value) {
  if (Offset < 0 || Offset + 4 > IEAnnotAttributesSize) return;
  WriteLE32(Attributes + Offset, Value);
}

TRect TIEImagingObject::GetBounds() const {
  return TRect{GetAttrInt(4), GetAttrInt(8), GetAttrInt(12), GetAttrInt(16)};
}

void TIEImagingObject::SetBounds(const TRect& Value) {
  SetAttrInt(4, Value.Left);
  SetAttrInt(8, Value.Top);
  SetAttrInt(12, Value.Right);
  SetAttrInt(16, Value.Bottom);
}

// Colours are stored blue, green, red, 0; a TColor holds red in its low byte.
TColor TIEImagingObject::GetColor1() const {
  return TColor(Attributes[22] | (Attributes[21] << 8) | (Attributes[20] << 16));
}

void TIEImagingObject::SetColor1(TColor Value) {
  Attributes[20] = uint8_t(Value >> 16);
  Attributes[21] = uint8_t(Value >> 8);
  Attributes[22] = uint8_t(Value);
  Attributes[23] = 0;
}

TColor TIEImagingObject::GetColor2() const {
  return TColor(Attributes[26] | (Attributes[25] << 8) | (Attributes[24] << 16));
}

void TIEImagingObject::SetColor2(TColor Value) {
  Attributes[24] = uint8_t(Value >> 16);
  Attributes[25] = uint8_t(Value >> 8);
  Attributes[26] = uint8_t(Value);
  Attributes[27] = 0;
}

LOGFONT TIEImagingObject::GetLogFont() const {
  LOGFONT lf;
  std::memcpy(&lf, Attributes + 48, sizeof(lf));
  return lf;
}

void TIEImagingObject::SetLogFont(const LOGFONT& Value) { std::memcpy(Attributes + 48, &Value, sizeof(Value)); }

static_assert(48 + sizeof(LOGFONT) <= IEAnnotAttributesSize);

// ---------------------------------------------------------------------------
// TIEImagingAnnot

TIEImagingAnnot::TIEImagingAnnot(TIOParamsVals* Owner) : FOwner(Owner) {}

TIEImagingAnnot::~TIEImagingAnnot() = default;

void TIEImagingAnnot::Clear() { FObjects.clear(); }

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
  if (Source == this) return;
  Clear();
  if (Source == nullptr) return;
  for (const auto& o : Source->FObjects) AddObject()->Assign(o.get());
}

TIEImagingObject* TIEImagingAnnot::GetObject(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) return nullptr;
  return FObjects[size_t(Index)].get();
}

TIEImagingObject* TIEImagingAnnot::AddObject() {
  FObjects.push_back(std::make_unique<TIEImagingObject>());
  return FObjects.back().get();
}

void TIEImagingAnnot::DeleteObject(int32_t Index) {
  if (Index < 0 || Index >= GetCount()) return;
  FObjects.erase(FObjects.begin() + Index);
}

void TIEImagingAnnot::LoadFromTagData(const void* Data, int32_t Length) {
  if (Data == nullptr || Length <= 0) return;
  const uint8_t* d = static_cast<const uint8_t*>(Data);
  const int64_t len = Length;
  if (len >= 8) {
    const int32_t format = ReadLE32(d + 4);
    // Format 0 puts four more bytes between a block's size and its data.
    const int64_t blockHeader = format == 0 ? 16 : 12;

    uint8_t pending[IEAnnotAttributesSize] = {};
    TBlockSet defaults, blocks;

    // Reads a named block at Pos into Set; false when it does not fit.
    auto readBlock = [&](int64_t& Pos, TBlockSet& Set) {
      if (Pos + blockHeader > len) return false;
      const char* name = reinterpret_cast<const char*>(d + Pos);
      const std::string key(name, size_t(std::find(name, name + 8, '\0') - name));
      const int64_t size = ReadLE32(d + Pos + 8);
      const int64_t start = Pos + blockHeader;
      if (size < 0 || start + size > len) return false;
      Set[key] = TBlock{start, size};
      Pos = start + size;
      return true;
    };

    auto finish = [&] {
      const int32_t type = ReadLE32(pending);
      if (type < 1) return;
      TIEImagingObject* obj = AddObject();
      std::memcpy(obj->Attributes, pending, sizeof(pending));
      auto block = [&](const char* Name) -> const TBlock* {
        auto it = blocks.find(Name);
        return it == blocks.end() ? nullptr : &it->second;
      };
      if (type == ieaImageEmbedded) {
        if (const TBlock* b = block("OiDIB")) obj->Image = DIBToBitmap(d + b->Offset, b->Size);
      } else if (type == ieaStraightLine || type == ieaFreehandLine) {
        const TBlock* b = block("OiAnoDat");
        if (b && b->Size >= 8) {
          const int64_t count = ReadLE32(d + b->Offset + 4);
          if (count > 0 && 8 + count * 8 <= b->Size) {
            obj->Points.resize(size_t(count));
            const uint8_t* p = d + b->Offset + 8;
            for (int64_t i = 0; i < count; ++i, p += 8) obj->Points[size_t(i)] = TPoint{ReadLE32(p), ReadLE32(p + 4)};
          }
        }
      } else if (type >= ieaTypedText && type <= ieaAttachANote) {
        const TBlock* b = block("OiAnText");
        if (b && b->Size >= 16) {
          int32_t scale = ReadLE32(d + b->Offset + 8);
          if (scale == 0) scale = kTextScale;
          const char* t = reinterpret_cast<const char*>(d + b->Offset + 16);
          const char* e = t + (b->Size - 16);
          obj->Text.assign(t, std::find(t, e, '\0'));
          // The height was written for the block's scale; bring it to ours.
          LOGFONT lf = obj->GetLogFont();
          // Rounded up; a height beyond the Integer range saturates.
          const int32_t h = Trunc(1000.0L / scale * lf.lfHeight);
          lf.lfHeight = Trunc(std::ceil(static_cast<long double>(h) * kTextScale / 1000));
          obj->SetLogFont(lf);
        }
      }
    };

    int64_t pos = 8;
    while (pos < len) {
      if (pos + 8 > len) break;
      const int32_t type = ReadLE32(d + pos);
      const int64_t size = ReadLE32(d + pos + 4);
      pos += 8;
      bool ok = true;
      switch (type) {
        case 5:
          finish();
          blocks.clear();
          if (pos + IEAnnotAttributesSize > len) {
            ok = false;
            std::memset(pending, 0, sizeof(pending));
            break;
          }
          std::memcpy(pending, d + pos, sizeof(pending));
          pos += IEAnnotAttributesSize;
          break;
        case 2: ok = readBlock(pos, defaults); break;
        case 6: ok = readBlock(pos, blocks); break;
        default:
          // Records of other kinds are passed over by their size.
          ok = size >= 0 && pos + size <= len;
          pos += size;
          break;
      }
      if (!ok) break;
    }
    finish();
  }
  FModified = false;
}

void TIEImagingAnnot::SaveToTagData(std::unique_ptr<uint8_t[]>& Data, int32_t& Length) const {
  Data.reset();
  Length = 0;
  if (FObjects.empty()) return;
  TMemoryStream s;
  PutInt(s, 0);
  PutInt(s, 1);
  PutTextBlock(s, 2, "OiGroup", "0");
  PutTextBlock(s, 2, "OiIndex", "1");
  for (size_t i = 0; i < FObjects.size(); ++i) {
    TIEImagingObject* o = FObjects[i].get();
    PutInt(s, 5);
    PutInt(s, IEAnnotAttributesSize);
    s.WriteBuffer(o->Attributes, IEAnnotAttributesSize);
    const int32_t type = o->GetAnnotType();
    if (type == ieaImageEmbedded) {
      PutBlock(s, 6, "OiAnoDat", [&] {
        const int32_t head[8] = {1, 1000, IEScreenDpiX, IEScreenDpiY, IEScreenDpiX, IEScreenDpiY, 0, 0};
        for (int32_t v : head) PutInt(s, v);
        const uint8_t zeros[24] = {};
        s.WriteBuffer(zeros, sizeof(zeros));
      });
      const std::vector<uint8_t> dib = BitmapToDIB(o->Image.get());
      if (!dib.empty()) PutBlock(s, 6, "OiDIB", [&] { s.WriteBuffer(dib.data(), int64_t(dib.size())); });
    } else if (type == ieaStraightLine || type == ieaFreehandLine) {
      PutBlock(s, 6, "OiAnoDat", [&] {
        PutInt(s, o->GetPointCount());
        PutInt(s, o->GetPointCount());
        for (const TPoint& p : o->Points) {
          PutInt(s, p.X);
          PutInt(s, p.Y);
        }
      });
    } else if (type >= ieaTypedText && type <= ieaAttachANote) {
      PutBlock(s, 6, "OiAnText", [&] {
        PutInt(s, 0);
        PutInt(s, 1000);
        PutInt(s, kTextScale);
        PutInt(s, int32_t(o->Text.size()));
        s.WriteBuffer(o->Text.c_str(), int64_t(o->Text.size()) + 1);
      });
    }
    PutTextBlock(s, 6, "OiGroup", "0");
    PutTextBlock(s, 6, "OiIndex", IntToStr(int32_t(i)));
  }
  const int64_t size = s.GetSize();
  Data.reset(new uint8_t[size_t(size)]);
  std::memcpy(Data.get(), s.GetMemory(), size_t(size));
  Length = int32_t(size);
}
