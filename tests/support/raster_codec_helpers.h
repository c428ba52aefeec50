#pragma once
// Shared pieces of the raster codec tests: running a codec procedure over a
// byte buffer, pictures with runs and noise, and the peers' decodes as 8-bit
// red, green, blue (and alpha) bytes.
#include <atomic>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

namespace rastertest {

using Bytes = std::vector<uint8_t>;
using testsupport::HaveTool;
using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

using TReadProc = std::function<void(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&)>;
using TWriteProc = std::function<void(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&)>;

struct ReadOut {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  std::atomic<bool> Aborting{false};
  int64_t EndPosition = 0;
};

inline Bytes Contents(TMemoryStream& S) {
  const uint8_t* m = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(m, m + S.GetSize());
}

// Runs Read over File; Setup may set parameters first.
inline std::unique_ptr<ReadOut> ReadWith(const TReadProc& Read, const Bytes& File,
                                         const std::function<void(TIOParamsVals&)>& Setup = {}) {
  auto r = std::make_unique<ReadOut>();
  if (Setup) Setup(*r->Params);
  TMemoryStream s;
  if (!File.empty()) s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &r->Aborting;
  Read(&s, r->Bitmap.get(), *r->Params, p);
  r->EndPosition = s.GetPosition();
  return r;
}

inline Bytes WriteWith(const TWriteProc& Write, TIEBitmap* B, TIOParamsVals& Params, bool* Aborted = nullptr) {
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  Write(&s, B, Params, pr);
  if (Aborted) *Aborted = abort;
  else EXPECT_FALSE(abort);
  return Contents(s);
}

// A colour picture: smooth ramps, runs and some noise; odd sizes.
inline std::unique_ptr<TIEBitmap> ColourPicture(int32_t W = 37, int32_t H = 23, uint32_t Seed = 5) {
  auto b = TIEBitmap::CreateSized(W, H, ie24RGB);
  std::mt19937 rng(Seed);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* q = b->GetScanline(y) + 3 * x;
      if (x < W / 3) {  // runs
        q[0] = uint8_t((y / 4) * 40);
        q[1] = 200;
        q[2] = uint8_t(x < W / 6 ? 10 : 250);
      } else {
        q[0] = uint8_t(x * 7);
        q[1] = uint8_t(y * 11);
        q[2] = uint8_t(rng());
      }
    }
  return b;
}

inline std::unique_ptr<TIEBitmap> BilevelPicture(int32_t W = 45, int32_t H = 19) {
  auto b = TIEBitmap::CreateSized(W, H, ie1g);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = b->GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      const bool white = ((x / 3 + y / 2) % 3) != 0 || x == y;
      if (white) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      else row[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
    }
  }
  return b;
}

// Red, green, blue bytes of any bitmap, row by row.
inline Bytes Rgb(TIEBitmap* B) {
  Bytes out;
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TRGB c = B->GetPixelRGB(x, y);
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

// Alpha bytes of the bitmap's alpha plane (255 everywhere when it has none).
inline Bytes Alpha(TIEBitmap* B) {
  Bytes out;
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) out.push_back(B->HasAlphaChannel() ? B->GetAlpha(x, y) : 255);
  return out;
}

inline Bytes MaskBytes(TIEMask* M) {
  Bytes out;
  for (int32_t y = 0; y < M->GetHeight(); ++y)
    for (int32_t x = 0; x < M->GetWidth(); ++x) out.push_back(uint8_t(M->GetPixel(x, y)));
  return out;
}

// The largest difference of two equally long byte vectors; 256 when the
// lengths differ.
inline int32_t MaxDiff(const Bytes& A, const Bytes& B) {
  if (A.size() != B.size()) return 256;
  int32_t d = 0;
  for (size_t i = 0; i < A.size(); ++i) d = std::max(d, std::abs(int32_t(A[i]) - int32_t(B[i])));
  return d;
}

// The peer's decode of File (named with Ext so that the peer knows its
// format) as 8-bit red, green, blue bytes; Width and Height receive its size.
// Tool is "magick" (ImageMagick) or "pil" (Pillow).
inline Bytes PeerRgb(const TempDir& Dir, const std::string& Tool, const Bytes& File, const std::string& Ext,
                     int32_t* Width = nullptr, int32_t* Height = nullptr) {
  const std::string in = Dir.file("peer-in." + Ext), out = Dir.file("peer-out.ppm");
  WriteFileBytes(in, File);
  std::remove(out.c_str());
  std::string cmd;
  if (Tool == "magick")
    cmd = "convert '" + in + "[0]' -depth 8 -alpha off ppm:'" + out + "' 2>/dev/null";
  else
    cmd = "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + in + "').convert('RGB').save('" + out +
          "')\" 2>/dev/null";
  if (RunCommand(cmd) != 0) return {};
  const testsupport::PnmImage img = testsupport::ParsePnm(ReadFileBytes(out));
  if (Width) *Width = img.Width;
  if (Height) *Height = img.Height;
  return img.Data;
}

// The peer's alpha of File as 8-bit bytes (Pillow).
inline Bytes PeerAlpha(const TempDir& Dir, const Bytes& File, const std::string& Ext) {
  const std::string in = Dir.file("peer-a." + Ext), out = Dir.file("peer-a.pgm");
  WriteFileBytes(in, File);
  std::remove(out.c_str());
  const std::string cmd = "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + in +
                          "').convert('RGBA').getchannel('A').save('" + out + "')\" 2>/dev/null";
  if (RunCommand(cmd) != 0) return {};
  return testsupport::ParsePnm(ReadFileBytes(out)).Data;
}

// Writes Pixels (red, green, blue) as a P6 file for the peers to start from.
inline std::string WritePpm(const TempDir& Dir, const std::string& Name, TIEBitmap* B) {
  testsupport::PnmImage img;
  img.Kind = '6';
  img.Width = B->GetWidth();
  img.Height = B->GetHeight();
  img.Data = Rgb(B);
  const std::string path = Dir.file(Name);
  WriteFileBytes(path, testsupport::FormatPnm(img));
  return path;
}

// Runs a Python script (with Pillow at hand) in Dir; false when it failed.
// What it prints comes back in Output.
inline bool Python(const TempDir& Dir, const std::string& Code, std::string* Output = nullptr) {
  const std::string path = Dir.file("script.py");
  const std::string text = "from PIL import Image\nimport sys, os\nos.chdir('" + Dir.path() + "')\n" + Code + "\n";
  WriteFileBytes(path, Bytes(text.begin(), text.end()));
  return RunCommand("/usr/bin/python3 '" + path + "' 2>/dev/null", Output) == 0;
}

}  // namespace rastertest
