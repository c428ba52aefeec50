// The preset frames: four PNG pictures of the documented sizes and kinds,
// read back through the library's own PNG reader.
#include "dialogs/preset_images.h"

#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"

TEST(PresetImages, FourFramesDecodeAsPngOfTheirSizesAndKinds) {
  EXPECT_TRUE(IEPresetImages().empty());
  IEPresetImagesInitialize();
  IEPresetImagesInitialize();  // once only
  ASSERT_EQ(IEPresetImages().size(), 4u);
  const struct {
    int32_t W, H;
    TRect Rect;
    uint8_t ColorType;  // PNG colour type: 6 RGBA, 2 RGB, 3 palette
  } Cases[] = {{162, 159, {18, 29, 140, 119}, 6},
               {112, 100, {13, 1, 95, 98}, 2},
               {163, 108, {30, 14, 147, 92}, 3},
               {150, 150, {17, 17, 131, 131}, 3}};
  for (size_t i = 0; i < 4; ++i) {
    const TIEPresetImage& E = *IEPresetImages()[i];
    ASSERT_GT(E.DataSize, 33) << i;
    EXPECT_EQ(E.Format, ioPNG);
    EXPECT_EQ(E.ImageRect, Cases[i].Rect) << i;
    // The IHDR's colour type byte.
    EXPECT_EQ(E.Data[25], Cases[i].ColorType) << i;
    TIEBitmap B;
    auto IO = TFolioIO::CreateFromBitmap(&B);
    IO->LoadFromBuffer(E.Data, E.DataSize, ioPNG);
    ASSERT_FALSE(IO->GetAborting()) << i;
    EXPECT_EQ(B.GetWidth(), Cases[i].W) << i;
    EXPECT_EQ(B.GetHeight(), Cases[i].H) << i;
  }
  IEPresetImagesFinalize();
  EXPECT_TRUE(IEPresetImages().empty());
}
