// Images on the clipboard through Qt's clipboard (in-process, as another
// program on the same display would see the MIME data): the DIB's layout,
// the BMP and PNG that other programs read (decoded by ImageMagick), the raw
// form's precedence, pastes converted to the page's format, selections, a
// busy clipboard, and damaged data from other programs.
#include "processing/clipboard.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundations/dib_bitmaps.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "kernels/dib_stretch.h"
#include "platform/vcl/clipboard.h"
#include "processing/folio_proc.h"
#include "processing/selection_view.h"
#include "support/peer_fixture.h"
#include "support/pnm_image.h"

namespace {

using proctest::TSelectionView;

std::vector<uint8_t> Mime(const char* Type) {
  const QMimeData* M = QGuiApplication::clipboard()->mimeData();
  if (!M || !M->hasFormat(Type)) return {};
  const QByteArray B = M->data(Type);
  return std::vector<uint8_t>(B.begin(), B.end());
}

// Puts data on the clipboard as another program would.
void PlaceFromOutside(const std::vector<std::pair<QString, std::vector<uint8_t>>>& Items) {
  auto* M = new QMimeData;
  for (const auto& [Type, Data] : Items)
    M->setData(Type, QByteArray(reinterpret_cast<const char*>(Data.data()), qsizetype(Data.size())));
  QGuiApplication::clipboard()->setMimeData(M);
}

uint32_t Le32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | uint32_t(P[3]) << 24; }

std::unique_ptr<TIEBitmap> Colours(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) B->SetPixel24(x, y, TRGB{uint8_t(x * 20), uint8_t(y * 30), uint8_t(x * y)});
  return B;
}

class ClipboardImages : public testsupport::PeerToolTest {
 protected:
  void SetUp() override { QGuiApplication::clipboard()->clear(); }
};

TEST_F(ClipboardImages, OneBitCopyLayoutAndResolution) {
  TIEBitmap B(10, 3, ie1g);
  B.Fill(1);
  B.GetScanline(2)[0] = 0x00;  // last row: first eight pixels black
  auto Proc = TFolioProc::CreateFromBitmap(&B);
  ASSERT_TRUE(Proc->CopyToClipboard(false));
  std::vector<uint8_t> DIB;
  ASSERT_TRUE(GetClipboardData(CF_DIB, DIB));
  ASSERT_EQ(DIB.size(), 40u + 8 + 3 * 4);
  EXPECT_EQ(Le32(&DIB[0]), 40u);
  EXPECT_EQ(Le32(&DIB[4]), 10u);
  EXPECT_EQ(Le32(&DIB[8]), 3u);
  EXPECT_EQ(DIB[14], 1);
  EXPECT_EQ(Le32(&DIB[24]), 11811u);  // Trunc(300 x 39.3700787)
  // Colour table: black, then white (the fourth byte of an entry is reserved).
  EXPECT_EQ(std::vector<uint8_t>(DIB.begin() + 40, DIB.begin() + 47),
            (std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DIB[48], 0x00);  // the first DIB row is the last image row
  EXPECT_EQ(DIB[52], 0xFF);
  EXPECT_FALSE(IsClipboardFormatAvailable(IERawClipboardFormat()));
  // Other programs see a BMP file and a PNG.
  EXPECT_EQ(Mime("image/bmp").size(), 14 + DIB.size());
  EXPECT_FALSE(Mime("image/png").empty());
}

TEST_F(ClipboardImages, OtherProgramsReadTheCopyPixelForPixel) {
  if (!Have("convert")) GTEST_SKIP() << "no ImageMagick";
  auto B = Colours(13, 7);
  auto Proc = TFolioProc::CreateFromBitmap(B.get());
  ASSERT_TRUE(Proc->CopyToClipboard(true));
  for (const char* Type : {"image/bmp", "image/png"}) {
    const std::string Name = File(std::string("clip.") + (Type[6] == 'b' ? "bmp" : "png"));
    testsupport::WriteFileBytes(Name, Mime(Type));
    Run("convert " + Name + " -depth 8 " + File("out.ppm"));
    ASSERT_FALSE(HasFatalFailure());
    const auto P = testsupport::ParsePnm(testsupport::ReadFileBytes(File("out.ppm")));
    ASSERT_EQ(P.Width, 13) << Type;
    ASSERT_EQ(P.Height, 7) << Type;
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        const TRGB Px = B->GetPixel24(x, y);
        const uint8_t* Q = &P.Data[(size_t(y) * 13 + x) * 3];
        ASSERT_TRUE(Px.r == Q[0] && Px.g == Q[1] && Px.b == Q[2]) << Type << " " << x << "," << y;
      }
  }
}

TEST_F(ClipboardImages, CmykCopiesAsColourAndStaysCmyk) {
  TIEBitmap B(4, 4, ieCMYK);
  B.Fill(double(0x0000FF));
  auto Proc = TFolioProc::CreateFromBitmap(&B);
  ASSERT_TRUE(Proc->CopyToClipboard(false));
  std::vector<uint8_t> DIB;
  ASSERT_TRUE(GetClipboardData(CF_DIB, DIB));
  EXPECT_EQ(DIB[14], 24);
  EXPECT_EQ(B.GetPixelFormat(), ieCMYK);
}

