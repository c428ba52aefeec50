// Exact quarter and half turns through every entry point that takes them:
// each result pixel must be the source pixel the turn maps onto it, for
// every size class of a 1-bit row (short of a byte, whole bytes, words and
// 64-bit blocks, one past them), with stray bits in the source's row padding
// and the result's padding left clear, in memory and in a temporary file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/rotate_kernels.h"
#include "kernels/shear_rotate.h"
#include "support/bitmap_bytes.h"

namespace {

// Deterministic pixel bytes with no two neighbours alike along either axis.
uint8_t Noise(int32_t X, int32_t Y, int32_t K) {
  uint32_t V = uint32_t(X) * 0x9E3779B1u ^ uint32_t(Y) * 0x85EBCA77u ^ uint32_t(K) * 0xC2B2AE3Du;
  V ^= V >> 15;
  V *= 0x2C1B3C6Du;
  V ^= V >> 12;
  return uint8_t(V >> 5);
}

size_t PixelBytes(TIEPixelFormat F) { return size_t(IEPixelFormat2BitCount[F] / 8); }

// A W x H image of format F filled with noise.  In a 1-bit image every bit
// past the width up to the end of the stored row is set, so a turn that read
// them would show it.
std::unique_ptr<TIEBitmap> NoiseImage(int32_t W, int32_t H, TIEPixelFormat F, bool InFile) {
  auto B = std::make_unique<TIEBitmap>();
  if (InFile) testsupport::MoveToTemporaryFile(B.get());
  if (!B->Allocate(W, H, F)) return nullptr;
  const size_t RowLen = size_t(B->GetRowLen());
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* R = B->GetScanline(y);
    if (F == ie1g) {
      for (size_t i = 0; i < RowLen; ++i) R[i] = Noise(int32_t(i), y, 1);
      for (size_t x = size_t(W); x < RowLen * 8; ++x) R[x >> 3] |= uint8_t(0x80u >> (x & 7));
    } else {
      const size_t N = size_t(W) * PixelBytes(F);
      for (size_t i = 0; i < N; ++i) R[i] = Noise(int32_t(i), y, 2);
    }
  }
  return B;
}

// An image read once into memory (a file-backed row is mapped per call),
// its pixels as bytes (one byte 0/1 per pixel of ie1g).
struct TSnapshot {
  int32_t W, H;
  TIEPixelFormat F;
  std::vector<std::vector<uint8_t>> Data;
  explicit TSnapshot(TIEBitmap* B)
      : W(B->GetWidth()), H(B->GetHeight()), F(B->GetPixelFormat()), Data(static_cast<size_t>(H)) {
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* R = B->GetScanline(y);
      Data[size_t(y)].assign(R, R + B->GetRowLen());
    }
  }
  std::string At(int32_t X, int32_t Y) const {
    const uint8_t* R = Data[size_t(Y)].data();
    if (F == ie1g) return std::string(1, char((R[X >> 3] >> (7 - (X & 7))) & 1));
    const size_t N = PixelBytes(F);
    return std::string(reinterpret_cast<const char*>(R) + size_t(X) * N, N);
  }
};

// Whole rows of pixels: the turned image is compared a row at a time.
std::vector<std::string> Rows(TIEBitmap* B) {
  const TSnapshot S(B);
  std::vector<std::string> Out(static_cast<size_t>(S.H));
  for (int32_t y = 0; y < S.H; ++y)
    for (int32_t x = 0; x < S.W; ++x) Out[size_t(y)] += S.At(x, y);
  return Out;
}

// The source turned by Angle (90 counter-clockwise, 270 clockwise, 180), one
// pixel at a time.
std::vector<std::string> Expected(TIEBitmap* Src, int32_t Angle) {
  const TSnapshot S(Src);
  const int32_t W = S.W, H = S.H;
  const bool Quarter = Angle != 180;
  const int32_t DW = Quarter ? H : W, DH = Quarter ? W : H;
  std::vector<std::string> Out(static_cast<size_t>(DH));
  for (int32_t dy = 0; dy < DH; ++dy)
    for (int32_t dx = 0; dx < DW; ++dx) {
      int32_t X, Y;
      if (Angle == 90)
        X = W - 1 - dy, Y = dx;
      else if (Angle == 270)
        X = dy, Y = H - 1 - dx;
      else
        X = W - 1 - dx, Y = H - 1 - dy;
      Out[size_t(dy)] += S.At(X, Y);
    }
  return Out;
}

