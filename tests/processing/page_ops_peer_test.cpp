// Negative, mirroring and quarter turns of the processing component checked
// pixel for pixel against ImageMagick and Pillow on the same 24-bit and
// 1-bit pages.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "processing/folio_proc.h"
#include "support/peer_fixture.h"
#include "support/pnm_image.h"

namespace {

using testsupport::FormatPnm;
using testsupport::ParsePnm;
using testsupport::PnmImage;

// An odd-sized page whose every pixel differs from its neighbours, so a
// pixel moved to the wrong place shows.
std::unique_ptr<TIEBitmap> ColourPage() {
  auto B = std::make_unique<TIEBitmap>(37, 23, ie24RGB);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 7 + y), uint8_t(y * 11 + 3 * x), uint8_t(x * y + 5)});
  return B;
}

// 1-bit, 13 pixels wide so rows end inside a byte.
std::unique_ptr<TIEBitmap> FaxPage() {
  auto B = std::make_unique<TIEBitmap>(13, 9, ie1g);
  for (int32_t y = 0; y < 9; ++y) {
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < 13; ++x)
      if ((x * 5 + y * 3) % 7 < 3) R[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return B;
}

PnmImage ToPnm(TIEBitmap* B) {
  PnmImage P;
  P.Width = B->GetWidth();
  P.Height = B->GetHeight();
  P.Kind = B->GetPixelFormat() == ie1g ? '4' : '6';
  for (int32_t y = 0; y < P.Height; ++y) {
    const uint8_t* S = B->GetScanline(y);
    if (P.Kind == '4') {
      // netpbm stores 1 for black, the page 1 for white; pad bits stay 0.
      for (int32_t i = 0; i < P.RowBytes(); ++i) {
        uint8_t V = uint8_t(~S[i]);
        if (i == P.RowBytes() - 1 && P.Width % 8) V &= uint8_t(0xFF << (8 - P.Width % 8));
        P.Data.push_back(V);
      }
    } else {
      for (int32_t x = 0; x < P.Width; ++x) {
        P.Data.push_back(S[3 * x + 2]);
        P.Data.push_back(S[3 * x + 1]);
        P.Data.push_back(S[3 * x]);
      }
    }
  }
  return P;
}

class PageOpsPeer : public testsupport::PeerToolTest {
 protected:
  // Runs the peer command (IN and OUT stand for the files) and our
  // operation on the same page and compares every pixel.
  void Check(TIEBitmap* Page, const std::string& PeerCmd, const std::function<void(TFolioProc&)>& Op) {
    const bool Bits1 = Page->GetPixelFormat() == ie1g;
    const std::string In = File(Bits1 ? "in.pbm" : "in.ppm"), Out = File(Bits1 ? "out.pbm" : "out.ppm");
    testsupport::WriteFileBytes(In, FormatPnm(ToPnm(Page)));
    std::string Cmd = PeerCmd;
    for (auto [Key, Val] : {std::pair<std::string, std::string>{"IN", In}, {"OUT", Out}})
      for (size_t At; (At = Cmd.find(Key)) != std::string::npos;) Cmd.replace(At, Key.size(), Val);
    Run(Cmd);
    if (HasFatalFailure()) return;
    const PnmImage Theirs = ParsePnm(testsupport::ReadFileBytes(Out));
    TIEBitmap Ours;
    Ours.Assign(Page);
    auto Proc = TFolioProc::CreateFromBitmap(&Ours);
    Op(*Proc);
    ASSERT_EQ(Ours.GetPixelFormat(), Page->GetPixelFormat()) << PeerCmd;
    const PnmImage Mine = ToPnm(&Ours);
    ASSERT_EQ(Mine.Width, Theirs.Width) << PeerCmd;
    ASSERT_EQ(Mine.Height, Theirs.Height) << PeerCmd;
    ASSERT_EQ(Mine.Kind, Theirs.Kind) << PeerCmd;
    EXPECT_TRUE(Mine.Data == Theirs.Data) << PeerCmd;
  }
};

struct TCase {
  const char* Magick;  // ImageMagick options
  const char* Pillow;  // a Pillow expression on the image im
  std::function<void(TFolioProc&)> Op;
};

const TCase Cases[] = {
    {"-negate", "ImageOps.invert(im)", [](TFolioProc& P) { P.Negative(); }},
    {"-flop", "im.transpose(Image.Transpose.FLIP_LEFT_RIGHT)", [](TFolioProc& P) { P.Flip(flipHorizontal); }},
    {"-flip", "im.transpose(Image.Transpose.FLIP_TOP_BOTTOM)", [](TFolioProc& P) { P.Flip(flipVertical); }},
    // ImageMagick turns clockwise for positive angles, the page component
    // counter-clockwise.
    {"-rotate -90", "im.transpose(Image.Transpose.ROTATE_90)", [](TFolioProc& P) { P.Rotate(90, true); }},
    {"-rotate 90", "im.transpose(Image.Transpose.ROTATE_270)", [](TFolioProc& P) { P.Rotate(-90, true); }},
    {"-rotate 180", "im.transpose(Image.Transpose.ROTATE_180)", [](TFolioProc& P) { P.Rotate(180, true); }},
    {"-rotate 90", "im.transpose(Image.Transpose.ROTATE_270)", [](TFolioProc& P) { P.Rotate(270, false); }},
    {"-rotate -90", "im.transpose(Image.Transpose.ROTATE_90)", [](TFolioProc& P) { P.Rotate(450, true); }},
};

TEST_F(PageOpsPeer, MatchesImageMagickOnColourAndFaxPages) {
  for (const TCase& C : Cases)
    for (auto& Page : {ColourPage(), FaxPage()}) {
      Check(Page.get(), std::string("/usr/bin/convert IN ") + C.Magick + " OUT", C.Op);
      if (HasFatalFailure()) return;
    }
}

TEST_F(PageOpsPeer, MatchesPillowOnColourAndFaxPages) {
  if (testsupport::RunCommand("/usr/bin/python3 -c 'import PIL'") != 0)
    GTEST_SKIP() << "Pillow is not installed";
  for (const TCase& C : Cases)
    for (auto& Page : {ColourPage(), FaxPage()}) {
      const std::string Script =
          std::string("from PIL import Image, ImageOps\nimport sys\nim = Image.open(sys.argv[1])\n") +
          "if im.mode == '1':\n    im = im.convert('L')\n" + "out = " + C.Pillow + "\n" +
          "if sys.argv[1].endswith('.pbm'):\n    out = out.point(lambda v: 255 if v > 127 else "
          "0).convert('1')\n" +
          "out.save(sys.argv[2])\n";
      testsupport::WriteFileBytes(File("peer.py"), std::vector<uint8_t>(Script.begin(), Script.end()));
      Check(Page.get(), "/usr/bin/python3 " + File("peer.py") + " IN OUT", C.Op);
      if (HasFatalFailure()) return;
    }
}

}  // namespace
