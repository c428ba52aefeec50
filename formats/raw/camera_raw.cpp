#include "formats/raw/camera_raw.h"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/codec_table.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/raw/raw_embedded_info.h"
#include "formats/raw/raw_tone_curve.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "kernels/histogram.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

#ifdef FOLIVRA_HAVE_LIBRAW
#include <libraw.h>
#endif

namespace {

// The stream from its position to its end; empty when it cannot be read.
std::vector<uint8_t> WholeStream(TStream* Stream) {
  const int64_t pos = Stream->GetPosition();
  const int64_t n = Stream->GetSize() - pos;
  std::vector<uint8_t> data;
  if (n <= 0) return data;
  data.resize(size_t(n));
  if (Stream->Read(data.data(), n) != n) data.clear();
  Stream->Seek(pos, soBeginning);
  return data;
}

}  // namespace

#ifdef FOLIVRA_HAVE_LIBRAW

namespace {

struct TRawHandle {
  libraw_data_t* Data = libraw_init(0);
  ~TRawHandle() {
    if (Data) libraw_close(Data);
  }
};

int ProgressHook(void* User, enum LibRaw_progress, int, int) {
  // A set abort flag stops the decoder at its next step.
  return static_cast<TIEProgressRec*>(User)->IsAborting() ? 1 : 0;
}

// Decodes the decoder's embedded preview into Thumb; false when there is none.
bool LoadPreview(TRawHandle& H, TIEBitmap* Thumb) {
  if (libraw_unpack_thumb(H.Data) != LIBRAW_SUCCESS) return false;
  int err = 0;
  libraw_processed_image_t* t = libraw_dcraw_make_mem_thumb(H.Data, &err);
  if (!t) return false;
  bool ok = false;
  if (t->type == LIBRAW_IMAGE_JPEG) {
    TIEMemStream ms(t->data, int64_t(t->data_size));
    TIOParamsVals tmp;
    std::atomic<bool> abort{false};
    TIEProgressRec p;
    p.Aborting = &abort;
    JpegReadStream(&ms, Thumb, tmp, p, {.InvertCmyk = true});
    ok = !abort && !Thumb->IsEmpty();
  } else if (t->type == LIBRAW_IMAGE_BITMAP && t->bits == 8 && (t->colors == 3 || t->colors == 1) &&
             int64_t(t->width) * t->height * t->colors <= int64_t(t->data_size) &&
             Thumb->Allocate(t->width, t->height, ie24RGB)) {
    for (int32_t y = 0; y < t->height; ++y) {
      uint8_t* row = Thumb->GetScanline(y);
      const uint8_t* s = t->data + size_t(y) * t->width * t->colors;
      for (int32_t x = 0; x < t->width; ++x) {
        const uint8_t* px = s + size_t(x) * t->colors;
        row[3 * x + 2] = px[0];
        row[3 * x + 1] = px[t->colors == 3 ? 1 : 0];
        row[3 * x] = px[t->colors == 3 ? 2 : 0];
      }
    }
    ok = true;
  }
  libraw_dcraw_clear_mem(t);
  if (!ok) Thumb->FreeImage();
  return ok;
}


}  // namespace

bool CameraRawAvailable() { return true; }

bool IETryCameraRaw(TStream* Stream) {
  if (!Stream) return false;
  try {
    std::vector<uint8_t> data = WholeStream(Stream);
    if (data.size() < 16) return false;
    TRawHandle h;
    return h.Data && libraw_open_buffer(h.Data, data.data(), data.size()) == LIBRAW_SUCCESS;
  } catch (...) {
    return false;
  }
}

void RawReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRec& Progress) {
  try {
    std::vector<uint8_t> data = WholeStream(Stream);
    if (data.size() < 16) {
      Progress.SetAborting();
      return;
    }
    Progress.Report(0);
    // Files in the heap container carry the camera's strings and previews of
    // their own.
    RawReadEmbeddedInfo(data.data(), int64_t(data.size()), Params);

    TRawHandle h;
    if (!h.Data || libraw_open_buffer(h.Data, data.data(), data.size()) != LIBRAW_SUCCESS) {
      Progress.SetAborting();
      return;
    }
    libraw_output_params_t& o = h.Data->params;
    o.half_size = Params.RawHalfSize ? 1 : 0;
    const bool matchPreview =
        Params.RawMatchPreviewLevels && Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty();
    o.use_auto_wb = Params.RawUseAutoWB ? 1 : 0;
    o.use_camera_wb = Params.RawUseCameraWB ? 1 : 0;
    o.four_color_rgb = Params.RawFourColorRGB ? 1 : 0;
    o.user_qual = Params.RawQuickInterpolate ? 0 : 1;
    if ((Params.RawRedScale != 1.0 || Params.RawBlueScale != 1.0) && !Params.RawUseAutoWB &&
        !Params.RawUseCameraWB) {
      // The multipliers scale the camera's daylight balance.
      const float* pre = h.Data->color.pre_mul;
      const float g = pre[1] > 0 ? pre[1] : 1.0f;
      o.user_mul[0] = (pre[0] > 0 ? pre[0] : g) * float(std::clamp(Params.RawRedScale, 0.01, 100.0));
      o.user_mul[1] = g;
      o.user_mul[2] = (pre[2] > 0 ? pre[2] : g) * float(std::clamp(Params.RawBlueScale, 0.01, 100.0));
      o.user_mul[3] = pre[3] > 0 ? pre[3] : g;
    }
    libraw_set_progress_handler(h.Data, ProgressHook, &Progress);

    Params.RawCamera = std::string(h.Data->idata.make) + " " + h.Data->idata.model;
    Params.FreeColorMap();
    Params.SetDpiX(96);
    Params.SetDpiY(96);
    Params.SetImageCount(1);
    Params.BitsPerSample = Params.NativePixelFormat ? 16 : 8;
    Params.SamplesPerPixel = 3;
    // The output size as the processing will make it (half size, pixel
    // aspect and turned layouts included), less the border that demosaicing
    // leaves without neighbours.
    libraw_adjust_sizes_info_only(h.Data);
    const int32_t trim = h.Data->idata.filters != 0 && !Params.RawHalfSize ? 1 : 0;
    Params.Width = std::max(0, h.Data->sizes.iwidth - 2 * trim);
    Params.Height = std::max(0, h.Data->sizes.iheight - 2 * trim);
    Params.StoredWidth = Params.Width;
    Params.StoredHeight = Params.Height;

    if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TIEBitmap>();
    if (Params.ExifThumbnail->IsEmpty()) LoadPreview(h, Params.ExifThumbnail.get());
    if (ParamsOnly || !Bitmap) {
      Progress.Report(100);
      return;
    }
    if (Params.RawLoadThumbnail && !Params.ExifThumbnail->IsEmpty()) {
      Bitmap->Assign(Params.ExifThumbnail.get());
      Params.Width = Bitmap->GetWidth();
      Params.Height = Bitmap->GetHeight();
      Progress.Report(100);
      return;
    }

    // The data were consumed by the size query: open again for decoding.
    libraw_recycle(h.Data);
    if (libraw_open_buffer(h.Data, data.data(), data.size()) != LIBRAW_SUCCESS ||
        libraw_unpack(h.Data) != LIBRAW_SUCCESS) {
      Progress.SetAborting();
      return;
    }
    Progress.Report(40);
    // The decoder scales, white-balances, demosaics and converts to linear
    // RGB; the tone curve below is ours.
    if (libraw_dcraw_process(h.Data) != LIBRAW_SUCCESS || !h.Data->image) {
      Progress.SetAborting();
      return;
    }
    Progress.Report(85);
    const TRawLinear lin{h.Data->image, h.Data->sizes.iwidth, h.Data->sizes.iheight, h.Data->sizes.flip};
    const TRawCurve curve = MakeRawCurve(lin, std::string(h.Data->idata.make) == "FUJIFILM",
                                         matchPreview ? 0.5 : Params.RawBrightness, Params.RawGamma,
                                         Params.NativePixelFormat);
    if (!WriteRawCurve(lin, curve, trim, Params.NativePixelFormat, Bitmap)) {
      Progress.SetAborting();
      return;
    }
    const bool wide = Params.NativePixelFormat;
    // The decode was made darker on purpose: the preview's tones take over.
    if (matchPreview && Params.ExifThumbnail->GetPixelFormat() == ie24RGB)
      IEMatchHistograms(Params.ExifThumbnail.get(), Bitmap);
    // The parameters describe the bitmap that was made.
    Params.Width = Bitmap->GetWidth();
    Params.Height = Bitmap->GetHeight();
    Params.StoredWidth = Params.Width;
    Params.StoredHeight = Params.Height;
    Params.BitsPerSample = wide ? 16 : 8;
    Progress.Report(100);
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  } catch (const Exception&) {
    Progress.SetAborting();
  }
}

#else

bool CameraRawAvailable() { return false; }
bool IETryCameraRaw(TStream*) { return false; }
void RawReadStream(TStream* Stream, TIEBitmap*, TIOParamsVals& Params, bool, TIEProgressRec& Progress) {
  std::vector<uint8_t> data = WholeStream(Stream);
  RawReadEmbeddedInfo(data.data(), int64_t(data.size()), Params);
  Progress.SetAborting();
}

#endif

void IEReadCameraRawStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                           bool ParamsOnly) {
  RawReadStream(Stream, Bitmap, Params, ParamsOnly, Progress);
}

namespace {

TIECodec MakeCameraRawCodec() {
  TIECodec C;
  C.Format = ioRAW;
  C.Probe = IETryCameraRaw;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    RawReadStream(Request.Stream, Request.Bitmap, *Request.Params, Request.ParamsOnly, *Request.Progress);
  };
  return C;
}

// A build without the decoder library has no camera raw row.
const bool Registered = CameraRawAvailable() && IERegisterCodec(MakeCameraRawCodec());

}  // namespace
