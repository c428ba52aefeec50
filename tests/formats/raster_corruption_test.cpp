// Every decoder survives damaged copies of a valid file: bytes flipped,
// sizes and counts overwritten, the end cut off.  Each read either fails
// through the abort flag or yields an image no larger than the header can
// justify from the data; none crashes or hangs (the sanitizer builds watch
// the memory).
#include <gtest/gtest.h>

#include <random>

#include "formats/ico/ico_reader.h"
#include "formats/ico/ico_writer.h"
#include "formats/png/png_codec.h"
#include "formats/pnm/pnm_codec.h"
#include "formats/pnm/wbmp_codec.h"
#include "formats/tga/tga_codec.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

struct Codec {
  const char* Name;
  Bytes File;
  TReadProc Read;
};

TEST(RasterCorruption, DamagedCopiesFailCleanly) {
  auto pic = ColourPicture(24, 18);
  for (int32_t y = 0; y < 18; ++y)
    for (int32_t x = 0; x < 24; ++x) pic->SetAlpha(x, y, uint8_t(x * 10));
  auto pnm = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) { PnmReadStream(S, B, P, R, false); };
  auto wbmp = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) { WbmpReadStream(S, B, P, R, false); };
  auto png = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) { PngReadStream(S, B, P, R, false); };
  auto tga = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    std::unique_ptr<TIEMask> m;
    TgaReadStream(S, B, P, R, false, m, false);
  };
  auto ico = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    std::unique_ptr<TIEMask> m;
    IcoReadStream(S, B, P, R, false, m, false);
  };
  auto cur = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    std::unique_ptr<TIEMask> m;
    CurReadStream(S, B, P, R, false, m, false);
  };
  std::vector<Codec> codecs;
  {
    TIOParamsVals p;
    codecs.push_back({"P6", WriteWith(PnmWriteStream, pic.get(), p), pnm});
    p.BitsPerSample = 16;
    codecs.push_back({"P6 16-bit", WriteWith(PnmWriteStream, pic.get(), p), pnm});
    const std::string p3 = "P3 3 2 255 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18\n";
    codecs.push_back({"P3", Bytes(p3.begin(), p3.end()), pnm});
  }
  {
    TIOParamsVals p;
    codecs.push_back({"WBMP", WriteWith([](TStream* S, TIEBitmap* B, TIOParamsVals&, TIEProgressRec& R) {
                        WbmpWriteStream(S, B, R);
                      }, pic.get(), p), wbmp});
  }
  for (int32_t spp : {3, 1}) {
    TIOParamsVals p;
    p.SamplesPerPixel = spp;
    p.PngInterlaced = spp == 1;
    TIEMask mask;
    pic->GetAlphaChannel()->CopyToTIEMask(&mask);
    codecs.push_back({"PNG", WriteWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
                        PngWriteStream(S, B, P, R, &mask);
                      }, pic.get(), p), png});
  }
  for (int32_t spp : {3, 1}) {
    TIOParamsVals p;
    p.SamplesPerPixel = spp;
    p.TgaCompressed = true;
    codecs.push_back({"TGA", WriteWith([](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
                        TgaWriteStream(S, B, P, R, nullptr);
                      }, pic.get(), p), tga});
  }
  {
    TIOParamsVals p;
    Bytes ico8 = WriteWith([](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
      IcoWriteStream(S, B, P, R, {{24, 18}, {16, 16}}, {8, 32});
    }, pic.get(), p);
    codecs.push_back({"ICO", ico8, ico});
    Bytes asCur = ico8;
    asCur[2] = 2;
    codecs.push_back({"CUR", asCur, cur});
  }
  std::mt19937 rng(17);
  for (const Codec& c : codecs) {
    SCOPED_TRACE(c.Name);
    ASSERT_FALSE(ReadWith(c.Read, c.File)->Aborting);
    for (int32_t round = 0; round < 300; ++round) {
      Bytes bad = c.File;
      switch (round % 3) {
        case 0:  // a few random bytes
          for (int32_t k = 0; k < 1 + int32_t(rng() % 4); ++k) bad[rng() % bad.size()] = uint8_t(rng());
          break;
        case 1: {  // a 16- or 32-bit field near the start made huge or zero
          const size_t at = rng() % std::min<size_t>(bad.size(), 64);
          const uint8_t v = (rng() & 1) ? 0xFF : 0x00;
          for (size_t k = at; k < std::min(bad.size(), at + 4); ++k) bad[k] = v;
          break;
        }
        default:  // the end cut off
          bad.resize(rng() % bad.size());
          break;
      }
      auto r = ReadWith(c.Read, bad);
      // A decoded image never claims more than the data could describe.
      EXPECT_LE(int64_t(r->Bitmap->GetWidth()) * r->Bitmap->GetHeight(), int64_t(bad.size()) * 8 * 1040 + (1 << 20));
    }
  }
}

}  // namespace
