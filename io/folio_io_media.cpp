// TFolioIO: loads that go beyond one codec call: GIF frames composed over
// the frames before them, video frames by index, media files frame by frame,
// metafiles, and the count of images in a file.
#include <algorithm>
#include <cmath>

#include "formats/codec_table.h"
#include "formats/gif/gif_codec.h"
#include "formats/media/direct_show.h"
#include "foundations/file_utils.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "io/finish_work.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "platform/devices/video_reader.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr uint16_t ReadMode = fmOpenRead | fmShareDenyWrite;

// The parameters of a frame taken from a video: 24-bit, the default
// resolution, the frame's size.
void SetVideoFrameParams(TIOParamsVals& P, int32_t Width, int32_t Height) {
  P.BitsPerSample = 8;
  P.SamplesPerPixel = 3;
  P.SetDpiX(IEDefaultDpiX);
  P.SetDpiY(IEDefaultDpiY);
  P.Width = P.StoredWidth = Width;
  P.Height = P.StoredHeight = Height;
  P.FreeColorMap();
}
}  // namespace

// ---------------------------------------------------------------------------
// GIF

int32_t TFolioIO::LoadGifFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadGifFile(FileName); });
    return -1;
  }
  FAborting = true;
  std::unique_ptr<TStream> Stream;
  try {
    Stream = std::make_unique<TIEWideFileStream>(FileName, ReadMode);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  const int32_t Frames = ReadGifStream(Stream.get());
  FParams->FileName = FileName;
  return Frames;
}

int32_t TFolioIO::LoadGifStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadGifStream(Stream); });
    return -1;
  }
  return ReadGifStream(Stream);
}

int32_t TFolioIO::ReadGifStream(TStream* Stream) {
  FAborting = false;
  if (!Stream || !PrepareBitmap()) {
    FAborting = true;
    DoFinishWork();
    return 0;
  }
  int32_t FrameCount = 0;
  WithFinish(this, [&] {
    TIOParamsVals& P = *FParams;
    P.ClearFileInfo();
    FIEBitmap->RemoveAlphaChannel(false);
    const int64_t Start = Stream->GetPosition();
    // The canvas on which frames are composed, and the previous frame's
    // rectangle and disposal.
    auto Canvas = std::make_unique<TIEBitmap>();
    Canvas->SetLocation(ieMemory);
    int32_t PrevDisposal = 0, PrevLeft = 0, PrevTop = 0, PrevWidth = 0, PrevHeight = 0;
    const int32_t Wanted = P.GifImageIndex;
    // Frames before the wanted one are decoded silently: progress is the
    // component's own, by frame.
    TIEProgressRec Progress = MakeProgress(Wanted >= 1);
    for (int32_t i = 0;; ++i) {
      auto Frame = std::make_unique<TIEBitmap>();
      Stream->SetPosition(Start);
      P.SetImageIndex(i);
      std::unique_ptr<TIEMask> Mask;
      GifReadStream(Stream, Frame.get(), FrameCount, P, Progress, false, Mask, false);
      const TIEPixelFormat FramePixelFormat = Frame->GetPixelFormat();
      FixMissingDpi();
      const int32_t FW = Frame->GetWidth(), FH = Frame->GetHeight();
      const int32_t ScreenW = std::max(P.GifScreenWidth, FW), ScreenH = std::max(P.GifScreenHeight, FH);
      if (Mask && !FAborting && !Frame->IsEmpty()) Frame->GetAlphaChannel()->CopyFromTIEMask(Mask.get());
      Mask.reset();
      TIEBitmap* Result = Frame.get();
      if (FrameCount > 1 && !FAborting && !Frame->IsEmpty()) {
        const TColor B = IERGBToColor(P.GifBackgroundColor);
        if (PrevDisposal == 2 && !Canvas->IsEmpty()) {
          // the previous frame asked for its rectangle to be cleared
          Canvas->FillRect(PrevLeft, PrevTop, PrevLeft + PrevWidth - 1, PrevTop + PrevHeight - 1, B);
          Canvas->GetAlphaChannel()->FillRect(PrevLeft, PrevTop, PrevLeft + PrevWidth - 1,
                                              PrevTop + PrevHeight - 1, 0);
        }
        if (Canvas->GetWidth() == 0) {
          if (!Canvas->Allocate(ScreenW, ScreenH, ie24RGB)) {
            FAborting = true;
            break;
          }
          Canvas->Fill(B);
          Canvas->GetAlphaChannel()->Fill(0);
        }
        if (Canvas->GetPixelFormat() != ie24RGB) Canvas->ConvertToPixelFormat(ie24RGB);
        if (Canvas->GetWidth() < ScreenW || Canvas->GetHeight() < ScreenH)
          Canvas->Resize(ScreenW, ScreenH, B, 255, 0, 0);
        // Transparent frame pixels leave the canvas as it was.
        Frame->RenderToTIEBitmap(Canvas.get(), nullptr, nullptr, nullptr, nullptr, P.GifFrameLeft, P.GifFrameTop,
                                 FW, FH, 0, 0, FW, FH, true, false, 255, rfNone, true, 0);
        Frame->MergeAlphaRectTo(Canvas.get(), 0, 0, P.GifFrameLeft, P.GifFrameTop, FW, FH);
        Canvas->GetAlphaChannel()->SetFull(false);
        PrevWidth = FW;
        PrevHeight = FH;
        PrevLeft = P.GifFrameLeft;
        PrevTop = P.GifFrameTop;
        Frame.reset();
        Result = Canvas.get();
        PrevDisposal = P.GifDisposalMethod;
        // the result is a whole screen
        P.GifDisposalMethod = 2;
        P.GifFrameLeft = P.GifFrameTop = 0;
      }
      if (FAborting) break;
      if (FrameCount > 0) {
        FIEBitmap->Assign(Result);
        if (FIEBitmap->GetPixelFormat() != FramePixelFormat) FIEBitmap->ConvertToPixelFormat(FramePixelFormat);
      }
      Frame.reset();
      if (OnProgress && FrameCount > 0) DoProgress(this, int32_t(i * (100.0 / FrameCount)));
      if (i + 1 >= FrameCount || i == Wanted) break;
    }
    Canvas.reset();
    P.SetImageIndex(Wanted);
    if (FAutoAdjustDPI && !FAborting) AdjustDpi();
    FBackground = IERGBToColor(P.GifTransparent ? P.GifTransparentColor : P.GifBackgroundColor);
    P.FileFormat = ioGIF;
    P.FileName.clear();
    UpdateAttached();
  });
  return FrameCount;
}

