#include "formats/pnm/wbmp_codec.h"

#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_table.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/settings.h"
#include "platform/rtl/streams.h"

namespace {

struct TWbmpHeader {
  int32_t Type = -1;
  int32_t FixHeader = -1;
  int32_t Width = -1;
  int32_t Height = -1;
};

bool ReadHeader(TStream* Stream, TWbmpHeader& H) {
  H.Type = WbmpReadMultiByte(Stream);
  if (H.Type != 0) return false;
  H.FixHeader = WbmpReadMultiByte(Stream);
  if (H.FixHeader != 0) return false;
  H.Width = WbmpReadMultiByte(Stream);
  H.Height = WbmpReadMultiByte(Stream);
  return H.Width > 0 && H.Height > 0;
}

int64_t RowBytes(int64_t Width) { return (Width + 7) / 8; }

void WriteChecked(TStream* Stream, const void* Data, int64_t Count, TIEProgressRec& Progress) {
  if (Count > 0 && Stream->Write(Data, Count) != Count) Progress.SetAborting();
}

void WriteMultiByte(TStream* Stream, uint32_t Value, TIEProgressRec& Progress) {
  uint8_t bytes[5];
  int32_t n = 0;
  do {
    bytes[n++] = uint8_t(Value & 0x7F);
    Value >>= 7;
  } while (Value != 0);
  uint8_t out[5];
  for (int32_t i = 0; i < n; ++i) out[i] = uint8_t(bytes[n - 1 - i] | (i < n - 1 ? 0x80 : 0));
  WriteChecked(Stream, out, n, Progress);
}

}  // namespace

int32_t WbmpReadMultiByte(TStream* Stream) {
  int32_t value = 0;
  for (int32_t i = 0; i < 4; ++i) {
    uint8_t b = 0;
    if (Stream->Read(&b, 1) != 1) return -1;
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return value;
  }
  return -1;
}

bool IETryWbmp(TStream* Stream) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->GetPosition();
  bool ok = false;
  try {
    TWbmpHeader h;
    ok = ReadHeader(Stream, h) &&
         Stream->GetSize() - Stream->GetPosition() >= RowBytes(h.Width) * int64_t(h.Height);
  } catch (...) {
    ok = false;
  }
  Stream->Seek(start, soBeginning);
  return ok;
}

void WbmpReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool ParamsOnly) {
  TWbmpHeader h;
  if (!ReadHeader(Stream, h)) {
    Progress.SetAborting();
    return;
  }
  Params.BitsPerSample = 1;
  Params.SamplesPerPixel = 1;
  Params.Width = Params.StoredWidth = h.Width;
  Params.Height = Params.StoredHeight = h.Height;
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.FreeColorMap();
  if (ParamsOnly || Bitmap == nullptr) return;
  // The rows must all be there before a bitmap of the stated size is made.
  const int64_t rowBytes = RowBytes(h.Width);
  if (Stream->GetSize() - Stream->GetPosition() < rowBytes * h.Height ||
      !Bitmap->Allocate(h.Width, h.Height, ie1g)) {
    Progress.SetAborting();
    return;
  }
  for (int32_t y = 0; y < h.Height && !Progress.IsAborting(); ++y) {
    if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(y) * 100 / h.Height));
    if (Stream->Read(Bitmap->GetScanline(y), rowBytes) != rowBytes) Progress.SetAborting();
  }
}

void WbmpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
    Progress.SetAborting();
    return;
  }
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Bitmap;
  if (src->GetPixelFormat() != ie1g) {
    copy = std::make_unique<TIEBitmap>();
    copy->Assign(Bitmap);
    copy->ConvertToPixelFormat(ie1g);
    src = copy.get();
  }
  const int32_t width = src->GetWidth(), height = src->GetHeight();
  // Sizes are written whole: the multi-byte integers take any size, so the
  // image is never cut.
  WriteMultiByte(Stream, 0, Progress);
  WriteMultiByte(Stream, 0, Progress);
  WriteMultiByte(Stream, uint32_t(width), Progress);
  WriteMultiByte(Stream, uint32_t(height), Progress);
  const int64_t rowBytes = RowBytes(width);
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  for (int32_t y = 0; y < height && !Progress.IsAborting(); ++y) {
    if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(y) * 100 / height));
    std::memcpy(row.data(), src->GetScanline(y), size_t(rowBytes));
    WriteChecked(Stream, row.data(), rowBytes, Progress);
  }
}

namespace {

TIECodec MakeWbmpCodec() {
  TIECodec C;
  C.Format = ioWBMP;
  C.Probe = IETryWbmp;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    WbmpReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIEProgressRec& Progress) {
    WbmpWriteStream(Stream, Bitmap, Progress);
    return true;
  };
  return C;
}

const bool Registered = IERegisterCodec(MakeWbmpCodec());

}  // namespace