TEST_F(ClipboardImages, RawFormWinsAndKeepsFormatAndAlpha) {
  TIEBitmap Src(6, 5, ie8g);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) Src.SetPixel8(x, y, uint8_t(x * 40 + y));
  Src.GetAlphaChannel()->SetPixel8(2, 3, 99);
  auto Copier = TFolioProc::CreateFromBitmap(&Src);
  ASSERT_TRUE(Copier->CopyToClipboard(true));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
  TIEBitmap Dest;
  auto Paster = TFolioProc::CreateFromBitmap(&Dest);
  ASSERT_TRUE(Paster->PasteFromClipboard());
  ASSERT_EQ(Dest.GetPixelFormat(), ie8g);
  EXPECT_EQ(Dest.GetPixel8(5, 4), 204);
  ASSERT_TRUE(Dest.HasAlphaChannel());
  EXPECT_EQ(Dest.GetAlpha(2, 3), 99);
  // A selection paste with no selection replaces the whole image too.
  TIEBitmap Other(2, 2, ie8g);
  auto P2 = TFolioProc::CreateFromBitmap(&Other);
  ASSERT_TRUE(P2->SelPasteFromClip(false));
  EXPECT_EQ(Other.GetWidth(), 6);
}

TEST_F(ClipboardImages, PastesTakeThePagesFormat) {
  auto Colour = Colours(8, 8);
  Colour->Fill(double(0xFFFFFF));
  Colour->FillRect(0, 0, 3, 7, 0);  // left half black
  auto Copier = TFolioProc::CreateFromBitmap(Colour.get());
  ASSERT_TRUE(Copier->CopyToClipboard(false));
  TSelectionView View(16, 16, ie1g);
  View.Image.Fill(1);
  TFolioProc Proc(&View);
  Proc.SetAttachedFolio(&View);
  Proc.SetUndoLimit(5);
  View.Select(4, 4, 11, 11);
  ASSERT_TRUE(Proc.SelPasteFromClipStretch(false));
  EXPECT_EQ(Proc.GetUndoCaption(0), "SelPasteFromClipStretch");
  ASSERT_EQ(View.Image.GetPixelFormat(), ie1g);
  EXPECT_EQ(View.Image.GetPixelRGB(4, 4).r, 0);
  EXPECT_EQ(View.Image.GetPixelRGB(9, 9).r, 255);
  EXPECT_EQ(View.Image.GetPixelRGB(3, 3).r, 255);
  View.Deselect();
  ASSERT_TRUE(Proc.PasteFromClipboard());
  EXPECT_EQ(View.Image.GetPixelFormat(), ie1g);
  EXPECT_EQ(View.Image.GetWidth(), 8);
  EXPECT_EQ(Proc.GetUndoCaption(0), "PasteFromClipboard");
}

TEST_F(ClipboardImages, SelectionCopyUsesTheMaskAndBackground) {
  TSelectionView View(20, 20, ie24RGB);
  View.Image.Fill(double(0x00FF00));
  TFolioProc Proc(&View);
  Proc.SetAttachedFolio(&View);
  Proc.SetBackground(TColor(0x0000FF));  // red
  View.Select(2, 2, 11, 11, true);
  ASSERT_TRUE(Proc.SelCopyToClip(true));
  TIEBitmap Got;
  std::vector<uint8_t> DIB;
  ASSERT_TRUE(GetClipboardData(CF_DIB, DIB));
  ASSERT_NE(IECopyDIBToBitmap(DIB.data(), DIB.size(), &Got), 0);
  ASSERT_EQ(Got.GetWidth(), 10);
  EXPECT_EQ(Got.GetPixel24(0, 0).r, 255);  // corner outside the ellipse
  EXPECT_EQ(Got.GetPixel24(5, 5).g, 255);
  // A rectangle without a mask copies exactly the rectangle.
  View.Mask.Clear();
  ASSERT_TRUE(Proc.SelCopyToClip(false));
  ASSERT_TRUE(GetClipboardData(CF_DIB, DIB));
  EXPECT_EQ(Le32(&DIB[4]), 20u);
}

TEST_F(ClipboardImages, APngFromAnotherProgramPastesAsDecoded) {
  if (!Have("convert")) GTEST_SKIP() << "no ImageMagick";
  Run("convert -size 9x5 gradient:red-blue -depth 8 " + File("g.png"));
  Run("convert " + File("g.png") + " -depth 8 " + File("g.ppm"));
  ASSERT_FALSE(HasFatalFailure());
  PlaceFromOutside({{"image/png", testsupport::ReadFileBytes(File("g.png"))}});
  TIEBitmap B;
  auto Proc = TFolioProc::CreateFromBitmap(&B);
  ASSERT_TRUE(Proc->PasteFromClipboard());
  const auto P = testsupport::ParsePnm(testsupport::ReadFileBytes(File("g.ppm")));
  ASSERT_EQ(B.GetWidth(), P.Width);
  ASSERT_EQ(B.GetHeight(), P.Height);
  for (int32_t y = 0; y < P.Height; ++y)
    for (int32_t x = 0; x < P.Width; ++x) {
      const TRGB Px = B.GetPixelRGB(x, y);
      const uint8_t* Q = &P.Data[(size_t(y) * P.Width + x) * 3];
      ASSERT_TRUE(Px.r == Q[0] && Px.g == Q[1] && Px.b == Q[2]) << x << "," << y;
    }
}