// ---------------------------------------------------------------------------
// Metafiles

void TFolioIO::LoadMetafileFile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadMetafileFile(FileName, Width, Height, WithAlpha); });
    return;
  }
  // No renderer: a clean failure, never a silent success.
  FAborting = true;
  DoFinishWork();
}

void TFolioIO::LoadMetafileStream(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha) {
  FAborting = true;
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Video frames by index

int32_t TFolioIO::OpenAviFile(const std::string& FileName) {
  FAborting = false;
  CloseAviFile();
  TIOParamsVals& P = *FParams;
  P.AviFrameCount = 0;
  P.FileName = FileName;
  P.FileFormat = ioUnknown;
  FAviReader = TVideoReader::Open(FileName);
  if (!FAviReader) {
    FAborting = true;
    return 0;
  }
  const int64_t Frames = FAviReader->GetFrameCount();
  P.AviFrameCount = int32_t(std::clamp<int64_t>(Frames, 0, INT32_MAX));
  const uint32_t Rate = FAviReader->GetRate(), Scale = FAviReader->GetScale();
  // A damaged header may state no rate: the duration is then unknown (0).
  P.AviFrameDuration = Rate > 0 && Scale > 0 ? int32_t(1000.0 / (double(Rate) / Scale)) : 0;
  return P.AviFrameCount;
}

void TFolioIO::LoadAviFrame(int32_t Index) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadAviFrame(Index); });
    return;
  }
  FAborting = false;
  WithFinish(this, [&] {
    if (!PrepareBitmap() || !FAviReader || Index < 0 || Index >= FParams->AviFrameCount) return;
    // A frame that cannot be decoded is a failure, not an unchanged image.
    if (!IEGetVideoFrame(*FAviReader, Index, FIEBitmap)) {
      FAborting = true;
      return;
    }
    SetVideoFrameParams(*FParams, FIEBitmap->GetWidth(), FIEBitmap->GetHeight());
    UpdateAttached();
  });
}