// True when every bit of a 1-bit image past its width is clear.
bool PaddingClear(TIEBitmap* B) {
  const size_t RowLen = size_t(B->GetRowLen());
  const TSnapshot S(B);
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* R = S.Data[size_t(y)].data();
    for (size_t x = size_t(B->GetWidth()); x < RowLen * 8; ++x)
      if (R[x >> 3] & (0x80u >> (x & 7))) return false;
  }
  return true;
}

// Every entry point that turns a bitmap by a multiple of 90 degrees, as one
// call that leaves the turned image in Out (in place where the entry point
// works in place).
struct TEntry {
  const char* Name;
  std::function<bool(TIEPixelFormat)> Takes;
  std::function<void(TIEBitmap* Src, TIEBitmap* Out, double Angle)> Turn;
};

// A copy of Src in Out, kept where Src is (memory or a temporary file), turned.
void InPlace(TIEBitmap* Src, TIEBitmap* Out, const std::function<void(TIEBitmap*)>& F) {
  Out->SetMemoryThreshold(Src->GetMemoryThreshold());
  Out->Assign(Src);
  if (Src->GetLocation() == ieFile) testsupport::MoveToTemporaryFile(Out);
  ASSERT_EQ(Out->GetLocation(), Src->GetLocation());
  F(Out);
}

const std::vector<TEntry>& Entries() {
  static const std::vector<TEntry> E = {
      {"IERotateInto", [](TIEPixelFormat) { return true; },
       [](TIEBitmap* S, TIEBitmap* O, double A) { IERotateInto(S, O, 0, A); }},
      {"IERotateGeneric", [](TIEPixelFormat) { return true; },
       [](TIEBitmap* S, TIEBitmap* O, double A) {
         InPlace(S, O, [A](TIEBitmap* B) { IERotateGeneric(B, 0, A); });
       }},
      {"IERotate1Bit", [](TIEPixelFormat F) { return F == ie1g; },
       [](TIEBitmap* S, TIEBitmap* O, double A) {
         InPlace(S, O, [A](TIEBitmap* B) { IERotate1Bit(B, true, nullptr, nullptr, A); });
       }},
      {"IERotateShear", [](TIEPixelFormat F) { return F == ie1g || F == ie24RGB; },
       [](TIEBitmap* S, TIEBitmap* O, double A) {
         InPlace(S, O, [A](TIEBitmap* B) { IERotateShear(B, true, nullptr, nullptr, TRGB{1, 2, 3}, A); });
       }},
      {"IERotate8Bit", [](TIEPixelFormat F) { return F == ie8g || F == ie8p; },
       [](TIEBitmap* S, TIEBitmap* O, double A) {
         InPlace(S, O, [A](TIEBitmap* B) { IERotate8Bit(B, 9, A); });
       }},
      {"IERotateShear8", [](TIEPixelFormat F) { return F == ie8g || F == ie8p; },
       [](TIEBitmap* S, TIEBitmap* O, double A) {
         InPlace(S, O, [A](TIEBitmap* B) { IERotateShear8(B, true, 9, nullptr, nullptr, A); });
       }},
  };
  return E;
}

// An angle as the callers write it and the turn it means.
struct TAngle {
  double Angle;
  int32_t Turn;
};
// The three turns; and every way of writing them, tried on a few sizes.
const std::vector<TAngle> kTurns = {{90, 90}, {270, 270}, {180, 180}};
const std::vector<TAngle> kAllAngles = {{90, 90},   {-270, 90}, {450, 90},   {270, 270},
                                        {-90, 270}, {180, 180}, {-180, 180}, {540, 180}};

