// Platform-bitmap and work buffers, platform-bitmap import, and the view
// geometry and shadow helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundations/dib_bitmaps.h"
#include "foundations/image_buffer.h"
#include "foundations/view_geometry.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(DibBitmap, AllocatesOnlyWhatItHolds) {
  TIEDibbitmap D;
  EXPECT_FALSE(D.Allocate(100, 50, ie8g));
  EXPECT_FALSE(D.AllocateBits(0, 50, 24));
  EXPECT_FALSE(D.AllocateBits(10, 10, 4));
  ASSERT_TRUE(D.Allocate(100, 50, ie1g));
  EXPECT_EQ(D.GetRowLen(), 16);
  EXPECT_EQ(D.GetPixelFormat(), ie1g);
  EXPECT_EQ(D.GetScanline(50), nullptr);
  ASSERT_TRUE(D.AllocateBits(7, 3, 16));
  EXPECT_EQ(D.GetPixelFormat(), ieNoFormat);
}

TEST(DibBitmap, AssignCopiesEveryBitCountRowForRow) {
  for (int32_t Bits : {1, 8, 15, 16, 24, 32}) {
    SCOPED_TRACE(Bits);
    TIEDibbitmap D;
    ASSERT_TRUE(D.AllocateBits(9, 4, Bits));
    for (int32_t Y = 0; Y < 4; ++Y)
      for (int64_t X = 0; X < D.GetRowLen(); ++X) D.GetScanline(Y)[X] = uint8_t(X * 5 + Y);
    TIEBitmap B;
    B.SetLocation(ieMemory);
    B.AssignTIEDibbitmap(&D);
    ASSERT_EQ(B.GetWidth(), 9);
    ASSERT_EQ(B.GetHeight(), 4);
    if (Bits == 15 || Bits == 16) {
      EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
    } else {
      int64_t Bytes = (9 * int64_t(Bits) + 7) / 8;
      for (int32_t Y = 0; Y < 4; ++Y)
        EXPECT_EQ(std::memcmp(B.GetScanline(Y), D.GetScanline(Y), size_t(Bytes)), 0);
    }
  }
  // A white 16-bit pixel stays white.
  TIEDibbitmap D;
  ASSERT_TRUE(D.AllocateBits(1, 1, 16));
  D.GetScanline(0)[0] = D.GetScanline(0)[1] = 0xFF;
  TIEBitmap B;
  B.AssignTIEDibbitmap(&D);
  EXPECT_EQ(B.GetPixel24(0, 0), (TRGB{255, 255, 255}));
}

TEST(WorkBitmap, RowsLastFirstAndReallocationKeepsTheBlock) {
  TIEWorkBitmap W(10, 3, 32);
  ASSERT_NE(W.GetBits(), nullptr);
  EXPECT_EQ(W.GetRowLen(), 40);
  EXPECT_EQ(W.GetScanline(2), W.GetBits());
  *W.GetSinglePtr(1, 2) = 1.5f;
  const uint8_t* Block = W.GetBits();
  EXPECT_TRUE(W.Allocate(10, 3, 32));
  EXPECT_EQ(W.GetBits(), Block);
  EXPECT_EQ(*W.GetSinglePtr(1, 2), 1.5f);
  EXPECT_FALSE(W.Allocate(-1, 3, 8));
  EXPECT_EQ(W.GetScanline(0), nullptr);
}

