// The GIF row of the codec table: single frames for the single-image
// component, frames by index and multi-frame files for the multi-image
// component.
#include <memory>

#include "formats/codec_table.h"
#include "formats/gif/gif_codec.h"
#include "formats/gif/gif_lzw.h"
#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"

namespace {

void ReadGif(const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
  GifReadStream(Request.Stream, Request.ParamsOnly ? nullptr : Request.Bitmap, Result.PageCount,
                *Request.Params, *Request.Progress, Request.ParamsOnly, Result.AlphaMask, Request.ParamsOnly);
}

// The frames of one file, counted once when it is opened.
class TGifPageReader : public TIECodecPageReader {
 public:
  explicit TGifPageReader(TStream* Stream) : FCount(GifFrameCount(Stream)) {}

  int32_t PageCount() override { return FCount; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    Request.Params->GifImageIndex = Index;
    ReadGif(Request, Result);
  }

 private:
  int32_t FCount;
};

// Frame 0 makes the file, every later frame goes in at the end, and the
// finished file gets the looping extension.
class TGifPageWriter : public TIECodecPageWriter {
 public:
  TGifPageWriter(TStream* Stream, TIEProgressRec& Progress)
      : FStream(Stream), FProgress(Progress), FStart(Stream->GetPosition()) {}

  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) override {
    // An alpha plane that hides nothing would only cost a palette entry.
    if (Bitmap->HasAlphaChannel()) {
      TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
      Alpha->UpdateFullFlag();
      if (Alpha->GetFull()) Bitmap->RemoveAlphaChannel();
    }
    FStream->SetPosition(FStart);
    bool Written;
    if (FPages == 0) {
      GifWriteStream(FStream, Bitmap, Params, FProgress);
      Written = !FProgress.IsAborting();
    } else {
      Params.GifImageIndex = FPages;
      Written = GifAppendFrame(FStream, Bitmap, Params, FProgress) > FPages;
    }
    if (Written) ++FPages;
    return Written;
  }

  void Finish() override {
    if (FPages == 0) return;
    FStream->SetPosition(FStart);
    GifSetLoopStream(FStream, 0, 0, 0);
  }

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  int64_t FStart;
  int32_t FPages = 0;
};

TIECodec MakeGifCodec() {
  // The coder sits behind hooks; until the library has a start-up of its own
  // the row installs them, so GIF works in every program that links it.
  IEInstallGifLzwHooks();
  TIECodec C;
  C.Format = ioGIF;
  C.Probe = IETryGif;
  C.Read = ReadGif;
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    GifWriteStream(Stream, Bitmap, Params, Progress);
    return !Progress.IsAborting();
  };
  C.PageCount = GifFrameCount;
  C.OpenPages = [](TStream* Stream) { return std::make_unique<TGifPageReader>(Stream); };
  C.CreatePages = [](TStream* Stream, int32_t, TIEProgressRec& Progress) {
    return std::make_unique<TGifPageWriter>(Stream, Progress);
  };
  return C;
}

const bool Registered = IERegisterCodec(MakeGifCodec());

}  // namespace