void TFolioIO::CloseAviFile() { FAviReader.reset(); }

// ---------------------------------------------------------------------------
// Media files

int32_t TFolioIO::OpenMediaFile(const std::string& FileName) {
  CloseMediaFile();
  FAborting = true;
  FMedia = std::make_unique<TIEDirectShow>();
  FMedia->SetFileInput(FileName);
  FMedia->SetSampleGrabber(true);
  FMedia->Connect();
  FMedia->Pause();
  FMedia->SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
  const int64_t D = FMedia->GetDuration();
  if (D == 0) return 0;
  FMedia->SetTimeFormat(TIEDirectShow::TimeFormatFrame);
  int64_t F = FMedia->GetDuration();
  const int64_t A = FMedia->GetAverageTimePerFrame();
  if (F != D) {
    FMediaFrameStep = 1;  // sought by frame
  } else if (A != 0) {
    // the frame format was not honoured: seek in media time
    F = D / A;
    FMediaFrameStep = A;
  } else {
    FMediaFrameStep = 1;
  }
  if (F <= 0) return 0;
  FMediaFrameTime = double(D) / 10000000.0 / double(F) * 1000.0;
  FAborting = false;
  TIOParamsVals& P = *FParams;
  P.MediaFrameCount = int32_t(std::min<int64_t>(F, INT32_MAX));
  P.FileFormat = ioUnknown;
  P.FileName = FileName;
  int32_t W = 0, H = 0;
  std::string FormatName;
  FMedia->GetCurrentVideoFormat(W, H, FormatName);
  P.Width = P.StoredWidth = W;
  P.Height = P.StoredHeight = H;
  return P.MediaFrameCount;
}

void TFolioIO::LoadMediaFrame(int32_t Index) {
  if (!FMedia || !FIEBitmap) return;
  FParams->SetImageIndex(Index);
  FMedia->SetCurrentPosition(int64_t(Index) * FMediaFrameStep);
  // A frame that cannot be grabbed is a failure, not an unchanged image.
  FAborting = !FMedia->GetSample(FIEBitmap, true);
  FParams->MediaFrameDuration = IERound(FMediaFrameTime);
  if (!FAborting) UpdateAttached();
}

void TFolioIO::CloseMediaFile() {
  if (!FMedia) return;
  FMedia->Disconnect();
  FMedia.reset();
}

// ---------------------------------------------------------------------------
// Images in a file

int32_t IEFileImageCount(const std::string& FileName) {
  const std::string Ext = IEFileExtensionW(FileName);
  const TIEFileFormatInfo* Entry = IEFindFormatByExtension(Ext);
  if (Entry && Entry->FormatId != ioUnknown && Entry->FormatId != ioAVI) {
    const TIECodec* Codec = IEFindCodec(Entry->FormatId);
    if (Codec && Codec->PageCount) {
      try {
        return IEFileImageCount(FileName, Entry->FormatId);
      } catch (const Exception&) {
        return 0;
      }
    }
    return 1;
  }
  // Video and unknown files: the frames the media object finds.
  TIEBitmap Scratch;
  auto IO = TFolioIO::CreateFromBitmap(&Scratch);
  const int32_t Frames = IO->OpenMediaFile(FileName);
  IO->CloseMediaFile();
  return Frames;
}

// ---------------------------------------------------------------------------
// Acquisition and settings

void TFolioIO::SetMonoConversion(uint8_t Value) {
  if (FIEBitmap) FIEBitmap->SetMonoConversion(Value);
  FMonoConversion = Value;
}

void TFolioIO::DoAcquireBitmap(TIEBitmap* Bitmap, bool& Handled) {
  if (OnAcquireBitmap) OnAcquireBitmap(this, Bitmap, Handled);
}

void TFolioIO::ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params) {
  if (!Bitmap || !PrepareBitmap()) return;
  bool Handled = false;
  DoAcquireBitmap(Bitmap, Handled);
  if (Handled) return;
  Params = FParams.get();
  FIEBitmap->Assign(Bitmap);
  if (FAutoAdjustDPI) AdjustDpi();
  UpdateAttached();
}