TEST_F(ClipboardImages, DamagedDataFromOtherProgramsIsRefused) {
  // A DIB claiming 100000 x 100000 pixels in 60 bytes, a truncated PNG whose
  // header claims a huge image, and a raw block with a wrong signature.
  std::vector<uint8_t> Dib(60, 0);
  Dib[0] = 40;
  Dib[5] = Dib[9] = 0x86;
  Dib[6] = Dib[10] = 0x01;
  Dib[12] = 1;
  Dib[14] = 24;
  std::vector<uint8_t> Bmp(14 + Dib.size(), 0);
  Bmp[0] = 'B';
  Bmp[1] = 'M';
  Bmp[10] = 54;
  for (size_t i = 0; i < Dib.size(); ++i) Bmp[14 + i] = Dib[i];
  std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0x7F, 0, 0, 0, 0x7F, 0, 0, 0, 8, 2, 0, 0, 0, 1, 2, 3, 4};
  const QString Raw = QString::fromStdString(VclClipboardMimeType(IERawClipboardFormat()));
  const std::vector<uint8_t> BadRaw(64, 'x');
  struct {
    const char* Name;
    std::vector<std::pair<QString, std::vector<uint8_t>>> Items;
  } Cases[] = {{"huge DIB", {{"image/bmp", Bmp}}},
               {"huge PNG", {{"image/png", Png}}},
               {"short BMP", {{"image/bmp", {'B', 'M', 1}}}},
               {"bad raw", {{Raw, BadRaw}}}};
  for (const auto& C : Cases) {
    PlaceFromOutside(C.Items);
    TIEBitmap B(3, 2, ie24RGB);
    B.Fill(double(0x123456));
    TFolioProc Proc(nullptr);
    Proc.SetAttachedBitmap(&B);
    Proc.SetAutoUndo(true);
    Proc.SetUndoLimit(3);
    EXPECT_FALSE(Proc.PasteFromClipboard()) << C.Name;
    EXPECT_EQ(B.GetWidth(), 3) << C.Name;
    EXPECT_EQ(B.GetPixel24(1, 1).r, 0x56) << C.Name;
    EXPECT_EQ(Proc.UndoCount(), 0) << C.Name;
  }
}

TEST_F(ClipboardImages, ABusyClipboardKeepsWhatItHeld) {
  PlaceFromOutside({{"text/plain", {'k', 'e', 'e', 'p'}}});
  auto B = Colours(4, 4);
  auto Proc = TFolioProc::CreateFromBitmap(B.get());
  VclSetClipboardBusy(10);
  EXPECT_FALSE(Proc->CopyToClipboard(true));
  VclSetClipboardBusy(0);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "keep");
  EXPECT_FALSE(VclClipboardIsOpen());
}

TEST(DibDrawing, DrawsOneBitAndColourDibsAtTheirSize) {
  TIEBitmap Mono(9, 3, ie1g);
  Mono.Fill(1);
  Mono.GetScanline(1)[0] = 0x7F;  // pixel (0, 1) black
  auto Colour = Colours(5, 4);
  for (TIEBitmap* B : {&Mono, Colour.get()}) {
    const TIEPackedDIB DIB = _CopyBitmaptoDIBEx(B, 0, 0, 0, 0, 300, 300);
    TIEDibbitmap Out;
    EXPECT_EQ(IEDrawDIBToDibBitmap(DIB.data(), DIB.size(), &Out), B->GetBitCount());
    ASSERT_EQ(Out.GetWidth(), B->GetWidth());
    ASSERT_EQ(Out.GetHeight(), B->GetHeight());
    // Whole bytes of pixels, then the one pixel of the 1-bit row's second byte.
    const size_t Bytes = B == &Mono ? 1 : 15;
    for (int32_t y = 0; y < B->GetHeight(); ++y) {
      EXPECT_EQ(0, std::memcmp(Out.GetScanline(y), B->GetScanline(y), Bytes)) << y;
      if (B == &Mono) {
        EXPECT_EQ(Out.GetScanline(y)[1] & 0x80, B->GetScanline(y)[1] & 0x80) << y;
      }
    }
  }
  // A DIB shorter than its header says draws nothing.
  const TIEPackedDIB DIB = _CopyBitmaptoDIBEx(Colour.get(), 0, 0, 0, 0, 300, 300);
  TIEDibbitmap Out;
  EXPECT_EQ(IEDrawDIBToDibBitmap(DIB.data(), DIB.size() - 5, &Out), 0);
  EXPECT_EQ(Out.GetWidth(), 0);
}

}  // namespace