void CheckAllEntries(TIEBitmap* Src, const std::string& What, const std::vector<TAngle>& Angles = kTurns) {
  for (const TEntry& E : Entries()) {
    if (!E.Takes(Src->GetPixelFormat())) continue;
    for (const auto& A : Angles) {
      const std::vector<std::string> Want = Expected(Src, A.Turn);
      TIEBitmap Out;
      E.Turn(Src, &Out, A.Angle);
      const std::string Where = What + " " + E.Name + " " + std::to_string(A.Angle);
      ASSERT_EQ(Out.GetPixelFormat(), Src->GetPixelFormat()) << Where;
      ASSERT_EQ(Out.GetHeight(), int32_t(Want.size())) << Where;
      ASSERT_EQ(Out.GetWidth(), A.Turn == 180 ? Src->GetWidth() : Src->GetHeight()) << Where;
      const std::vector<std::string> Got = Rows(&Out);
      for (size_t y = 0; y < Want.size(); ++y) ASSERT_EQ(Got[y], Want[y]) << Where << " row " << y;
      if (Src->GetPixelFormat() == ie1g) {
        ASSERT_TRUE(PaddingClear(&Out)) << Where;
      }
    }
  }
}

constexpr int32_t kWidths[] = {1,  2,  3,  5,  7,  8,   9,   15,  16,  17, 31,
                               32, 33, 63, 64, 65, 100, 127, 128, 129, 130};
constexpr int32_t kHeights[] = {1, 6, 8, 13, 33, 64, 130};

TEST(QuarterTurn, OneBitEverySizeClass) {
  for (int32_t W : kWidths) {
    for (int32_t H : kHeights) {
      auto S = NoiseImage(W, H, ie1g, false);
      CheckAllEntries(S.get(), std::to_string(W) + "x" + std::to_string(H));
    }
  }
}

TEST(QuarterTurn, EveryWayOfWritingTheAngle) {
  for (TIEPixelFormat F : {ie1g, ie24RGB}) {
    auto S = NoiseImage(13, 70, F, false);
    CheckAllEntries(S.get(), "format " + std::to_string(int(F)), kAllAngles);
  }
}

TEST(QuarterTurn, OneBitInATemporaryFile) {
  for (int32_t W : {7, 64, 129})
    for (int32_t H : {9, 130}) {
      auto S = NoiseImage(W, H, ie1g, true);
      ASSERT_EQ(S->GetLocation(), ieFile);
      CheckAllEntries(S.get(), "file " + std::to_string(W) + "x" + std::to_string(H));
    }
}

TEST(QuarterTurn, OtherFormatsMoveWholePixels) {
  for (TIEPixelFormat F : {ie8g, ie8p, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB})
    for (bool InFile : {false, true})
      for (auto [W, H] : {std::pair{1, 1}, {5, 3}, {37, 70}}) {
        auto S = NoiseImage(W, H, F, InFile);
        CheckAllEntries(S.get(), "format " + std::to_string(int(F)) + (InFile ? " file " : " ") +
                                     std::to_string(W) + "x" + std::to_string(H));
      }
}

TEST(QuarterTurn, CopiesIntoASecondBitmap) {
  // The quarter-turn copies: clockwise and counter-clockwise, in memory and
  // from a temporary file.
  for (bool InFile : {false, true})
    for (TIEPixelFormat F : {ie8g, ie24RGB}) {
      auto S = NoiseImage(37, 22, F, InFile);
      TIEBitmap Cw, Ccw;
      if (F == ie8g) {
        IERotate90CW8(S.get(), &Cw);
        IERotate90CCW8(S.get(), &Ccw);
      } else {
        IERotate90CW24(S.get(), &Cw);
        IERotate90CCW24(S.get(), &Ccw);
      }
      EXPECT_EQ(Rows(&Cw), Expected(S.get(), 270)) << int(F) << InFile;
      EXPECT_EQ(Rows(&Ccw), Expected(S.get(), 90)) << int(F) << InFile;
    }
}

TEST(QuarterTurn, AnIeightPPaletteTravelsWithTheTurn) {
  auto S = NoiseImage(9, 4, ie8p, false);
  S->SetPaletteColor(7, TRGB{10, 20, 30});
  for (double A : {90.0, 180.0}) {
    TIEBitmap Out;
    IERotateInto(S.get(), &Out, 0, A);
    EXPECT_EQ(Out.GetPaletteColor(7).g, 20) << A;
    TIEBitmap Copy;
    Copy.Assign(S.get());
    IERotate8Bit(&Copy, 0, A);
    EXPECT_EQ(Copy.GetPaletteColor(7).g, 20) << A;
  }
}

}  // namespace
