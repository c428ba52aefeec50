// CMYK <-> RGB formulas.
#include <gtest/gtest.h>

#include "foundations/colour_conversion.h"
#include "foundations/pixel_utils.h"

namespace {

TEST(ColourConversion, CmykToRgb) {
  struct Case {
    TCMYK In;
    TRGB Out;
  };
  const Case Cases[] = {
      {IECreateCMYK(255, 255, 255, 255), IECreateRGB(255, 255, 255)},  // no ink
      {IECreateCMYK(0, 0, 0, 255), IECreateRGB(0, 0, 0)},
      {IECreateCMYK(200, 100, 50, 0), IECreateRGB(0, 0, 0)},  // k = 0 is black
      {IECreateCMYK(255, 128, 0, 128), IECreateRGB(128, 64, 0)},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(IECmykToRgb(C.In), C.Out);
    TRGB P;
    IECmykToRgb(IEPackCMYK(C.In), P);
    EXPECT_EQ(P, C.Out);
  }
}

TEST(ColourConversion, RgbToCmykAndBack) {
  EXPECT_EQ(IERgbToCmykPixel(IECreateRGB(255, 255, 255)), IECreateCMYK(255, 255, 255, 255));
  EXPECT_EQ(IERgbToCmykPixel(IECreateRGB(0, 0, 0)), IECreateCMYK(0, 0, 0, 1));
  EXPECT_EQ(IERgbToCmykPixel(IECreateRGB(255, 0, 0)), IECreateCMYK(255, 0, 0, 255));
  EXPECT_EQ(IERgbToCmyk(IECreateRGB(255, 0, 0)), 0xFF0000FFu);
  // Every gray level and the primaries come back within one step.
  for (int V = 0; V < 256; V += 5) {
    for (TRGB P : {IECreateRGB(uint8_t(V), uint8_t(V), uint8_t(V)), IECreateRGB(uint8_t(V), 0, 0),
                   IECreateRGB(uint8_t(V), uint8_t(V / 2), uint8_t(V / 3))}) {
      TRGB Back = IECmykToRgb(IERgbToCmykPixel(P));
      EXPECT_NEAR(Back.r, P.r, 1);
      EXPECT_NEAR(Back.g, P.g, 1);
      EXPECT_NEAR(Back.b, P.b, 1);
    }
  }
}

}  // namespace
