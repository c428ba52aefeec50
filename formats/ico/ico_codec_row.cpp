// The icon and cursor rows of the codec table. An icon file is a directory of
// images: the multi-image component reads them as pages.
#include <memory>
#include <vector>

#include "formats/codec_table.h"
#include "formats/ico/ico_reader.h"
#include "formats/ico/ico_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"

namespace {

using TIconReadProc = void (*)(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool,
                               std::unique_ptr<TIEMask>&, bool);

// Reads one directory entry; its mask comes back only when it covers the
// image exactly, so the caller can take it as the alpha plane as it is.
void ReadIcon(TIconReadProc Read, const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
  TIEBitmap* Bitmap = Request.Bitmap;
  if (Bitmap != nullptr && !Request.ParamsOnly) Bitmap->RemoveAlphaChannel();
  std::unique_ptr<TIEMask> Mask;
  Read(Request.Stream, Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly, Mask,
       Request.ParamsOnly);
  if (Request.ParamsOnly || !Mask || Bitmap == nullptr) return;
  if (Bitmap->GetWidth() == Mask->GetWidth() && Bitmap->GetHeight() == Mask->GetHeight())
    Result.AlphaMask = std::move(Mask);
}

// The entries of one directory, as many as its header counts; a directory cut
// short ends at the first entry that cannot be read.
class TIcoPageReader : public TIECodecPageReader {
 public:
  explicit TIcoPageReader(TStream* Stream) : FCount(IETryIco(Stream) ? IcoImageCount(Stream) : 0) {}

  int32_t PageCount() override { return FCount; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    Request.Params->IcoImageIndex = Index;
    ReadIcon(IcoReadStream, Request, Result);
  }

 private:
  int32_t FCount;
};

TIECodec MakeIcoCodec() {
  TIECodec C;
  C.Format = ioICO;
  C.Probe = IETryIco;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    ReadIcon(IcoReadStream, Request, Result);
  };
  // One image per leading IcoWriteSizes entry with a width, at the bit count
  // of the matching IcoWriteBitDepths entry; the alpha plane marks the
  // transparent pixels.
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    std::vector<TSize> Sizes;
    std::vector<int32_t> Bits;
    for (int32_t i = 0; i < 16 && Params.IcoWriteSizes[i].cx > 0; ++i) {
      Sizes.push_back(Params.IcoWriteSizes[i]);
      Bits.push_back(Params.IcoWriteBitDepths[i]);
    }
    IcoWriteStream(Stream, Bitmap, Params, Progress, Sizes, Bits);
    return true;
  };
  C.PageCount = [](TStream* Stream) { return IETryIco(Stream) ? IcoImageCount(Stream) : 0; };
  C.OpenPages = [](TStream* Stream) { return std::make_unique<TIcoPageReader>(Stream); };
  return C;
}

TIECodec MakeCurCodec() {
  TIECodec C;
  C.Format = ioCUR;
  C.Probe = IETryCur;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    ReadIcon(CurReadStream, Request, Result);
  };
  C.PageCount = [](TStream* Stream) { return IETryCur(Stream) ? IcoImageCount(Stream) : 0; };
  return C;
}

const bool Registered = IERegisterCodec(MakeIcoCodec()) && IERegisterCodec(MakeCurCodec());

}  // namespace
