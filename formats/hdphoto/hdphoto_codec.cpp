#include "formats/hdphoto/hdphoto_codec.h"

#include <atomic>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/codec_table.h"
#include "formats/jpeg/exif_block.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

#ifdef FOLIVRA_HAVE_JXR
#include <JXRGlue.h>
// The library's headers define these as macros of their own.
#undef Report
#undef min
#undef max
#endif

namespace {

[[maybe_unused]] std::vector<uint8_t> WholeStream(TStream* Stream) {
  const int64_t n = Stream->GetSize() - Stream->GetPosition();
  std::vector<uint8_t> d;
  if (n <= 0) return d;
  d.resize(size_t(n));
  if (Stream->Read(d.data(), n) != n) d.clear();
  return d;
}

}  // namespace

bool IETryHDP(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  uint8_t h[4];
  const bool ok = Stream->Read(h, 4) == 4 && h[0] == 'I' && h[1] == 'I' && h[2] == 0xBC && h[3] <= 1;
  Stream->Seek(pos, soBeginning);
  return ok;
}

#ifdef FOLIVRA_HAVE_JXR

namespace {

struct TFormatMap {
  const PKPixelFormatGUID* Guid;
  TIEPixelFormat Format;
};
const TFormatMap kFormats[] = {
    {&GUID_PKPixelFormatBlackWhite, ie1g},  {&GUID_PKPixelFormat8bppGray, ie8g},
    {&GUID_PKPixelFormat16bppGray, ie16g},  {&GUID_PKPixelFormat24bppBGR, ie24RGB},
    {&GUID_PKPixelFormat48bppRGB, ieRGB48}, {&GUID_PKPixelFormat32bppCMYK, ieCMYK},
};

bool SameGuid(const PKPixelFormatGUID& A, const PKPixelFormatGUID& B) { return std::memcmp(&A, &B, sizeof(A)) == 0; }

// Holds the library objects of one run and releases them on every path.
struct TDecodeRun {
  struct WMPStream* Stream = nullptr;
  PKImageDecode* Decoder = nullptr;
  PKFormatConverter* Converter = nullptr;
  ~TDecodeRun() {
    if (Converter) Converter->Release(&Converter);
    if (Decoder) Decoder->Release(&Decoder);
    if (Stream) Stream->Close(&Stream);
  }
};

// A temporary file name for the encoder's output (the library writes to a
// stream of its own).
std::string TempName() {
  const char* dir = std::getenv("TMPDIR");
  std::string t = std::string(dir && *dir ? dir : "/tmp") + "/folivra-hdp-XXXXXX";
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back(0);
  const int fd = mkstemp(buf.data());
  if (fd < 0) return {};
  close(fd);
  return buf.data();
}

}  // namespace

bool IEHdPhotoAvailable() { return true; }

void HdpReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  try {
    if (!IETryHDP(Stream)) {
      Progress.SetAborting();
      return;
    }
    std::vector<uint8_t> data = WholeStream(Stream);
    TDecodeRun run;
    if (data.size() < 16 || Failed(CreateWS_Memory(&run.Stream, data.data(), data.size())) ||
        Failed(PKImageDecode_Create_WMP(&run.Decoder)) || Failed(run.Decoder->Initialize(run.Decoder, run.Stream))) {
      Progress.SetAborting();
      return;
    }
    // The container is TIFF-structured: its camera and EXIF fields read
    // like a TIFF page's, before the image fields are filled below.
    const int64_t end = Stream->GetPosition();
    Stream->Seek(end - int64_t(data.size()), soBeginning);
    IEReadTiffExifParams(Stream, &Params);
    Stream->Seek(end, soBeginning);
    U32 frames = 1;
    run.Decoder->GetFrameCount(run.Decoder, &frames);
    const U32 frame = U32(std::clamp<int64_t>(Params.ImageIndex, 0, std::max<U32>(frames, 1) - 1));
    if (frame > 0) run.Decoder->SelectFrame(run.Decoder, frame);
    I32 w = 0, h = 0;
    run.Decoder->GetSize(run.Decoder, &w, &h);
    Float rx = 96, ry = 96;
    run.Decoder->GetResolution(run.Decoder, &rx, &ry);
    PKPixelFormatGUID source;
    run.Decoder->GetPixelFormat(run.Decoder, &source);
    if (w <= 0 || h <= 0 || int64_t(w) * h > (int64_t(1) << 28)) {
      Progress.SetAborting();
      return;
    }
    // Choose the bitmap format: the file's own when it is one of ours and
    // native formats are asked for (black and white always), else 24-bit.
    TIEPixelFormat pf = ie24RGB;
    const PKPixelFormatGUID* target = &GUID_PKPixelFormat24bppBGR;
    for (const auto& m : kFormats)
      if (SameGuid(source, *m.Guid) && (Params.NativePixelFormat || m.Format == ie1g)) {
        pf = m.Format;
        target = m.Guid;
      }
    if (Failed(PKCodecFactory_CreateFormatConverter(&run.Converter)) ||
        Failed(run.Converter->Initialize(run.Converter, run.Decoder, nullptr, *target))) {
      Progress.SetAborting();
      return;
    }
    const int64_t stride = (int64_t(w) * IEBitCountOf(pf) + 7) / 8;
    const int64_t alignedStride = (stride + 3) / 4 * 4;
    std::vector<uint8_t> pixels(size_t(alignedStride * h));
    PKRect rect = {0, 0, w, h};
    if (Failed(run.Converter->Copy(run.Converter, &rect, pixels.data(), U32(alignedStride)))) {
      Progress.SetAborting();
      return;
    }
    Params.SetImageCount(int32_t(std::max<U32>(frames, 1)));
    Params.Width = w;
    Params.Height = h;
    Params.StoredWidth = w;
    Params.StoredHeight = h;
    Params.BitsPerSample = pf == ie1g ? 1 : pf == ie16g || pf == ieRGB48 ? 16 : 8;
    Params.SamplesPerPixel = IEChannelCountOf(pf);
    Params.SetDpiX(int32_t(rx));
    Params.SetDpiY(int32_t(ry));
    if (!Bitmap) return;
    if (!Bitmap->Allocate(w, h, pf)) {
      Progress.SetAborting();
      return;
    }
    for (I32 y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->GetScanline(y);
      std::memcpy(row, pixels.data() + size_t(y) * size_t(alignedStride), size_t(stride));
      // The file holds ink amounts; the bitmap holds CMYK inverted.
      if (pf == ieCMYK)
        for (int64_t i = 0; i < stride; ++i) row[i] = uint8_t(255 - row[i]);
    }
    Progress.Report(100);
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  }
}

void HdpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  if (!Bitmap || Bitmap->IsEmpty()) {
    Progress.SetAborting();
    return;
  }
  Progress.Report(0);
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  const PKPixelFormatGUID* guid = nullptr;
  for (const auto& m : kFormats)
    if (m.Format == pf) guid = m.Guid;
  if (!guid) {
    Progress.SetAborting();
    return;
  }
  const std::string tmp = TempName();
  if (tmp.empty()) {
    Progress.SetAborting();
    return;
  }
  const int64_t start = Stream->GetPosition();
  bool ok = false;
  {
    struct WMPStream* ws = nullptr;
    PKImageEncode* enc = nullptr;
    if (!Failed(CreateWS_File(&ws, tmp.c_str(), "wb")) && !Failed(PKImageEncode_Create_WMP(&enc))) {
      CWMIStrCodecParam p;
      std::memset(&p, 0, sizeof(p));
      p.bVerbose = FALSE;
      p.cfColorFormat = pf == ie1g || pf == ie8g || pf == ie16g ? Y_ONLY : pf == ieCMYK ? CMYK : YUV_444;
      p.bdBitDepth = BD_LONG;
      p.bfBitstreamFormat = FREQUENCY;
      p.bProgressiveMode = TRUE;
      p.olOverlap = OL_ONE;
      p.sbSubband = SB_ALL;
      p.uAlphaMode = 0;
      p.bBlackWhite = pf == ie1g;
      // Quality 1 (or lossless) is quantiser 1; lower qualities step up to
      // coarser quantisers.
      const double q = Params.HdpLossless ? 1.0 : std::clamp(Params.HdpImageQuality, 0.0, 1.0);
      p.uiDefaultQPIndex = U8(q >= 1.0 ? 1 : std::clamp(int32_t((1.0 - q) * 120) + 2, 2, 255));
      const int64_t stride = (int64_t(Bitmap->GetWidth()) * IEBitCountOf(pf) + 7) / 8;
      std::vector<uint8_t> pixels(size_t(stride) * size_t(Bitmap->GetHeight()));
      for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        uint8_t* d = pixels.data() + size_t(y) * size_t(stride);
        std::memcpy(d, Bitmap->GetScanline(y), size_t(stride));
        if (pf == ieCMYK)
          for (int64_t i = 0; i < stride; ++i) d[i] = uint8_t(255 - d[i]);
      }
      if (!Failed(enc->Initialize(enc, ws, &p, sizeof(p))) && !Failed(enc->SetPixelFormat(enc, *guid)) &&
          !Failed(enc->SetSize(enc, Bitmap->GetWidth(), Bitmap->GetHeight())) &&
          !Failed(enc->SetResolution(enc, Float(std::max(1, Params.DpiX)), Float(std::max(1, Params.DpiY)))) &&
          !Failed(enc->WritePixels(enc, U32(Bitmap->GetHeight()), pixels.data(), U32(stride))))
        ok = true;
      ws = nullptr;  // the encoder owns and closes it
      enc->Release(&enc);
    }
    if (ws) ws->Close(&ws);
  }
  if (ok) {
    try {
      TFileStream f(tmp, fmOpenRead);
      const int64_t n = f.GetSize();
      std::vector<uint8_t> bytes(size_t(std::max<int64_t>(n, 0)));
      ok = n > 0 && f.Read(bytes.data(), n) == n;
      if (ok) Stream->WriteBuffer(bytes.data(), n);
    } catch (const Exception&) {
      ok = false;
    }
  }
  std::remove(tmp.c_str());
  if (!ok) {
    Progress.SetAborting();
    return;
  }
  // The camera and EXIF fields of the parameters go into the written file's
  // directory, as in a TIFF page.
  if (Params.ExifPresent) {
    try {
      Stream->Seek(start, soBeginning);
      TiffInjectExif(Stream, Stream, "", &Params, 0, "");
    } catch (const Exception&) {
      Progress.SetAborting();
      return;
    }
  }
  Progress.Report(100);
}

int32_t HdpPageCount(TStream* Stream) {
  try {
    const int64_t pos = Stream->GetPosition();
    TIOParamsVals p;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    HdpReadStream(Stream, nullptr, p, pr);
    Stream->Seek(pos, soBeginning);
    return abort ? 0 : p.ImageCount;
  } catch (const Exception&) {
    return 0;
  }
}

int32_t HdpFilePageCount(const std::string& FileName) {
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return HdpPageCount(&f);
  } catch (const Exception&) {
    return 0;
  }
}

#else

bool IEHdPhotoAvailable() { return false; }
void HdpReadStream(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Progress) { Progress.SetAborting(); }
void HdpWriteStream(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Progress) { Progress.SetAborting(); }
int32_t HdpPageCount(TStream*) { return 0; }
int32_t HdpFilePageCount(const std::string&) { return 0; }

#endif

void IEReadHDPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  HdpReadStream(Stream, ParamsOnly ? nullptr : Bitmap, Params, Progress);
}
void IEWriteHDPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  HdpWriteStream(Stream, Bitmap, Params, Progress);
}

namespace {

// The frames of one file, each read from the start of the file.
class THdpPageReader : public TIECodecPageReader {
 public:
  explicit THdpPageReader(TStream* Stream) : FCount(HdpPageCount(Stream)) {}

  int32_t PageCount() override { return FCount; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    Request.Params->SetImageIndex(Index);
    IEReadHDPStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
    Result.PageCount = FCount;
  }

 private:
  int32_t FCount;
};

TIECodec MakeHdpCodec() {
  TIECodec C;
  C.Format = ioHDP;
  C.Probe = IETryHDP;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    IEReadHDPStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
    if (!Request.Progress->IsAborting()) Result.PageCount = Request.Params->ImageCount;
  };
  // The writer keeps every pixel format it can write and refuses the rest
  // itself: no conversion before it.
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    IEWriteHDPStream(Stream, Bitmap, Params, Progress);
    return !Progress.IsAborting();
  };
  C.PageCount = HdpPageCount;
  C.OpenPages = [](TStream* Stream) { return std::make_unique<THdpPageReader>(Stream); };
  return C;
}

// A build without the library has no HD Photo row.
const bool Registered = IEHdPhotoAvailable() && IERegisterCodec(MakeHdpCodec());

}  // namespace
