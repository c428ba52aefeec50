#include "foundations/bit_expansion.h"

#include <cmath>
#include <cstring>

#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "platform/gdi/bitmap.h"

const uint8_t* IEBitExpansionTable() {
  static const struct Table {
    uint8_t Bytes[256 * 24];
    Table() {
      for (int v = 0; v < 256; ++v)
        for (int bit = 0; bit < 8; ++bit)
          std::memset(Bytes + v * 24 + bit * 3, (v & (0x80 >> bit)) ? 255 : 0, 3);
    }
  } table;
  return table.Bytes;
}

void IEExpand1BitRow(const uint8_t* Source, uint8_t* Dest, int32_t Width) {
  const uint8_t* table = IEBitExpansionTable();
  const int32_t whole = Width / 8;
  for (int32_t i = 0; i < whole; ++i) std::memcpy(Dest + size_t(i) * 24, table + Source[i] * 24, 24);
  if (const int32_t rest = Width % 8)
    std::memcpy(Dest + size_t(whole) * 24, table + Source[whole] * 24, size_t(rest) * 3);
}

namespace {

void Report(TIEProgressRec* Progress, int32_t Height, int32_t Row) {
  if (Progress) Progress->Report(int32_t(std::trunc(100.0 / (Height + 0.5) * (Row + 1))));
}

}  // namespace

void IEConvert1BitTo24Bit(TIEBitmap* Source, TIEBitmap* Dest, TIEProgressRec* Progress) {
  if (!Source || !Dest || Source == Dest || Source->GetPixelFormat() != ie1g || Source->IsEmpty())
    return;
  const int32_t width = Source->GetWidth(), height = Source->GetHeight();
  if (!Dest->Allocate(width, height, ie24RGB)) return;
  for (int32_t y = 0; y < height; ++y) {
    IEExpand1BitRow(Source->GetScanline(y), Dest->GetScanline(y), width);
    Report(Progress, height, y);
  }
}

void IEConvert1BitTBitmapTo24Bit(TBitmap* Source, TBitmap* Dest, TIEProgressRec* Progress) {
  if (!Source || !Dest || Source == Dest || Source->GetPixelFormat() != pf1bit) return;
  const int32_t width = Source->GetWidth(), height = Source->GetHeight();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(width, height);
  if (Dest->GetWidth() != width || Dest->GetHeight() != height) return;
  for (int32_t y = 0; y < height; ++y) {
    IEExpand1BitRow(Source->GetScanLine(y), Dest->GetScanLine(y), width);
    Report(Progress, height, y);
  }
  Dest->Changed();
}
