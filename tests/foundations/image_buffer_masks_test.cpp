// The image buffer's exchanges with selection masks.
#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/pixel_utils.h"

namespace {

TEST(ImageBufferMasks, AlphaPlanesFromAndToMasks) {
  TIEMask M;
  ASSERT_TRUE(M.AllocateBits(10, 4, 8));
  M.SetPixel(3, 2, 77);
  TIEBitmap A;
  A.CopyFromTIEMask(&M);
  EXPECT_EQ(A.GetPixelFormat(), ie8g);
  EXPECT_EQ(A.GetWidth(), 10);
  EXPECT_EQ(A.GetPixel8(3, 2), 77);
  EXPECT_EQ(A.GetPixel8(4, 2), 0);
  EXPECT_FALSE(A.GetFull());
  A.CopyFromTIEMask(nullptr);
  EXPECT_EQ(A.GetPixel8(3, 2), 255);
  EXPECT_TRUE(A.GetFull());

  TIEMask One;
  ASSERT_TRUE(One.AllocateBits(9, 3, 1));
  One.SetPixel(8, 1, 1);
  TIEBitmap B;
  B.CopyFromTIEMask(&One);
  EXPECT_EQ(B.GetPixelFormat(), ie1g);
  EXPECT_EQ(B.GetPixelRGB(8, 1).r, 255);
  EXPECT_EQ(B.GetPixelRGB(7, 1).r, 0);

  // A colour image gives the gray level of each pixel, and the box covers it.
  TIEBitmap C(4, 4, ie24RGB);
  C.Fill(0);
  C.SetPixel24(2, 1, IECreateRGB(255, 0, 0));
  TIEMask G;
  C.CopyToTIEMask(&G);
  EXPECT_EQ(G.GetBitsPerPixel(), 8);
  EXPECT_EQ(G.GetPixel(2, 1), 53);
  EXPECT_FALSE(G.IsEmpty());
  EXPECT_EQ(G.GetX1(), 2);
  TIEBitmap F(4, 4, ie32f);
  TIEMask Untouched;
  F.CopyToTIEMask(&Untouched);
  EXPECT_EQ(Untouched.GetBitsPerPixel(), 0);
}

TEST(ImageBufferMasks, MaskedCopyAndPaste) {
  TIEBitmap Img(8, 8, ie8g);
  for (int32_t Y = 0; Y < 8; ++Y)
    for (int32_t X = 0; X < 8; ++X) Img.SetPixel8(X, Y, uint8_t(10 * Y + X));
  TIEMask M;
  ASSERT_TRUE(M.AllocateBits(8, 8, 1));
  M.SetPixel(2, 3, 1);
  M.SetPixel(4, 5, 1);  // box (2, 3)-(4, 5)
  TIEBitmap Cut;
  Img.CopyMaskedTo(&Cut, &M);
  ASSERT_EQ(Cut.GetWidth(), 3);
  ASSERT_EQ(Cut.GetHeight(), 3);
  EXPECT_EQ(Cut.GetPixel8(0, 0), 32);
  EXPECT_EQ(Cut.GetPixel8(2, 2), 54);
  EXPECT_EQ(Cut.GetAlpha(0, 0), 255);
  EXPECT_EQ(Cut.GetAlpha(1, 0), 0);  // outside the mask: transparent

  TIEBitmap Filled;
  Img.CopyMaskedFilledTo(&Filled, &M, 200);
  EXPECT_EQ(Filled.GetPixel8(0, 0), 32);
  EXPECT_EQ(Filled.GetPixel8(1, 0), 200);

  // Pasting the piece back writes only the masked pixels.
  TIEBitmap Target(8, 8, ie8g);
  Target.Fill(1);
  Cut.PasteMaskedTo(&Target, &M);
  EXPECT_EQ(Target.GetPixel8(2, 3), 32);
  EXPECT_EQ(Target.GetPixel8(4, 5), 54);
  EXPECT_EQ(Target.GetPixel8(3, 3), 1);
  EXPECT_EQ(Target.GetAlpha(2, 3), 255);
  EXPECT_EQ(Target.GetAlpha(3, 3), 255);
  EXPECT_FALSE(Target.GetAlphaChannel()->GetFull());

  TIEMask Empty;
  Empty.AllocateBits(8, 8, 1);
  TIEBitmap Nothing(2, 2, ie8g);
  Img.CopyMaskedTo(&Nothing, &Empty);
  EXPECT_EQ(Nothing.GetWidth(), 2);
}

}  // namespace