TEST(AssignTBitmap, SixteenBitReplicatesBitsAndSourceStays) {
  TBitmap Src;
  Src.SetPixelFormat(pf16bit);
  Src.SetSize(2, 1);
  uint8_t* R = Src.GetScanLine(0);
  R[0] = R[1] = 0xFF;        // white
  R[2] = 0x1F, R[3] = 0x00;  // full blue
  TIEBitmap B;
  B.SetLocation(ieMemory);
  B.AssignTBitmap(&Src);
  EXPECT_EQ(B.GetPixel24(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(B.GetPixel24(1, 0), (TRGB{255, 0, 0}));
  // At ieTBitmap a copy is converted, not the caller's bitmap.
  TIEBitmap T;
  T.SetLocation(ieTBitmap);
  T.AssignTBitmap(&Src);
  EXPECT_EQ(Src.GetPixelFormat(), pf16bit);
  EXPECT_EQ(T.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(T.GetPixel24(0, 0), (TRGB{255, 255, 255}));
}

TEST(ViewGeometry, RectanglesAndSnapping) {
  EXPECT_TRUE(IERectIntersects(0, 0, 10, 10, 10, 10, 20, 20));
  EXPECT_FALSE(IERectIntersects(0, 0, 9, 9, 10, 10, 20, 20));
  EXPECT_EQ(IERectContainment(0, 0, 100, 100, 10, 10, 50, 50), 2);
  EXPECT_EQ(IERectContainment(0, 0, 100, 100, 50, 50, 150, 150), 1);
  EXPECT_EQ(IERectContainment(0, 0, 100, 100, -10, -10, 200, 200), 0);
  EXPECT_TRUE(IEPointInRectUnordered(5, 5, 10, 10, 0, 0));
  struct {
    int32_t X, Y, EX, EY;
  } Snap[] = {{100, 20, 100, 0}, {40, 60, 60, 60}, {100, 100, 100, 100}, {20, 100, 0, 100},
              {-40, -60, -40, -40}, {60, -40, 60, -60}};
  for (auto C : Snap) {
    int32_t X = C.X, Y = C.Y;
    IESnapLine(0, 0, X, Y);
    EXPECT_EQ(X, C.EX) << C.X << "," << C.Y;
    EXPECT_EQ(Y, C.EY) << C.X << "," << C.Y;
  }
}

TEST(ViewGeometry, FileSizeAndCheckedWrites) {
  EXPECT_EQ(IEGetFileSize("/nonexistent/folivra/file"), -1);
  // Sizes beyond 4 GB are answered whole (a sparse file takes no space).
  testsupport::TempDir Dir;
  std::string Big = Dir.file("big.bin");
  int Fd = ::open(Big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(Fd, 0);
  const int64_t Size = (int64_t(5) << 30) + 7;
  bool Sized = ::ftruncate(Fd, off_t(Size)) == 0;
  ::close(Fd);
  if (Sized) {
    EXPECT_EQ(IEGetFileSize(Big), Size);
  }
  EXPECT_EQ(IEGetFileSize(Dir.path()), -1);  // a folder is not a file
  TMemoryStream M;
  bool Error = false;
  IEStreamWriteChecked(&M, Error, "abc", 3);
  EXPECT_FALSE(Error);
  IEStreamWriteChecked(nullptr, Error, "abc", 3);
  EXPECT_TRUE(Error);
  IEStreamWriteChecked(&M, Error, "abc", 3);
  EXPECT_TRUE(Error);  // stays set
}

TEST(ViewGeometry, RampsAndBackgrounds) {
  std::vector<double> Ramp;
  IEGaussianRamp(4, 130, 255, Ramp, 0.5);
  ASSERT_EQ(Ramp.size(), 4u);
  EXPECT_EQ(int(Ramp[0]), 240);
  EXPECT_EQ(int(Ramp[1]), 251);
  EXPECT_EQ(int(Ramp[2]), 255);
  EXPECT_EQ(int(Ramp[3]), 251);
  TBitmap B;
  IEPaintStripedBackground(&B, 5, 6);
  ASSERT_EQ(B.GetPixelFormat(), pf24bit);
  EXPECT_EQ(B.GetScanLine(4)[0], 240);
  EXPECT_EQ(B.GetScanLine(2)[3], 255);
}

TEST(ViewGeometry, SoftShadowDarkensOnlyAroundTheRectangle) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(40, 40);
  for (int32_t Y = 0; Y < 40; ++Y) std::memset(B.GetScanLine(Y), 200, 120);
  IEDrawSoftShadow(&B, 10, 10, 30, 30);
  EXPECT_EQ(B.GetScanLine(20)[3 * 20], 200);  // inside: untouched
  EXPECT_LT(B.GetScanLine(20)[3 * 31], 200);  // just outside: darker
  EXPECT_EQ(B.GetScanLine(20)[3 * 38], 200);  // beyond the band
  EXPECT_EQ(B.GetScanLine(2)[3 * 20], 200);
}

TEST(ViewGeometry, RightShadowStyles) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(20, 40);
  for (int32_t Y = 0; Y < 40; ++Y) std::memset(B.GetScanLine(Y), 255, 60);
  IEDrawRightShadow(B.GetCanvas(), &B, 10, 0, 14, 30, 2);
  EXPECT_EQ(B.GetScanLine(2)[3 * 10], 255);  // above the strip's start (Y1 + w)
  EXPECT_LT(B.GetScanLine(10)[3 * 10], B.GetScanLine(10)[3 * 14]);  // darker inside
  B.GetCanvas()->GetBrush()->SetColor(clBlack);
  IEDrawRightShadow(B.GetCanvas(), &B, 0, 0, 4, 20, 1);
  EXPECT_EQ(B.GetScanLine(5)[0], 0);
  EXPECT_EQ(B.GetScanLine(4)[0], 255);
  EXPECT_EQ(B.GetScanLine(20)[0], 0);
  EXPECT_EQ(B.GetScanLine(21)[0], 255);
}

}  // namespace
